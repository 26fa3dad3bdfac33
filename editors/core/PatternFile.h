// "PATTERN.ini" in memory: the named link sets of the position editor and the named conversion
// sets of the channel conversion. Read once when the program starts, written back once at its end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/IniFile.h"
#include "common/Result.h"

namespace pvrj {

inline constexpr const char* kPatternFileName = "PATTERN.ini";
// Where the names of the conversion sets are listed, and where each set is kept by name.
inline constexpr const char* kConvertSection = "Convert";
inline constexpr const char* kConvertNamesKey = "CnvList";
inline constexpr const char* kConvertSetsSection = "CnvList";
// The same for the link sets.
inline constexpr const char* kLinkSection = "NewLink";
inline constexpr const char* kLinkNamesKey = "NewLinkList";
inline constexpr const char* kLinkSetsSection = "NewLinkList";

class PatternFile {
 public:
  // An empty pattern file that belongs to no file (save() does nothing).
  PatternFile() = default;

  // Reads path. A missing file is an empty pattern file that save() creates. A file that exists
  // but cannot be read stays untouched: save() then refuses, so its sets are not lost.
  static PatternFile open(const std::string& path);

  const std::string& path() const { return path_; }
  // Why the file could not be read ("" when it was read or is new).
  const std::string& readError() const { return readError_; }

  // Names of the sets, in their listed order, as comma text ("" items kept). An empty file or a
  // missing key gives an empty list.
  std::vector<std::string> linkSetNames() const;
  std::vector<std::string> conversionSetNames() const;
  void setLinkSetNames(const std::vector<std::string>& names);
  void setConversionSetNames(const std::vector<std::string>& names);

  // The entries of a set as read back from comma text: as many items as the value holds (a file
  // edited by hand may hold fewer or more than 24). A missing set gives an empty list.
  std::vector<std::string> linkSet(std::string_view name) const;
  std::vector<std::string> conversionSet(std::string_view name) const;
  bool hasLinkSet(std::string_view name) const;
  bool hasConversionSet(std::string_view name) const;

  // Writes a set's entries under its name (the names list is not touched).
  void writeLinkSet(std::string_view name, const std::vector<std::string>& entries);
  void writeConversionSet(std::string_view name, const std::vector<std::string>& entries);
  // Removes a set's entries (the names list is not touched).
  void deleteLinkSet(std::string_view name);
  void deleteConversionSet(std::string_view name);

  // A set's value: every entry in double quotes (inner quotes doubled), joined by commas:
  // "CopyTo(3)","","Reverse",...
  static std::string formatSetValue(const std::vector<std::string>& entries);
  // Whether a name can be a key of the file: not empty, no "=", no line break, not starting with
  // "[" or ";", and no blanks at either end (the file would not give it back as it was).
  static bool storableSetName(std::string_view name);

  // Writes the file through a temporary file and a rename. Refused when the file could not be
  // read at the start; nothing happens for a pattern file that belongs to no file.
  Status save() const;
  // Whether anything was written since it was read.
  bool changed() const { return changed_; }

  // The file itself, for what the accessors above do not cover.
  const IniFile& ini() const { return ini_; }
  IniFile& ini() {
    changed_ = true;
    return ini_;
  }

 private:
  std::vector<std::string> names(const char* section, const char* key) const;
  std::vector<std::string> set(const char* section, std::string_view name) const;

  std::string path_;
  std::string readError_;
  IniFile ini_;
  bool changed_ = false;
};

}  // namespace pvrj
