#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "imaging/byte_writer.h"
#include "imaging/codecs/bmp_codec.h"
#include "imaging/codecs/tga_codec.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"
#include "tests/imaging/image_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using testing::Le16;
using testing::Le32;
using testing::PatternImage;
using testing::ReadAll;
using testing::SamePalette;
using testing::SamePixels;

std::vector<std::uint8_t> Saved(const PixelImage& image, const std::string& name) {
  testing::TempDir dir;
  if (!image.Save(dir / name, ImageProperties())) return {};
  return ReadAll(dir / name);
}

template <typename Codec>
bool Decode(const std::vector<std::uint8_t>& bytes, PixelImage& image,
            std::unique_ptr<ImageProperties>* properties = nullptr) {
  Codec codec;
  ImageList out;
  std::unique_ptr<ImageProperties> own;
  if (!codec.LoadMemory(bytes, out, properties ? *properties : own)) return false;
  if (out.Count() != 1) return false;
  image = std::move(out.At(0));
  return true;
}

PixelImage Make565(int width, int height) {
  ImageDescriptor d;
  d.header.width = width;
  d.header.height = height;
  d.header.bitCount = 16;
  d.header.compression = kCompressionBitFields;
  d.redMask = 0xF800;
  d.greenMask = 0x07E0;
  d.blueMask = 0x001F;
  PixelImage image;
  EXPECT_TRUE(image.Create(d));
  const PixelImage pattern = PatternImage(width, height, 16, 5);
  std::memcpy(image.Bits(), pattern.Bits(), image.BufferSize());
  return image;
}

// ---- BMP as written ----

TEST(BmpWrite, TrueColour3x2Is78Bytes) {
  const PixelImage image = PatternImage(3, 2, 24);
  const auto file = Saved(image, "a.bmp");
  ASSERT_EQ(file.size(), 78u);
  EXPECT_EQ(testing::Text(file, 0, 2), "BM");
  EXPECT_EQ(Le32(file, 2), 78u);   // file size
  EXPECT_EQ(Le32(file, 6), 0u);    // reserved
  EXPECT_EQ(Le32(file, 10), 54u);  // pixel data offset
  EXPECT_EQ(Le32(file, 14), 40u);  // header size
  EXPECT_EQ(Le32(file, 18), 3u);   // width
  EXPECT_EQ(Le32(file, 22), 2u);   // height, positive: bottom-up
  EXPECT_EQ(Le16(file, 26), 1);    // planes
  EXPECT_EQ(Le16(file, 28), 24);   // bit count
  EXPECT_EQ(Le32(file, 30), 0u);   // compression
  EXPECT_EQ(Le32(file, 34), 0u);   // size image
  EXPECT_EQ(Le32(file, 46), 0u);   // colours used
  EXPECT_EQ(Le32(file, 50), 0u);   // colours important
  EXPECT_EQ(std::memcmp(file.data() + 54, image.Bits(), 24), 0);
}

TEST(BmpWrite, EightBit10x10Is1198BytesWithItsPalette) {
  const PixelImage image = PatternImage(10, 10, 8);
  const auto file = Saved(image, "a.bmp");
  ASSERT_EQ(file.size(), 1198u);
  EXPECT_EQ(Le32(file, 2), 1198u);
  EXPECT_EQ(Le32(file, 10), 1078u);
  for (int i = 0; i < 256; ++i) {
    const PaletteEntry& e = image.Palette()[static_cast<std::size_t>(i)];
    ASSERT_EQ(file[54 + 4 * i], e.blue);
    ASSERT_EQ(file[55 + 4 * i], e.green);
    ASSERT_EQ(file[56 + 4 * i], e.red);
    ASSERT_EQ(file[57 + 4 * i], e.reserved);
  }
  EXPECT_EQ(std::memcmp(file.data() + 1078, image.Bits(), 120), 0);
}

TEST(BmpWrite, PackedDepthsGetTwoOrSixteenEntries) {
  const auto one = Saved(PatternImage(5, 3, 1), "a.bmp");
  EXPECT_EQ(Le32(one, 10), 54u + 8u);
  EXPECT_EQ(one.size(), 62u + 12u);
  const auto four = Saved(PatternImage(5, 3, 4), "a.bmp");
  EXPECT_EQ(Le32(four, 10), 54u + 64u);
  EXPECT_EQ(four.size(), 118u + 12u);
}

