// Saving: the bytes we write, palettes exact or quantised, transparency, and
// images saved and loaded back.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_encoder.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "tests/gif/gif_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using testing::Le16;
using testing::ReadAll;
using testing::TempDir;
using testing::Text;

bool Save(const PixelImage& image, const std::string& path) {
  const PixelImage* images[] = {&image};
  GifCodec codec;
  return codec.SaveFile(path, images, ImageProperties{});
}

std::unique_ptr<PixelImage> LoadOne(const std::string& path) {
  ImageList frames;
  std::unique_ptr<ImageProperties> properties;
  GifCodec codec;
  if (!codec.LoadFile(path, frames, properties) || frames.Count() != 1) return nullptr;
  return frames.TakeLast();
}

// Index `i` of a row of a 1/4/8-bit image.
int IndexAt(const PixelImage& image, int x, int y) {
  const std::uint8_t* row = image.Row(y);
  switch (image.BitCount()) {
    case 8:
      return row[x];
    case 4:
      return (x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4;
    default:
      return (row[x / 8] >> (7 - x % 8)) & 1;
  }
}

void SetIndex(PixelImage& image, int x, int y, int index) {
  std::uint8_t* row = image.Row(y);
  switch (image.BitCount()) {
    case 8:
      row[x] = static_cast<std::uint8_t>(index);
      break;
    case 4:
      row[x / 2] = static_cast<std::uint8_t>((x & 1) ? (row[x / 2] & 0xF0) | index : (row[x / 2] & 0x0F) | index << 4);
      break;
    default:
      row[x / 8] = static_cast<std::uint8_t>((row[x / 8] & ~(0x80 >> (x % 8))) | (index << (7 - x % 8)));
      break;
  }
}

PixelImage PaletteImage(int width, int height, int bits, std::uint32_t seed) {
  PixelImage image;
  EXPECT_TRUE(image.Create(width, height, bits));
  const int colors = 1 << bits;
  for (int i = 0; i < colors; ++i) {
    image.Palette()[std::size_t(i)] = PaletteEntry{static_cast<std::uint8_t>(i * 7 + 1),
                                                   static_cast<std::uint8_t>(255 - i),
                                                   static_cast<std::uint8_t>(i * 13), 0};
  }
  const auto indices = testing::Pattern(width, height, colors, seed);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) SetIndex(image, x, y, indices[std::size_t(y * width + x)]);
  }
  return image;
}

// A 24-bit image whose pixel colours come from `color(x, y)` as 0xRRGGBB.
template <typename ColorOf>
PixelImage TrueColor(int width, int height, int bits, ColorOf color) {
  PixelImage image;
  EXPECT_TRUE(image.Create(width, height, bits));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = color(x, y);
      std::uint8_t* p = image.PixelAddress(x, y);
      p[0] = static_cast<std::uint8_t>(c);
      p[1] = static_cast<std::uint8_t>(c >> 8);
      p[2] = static_cast<std::uint8_t>(c >> 16);
      if (bits == 32) p[3] = static_cast<std::uint8_t>(c >> 24);
    }
  }
  return image;
}

std::uint32_t RgbOf(const PaletteEntry& e) { return std::uint32_t{e.red} << 16 | std::uint32_t{e.green} << 8 | e.blue; }

// --- the bytes written ------------------------------------------------------------

TEST(GifSaveBytes, AnOpaquePaletteImageIsGif87aWithItsTableAndNoControl) {
  const TempDir dir;
  const PixelImage image = PaletteImage(5, 3, 1, 1);
  ASSERT_TRUE(Save(image, dir / "a.gif"));
  const auto bytes = ReadAll(dir / "a.gif");
  ASSERT_GE(bytes.size(), 13u + 6u + 10u);
  EXPECT_EQ(Text(bytes, 0, 6), "GIF87a");
  EXPECT_EQ(Le16(bytes, 6), 5);
  EXPECT_EQ(Le16(bytes, 8), 3);
  EXPECT_EQ(bytes[10], 0x80 | 0x70 | 0x00);  // global table of 2 entries, 8 bits per primary
  EXPECT_EQ(bytes[11], 0);                   // background index
  EXPECT_EQ(bytes[13], 0x00);                // entry 0 as red, green, blue
  EXPECT_EQ(bytes[14], 0xFF);
  EXPECT_EQ(bytes[15], 0x01);
  EXPECT_EQ(bytes[19], ',');  // the image follows the table directly
  EXPECT_EQ(Le16(bytes, 24), 5);
  EXPECT_EQ(Le16(bytes, 26), 3);
  EXPECT_EQ(bytes[28], 0);  // no local table, not interlaced
  EXPECT_EQ(bytes.back(), ';');
}

