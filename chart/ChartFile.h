// Chart files (INI text, ".VLB") and the pose table import: saving, recognising and reading.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "chart/Chart.h"
#include "common/Result.h"
#include "common/UserInterface.h"

namespace pvrj {

// What probeFile tells about a file; every other value means the file cannot be used.
inline constexpr int kProbeMotionChart = 0;
inline constexpr int kProbeScenarioChart = 7;
inline constexpr int kProbePoseTable = 100;
inline constexpr int kProbeUnusable = -1;

// The main window's client area. Reading a chart file may widen it, and the canvas then takes
// its size less kCanvasMargin in each direction; the window applies the result.
inline constexpr std::int32_t kCanvasMargin = 4;
inline constexpr std::int32_t kStartClientWidth = 650;
inline constexpr std::int32_t kStartClientHeight = 580;
// No file may ask for a canvas wider or taller than this.
inline constexpr std::int32_t kMaxCanvasExtent = 32767;
struct ClientArea {
  std::int32_t width = kStartClientWidth;
  std::int32_t height = kStartClientHeight;
};

// Messages shown by the file operations.
inline constexpr const char* kMsgCannotSaveHere = "指定の場所には保存できません";
inline constexpr const char* kMsgFileUnusable = "指定のファイルは使用できません";
inline constexpr const char* kMsgReplaceChart = "現在のデータが消えてしまいますが構いませんか？";

// The save dialog's two filters.
inline constexpr const char* kChartFilterName = "VLBファイル";
inline constexpr const char* kChartFilterPattern = "*.VLB";
inline constexpr const char* kAllFilesFilterName = "全てのファイルを表示する";
inline constexpr const char* kAllFilesFilterPattern = "*.*";

struct OpenOutcome {
  bool opened = false;     // false: refused, cancelled, or stopped by an error (chart unchanged)
  bool nameTaken = false;  // the chart's Name came from the file: the tab shows "EDIT " + Name
};

// The path saveChart writes: with the chart-file filter the extension becomes ".VLB", unless the
// name already ends in ".vlb" in any case, which is kept as it is.
std::string chartSavePath(const std::string& path, bool chartFilter);
// The chart as file text (UTF-8, CR LF); saveChart writes it as CP932.
std::string chartFileText(const Chart& chart);
// Writes the chart file to path as it is (no extension rule, no message): complete or not at all.
Status writeChartFile(const Chart& chart, const std::string& path);
// Saves the chart and names the file written in the status line; on failure (also for a path
// without a file name) shows the error box and returns false. savedPath, if given, receives the
// path written.
bool saveChart(const Chart& chart, const std::string& path, bool chartFilter, UserInterface& ui,
               std::string* savedPath = nullptr);

// 0 or 7 for a chart file of that type, 100 for a pose table, anything else for unusable.
int probeFile(const std::string& path);
// Opens a file into the chart the way the load button does.
OpenOutcome openFile(Chart& chart, ClientArea& client, const std::string& path, UserInterface& ui);
// Adds a chart file's items and links to the chart. Items and links that the header promises but
// the file has no section for are added with their defaults, and the status line says how many.
OpenOutcome readChartFile(Chart& chart, ClientArea& client, const std::string& path,
                          UserInterface& ui);
// Adds one POS item per pose of a pose table, joined by a chain of connection lines.
OpenOutcome readPoseTable(Chart& chart, const std::string& path, UserInterface& ui);

// The same three on text already read (UTF-8), for callers that hold the text in memory.
int probeText(std::string_view text);
OpenOutcome readChartText(Chart& chart, ClientArea& client, std::string_view text,
                          UserInterface& ui);
OpenOutcome readPoseTableText(Chart& chart, std::string_view text, UserInterface& ui);

// A pose table channel value as a parameter word.
std::uint16_t poseValueToWord(std::string_view field);
// The PrmByte of a pose table speed code: the low 8 bits of 2 to the power (code mod 32).
std::uint8_t poseSpeedToPrmByte(std::int32_t code);

}  // namespace pvrj
