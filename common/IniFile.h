// An in-memory INI file: ordered sections and keys, matched without regard to ASCII case.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/FileIo.h"
#include "common/Result.h"

namespace pvrj {

// One line of INI text that means something: a section header, or a key line inside a section.
struct IniLine {
  bool isSection = false;
  std::string_view name;   // the section's name, or the key, trimmed
  std::string_view value;  // a key line's value, trimmed
};

// Walks INI text by the tolerant reading rules of IniFile, storing nothing, so a reader of a
// large file keeps only what it needs: lines are trimmed, empty lines and lines starting with ";"
// are skipped, a section name ends at the first "]" (or the line's end), blanks around "=" are
// dropped, lines before the first section or without "=" or with an empty key are skipped.
// Names come as written: IniFile undoes its escapes itself. CP932 text is walked as it is: a
// two-byte character whose second byte is "]" does not end a section name, and the caller
// decodes what it keeps.
class IniScanner {
 public:
  enum class Bytes { kUtf8, kCp932 };
  explicit IniScanner(std::string_view text, Bytes bytes = Bytes::kUtf8)
      : lines_(text), bytes_(bytes) {}
  // The next section header or key line; false at the end of the text.
  bool next(IniLine& line);

 private:
  LineScanner lines_;
  Bytes bytes_;
  bool inSection_ = false;
};

// Reading is tolerant (see IniScanner). A section named twice is read as one; of a key named
// twice in a section the first value counts.
// Writing gives "[name]", then "key=value" lines, then one empty line per section, with CR LF.
// Values are cleaned (a line end becomes a blank). Section names and keys keep whatever they
// hold: the characters that would break the file ("]" in a section name, "=" in a key, line ends,
// a key's leading "[" or ";", blanks at either end that reading would trim) and a "%" that would
// read as one of these are written as "%" and two hexadecimal digits ("%5D", "%3D", "%0A", ...),
// and reading turns exactly these back, so every name reads back as it was written.
// Sections are found through a hash index, and so are the keys of long sections, so files with
// many thousands of sections or keys stay fast.
class IniFile {
 public:
  IniFile() = default;

  // Text is UTF-8; line ends may be CR LF, LF or CR.
  static IniFile fromString(std::string_view text);
  // The same, taking over the text instead of copying it (large files).
  static IniFile fromOwnedString(std::string&& text);
  // Reads a CP932 file. A missing file is a failure; callers that treat it as empty say so.
  static Result<IniFile> load(const std::string& path);

  // Changes the file at path in place: its other sections and keys are kept, a missing file is
  // made. False, with the file untouched, when it exists but cannot be read (its other keys
  // would be lost) or cannot be written.
  static bool update(const std::string& path, const std::function<void(IniFile& ini)>& change);

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
  std::size_t sectionCount() const { return sectionIndex_.size(); }

 private:
  // A piece of pool_: keys, values and section names all live in one text buffer, so a file of
  // many thousands of sections costs no allocation per line.
  struct Span {
    std::uint32_t pos = 0;
    std::uint32_t len = 0;
  };

  // Open-addressing hash index of positions in a list, keyed by names folded to ASCII lower
  // case. It holds no strings of its own: the caller's list keeps the names.
  class FoldedIndex {
   public:
    static std::uint32_t hashOf(std::string_view name);
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    void clear();
    void reserve(std::size_t n);
    void insert(std::uint32_t hash, std::size_t position);
    // The position whose name (nameAt(position)) equals name regardless of case, or npos.
    template <class NameAt>
    std::size_t find(std::string_view name, NameAt nameAt) const;

   private:
    struct Slot {  // eight bytes, so large tables stay small in the cache
      std::uint32_t hash = 0;
      std::uint32_t position = kEmpty;
    };
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    void rehash(std::size_t slotCount);
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
  };

  struct Entry {
    Span key;
    Span value;
  };
  struct Section {
    Span name;
    std::vector<Entry> entries;
    FoldedIndex index;  // built only once a section outgrows a short linear scan of its keys
    bool erased = false;
  };

 public:
  // A read-only handle on one section, so many keys of a section cost one section look-up.
  // Valid until the file is changed.
  class SectionView {
   public:
    bool exists() const { return section_ != nullptr; }
    std::optional<std::string_view> value(std::string_view key) const;
    std::string readString(std::string_view key, std::string_view fallback) const;
    std::int32_t readInteger(std::string_view key, std::int32_t fallback) const;

   private:
    friend class IniFile;
    SectionView(const IniFile* file, const Section* section) : file_(file), section_(section) {}
    const IniFile* file_;
    const Section* section_;
  };
  SectionView section(std::string_view name) const { return SectionView(this, findSection(name)); }

 private:
  void parseFromPool(std::size_t base);
  Span storeName(std::string_view written);
  std::string_view text(Span span) const {
    return std::string_view(pool_).substr(span.pos, span.len);
  }
  Span store(std::string_view text);
  const Entry* findKey(const Section& section, std::string_view key) const;
  void addKey(Section& section, Span key, Span value);
  void reindexKeys(Section& section);
  const Section* findSection(std::string_view name) const;
  Section& sectionFor(std::string_view name);
  const Entry* findEntry(std::string_view section, std::string_view key) const;
  void reindexSections();

  std::string pool_;
  std::vector<Section> sections_;  // erased ones stay as gaps until the next clear
  FoldedIndex sectionIndex_;
};

// ASCII lower case of text (other bytes unchanged).
std::string asciiLower(std::string_view text);
// Text without leading and trailing blanks (space, tab, CR, LF).
std::string_view trimBlanks(std::string_view text);
// Equality without regard to ASCII case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace pvrj
