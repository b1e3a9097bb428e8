#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/codecs/jpeg_codec.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"
#include "tests/imaging/image_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A smooth picture: JPEG keeps it well, so round trips can be bounded tightly.
PixelImage Gradient(int width, int height, int bitCount) {
  PixelImage image;
  EXPECT_TRUE(image.Create(width, height, bitCount));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = image.PixelAddress(x, y);
      p[0] = static_cast<std::uint8_t>(x * 255 / (width - 1));
      p[1] = static_cast<std::uint8_t>(y * 255 / (height - 1));
      p[2] = static_cast<std::uint8_t>(128 + 100 * std::sin((x + y) / 20.0));
      if (bitCount == 32) p[3] = static_cast<std::uint8_t>(x);
    }
  }
  return image;
}

Bytes Encode(const PixelImage& image, int quality) {
  JpegEncoder encoder;
  const auto bytes = encoder.Encode(image, quality);
  return Bytes(bytes.begin(), bytes.end());
}

bool Decode(const Bytes& bytes, PixelImage& image) {
  JpegCodec codec;
  ImageList out;
  std::unique_ptr<ImageProperties> properties;
  if (!codec.LoadMemory(bytes, out, properties) || out.Count() != 1) return false;
  image = std::move(out.At(0));
  return true;
}

// Offset of the first marker `code` (FF code) among the segments before the
// scan, or 0.
std::size_t FindMarker(const Bytes& jpeg, std::uint8_t code) {
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    if (jpeg[at + 1] == code) return at;
    if (jpeg[at + 1] == 0xDA) return 0;
    at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
  }
  return 0;
}

TEST(JpegEncode, StartsWithAJfifApp0Segment) {
  const Bytes jpeg = Encode(Gradient(64, 48, 24), 85);
  ASSERT_GT(jpeg.size(), 20u);
  const Bytes start = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
  EXPECT_EQ(Bytes(jpeg.begin(), jpeg.begin() + 11), start);
  EXPECT_EQ(jpeg[jpeg.size() - 2], 0xFF);
  EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);
}

TEST(JpegEncode, BaselineWithFourTwoZeroSubsampling) {
  const Bytes jpeg = Encode(Gradient(64, 48, 24), 85);
  const std::size_t sof = FindMarker(jpeg, 0xC0);
  ASSERT_NE(sof, 0u) << "no baseline frame header";
  EXPECT_EQ(FindMarker(jpeg, 0xC2), 0u);
  EXPECT_EQ(jpeg[sof + 4], 8);                        // sample precision
  EXPECT_EQ(jpeg[sof + 5] << 8 | jpeg[sof + 6], 48);  // height
  EXPECT_EQ(jpeg[sof + 7] << 8 | jpeg[sof + 8], 64);  // width
  ASSERT_EQ(jpeg[sof + 9], 3);                        // components
  EXPECT_EQ(jpeg[sof + 11], 0x22);                    // Y: 2x2
  EXPECT_EQ(jpeg[sof + 14], 0x11);                    // Cb
  EXPECT_EQ(jpeg[sof + 17], 0x11);                    // Cr
}

TEST(JpegEncode, EveryDepthGoesThroughTheSameColours) {
  const PixelImage rgb = Gradient(40, 30, 24);
  PixelImage rgba;
  ASSERT_TRUE(rgba.Create(40, 30, 32));
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      std::memcpy(rgba.PixelAddress(x, y), rgb.PixelAddress(x, y), 3);
      rgba.PixelAddress(x, y)[3] = static_cast<std::uint8_t>(x * 7);  // ignored
    }
  }
  EXPECT_EQ(Encode(rgba, 90), Encode(rgb, 90));

  // A palette image and the true-colour image of its colours.
  const PixelImage mapped = testing::PatternImage(40, 30, 8, 4);
  PixelImage expanded;
  ASSERT_TRUE(expanded.Create(40, 30, 24));
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const PaletteEntry& e = mapped.Palette()[*mapped.PixelAddress(x, y)];
      std::uint8_t* p = expanded.PixelAddress(x, y);
      p[0] = e.blue;
      p[1] = e.green;
      p[2] = e.red;
    }
  }
  EXPECT_EQ(Encode(mapped, 90), Encode(expanded, 90));

  // 5-5-5: 0x7FFF is white, 0x001F pure blue.
  PixelImage words;
  ASSERT_TRUE(words.Create(16, 16, 16));
  PixelImage colours;
  ASSERT_TRUE(colours.Create(16, 16, 24));
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const bool white = (x + y) % 2 == 0;
      words.PixelAddress(x, y)[0] = white ? 0xFF : 0x1F;
      words.PixelAddress(x, y)[1] = white ? 0x7F : 0x00;
      std::uint8_t* p = colours.PixelAddress(x, y);
      p[0] = 255;
      p[1] = p[2] = white ? 255 : 0;
    }
  }
  EXPECT_EQ(Encode(words, 90), Encode(colours, 90));
}

