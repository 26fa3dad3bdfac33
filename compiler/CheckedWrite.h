// Reading back what was just written to the board's stored copy and comparing it byte for byte:
// the records of a motion slot, the steps of a scenario, and the words that tell a difference.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "compiler/Records.h"
#include "protocol/BoardLink.h"

namespace pvrj {

enum class CheckOutcome {
  kEqual,       // every record or step read back as written
  kDifferent,   // one did not; the difference says which and how
  kLinkFailed,  // a read failed; the link's lastFailure says which and how
};

// The first record that read back otherwise than written.
struct RecordDifference {
  int index = 0;  // record index from 0
  MotionRecord written{};
  MotionRecord read{};
};

// The first scenario step that read back otherwise than written.
struct StepDifference {
  int index = 0;  // step index from 0
  std::uint8_t written = 0;
  std::uint8_t read = 0;
};

// Reads records 0..n-1 of motion slot back from the stored copy and compares them with written,
// stopping at the first difference; checked(i) is called after record i read back equal.
CheckOutcome checkRecords(BoardLink& link, int slot, const std::vector<MotionRecord>& written,
                          const std::function<void(int index)>& checked,
                          RecordDifference& difference);
// The same for steps 0..n-1 of scenario (0-4).
CheckOutcome checkSteps(BoardLink& link, int scenario, std::span<const std::uint8_t> written,
                        const std::function<void(int index)>& checked, StepDifference& difference);

// Bytes as two lower-case hex digits each, separated by spaces ("64 40 00").
std::string spacedHex(std::span<const std::uint8_t> bytes);

// The message box of a difference: which record of which slot, that the table entry was not
// written, and the 49 bytes as written and as read.
std::string recordDifferenceMessage(int slot, const RecordDifference& difference);
std::string stepDifferenceMessage(int scenario, const StepDifference& difference);
// The status line's reason: "3個目のデータが書き込んだ内容と違います".
std::string recordDifferenceReason(const RecordDifference& difference);
std::string stepDifferenceReason(const StepDifference& difference);

}  // namespace pvrj
