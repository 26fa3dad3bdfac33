// INI parsing and writing with hash indexes over sections and keys.
#include "common/IniFile.h"

#include "common/FileIo.h"
#include "common/Numbers.h"

namespace pvrj {

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
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

IniFile IniFile::fromString(std::string_view text) {
  IniFile ini;
  ini.parse(text);
  return ini;
}

Result<IniFile> IniFile::load(const std::string& path) {
  auto text = readTextFile(path);
  if (!text) return Result<IniFile>::failure(text.message());
  return fromString(text.value());
}

void IniFile::parse(std::string_view text) {
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = trimBlanks(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;

    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      auto close = line.find(']');
      std::string_view name =
          close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
      current = &sectionFor(trimBlanks(name));
      continue;
    }
    if (current == nullptr) continue;
    auto eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = trimBlanks(line.substr(0, eq));
    if (key.empty()) continue;
    std::string lower = asciiLower(key);
    if (current->index.count(lower)) continue;  // the first value of a repeated key counts
    current->index.emplace(std::move(lower), current->entries.size());
    current->entries.push_back({std::string(key), std::string(trimBlanks(line.substr(eq + 1)))});
  }
}

std::string IniFile::toString() const {
  std::size_t total = 0;
  for (const auto& s : sections_) {
    if (s.erased) continue;
    total += s.name.size() + 6;
    for (const auto& e : s.entries) total += e.key.size() + e.value.size() + 3;
  }
  std::string out;
  out.reserve(total);
  for (const auto& s : sections_) {
    if (s.erased) continue;
    out += '[';
    out += s.name;
    out += "]\r\n";
    for (const auto& e : s.entries) {
      out += e.key;
      out += '=';
      out += e.value;
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

Status IniFile::save(const std::string& path) const {
  return writeTextFile(path, toString());
}

const IniFile::Section* IniFile::findSection(std::string_view name) const {
  auto it = sectionIndex_.find(asciiLower(name));
  if (it == sectionIndex_.end()) return nullptr;
  return &sections_[it->second];
}

IniFile::Section& IniFile::sectionFor(std::string_view name) {
  std::string lower = asciiLower(name);
  auto it = sectionIndex_.find(lower);
  if (it != sectionIndex_.end()) return sections_[it->second];
  sectionIndex_.emplace(std::move(lower), sections_.size());
  sections_.push_back(Section{std::string(name), {}, {}, false});
  return sections_.back();
}

const IniFile::Entry* IniFile::findEntry(std::string_view section, std::string_view key) const {
  const Section* s = findSection(section);
  if (s == nullptr) return nullptr;
  auto it = s->index.find(asciiLower(key));
  if (it == s->index.end()) return nullptr;
  return &s->entries[it->second];
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
  return e->value;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  const Entry* e = findEntry(section, key);
  return e ? e->value : std::string(fallback);
}

std::int32_t IniFile::readInteger(std::string_view section, std::string_view key,
                                  std::int32_t fallback) const {
  const Entry* e = findEntry(section, key);
  return e ? parseIntegerOr(e->value, fallback) : fallback;
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool fallback) const {
  return readInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
  Section& s = sectionFor(section);
  std::string lower = asciiLower(key);
  auto it = s.index.find(lower);
  if (it != s.index.end()) {
    s.entries[it->second].value.assign(value);
    return;
  }
  s.index.emplace(std::move(lower), s.entries.size());
  s.entries.push_back({std::string(key), std::string(value)});
}

void IniFile::writeInteger(std::string_view section, std::string_view key, std::int64_t value) {
  writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
  writeString(section, key, value ? "1" : "0");
}

void IniFile::eraseSection(std::string_view section) {
  auto it = sectionIndex_.find(asciiLower(section));
  if (it == sectionIndex_.end()) return;
  // Mark rather than remove, so the other sections keep their indexes.
  Section& s = sections_[it->second];
  s.erased = true;
  s.entries.clear();
  s.index.clear();
  sectionIndex_.erase(it);
}

void IniFile::deleteKey(std::string_view section, std::string_view key) {
  auto sit = sectionIndex_.find(asciiLower(section));
  if (sit == sectionIndex_.end()) return;
  Section& s = sections_[sit->second];
  auto it = s.index.find(asciiLower(key));
  if (it == s.index.end()) return;
  std::size_t gone = it->second;
  s.entries.erase(s.entries.begin() + static_cast<std::ptrdiff_t>(gone));
  s.index.erase(it);
  for (auto& [k, idx] : s.index)
    if (idx > gone) --idx;
}

void IniFile::clear() {
  sections_.clear();
  sectionIndex_.clear();
}

std::vector<std::string> IniFile::sectionNames() const {
  std::vector<std::string> names;
  for (const auto& s : sections_)
    if (!s.erased) names.push_back(s.name);
  return names;
}

std::vector<std::string> IniFile::keyNames(std::string_view section) const {
  std::vector<std::string> names;
  if (const Section* s = findSection(section))
    for (const auto& e : s->entries) names.push_back(e.key);
  return names;
}

}  // namespace pvrj
