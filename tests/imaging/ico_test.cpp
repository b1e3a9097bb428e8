#include <gtest/gtest.h>

#include <cstring>

#include "imaging/byte_writer.h"
#include "imaging/codecs/ico_codec.h"
#include "imaging/codecs/png_codec.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"
#include "tests/imaging/image_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One picture of an icon as a device-independent bitmap: header (height
// doubled), colour table, colour rows and mask rows, both bottom-up.
Bytes DibEntry(int width, int height, int depth, const std::vector<std::uint32_t>& palette, const Bytes& colourRows,
               const Bytes& maskRows) {
  ByteWriter w;
  w.U32le(40);
  w.U32le(static_cast<std::uint32_t>(width));
  w.U32le(static_cast<std::uint32_t>(height * 2));
  w.U16le(1);
  w.U16le(static_cast<std::uint16_t>(depth));
  w.U32le(0);
  w.U32le(0);
  w.U32le(0);
  w.U32le(0);
  w.U32le(static_cast<std::uint32_t>(palette.size()));
  w.U32le(0);
  for (auto entry : palette) w.U32le(entry);
  w.Bytes(colourRows);
  w.Bytes(maskRows);
  return w.Take();
}

struct Picture {
  int width;
  int height;
  Bytes data;
};

Bytes Icon(const std::vector<Picture>& pictures) {
  ByteWriter w;
  w.U16le(0);
  w.U16le(1);
  w.U16le(static_cast<std::uint16_t>(pictures.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(pictures.size());
  for (const Picture& p : pictures) {
    w.U8(static_cast<std::uint8_t>(p.width));  // 256 is stored as 0
    w.U8(static_cast<std::uint8_t>(p.height));
    w.U8(0);
    w.U8(0);
    w.U16le(1);
    w.U16le(32);
    w.U32le(static_cast<std::uint32_t>(p.data.size()));
    w.U32le(offset);
    offset += static_cast<std::uint32_t>(p.data.size());
  }
  for (const Picture& p : pictures) w.Bytes(p.data);
  return w.Take();
}

bool Decode(const Bytes& bytes, PixelImage& image) {
  IcoCodec codec;
  ImageList out;
  std::unique_ptr<ImageProperties> properties;
  if (!codec.LoadMemory(bytes, out, properties) || out.Count() != 1) return false;
  image = std::move(out.At(0));
  return true;
}

Bytes Pixel(const PixelImage& image, int x, int y) {
  return Bytes(image.PixelAddress(x, y), image.PixelAddress(x, y) + 4);
}

// A 2 x 2 8-bit picture: colours 1 and 2, top-right pixel masked out.
Bytes EightBitPicture() {
  const Bytes colours = {2, 2, 0, 0,   // bottom row, padded to 4
                         1, 1, 0, 0};  // top row
  const Bytes mask = {0x00, 0, 0, 0,   // bottom row
                      0x40, 0, 0, 0};  // top row: pixel 1 transparent
  return DibEntry(2, 2, 8, {0x000000, 0x00102030, 0x00405060}, colours, mask);
}

TEST(IcoDecode, PaletteEntryWithTheMaskAsAlpha) {
  PixelImage image;
  ASSERT_TRUE(Decode(Icon({{2, 2, EightBitPicture()}}), image));
  ASSERT_EQ(image.BitCount(), 32);
  ASSERT_EQ(image.Width(), 2);
  ASSERT_EQ(image.Height(), 2);
  EXPECT_EQ(Pixel(image, 0, 0), (Bytes{0x30, 0x20, 0x10, 255}));
  EXPECT_EQ(Pixel(image, 1, 0), (Bytes{0x30, 0x20, 0x10, 0}));
  EXPECT_EQ(Pixel(image, 0, 1), (Bytes{0x60, 0x50, 0x40, 255}));
}

TEST(IcoDecode, TheLargestPictureIsTakenFirstOnTies) {
  const Bytes small = EightBitPicture();
  const Bytes bigA = DibEntry(3, 3, 24, {}, Bytes(3 * 12, 0xAA), Bytes(3 * 4, 0));
  const Bytes bigB = DibEntry(3, 3, 24, {}, Bytes(3 * 12, 0xBB), Bytes(3 * 4, 0));
  PixelImage image;
  ASSERT_TRUE(Decode(Icon({{2, 2, small}, {3, 3, bigA}, {3, 3, bigB}}), image));
  EXPECT_EQ(image.Width(), 3);
  EXPECT_EQ(Pixel(image, 2, 2), (Bytes{0xAA, 0xAA, 0xAA, 255}));
}

TEST(IcoDecode, ThirtyTwoBitPicturesKeepTheirAlpha) {
  const Bytes colours = {1, 2, 3, 0x80, 4, 5, 6, 0x00};
  PixelImage image;
  ASSERT_TRUE(Decode(Icon({{2, 1, DibEntry(2, 1, 32, {}, colours, {0xC0, 0, 0, 0})}}), image));
  EXPECT_EQ(Pixel(image, 0, 0), (Bytes{1, 2, 3, 0x80}));
  EXPECT_EQ(Pixel(image, 1, 0), (Bytes{4, 5, 6, 0x00}));
}

TEST(IcoDecode, ThirtyTwoBitPicturesWithoutAnyAlphaUseTheMask) {
  const Bytes colours = {1, 2, 3, 0, 4, 5, 6, 0};
  PixelImage image;
  ASSERT_TRUE(Decode(Icon({{2, 1, DibEntry(2, 1, 32, {}, colours, {0x40, 0, 0, 0})}}), image));
  EXPECT_EQ(Pixel(image, 0, 0), (Bytes{1, 2, 3, 255}));
  EXPECT_EQ(Pixel(image, 1, 0), (Bytes{4, 5, 6, 0}));
  // Without a mask at all such a picture is opaque.
  ASSERT_TRUE(Decode(Icon({{2, 1, DibEntry(2, 1, 32, {}, colours, {})}}), image));
  EXPECT_EQ(Pixel(image, 1, 0), (Bytes{4, 5, 6, 255}));
}

TEST(IcoDecode, OneAndFourBitPictures) {
  // 1 bit: 3 pixels 1 0 1.
  PixelImage image;
  ASSERT_TRUE(Decode(Icon({{3, 1, DibEntry(3, 1, 1, {0x000000, 0xFFFFFF}, {0xA0, 0, 0, 0}, {0, 0, 0, 0})}}), image));
  EXPECT_EQ(Pixel(image, 0, 0), (Bytes{255, 255, 255, 255}));
  EXPECT_EQ(Pixel(image, 1, 0), (Bytes{0, 0, 0, 255}));
  // 4 bit: pixels 0 and 15 of a 16-entry table.
  std::vector<std::uint32_t> table(16, 0);
  table[15] = 0x00ABCDEF;
  ASSERT_TRUE(Decode(Icon({{2, 1, DibEntry(2, 1, 4, table, {0x0F, 0, 0, 0}, {0x80, 0, 0, 0})}}), image));
  EXPECT_EQ(Pixel(image, 0, 0), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Pixel(image, 1, 0), (Bytes{0xEF, 0xCD, 0xAB, 255}));
}

TEST(IcoDecode, PngCompressedPictures) {
  PixelImage source = testing::PatternImage(5, 4, 32, 3);
  ByteWriter png;
  ASSERT_TRUE(EncodePng(source, png));
  PixelImage image;
  ASSERT_TRUE(Decode(Icon({{2, 2, EightBitPicture()}, {5, 4, png.Take()}}), image));
  EXPECT_TRUE(testing::SamePixels(image, source));

  // A palette PNG comes out as 32 bits, opaque.
  ByteWriter mapped;
  ASSERT_TRUE(EncodePng(testing::PatternImage(3, 3, 8, 2), mapped));
  ASSERT_TRUE(Decode(Icon({{3, 3, mapped.Take()}}), image));
  EXPECT_EQ(image.BitCount(), 32);
  EXPECT_EQ(image.PixelAddress(1, 1)[3], 255);
}

TEST(IcoDecode, Refusals) {
  PixelImage image;
  const Bytes good = Icon({{2, 2, EightBitPicture()}});
  ASSERT_TRUE(Decode(good, image));

  Bytes wrongType = good;
  wrongType[2] = 3;
  EXPECT_FALSE(Decode(wrongType, image));
  Bytes noEntries = good;
  noEntries[4] = 0;
  EXPECT_FALSE(Decode(noEntries, image));
  Bytes manyEntries = good;
  manyEntries[4] = 50;  // a directory longer than the file
  EXPECT_FALSE(Decode(manyEntries, image));
  Bytes offsetPastEnd = good;
  offsetPastEnd[18] = 0xFF;
  EXPECT_FALSE(Decode(offsetPastEnd, image));
  Bytes sizePastEnd = good;
  sizePastEnd[15] = 0x10;
  EXPECT_FALSE(Decode(sizePastEnd, image));
  // A picture without its mask.
  const Bytes noMask = DibEntry(2, 2, 8, {0, 0, 0}, Bytes(8, 0), {});
  EXPECT_FALSE(Decode(Icon({{2, 2, noMask}}), image));
  // Compressed DIB and 16-bit pictures are not read.
  Bytes compressed = EightBitPicture();
  compressed[16] = 1;
  EXPECT_FALSE(Decode(Icon({{2, 2, compressed}}), image));
  EXPECT_FALSE(Decode(Icon({{2, 2, DibEntry(2, 2, 16, {}, Bytes(8, 0), Bytes(8, 0))}}), image));
  EXPECT_FALSE(Decode(Bytes(good.begin(), good.end() - 1), image));
  EXPECT_FALSE(Decode({0, 0, 1, 0}, image));
  EXPECT_FALSE(Decode({}, image));
}

}  // namespace
}  // namespace reelmill
