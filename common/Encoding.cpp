// CP932 <-> UTF-8 through iconv, with one RAII handle per direction and call.
#include "common/Encoding.h"

#include <iconv.h>

#include <cerrno>

namespace pvrj {
namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

// Owns one iconv conversion descriptor.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (valid()) iconv_close(cd_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence that starts with c (1 for a stray byte).
std::size_t utf8SequenceLength(unsigned char c) {
  if (c >= 0xF0 && c <= 0xF4) return 4;
  if (c >= 0xE0) return c <= 0xEF ? 3 : 1;
  if (c >= 0xC2) return 2;
  return 1;
}

// Converts in with cd; on an unconvertible or broken sequence emits "?" and skips
// skipLength(first byte) bytes, so no input makes the conversion fail.
template <class SkipFn, class SizeFn>
std::string convert(const char* to, const char* from, std::string_view in, SkipFn skipLength,
                    SizeFn reserveFor) {
  std::string out;
  if (in.empty()) return out;
  IconvHandle cd(to, from);
  if (!cd.valid()) {
    // No converter on this system: keep ASCII, mark everything else.
    out.reserve(in.size());
    for (char c : in) out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
    return out;
  }
  // Convert through a fixed buffer and append, so a large text is not zero-filled first.
  out.reserve(reserveFor(in));
  char buffer[kChunkBytes];
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    std::size_t rc = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, sizeof buffer - dstLeft);
    if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ, or EINVAL for a sequence cut off at the end: replace it and go on.
    if (srcLeft == 0) break;
    out.push_back('?');
    std::size_t skip = skipLength(static_cast<unsigned char>(*src), srcLeft);
    src += skip;
    srcLeft -= skip;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

}  // namespace

bool isCp932LeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::string cp932ToUtf8(std::string_view cp932) {
  return convert(
      "UTF-8", "CP932", cp932,
      [](unsigned char c, std::size_t left) -> std::size_t {
        // A lead byte with a bad trail: drop only the lead so the trail can start over.
        (void)c;
        (void)left;
        return 1;
      },
      [](std::string_view in) {
        // Every CP932 byte above 0x7F grows by at most two bytes in UTF-8 (half-width kana: 1 ->
        // 3).
        std::size_t high = 0;
        for (char c : in) high += static_cast<unsigned char>(c) >= 0x80;
        return in.size() + 2 * high;
      });
}

std::string utf8ToCp932(std::string_view utf8) {
  return convert(
      "CP932", "UTF-8", utf8,
      [utf8](unsigned char c, std::size_t left) -> std::size_t {
        // Skip a whole well-formed character, but only the first byte of a broken one.
        std::size_t n = utf8SequenceLength(c);
        if (n > left) return 1;
        const char* p = utf8.data() + (utf8.size() - left);
        for (std::size_t k = 1; k < n; ++k)
          if ((static_cast<unsigned char>(p[k]) & 0xC0) != 0x80) return 1;
        return n;
      },
      [](std::string_view in) { return in.size(); });  // CP932 is never longer than UTF-8
}

Cp932Decoder::Cp932Decoder() : cd_(iconv_open("UTF-8", "CP932")) {}

Cp932Decoder::~Cp932Decoder() {
  if (cd_ != reinterpret_cast<void*>(-1)) iconv_close(static_cast<iconv_t>(cd_));
}

void Cp932Decoder::feed(std::string_view bytes, std::string& out) {
  std::string joined;
  if (!carry_.empty()) {
    joined = carry_ + std::string(bytes);
    bytes = joined;
    carry_.clear();
  }
  if (cd_ == reinterpret_cast<void*>(-1)) {
    for (char c : bytes) out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
    return;
  }
  char buffer[kChunkBytes];
  char* src = const_cast<char*>(bytes.data());
  std::size_t srcLeft = bytes.size();
  while (srcLeft > 0) {
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    std::size_t rc = iconv(static_cast<iconv_t>(cd_), &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, sizeof buffer - dstLeft);
    if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    if (errno == EINVAL) {  // the piece ends inside a character: keep it for the next piece
      carry_.assign(src, srcLeft);
      return;
    }
    out.push_back('?');
    ++src;
    --srcLeft;
    iconv(static_cast<iconv_t>(cd_), nullptr, nullptr, nullptr, nullptr);
  }
}

void Cp932Decoder::finish(std::string& out) {
  if (!carry_.empty()) out.push_back('?');
  carry_.clear();
}

std::string cutCp932(std::string_view cp932, std::size_t maxBytes) {
  std::size_t i = 0;
  while (i < cp932.size()) {
    std::size_t len = isCp932LeadByte(static_cast<unsigned char>(cp932[i])) ? 2 : 1;
    if (i + len > maxBytes || i + len > cp932.size()) break;
    i += len;
  }
  return std::string(cp932.substr(0, i));
}

std::string utf8ToCp932Cut(std::string_view utf8, std::size_t maxBytes) {
  return cutCp932(utf8ToCp932(utf8), maxBytes);
}

}  // namespace pvrj
