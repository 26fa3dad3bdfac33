// Keeping what a write replaces: the motion or scenario an occupied slot held is saved as a chart
// file in the user's state folder before the slot is overwritten, and the folder keeps the newest.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "common/Result.h"

namespace pvrj {

// How many kept files the folder holds; the oldest go first.
inline constexpr std::size_t kKeptFileLimit = 200;
// The longest name part of a kept file's name, in bytes (cut at a character boundary).
inline constexpr std::size_t kKeptNameBytes = 48;

// $XDG_STATE_HOME/pivora/overwritten; ~/.local/state/pivora/overwritten when that variable is
// unset or not an absolute path.
std::string overwrittenFolder();

// "20250314-091502-M3-歩く.VLB": the local date and time, the slot's caption and the data name,
// with "/", control characters and a leading "." replaced by "_"; no name part for an empty name.
std::string keptFileName(const std::tm& when, int slot, const std::string& name);

// The kept files of folder (names as keptFileName makes them), oldest first. Other files are no
// kept files.
std::vector<std::string> keptFiles(const std::string& folder);

// Saves chart in folder (made when missing) under keptFileName, never over an existing file (a
// second save in the same second gets "-2", "-3", ... before ".VLB"), then removes the oldest
// kept files beyond limit. The path written, or why nothing was.
Result<std::string> keepChart(const std::string& folder, const Chart& chart, int slot,
                              const std::tm& when, std::size_t limit = kKeptFileLimit);

}  // namespace pvrj
