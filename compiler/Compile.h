// The compile driver: turns the open chart into the current image (records and listing of a
// motion, or the motion list of a scenario) that the main window keeps for the whole run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "common/UserInterface.h"
#include "compiler/Listing.h"
#include "compiler/Records.h"
#include "compiler/Walk.h"

namespace pvrj {

// Shown when a walk lays out more steps than a jump or compare word can address.
std::string tooManyStepsText(std::size_t steps);
// Shown when a scenario item names a slot that is no motion slot.
std::string motionNumberOutOfRangeText(const std::string& itemName);
// Shown when an item's values would make a step the board reads as another step: a compare whose
// words do not carry its branch, or a pose or setting read as a compare, jump or END.
std::string stepReadsOtherwiseText(const std::string& itemName);

// The compiler's state between compiles: the current image and what the windows show of it.
class CompilerState {
 public:
  // The current motion image: one record per step, step i at record index i.
  std::vector<MotionRecord> records;
  // The current scenario: the motion slot number of each step.
  std::vector<std::uint8_t> scenarioSteps;
  // Steps of the last compile, conversion or read.
  int stepCount = 0;
  // The entry last returned by the slot chooser; the play button offers it again.
  int lastChosenNumber = -1;

  // The steps, listing and listing table of the last successful motion compile.
  std::vector<Step> steps;
  std::vector<int> targetSteps;
  std::string listing;  // every line ended by CR LF
  std::vector<ListingRow> listingRows;
  // The rows of the dump page "LIST".
  std::vector<std::string> dumpRows;

  void clearListing();
  void clearDump() { dumpRows.clear(); }

  // A motion read from the board becomes the current image; its dump rows are the read-back form.
  void setReadMotion(std::vector<MotionRecord> read);
  // A scenario read from the board: its motion slot numbers, dump rows "M" + (m + 1).
  void setReadScenario(std::vector<std::uint8_t> read);
};

// Validates and compiles a motion chart. On success the records, listing, listing table and dump
// rows are replaced; on failure (message shown, or silent for an empty chart) nothing changes.
// A motion of more than 256 steps is refused with an error box.
bool compileMotion(const Chart& chart, UserInterface& ui, CompilerState& state);

// Converts a scenario chart into its list of motion slot numbers and dump rows. A failed item
// check clears the dump rows and the scenario steps.
bool convertScenario(const Chart& chart, UserInterface& ui, CompilerState& state);

// The compile button: a scenario chart is converted, any other chart compiled. On success the
// status line tells how many records (or steps) the "LIST" page now shows.
bool compileChart(const Chart& chart, UserInterface& ui, CompilerState& state);
// "コンパイル成功: 12レコード(LISTページ)" or "シナリオ変換成功: 5ステップ(LISTページ)".
std::string compiledStatus(const Chart& chart, const CompilerState& state);

// The dump row of a scenario step: "M" + (slot + 1), a space, the item name.
std::string scenarioDumpRow(int slot, const std::string& itemName);

}  // namespace pvrj
