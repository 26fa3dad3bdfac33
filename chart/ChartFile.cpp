// Chart file writing and reading, file recognition, and the pose table import.
#include "chart/ChartFile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
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

constexpr std::string_view kHeaderSection = "GraphicalEdit";
constexpr std::string_view kItemPrefix = "Item";
constexpr std::string_view kLinkPrefix = "Link";
constexpr std::string_view kChartExtension = ".VLB";
constexpr std::size_t kPrmFieldCount = 1 + kChannelCount;
constexpr std::size_t kPoseFieldCount = 3 + kChannelCount;
constexpr std::int32_t kDefaultCanvasWidth = 640;
constexpr std::int32_t kDefaultCanvasHeight = 480;
constexpr std::int32_t kNoItem = -1;

// Pose table channel values and the words they map to.
constexpr std::int32_t kPoseAngleLimit = 180;
constexpr std::int32_t kPoseSpecialLow = 221;  // 221..224 -> 32770..32773
constexpr std::int32_t kPoseSpecialMid = 225;  // 225, 226 -> 32768, 32769
constexpr std::int32_t kPoseSpecialHigh = 226;

// A NUL ends a name on reading, as it does on the board; saving cuts there too.
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

std::string numberedSection(std::string_view prefix, std::size_t n) {
  std::string s(prefix);
  appendInt(s, static_cast<std::int64_t>(n));
  return s;
}

// ---- the file as read ---------------------------------------------------------------------

// A chart file or pose table as its bytes: files are walked as the CP932 they are and only the
// texts kept are decoded, so reading needs no decoded copy of the file (half-width kana would
// triple it); text handed in by a caller is UTF-8 already.
struct Source {
  std::string_view bytes;
  bool cp932 = false;

  std::string text(std::string_view piece) const {
    return cp932 ? cp932ToUtf8(piece) : std::string(piece);
  }
  IniScanner ini() const {
    return IniScanner(bytes, cp932 ? IniScanner::Bytes::kCp932 : IniScanner::Bytes::kUtf8);
  }
};

// The header's keys; of a key given twice the first value counts, as everywhere in INI text.
enum HeaderKey {
  kKeyType,
  kKeyWidth,
  kKeyHeight,
  kKeyItems,
  kKeyLinks,
  kKeyStart,
  kKeyName,
  kKeyPort,
  kKeyCtrl,
  kHeaderKeyCount
};
constexpr std::array<const char*, kHeaderKeyCount> kHeaderKeys = {
    "Type", "Width", "Height", "Items", "Links", "Start", "Name", "Port", "Ctrl"};

struct Header {
  std::array<std::optional<std::string_view>, kHeaderKeyCount> values;

  std::int32_t integer(HeaderKey key, std::int32_t fallback) const {
    return values[key] ? parseIntegerOr(*values[key], fallback) : fallback;
  }
  std::int32_t count(HeaderKey key) const { return std::max(0, integer(key, 0)); }
};

template <std::size_t N>
int keyIndex(std::string_view key, const std::array<const char*, N>& keys) {
  for (std::size_t k = 0; k < N; ++k)
    if (equalsIgnoringCase(key, keys[k])) return static_cast<int>(k);
  return -1;
}

Header readHeader(const Source& source) {
  Header header;
  IniScanner scanner = source.ini();
  IniLine line;
  bool inHeader = false;
  while (scanner.next(line)) {
    if (line.isSection) {
      inHeader = equalsIgnoringCase(line.name, kHeaderSection);
      continue;
    }
    const int k = inHeader ? keyIndex(line.name, kHeaderKeys) : -1;
    if (k >= 0 && !header.values[static_cast<std::size_t>(k)])
      header.values[static_cast<std::size_t>(k)] = line.value;
  }
  return header;
}

// ---- recognising -------------------------------------------------------------------------

// The fewest bytes that sections named prefix + 0 ... prefix + (count-1) take in a file: "[",
// the name and a line end each (a reader does without the "]" and the CR).
std::uint64_t leastSectionBytes(std::uint64_t count, std::size_t prefixBytes) {
  std::uint64_t total = 0;
  std::uint64_t first = 0;
  std::uint64_t digits = 1;
  std::uint64_t nextPower = 10;
  while (first < count) {
    const std::uint64_t upto = std::min(count, nextPower);
    total += (upto - first) * (2 + prefixBytes + digits);
    first = upto;
    nextPower *= 10;
    ++digits;
  }
  return total;
}