TEST(JpegEncode, QualityComesFromTheProperties) {
  testing::TempDir dir;
  const PixelImage image = Gradient(64, 64, 24);
  ImageProperties properties;
  properties.Set(QualityKey, "-1");
  ASSERT_TRUE(image.Save(dir / "default.jpg", properties));
  EXPECT_EQ(testing::ReadAll(dir / "default.jpg"), Encode(image, 80));
  properties.Set(QualityKey, "100");
  ASSERT_TRUE(image.Save(dir / "best.jpg", properties));
  EXPECT_EQ(testing::ReadAll(dir / "best.jpg"), Encode(image, 100));
  properties.Set(QualityKey, "10");
  ASSERT_TRUE(image.Save(dir / "small.JPEG", properties));
  EXPECT_EQ(testing::ReadAll(dir / "small.JPEG"), Encode(image, 10));
  EXPECT_LT(testing::ReadAll(dir / "small.JPEG").size(), testing::ReadAll(dir / "best.jpg").size());
}

TEST(JpegEncode, OneEncoderServesFramesOfDifferentSizes) {
  JpegEncoder encoder;
  const auto small = encoder.Encode(Gradient(8, 8, 24), 90);
  const Bytes first(small.begin(), small.end());
  const auto large = encoder.Encode(Gradient(300, 200, 32), 90);
  EXPECT_GT(large.size(), first.size());
  const auto again = encoder.Encode(Gradient(8, 8, 24), 90);
  EXPECT_EQ(Bytes(again.begin(), again.end()), first);
  EXPECT_TRUE(encoder.Encode(PixelImage(), 90).empty());
}

// At quality 100 a smooth picture comes back within 6 levels per channel,
// and within 1.5 on average (chroma is subsampled, so not exactly).
TEST(JpegRoundTrip, QualityHundredStaysWithinASmallError) {
  for (const int depth : {24, 32}) {
    const PixelImage image = Gradient(96, 64, depth);
    PixelImage back;
    ASSERT_TRUE(Decode(Encode(image, 100), back));
    ASSERT_EQ(back.BitCount(), 24);
    ASSERT_EQ(back.Width(), 96);
    ASSERT_EQ(back.Height(), 64);
    int worst = 0;
    double total = 0;
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 96; ++x) {
        for (int c = 0; c < 3; ++c) {
          const int d = std::abs(back.PixelAddress(x, y)[c] - image.PixelAddress(x, y)[c]);
          worst = std::max(worst, d);
          total += d;
        }
      }
    }
    EXPECT_LE(worst, 6) << depth;
    EXPECT_LE(total / (96 * 64 * 3), 1.5) << depth;
  }
}

TEST(JpegDecode, RowsComeOutTopFirst) {
  PixelImage image;
  ASSERT_TRUE(image.Create(16, 16, 24));
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) image.PixelAddress(x, y)[2] = 255;  // red top half
  }
  PixelImage back;
  ASSERT_TRUE(Decode(Encode(image, 95), back));
  EXPECT_GT(back.PixelAddress(3, 2)[2], 200);
  EXPECT_LT(back.PixelAddress(3, 13)[2], 50);
}

Bytes CompressWithTurboJpeg(const Bytes& pixels, int width, int height, int format, int subsampling) {
  tjhandle handle = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(handle, pixels.data(), width, 0, height, format, &out, &size, subsampling, 95, 0);
  Bytes bytes;
  if (rc == 0) bytes.assign(out, out + size);
  tjFree(out);
  tjDestroy(handle);
  return bytes;
}

