// The board protocol: request framing, checksum, handshake and attempts, every board command and
// the composites built from them. Runs on the user-interface thread over one BoardPort.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/UserInterface.h"
#include "protocol/BoardTypes.h"
#include "serial/BoardPort.h"

namespace pvrj {

// Bits of the flag byte most requests carry.
inline constexpr std::uint8_t kFlagAck = 0x01;     // the board answers with the acknowledge
inline constexpr std::uint8_t kFlagStored = 0x02;  // the stored copy, not the working copy
inline constexpr std::uint8_t kFlagPlay = 0x05;    // the one flag byte CmdPlay sends

inline constexpr std::uint8_t kHandshakeByte = 0x0D;
inline constexpr std::uint8_t kAckByte = 0x06;
inline constexpr int kDefaultRetryCount = 5;
inline constexpr int kReceiveTimeOut = 300;     // ms, from OpenBoardPort on
inline constexpr int kQvsReceiveTimeOut = 500;  // ms, for the servo-bus parameter pair
// After a reply that came wrong, the line is read empty until it has been quiet this long (about
// 230 byte times at 115200 bit/s), in pieces of kSettleChunk bytes, at most kMaxSettleReads.
inline constexpr int kLineQuietTime = 20;  // ms
inline constexpr std::size_t kSettleChunk = 64;
inline constexpr int kMaxSettleReads = 16;

// Bits of the option word that the composites change.
inline constexpr std::uint16_t kOptionSleep = 0x0001;
inline constexpr std::uint16_t kOptionPause = 0x0002;
inline constexpr std::uint16_t kOptionReceiverStream = 0x0004;
inline constexpr std::uint16_t kOptionBit5 = 0x0020;
inline constexpr std::uint16_t kOptionAnalogStream = 0x0100;
inline constexpr std::uint16_t kOptionQvsMode = 0x4000;

// Follows the port's name in the status line when its device went away and the port was closed.
inline constexpr const char* kStatusPortLost = "との接続が切れたのでポートを閉じました";

// Board-state panel texts.
inline constexpr const char* kStateSleeping = "スリープ";
inline constexpr const char* kStateRunning = "動作中";

// Which of the board's two copies of a setting a command addresses.
enum BoardCopy : int { WorkingCopy = 0, StoredCopy = 1 };

// The port's opening side, which the serial-port component offers next to BoardPort. Open may
// throw (ECommError) and leaves the port closed when it does.
class PortOpener {
 public:
  virtual ~PortOpener() = default;
  virtual void Close() = 0;
  virtual void Open(int portNo) = 0;
  virtual void SetDtr(bool on) = 0;
  // After a failed Open: the cause and its fix in words; empty when nothing more is known.
  virtual std::string whyNotOpened() { return {}; }
};

// Modes of the option-word composites.
inline constexpr int kSleepOn = 0;  // SetSleep and SetPause: 0 set, 1 clear, 2 toggle
inline constexpr int kSleepOff = 1;
inline constexpr int kSleepToggle = 2;
inline constexpr int kPauseSet = 0;
inline constexpr int kPauseClear = 1;
inline constexpr int kPauseToggle = 2;
inline constexpr int kStreamOn = 1;  // SetReceiverStream: 1 on, 0 off
inline constexpr int kStreamOff = 0;
inline constexpr int kBit5Set = 0;  // SetOptionBit5, SetAnalogStream, SetQvsMode: 0 set, 1 clear
inline constexpr int kBit5Clear = 1;
inline constexpr int kAnalogStreamOn = 0;
inline constexpr int kAnalogStreamOff = 1;
// The status line's action when a dialog's stream cannot be switched off after it.
inline constexpr const char* kActionStreamOff = "データ送信停止";
inline constexpr int kQvsModeOn = 0;
inline constexpr int kQvsModeOff = 1;

// How the last failed command went wrong, so that callers can tell the user.
enum class LinkFault {
  kNone,
  kPortClosed,       // the port is not open (chosen "OFF", or it could not be opened)
  kPortVanished,     // the device went away under the open port
  kBusy,             // another exchange was still waiting for its reply
  kNoHandshake,      // nothing came back for the handshake byte
  kShortReply,       // fewer bytes than the reply's length came, on every attempt
  kBadChecksum,      // the data reply came whole but its checksum did not match
  kNotAcknowledged,  // another byte came instead of the acknowledge
  kRefused,          // the request was not sent: an argument the command cannot carry
};

struct LinkFailure {
  LinkFault fault = LinkFault::kNone;
  std::uint8_t code = 0;     // command code of the exchange that failed
  std::size_t received = 0;  // kShortReply: bytes that came on the last attempt
  std::size_t expected = 0;  // kShortReply: bytes the reply has
  std::uint8_t answer = 0;   // kNotAcknowledged: the byte that came
  int attempts = 0;          // kShortReply: attempts made
};

// The name of the command operation for a code ("CmdPlay"); empty for a byte that is no command.
const char* commandName(std::uint8_t code);
// The failure in words, naming the command: "CmdPlay: ボードがハンドシェイクに応答しません".
// Empty for kNone.
std::string describeFailure(const LinkFailure& failure);

class BoardLink {
 public:
  BoardLink(BoardPort& port, UserInterface& ui);
  ~BoardLink();
  BoardLink(const BoardLink&) = delete;
  BoardLink& operator=(const BoardLink&) = delete;