// A header may not promise more item and link sections than the file could hold. Section headers
// are ASCII, so only the file's ASCII bytes count: kana or other padding makes no room, and the
// items made for missing sections stay in proportion to the file's real content.
bool countsPlausible(const Header& header, std::string_view bytes) {
  const auto ascii = static_cast<std::uint64_t>(std::count_if(
      bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
  const std::uint64_t needed =
      leastSectionBytes(static_cast<std::uint64_t>(header.count(kKeyItems)), kItemPrefix.size()) +
      leastSectionBytes(static_cast<std::uint64_t>(header.count(kKeyLinks)), kLinkPrefix.size());
  return needed <= ascii + 1;  // the file's last line may go without a line end
}

// The number of fields in comma text, counted up to limit.
std::size_t commaFieldCount(std::string_view text, std::size_t limit) {
  CommaTextScanner fields(text);
  std::string_view field;
  std::size_t n = 0;
  while (n < limit && fields.next(field)) ++n;
  return n;
}

bool looksLikePoseTable(const Source& source) {
  LineScanner lines(source.bytes);
  std::string_view line;
  if (!lines.next(line)) return false;
  {
    CommaTextScanner header(line);
    std::string_view field;
    std::size_t n = 0;
    bool named = true;
    while (n <= kPoseFieldCount && header.next(field)) {
      if (n == 0) named = named && field == "NO";
      if (n == 2) named = named && field == "SPEED";
      ++n;
    }
    if (n != kPoseFieldCount || !named) return false;
  }
  std::size_t i = 0;
  while (lines.next(line)) {
    ++i;
    CommaTextScanner fields(line);
    std::string_view first;
    if (!fields.next(first)) return false;
    auto number = parseInteger(first);
    if (!number || *number < 0 || static_cast<std::size_t>(*number) != i) return false;
  }
  return i > 0;
}

int probeSource(const Source& source, const Header& header) {
  const std::int32_t type = header.integer(kKeyType, -1);
  if (type == kProbeMotionChart || type == kProbeScenarioChart)
    return countsPlausible(header, source.bytes) ? type : kProbeUnusable;
  if (looksLikePoseTable(source)) return kProbePoseTable;
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
  std::size_t missingItems = 0;  // promised by the header, without a section: left as defaults
  std::size_t missingLinks = 0;
};

std::string readFailure(const std::string& where, const std::string& what) {
  return "ファイルを読み込めません: [" + where + "] の " + what;
}

// n when name is prefix + n (the prefix in any case, n in decimal without leading zeros) and
// n < count.
std::optional<std::size_t> sectionNumber(std::string_view name, std::string_view prefix,
                                         std::size_t count) {
  if (name.size() <= prefix.size() || !equalsIgnoringCase(name.substr(0, prefix.size()), prefix))
    return std::nullopt;
  const std::string_view digits = name.substr(prefix.size());
  if (digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
  std::uint64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (n >= count) return std::nullopt;
  return static_cast<std::size_t>(n);
}

ChartItem defaultReadItem() {
  ChartItem item;
  item.Selected = true;
  item.Width = kDefaultItemWidth;
  item.Height = kDefaultItemHeight;
  item.Color = kWhite;
  item.PrmByte = 1;
  return item;
}

ChartLink defaultReadLink() {
  ChartLink link;
  link.Selected = true;
  link.Origin = kNoItem;
  link.Final = kNoItem;
  return link;
}

enum ItemKey {
  kItemName,
  kItemWidth,
  kItemHeight,
  kItemLeft,
  kItemTop,
  kItemColor,
  kItemType,
  kItemPrm,
  kItemKeyCount
};
constexpr std::array<const char*, kItemKeyCount> kItemKeys = {"Name", "Width", "Height", "Left",
                                                              "Top",  "Color", "Type",   "Prm"};
enum LinkKey { kLinkMain, kLinkOrigin, kLinkFinal, kLinkPoint, kLinkKeyCount };
constexpr std::array<const char*, kLinkKeyCount> kLinkKeys = {"Main", "Origin", "Final", "Point"};
// Beside one bit per key taken, a section's mark says that the section was there at all.
constexpr std::uint16_t kSectionSeen = 0x8000;

// "Prm": PrmByte and the 24 words; false when it holds fewer than 25 fields.
bool readPrm(std::string_view text, ChartItem& item) {
  CommaTextScanner fields(text);
  std::string_view field;
  if (!fields.next(field)) return false;
  item.PrmByte = static_cast<std::uint8_t>(parseIntegerOr(field, 1));
  for (auto& word : item.PrmWords) {
    if (!fields.next(field)) return false;
    word = static_cast<std::uint16_t>(parseIntegerOr(field, 0));
  }
  return true;
}

// "Point": x1,y1,x2,y2,... taken two at a time, an odd last number left out, nothing for an
// empty text; false when a piece is not an integer.
bool readPoints(std::string_view text, std::vector<ChartPoint>& points) {
  if (text.empty()) return true;
  const auto pieces = static_cast<std::size_t>(std::count(text.begin(), text.end(), ',')) + 1;
  points.reserve(pieces / 2);
  std::int32_t x = 0;
  bool haveX = false;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    auto number = parseInteger(text.substr(start, comma - start));
    if (!number) return false;
    if (haveX) points.push_back({x, *number});
    x = *number;
    haveX = !haveX;
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

Result<StagedChart> stageChart(const Source& source, const Header& header) {
  using R = Result<StagedChart>;
  if (!countsPlausible(header, source.bytes)) return R::failure(kMsgFileUnusable);
  StagedChart s;
  s.name = header.values[kKeyName] ? cutAtNul(source.text(*header.values[kKeyName]))
                                   : std::string(kDefaultChartName);
  s.port =
      static_cast<std::uint32_t>(header.integer(kKeyPort, static_cast<std::int32_t>(kAllChannels)));
  s.ctrl = header.integer(kKeyCtrl, kDefaultCtrl);
  s.type = static_cast<std::uint8_t>(header.integer(kKeyType, -1));
  s.width = header.integer(kKeyWidth, kDefaultCanvasWidth);
  s.height = header.integer(kKeyHeight, kDefaultCanvasHeight);
  const std::int32_t itemCount = header.count(kKeyItems);
  const std::int32_t start = header.integer(kKeyStart, kNoItem);
  s.start = start >= 0 && start < itemCount ? start : kNoItem;

  // Every promised item and link starts as the defaults; the sections there fill them in.
  s.items.assign(static_cast<std::size_t>(itemCount), defaultReadItem());
  s.links.assign(static_cast<std::size_t>(header.count(kKeyLinks)), defaultReadLink());
  std::vector<std::uint16_t> itemMarks(s.items.size());
  std::vector<std::uint16_t> linkMarks(s.links.size());

  IniScanner scanner = source.ini();
  IniLine line;
  std::optional<std::size_t> item;
  std::optional<std::size_t> link;
  // A key of the current section, the first time it is given there (or in a repeat of it).
  auto takeKey = [&](std::uint16_t& marks, int key) {
    if (key < 0 || (marks & (1u << key)) != 0) return false;
    marks = static_cast<std::uint16_t>(marks | (1u << key));
    return true;
  };
  while (scanner.next(line)) {
    if (line.isSection) {
      item = sectionNumber(line.name, kItemPrefix, s.items.size());
      link = item ? std::nullopt : sectionNumber(line.name, kLinkPrefix, s.links.size());
      if (item) itemMarks[*item] |= kSectionSeen;
      if (link) linkMarks[*link] |= kSectionSeen;
      continue;
    }
    const std::string_view v = line.value;
    if (item) {
      const int key = keyIndex(line.name, kItemKeys);
      if (!takeKey(itemMarks[*item], key)) continue;
      ChartItem& it = s.items[*item];
      switch (key) {
        case kItemName:
          it.Name = cutAtNul(source.text(v));
          break;
        case kItemWidth:
          it.Width = parseIntegerOr(v, kDefaultItemWidth);
          break;
        case kItemHeight:
          it.Height = parseIntegerOr(v, kDefaultItemHeight);
          break;
        case kItemLeft:
          it.Left = parseIntegerOr(v, 0);
          break;
        case kItemTop:
          it.Top = parseIntegerOr(v, 0);
          break;
        case kItemColor:
          it.Color =
              static_cast<std::uint32_t>(parseIntegerOr(v, static_cast<std::int32_t>(kWhite)));
          break;
        case kItemType:
          it.Type = static_cast<std::uint8_t>(parseIntegerOr(v, 0));
          break;
        default:
          if (!readPrm(v, it))
            return R::failure(
                readFailure(numberedSection(kItemPrefix, *item),
                            "Prm の数値が " + std::to_string(kPrmFieldCount) + " 個ありません"));
          break;
      }
    } else if (link) {
      const int key = keyIndex(line.name, kLinkKeys);
      if (!takeKey(linkMarks[*link], key)) continue;
      ChartLink& ln = s.links[*link];
      // An end that names no item of this file would point at a stranger or outside the list.
      auto end = [&] {
        std::int32_t i = parseIntegerOr(v, kNoItem);
        return i >= 0 && i < itemCount ? i : kNoItem;
      };
      switch (key) {
        case kLinkMain:
          ln.Main = static_cast<std::uint8_t>(parseIntegerOr(v, 0));
          break;
        case kLinkOrigin:
          ln.Origin = end();
          break;
        case kLinkFinal:
          ln.Final = end();
          break;
        default:
          if (!readPoints(v, ln.Point))
            return R::failure(
                readFailure(numberedSection(kLinkPrefix, *link), "Point に整数でない値があります"));
          break;
      }
    }
  }
  auto unseen = [](const std::vector<std::uint16_t>& marks) {
    return static_cast<std::size_t>(std::count_if(
        marks.begin(), marks.end(), [](std::uint16_t m) { return (m & kSectionSeen) == 0; }));
  };
  s.missingItems = unseen(itemMarks);
  s.missingLinks = unseen(linkMarks);
  return s;
}

std::int32_t grownClientExtent(std::int32_t client, std::int32_t wanted, std::int32_t canvas) {
  if (wanted <= canvas) return client;
  std::int32_t needed = std::min(wanted, kMaxCanvasExtent) + kCanvasMargin;
  return std::max(client, needed);
}

// What the status line says after a file whose header promised sections it does not hold.
std::string missingSectionsText(const std::string& fileName, const StagedChart& s) {
  std::string text = fileName.empty() ? std::string() : fileName + ": ";
  if (s.missingItems > 0)
    text += "項目 " + std::to_string(s.items.size()) + " 個のうち " +
            std::to_string(s.missingItems) + " 個";
  if (s.missingItems > 0 && s.missingLinks > 0) text += "と";
  if (s.missingLinks > 0)
    text += "線 " + std::to_string(s.links.size()) + " 本のうち " + std::to_string(s.missingLinks) +
            " 本";
  return text + "がファイルにないため空にしました";
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

Result<StagedPoses> stagePoses(const Source& source) {
  using R = Result<StagedPoses>;
  LineScanner lines(source.bytes);
  std::string_view line;
  if (!lines.next(line)) return R::failure(kMsgFileUnusable);
  StagedPoses s;
  {
    CommaTextScanner header(line);
    std::string_view field;
    if (header.next(field) && header.next(field)) s.name = cutAtNul(source.text(field));
  }
  // Every line is checked before any item is made, so a table of short lines costs nothing.
  const LineScanner poseLines = lines;
  std::size_t count = 0;
  while (lines.next(line)) {
    if (commaFieldCount(line, kPoseFieldCount) < kPoseFieldCount)
      return R::failure("ファイルを読み込めません: " + std::to_string(count + 2) +
                        " 行目の項目が " + std::to_string(kPoseFieldCount) + " 個ありません");
    ++count;
  }
  ChartItem pose;
  pose.Selected = true;
  pose.Width = kDefaultItemWidth;
  pose.Height = kDefaultItemHeight;
  pose.Color = kWhite;
  pose.Type = kItemPos;
  s.items.assign(count, pose);
  lines = poseLines;
  for (ChartItem& item : s.items) {
    lines.next(line);
    CommaTextScanner fields(line);
    std::string_view field;
    fields.next(field);  // the pose's number, checked when the file was recognised
    fields.next(field);
    item.Name = cutAtNul(source.text(field));
    fields.next(field);
    item.PrmByte = poseSpeedToPrmByte(parseIntegerOr(field, 1));
    for (auto& word : item.PrmWords) {
      fields.next(field);
      word = poseValueToWord(field);
    }
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
  std::int32_t b = 0;
  if (wasEmpty) {
    chart.items = std::move(s.items);  // taken over whole, without a second copy
  } else {
    b = static_cast<std::int32_t>(chart.appendItems(m));
    std::move(s.items.begin(), s.items.end(), chart.items.begin() + b);
  }
  ColumnPlacer placer;
  for (std::int32_t k = 0; k < m; ++k) {
    ChartItem& item = chart.items[static_cast<std::size_t>(b + k)];
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

// Commits a staged chart and says in the status line what was filled in by default.
void commitChartAndReport(Chart& chart, ClientArea& client, StagedChart&& s,
                          const std::string& fileName, UserInterface& ui, OpenOutcome& outcome) {
  const std::string missing =
      s.missingItems + s.missingLinks > 0 ? missingSectionsText(fileName, s) : std::string();
  commitChart(chart, client, std::move(s), outcome);
  if (!missing.empty()) ui.showStatus(missing);
}

OpenOutcome readChartSource(Chart& chart, ClientArea& client, const Source& source,
                            const std::string& fileName, UserInterface& ui) {
  auto staged = stageChart(source, readHeader(source));
  if (!staged) return failWith(ui, staged.message());
  OpenOutcome outcome;
  commitChartAndReport(chart, client, std::move(staged).value(), fileName, ui, outcome);
  return outcome;
}

OpenOutcome readPoseSource(Chart& chart, const Source& source, UserInterface& ui) {
  auto staged = stagePoses(source);
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
    return static_cast<std::uint16_t>(kPositionCentre + v);
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
  const bool hasExtension = dot != std::string::npos && dot >= nameStart;
  // A name that already ends in ".vlb", in any case, is the file meant: "wave.vlb" stays itself
  // rather than getting a second file "wave.VLB" beside it.
  if (hasExtension && equalsIgnoringCase(std::string_view(path).substr(dot), kChartExtension))
    return path;
  std::string base = hasExtension ? path.substr(0, dot) : path;
  return base.append(kChartExtension);
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

Status writeChartFile(const Chart& chart, const std::string& path) {
  AtomicFileWriter writer;
  if (Status opened = writer.open(path); !opened) return opened;
  std::string buffer;
  buffer.reserve(kSaveChunkBytes + 4096);
  emitChartText(chart, buffer, kSaveChunkBytes, [&writer](std::string& piece) {
    writer.write(utf8ToCp932(piece));
    piece.clear();
  });
  return writer.commit();
}

bool saveChart(const Chart& chart, const std::string& path, bool chartFilter, UserInterface& ui,
               std::string* savedPath) {
  // A path without a file name ("", "folder/") names no file to write; the extension rule would
  // otherwise make it the hidden file ".VLB".
  const std::string target = hasFileName(path) ? chartSavePath(path, chartFilter) : std::string();
  // Nothing is created or truncated before the new contents are complete: the probe only checks,
  // and the writer fills a temporary file that replaces the target only when it is whole.
  const bool ok =
      !target.empty() && probeWritable(target).ok() && writeChartFile(chart, target).ok();
  if (!ok) {
    ui.ShowMessageBox(kMsgError, kBtnOk, kMsgCannotSaveHere);
    return false;
  }
  if (savedPath) *savedPath = target;
  ui.showStatus(target + " に保存しました");
  return true;
}

int probeText(std::string_view text) {
  const Source source{text, false};
  return probeSource(source, readHeader(source));
}

int probeFile(const std::string& path) {
  auto bytes = readFileBytes(path);
  if (!bytes) return kProbeUnusable;
  const Source source{bytes.value(), true};
  return probeSource(source, readHeader(source));
}

OpenOutcome readChartText(Chart& chart, ClientArea& client, std::string_view text,
                          UserInterface& ui) {
  return readChartSource(chart, client, Source{text, false}, std::string(), ui);
}

OpenOutcome readPoseTableText(Chart& chart, std::string_view text, UserInterface& ui) {
  return readPoseSource(chart, Source{text, false}, ui);
}

OpenOutcome readChartFile(Chart& chart, ClientArea& client, const std::string& path,
                          UserInterface& ui) {
  auto bytes = readFileBytes(path);
  if (!bytes) return failWith(ui, kMsgFileUnusable);
  return readChartSource(chart, client, Source{bytes.value(), true}, std::string(fileNameOf(path)),
                         ui);
}

OpenOutcome readPoseTable(Chart& chart, const std::string& path, UserInterface& ui) {
  auto bytes = readFileBytes(path);
  if (!bytes) return failWith(ui, kMsgFileUnusable);
  return readPoseSource(chart, Source{bytes.value(), true}, ui);
}

OpenOutcome openFile(Chart& chart, ClientArea& client, const std::string& path, UserInterface& ui) {
  // The file is read once; recognising and reading walk the same bytes.
  auto bytes = readFileBytes(path);
  if (!bytes) return failWith(ui, kMsgFileUnusable);
  const Source source{bytes.value(), true};
  const Header header = readHeader(source);
  const int kind = probeSource(source, header);
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
    auto staged = stagePoses(source);
    if (!staged) return failWith(ui, staged.message());
    if (mayReplace()) commitPoses(chart, std::move(staged).value(), outcome);
  } else {
    auto staged = stageChart(source, header);
    if (!staged) return failWith(ui, staged.message());
    if (mayReplace())
      commitChartAndReport(chart, client, std::move(staged).value(), std::string(fileNameOf(path)),
                           ui, outcome);
  }
  return outcome;
}

}  // namespace pvrj
