// The recent chart list and the "file://" addresses it is stored as.
#include "chart/RecentCharts.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/IniFile.h"
#include "common/SettingsFolder.h"

namespace pvrj {
namespace {

constexpr std::string_view kFileScheme = "file://";
constexpr char kHexDigits[] = "0123456789ABCDEF";

bool unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '/';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string fileUri(std::string_view path) {
  std::string uri(kFileScheme);
  for (char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (unreserved(c)) {
      uri += ch;
    } else {
      uri += '%';
      uri += kHexDigits[c >> 4];
      uri += kHexDigits[c & 0x0F];
    }
  }
  return uri;
}

std::optional<std::string> pathFromFileUri(std::string_view uri) {
  if (!uri.starts_with(kFileScheme)) return std::nullopt;
  uri.remove_prefix(kFileScheme.size());
  if (uri.starts_with("localhost/")) uri.remove_prefix(std::string_view("localhost").size());
  if (!uri.starts_with('/')) return std::nullopt;  // another host, or no path
  std::string path;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] != '%') {
      path += uri[i];
      continue;
    }
    if (i + 2 >= uri.size()) return std::nullopt;
    const int high = hexValue(uri[i + 1]);
    const int low = hexValue(uri[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    const char byte = static_cast<char>(high * 16 + low);
    if (byte == '\0') return std::nullopt;
    path += byte;
    i += 2;
  }
  return path;
}

std::string RecentCharts::defaultPath() {
  return userStateFolder() + "/" + kRecentFileName;
}

RecentCharts RecentCharts::load(const std::string& file) {
  RecentCharts list;
  Result<IniFile> ini = IniFile::load(file);
  if (!ini) return list;
  for (std::size_t n = 1; n <= kRecentChartLimit; ++n) {
    const auto value = ini->value(kRecentSection, "File" + std::to_string(n));
    if (!value) continue;
    if (auto path = pathFromFileUri(*value)) {
      if (std::find(list.paths_.begin(), list.paths_.end(), *path) == list.paths_.end())
        list.paths_.push_back(std::move(*path));
    }
  }
  return list;
}

Status RecentCharts::save(const std::string& file) const {
  std::error_code ec;
  const auto folder = std::filesystem::path(file).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  IniFile ini;
  for (std::size_t n = 0; n < paths_.size(); ++n)
    ini.writeString(kRecentSection, "File" + std::to_string(n + 1), fileUri(paths_[n]));
  return ini.save(file);
}

void RecentCharts::add(const std::string& path) {
  if (path.empty()) return;
  remove(path);
  paths_.insert(paths_.begin(), path);
  if (paths_.size() > kRecentChartLimit) paths_.resize(kRecentChartLimit);
}

void RecentCharts::remove(const std::string& path) {
  paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end());
}

}  // namespace pvrj