TEST(GifSaveBytes, APaletteWithAlphaNamesItsFirstTransparentEntry) {
  const TempDir dir;
  PixelImage image = PaletteImage(4, 4, 4, 2);
  for (auto& e : image.Palette()) e.reserved = 255;
  image.Palette()[6].reserved = 0;
  image.Palette()[9].reserved = 0;
  ASSERT_TRUE(Save(image, dir / "t.gif"));
  const auto bytes = ReadAll(dir / "t.gif");
  EXPECT_EQ(Text(bytes, 0, 6), "GIF89a");
  EXPECT_EQ(bytes[10], 0x80 | 0x70 | 0x03);
  const std::size_t control = 13 + 16 * 3;
  const std::vector<std::uint8_t> want{0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x06, 0x00, ','};
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + control, bytes.begin() + control + 9), want);
}

TEST(GifSaveBytes, APaletteWhoseFourthBytesAreAllZeroHasNoTransparency) {
  const TempDir dir;
  const PixelImage image = PaletteImage(4, 4, 8, 3);  // every fourth byte 0, as BMP files give
  ASSERT_TRUE(Save(image, dir / "b.gif"));
  const auto bytes = ReadAll(dir / "b.gif");
  EXPECT_EQ(Text(bytes, 0, 6), "GIF87a");
  EXPECT_EQ(bytes[13 + 256 * 3], ',');
}

TEST(GifSaveBytes, TrueColourTablesAreInOrderOfFirstAppearanceAndPaddedToAPowerOfTwo) {
  const TempDir dir;
  const std::uint32_t colors[3] = {0x102030, 0xA0B0C0, 0x405060};
  const PixelImage image = TrueColor(3, 2, 24, [&](int x, int y) { return colors[(x + y) % 3]; });
  ASSERT_TRUE(Save(image, dir / "c.gif"));
  const auto bytes = ReadAll(dir / "c.gif");
  EXPECT_EQ(bytes[10], 0x80 | 0x70 | 0x01);  // 4 entries
  const std::vector<std::uint8_t> table(bytes.begin() + 13, bytes.begin() + 13 + 12);
  const std::vector<std::uint8_t> want{0x10, 0x20, 0x30, 0xA0, 0xB0, 0xC0, 0x40, 0x50, 0x60, 0, 0, 0};
  EXPECT_EQ(table, want);
}

// --- round trips ------------------------------------------------------------------------

TEST(GifRoundTrip, PaletteImagesComeBackWithTheirPixelsAndPalette) {
  const TempDir dir;
  for (const int bits : {1, 4, 8}) {
    SCOPED_TRACE(bits);
    const PixelImage image = PaletteImage(33, 7, bits, 10 + std::uint32_t(bits));
    ASSERT_TRUE(Save(image, dir / "p.gif"));
    const auto loaded = LoadOne(dir / "p.gif");
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->BitCount(), 8);
    ASSERT_EQ(loaded->Width(), 33);
    ASSERT_EQ(loaded->Height(), 7);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 33; ++x) ASSERT_EQ(IndexAt(*loaded, x, y), IndexAt(image, x, y)) << x << "," << y;
    }
    for (int i = 0; i < (1 << bits); ++i) {
      EXPECT_EQ(RgbOf(loaded->Palette()[std::size_t(i)]), RgbOf(image.Palette()[std::size_t(i)])) << "entry " << i;
      EXPECT_EQ(loaded->Palette()[std::size_t(i)].reserved, 255) << "entry " << i;
    }
  }
}

TEST(GifRoundTrip, TheTransparentEntryOfAPaletteSurvives) {
  const TempDir dir;
  PixelImage image = PaletteImage(6, 6, 8, 4);
  for (auto& e : image.Palette()) e.reserved = 255;
  image.Palette()[3].reserved = 0;
  ASSERT_TRUE(Save(image, dir / "t.gif"));
  const auto loaded = LoadOne(dir / "t.gif");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Palette()[3].reserved, 0);
  EXPECT_EQ(loaded->Palette()[2].reserved, 255);
  EXPECT_EQ(testing::FrameRgba(*loaded), testing::FrameRgba(image));
}