TEST(JpegDecode, GreyscaleLoadsAsEightBitsWithTheGreyPalette) {
  Bytes grey(24 * 8);
  for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<std::uint8_t>((i % 24) * 10);
  const Bytes jpeg = CompressWithTurboJpeg(grey, 24, 8, TJPF_GRAY, TJSAMP_GRAY);
  ASSERT_FALSE(jpeg.empty());
  PixelImage image;
  ASSERT_TRUE(Decode(jpeg, image));
  EXPECT_EQ(image.BitCount(), 8);
  EXPECT_EQ(image.Palette()[77], (PaletteEntry{77, 77, 77, 0}));
  EXPECT_NEAR(*image.PixelAddress(20, 3), 200, 3);
  EXPECT_NEAR(*image.PixelAddress(1, 7), 10, 3);
}

TEST(JpegDecode, CmykIsConvertedToRgb) {
  // Inverted CMYK as Adobe writes it: 255 means no ink.
  Bytes cmyk;
  for (int i = 0; i < 16 * 16; ++i) {
    const bool left = i % 16 < 8;
    cmyk.insert(cmyk.end(), {static_cast<std::uint8_t>(left ? 0 : 255), 255, 255, 255});  // cyan ink left
  }
  const Bytes jpeg = CompressWithTurboJpeg(cmyk, 16, 16, TJPF_CMYK, TJSAMP_444);
  ASSERT_FALSE(jpeg.empty());
  PixelImage image;
  ASSERT_TRUE(Decode(jpeg, image));
  ASSERT_EQ(image.BitCount(), 24);
  const std::uint8_t* cyan = image.PixelAddress(2, 5);
  const std::uint8_t* white = image.PixelAddress(13, 5);
  EXPECT_LT(cyan[2], 30);   // no red
  EXPECT_GT(cyan[1], 220);  // full green and blue
  EXPECT_GT(cyan[0], 220);
  EXPECT_GT(white[2], 220);
}

TEST(JpegDecode, TruncatedOrCorruptStreamsAreRefused) {
  const Bytes jpeg = Encode(Gradient(64, 64, 24), 90);
  PixelImage image;
  ASSERT_TRUE(Decode(jpeg, image));
  EXPECT_FALSE(Decode(Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2)), image));
  EXPECT_FALSE(Decode(Bytes(jpeg.begin(), jpeg.end() - 2), image));  // no end marker
  EXPECT_FALSE(Decode(Bytes(jpeg.begin(), jpeg.begin() + 100), image));
  EXPECT_FALSE(Decode({}, image));
  EXPECT_FALSE(Decode({0xFF, 0xD8}, image));
}

TEST(JpegDecode, OversizedFrameHeaderIsRefused) {
  Bytes jpeg = Encode(Gradient(16, 16, 24), 90);
  const std::size_t sof = FindMarker(jpeg, 0xC0);
  ASSERT_NE(sof, 0u);
  // 65000 x 65000 is far past 2^28 pixels.
  jpeg[sof + 5] = jpeg[sof + 7] = 0xFD;
  jpeg[sof + 6] = jpeg[sof + 8] = 0xE8;
  PixelImage image;
  EXPECT_FALSE(Decode(jpeg, image));
}

TEST(JpegSave, KeepsAnExistingFileWhenEncodingFails) {
  testing::TempDir dir;
  testing::WriteAll(dir / "a.jpg", {9, 9});
  EXPECT_FALSE(PixelImage().Save(dir / "a.jpg", ImageProperties()));
  EXPECT_EQ(testing::ReadAll(dir / "a.jpg"), (Bytes{9, 9}));
}

TEST(JpegSave, ReadableByFfprobe) {
  if (!testing::HaveTool("ffprobe")) GTEST_SKIP() << "ffprobe not installed";
  testing::TempDir dir;
  ASSERT_TRUE(Gradient(50, 30, 32).Save(dir / "a.jpg", ImageProperties()));
  const std::string out = testing::RunCapture(
      "ffprobe -v error -show_entries stream=codec_name,width,height,pix_fmt -of csv=p=0 '" + (dir / "a.jpg") + "'");
  EXPECT_EQ(out, "mjpeg,50,30,yuvj420p\n");
}

}  // namespace
}  // namespace reelmill
