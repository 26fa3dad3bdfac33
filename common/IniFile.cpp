// INI parsing and writing over one text pool, with case-folded hash indexes of sections and keys.
#include "common/IniFile.h"

#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

#include "common/Encoding.h"
#include "common/FileIo.h"
#include "common/Numbers.h"

namespace pvrj {
namespace {
// Sections with at most this many keys are searched in order: cheaper than a hash for the usual
// handful of keys, and it spares every small section a table of its own.
constexpr std::size_t kLinearKeyLimit = 16;
// Room made for the keys of a section when it is read: chart sections hold up to eight.
constexpr std::size_t kUsualKeyCount = 8;
// Pool positions are 32-bit; text beyond this is not read.
constexpr std::size_t kMaxPoolBytes = std::numeric_limits<std::uint32_t>::max();

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// The characters a name may need written as "%" and two hexadecimal digits.
constexpr std::string_view kEscapable = "%[];= \t\r\n";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// The character that "%XY" at text[at] stands for, if it is one of the escapes written.
std::optional<char> escapedAt(std::string_view text, std::size_t at) {
  if (at + 3 > text.size() || text[at] != '%') return std::nullopt;
  for (char c : kEscapable) {
    const auto u = static_cast<unsigned char>(c);
    if (text[at + 1] == kHexDigits[u >> 4] && text[at + 2] == kHexDigits[u & 0xF]) return c;
  }
  return std::nullopt;
}

enum class NameKind { kSection, kKey };

void appendName(std::string& out, std::string_view name, NameKind kind) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool atEnd = i == 0 || i + 1 == name.size();
    bool escape = c == '\r' || c == '\n' || (atEnd && isBlank(c)) ||
                  (c == '%' && escapedAt(name, i).has_value());
    if (kind == NameKind::kSection) {
      escape = escape || c == ']';
    } else {
      escape = escape || c == '=' || (i == 0 && (c == '[' || c == ';'));
    }
    if (!escape) {
      out.push_back(c);
      continue;
    }
    const auto u = static_cast<unsigned char>(c);
    out.push_back('%');
    out.push_back(kHexDigits[u >> 4]);
    out.push_back(kHexDigits[u & 0xF]);
  }
}

std::string unescapedName(std::string_view written) {
  std::string plain;
  plain.reserve(written.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    if (auto c = escapedAt(written, i)) {
      plain.push_back(*c);
      i += 2;
    } else {
      plain.push_back(written[i]);
    }
  }
  return plain;
}

// Where a section header's name ends: the first "]" that is a character of its own.
std::size_t sectionNameEnd(std::string_view line, IniScanner::Bytes bytes) {
  for (std::size_t i = 1; i < line.size(); ++i) {
    if (line[i] == ']') return i;
    if (bytes == IniScanner::Bytes::kCp932 && isCp932LeadByte(static_cast<unsigned char>(line[i])))
      ++i;
  }
  return line.size();
}
}  // namespace

bool IniScanner::next(IniLine& out) {
  std::string_view raw;
  while (lines_.next(raw)) {
    const std::string_view line = trimBlanks(raw);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      inSection_ = true;
      out.isSection = true;
      out.name = trimBlanks(line.substr(1, sectionNameEnd(line, bytes_) - 1));
      out.value = {};
      return true;
    }
    if (!inSection_) continue;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = trimBlanks(line.substr(0, eq));
    if (key.empty()) continue;
    out.isSection = false;
    out.name = key;
    out.value = trimBlanks(line.substr(eq + 1));
    return true;
  }
  return false;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lowerAscii(c);
  return out;
}