TEST(BmpWrite, SixteenBitMasksOnlyWithBitFields) {
  const auto plain = Saved(PatternImage(2, 2, 16), "a.bmp");
  EXPECT_EQ(Le32(plain, 10), 54u);
  EXPECT_EQ(plain.size(), 54u + 8u);
  const auto fields = Saved(Make565(2, 2), "a.bmp");
  EXPECT_EQ(Le32(fields, 10), 66u);
  EXPECT_EQ(Le32(fields, 30), 3u);
  EXPECT_EQ(Le32(fields, 54), 0xF800u);
  EXPECT_EQ(Le32(fields, 58), 0x07E0u);
  EXPECT_EQ(Le32(fields, 62), 0x001Fu);
  EXPECT_EQ(fields.size(), 66u + 8u);
}

// ---- BMP round trips ----

class BmpRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(BmpRoundTrip, PixelsAndPaletteComeBack) {
  const PixelImage image = PatternImage(13, 7, GetParam(), 3);
  PixelImage back;
  ASSERT_TRUE(Decode<BmpCodec>(Saved(image, "a.bmp"), back));
  EXPECT_TRUE(SamePixels(back, image));
  if (GetParam() <= 8) {
    EXPECT_TRUE(SamePalette(back, image, true));
  }
  EXPECT_EQ(back.RedMask(), image.RedMask());
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpRoundTrip, ::testing::Values(1, 4, 8, 16, 24, 32));

TEST(BmpRoundTrip, FiveSixFiveKeepsItsMasks) {
  const PixelImage image = Make565(7, 3);
  PixelImage back;
  ASSERT_TRUE(Decode<BmpCodec>(Saved(image, "a.bmp"), back));
  EXPECT_TRUE(SamePixels(back, image));
  EXPECT_EQ(back.Header().compression, 3u);
  EXPECT_EQ(back.RedMask(), 0xF800u);
  EXPECT_EQ(back.GreenMask(), 0x07E0u);
  EXPECT_EQ(back.BlueMask(), 0x001Fu);
}

// ---- BMP reading of files from elsewhere ----

// A BMP built field by field.
struct BmpBuilder {
  std::int32_t width = 2;
  std::int32_t height = 2;
  std::uint16_t bitCount = 24;
  std::uint32_t compression = 0;
  std::uint32_t headerSize = 40;
  std::uint32_t colours = 0;
  std::vector<std::uint32_t> masks;
  std::vector<std::uint32_t> palette;
  std::vector<std::uint8_t> pixels;
  std::int64_t offsetOverride = -1;

  std::vector<std::uint8_t> Build() const {
    ByteWriter w;
    const std::uint32_t headerBytes = 14 + headerSize + static_cast<std::uint32_t>(4 * (masks.size() + palette.size()));
    w.U16le(0x4D42);
    w.U32le(headerBytes + static_cast<std::uint32_t>(pixels.size()));
    w.U32le(0);
    w.U32le(offsetOverride >= 0 ? static_cast<std::uint32_t>(offsetOverride) : headerBytes);
    w.U32le(headerSize);
    w.U32le(static_cast<std::uint32_t>(width));
    w.U32le(static_cast<std::uint32_t>(height));
    w.U16le(1);
    w.U16le(bitCount);
    w.U32le(compression);
    w.U32le(0);
    w.U32le(0);
    w.U32le(0);
    w.U32le(colours);
    w.U32le(0);
    if (headerSize > 40) w.Zeros(headerSize - 40);
    for (auto m : masks) w.U32le(m);
    for (auto p : palette) w.U32le(p);
    w.Bytes(pixels);
    return w.Take();
  }
};

TEST(BmpRead, ShortColourTableFromColoursUsed) {
  BmpBuilder b;
  b.width = 4;
  b.height = 1;
  b.bitCount = 8;
  b.colours = 2;
  b.palette = {0x00112233, 0x00445566};
  b.pixels = {0, 1, 1, 0};
  PixelImage image;
  ASSERT_TRUE(Decode<BmpCodec>(b.Build(), image));
  EXPECT_EQ(image.Palette()[1], (PaletteEntry{0x66, 0x55, 0x44, 0}));
  EXPECT_EQ(image.Palette()[2], (PaletteEntry{2, 2, 2, 0}));  // not in the file: grey ramp
  EXPECT_EQ(*image.PixelAddress(1, 0), 1);
}

