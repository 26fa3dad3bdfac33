// Fuzz target: the board's replies. An in-process port serves the input's bytes as whatever the
// real BoardLink reads (handshake answers, replies, unprompted bytes), in pieces of the sizes the
// input chooses, and may let the device vanish; the input also picks the commands, composites and
// transfer flows that run and their arguments, and may start a second command from inside a wait.
// Whatever comes back, every operation ends with its caption, time-out and attempt count restored,
// a success only for a reply that checks out, and a failure that says why.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "compiler/Compile.h"
#include "compiler/Transfer.h"
#include "editors/core/PoseBoard.h"
#include "fuzz/ChartChecks.h"
#include "fuzz/FuzzSupport.h"
#include "protocol/BoardLink.h"
#include "protocol/BoardMessages.h"
#include "protocol/EntryEditing.h"
#include "protocol/MotionTable.h"

using namespace pvrj;
using namespace pvrj::fuzz;

namespace {

// A control byte from here on shortens a read; the last one makes the device vanish.
constexpr std::uint8_t kShortReadControl = 0xF0;
constexpr std::uint8_t kVanishControl = 0xFF;
// Reads a run may take before the port stops answering, so a long input cannot loop for long.
constexpr int kMaxReads = 4000;

class FuzzPort : public BoardPort {
 public:
  explicit FuzzPort(FuzzInput& in) : in_(in) {}

  bool open = true;
  bool vanished = false;
  int reads = 0;
  std::function<void()> duringWait;  // runs inside a read, as the user interface's events do

  bool IsOpen() const override { return open; }
  bool Vanished() const override { return vanished; }
  void Write(const std::uint8_t*, std::size_t) override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    if (!open || count == 0) return 0;
    if (++reads > kMaxReads) return 0;
    if (hook_) hook_();
    if (vanished) return 0;
    std::size_t n = count;
    const std::uint8_t control = in_.byte();
    if (control == kVanishControl) {
      vanished = true;
      return 0;
    }
    if (control >= kShortReadControl) n = (control - kShortReadControl) % (count + 1);
    const auto bytes = in_.bytes(n);
    std::copy(bytes.begin(), bytes.end(), buffer);
    return bytes.size();
  }
  void PurgeReceive() override {}
  void PurgeTransmit() override {}
  std::size_t InQueueCount() override { return vanished ? 0 : in_.byte() % 80; }
  int TimeOutReceive() const override { return timeOut_; }
  void SetTimeOutReceive(int milliseconds) override { timeOut_ = milliseconds; }
  void SetWaitHook(std::function<void()> hook) override { hook_ = std::move(hook); }

 private:
  FuzzInput& in_;
  int timeOut_ = kReceiveTimeOut;
  std::function<void()> hook_;
};

class FuzzUserInterface : public QuietUserInterface {
 public:
  std::function<void()> onEvents;
  int busyChanges = 0;
  bool busy = false;
  void setBusy(bool b) override {
    busy = b;
    ++busyChanges;
  }
  void processEvents() override {
    if (onEvents) onEvents();
  }
};

// A data reply handed back with its checksum last must check out.
void checkReply(bool ok, const Bytes& reply, std::size_t dataLength) {
  if (!ok) return;
  PVRJ_FUZZ_CHECK(reply.size() == dataLength + 1);
  Bytes copy = reply;
  PVRJ_FUZZ_CHECK(BoardLink::VerifyChecksum(copy));
}

std::string textFrom(FuzzInput& in) {
  return in.text(in.byte() % 40);
}

