// Saving: the bytes we write, exact and quantised palettes, transparency, and
// images saved and loaded back.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_palette.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "tests/gif/gif_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using testing::FrameRgba;
using testing::ReadAll;
using testing::TempDir;

bool Save(const PixelImage& image, const std::string& path) {
  const PixelImage* images[] = {&image};
  return GifCodec().SaveFile(path, images, ImageProperties{});
}

std::unique_ptr<PixelImage> LoadOne(const std::string& path) {
  ImageList frames;
  std::unique_ptr<ImageProperties> properties;
  if (!GifCodec().LoadFile(path, frames, properties) || frames.Count() != 1) return nullptr;
  return frames.TakeLast();
}

// Pixel x of row y of a 1/4/8-bit image: its index.
int IndexAt(const PixelImage& image, int x, int y) {
  const int bits = image.BitCount();
  const int shift = 8 - bits - (x * bits) % 8;
  return (image.Row(y)[x * bits / 8] >> shift) & ((1 << bits) - 1);
}

// A palette image of pseudo-random indices; its palette's fourth bytes are 0.
PixelImage PaletteImage(int width, int height, int bits, std::uint32_t seed) {
  PixelImage image;
  EXPECT_TRUE(image.Create(width, height, bits));
  for (std::size_t i = 0; i < image.Palette().size(); ++i) {
    image.Palette()[i] = PaletteEntry{std::uint8_t(i * 7 + 1), std::uint8_t(255 - i), std::uint8_t(i * 13), 0};
  }
  const std::size_t stride = image.Stride();
  const auto bytes = testing::Pattern(static_cast<int>(stride), height, 256, seed);
  for (int y = 0; y < height; ++y) std::memcpy(image.Row(y), &bytes[std::size_t(y) * stride], stride);
  return image;
}

// A 24- or 32-bit image whose pixel (x, y) is color(x, y) as 0xAARRGGBB.
template <typename ColorOf>
PixelImage TrueColor(int width, int height, int bits, ColorOf color) {
  PixelImage image;
  EXPECT_TRUE(image.Create(width, height, bits));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = color(x, y);
      std::memcpy(image.PixelAddress(x, y), &c, std::size_t(bits / 8));  // blue, green, red, alpha
    }
  }
  return image;
}

TEST(GifSaveBytes, HeaderTableAndGraphicControlAreWrittenAsTheFormatDefines) {
  const TempDir dir;
  ASSERT_TRUE(Save(PaletteImage(5, 3, 1, 1), dir / "a.gif"));
  auto bytes = ReadAll(dir / "a.gif");
  const std::vector<std::uint8_t> head{'G',  'I', 'F', '8', '7', 'a', 5, 0, 3, 0,
                                       0xF0,          // global table of 2 entries, 8 bits per primary
                                       0,    0,       // background index, aspect
                                       0,    255, 1,  // entry 0 as red, green, blue
                                       13,   254, 8,  // entry 1
                                       ',',  0,   0,   0,   0,   5,   0, 3, 0, 0x00, 2};  // image, code size 2
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(head.size())), head);
  EXPECT_EQ(bytes.back(), ';');

  // Alpha in the palette (some 255, some 0): its first 0 entry, 6, is named.
  PixelImage image = PaletteImage(4, 4, 4, 2);
  for (auto& e : image.Palette()) e.reserved = 255;
  image.Palette()[6].reserved = image.Palette()[9].reserved = 0;
  ASSERT_TRUE(Save(image, dir / "t.gif"));
  bytes = ReadAll(dir / "t.gif");
  EXPECT_EQ(testing::Text(bytes, 0, 6), "GIF89a");
  const std::size_t control = 13 + 16 * 3;
  const std::vector<std::uint8_t> want{0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x06, 0x00, ','};
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + control, bytes.begin() + control + 9), want);

  // A true-colour table in order of first appearance, padded to 4 entries.
  const std::uint32_t colors[3] = {0x102030, 0xA0B0C0, 0x405060};
  ASSERT_TRUE(Save(TrueColor(3, 2, 24, [&](int x, int y) { return colors[(x + y) % 3]; }), dir / "c.gif"));
  bytes = ReadAll(dir / "c.gif");
  EXPECT_EQ(bytes[10], 0xF1);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 13, bytes.begin() + 25),
            (std::vector<std::uint8_t>{0x10, 0x20, 0x30, 0xA0, 0xB0, 0xC0, 0x40, 0x50, 0x60, 0, 0, 0}));
}

