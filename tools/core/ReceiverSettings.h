// The receiver dialog's rules without its widgets: references, readings and the button value,
// and the dialog's board sequences.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/BoardTypes.h"

namespace pvrj {

class BoardLink;
class UserInterface;
struct ReceiverReport;

inline constexpr int kReceiverChannelCount = 4;  // PA1 to PA4
// The reference bars' range; a reference the board took itself (AUTO) may lie outside.
inline constexpr int kReceiverRefMin = 0;
inline constexpr int kReceiverRefMax = 127;
// In a written reference block this byte makes the board take the channel's reading.
inline constexpr std::uint8_t kTakeReceiverReading = 0xFF;
// What the status line says when the receiver data cannot be called up or stored.
inline constexpr const char* kReceiverUnavailable = "受信データの設定値が呼び出せません";

struct ReceiverSettings {
  std::array<std::uint8_t, kReceiverChannelCount> references{};
  std::array<std::uint8_t, kReceiverChannelCount> measured{};
  std::uint16_t button = 0;
};

// The four references as the block the board takes.
Bytes receiverBlock(const ReceiverSettings& s);
// measured - reference of a channel (0 to 3).
int receiverChange(const ReceiverSettings& s, int channel);

// LoadReceiverReferences: the stored references; false when the read fails.
bool LoadReceiverReferences(BoardLink& link, ReceiverSettings& s);
// StoreReceiverReferences: the four references to the stored copy.
bool StoreReceiverReferences(BoardLink& link, const ReceiverSettings& s);

// The receiver button up to the dialog: stream on, then load. False (the status line says
// kReceiverUnavailable, the stream is not switched off) when either fails.
bool openReceiverDialog(BoardLink& link, UserInterface& ui, ReceiverSettings& s);
// After the dialog: store, and only then switch the stream off. A failed store says
// kReceiverUnavailable and leaves the stream on; a stream that cannot be switched off is told in
// the status line (kActionStreamOff + "失敗: " and why).
bool closeReceiverDialog(BoardLink& link, UserInterface& ui, const ReceiverSettings& s);

// A reference bar moved: the reference follows at every step; the four references go to the
// working copy when the drag ends. A failed write is silent and the value stays.
bool moveReceiverReference(BoardLink& link, ReceiverSettings& s, int channel, int position,
                           bool scrollEnded);
// AUTO: the block with the channel's byte 0xFF to the working copy; if acknowledged, the
// working references read back.
bool autoReceiverReference(BoardLink& link, ReceiverSettings& s, int channel);

// A streamed report: the button value and the four readings.
void takeReceiverReport(ReceiverSettings& s, const ReceiverReport& report);

}  // namespace pvrj