// A small motion chart (three poses and a compare) or scenario chart, for the write flows.
Chart sampleChart(bool scenario, FuzzInput& in) {
  Chart chart;
  if (scenario) {
    chart.Type = kScenarioChart;
    for (int i = 0; i < 3; ++i) {
      const int item = chart.createItem(kItemMot, 10, 10 + 40 * i);
      chart.items[static_cast<std::size_t>(item)].PrmByte = in.byte();
    }
  } else {
    for (int i = 0; i < 3; ++i) {
      const int item = chart.createItem(kItemPos, 10, 10 + 40 * i);
      chart.items[static_cast<std::size_t>(item)].PrmWords.fill(
          static_cast<std::uint16_t>(16384 + static_cast<std::int16_t>(in.word()) % 500));
    }
    chart.createItem(kItemCmp, 100, 50);
  }
  chart.Start = 0;
  for (int i = 0; i + 1 < chart.itemCount(); ++i) {
    const int link = chart.appendLinks(1);
    chart.links[static_cast<std::size_t>(link)].Origin = i;
    chart.links[static_cast<std::size_t>(link)].Final = i + 1;
  }
  return chart;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  FuzzPort port(in);
  FuzzUserInterface ui;
  BoardLink link(port, ui);
  link.clock = [] { return std::tm{}; };
  MotionTable table;
  BoardMessages messages;
  Chart chart;
  CompilerState state;
  TransferContext context{link, ui, chart, state, table, {}, {}, {}, {}};
  context.textWidth = [](const std::string& text) { return static_cast<int>(text.size()) * 8; };

  // Now and then a second command starts while a reply is awaited: it must be refused.
  ui.onEvents = [&] {
    if (in.byte() != 0xA5 || !link.exchanging()) return;
    PVRJ_FUZZ_CHECK(!link.CmdStop());
    PVRJ_FUZZ_CHECK(link.lastFailure().fault == LinkFault::kBusy);
  };

  int operations = 0;
  while (!in.empty() && port.reads <= kMaxReads && ++operations < 64) {
    const int op = in.byte() % 66;
    const int a = static_cast<std::int16_t>(in.word());  // out-of-range arguments included
    const BoardCopy copy = in.flag() ? StoredCopy : WorkingCopy;
    const int readsBefore = port.reads;
    // A composite asked for a mode it does not have refuses without a word to the board.
    auto refusedUnlessMode = [&](int mode, std::initializer_list<int> modes) {
      if (std::find(modes.begin(), modes.end(), mode) != modes.end()) return;
      PVRJ_FUZZ_CHECK(link.lastFailure().fault == LinkFault::kRefused);
      PVRJ_FUZZ_CHECK(port.reads == readsBefore);
    };
    Bytes reply;
    bool ok = false;
    bool command = true;  // a single command or composite: lastFailure tells its outcome
    switch (op) {
      case 0:
        ok = link.CmdReadChannelName(a, reply);
        checkReply(ok, reply, kTableNameLength);
        break;
      case 1:
        ok = link.CmdWriteChannelName(a, textFrom(in));
        break;
      case 2:
        ok = link.CmdReadHomePosition(reply);
        checkReply(ok, reply, kPositionBlockLength);
        break;
      case 3: {
        PositionBlock block;
        for (auto& w : block.words) w = in.word();
        ok = link.CmdWriteHomePosition(block);
        break;
      }
      case 4:
        ok = link.CmdReadQvsParams(a, reply);
        checkReply(ok, reply, 17);
        break;
      case 5: {
        const auto params = in.bytes(in.byte() % 20);
        ok = link.CmdWriteQvsParams(a, params);
        break;
      }
      case 6:
        ok = link.CmdReadQvsMask(reply);
        checkReply(ok, reply, 3);
        break;
      case 7:
        ok = link.CmdWriteQvsMask(static_cast<std::uint32_t>(a) * 977u);
        break;
      case 8:
        ok = link.CmdReadReceiverRefs(copy, reply);
        checkReply(ok, reply, 4);
        break;
      case 9:
        ok = link.CmdWriteReceiverRefs(copy, in.bytes(in.byte() % 8));
        break;
      case 10:
        ok = link.CmdReadSensorBlock(copy, reply);
        checkReply(ok, reply, 18);
        break;
      case 11:
        ok = link.CmdWriteSensorBlock(copy, in.bytes(in.byte() % 24));
        break;
      case 12:
        ok = link.CmdReadMixingBlock(copy, a, reply);
        checkReply(ok, reply, 24);
        break;
      case 13:
        ok = link.CmdWriteMixingBlock(copy, a, in.bytes(in.byte() % 30));
        break;
      case 14:
        ok = link.CmdReadAnalogRefs(copy, reply);
        checkReply(ok, reply, 6);
        break;
      case 15:
        ok = link.CmdWriteAnalogRefs(copy, {in.word(), in.word(), in.word()});
        break;
      case 16:
        link.CmdSetAnalogRef(a, in.word());
        command = false;
        break;
      case 17:
        ok = link.CmdReadAlarm(reply);
        checkReply(ok, reply, 3);
        break;
      case 18:
        ok = link.CmdWriteAlarm(a, in.word());
        break;
      case 19:
        ok = link.CmdReadCounter(reply);
        checkReply(ok, reply, 7);
        break;
      case 20:
        ok = link.CmdReadStartData(reply);
        checkReply(ok, reply, 2);
        break;
      case 21:
        ok = link.CmdWriteStartData(a, static_cast<std::int16_t>(in.word()));
        break;
      case 22:
        ok = link.CmdReadPositions(reply);
        checkReply(ok, reply, kPositionBlockLength);
        break;
      case 23: {
        std::uint16_t word = 0;
        ok = link.CmdReadOptions(copy, word);
        break;
      }
      case 24:
        ok = link.CmdWriteOptions(copy, in.word());
        break;
      case 25:
        ok = link.CmdStop();
        break;
      case 26:
        ok = link.CmdPlay(a);
        break;
      case 27:
        ok = link.CmdReadTableEntry(a, reply);
        checkReply(ok, reply, kTableEntryLength);
        break;
      case 28: {
        TableEntryData entry{};
        const auto bytes = in.bytes(entry.size());
        std::copy(bytes.begin(), bytes.end(), entry.begin());
        ok = link.CmdWriteTableEntry(a, entry);
        break;
      }
      case 29:
        ok = link.CmdReadScenarioStep(a, static_cast<std::int16_t>(in.word()), reply);
        checkReply(ok, reply, 1);
        break;
      case 30: {
        const int step = in.byte();
        ok = link.CmdWriteScenarioStep(a, step, static_cast<std::int16_t>(in.word()));
      } break;
      case 31:
        ok = link.CmdReadTrims(copy, reply);
        checkReply(ok, reply, kPositionBlockLength);
        break;
      case 32: {
        PositionBlock trims;
        for (auto& w : trims.words) w = in.word();
        ok = link.CmdWriteTrims(copy, trims);
        break;
      }
      case 33:
        link.CmdSetTrim(a, in.word());
        command = false;
        break;
      case 34:
        ok = link.CmdReadPositionRecord(copy, a, in.byte(), reply);
        checkReply(ok, reply, kPositionRecordLength);
        break;
      case 35: {
        PositionRecord record;
        record.lead = in.byte();
        for (auto& w : record.block.words) w = in.word();
        ok = link.CmdWritePositionRecord(copy, a, static_cast<std::int16_t>(in.word()), record);
        break;
      }
      case 36:
        link.CmdSetServo(a, in.word());
        command = false;
        break;
      case 37: {
        Bytes info;
        ok = link.CmdReadBoardInfo(info);
        if (ok) PVRJ_FUZZ_CHECK(info.size() == 64);
        break;
      }
      case 38:
        ok = link.SetSleep(a % 4);
        refusedUnlessMode(a % 4, {kSleepOn, kSleepOff, kSleepToggle});
        break;
      case 39: {
        bool paused = false;
        ok = link.SetPause(a % 4, &paused);
        refusedUnlessMode(a % 4, {kPauseSet, kPauseClear, kPauseToggle});
        break;
      }
      case 40:
        ok = link.SetReceiverStream(a % 3);
        refusedUnlessMode(a % 3, {kStreamOn, kStreamOff});
        break;
      case 41:
        ok = link.SetOptionBit5(a % 3);
        refusedUnlessMode(a % 3, {kBit5Set, kBit5Clear});
        break;
      case 42:
        ok = link.SetAnalogStream(a % 3);
        refusedUnlessMode(a % 3, {kAnalogStreamOn, kAnalogStreamOff});
        break;
      case 43:
        ok = link.SetQvsMode(a % 3);
        refusedUnlessMode(a % 3, {kQvsModeOn, kQvsModeOff});
        break;
      case 44: {
        // Each value is taken in a statement of its own, so every compiler reads the input alike.
        const int count = static_cast<std::int16_t>(in.word());
        const std::uint32_t maskHigh = in.word();
        const long mask = static_cast<std::int32_t>(maskHigh << 16 | in.word());
        const int controlHigh = in.word();
        const int control = (controlHigh << 8 | in.byte()) - 0x10000;
        const auto dateBytes = in.bytes(in.byte() % 6);
        const Bytes date(dateBytes.begin(), dateBytes.end());
        ok = link.UpdateTableEntry(a, count, mask, control, date, textFrom(in));
        break;
      }
      case 45:
        ok = link.DeleteTableEntry(a);
        break;
      case 46:
        readMotionTable(link, table);
        command = false;
        break;
      case 47: {
        const bool cancel = in.flag();
        EntryEdit edit;
        edit.name = textFrom(in);
        edit.mask = static_cast<std::uint32_t>(in.word()) << 8;
        edit.mask |= in.byte();
        edit.control = static_cast<std::int16_t>(in.word());
        editTableEntry(link, table, a, [&](int) -> std::optional<EntryEdit> {
          if (cancel) return std::nullopt;
          return edit;
        });
        command = false;
        break;
      }
      case 48:
        (void)readControlCounter(link);
        command = false;
        break;
      case 49: {
        const std::size_t before = chart.items.size();
        const ReadResult read = readSlotIntoChart(context, a);
        checkChartIndices(chart);
        if (read == ReadResult::kFailed) PVRJ_FUZZ_CHECK(chart.items.size() == before);
        command = false;
        break;
      }
      case 50:
        (void)writeChartToSlot(context, a);
        command = false;
        break;
      case 51:
        (void)deleteSlot(context, a);
        command = false;
        break;
      case 52:
        ui.promptIndex = a;
        (void)playOnBoard(context);
        command = false;
        break;
      case 53:
        (void)stopBoard(link, ui);
        command = false;
        break;
      case 54:
        (void)pauseBoard(link, ui);
        command = false;
        break;
      case 55:
        (void)sleepBoard(link, ui, in.flag());
        command = false;
        break;
      case 56: {
        PositionRecord sent;
        ok = returnToHome(link, &sent);
        break;
      }
      case 57:
        (void)homePositionButton(link, ui);
        command = false;
        break;
      case 58:
        ok = readCurrentPose(link).has_value();
        break;
      case 59:
        ok = readPresentPositions(link).has_value();
        break;
      case 60: {
        PositionBlock pose;
        for (auto& w : pose.words) w = in.word();
        ok = writeHomePosition(link, pose);
        break;
      }
      case 61: {
        std::vector<std::string> names;
        const int count = in.byte() % 26;
        for (int i = 0; i < count; ++i) names.push_back(textFrom(in));
        ok = writeChannelNames(link, names);
        command = !names.empty();  // no names: nothing to send, nothing to tell
        break;
      }
      case 62: {
        PositionRecord record;
        record.lead = in.byte();
        for (auto& w : record.block.words) w = in.word();
        ok = sendLiveRecord(link, record);
        break;
      }
      case 63:
        messages.CommX1Receive(port, port.InQueueCount());
        PVRJ_FUZZ_CHECK(messages.buffer().size() <= kMaxReceiveBuffer);
        command = false;
        break;
      case 64: {
        ui.promptIndex = a;
        ui.promptAccepted = in.flag();
        ui.answer = in.flag() ? kIdNo : 0;
        switch (in.byte() % 4) {
          case 0:
            chart = sampleChart(in.flag(), in);
            break;
          case 1:
            (void)writeChartToBoard(context);
            break;
          case 2:
            (void)readChartFromBoard(context);
            break;
          default:
            (void)deleteFromBoard(context);
            break;
        }
        checkChartIndices(chart);
        ui.promptAccepted = true;
        ui.answer = 0;
        command = false;
        break;
      }
      default:
        (void)playSlotRequest(link, ui, static_cast<std::uint32_t>(a));
        command = false;
        break;
    }
    // Whatever happened, the frame of every exchange is undone.
    PVRJ_FUZZ_CHECK(!link.exchanging());
    PVRJ_FUZZ_CHECK(!ui.busy);
    PVRJ_FUZZ_CHECK(link.RetryCount == kDefaultRetryCount);
    PVRJ_FUZZ_CHECK(port.TimeOutReceive() == kReceiveTimeOut);
    if (command) {
      // A command that succeeded leaves no failure; one that failed says why.
      if (ok != (link.lastFailure().fault == LinkFault::kNone))
        std::fprintf(stderr, "operation %d: %s, failure \"%s\"\n", op, ok ? "true" : "false",
                     link.lastFailureText().c_str());
      PVRJ_FUZZ_CHECK(ok == (link.lastFailure().fault == LinkFault::kNone));
    }
    if (port.vanished && in.flag()) port.vanished = false;  // the adapter is plugged in again
  }
  return 0;
}
