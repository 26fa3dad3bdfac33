// The folder of overwritten motions: names, saving and pruning.
#include "compiler/Safekeeping.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <tuple>

#include "chart/ChartFile.h"
#include "common/FileIo.h"
#include "common/SettingsFolder.h"
#include "protocol/MotionTable.h"

namespace pvrj {
namespace {

constexpr const char* kKeptExtension = ".VLB";
constexpr std::size_t kStampLength = 15;  // "YYYYMMDD-HHMMSS"
constexpr int kMaxSameSecond = 1000;      // "-2" .. "-999" before giving up

bool isContinuationByte(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// The data name as part of a file name: no folder separators, no control characters, no hidden
// file, at most kKeptNameBytes bytes of whole UTF-8 characters.
std::string safeNamePart(const std::string& name) {
  std::string out;
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    out.push_back(c == '/' || c < 0x20 || c == 0x7F ? '_' : ch);
  }
  if (!out.empty() && out.front() == '.') out.front() = '_';
  if (out.size() > kKeptNameBytes) {
    std::size_t cut = kKeptNameBytes;
    while (cut > 0 && isContinuationByte(static_cast<unsigned char>(out[cut]))) --cut;
    out.resize(cut);
  }
  return out;
}

// "YYYYMMDD-HHMMSS-" followed by "M" or "S" and a number, and ending in ".VLB".
bool isKeptFileName(const std::string& name) {
  if (name.size() < kStampLength + 3 + std::char_traits<char>::length(kKeptExtension)) return false;
  for (std::size_t i = 0; i < kStampLength; ++i) {
    const bool dash = i == 8;
    if (dash ? name[i] != '-' : !std::isdigit(static_cast<unsigned char>(name[i]))) return false;
  }
  if (name[kStampLength] != '-' || (name[kStampLength + 1] != 'M' && name[kStampLength + 1] != 'S'))
    return false;
  if (!std::isdigit(static_cast<unsigned char>(name[kStampLength + 2]))) return false;
  return name.ends_with(kKeptExtension);
}

}  // namespace

std::string overwrittenFolder() {
  return userStateFolder() + "/overwritten";
}

std::string keptFileName(const std::tm& when, int slot, const std::string& name) {
  char stamp[80];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", when.tm_year + 1900,
                when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec);
  std::string file = std::string(stamp) + "-" + slotCaption(slot);
  const std::string part = safeNamePart(name);
  if (!part.empty()) file += "-" + part;
  return file + kKeptExtension;
}

std::vector<std::string> keptFiles(const std::string& folder) {
  namespace fs = std::filesystem;
  struct Kept {
    std::string stamp;
    fs::file_time_type written;
    std::string path;
  };
  std::vector<Kept> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (!isKeptFileName(name) || !it->is_regular_file(typeError)) continue;
    std::error_code timeError;
    found.push_back(
        {name.substr(0, kStampLength), it->last_write_time(timeError), it->path().string()});
  }
  // Names order by the second they were kept; files of the same second by when they were written.
  std::sort(found.begin(), found.end(), [](const Kept& a, const Kept& b) {
    return std::tie(a.stamp, a.written, a.path) < std::tie(b.stamp, b.written, b.path);
  });
  std::vector<std::string> paths;
  for (Kept& k : found) paths.push_back(std::move(k.path));
  return paths;
}

Result<std::string> keepChart(const std::string& folder, const Chart& chart, int slot,
                              const std::tm& when, std::size_t limit) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return Result<std::string>::failure(folder + ": " + ec.message());
  const std::string name = keptFileName(when, slot, chart.Name);
  const std::string stem =
      name.substr(0, name.size() - std::char_traits<char>::length(kKeptExtension));
  std::string path = folder + "/" + name;
  for (int n = 2; fs::exists(path, ec) || ec; ++n) {
    if (ec) return Result<std::string>::failure(path + ": " + ec.message());
    if (n > kMaxSameSecond) return Result<std::string>::failure(path + ": too many files");
    path = folder + "/" + stem + "-" + std::to_string(n) + kKeptExtension;
  }
  if (Status written = writeTextFile(path, chartFileText(chart)); !written)
    return Result<std::string>::failure(written.message());
  const std::vector<std::string> kept = keptFiles(folder);
  if (kept.size() > limit) {
    // The file just kept stays even when the clock has gone back since older ones were kept.
    for (std::size_t i = 0; i + limit < kept.size(); ++i)
      if (kept[i] != path) fs::remove(kept[i], ec);
  }
  return path;
}

}  // namespace pvrj