TEST(BmpRead, LargerInfoHeadersAndBitFields) {
  BmpBuilder b;
  b.headerSize = 124;  // version 5 header: masks inside it, at the same place
  b.width = 1;
  b.height = 1;
  b.bitCount = 32;
  b.compression = 3;
  b.pixels = {1, 2, 3, 4};
  auto file = b.Build();
  // Masks of the version 5 header, standard BGRA order.
  const std::uint32_t masks[] = {0x00FF0000, 0x0000FF00, 0x000000FF};
  std::memcpy(file.data() + 54, masks, sizeof masks);
  PixelImage image;
  ASSERT_TRUE(Decode<BmpCodec>(file, image));
  EXPECT_EQ(image.BitCount(), 32);
  EXPECT_EQ(image.Header().compression, 0u);
  EXPECT_EQ(std::memcmp(image.Row(0), b.pixels.data(), 4), 0);

  // Other 32-bit masks would swap colours: refused.
  const std::uint32_t swapped[] = {0x000000FF, 0x0000FF00, 0x00FF0000};
  std::memcpy(file.data() + 54, swapped, sizeof swapped);
  EXPECT_FALSE(Decode<BmpCodec>(file, image));
}

TEST(BmpRead, Refusals) {
  PixelImage image;
  BmpBuilder good;
  good.pixels.assign(16, 7);
  ASSERT_TRUE(Decode<BmpCodec>(good.Build(), image));

  auto topDown = good;
  topDown.height = -2;
  EXPECT_FALSE(Decode<BmpCodec>(topDown.Build(), image));
  auto rle = good;
  rle.bitCount = 8;
  rle.compression = 1;
  rle.palette.assign(256, 0);
  EXPECT_FALSE(Decode<BmpCodec>(rle.Build(), image));
  auto rle4 = good;
  rle4.compression = 2;
  EXPECT_FALSE(Decode<BmpCodec>(rle4.Build(), image));
  auto oddDepth = good;
  oddDepth.bitCount = 2;
  EXPECT_FALSE(Decode<BmpCodec>(oddDepth.Build(), image));
  auto zeroWidth = good;
  zeroWidth.width = 0;
  EXPECT_FALSE(Decode<BmpCodec>(zeroWidth.Build(), image));
  auto coreHeader = good;
  coreHeader.headerSize = 12;
  EXPECT_FALSE(Decode<BmpCodec>(coreHeader.Build(), image));
  auto offsetPastEnd = good;
  offsetPastEnd.offsetOverride = 70;  // exactly the file size
  EXPECT_FALSE(Decode<BmpCodec>(offsetPastEnd.Build(), image));
  auto fieldsOn24 = good;
  fieldsOn24.compression = 3;
  fieldsOn24.masks = {0xFF0000, 0xFF00, 0xFF};
  EXPECT_FALSE(Decode<BmpCodec>(fieldsOn24.Build(), image));

  auto notBm = good.Build();
  notBm[1] = 'A';
  EXPECT_FALSE(Decode<BmpCodec>(notBm, image));
  EXPECT_FALSE(Decode<BmpCodec>({'B', 'M'}, image));
  EXPECT_FALSE(Decode<BmpCodec>({}, image));
}

TEST(BmpRead, TruncatedPixelDataIsRefused) {
  BmpBuilder b;
  b.pixels.assign(16, 7);
  auto file = b.Build();
  file.pop_back();
  PixelImage image;
  EXPECT_FALSE(Decode<BmpCodec>(file, image));
}

TEST(BmpRead, ColourTablePastTheEndIsRefused) {
  BmpBuilder b;
  b.width = 1;
  b.height = 1;
  b.bitCount = 8;
  b.palette = {0x112233};  // 1 of the 256 entries the header implies
  b.pixels = {0, 0, 0, 0};
  b.offsetOverride = 58;
  PixelImage image;
  EXPECT_FALSE(Decode<BmpCodec>(b.Build(), image));
}

