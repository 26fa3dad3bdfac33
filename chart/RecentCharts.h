// The charts opened or saved last, newest first, kept between runs in the state folder.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"

namespace pvrj {

inline constexpr std::size_t kRecentChartLimit = 10;
inline constexpr const char* kRecentFileName = "RecentFiles.ini";
inline constexpr const char* kRecentSection = "RecentFiles";

// A local path as a "file://" address: every byte but the unreserved ones and "/" percent-encoded,
// so any file name survives a text file of any code page.
std::string fileUri(std::string_view path);
// The path of a "file://" address (with an empty or "localhost" host); nothing for anything else.
std::optional<std::string> pathFromFileUri(std::string_view uri);

class RecentCharts {
 public:
  // userStateFolder()/RecentFiles.ini.
  static std::string defaultPath();
  // The list in file; a missing or unreadable file gives an empty list.
  static RecentCharts load(const std::string& file);
  // Writes the list (as "File1" to "File10" holding file addresses), atomically.
  Status save(const std::string& file) const;

  // Puts path first; an older entry for it goes, and the list keeps its newest 10.
  void add(const std::string& path);
  void remove(const std::string& path);
  const std::vector<std::string>& paths() const { return paths_; }

 private:
  std::vector<std::string> paths_;
};

}  // namespace pvrj
