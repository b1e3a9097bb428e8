#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>

#include "imaging/byte_writer.h"
#include "imaging/codecs/png_codec.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"
#include "tests/imaging/image_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::PatternImage;
using testing::SamePalette;
using testing::SamePixels;

// Writes PNG files of any kind with libpng's simplest calls, so the reader
// meets layouts our own encoder never produces.
struct PngSpec {
  int width = 0;
  int height = 0;
  int bitDepth = 8;
  int colourType = PNG_COLOR_TYPE_RGB;
  bool interlaced = false;
  std::vector<png_color> palette;
  Bytes transparency;                // palette alpha
  png_color_16 transparentColour{};  // grey or RGB key
  bool hasTransparentColour = false;
  std::vector<Bytes> rows;  // packed rows as the file holds them
};

void AppendTo(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}

Bytes WritePng(const PngSpec& spec) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendTo, nullptr);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colourType,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!spec.palette.empty()) png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
  if (!spec.transparency.empty()) {
    png_set_tRNS(png, info, spec.transparency.data(), static_cast<int>(spec.transparency.size()), nullptr);
  }
  if (spec.hasTransparentColour) png_set_tRNS(png, info, nullptr, 0, &spec.transparentColour);
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (const Bytes& row : spec.rows) rows.push_back(const_cast<png_bytep>(row.data()));
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

bool Decode(const Bytes& bytes, PixelImage& image) {
  PngCodec codec;
  ImageList out;
  std::unique_ptr<ImageProperties> properties;
  if (!codec.LoadMemory(bytes, out, properties) || out.Count() != 1) return false;
  image = std::move(out.At(0));
  return true;
}

Bytes Encode(const PixelImage& image) {
  ByteWriter out;
  EXPECT_TRUE(EncodePng(image, out));
  return out.Take();
}

bool HasChunk(const Bytes& png, const char* type) {
  for (std::size_t at = 8; at + 8 <= png.size();) {
    const std::uint32_t length = png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    if (std::memcmp(png.data() + at + 4, type, 4) == 0) return true;
    at += 12 + length;
  }
  return false;
}

class PngRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(PngRoundTrip, IsLossless) {
  const PixelImage image = PatternImage(21, 9, GetParam(), 11);
  PixelImage back;
  ASSERT_TRUE(Decode(Encode(image), back));
  EXPECT_TRUE(SamePixels(back, image));
  if (GetParam() <= 8) {
    EXPECT_TRUE(SamePalette(back, image, false));
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, PngRoundTrip, ::testing::Values(1, 4, 8, 24, 32));

TEST(PngEncode, PaletteIsWrittenOpaque) {
  PixelImage image = PatternImage(4, 4, 8);
  for (std::size_t i = 0; i < 256; ++i) image.Palette()[i].reserved = static_cast<std::uint8_t>(i);
  const Bytes png = Encode(image);
  EXPECT_TRUE(HasChunk(png, "PLTE"));
  EXPECT_FALSE(HasChunk(png, "tRNS"));
  PixelImage back;
  ASSERT_TRUE(Decode(png, back));
  for (std::size_t i = 0; i < 256; ++i) ASSERT_EQ(back.Palette()[i].reserved, 255) << i;
}

TEST(PngEncode, SixteenBitImagesBecomeRgb) {
  PixelImage image;
  ASSERT_TRUE(image.Create(2, 1, 16));
  image.Row(0)[0] = 0x1F;  // blue
  image.Row(0)[2] = 0x00;  // red 0x7C00
  image.Row(0)[3] = 0x7C;
  const Bytes png = Encode(image);
  EXPECT_EQ(png[25], PNG_COLOR_TYPE_RGB);  // colour type in the header
  PixelImage back;
  ASSERT_TRUE(Decode(png, back));
  ASSERT_EQ(back.BitCount(), 24);
  const Bytes want = {255, 0, 0, 0, 0, 255};
  EXPECT_EQ(Bytes(back.Row(0), back.Row(0) + 6), want);
}

TEST(PngEncode, AlphaIsKeptStraight) {
  PixelImage image;
  ASSERT_TRUE(image.Create(1, 1, 32));
  const Bytes pixel = {10, 20, 30, 40};
  std::memcpy(image.Row(0), pixel.data(), 4);
  PixelImage back;
  ASSERT_TRUE(Decode(Encode(image), back));
  EXPECT_EQ(Bytes(back.Row(0), back.Row(0) + 4), pixel);
}

TEST(PngDecode, TwoBitPaletteIsWidenedToFour) {
  PngSpec spec;
  spec.width = 5;
  spec.height = 1;
  spec.bitDepth = 2;
  spec.colourType = PNG_COLOR_TYPE_PALETTE;
  spec.palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {100, 110, 120}};
  spec.rows = {{0b00011011, 0b10000000}};  // indices 0 1 2 3 2
  PixelImage image;
  ASSERT_TRUE(Decode(WritePng(spec), image));
  ASSERT_EQ(image.BitCount(), 4);
  const Bytes want = {0x01, 0x23, 0x20};
  EXPECT_EQ(Bytes(image.Row(0), image.Row(0) + 3), want);
  EXPECT_EQ(image.Palette()[3], (PaletteEntry{120, 110, 100, 255}));
  EXPECT_EQ(image.Palette()[4], (PaletteEntry{68, 68, 68, 0}));  // not in the file: grey ramp
}