TEST(GifRoundTrip, PaletteImagesComeBackWithTheirPixelsAndPalette) {
  const TempDir dir;
  for (const int bits : {1, 4, 8}) {
    const PixelImage image = PaletteImage(33, 7, bits, 10 + std::uint32_t(bits));
    ASSERT_TRUE(Save(image, dir / "p.gif"));
    const auto loaded = LoadOne(dir / "p.gif");
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->BitCount(), 8);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 33; ++x)
        ASSERT_EQ(IndexAt(*loaded, x, y), IndexAt(image, x, y)) << bits << ": " << x << "," << y;
    }
    for (std::size_t i = 0; i < image.Palette().size(); ++i) {
      PaletteEntry want = image.Palette()[i];
      want.reserved = 255;  // all 0 said nothing about transparency
      EXPECT_EQ(loaded->Palette()[i], want) << bits << ": entry " << i;
    }
  }
  PixelImage transparent = PaletteImage(6, 6, 8, 4);
  for (auto& e : transparent.Palette()) e.reserved = 255;
  transparent.Palette()[3].reserved = 0;
  ASSERT_TRUE(Save(transparent, dir / "t.gif"));
  const auto loaded = LoadOne(dir / "t.gif");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(FrameRgba(*loaded), FrameRgba(transparent));
}

TEST(GifRoundTrip, TrueColourWithAtMost256ColoursIsExactAndKeepsItsTransparency) {
  const TempDir dir;
  // 256 colours exactly, 16-bit pixels as well (5-5-5 widened to 8 bits).
  const PixelImage image =
      TrueColor(16, 16, 24, [](int x, int y) { return std::uint32_t(x * 17 << 16 | y * 16 << 8 | ((x * y) & 0xFF)); });
  PixelImage sixteen;
  ASSERT_TRUE(sixteen.Create(2, 1, 16));
  const std::uint16_t words[2] = {0x7C00, 0x0010};
  std::memcpy(sixteen.Row(0), words, 4);
  // Alpha 0 and 127 are transparent, 128 and 255 opaque.
  const std::uint32_t alphaRow[4] = {0x00123456, 0x7F00FF00, 0x80ABCDEF, 0xFF0000FF};
  const PixelImage alpha = TrueColor(4, 2, 32, [&](int x, int) { return alphaRow[x]; });
  for (const PixelImage* source : std::initializer_list<const PixelImage*>{&image, &sixteen, &alpha}) {
    ASSERT_TRUE(Save(*source, dir / "e.gif"));
    const auto loaded = LoadOne(dir / "e.gif");
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->BitCount(), 8);
    auto want = source == &sixteen ? std::vector<std::uint8_t>{255, 0, 0, 255, 0, 0, 132, 255} : FrameRgba(*source);
    auto got = FrameRgba(*loaded);
    for (std::size_t p = 0; p < got.size(); p += 4) {
      if (want[p + 3] >= 128) want[p + 3] = 255;
      if (want[p + 3] < 128) std::fill_n(&want[p], 4, 0), std::fill_n(&got[p], 3, 0);  // the colour is not kept
    }
    EXPECT_EQ(got, want) << source->BitCount() << "-bit";
  }
}

// A 64 x 64 gradient of 4096 colours; with holes, some squares have alpha 16.
PixelImage Gradient(int bits, bool holes) {
  return TrueColor(64, 64, bits, [&](int x, int y) {
    const std::uint32_t alpha = holes && (x / 8 + y / 8) % 3 == 0 ? 0x10 : 0xFF;
    return alpha << 24 | std::uint32_t(x * 4) << 16 | std::uint32_t(y * 4) << 8 | std::uint32_t(128 + x - y);
  });
}