TEST(GifRoundTrip, TrueColourWithAtMost256ColoursIsExact) {
  const TempDir dir;
  // 256 colours exactly: 16 x 16 distinct values.
  const PixelImage image = TrueColor(16, 16, 24, [](int x, int y) {
    return std::uint32_t(x * 17) << 16 | std::uint32_t(y * 16) << 8 | std::uint32_t((x * y) & 0xFF);
  });
  ASSERT_TRUE(Save(image, dir / "e.gif"));
  const auto loaded = LoadOne(dir / "e.gif");
  ASSERT_NE(loaded, nullptr);
  ASSERT_EQ(loaded->BitCount(), 8);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const std::uint8_t* p = image.PixelAddress(x, y);
      const PaletteEntry& e = loaded->Palette()[loaded->Row(y)[x]];
      ASSERT_EQ(e, (PaletteEntry{p[0], p[1], p[2], 255})) << x << "," << y;
    }
  }
}

TEST(GifRoundTrip, SixteenBitPixelsAreWidenedThroughTheirMasks) {
  const TempDir dir;
  for (const bool is565 : {false, true}) {
    ImageDescriptor d;
    d.header.width = 4;
    d.header.height = 1;
    d.header.bitCount = 16;
    d.header.compression = is565 ? kCompressionBitFields : kCompressionRgb;
    d.redMask = 0xF800;
    d.greenMask = 0x07E0;
    d.blueMask = 0x001F;
    PixelImage image;
    ASSERT_TRUE(image.Create(d));
    const std::uint16_t pixels[4] = {static_cast<std::uint16_t>(is565 ? 0xFFFF : 0x7FFF),
                                     static_cast<std::uint16_t>(is565 ? 0xF800 : 0x7C00),
                                     static_cast<std::uint16_t>(is565 ? 0x07E0 : 0x03E0),
                                     static_cast<std::uint16_t>(is565 ? 0x0010 : 0x0010)};
    std::memcpy(image.Row(0), pixels, sizeof pixels);
    ASSERT_TRUE(Save(image, dir / "s.gif"));
    const auto loaded = LoadOne(dir / "s.gif");
    ASSERT_NE(loaded, nullptr);
    const auto rgba = testing::FrameRgba(*loaded);
    const std::vector<std::uint8_t> want{255, 255, 255, 255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 132, 255};
    EXPECT_EQ(rgba, want) << (is565 ? "5-6-5" : "5-5-5");
  }
}

TEST(GifRoundTrip, ThirtyTwoBitTransparencySurvivesAnExactPalette) {
  const TempDir dir;
  // Alpha 0 and 127 are transparent, 128 and 255 opaque.
  const std::uint32_t pixels[4] = {0x00123456, 0x7F00FF00, 0x80ABCDEF, 0xFF0000FF};
  const PixelImage image = TrueColor(4, 2, 32, [&](int x, int) { return pixels[x]; });
  ASSERT_TRUE(Save(image, dir / "a.gif"));
  const auto loaded = LoadOne(dir / "a.gif");
  ASSERT_NE(loaded, nullptr);
  const auto rgba = testing::FrameRgba(*loaded);
  for (int y = 0; y < 2; ++y) {
    const std::uint8_t* p = &rgba[std::size_t(y) * 16];
    EXPECT_EQ(p[3], 0);
    EXPECT_EQ(p[7], 0);
    EXPECT_EQ(std::vector<std::uint8_t>(p + 8, p + 16),
              (std::vector<std::uint8_t>{0xAB, 0xCD, 0xEF, 255, 0x00, 0x00, 0xFF, 255}));
  }
  EXPECT_EQ(loaded->Row(0)[0], loaded->Row(0)[1]) << "transparent pixels share one entry";
}

// A smooth gradient of 64 x 64 = 4096 colours.
PixelImage Gradient(int bits, bool holes) {
  return TrueColor(64, 64, bits, [&](int x, int y) {
    const std::uint32_t alpha = holes && (x / 8 + y / 8) % 3 == 0 ? 0x10 : 0xFF;
    return alpha << 24 | std::uint32_t(x * 4) << 16 | std::uint32_t(y * 4) << 8 | std::uint32_t(128 + (x - y));
  });
}

TEST(GifRoundTrip, MoreThan256ColoursAreQuantisedWithBoundedError) {
  const TempDir dir;
  const PixelImage image = Gradient(24, false);
  ASSERT_TRUE(Save(image, dir / "q.gif"));
  const auto loaded = LoadOne(dir / "q.gif");
  ASSERT_NE(loaded, nullptr);
  ASSERT_EQ(loaded->BitCount(), 8);
  double total = 0;
  int worst = 0;
  std::set<int> used;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const std::uint8_t* p = image.PixelAddress(x, y);
      const PaletteEntry& e = loaded->Palette()[loaded->Row(y)[x]];
      used.insert(loaded->Row(y)[x]);
      ASSERT_EQ(e.reserved, 255);
      for (const int d : {std::abs(e.blue - p[0]), std::abs(e.green - p[1]), std::abs(e.red - p[2])}) {
        total += d;
        worst = std::max(worst, d);
      }
    }
  }
  const double mean = total / (64 * 64 * 3);
  EXPECT_LT(mean, 4.0) << "mean error per channel";
  EXPECT_LT(worst, 40) << "largest error of one channel";
  EXPECT_GT(used.size(), 128u) << "palette entries used";
}