TEST(BmpRead, HugeSizesAreRefusedBeforeAllocating) {
  BmpBuilder b;
  b.width = 0x7FFFFFFF;
  b.height = 0x7FFFFFFF;
  b.pixels.assign(16, 0);
  PixelImage image;
  EXPECT_FALSE(Decode<BmpCodec>(b.Build(), image));
  b.width = 1 << 15;
  b.height = (1 << 13) + 1;
  EXPECT_FALSE(Decode<BmpCodec>(b.Build(), image));
}

// ---- TGA as written ----

TEST(TgaWrite, TrueColour3x2Is48Bytes) {
  const PixelImage image = PatternImage(3, 2, 24);
  const auto file = Saved(image, "a.tga");
  ASSERT_EQ(file.size(), 48u);
  const std::vector<std::uint8_t> header = {12, 0, 2, 0, 0, 0, 1, 24, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0x20};
  EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 18), header);
  EXPECT_EQ(testing::Text(file, 18, 12), "Tavok -- TGA");
  // Rows from the top, without padding.
  EXPECT_EQ(std::memcmp(file.data() + 30, image.Row(0), 9), 0);
  EXPECT_EQ(std::memcmp(file.data() + 39, image.Row(1), 9), 0);
}

TEST(TgaWrite, EightBit10x10Is898BytesWithAColourMap) {
  const PixelImage image = PatternImage(10, 10, 8);
  const auto file = Saved(image, "a.tga");
  ASSERT_EQ(file.size(), 898u);
  EXPECT_EQ(file[1], 1);
  EXPECT_EQ(file[2], 1);
  EXPECT_EQ(Le16(file, 5), 256);
  EXPECT_EQ(file[7], 24);
  EXPECT_EQ(file[16], 8);
  for (int i = 0; i < 256; ++i) {
    const PaletteEntry& e = image.Palette()[static_cast<std::size_t>(i)];
    ASSERT_EQ(file[30 + 3 * i], e.blue);
    ASSERT_EQ(file[31 + 3 * i], e.green);
    ASSERT_EQ(file[32 + 3 * i], e.red);
  }
  EXPECT_EQ(std::memcmp(file.data() + 798, image.Row(0), 10), 0);
}

TEST(TgaWrite, ThirtyTwoBitKeepsTheFourthByteWithZeroAttributeBits) {
  PixelImage image = PatternImage(2, 1, 32);
  image.PixelAddress(1, 0)[3] = 0x42;
  const auto file = Saved(image, "a.tga");
  ASSERT_EQ(file.size(), 30u + 8u);
  EXPECT_EQ(file[16], 32);
  EXPECT_EQ(file[17], 0x20);
  EXPECT_EQ(file[37], 0x42);
}

TEST(TgaWrite, RefusesPackedDepthsAndOversizedImagesWithoutAFile) {
  testing::TempDir dir;
  EXPECT_FALSE(PatternImage(4, 4, 1).Save(dir / "a.tga", ImageProperties()));
  EXPECT_FALSE(PatternImage(4, 4, 4).Save(dir / "b.tga", ImageProperties()));
  PixelImage wide;
  ASSERT_TRUE(wide.Create(65536, 1, 8));
  EXPECT_FALSE(wide.Save(dir / "c.tga", ImageProperties()));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  // As BMP the packed depths are fine.
  EXPECT_TRUE(PatternImage(4, 4, 1).Save(dir / "a.bmp", ImageProperties()));
}

TEST(TgaWrite, FiveSixFiveIsRepackedAsFiveFiveFive) {
  PixelImage image = Make565(1, 1);
  image.Row(0)[0] = 0xFF;  // 0xFFFF: white in 5-6-5
  image.Row(0)[1] = 0xFF;
  const auto white = Saved(image, "a.tga");
  EXPECT_EQ(Le16(white, 30), 0x7FFF);
  image.Row(0)[0] = 0x00;  // pure red 0xF800
  image.Row(0)[1] = 0xF8;
  EXPECT_EQ(Le16(Saved(image, "a.tga"), 30), 0x7C00);
}

// ---- TGA round trips ----

class TgaRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(TgaRoundTrip, PixelsAndPaletteComeBack) {
  PixelImage image = PatternImage(11, 6, GetParam(), 9);
  std::unique_ptr<ImageProperties> properties;
  PixelImage back;
  ASSERT_TRUE(Decode<TgaCodec>(Saved(image, "a.tga"), back, &properties));
  EXPECT_TRUE(SamePixels(back, image));
  if (GetParam() == 8) {
    EXPECT_TRUE(SamePalette(back, image, false));
  }
  ASSERT_NE(properties, nullptr);
  EXPECT_EQ(properties->Get(TgaCompressionKey), "-1");
}

