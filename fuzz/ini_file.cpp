// Fuzz target: INI files. The input is read as a CP932 file (as every INI file of the program is
// read) and walked key by key; its text read again gives the same sections, keys and values.
// The same bytes, taken as a list of names and values, are written into a new file, which must
// read back as written (names of any content survive, values come back trimmed and flat). The
// CP932 decoder fed in pieces gives what it gives for the whole.
#include <cstdint>
#include <string>

#include "common/Encoding.h"
#include "common/IniFile.h"
#include "fuzz/FuzzSupport.h"

using namespace pvrj;
using namespace pvrj::fuzz;

namespace {

std::string flatTrimmed(std::string_view value) {
  std::string flat(value);
  for (char& c : flat)
    if (c == '\r' || c == '\n') c = ' ';
  return std::string(trimBlanks(flat));
}

// Every section, key and value of a is in b, in the same order.
void checkSameContent(const IniFile& a, const IniFile& b, bool trimA) {
  const std::vector<std::string> sections = a.sectionNames();
  PVRJ_FUZZ_CHECK(b.sectionNames() == sections);
  for (const std::string& s : sections) {
    PVRJ_FUZZ_CHECK(b.hasSection(s));
    const std::vector<std::string> keys = a.keyNames(s);
    PVRJ_FUZZ_CHECK(b.keyNames(s) == keys);
    for (const std::string& k : keys) {
      const std::optional<std::string> va = a.value(s, k);
      const std::optional<std::string> vb = b.value(s, k);
      PVRJ_FUZZ_CHECK(va.has_value() && vb.has_value());
      PVRJ_FUZZ_CHECK((trimA ? flatTrimmed(*va) : *va) == *vb);
    }
  }
}

void walk(const IniFile& ini) {
  for (const std::string& s : ini.sectionNames()) {
    PVRJ_FUZZ_CHECK(ini.hasSection(s));
    const IniFile::SectionView view = ini.section(s);
    PVRJ_FUZZ_CHECK(view.exists());
    for (const std::string& k : ini.keyNames(s)) {
      PVRJ_FUZZ_CHECK(ini.hasKey(s, k));
      const std::int32_t n = ini.readInteger(s, k, -1);
      PVRJ_FUZZ_CHECK(view.readInteger(k, -1) == n);
      PVRJ_FUZZ_CHECK(view.readString(k, "") == ini.readString(s, k, ""));
      (void)ini.readBool(s, k, false);
    }
  }
}

void checkPieceDecoding(std::string_view bytes) {
  const std::string whole = cp932ToUtf8(bytes);
  // Pieces of lengths taken from the bytes themselves, so each input splits its own way.
  Cp932Decoder decoder;
  std::string pieces;
  std::size_t at = 0;
  std::size_t i = 0;
  while (at < bytes.size()) {
    const std::size_t n = 1 + static_cast<unsigned char>(bytes[i++ % bytes.size()]) % 64;
    decoder.feed(bytes.substr(at, n), pieces);
    at += std::min(n, bytes.size() - at);
  }
  decoder.finish(pieces);
  PVRJ_FUZZ_CHECK(pieces == whole);
}

void checkWrittenNames(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  IniFile written;
  while (!in.empty()) {
    const std::string section = in.text(in.byte() % 12);
    const std::string key = in.text(in.byte() % 12);
    const std::string value = in.text(in.byte() % 16);
    if (key.empty()) continue;  // a line without a key means nothing: no caller writes one
    written.writeString(section, key, value);
    if (in.byte() % 8 == 0) written.deleteKey(section, key);
  }
  const IniFile read = IniFile::fromString(written.toString());
  checkSameContent(written, read, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file;
  const std::string_view bytes = asText(data, size);
  const Result<IniFile> loaded = IniFile::load(file.hold(bytes));
  PVRJ_FUZZ_CHECK(loaded.ok());
  const IniFile& ini = loaded.value();
  walk(ini);

  const std::string text = ini.toString();
  const IniFile again = IniFile::fromString(text);
  checkSameContent(ini, again, false);
  PVRJ_FUZZ_CHECK(again.toString() == text);

  // The walk that keeps nothing sees the lines the file keeps.
  IniScanner scanner(bytes, IniScanner::Bytes::kCp932);
  IniLine line;
  std::size_t lines = 0;
  while (scanner.next(line)) ++lines;
  PVRJ_FUZZ_CHECK(lines >= ini.sectionCount());

  checkPieceDecoding(bytes);
  checkWrittenNames(data, size);
  return 0;
}
