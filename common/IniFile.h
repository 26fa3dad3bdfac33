// An in-memory INI file: ordered sections and keys, matched without regard to ASCII case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/Result.h"

namespace pvrj {

// Reading is tolerant: lines are trimmed, empty lines and lines starting with ";" are skipped,
// blanks around "=" are dropped, lines before the first section or without "=" are ignored.
// A section named twice is read as one; of a key named twice in a section the first value counts.
// Writing gives "[name]", then "key=value" lines, then one empty line per section, with CR LF.
// Look-ups go through hash indexes, so files with many thousands of sections stay fast.
class IniFile {
 public:
  IniFile() = default;

  // Text is UTF-8; line ends may be CR LF, LF or CR.
  static IniFile fromString(std::string_view text);
  // Reads a CP932 file. A missing file is a failure; callers that treat it as empty say so.
  static Result<IniFile> load(const std::string& path);

  // UTF-8 text with CR LF line ends.
  std::string toString() const;
  // Writes CP932 text through a temporary file and a rename.
  Status save(const std::string& path) const;

  bool hasSection(std::string_view section) const;
  bool hasKey(std::string_view section, std::string_view key) const;
  // The value as written (trimmed), or nothing when section or key is missing.
  std::optional<std::string> value(std::string_view section, std::string_view key) const;
  std::string readString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  // Decimal, "0x" or "$" hexadecimal; a missing key or a non-integer gives fallback.
  std::int32_t readInteger(std::string_view section, std::string_view key,
                           std::int32_t fallback) const;
  // An integer other than 0 is true.
  bool readBool(std::string_view section, std::string_view key, bool fallback) const;

  // Adds the section or key at the end when new; replaces the value in place otherwise.
  void writeString(std::string_view section, std::string_view key, std::string_view value);
  void writeInteger(std::string_view section, std::string_view key, std::int64_t value);
  void writeBool(std::string_view section, std::string_view key, bool value);

  void eraseSection(std::string_view section);
  void deleteKey(std::string_view section, std::string_view key);
  void clear();

  std::vector<std::string> sectionNames() const;
  std::vector<std::string> keyNames(std::string_view section) const;
  std::size_t sectionCount() const { return sections_.size(); }

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
    std::unordered_map<std::string, std::size_t> index;  // lower-case key -> entry
    bool erased = false;
  };

  const Section* findSection(std::string_view name) const;
  Section& sectionFor(std::string_view name);
  const Entry* findEntry(std::string_view section, std::string_view key) const;
  void parse(std::string_view text);

  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> sectionIndex_;  // lower-case name -> section
};

// ASCII lower case of text (other bytes unchanged).
std::string asciiLower(std::string_view text);
// Text without leading and trailing blanks (space, tab, CR, LF).
std::string_view trimBlanks(std::string_view text);

}  // namespace pvrj