INSTANTIATE_TEST_SUITE_P(Depths, TgaRoundTrip, ::testing::Values(8, 16, 24, 32));

// ---- TGA reading of files from elsewhere ----

std::vector<std::uint8_t> TgaHeader(std::uint8_t type, int width, int height, int depth, std::uint8_t descriptor,
                                    std::uint8_t mapType = 0, std::uint16_t mapFirst = 0, std::uint16_t mapLength = 0,
                                    std::uint8_t mapBits = 0, std::uint8_t idLength = 0) {
  ByteWriter w;
  w.U8(idLength);
  w.U8(mapType);
  w.U8(type);
  w.U16le(mapFirst);
  w.U16le(mapLength);
  w.U8(mapBits);
  w.U16le(0);
  w.U16le(0);
  w.U16le(static_cast<std::uint16_t>(width));
  w.U16le(static_cast<std::uint16_t>(height));
  w.U8(static_cast<std::uint8_t>(depth));
  w.U8(descriptor);
  w.Zeros(idLength);
  return w.Take();
}

TEST(TgaRead, BottomUpRowsByDefault) {
  auto file = TgaHeader(2, 1, 2, 24, 0);
  file.insert(file.end(), {1, 2, 3, 4, 5, 6});  // first the bottom row
  PixelImage image;
  ASSERT_TRUE(Decode<TgaCodec>(file, image));
  EXPECT_EQ(image.Row(1)[0], 1);
  EXPECT_EQ(image.Row(0)[0], 4);
}

TEST(TgaRead, RunLengthRowsAndTheCompressionKey) {
  auto file = TgaHeader(10, 4, 2, 24, 0x20);
  // Row 0: a run of 3 then 1 literal; row 1: 4 literals... as 2 + 2.
  file.insert(file.end(), {0x82, 9, 8, 7, 0x00, 1, 2, 3});
  file.insert(file.end(), {0x01, 10, 11, 12, 13, 14, 15, 0x81, 20, 21, 22});
  PixelImage image;
  std::unique_ptr<ImageProperties> properties;
  ASSERT_TRUE(Decode<TgaCodec>(file, image, &properties));
  const std::vector<std::uint8_t> row0 = {9, 8, 7, 9, 8, 7, 9, 8, 7, 1, 2, 3};
  const std::vector<std::uint8_t> row1 = {10, 11, 12, 13, 14, 15, 20, 21, 22, 20, 21, 22};
  EXPECT_EQ(std::vector<std::uint8_t>(image.Row(0), image.Row(0) + 12), row0);
  EXPECT_EQ(std::vector<std::uint8_t>(image.Row(1), image.Row(1) + 12), row1);
  EXPECT_EQ(properties->Get(TgaCompressionKey), "1");
}

// Packets are decoded row by row. A packet that would run past its row's end
// makes the file unreadable: nothing is written past the row, and such a
// file is not half taken.
TEST(TgaRead, RunLengthPacketPastTheRowEndIsRefused) {
  auto run = TgaHeader(11, 2, 2, 8, 0x20);
  run.insert(run.end(), {0x82, 5, 0x81, 6});  // a run of 3 in a row of 2
  PixelImage image;
  EXPECT_FALSE(Decode<TgaCodec>(run, image));
  auto literal = TgaHeader(11, 2, 1, 8, 0x20);
  literal.insert(literal.end(), {0x02, 1, 2, 3});  // 3 literals in a row of 2
  EXPECT_FALSE(Decode<TgaCodec>(literal, image));
}

TEST(TgaRead, ColourMapAtAnOffsetAndWithAlpha) {
  auto file = TgaHeader(1, 2, 1, 8, 0x20, 1, 10, 2, 32);
  file.insert(file.end(), {1, 2, 3, 4, 5, 6, 7, 8});  // entries 10 and 11
  file.insert(file.end(), {10, 11});
  PixelImage image;
  ASSERT_TRUE(Decode<TgaCodec>(file, image));
  EXPECT_EQ(image.Palette()[10], (PaletteEntry{1, 2, 3, 4}));
  EXPECT_EQ(image.Palette()[11], (PaletteEntry{5, 6, 7, 8}));
  EXPECT_EQ(image.Palette()[0], (PaletteEntry{0, 0, 0, 0}));  // outside the map: zero
  EXPECT_EQ(image.Row(0)[1], 11);
}