  // Attempts an exchange makes: max(1, RetryCount).
  int RetryCount = kDefaultRetryCount;

  // Called with the table number and the 42 bytes after UpdateTableEntry or DeleteTableEntry
  // wrote an entry, so the motion table can show it.
  std::function<void(int number, const TableEntryData& entry)> onTableEntryChanged;
  // Empties the main window's receive buffer when the port is opened again.
  std::function<void()> onClearReceiveBuffer;
  // The local time UpdateTableEntry stamps; replaceable for tests.
  std::function<std::tm()> clock;

  // Framing.
  static void AppendChecksum(Bytes& packet);
  static bool VerifyChecksum(Bytes& reply);
  // Sends packet after the handshake and reads replyLength bytes (0: none). After a good reply
  // packet and reply both hold the reply; see the implementation for the other outcomes. Refused
  // (reply empty, packet unchanged) while another exchange waits.
  void Exchange(Bytes& packet, std::size_t replyLength, Bytes& reply);
  bool exchanging() const { return exchanging_; }

  // What went wrong in the last command that failed; kNone after one that succeeded. A composite
  // that fails leaves the failure of the exchange that stopped it.
  const LinkFailure& lastFailure() const { return failure_; }
  std::string lastFailureText() const { return describeFailure(failure_); }
  // The status line of a board action that failed: action + "失敗: " + the reason.
  std::string failureStatus(std::string_view action) const;
  // The user interface the link was made with, for the sequences that report on its behalf.
  UserInterface& userInterface() { return ui_; }

  // Closes the port for k = 0 ("OFF"), else opens COMk; tells the outcome in the status line.
  // True when the port is open afterwards. When an exchange later finds that the port's device
  // went away (unplugged), the link closes the port and says so in the status line.
  bool OpenBoardPort(PortOpener& opener, int k);
  // The same for a port known by another name (a device path); the status line uses the name.
  bool OpenNamedPort(PortOpener& opener, const std::string& name);
  // Why the last port that would not open would not: the opener's cause and fix, shown in the
  // status line after "...は使用できません"; empty after a port that opened, or when unknown.
  const std::string& portProblem() const { return portProblem_; }