TEST(GifRoundTrip, QuantisedImagesKeepTheirTransparentPixels) {
  const TempDir dir;
  const PixelImage image = Gradient(32, true);
  ASSERT_TRUE(Save(image, dir / "h.gif"));
  const auto loaded = LoadOne(dir / "h.gif");
  ASSERT_NE(loaded, nullptr);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const bool hole = image.PixelAddress(x, y)[3] < 128;
      const PaletteEntry& e = loaded->Palette()[loaded->Row(y)[x]];
      ASSERT_EQ(e.reserved == 0, hole) << x << "," << y;
    }
  }
}

// --- the palette builders on their own ------------------------------------------------------

TEST(GifPalette, ExactGivesUpAtTheTwoHundredFiftySeventhColour) {
  RgbaPixels pixels{257, 1, {}};
  for (int i = 0; i < 257; ++i) pixels.bytes.insert(pixels.bytes.end(), {std::uint8_t(i), std::uint8_t(i / 256), 9, 255});
  EXPECT_FALSE(ExactPalette(pixels));
  pixels.width = 256;
  pixels.bytes.resize(256 * 4);
  const auto exact = ExactPalette(pixels);
  ASSERT_TRUE(exact);
  EXPECT_EQ(exact->colors.size(), 256u);
  EXPECT_EQ(exact->indices[255], 255);
  EXPECT_EQ(exact->transparentIndex, -1);
}

TEST(GifPalette, TransparentPixelsOfAnyColourShareOneEntry) {
  const RgbaPixels pixels{4, 1, {1, 2, 3, 0, 9, 9, 9, 255, 7, 7, 7, 5, 1, 2, 3, 127}};
  const auto exact = ExactPalette(pixels);
  ASSERT_TRUE(exact);
  EXPECT_EQ(exact->colors.size(), 2u);
  EXPECT_EQ(exact->transparentIndex, 0);
  EXPECT_EQ(exact->indices, (std::vector<std::uint8_t>{0, 1, 0, 0}));
}

TEST(GifPalette, RefusesPixelsThatDoNotMatchTheirSize) {
  EXPECT_FALSE(ExactPalette(RgbaPixels{2, 2, std::vector<std::uint8_t>(12)}));
  EXPECT_FALSE(QuantizedPalette(RgbaPixels{0, 0, {}}));
}

// --- failures -------------------------------------------------------------------------------

TEST(GifSaveFailure, NothingIsWrittenForAnEmptyImageOrAMissingFolder) {
  const TempDir dir;
  const PixelImage empty;
  EXPECT_FALSE(Save(empty, dir / "e.gif"));
  GifCodec codec;
  EXPECT_FALSE(codec.SaveFile(dir / "none.gif", {}, ImageProperties{}));
  const PixelImage image = PaletteImage(2, 2, 8, 1);
  EXPECT_FALSE(Save(image, dir / "missing/x.gif"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(GifSaveFailure, AnImageTooWideForGifLeavesTheOldFileAlone) {
  const TempDir dir;
  testing::WriteAll(dir / "old.gif", {'o', 'l', 'd'});
  PixelImage wide;
  ASSERT_TRUE(wide.Create(65536, 1, 8));
  EXPECT_FALSE(Save(wide, dir / "old.gif"));
  EXPECT_EQ(ReadAll(dir / "old.gif"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST(GifSave, OnlyTheFirstImageIsWrittenAndSaveThroughThePixelImageWorks) {
  const TempDir dir;
  const PixelImage first = PaletteImage(3, 3, 8, 5);
  const PixelImage second = PaletteImage(9, 9, 8, 6);
  const PixelImage* images[] = {&first, &second};
  GifCodec codec;
  ASSERT_TRUE(codec.SaveFile(dir / "two.gif", images, ImageProperties{}));
  const auto loaded = LoadOne(dir / "two.gif");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Width(), 3);

  ASSERT_TRUE(second.Save(dir / "via-image.GIF", ImageProperties{}));
  const auto again = LoadOne(dir / "via-image.GIF");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Width(), 9);
}

}  // namespace
}  // namespace reelmill
