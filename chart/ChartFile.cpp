// Chart file writing and reading, file recognition, and the pose table import.
#include "chart/ChartFile.h"

#include <algorithm>
#include <charconv>
#include <utility>
#include <vector>

#include "common/CommaText.h"
#include "common/Encoding.h"
#include "common/FileIo.h"
#include "common/IniFile.h"
#include "common/Numbers.h"
#include "common/Result.h"

namespace pvrj {
namespace {

constexpr const char* kHeaderSection = "GraphicalEdit";
constexpr const char* kChartExtension = ".VLB";
// "[Item0]" and a line end: no section takes fewer bytes, so a header may not promise more
// items or links than the file has room for.
constexpr std::size_t kMinSectionBytes = 9;
constexpr std::size_t kPrmFieldCount = 1 + kChannelCount;
constexpr std::size_t kPoseFieldCount = 3 + kChannelCount;
constexpr std::int32_t kDefaultCanvasWidth = 640;
constexpr std::int32_t kDefaultCanvasHeight = 480;
constexpr std::int32_t kNoItem = -1;

// Pose table channel values and the words they map to.
constexpr std::int32_t kPoseAngleLimit = 180;
constexpr std::int32_t kPoseCentreWord = 16384;
constexpr std::int32_t kPoseSpecialLow = 221;  // 221..224 -> 32770..32773
constexpr std::int32_t kPoseSpecialMid = 225;  // 225, 226 -> 32768, 32769
constexpr std::int32_t kPoseSpecialHigh = 226;

const std::string& defaultPrmText() {
  static const std::string text = [] {
    std::string t = "1";
    for (int i = 0; i < kChannelCount; ++i) t += ",0";
    return t;
  }();
  return text;
}

std::string cutAtNul(std::string text) {
  auto nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

// A value must stay on its line: line ends (and NUL, which ends a name on reading) become blanks.
void appendValue(std::string& out, std::string_view value) {
  for (char c : value) out.push_back(c == '\r' || c == '\n' || c == '\0' ? ' ' : c);
}

void appendInt(std::string& out, std::int64_t v) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  (void)ec;
  out.append(buf, end);
}

void appendKey(std::string& out, const char* key, std::int64_t v) {
  out += key;
  out += '=';
  appendInt(out, v);
  out += "\r\n";
}

void appendKey(std::string& out, const char* key, std::string_view v) {
  out += key;
  out += '=';
  appendValue(out, v);
  out += "\r\n";
}

std::string numberedSection(const char* prefix, std::size_t n) {
  std::string s = prefix;
  appendInt(s, static_cast<std::int64_t>(n));
  return s;
}

// ---- recognising -------------------------------------------------------------------------

bool countsPlausible(const IniFile& ini, std::size_t textBytes) {
  const std::size_t room = textBytes / kMinSectionBytes;
  for (const char* key : {"Items", "Links"}) {
    std::int32_t n = ini.readInteger(kHeaderSection, key, 0);
    if (n > 0 && static_cast<std::size_t>(n) > room) return false;
  }
  return true;
}

bool looksLikePoseTable(const std::vector<std::string>& lines) {
  if (lines.size() < 2) return false;
  auto header = splitCommaText(lines[0]);
  if (header.size() != kPoseFieldCount || header[0] != "NO" || header[2] != "SPEED") return false;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    auto fields = splitCommaText(lines[i]);
    if (fields.empty()) return false;
    auto number = parseInteger(fields[0]);
    if (!number || static_cast<std::size_t>(*number) != i || *number < 0) return false;
  }
  return true;
}

int probeParsed(const IniFile& ini, std::string_view text) {
  std::int32_t type = ini.readInteger(kHeaderSection, "Type", -1);
  if (type == kProbeMotionChart || type == kProbeScenarioChart)
    return countsPlausible(ini, text.size()) ? type : kProbeUnusable;
  if (looksLikePoseTable(splitLines(text))) return kProbePoseTable;
  return type;
}

// ---- reading chart files -----------------------------------------------------------------

// Everything a chart file holds, read and checked before the chart is touched.
struct StagedChart {
  std::string name;
  std::uint32_t port = kAllChannels;
  std::int32_t ctrl = kDefaultCtrl;
  std::uint8_t type = 0;
  std::int32_t width = kDefaultCanvasWidth;
  std::int32_t height = kDefaultCanvasHeight;
  std::int32_t start = kNoItem;  // index into items, or -1
  std::vector<ChartItem> items;
  std::vector<ChartLink> links;  // ends index items, or -1
};

std::string readFailure(const std::string& where, const std::string& what) {
  return "ファイルを読み込めません: [" + where + "] の " + what;
}

Result<StagedChart> stageChart(const IniFile& ini, std::size_t textBytes) {
  using R = Result<StagedChart>;
  if (!countsPlausible(ini, textBytes)) return R::failure(kMsgFileUnusable);
  StagedChart s;
  s.name = cutAtNul(ini.readString(kHeaderSection, "Name", kDefaultChartName));
  s.port = static_cast<std::uint32_t>(
      ini.readInteger(kHeaderSection, "Port", static_cast<std::int32_t>(kAllChannels)));
  s.ctrl = ini.readInteger(kHeaderSection, "Ctrl", kDefaultCtrl);
  s.type = static_cast<std::uint8_t>(ini.readInteger(kHeaderSection, "Type", -1));
  s.width = ini.readInteger(kHeaderSection, "Width", kDefaultCanvasWidth);
  s.height = ini.readInteger(kHeaderSection, "Height", kDefaultCanvasHeight);
  const std::int32_t itemCount = std::max(0, ini.readInteger(kHeaderSection, "Items", 0));
  const std::int32_t linkCount = std::max(0, ini.readInteger(kHeaderSection, "Links", 0));
  const std::int32_t start = ini.readInteger(kHeaderSection, "Start", kNoItem);
  s.start = start >= 0 && start < itemCount ? start : kNoItem;

  std::size_t cursor = 0;  // sections are usually in order: walk them rather than hash each
  s.items.resize(static_cast<std::size_t>(itemCount));
  for (std::size_t n = 0; n < s.items.size(); ++n) {
    const std::string sec = numberedSection("Item", n);
    const IniFile::SectionView v = ini.sectionNear(sec, cursor);
    ChartItem& item = s.items[n];
    item.Selected = true;
    item.Name = v.readString("Name", "");
    item.Width = v.readInteger("Width", kDefaultItemWidth);
    item.Height = v.readInteger("Height", kDefaultItemHeight);
    item.Left = v.readInteger("Left", 0);
    item.Top = v.readInteger("Top", 0);
    item.Color =
        static_cast<std::uint32_t>(v.readInteger("Color", static_cast<std::int32_t>(kWhite)));
    item.Type = static_cast<std::uint8_t>(v.readInteger("Type", 0));
    auto fields = splitCommaText(v.value("Prm").value_or(defaultPrmText()));
    if (fields.size() < kPrmFieldCount)
      return R::failure(
          readFailure(sec, "Prm の数値が " + std::to_string(kPrmFieldCount) + " 個ありません"));
    item.PrmByte = static_cast<std::uint8_t>(parseIntegerOr(fields[0], 1));
    for (int ch = 0; ch < kChannelCount; ++ch)
      item.PrmWords[static_cast<std::size_t>(ch)] =
          static_cast<std::uint16_t>(parseIntegerOr(fields[static_cast<std::size_t>(ch) + 1], 0));
  }

  s.links.resize(static_cast<std::size_t>(linkCount));
  for (std::size_t n = 0; n < s.links.size(); ++n) {
    const std::string sec = numberedSection("Link", n);
    const IniFile::SectionView v = ini.sectionNear(sec, cursor);
    ChartLink& link = s.links[n];
    link.Selected = true;
    link.Main = static_cast<std::uint8_t>(v.readInteger("Main", 0));
    // An end that names no item of this file would point at a stranger or outside the list.
    auto end = [&](const char* key) {
      std::int32_t i = v.readInteger(key, kNoItem);
      return i >= 0 && i < itemCount ? i : kNoItem;
    };
    link.Origin = end("Origin");
    link.Final = end("Final");
    std::string_view points = v.value("Point").value_or("");
    if (points.empty()) continue;
    auto pieces = splitAtCommas(points);
    std::vector<std::int32_t> numbers;
    numbers.reserve(pieces.size());
    for (auto piece : pieces) {
      auto number = parseInteger(piece);
      if (!number) return R::failure(readFailure(sec, "Point に整数でない値があります"));
      numbers.push_back(*number);
    }
    link.Point.reserve(numbers.size() / 2);
    for (std::size_t i = 0; i + 1 < numbers.size(); i += 2)
      link.Point.push_back({numbers[i], numbers[i + 1]});
  }
  return s;
}

std::int32_t grownClientExtent(std::int32_t client, std::int32_t wanted, std::int32_t canvas) {
  if (wanted <= canvas) return client;
  std::int32_t needed = std::min(wanted, kMaxCanvasExtent) + kCanvasMargin;
  return std::max(client, needed);
}

void commitChart(Chart& chart, ClientArea& client, StagedChart&& s, OpenOutcome& outcome) {
  const bool wasEmpty = chart.items.empty();
  if (wasEmpty) {
    chart.Name = std::move(s.name);
    chart.Port = s.port;
    chart.Ctrl = s.ctrl;
    outcome.nameTaken = true;
  }
  chart.Type = s.type;
  client.width = grownClientExtent(client.width, s.width, chart.Width);
  client.height = grownClientExtent(client.height, s.height, chart.Height);
  chart.Width = client.width - kCanvasMargin;
  chart.Height = client.height - kCanvasMargin;

  // Appending to empty lists is taking the read ones over whole, without a second copy.
  const auto b = static_cast<std::int32_t>(chart.itemCount());
  if (chart.items.empty()) {
    chart.items = std::move(s.items);
  } else {
    chart.appendItems(static_cast<int>(s.items.size()));
    std::move(s.items.begin(), s.items.end(), chart.items.begin() + b);
  }
  for (auto& link : s.links) {
    if (link.Origin != kNoItem) link.Origin += b;
    if (link.Final != kNoItem) link.Final += b;
  }
  if (chart.links.empty()) {
    chart.links = std::move(s.links);
  } else {
    const int c = chart.appendLinks(static_cast<int>(s.links.size()));
    std::move(s.links.begin(), s.links.end(), chart.links.begin() + c);
  }

  // Added to a chart that already has a start, that start stays: the new part is an addition.
  if (wasEmpty || !chart.validItem(chart.Start))
    chart.Start = s.start == kNoItem ? kNoItem : s.start + b;
  outcome.opened = true;
}

// ---- reading pose tables -----------------------------------------------------------------

struct StagedPoses {
  std::string name;
  std::vector<ChartItem> items;
};

Result<StagedPoses> stagePoses(const std::vector<std::string>& lines) {
  using R = Result<StagedPoses>;
  if (lines.empty()) return R::failure(kMsgFileUnusable);
  StagedPoses s;
  auto header = splitCommaText(lines[0]);
  if (header.size() > 1) s.name = header[1];
  s.items.resize(lines.size() - 1);
  for (std::size_t k = 0; k < s.items.size(); ++k) {
    auto fields = splitCommaText(lines[k + 1]);
    if (fields.size() < kPoseFieldCount)
      return R::failure("ファイルを読み込めません: " + std::to_string(k + 2) + " 行目の項目が " +
                        std::to_string(kPoseFieldCount) + " 個ありません");
    ChartItem& item = s.items[k];
    item.Selected = true;
    item.Name = fields[1];
    item.Width = kDefaultItemWidth;
    item.Height = kDefaultItemHeight;
    item.Color = kWhite;
    item.Type = kItemPos;
    item.PrmByte = poseSpeedToPrmByte(parseIntegerOr(fields[2], 1));
    for (int ch = 0; ch < kChannelCount; ++ch)
      item.PrmWords[static_cast<std::size_t>(ch)] =
          poseValueToWord(fields[static_cast<std::size_t>(ch) + 3]);
  }
  return s;
}

void commitPoses(Chart& chart, StagedPoses&& s, OpenOutcome& outcome) {
  const bool wasEmpty = chart.items.empty();
  if (wasEmpty) {
    chart.Name = std::move(s.name);
    chart.Port = kAllChannels;
    chart.Ctrl = kDefaultCtrl;
    outcome.nameTaken = true;
  }
  chart.Type = kMotionChart;
  const auto m = static_cast<std::int32_t>(s.items.size());
  const auto b = static_cast<std::int32_t>(chart.appendItems(m));
  ColumnPlacer placer;
  for (std::int32_t k = 0; k < m; ++k) {
    ChartItem& item = chart.items[static_cast<std::size_t>(b + k)];
    item = std::move(s.items[static_cast<std::size_t>(k)]);
    ChartPoint p = placer.placeInColumns(chart.Height);
    item.Left = p.x;
    item.Top = p.y;
  }
  if (m > 1) {
    const int c = chart.appendLinks(m - 1);
    for (std::int32_t k = 0; k + 1 < m; ++k) {
      ChartLink& link = chart.links[static_cast<std::size_t>(c + k)];
      link.Selected = true;
      link.Main = 0;
      link.Origin = b + k;
      link.Final = b + k + 1;
    }
  } else {
    chart.appendLinks(0);
  }
  if (wasEmpty || !chart.validItem(chart.Start)) chart.Start = m > 0 ? b : kNoItem;
  outcome.opened = true;
}

OpenOutcome failWith(UserInterface& ui, const std::string& message) {
  const bool unusable = message == kMsgFileUnusable;
  ui.ShowMessageBox(unusable ? kMsgWarning : kMsgError, kBtnOk, message);
  return {};
}

OpenOutcome readChartIni(Chart& chart, ClientArea& client, const IniFile& ini,
                         std::size_t textBytes, UserInterface& ui) {
  auto staged = stageChart(ini, textBytes);
  if (!staged) return failWith(ui, staged.message());
  OpenOutcome outcome;
  commitChart(chart, client, std::move(staged).value(), outcome);
  return outcome;
}

OpenOutcome readPoseLines(Chart& chart, const std::vector<std::string>& lines, UserInterface& ui) {
  auto staged = stagePoses(lines);
  if (!staged) return failWith(ui, staged.message());
  OpenOutcome outcome;
  commitPoses(chart, std::move(staged).value(), outcome);
  return outcome;
}

}  // namespace