TEST(PngDecode, PaletteTransparencyGoesToTheFourthByte) {
  PngSpec spec;
  spec.width = 2;
  spec.height = 1;
  spec.colourType = PNG_COLOR_TYPE_PALETTE;
  spec.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  spec.transparency = {0, 128};
  spec.rows = {{0, 2}};
  PixelImage image;
  ASSERT_TRUE(Decode(WritePng(spec), image));
  ASSERT_EQ(image.BitCount(), 8);
  EXPECT_EQ(image.Palette()[0], (PaletteEntry{3, 2, 1, 0}));
  EXPECT_EQ(image.Palette()[1], (PaletteEntry{6, 5, 4, 128}));
  EXPECT_EQ(image.Palette()[2], (PaletteEntry{9, 8, 7, 255}));
}

TEST(PngDecode, GreyBecomesTwentyFourBits) {
  PngSpec spec;
  spec.width = 3;
  spec.height = 1;
  spec.colourType = PNG_COLOR_TYPE_GRAY;
  spec.rows = {{0, 100, 255}};
  PixelImage image;
  ASSERT_TRUE(Decode(WritePng(spec), image));
  ASSERT_EQ(image.BitCount(), 24);
  const Bytes want = {0, 0, 0, 100, 100, 100, 255, 255, 255};
  EXPECT_EQ(Bytes(image.Row(0), image.Row(0) + 9), want);

  spec.bitDepth = 1;
  spec.width = 3;
  spec.rows = {{0b10100000}};
  ASSERT_TRUE(Decode(WritePng(spec), image));
  const Bytes bits = {255, 255, 255, 0, 0, 0, 255, 255, 255};
  EXPECT_EQ(Bytes(image.Row(0), image.Row(0) + 9), bits);
}

TEST(PngDecode, SixteenBitSamplesAreScaledToEight) {
  PngSpec spec;
  spec.width = 1;
  spec.height = 1;
  spec.bitDepth = 16;
  spec.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  spec.rows = {{0xFF, 0xFF, 0x80, 0x80, 0x00, 0x00, 0x40, 0x40}};  // R, G, B, A big-endian
  PixelImage image;
  ASSERT_TRUE(Decode(WritePng(spec), image));
  ASSERT_EQ(image.BitCount(), 32);
  const Bytes want = {0x00, 0x80, 0xFF, 0x40};
  EXPECT_EQ(Bytes(image.Row(0), image.Row(0) + 4), want);

  spec.colourType = PNG_COLOR_TYPE_GRAY;
  spec.rows = {{0x12, 0x34}};
  ASSERT_TRUE(Decode(WritePng(spec), image));
  ASSERT_EQ(image.BitCount(), 24);
  EXPECT_EQ(image.Row(0)[0], 0x12);
}