  // The commands. Reading commands hand back the reply with its checksum byte last (except
  // CmdReadBoardInfo); names go out as CP932 bytes, given here as UTF-8 text.
  bool CmdReadChannelName(int channel, Bytes& reply);
  bool CmdWriteChannelName(int channel, std::string_view name);
  // The same with the 32 bytes as the board keeps them (a board image puts back exactly what it
  // read); another length is refused.
  bool CmdWriteChannelNameBytes(int channel, std::span<const std::uint8_t> name);
  bool CmdReadHomePosition(Bytes& reply);
  bool CmdWriteHomePosition(const PositionBlock& block);
  bool CmdReadQvsParams(int channel, Bytes& reply);
  bool CmdWriteQvsParams(int channel, std::span<const std::uint8_t> params);
  bool CmdReadQvsMask(Bytes& reply);
  bool CmdWriteQvsMask(std::uint32_t mask);
  bool CmdReadReceiverRefs(BoardCopy copy, Bytes& reply);
  bool CmdWriteReceiverRefs(BoardCopy copy, std::span<const std::uint8_t> refs);
  bool CmdReadSensorBlock(BoardCopy copy, Bytes& reply);
  bool CmdWriteSensorBlock(BoardCopy copy, std::span<const std::uint8_t> block);
  bool CmdReadMixingBlock(BoardCopy copy, int input, Bytes& reply);
  bool CmdWriteMixingBlock(BoardCopy copy, int input, std::span<const std::uint8_t> block);
  bool CmdReadAnalogRefs(BoardCopy copy, Bytes& reply);
  bool CmdWriteAnalogRefs(BoardCopy copy, const std::array<std::uint16_t, kAnalogInputs>& refs);
  void CmdSetAnalogRef(int input, std::uint16_t value);
  bool CmdReadAlarm(Bytes& reply);
  bool CmdWriteAlarm(int motion, std::uint16_t threshold);
  bool CmdReadCounter(Bytes& reply);
  bool CmdReadStartData(Bytes& reply);
  bool CmdWriteStartData(int startSwitchMotion, int powerOnMotion);
  bool CmdReadPositions(Bytes& reply);
  bool CmdReadOptions(BoardCopy copy, Bytes& reply);
  bool CmdReadOptions(BoardCopy copy, std::uint16_t& word);
  bool CmdWriteOptions(BoardCopy copy, std::uint16_t word);
  bool CmdStop();
  bool CmdPlay(int number);
  bool CmdReadTableEntry(int number, Bytes& reply);
  bool CmdWriteTableEntry(int number, const TableEntryData& entry);
  bool CmdReadScenarioStep(int scenario, int step, Bytes& reply);
  bool CmdWriteScenarioStep(int scenario, int step, int motion);
  bool CmdReadTrims(BoardCopy copy, Bytes& reply);
  bool CmdWriteTrims(BoardCopy copy, const PositionBlock& trims);
  void CmdSetTrim(int channel, std::uint16_t value);
  bool CmdReadPositionRecord(BoardCopy copy, int slot, int record, Bytes& reply);
  bool CmdWritePositionRecord(BoardCopy copy, int slot, int record, const PositionRecord& rec);
  void CmdSetServo(int channel, std::uint16_t position);
  // Whether the last command without a reply (CmdSetAnalogRef, CmdSetTrim, CmdSetServo) had its
  // handshake answered and went out; those commands report nothing themselves.
  bool noReplySent() const { return noReplySent_; }
  bool CmdReadBoardInfo(Bytes& info);

  // Option-word composites, with the modes named below. Another mode is refused (false, nothing
  // sent).
  bool SetSleep(int mode);
  // paused, when given, receives whether the pause bit is set afterwards.
  bool SetPause(int mode, bool* paused = nullptr);
  bool SetReceiverStream(int mode);
  bool SetOptionBit5(int mode);
  bool SetAnalogStream(int mode);
  bool SetQvsMode(int mode);

  // count, mask and control: -1 keeps the board's value. date: kKeepDate keeps it, empty stamps
  // the local time, four bytes give month, day, hour, minute. name: UTF-8 text, cut to 32 bytes.
  bool UpdateTableEntry(int number, int count, long mask, int control, const Bytes& date,
                        std::string_view name);
  bool DeleteTableEntry(int number);

 private:
  // Whether a reply that came whole is good (checksum, acknowledge).
  using ReplyCheck = std::function<bool(const Bytes& reply)>;
  // The exchange; a whole reply that fails check, with more bytes coming behind it, takes another
  // attempt.
  void exchange(Bytes& packet, std::size_t replyLength, Bytes& reply, const ReplyCheck& check);
  // Frames one command: busy caption, checksum, exchange; the reply judged by the caller.
  void run(Bytes packet, std::size_t replyLength, Bytes& reply, const ReplyCheck& check = {});
  bool runAck(Bytes packet);
  bool runData(Bytes packet, std::size_t dataLength, Bytes& reply);
  void runNoReply(Bytes packet);
  bool changeOption(BoardCopy copy, std::uint16_t bit, int mode, int setMode, int clearMode,
                    std::optional<int> toggleMode, std::uint16_t* written = nullptr);
  void refuse(std::uint8_t code);
  // Reads and drops whatever is still coming after a reply that came wrong; how many bytes came.
  std::size_t settleLine();
  bool openPort(PortOpener& opener, int k, const std::string& name);
  void closeVanishedPort();
  bool writeEntryAndShow(int number, const TableEntryData& entry);

  friend class BusyGuard;
  void busyEnter();
  void busyLeave();

  BoardPort& port_;
  UserInterface& ui_;
  bool exchanging_ = false;
  bool noReplySent_ = false;
  int busyDepth_ = 0;
  LinkFailure failure_;
  std::string portProblem_;
  std::string openedName_;  // the name of the port opened last ("COM3"), until it is closed
};

// The date argument that keeps the board's date.
inline const Bytes kKeepDate{0};

}  // namespace pvrj
