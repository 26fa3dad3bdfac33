// Conversion between the program's UTF-8 text and the CP932 (Shift-JIS) bytes of files and the
// board.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pvrj {

// CP932 bytes to UTF-8. A byte sequence that is not valid CP932 becomes "?".
std::string cp932ToUtf8(std::string_view cp932);
// Decodes CP932 that arrives in pieces (a file read in chunks): a two-byte character split
// between pieces is joined, so the result equals cp932ToUtf8 of the whole.
class Cp932Decoder {
 public:
  Cp932Decoder();
  ~Cp932Decoder();
  Cp932Decoder(const Cp932Decoder&) = delete;
  Cp932Decoder& operator=(const Cp932Decoder&) = delete;
  // Appends the UTF-8 of bytes to out, keeping back an incomplete last character.
  void feed(std::string_view bytes, std::string& out);
  // Ends the input; a character left incomplete becomes "?".
  void finish(std::string& out);

 private:
  void* cd_;  // the iconv descriptor, or (void*)-1 without a converter
  std::string carry_;
};

// UTF-8 to CP932 bytes. A character CP932 cannot hold (or broken UTF-8) becomes "?".
std::string utf8ToCp932(std::string_view utf8);
// Cuts CP932 bytes to at most maxBytes without splitting a two-byte character.
std::string cutCp932(std::string_view cp932, std::size_t maxBytes);
// UTF-8 text as CP932 bytes cut to maxBytes at a character boundary (board names are 32 bytes).
std::string utf8ToCp932Cut(std::string_view utf8, std::size_t maxBytes);
// True for a CP932 lead byte (the first of a two-byte character).
bool isCp932LeadByte(unsigned char c);

}  // namespace pvrj
