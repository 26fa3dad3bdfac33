// Decoding a JPEG picture with the JPEG library's own API.
#include "editors/core/JpegImage.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "common/FileIo.h"

namespace pvrj {
namespace {

constexpr int kRgbComponents = 3;

// The library reports a fatal error by calling error_exit, which must not return: it jumps back
// to decodeInto. Only plain data lives in decodeInto's frame across that jump.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool truncated;
};

void errorExit(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->jump, 1);
}

void emitMessage(j_common_ptr info, int level) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  // Warnings are tolerated as other viewers do, except a picture that simply stops: the library
  // would fill the rest with grey.
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) errors->truncated = true;
}

// Decodes into out; false with message set on failure. out and message belong to the caller, so
// the jump back here skips no destructor.
bool decodeInto(const std::uint8_t* data, std::size_t size, RgbImage* out, std::string* message) {
  jpeg_decompress_struct info;
  ErrorManager errors;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = errorExit;
  errors.base.emit_message = emitMessage;
  errors.message[0] = '\0';
  errors.truncated = false;
  if (setjmp(errors.jump) != 0) {
    message->assign(errors.message);
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  if (info.image_width > static_cast<unsigned>(kMaxPictureSide) ||
      info.image_height > static_cast<unsigned>(kMaxPictureSide)) {
    message->assign("the picture is too large");
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_RGB;  // grey pictures come out as RGB too
  jpeg_start_decompress(&info);
  out->width = static_cast<int>(info.output_width);
  out->height = static_cast<int>(info.output_height);
  const std::size_t stride = static_cast<std::size_t>(info.output_width) * kRgbComponents;
  out->pixels.assign(stride * info.output_height, 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out->pixels.data() + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  if (errors.truncated) {
    message->assign("the picture ends early");
    return false;
  }
  return true;
}

}  // namespace

Result<RgbImage> decodeJpeg(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return Result<RgbImage>::failure("empty file");
  RgbImage image;
  std::string message;
  if (!decodeInto(bytes.data(), bytes.size(), &image, &message)) {
    return Result<RgbImage>::failure(message.empty() ? "not a JPEG picture" : message);
  }
  return image;
}

Result<RgbImage> decodeJpegFile(const std::string& path) {
  Result<std::string> bytes = readFileBytes(path);
  if (!bytes) return Result<RgbImage>::failure(bytes.message());
  const std::string& data = bytes.value();
  return decodeJpeg(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

}  // namespace pvrj