TEST(PngDecode, TransparentColourGivesAlpha) {
  PngSpec spec;
  spec.width = 2;
  spec.height = 1;
  spec.colourType = PNG_COLOR_TYPE_RGB;
  spec.hasTransparentColour = true;
  spec.transparentColour.red = 1;
  spec.transparentColour.green = 2;
  spec.transparentColour.blue = 3;
  spec.rows = {{1, 2, 3, 4, 5, 6}};
  PixelImage image;
  ASSERT_TRUE(Decode(WritePng(spec), image));
  ASSERT_EQ(image.BitCount(), 32);
  EXPECT_EQ(image.Row(0)[3], 0);
  const Bytes opaque = {6, 5, 4, 255};
  EXPECT_EQ(Bytes(image.Row(0) + 4, image.Row(0) + 8), opaque);

  spec.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
  spec.hasTransparentColour = false;
  spec.rows = {{50, 0, 60, 255}};
  ASSERT_TRUE(Decode(WritePng(spec), image));
  ASSERT_EQ(image.BitCount(), 32);
  const Bytes greyAlpha = {50, 50, 50, 0, 60, 60, 60, 255};
  EXPECT_EQ(Bytes(image.Row(0), image.Row(0) + 8), greyAlpha);
}

TEST(PngDecode, InterlacedGivesTheSamePixels) {
  const PixelImage image = PatternImage(13, 11, 24, 6);
  PngSpec spec;
  spec.width = 13;
  spec.height = 11;
  spec.interlaced = true;
  for (int y = 0; y < 11; ++y) {
    Bytes row(image.Row(y), image.Row(y) + 39);
    for (int x = 0; x < 13; ++x) std::swap(row[3 * x], row[3 * x + 2]);
    spec.rows.push_back(row);
  }
  PixelImage back;
  ASSERT_TRUE(Decode(WritePng(spec), back));
  EXPECT_TRUE(SamePixels(back, image));
}

TEST(PngDecode, TruncatedAndOversizedFilesAreRefused) {
  const Bytes png = Encode(PatternImage(30, 30, 24));
  PixelImage image;
  ASSERT_TRUE(Decode(png, image));
  EXPECT_FALSE(Decode(Bytes(png.begin(), png.end() - 12), image));  // no end chunk
  EXPECT_FALSE(Decode(Bytes(png.begin(), png.begin() + 100), image));
  EXPECT_FALSE(Decode(Bytes(png.begin(), png.begin() + 8), image));
  EXPECT_FALSE(Decode({}, image));

  // 100000 x 100000 in the header, with a matching checksum: refused before
  // anything is allocated for it.
  PngSpec spec;
  spec.width = 100000;
  spec.height = 1;
  spec.colourType = PNG_COLOR_TYPE_GRAY;
  spec.bitDepth = 1;
  spec.rows = {Bytes(12500, 0)};
  Bytes huge = WritePng(spec);
  huge[20] = 0x00;
  huge[21] = 0x01;
  huge[22] = 0x86;
  huge[23] = 0xA0;  // height 100000
  const std::uint32_t crc = static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), huge.data() + 12, 17));
  huge[29] = static_cast<std::uint8_t>(crc >> 24);
  huge[30] = static_cast<std::uint8_t>(crc >> 16);
  huge[31] = static_cast<std::uint8_t>(crc >> 8);
  huge[32] = static_cast<std::uint8_t>(crc);
  EXPECT_FALSE(Decode(huge, image));
}

TEST(PngSave, FileIsReadableByImageMagick) {
  if (!testing::HaveTool("identify")) GTEST_SKIP() << "ImageMagick not installed";
  testing::TempDir dir;
  ASSERT_TRUE(PatternImage(17, 5, 8).Save(dir / "a.png", ImageProperties()));
  const std::string out = testing::RunCapture("identify -format '%w %h %m' '" + (dir / "a.png") + "' 2>&1");
  EXPECT_EQ(out, "17 5 PNG");
}

}  // namespace
}  // namespace reelmill