TEST(GifRoundTrip, MoreThan256ColoursAreQuantisedWithBoundedErrorAndKeepTheirHoles) {
  const TempDir dir;
  for (const int bits : {24, 32}) {
    const PixelImage image = Gradient(bits, bits == 32);
    ASSERT_TRUE(Save(image, dir / "q.gif"));
    const auto loaded = LoadOne(dir / "q.gif");
    ASSERT_NE(loaded, nullptr);
    double total = 0;
    int worst = 0, opaque = 0;
    std::set<int> used;
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) {
        const std::uint8_t* p = image.PixelAddress(x, y);
        const PaletteEntry& e = loaded->Palette()[loaded->Row(y)[x]];
        const bool hole = bits == 32 && p[3] < 128;
        ASSERT_EQ(e.reserved == 0, hole) << x << "," << y;
        if (hole) continue;
        ++opaque;
        used.insert(loaded->Row(y)[x]);
        for (const int d : {std::abs(e.blue - p[0]), std::abs(e.green - p[1]), std::abs(e.red - p[2])}) {
          total += d;
          worst = std::max(worst, d);
        }
      }
    }
    EXPECT_LT(total / (opaque * 3), 4.0) << bits << "-bit: mean error per channel";
    EXPECT_LT(worst, 40) << bits << "-bit: largest error of one channel";
    EXPECT_GT(used.size(), 128u) << bits << "-bit: palette entries used";
  }
}

TEST(GifPalette, ExactStopsAtThe257thColourAndSharesOneTransparentEntry) {
  RgbaPixels pixels{257, 1, {}};
  for (int i = 0; i < 257; ++i)
    pixels.bytes.insert(pixels.bytes.end(), {std::uint8_t(i), std::uint8_t(i / 256), 9, 255});
  EXPECT_FALSE(ExactPalette(pixels));
  pixels.width = 256;
  pixels.bytes.resize(256 * 4);
  EXPECT_EQ(ExactPalette(pixels)->colors.size(), 256u);
  const auto shared = ExactPalette(RgbaPixels{4, 1, {1, 2, 3, 0, 9, 9, 9, 255, 7, 7, 7, 5, 1, 2, 3, 127}});
  ASSERT_TRUE(shared);
  EXPECT_EQ(shared->transparentIndex, 0);
  EXPECT_EQ(shared->indices, (std::vector<std::uint8_t>{0, 1, 0, 0}));
  EXPECT_FALSE(ExactPalette(RgbaPixels{2, 2, std::vector<std::uint8_t>(12)})) << "size mismatch";
}

TEST(GifSave, OnlyTheFirstImageIsWrittenAndFailuresLeaveNoFile) {
  const TempDir dir;
  const PixelImage first = PaletteImage(3, 3, 8, 5), second = PaletteImage(9, 9, 8, 6);
  const PixelImage* images[] = {&first, &second};
  ASSERT_TRUE(GifCodec().SaveFile(dir / "two.gif", images, ImageProperties{}));
  ASSERT_TRUE(second.Save(dir / "via-registry.GIF", ImageProperties{}));
  const auto two = LoadOne(dir / "two.gif"), viaRegistry = LoadOne(dir / "via-registry.GIF");
  ASSERT_TRUE(two && viaRegistry);
  EXPECT_EQ(two->Width(), 3);
  EXPECT_EQ(viaRegistry->Width(), 9);

  const TempDir empty;
  testing::WriteAll(empty / "old.gif", {'o', 'l', 'd'});
  PixelImage wide;
  ASSERT_TRUE(wide.Create(65536, 1, 8));
  EXPECT_FALSE(Save(wide, empty / "old.gif")) << "GIF sizes are 16-bit";
  EXPECT_FALSE(Save(PixelImage{}, empty / "e.gif"));
  EXPECT_FALSE(GifCodec().SaveFile(empty / "none.gif", {}, ImageProperties{}));
  EXPECT_FALSE(Save(first, empty / "missing/x.gif"));
  EXPECT_EQ(ReadAll(empty / "old.gif"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(empty.Path()), std::filesystem::directory_iterator{}), 1)
      << "no stray files";
}

}  // namespace
}  // namespace reelmill
