// Decoding JPEG pictures: a small picture made here with the library's compressor, a grey one,
// and pictures that are broken, cut short or no JPEG at all.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "editors/core/JpegImage.h"

namespace pvrj {
namespace {

// A width x height picture, left half red and right half blue, as JPEG bytes.
std::vector<std::uint8_t> encode(int width, int height, bool grey) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = grey ? 1 : 3;
  info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  const int components = grey ? 1 : 3;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width * components));
  for (int x = 0; x < width; ++x) {
    std::uint8_t* p = row.data() + x * components;
    if (grey) {
      p[0] = x < width / 2 ? 40 : 200;
    } else {
      p[0] = x < width / 2 ? 255 : 0;
      p[1] = 0;
      p[2] = x < width / 2 ? 0 : 255;
    }
  }
  while (info.next_scanline < info.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&info, &r, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<std::uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

TEST(JpegImage, DecodesColourPictures) {
  const Result<RgbImage> image = decodeJpeg(encode(32, 16, false));
  ASSERT_TRUE(image) << image.message();
  EXPECT_EQ(image->width, 32);
  EXPECT_EQ(image->height, 16);
  ASSERT_EQ(image->pixels.size(), 32u * 16u * 3u);
  const std::uint8_t* left = &image->pixels[(8 * 32 + 2) * 3];
  const std::uint8_t* right = &image->pixels[(8 * 32 + 29) * 3];
  EXPECT_GT(left[0], 200);
  EXPECT_LT(left[2], 60);
  EXPECT_LT(right[0], 60);
  EXPECT_GT(right[2], 200);
}

TEST(JpegImage, GreyPicturesComeOutAsRgb) {
  const Result<RgbImage> image = decodeJpeg(encode(16, 8, true));
  ASSERT_TRUE(image) << image.message();
  const std::uint8_t* p = &image->pixels[(4 * 16 + 14) * 3];
  EXPECT_EQ(p[0], p[1]);
  EXPECT_EQ(p[1], p[2]);
  EXPECT_GT(p[0], 150);
}

TEST(JpegImage, BrokenPicturesFail) {
  std::vector<std::uint8_t> jpeg = encode(64, 64, false);
  EXPECT_FALSE(decodeJpeg({}));
  const std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0};
  EXPECT_FALSE(decodeJpeg(png));
  const std::vector<std::uint8_t> cut(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);
  EXPECT_FALSE(decodeJpeg(cut));
  const std::vector<std::uint8_t> head(jpeg.begin(), jpeg.begin() + 20);
  EXPECT_FALSE(decodeJpeg(head));
  EXPECT_FALSE(decodeJpegFile("/nonexistent/picture.jpg"));
}

}  // namespace
}  // namespace pvrj