std::string_view trimBlanks(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

// ---- FoldedIndex -------------------------------------------------------------------------

std::uint32_t IniFile::FoldedIndex::hashOf(std::string_view name) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a over the folded bytes
  for (char c : name) {
    h ^= static_cast<unsigned char>(lowerAscii(c));
    h *= 1099511628211ull;
  }
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

void IniFile::FoldedIndex::clear() {
  slots_.clear();
  count_ = 0;
}

void IniFile::FoldedIndex::reserve(std::size_t n) {
  std::size_t want = 16;
  while (want < n * 2) want *= 2;
  if (want > slots_.size()) rehash(want);
}

void IniFile::FoldedIndex::rehash(std::size_t slotCount) {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(slotCount, Slot{});
  const std::size_t mask = slotCount - 1;
  for (const Slot& s : old) {
    if (s.position == kEmpty) continue;
    std::size_t i = s.hash & mask;
    while (slots_[i].position != kEmpty) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

void IniFile::FoldedIndex::insert(std::uint32_t hash, std::size_t position) {
  if ((count_ + 1) * 2 > slots_.size()) rehash(slots_.empty() ? 16 : slots_.size() * 2);
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = hash & mask;
  while (slots_[i].position != kEmpty) i = (i + 1) & mask;
  slots_[i] = Slot{hash, static_cast<std::uint32_t>(position)};
  ++count_;
}

template <class NameAt>
std::size_t IniFile::FoldedIndex::find(std::string_view name, NameAt nameAt) const {
  if (slots_.empty()) return std::string_view::npos;
  const std::uint32_t hash = hashOf(name);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask; slots_[i].position != kEmpty; i = (i + 1) & mask) {
    if (slots_[i].hash == hash && equalsIgnoringCase(nameAt(slots_[i].position), name))
      return slots_[i].position;
  }
  return std::string_view::npos;
}

// ---- keys and sections -------------------------------------------------------------------

IniFile::Span IniFile::store(std::string_view text) {
  Span span{static_cast<std::uint32_t>(pool_.size()), static_cast<std::uint32_t>(text.size())};
  pool_.append(text);
  return span;
}

const IniFile::Entry* IniFile::findKey(const Section& section, std::string_view key) const {
  if (section.index.empty()) {
    for (const auto& e : section.entries)
      if (equalsIgnoringCase(text(e.key), key)) return &e;
    return nullptr;
  }
  std::size_t at = section.index.find(
      key, [&](std::size_t i) -> std::string_view { return text(section.entries[i].key); });
  return at == std::string_view::npos ? nullptr : &section.entries[at];
}

void IniFile::addKey(Section& section, Span key, Span value) {
  section.entries.push_back({key, value});
  if (!section.index.empty()) {
    section.index.insert(FoldedIndex::hashOf(text(key)), section.entries.size() - 1);
  } else if (section.entries.size() > kLinearKeyLimit) {
    reindexKeys(section);
  }
}

void IniFile::reindexKeys(Section& section) {
  section.index.clear();
  if (section.entries.size() <= kLinearKeyLimit) return;
  section.index.reserve(section.entries.size());
  for (std::size_t i = 0; i < section.entries.size(); ++i)
    section.index.insert(FoldedIndex::hashOf(text(section.entries[i].key)), i);
}

const IniFile::Section* IniFile::findSection(std::string_view name) const {
  std::size_t at = sectionIndex_.find(
      name, [this](std::size_t i) -> std::string_view { return text(sections_[i].name); });
  return at == std::string_view::npos ? nullptr : &sections_[at];
}

IniFile::Section& IniFile::sectionFor(std::string_view name) {
  if (const Section* found = findSection(name)) return const_cast<Section&>(*found);
  Span stored = store(name);
  sectionIndex_.insert(FoldedIndex::hashOf(name), sections_.size());
  sections_.push_back(Section{stored, {}, {}, false});
  return sections_.back();
}

void IniFile::reindexSections() {
  sectionIndex_.clear();
  for (std::size_t i = 0; i < sections_.size(); ++i)
    if (!sections_[i].erased) sectionIndex_.insert(FoldedIndex::hashOf(text(sections_[i].name)), i);
}

const IniFile::Entry* IniFile::findEntry(std::string_view section, std::string_view key) const {
  const Section* s = findSection(section);
  return s ? findKey(*s, key) : nullptr;
}

// ---- parsing and writing -----------------------------------------------------------------

IniFile IniFile::fromString(std::string_view text) {
  IniFile ini;
  ini.pool_.assign(text.substr(0, std::min(text.size(), kMaxPoolBytes / 2)));
  ini.parseFromPool(0);
  return ini;
}

IniFile IniFile::fromOwnedString(std::string&& text) {
  IniFile ini;
  ini.pool_ = std::move(text);
  if (ini.pool_.size() > kMaxPoolBytes / 2) ini.pool_.resize(kMaxPoolBytes / 2);
  ini.parseFromPool(0);
  return ini;
}

Result<IniFile> IniFile::load(const std::string& path) {
  auto text = readTextFile(path);
  if (!text) return Result<IniFile>::failure(text.message());
  return fromOwnedString(std::move(text).value());
}

IniFile::Span IniFile::storeName(std::string_view written) {
  if (written.find('%') != std::string_view::npos) {
    std::string plain = unescapedName(written);
    if (plain.size() != written.size()) return store(plain);
  }
  const std::string_view all(pool_);
  return Span{static_cast<std::uint32_t>(written.data() - all.data()),
              static_cast<std::uint32_t>(written.size())};
}

void IniFile::parseFromPool(std::size_t base) {
  // Names and values are spans of the pool, which holds the source text from base on. Escaped
  // names are stored again undone, so room for them is made first: the text must not move.
  if (std::string_view(pool_).substr(base).find('%') != std::string_view::npos) {
    std::size_t escapedBytes = 0;
    IniScanner pre(std::string_view(pool_).substr(base));
    IniLine line;
    while (pre.next(line))
      if (line.name.find('%') != std::string_view::npos) escapedBytes += line.name.size();
    pool_.reserve(pool_.size() + escapedBytes);
  }
  const std::string_view all(pool_);
  const std::string_view body = all.substr(base);
  auto spanOf = [&](std::string_view piece) {
    return Span{static_cast<std::uint32_t>(piece.data() - all.data()),
                static_cast<std::uint32_t>(piece.size())};
  };

  // Size the section tables once: a file with many sections would otherwise rehash repeatedly.
  std::size_t headers = 0;
  for (std::size_t p = body.find('['); p != std::string_view::npos; p = body.find('[', p + 1))
    ++headers;
  sections_.reserve(sections_.size() + headers);
  sectionIndex_.reserve(sectionIndex_.size() + headers);

  std::size_t current = std::string_view::npos;
  IniScanner scanner(body);
  IniLine line;
  while (scanner.next(line)) {
    if (line.isSection) {
      const Span name = storeName(line.name);
      if (const Section* found = findSection(text(name))) {
        current = static_cast<std::size_t>(found - sections_.data());
      } else {
        sectionIndex_.insert(FoldedIndex::hashOf(text(name)), sections_.size());
        sections_.push_back(Section{name, {}, {}, false});
        sections_.back().entries.reserve(kUsualKeyCount);
        current = sections_.size() - 1;
      }
      continue;
    }
    Section& section = sections_[current];
    const Span key = storeName(line.name);
    if (findKey(section, text(key))) continue;  // the first value of a repeated key counts
    addKey(section, key, spanOf(line.value));
  }
}

std::string IniFile::toString() const {
  std::size_t total = 0;
  for (const auto& s : sections_) {
    if (s.erased) continue;
    total += s.name.len + 6;
    for (const auto& e : s.entries) total += e.key.len + e.value.len + 3;
  }
  std::string out;
  out.reserve(total);
  for (const auto& s : sections_) {
    if (s.erased) continue;
    out += '[';
    appendName(out, text(s.name), NameKind::kSection);
    out += "]\r\n";
    for (const auto& e : s.entries) {
      appendName(out, text(e.key), NameKind::kKey);
      out += '=';
      out += text(e.value);
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

Status IniFile::save(const std::string& path) const {
  return writeTextFile(path, toString());
}

bool IniFile::update(const std::string& path, const std::function<void(IniFile& ini)>& change) {
  IniFile ini;
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    Result<IniFile> old = load(path);
    if (!old) return false;  // its other keys would be lost
    ini = std::move(old.value());
  }
  if (!probeWritable(path)) return false;
  change(ini);
  return static_cast<bool>(ini.save(path));
}

// ---- reading -----------------------------------------------------------------------------

std::optional<std::string_view> IniFile::SectionView::value(std::string_view key) const {
  if (section_ == nullptr) return std::nullopt;
  const Entry* e = file_->findKey(*section_, key);
  if (e == nullptr) return std::nullopt;
  return file_->text(e->value);
}

std::string IniFile::SectionView::readString(std::string_view key,
                                             std::string_view fallback) const {
  return std::string(value(key).value_or(fallback));
}

std::int32_t IniFile::SectionView::readInteger(std::string_view key, std::int32_t fallback) const {
  auto v = value(key);
  return v ? parseIntegerOr(*v, fallback) : fallback;
}

bool IniFile::hasSection(std::string_view section) const {
  return findSection(section) != nullptr;
}

bool IniFile::hasKey(std::string_view section, std::string_view key) const {
  return findEntry(section, key) != nullptr;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
  const Entry* e = findEntry(section, key);
  if (e == nullptr) return std::nullopt;
  return std::string(text(e->value));
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  const Entry* e = findEntry(section, key);
  return std::string(e ? text(e->value) : fallback);
}

std::int32_t IniFile::readInteger(std::string_view section, std::string_view key,
                                  std::int32_t fallback) const {
  const Entry* e = findEntry(section, key);
  return e ? parseIntegerOr(text(e->value), fallback) : fallback;
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool fallback) const {
  return readInteger(section, key, fallback ? 1 : 0) != 0;
}

// ---- changing ----------------------------------------------------------------------------

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
  // A line end inside a value would start a new line of the file when it is saved.
  std::string flat;
  if (std::memchr(value.data(), '\r', value.size()) ||
      std::memchr(value.data(), '\n', value.size())) {
    flat.assign(value);
    for (char& c : flat)
      if (c == '\r' || c == '\n') c = ' ';
    value = flat;
  }
  Section& s = sectionFor(section);
  // The old text stays in the pool unused; a file is rewritten far less often than read.
  if (const Entry* e = findKey(s, key)) {
    Span stored = store(value);
    const_cast<Entry*>(e)->value = stored;
    return;
  }
  Span k = store(key);
  Span v = store(value);
  addKey(s, k, v);
}

void IniFile::writeInteger(std::string_view section, std::string_view key, std::int64_t value) {
  writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
  writeString(section, key, value ? "1" : "0");
}

void IniFile::eraseSection(std::string_view section) {
  const Section* found = findSection(section);
  if (found == nullptr) return;
  // Mark rather than remove, so the other sections keep their positions.
  Section& s = const_cast<Section&>(*found);
  s.erased = true;
  s.entries.clear();
  s.index.clear();
  reindexSections();
}

void IniFile::deleteKey(std::string_view section, std::string_view key) {
  const Section* found = findSection(section);
  if (found == nullptr) return;
  Section& s = const_cast<Section&>(*found);
  const Entry* e = findKey(s, key);
  if (e == nullptr) return;
  s.entries.erase(s.entries.begin() + (e - s.entries.data()));
  reindexKeys(s);
}

void IniFile::clear() {
  pool_.clear();
  sections_.clear();
  sectionIndex_.clear();
}

std::vector<std::string> IniFile::sectionNames() const {
  std::vector<std::string> names;
  for (const auto& s : sections_)
    if (!s.erased) names.emplace_back(text(s.name));
  return names;
}

std::vector<std::string> IniFile::keyNames(std::string_view section) const {
  std::vector<std::string> names;
  if (const Section* s = findSection(section))
    for (const auto& e : s->entries) names.emplace_back(text(e.key));
  return names;
}

}  // namespace pvrj