TEST(TgaRead, GreyImagesUseTheGreyPaletteAndTheIdIsSkipped) {
  auto file = TgaHeader(3, 2, 1, 8, 0x20, 0, 0, 0, 0, 5);
  file.insert(file.end(), {200, 17});
  PixelImage image;
  ASSERT_TRUE(Decode<TgaCodec>(file, image));
  EXPECT_EQ(image.Row(0)[0], 200);
  EXPECT_EQ(image.Palette()[200], (PaletteEntry{200, 200, 200, 0}));
}

TEST(TgaRead, FifteenBitDepthLoadsAsSixteen) {
  auto file = TgaHeader(2, 1, 1, 15, 0x20);
  file.insert(file.end(), {0x1F, 0x00});
  PixelImage image;
  ASSERT_TRUE(Decode<TgaCodec>(file, image));
  EXPECT_EQ(image.BitCount(), 16);
  EXPECT_EQ(image.Row(0)[0], 0x1F);
}

TEST(TgaRead, Refusals) {
  PixelImage image;
  const std::vector<std::uint8_t> px(64, 1);
  auto with = [&](std::vector<std::uint8_t> header) {
    header.insert(header.end(), px.begin(), px.end());
    return header;
  };
  ASSERT_TRUE(Decode<TgaCodec>(with(TgaHeader(2, 2, 2, 24, 0)), image));
  EXPECT_FALSE(Decode<TgaCodec>(with(TgaHeader(2, 2, 2, 24, 0, 0, 0, 0, 16)), image));  // 16-bit map entries
  EXPECT_FALSE(Decode<TgaCodec>(with(TgaHeader(2, 2, 2, 24, 0, 0, 0, 0, 15)), image));
  EXPECT_FALSE(Decode<TgaCodec>(with(TgaHeader(1, 2, 2, 8, 0, 1, 200, 57, 24)), image));  // map past 256
  EXPECT_FALSE(Decode<TgaCodec>(with(TgaHeader(2, 0, 2, 24, 0)), image));
  EXPECT_FALSE(Decode<TgaCodec>(with(TgaHeader(2, 2, 0, 24, 0)), image));
  EXPECT_FALSE(Decode<TgaCodec>(with(TgaHeader(2, 2, 2, 4, 0)), image));
  EXPECT_FALSE(Decode<TgaCodec>(with(TgaHeader(1, 2, 2, 16, 0)), image));  // mapped needs 8 bits
  EXPECT_FALSE(Decode<TgaCodec>(with(TgaHeader(0, 2, 2, 24, 0)), image));  // no image data
  EXPECT_FALSE(Decode<TgaCodec>(with(TgaHeader(32, 2, 2, 8, 0)), image));  // Huffman
  EXPECT_FALSE(Decode<TgaCodec>(TgaHeader(2, 2, 2, 24, 0), image));        // no pixels at all
  EXPECT_FALSE(Decode<TgaCodec>(std::vector<std::uint8_t>(18, 0), image));
  EXPECT_FALSE(Decode<TgaCodec>({}, image));

  auto shortRow = TgaHeader(2, 2, 2, 24, 0);
  shortRow.insert(shortRow.end(), 11, 0);  // 12 bytes needed
  EXPECT_FALSE(Decode<TgaCodec>(shortRow, image));
  auto idPastEnd = TgaHeader(2, 1, 1, 24, 0, 0, 0, 0, 0, 0);
  idPastEnd[0] = 200;
  idPastEnd.insert(idPastEnd.end(), {1, 2, 3});
  EXPECT_FALSE(Decode<TgaCodec>(idPastEnd, image));
  auto shortMap = TgaHeader(1, 1, 1, 8, 0, 1, 0, 256, 24);
  shortMap.insert(shortMap.end(), 100, 0);
  EXPECT_FALSE(Decode<TgaCodec>(shortMap, image));
}

}  // namespace
}  // namespace reelmill
