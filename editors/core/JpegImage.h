// Decoding a JPEG picture (the position editor's background) with the JPEG library's own API.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/Result.h"

namespace pvrj {

// Pictures larger than this on either side are refused rather than held in memory.
inline constexpr int kMaxPictureSide = 8192;

// 8-bit RGB pixels, rows top to bottom without padding.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // width * height * 3 bytes
};

// Decodes JPEG bytes (colour or grey) to RGB; a corrupt, truncated or oversized picture fails.
Result<RgbImage> decodeJpeg(std::span<const std::uint8_t> bytes);
// The same for a file.
Result<RgbImage> decodeJpegFile(const std::string& path);

}  // namespace pvrj
