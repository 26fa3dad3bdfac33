// "PATTERN.ini" in memory: link sets and conversion sets by name.
#include "editors/core/PatternFile.h"

#include <filesystem>
#include <system_error>

#include "common/CommaText.h"

namespace pvrj {

PatternFile PatternFile::open(const std::string& path) {
  PatternFile file;
  file.path_ = path;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && !ec) return file;  // new: created by save()
  Result<IniFile> ini = IniFile::load(path);
  if (ini) {
    file.ini_ = std::move(ini.value());
  } else {
    file.readError_ = ini.message().empty() ? path : ini.message();
  }
  return file;
}

std::vector<std::string> PatternFile::names(const char* section, const char* key) const {
  return splitCommaText(ini_.readString(section, key, ""));
}

std::vector<std::string> PatternFile::set(const char* section, std::string_view name) const {
  if (name.empty()) return {};
  return splitCommaText(ini_.readString(section, name, ""));
}

std::vector<std::string> PatternFile::linkSetNames() const {
  return names(kLinkSection, kLinkNamesKey);
}

std::vector<std::string> PatternFile::conversionSetNames() const {
  return names(kConvertSection, kConvertNamesKey);
}

void PatternFile::setLinkSetNames(const std::vector<std::string>& list) {
  ini().writeString(kLinkSection, kLinkNamesKey, joinCommaText(list));
}

void PatternFile::setConversionSetNames(const std::vector<std::string>& list) {
  ini().writeString(kConvertSection, kConvertNamesKey, joinCommaText(list));
}

std::vector<std::string> PatternFile::linkSet(std::string_view name) const {
  return set(kLinkSetsSection, name);
}

std::vector<std::string> PatternFile::conversionSet(std::string_view name) const {
  return set(kConvertSetsSection, name);
}

bool PatternFile::hasLinkSet(std::string_view name) const {
  return !name.empty() && ini_.hasKey(kLinkSetsSection, name);
}

bool PatternFile::hasConversionSet(std::string_view name) const {
  return !name.empty() && ini_.hasKey(kConvertSetsSection, name);
}

void PatternFile::writeLinkSet(std::string_view name, const std::vector<std::string>& entries) {
  ini().writeString(kLinkSetsSection, name, formatSetValue(entries));
}

void PatternFile::writeConversionSet(std::string_view name,
                                     const std::vector<std::string>& entries) {
  ini().writeString(kConvertSetsSection, name, formatSetValue(entries));
}

void PatternFile::deleteLinkSet(std::string_view name) {
  ini().deleteKey(kLinkSetsSection, name);
}

void PatternFile::deleteConversionSet(std::string_view name) {
  ini().deleteKey(kConvertSetsSection, name);
}

std::string PatternFile::formatSetValue(const std::vector<std::string>& entries) {
  std::string out;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) out += ',';
    out += '"';
    for (char c : entries[i]) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

bool PatternFile::storableSetName(std::string_view name) {
  if (name.empty() || name.front() == '[' || name.front() == ';') return false;
  if (name.find_first_of("=\r\n") != std::string_view::npos) return false;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  return !blank(name.front()) && !blank(name.back());
}

Status PatternFile::save() const {
  if (path_.empty()) return Status::success();
  if (!readError_.empty()) {
    return Status::failure(path_ + ": not written, it could not be read at start (" + readError_ +
                           ")");
  }
  return ini_.save(path_);
}

}  // namespace pvrj