// ---- public operations -------------------------------------------------------------------

std::uint16_t poseValueToWord(std::string_view field) {
  std::int32_t v = parseIntegerOr(field, kPoseSpecialMid);
  if (v >= -kPoseAngleLimit && v <= kPoseAngleLimit)
    return static_cast<std::uint16_t>(kPoseCentreWord + v);
  if (v >= kPoseSpecialLow && v < kPoseSpecialMid)
    return static_cast<std::uint16_t>(32770 + (v - kPoseSpecialLow));
  if (v >= kPoseSpecialMid && v <= kPoseSpecialHigh)
    return static_cast<std::uint16_t>(32768 + (v - kPoseSpecialMid));
  return 0;
}

std::uint8_t poseSpeedToPrmByte(std::int32_t code) {
  // The shift count wraps at 32, as a 32-bit shift does.
  const std::uint32_t shift = static_cast<std::uint32_t>(code) & 31u;
  return static_cast<std::uint8_t>((1u << shift) & 0xFFu);
}

std::string chartSavePath(const std::string& path, bool chartFilter) {
  if (!chartFilter) return path;
  const auto slash = path.find_last_of('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = path.find_last_of('.');
  std::string base = dot != std::string::npos && dot >= nameStart ? path.substr(0, dot) : path;
  return base + kChartExtension;
}

namespace {

// Writes the chart's text into buffer; whenever the buffer holds at least chunkBytes after a
// section, hands it to flush (which empties it). Sections are never split, so every piece is
// whole characters.
template <class Flush>
void emitChartText(const Chart& chart, std::string& out, std::size_t chunkBytes, Flush flush) {
  out += "[GraphicalEdit]\r\n";
  appendKey(out, "Type", chart.Type);
  appendKey(out, "Width", chart.Width);
  appendKey(out, "Height", chart.Height);
  appendKey(out, "Items", chart.itemCount());
  appendKey(out, "Links", chart.linkCount());
  appendKey(out, "Start", chart.Start);
  appendKey(out, "Name", cutAtNul(chart.Name));
  appendKey(out, "Port", static_cast<std::int32_t>(chart.Port));
  appendKey(out, "Ctrl", chart.Ctrl);
  out += "\r\n";
  for (std::size_t n = 0; n < chart.items.size(); ++n) {
    const ChartItem& item = chart.items[n];
    out += "[Item";
    appendInt(out, static_cast<std::int64_t>(n));
    out += "]\r\n";
    appendKey(out, "Name", cutAtNul(item.Name));
    appendKey(out, "Width", item.Width);
    appendKey(out, "Height", item.Height);
    appendKey(out, "Left", item.Left);
    appendKey(out, "Top", item.Top);
    appendKey(out, "Color", static_cast<std::int32_t>(item.Color));
    appendKey(out, "Type", item.Type);
    out += "Prm=";
    appendInt(out, item.PrmByte);
    for (auto word : item.PrmWords) {
      out += ',';
      appendInt(out, word);
    }
    out += "\r\n\r\n";
    if (out.size() >= chunkBytes) flush(out);
  }
  for (std::size_t n = 0; n < chart.links.size(); ++n) {
    const ChartLink& link = chart.links[n];
    out += "[Link";
    appendInt(out, static_cast<std::int64_t>(n));
    out += "]\r\n";
    appendKey(out, "Main", link.Main);
    appendKey(out, "Origin", link.Origin);
    appendKey(out, "Final", link.Final);
    out += "Point=";
    bool first = true;
    for (const auto& p : link.Point) {
      if (!first) out += ',';
      first = false;
      appendInt(out, p.x);
      out += ',';
      appendInt(out, p.y);
    }
    out += "\r\n\r\n";
    if (out.size() >= chunkBytes) flush(out);
  }
  if (!out.empty()) flush(out);
}

// Large charts are converted and written in pieces of about this size, so saving needs no copy
// of the whole file in memory.
constexpr std::size_t kSaveChunkBytes = 48 * 1024;

}  // namespace

std::string chartFileText(const Chart& chart) {
  std::string out;
  out.reserve(256 + chart.items.size() * 320 + chart.links.size() * 64);
  emitChartText(chart, out, std::string::npos, [](std::string&) {});
  return out;
}

bool saveChart(const Chart& chart, const std::string& path, bool chartFilter, UserInterface& ui,
               std::string* savedPath) {
  const std::string target = chartSavePath(path, chartFilter);
  // Nothing is created or truncated before the new contents are complete: the probe only checks,
  // and the writer fills a temporary file that replaces the target only when it is whole.
  bool ok = probeWritable(target).ok();
  if (ok) {
    AtomicFileWriter writer;
    ok = writer.open(target).ok();
    if (ok) {
      std::string buffer;
      buffer.reserve(kSaveChunkBytes + 4096);
      emitChartText(chart, buffer, kSaveChunkBytes, [&writer](std::string& piece) {
        writer.write(utf8ToCp932(piece));
        piece.clear();
      });
      ok = writer.commit().ok();
    }
  }
  if (!ok) {
    ui.ShowMessageBox(kMsgError, kBtnOk, kMsgCannotSaveHere);
    return false;
  }
  if (savedPath) *savedPath = target;
  return true;
}

int probeText(std::string_view text) {
  return probeParsed(IniFile::fromString(text), text);
}

int probeFile(const std::string& path) {
  auto text = readTextFile(path);
  if (!text) return kProbeUnusable;
  const IniFile ini = IniFile::fromOwnedString(std::move(text).value());
  return probeParsed(ini, ini.sourceText());
}

OpenOutcome readChartText(Chart& chart, ClientArea& client, std::string_view text,
                          UserInterface& ui) {
  return readChartIni(chart, client, IniFile::fromString(text), text.size(), ui);
}

OpenOutcome readPoseTableText(Chart& chart, std::string_view text, UserInterface& ui) {
  return readPoseLines(chart, splitLines(text), ui);
}

OpenOutcome readChartFile(Chart& chart, ClientArea& client, const std::string& path,
                          UserInterface& ui) {
  auto text = readTextFile(path);
  if (!text) return failWith(ui, kMsgFileUnusable);
  const IniFile ini = IniFile::fromOwnedString(std::move(text).value());
  return readChartIni(chart, client, ini, ini.sourceText().size(), ui);
}

OpenOutcome readPoseTable(Chart& chart, const std::string& path, UserInterface& ui) {
  auto text = readTextFile(path);
  if (!text) return failWith(ui, kMsgFileUnusable);
  return readPoseTableText(chart, text.value(), ui);
}

OpenOutcome openFile(Chart& chart, ClientArea& client, const std::string& path, UserInterface& ui) {
  // The file is read and parsed once; probing and reading share the result.
  auto text = readTextFile(path);
  if (!text) return failWith(ui, kMsgFileUnusable);
  // The parsed file keeps the text, so the pose table check and size read it from there.
  const IniFile ini = IniFile::fromOwnedString(std::move(text).value());
  const std::string_view source = ini.sourceText();
  const int kind = probeParsed(ini, source);
  if (kind != kProbeMotionChart && kind != kProbeScenarioChart && kind != kProbePoseTable)
    return failWith(ui, kMsgFileUnusable);

  // Read everything before asking, so a broken file neither asks nor clears the chart.
  const int fileType = kind == kProbePoseTable ? kMotionChart : kind;
  auto mayReplace = [&] {
    if (fileType == chart.Type || chart.items.empty()) return true;
    if (ui.ShowMessageBox(kMsgQuestion, kBtnOkCancel, kMsgReplaceChart) != kIdOk) return false;
    chart.clear();
    return true;
  };
  OpenOutcome outcome;
  if (kind == kProbePoseTable) {
    auto staged = stagePoses(splitLines(source));
    if (!staged) return failWith(ui, staged.message());
    if (mayReplace()) commitPoses(chart, std::move(staged).value(), outcome);
  } else {
    auto staged = stageChart(ini, source.size());
    if (!staged) return failWith(ui, staged.message());
    if (mayReplace()) commitChart(chart, client, std::move(staged).value(), outcome);
  }
  return outcome;
}

}  // namespace pvrj
