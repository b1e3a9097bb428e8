#include "engine/scale_image.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

namespace reelmill {
namespace {

PixelImage Filled(int width, int height, int bits, std::uint8_t b, std::uint8_t g, std::uint8_t r,
                  std::uint8_t a = 255) {
  PixelImage image;
  EXPECT_TRUE(image.Create(width, height, bits));
  const int bytes = bits / 8;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = image.PixelAddress(x, y);
      p[0] = b;
      p[1] = g;
      p[2] = r;
      if (bytes == 4) p[3] = a;
    }
  return image;
}

TEST(ScaleImage, AUniformImageStaysUniformAtTheNewSize) {
  for (int bits : {24, 32}) {
    PixelImage image = Filled(10, 8, bits, 30, 120, 200);
    image.SetPosition(3, 4);
    ScaleImage(image, 25, 13);
    ASSERT_EQ(image.Width(), 25);
    ASSERT_EQ(image.Height(), 13);
    ASSERT_EQ(image.BitCount(), bits);
    EXPECT_EQ(image.PosX(), 3);
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 25; ++x) {
        const std::uint8_t* p = image.PixelAddress(x, y);
        ASSERT_NEAR(p[0], 30, 1) << x << "," << y;
        ASSERT_NEAR(p[1], 120, 1);
        ASSERT_NEAR(p[2], 200, 1);
        if (bits == 32) {
          ASSERT_EQ(p[3], 255);
        }
      }
  }
}

TEST(ScaleImage, KeepsTopAndBottomWhereTheyWere) {
  // Top half red, bottom half blue; rows are stored bottom-up.
  PixelImage image = Filled(8, 8, 24, 0, 0, 255);
  for (int y = 4; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      std::uint8_t* p = image.PixelAddress(x, y);
      p[0] = 255;
      p[2] = 0;
    }
  ScaleImage(image, 16, 16);
  EXPECT_GT(image.PixelAddress(8, 1)[2], 240);  // still red at the top
  EXPECT_LT(image.PixelAddress(8, 1)[0], 15);
  EXPECT_GT(image.PixelAddress(8, 14)[0], 240);  // still blue at the bottom
  EXPECT_LT(image.PixelAddress(8, 14)[2], 15);
}

TEST(ScaleImage, ShrinkingAveragesFinePatterns) {
  PixelImage image = Filled(64, 64, 24, 0, 0, 0);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      if ((x + y) % 2) std::fill_n(image.PixelAddress(x, y), 3, std::uint8_t{255});
  ScaleImage(image, 8, 8);
  for (int y = 1; y < 7; ++y)
    for (int x = 1; x < 7; ++x) EXPECT_NEAR(image.PixelAddress(x, y)[1], 128, 12);
  // Reductions past what one filter step can hold (a 60000-pixel GIF row to
  // a thumbnail) still average.
  for (const auto& [width, height, toWidth, toHeight] :
       {std::array{60000, 1, 1, 1}, std::array{40000, 3, 7, 3}, std::array{3, 50000, 3, 2}}) {
    PixelImage strip = Filled(width, height, 32, 0, 0, 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if ((x + y) % 2) std::fill_n(strip.PixelAddress(x, y), 3, std::uint8_t{255});
    ScaleImage(strip, toWidth, toHeight);
    ASSERT_EQ(strip.Width(), toWidth);
    ASSERT_EQ(strip.Height(), toHeight);
    EXPECT_NEAR(strip.PixelAddress(0, 0)[1], 128, 12) << width << "x" << height;
  }
}

TEST(ScaleImage, TransparentPixelsDoNotBleedTheirColour) {
  // Left half opaque green, right half fully transparent "red".
  PixelImage image = Filled(8, 4, 32, 0, 255, 0, 255);
  for (int y = 0; y < 4; ++y)
    for (int x = 4; x < 8; ++x) {
      std::uint8_t* p = image.PixelAddress(x, y);
      p[0] = 0, p[1] = 0, p[2] = 255, p[3] = 0;
    }
  ScaleImage(image, 16, 8);
  const std::uint8_t* edge = image.PixelAddress(8, 4);  // where the halves meet
  ASSERT_GT(edge[3], 0);
  EXPECT_LT(edge[2], 20);  // no red from the transparent side
  EXPECT_GT(edge[1], 200);
}

TEST(ScaleImage, LeavesPaletteImagesAndBadTargetsAlone) {
  PixelImage palette;
  ASSERT_TRUE(palette.Create(5, 5, 8));
  ScaleImage(palette, 50, 50);
  EXPECT_EQ(palette.Width(), 5);
  PixelImage image = Filled(5, 5, 24, 1, 2, 3);
  ScaleImage(image, 0, 10);
  EXPECT_EQ(image.Width(), 5);
  PixelImage empty;
  ScaleImage(empty, 10, 10);
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(ScaleImage, SixteenBitImagesKeepTheirMasks) {
  ImageDescriptor d;
  d.header.size = 40;
  d.header.width = 4;
  d.header.height = 4;
  d.header.planes = 1;
  d.header.bitCount = 16;
  d.header.compression = kCompressionBitFields;
  d.redMask = 0xF800;
  d.greenMask = 0x07E0;
  d.blueMask = 0x001F;
  PixelImage image;
  ASSERT_TRUE(image.Create(d));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      image.PixelAddress(x, y)[0] = 0xE0;  // pure green 0x07E0
      image.PixelAddress(x, y)[1] = 0x07;
    }
  ScaleImage(image, 8, 8);
  ASSERT_EQ(image.Width(), 8);
  EXPECT_EQ(image.GreenMask(), 0x07E0u);
  EXPECT_EQ(image.PixelAddress(3, 3)[0], 0xE0);
  EXPECT_EQ(image.PixelAddress(3, 3)[1], 0x07);
}

TEST(ToTrueColour, AppliesThePaletteAndTheMasks) {
  PixelImage palette;
  ASSERT_TRUE(palette.Create(3, 1, 4));
  PaletteEntry red{0, 0, 255, 255};
  palette.SetPalette(5, 1, &red);
  palette.Row(0)[0] = 0x50;  // pixel 0 -> index 5, pixel 1 -> index 0
  const PixelImage out = ToTrueColour(palette);
  ASSERT_EQ(out.BitCount(), 24);
  EXPECT_EQ(out.PixelAddress(0, 0)[2], 255);
  EXPECT_EQ(out.PixelAddress(0, 0)[0], 0);
  EXPECT_EQ(out.PixelAddress(1, 0)[2], 0);

  PixelImage five;
  ASSERT_TRUE(five.Create(1, 1, 16));  // 5-5-5
  five.Row(0)[0] = 0x1F;               // full blue
  const PixelImage blue = ToTrueColour(five);
  EXPECT_EQ(blue.PixelAddress(0, 0)[0], 255);
  EXPECT_EQ(blue.PixelAddress(0, 0)[1], 0);
}

}  // namespace
}  // namespace reelmill
