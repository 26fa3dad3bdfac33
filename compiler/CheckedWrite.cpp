// Comparing what the board stored with what was sent.
#include "compiler/CheckedWrite.h"

#include <algorithm>

#include "protocol/MotionTable.h"

namespace pvrj {
namespace {

// A step's motion as the dump page shows it: "M" + (m + 1), also for a number beyond M80.
std::string stepName(std::uint8_t motion) {
  return "M" + std::to_string(motion + 1);
}

}  // namespace

CheckOutcome checkRecords(BoardLink& link, int slot, const std::vector<MotionRecord>& written,
                          const std::function<void(int index)>& checked,
                          RecordDifference& difference) {
  for (std::size_t i = 0; i < written.size(); ++i) {
    const int index = static_cast<int>(i);
    Bytes reply;
    if (!link.CmdReadPositionRecord(StoredCopy, slot, index, reply) ||
        reply.size() < kPositionRecordLength)
      return CheckOutcome::kLinkFailed;
    MotionRecord read{};
    std::copy_n(reply.begin(), kPositionRecordLength, read.begin());
    if (read != written[i]) {
      difference = {index, written[i], read};
      return CheckOutcome::kDifferent;
    }
    if (checked) checked(index);
  }
  return CheckOutcome::kEqual;
}

CheckOutcome checkSteps(BoardLink& link, int scenario, std::span<const std::uint8_t> written,
                        const std::function<void(int index)>& checked, StepDifference& difference) {
  for (std::size_t i = 0; i < written.size(); ++i) {
    const int index = static_cast<int>(i);
    Bytes reply;
    if (!link.CmdReadScenarioStep(scenario, index, reply) || reply.empty())
      return CheckOutcome::kLinkFailed;
    if (reply[0] != written[i]) {
      difference = {index, written[i], reply[0]};
      return CheckOutcome::kDifferent;
    }
    if (checked) checked(index);
  }
  return CheckOutcome::kEqual;
}

std::string spacedHex(std::span<const std::uint8_t> bytes) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

std::string recordDifferenceReason(const RecordDifference& d) {
  return std::to_string(d.index + 1) + "個目のデータが書き込んだ内容と違います";
}

std::string stepDifferenceReason(const StepDifference& d) {
  return std::to_string(d.index + 1) + "個目のステップが書き込んだ内容と違います";
}

std::string recordDifferenceMessage(int slot, const RecordDifference& d) {
  return "書き込んだデータを読み返すと、" + slotCaption(slot) + "の" + recordDifferenceReason(d) +
         "。ＰＣＴは書き込んでいません。\r\n書込: " + spacedHex(d.written) +
         "\r\n読込: " + spacedHex(d.read);
}

std::string stepDifferenceMessage(int scenario, const StepDifference& d) {
  return "書き込んだデータを読み返すと、" + slotCaption(kFirstScenarioSlot + scenario) + "の" +
         stepDifferenceReason(d) +
         "。ＰＣＴは書き込んでいません。\r\n書込: " + stepName(d.written) +
         "\r\n読込: " + stepName(d.read);
}

}  // namespace pvrj
