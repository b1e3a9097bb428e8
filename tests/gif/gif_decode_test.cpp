// Decoding GIFs built in the test: frame layout, palettes, compositing,
// delays, the screen policy, refusals and damaged files.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "imaging/codecs/gif_codec.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "tests/gif/gif_test_util.h"

namespace reelmill {
namespace {

using testing::DelayText;
using testing::EncodeGif;
using testing::FrameRgba;
using testing::Pattern;
using testing::TestGif;
using testing::TestImage;

const std::vector<GifColor> kFour{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

struct Loaded {
  bool ok = false;
  ImageList frames;
  std::unique_ptr<ImageProperties> properties;
};

Loaded Load(const std::vector<std::uint8_t>& bytes, std::uint64_t limit = GifCodec::kMaxDecodedBytes) {
  Loaded out;
  GifCodec codec(limit);
  out.ok = codec.LoadMemory(bytes, out.frames, out.properties);
  return out;
}

TestImage Solid(GifRect rect, std::uint8_t index) {
  TestImage image;
  image.rect = rect;
  image.indices.assign(std::size_t(rect.width) * std::size_t(rect.height), index);
  return image;
}

TestImage WithControl(TestImage image, int disposal, int delay, int transparent = -1) {
  image.control = true;
  image.disposal = disposal;
  image.delay = delay;
  image.transparent = transparent;
  return image;
}

std::vector<std::uint8_t> Rgba(std::initializer_list<std::uint32_t> pixels) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t p : pixels) {
    out.insert(out.end(), {static_cast<std::uint8_t>(p >> 24), static_cast<std::uint8_t>(p >> 16),
                           static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p)});
  }
  return out;
}

constexpr std::uint32_t R = 0xFF0000FF, G = 0x00FF00FF, B = 0x0000FFFF, W = 0xFFFFFFFF, T = 0;

// Only the alpha of transparent pixels matters; their colour is cleared.
std::vector<std::uint8_t> Normalised(std::vector<std::uint8_t> rgba) {
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    if (rgba[i + 3] == 0) rgba[i] = rgba[i + 1] = rgba[i + 2] = 0;
  }
  return rgba;
}

// --- one image ---------------------------------------------------------------

TEST(GifSingleImage, GivesOneEightBitFrameOfTheScreenWithItsPalette) {
  TestGif gif{3, 2, kFour, 0, {}};
  TestImage image;
  image.rect = {0, 0, 3, 2};
  image.indices = {0, 1, 2, 3, 2, 1};
  gif.images.push_back(image);
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.frames.Count(), 1u);
  const PixelImage& frame = loaded.frames.At(0);
  EXPECT_EQ(frame.BitCount(), 8);
  EXPECT_EQ(frame.Width(), 3);
  EXPECT_EQ(frame.Height(), 2);
  EXPECT_EQ(frame.Row(0)[0], 0);
  EXPECT_EQ(frame.Row(0)[2], 2);
  EXPECT_EQ(frame.Row(1)[0], 3);
  EXPECT_EQ(frame.Row(1)[2], 1);
  EXPECT_EQ(frame.Palette()[0], (PaletteEntry{0, 0, 255, 255}));
  EXPECT_EQ(frame.Palette()[3], (PaletteEntry{255, 255, 255, 255}));
  EXPECT_EQ(frame.Palette()[4], (PaletteEntry{0, 0, 0, 255})) << "entries past the table are opaque black";
  EXPECT_EQ(loaded.properties->Get(FrameDelaysKey), DelayText({0}));
}

TEST(GifSingleImage, UsesTheLocalTableAndMarksTheTransparentIndex) {
  TestGif gif{2, 1, kFour, 0, {}};
  TestImage image = WithControl(Solid({0, 0, 2, 1}, 1), 0, 7, 1);
  image.localColors = {{10, 20, 30}, {40, 50, 60}};
  image.indices = {0, 1};
  gif.images.push_back(image);
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  const PixelImage& frame = loaded.frames.At(0);
  EXPECT_EQ(frame.Palette()[0], (PaletteEntry{30, 20, 10, 255}));
  EXPECT_EQ(frame.Palette()[1], (PaletteEntry{60, 50, 40, 0}));
  EXPECT_EQ(frame.Palette()[2], (PaletteEntry{0, 0, 0, 255}));
  EXPECT_EQ(loaded.properties->Get(FrameDelaysKey), DelayText({7}));
}

TEST(GifSingleImage, PixelsAroundTheImageTakeTheBackgroundIndex) {
  TestGif gif{3, 3, kFour, 3, {}};
  gif.images.push_back(Solid({1, 1, 1, 1}, 0));
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  const PixelImage& frame = loaded.frames.At(0);
  EXPECT_EQ(frame.Row(0)[0], 3);
  EXPECT_EQ(frame.Row(1)[1], 0);
  EXPECT_EQ(frame.Row(2)[2], 3);
}

TEST(GifSingleImage, PixelsAroundTheImageTakeTheTransparentIndexWhenThereIsOne) {
  TestGif gif{3, 1, kFour, 3, {}};
  gif.images.push_back(WithControl(Solid({1, 0, 1, 1}, 0), 0, 0, 2));
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(0))), Rgba({T, R, T}));
}

TEST(GifSingleImage, InterlacedRowsLandWhereTheyBelong) {
  TestGif plain{5, 11, kFour, 0, {}};
  TestImage image;
  image.rect = {0, 0, 5, 11};
  image.indices = Pattern(5, 11, 4, 3);
  plain.images.push_back(image);
  TestGif interlaced = plain;
  interlaced.images[0].interlaced = true;
  ASSERT_NE(EncodeGif(plain), EncodeGif(interlaced));
  Loaded a = Load(EncodeGif(plain));
  Loaded b = Load(EncodeGif(interlaced));
  ASSERT_TRUE(a.ok && b.ok);
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(b.frames.At(0).Row(y)[x], image.indices[std::size_t(y * 5 + x)]) << x << "," << y;
    }
  }
  EXPECT_EQ(FrameRgba(a.frames.At(0)), FrameRgba(b.frames.At(0)));
}

TEST(GifSingleImage, WithoutAnyColourTableIsOpaqueBlack) {
  // giflib's encoder insists on a table; drop the global one by hand.
  std::vector<std::uint8_t> bytes = EncodeGif(TestGif{2, 1, {{1, 2, 3}, {4, 5, 6}}, 0, {Solid({0, 0, 2, 1}, 1)}});
  bytes[10] &= 0x7F;
  bytes.erase(bytes.begin() + 13, bytes.begin() + 13 + 6);
  Loaded loaded = Load(bytes);
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(FrameRgba(loaded.frames.At(0)), Rgba({0x000000FF, 0x000000FF}));
}

// --- animations --------------------------------------------------------------

TEST(GifAnimation, FramesAreCompositedAsBgraOnATransparentScreen) {
  TestGif gif{3, 1, kFour, 3, {}};
  gif.images.push_back(WithControl(Solid({0, 0, 1, 1}, 0), 1, 10));
  gif.images.push_back(WithControl(Solid({2, 0, 1, 1}, 1), 1, 5));
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.frames.Count(), 2u);
  EXPECT_EQ(loaded.frames.At(0).BitCount(), 32);
  EXPECT_EQ(loaded.frames.At(0).Width(), 3);
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(0))), Rgba({R, T, T}));
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(1))), Rgba({R, T, G}));
}

TEST(GifAnimation, DisposalsKeepClearAndRestore) {
  // A 4 x 1 screen; each frame's effect shows in the frame after it.
  TestGif gif{4, 1, kFour, 0, {}};
  gif.images.push_back(WithControl(Solid({0, 0, 4, 1}, 2), 0, 0));  // blue, unspecified = keep
  gif.images.push_back(WithControl(Solid({0, 0, 1, 1}, 0), 1, 0));  // red at 0, keep
  gif.images.push_back(WithControl(Solid({1, 0, 1, 1}, 1), 2, 0));  // green at 1, then cleared
  gif.images.push_back(WithControl(Solid({2, 0, 1, 1}, 3), 3, 0));  // white at 2, then restored
  gif.images.push_back(WithControl(Solid({3, 0, 1, 1}, 0), 0, 0));  // red at 3
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.frames.Count(), 5u);
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(0))), Rgba({B, B, B, B}));
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(1))), Rgba({R, B, B, B}));
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(2))), Rgba({R, G, B, B}));
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(3))), Rgba({R, T, W, B}));
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(4))), Rgba({R, T, B, R}));
}

TEST(GifAnimation, RestorePreviousOnTheFirstFrameGoesBackToTransparent) {
  TestGif gif{2, 1, kFour, 0, {}};
  gif.images.push_back(WithControl(Solid({0, 0, 2, 1}, 0), 3, 0));
  gif.images.push_back(WithControl(Solid({1, 0, 1, 1}, 1), 0, 0));
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(1))), Rgba({T, G}));
}

TEST(GifAnimation, TransparentPixelsLeaveTheCanvasAsItWas) {
  TestGif gif{3, 1, kFour, 0, {}};
  gif.images.push_back(WithControl(Solid({0, 0, 3, 1}, 2), 1, 0));
  TestImage second = WithControl(Solid({0, 0, 3, 1}, 0), 1, 0, 3);
  second.indices = {3, 0, 3};
  gif.images.push_back(second);
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(1))), Rgba({B, R, B}));
}

TEST(GifAnimation, LocalTablesApplyToTheirOwnFrameOnly) {
  TestGif gif{2, 1, kFour, 0, {}};
  TestImage first = Solid({0, 0, 1, 1}, 0);
  first.localColors = {{1, 2, 3}, {4, 5, 6}};
  gif.images.push_back(first);
  gif.images.push_back(Solid({1, 0, 1, 1}, 0));
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(1))), Rgba({0x010203FF, R}));
}

TEST(GifAnimation, DelaysAreStoredInMillisecondsSixteenDigitsEach) {
  TestGif gif{1, 1, kFour, 0, {}};
  gif.images.push_back(WithControl(Solid({0, 0, 1, 1}, 0), 0, 10));
  gif.images.push_back(WithControl(Solid({0, 0, 1, 1}, 1), 0, 5));
  gif.images.push_back(WithControl(Solid({0, 0, 1, 1}, 2), 0, 0));
  gif.images.push_back(Solid({0, 0, 1, 1}, 3));  // no graphic control: delay 0
  gif.images.push_back(WithControl(Solid({0, 0, 1, 1}, 3), 0, 65535));
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.properties->Get(FrameDelaysKey),
            "0000000000000100"
            "0000000000000050"
            "0000000000000000"
            "0000000000000000"
            "0000000000655350");
}

TEST(GifAnimation, FramesAreAppendedAfterImagesAlreadyInTheList) {
  TestGif gif{1, 1, kFour, 0, {}};
  gif.images.push_back(Solid({0, 0, 1, 1}, 0));
  gif.images.push_back(Solid({0, 0, 1, 1}, 1));
  ImageList list;
  auto existing = std::make_unique<PixelImage>();
  ASSERT_TRUE(existing->Create(5, 5, 24));
  list.Append(std::move(existing));
  std::unique_ptr<ImageProperties> properties;
  GifCodec codec;
  ASSERT_TRUE(codec.LoadMemory(EncodeGif(gif), list, properties));
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.At(0).Width(), 5);
  EXPECT_EQ(list.At(2).BitCount(), 32);
}

// --- the screen policy ---------------------------------------------------------

TEST(GifScreenPolicy, AZeroScreenGrowsToTheFirstImage) {
  TestGif gif{0, 0, kFour, 0, {}};
  gif.images.push_back(Solid({1, 2, 2, 1}, 1));
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.frames.At(0).Width(), 3);
  EXPECT_EQ(loaded.frames.At(0).Height(), 3);
  EXPECT_EQ(loaded.frames.At(0).Row(2)[2], 1);
}

TEST(GifScreenPolicy, AScreenSmallerThanTheFirstImageGrowsAndLaterFramesAreClipped) {
  TestGif gif{2, 2, kFour, 0, {}};
  gif.images.push_back(Solid({0, 0, 3, 1}, 0));  // one column wider than the screen
  gif.images.push_back(Solid({2, 1, 5, 5}, 1));  // reaches far past the grown screen
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.frames.Count(), 2u);
  EXPECT_EQ(loaded.frames.At(1).Width(), 3);
  EXPECT_EQ(loaded.frames.At(1).Height(), 2);
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(1))), Rgba({R, R, R, T, T, G}));
}

TEST(GifScreenPolicy, AnEmptyScreenAndAnEmptyImageAreRefused) {
  TestGif gif{0, 0, kFour, 0, {Solid({0, 0, 0, 0}, 0)}};
  EXPECT_FALSE(Load(EncodeGif(gif)).ok);
}

TEST(GifScreenPolicy, ImagesOfZeroSizeStillCountAsFrames) {
  TestGif gif{2, 1, kFour, 0, {}};
  gif.images.push_back(WithControl(Solid({0, 0, 2, 1}, 0), 1, 3));
  gif.images.push_back(WithControl(Solid({0, 0, 0, 0}, 0), 1, 4));
  gif.images.push_back(WithControl(Solid({1, 0, 1, 1}, 1), 1, 5));
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.frames.Count(), 3u);
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(1))), Rgba({R, R}));
  EXPECT_EQ(Normalised(FrameRgba(loaded.frames.At(2))), Rgba({R, G}));
  EXPECT_EQ(loaded.properties->Get(FrameDelaysKey), DelayText({3, 4, 5}));
}

// Offset of the n-th image descriptor (0-based) of a file from EncodeGif.
std::size_t ImageOffset(const std::vector<std::uint8_t>& bytes, int n) {
  std::size_t at = 13 + 3 * 4;  // header, screen, 4-colour table
  for (;;) {
    if (bytes[at] == 0x21) {  // extension: label, sub-blocks
      at += 2;
      while (bytes[at] != 0) at += bytes[at] + 1u;
      ++at;
    } else {
      if (n-- == 0) return at;
      at += 10 + 1;  // descriptor, LZW code size
      while (bytes[at] != 0) at += bytes[at] + 1u;
      ++at;
    }
  }
}

// --- refusals ------------------------------------------------------------------

void ExpectRefusedWithoutTouchingTheList(const std::vector<std::uint8_t>& bytes,
                                         std::uint64_t limit = GifCodec::kMaxDecodedBytes) {
  ImageList list;
  auto properties = std::make_unique<ImageProperties>();
  properties->Set(7, "kept");
  GifCodec codec(limit);
  EXPECT_FALSE(codec.LoadMemory(bytes, list, properties));
  EXPECT_EQ(list.Count(), 0u);
  ASSERT_NE(properties, nullptr);
  EXPECT_EQ(properties->Get(7), "kept");
}

TEST(GifRefusal, NotAGif) {
  ExpectRefusedWithoutTouchingTheList({});
  ExpectRefusedWithoutTouchingTheList({'G', 'I'});
  ExpectRefusedWithoutTouchingTheList({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0, 0, 0});
  ExpectRefusedWithoutTouchingTheList({'G', 'I', 'X', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'});
}

TEST(GifRefusal, NoImageAtAll) {
  // Header, screen 1 x 1 without a table, a comment, the trailer.
  ExpectRefusedWithoutTouchingTheList(
      {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xFE, 2, 'h', 'i', 0, ';'});
  ExpectRefusedWithoutTouchingTheList({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0});
}

TEST(GifRefusal, AScreenAboveTheImageLimit) {
  TestGif gif{65535, 65535, kFour, 0, {Solid({0, 0, 1, 1}, 0)}};
  ExpectRefusedWithoutTouchingTheList(EncodeGif(gif));
  TestGif over{16384, 16385, kFour, 0, {Solid({0, 0, 1, 1}, 0)}};
  ExpectRefusedWithoutTouchingTheList(EncodeGif(over));
}

TEST(GifRefusal, AFrameAboveTheImageLimit) {
  // The second image claims 65535 x 65535 pixels on a small screen; its
  // header is enough to refuse the file.
  TestGif gif{2, 2, kFour, 0, {Solid({0, 0, 2, 2}, 0), Solid({0, 0, 1, 1}, 1)}};
  std::vector<std::uint8_t> bytes = EncodeGif(gif);
  const std::size_t at = ImageOffset(bytes, 1);
  ASSERT_EQ(bytes[at], ',');
  bytes[at + 5] = bytes[at + 6] = bytes[at + 7] = bytes[at + 8] = 0xFF;  // width and height
  ExpectRefusedWithoutTouchingTheList(bytes);
}

TEST(GifRefusal, FramesBeyondTheMemoryLimit) {
  TestGif gif{10, 10, kFour, 0, {}};
  for (int i = 0; i < 4; ++i) gif.images.push_back(Solid({0, 0, 1, 1}, std::uint8_t(i)));
  const std::vector<std::uint8_t> bytes = EncodeGif(gif);
  // The 8-bit first image (12 x 10 bytes) and four 32-bit frames (400 each).
  const std::uint64_t needed = 120 + 4 * 400;
  EXPECT_TRUE(Load(bytes, needed).ok);
  ExpectRefusedWithoutTouchingTheList(bytes, needed - 1);
}

// --- damaged data ----------------------------------------------------------------

std::vector<std::uint8_t> ThreeFrameGif() {
  TestGif gif{8, 8, kFour, 0, {}};
  for (std::uint32_t i = 0; i < 3; ++i) {
    TestImage image;
    image.rect = {0, 0, 8, 8};
    image.indices = Pattern(8, 8, 4, i + 1);
    image.interlaced = i == 1;
    gif.images.push_back(WithControl(image, 1, 10 + int(i)));
  }
  return EncodeGif(gif);
}

TEST(GifDamage, TruncatedInsideTheThirdImageKeepsTwoFrames) {
  const std::vector<std::uint8_t> bytes = ThreeFrameGif();
  const std::size_t third = ImageOffset(bytes, 2);
  const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + std::ptrdiff_t(third + 14));
  Loaded loaded = Load(cut);
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.frames.Count(), 2u);
  EXPECT_EQ(loaded.properties->Get(FrameDelaysKey), DelayText({10, 11}));
  Loaded whole = Load(bytes);
  ASSERT_TRUE(whole.ok);
  EXPECT_EQ(FrameRgba(loaded.frames.At(1)), FrameRgba(whole.frames.At(1)));
}

TEST(GifDamage, TruncatedInsideTheSecondImageKeepsTheFirstAsOnePicture) {
  const std::vector<std::uint8_t> bytes = ThreeFrameGif();
  const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + std::ptrdiff_t(ImageOffset(bytes, 1) + 14));
  Loaded loaded = Load(cut);
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.frames.Count(), 1u);
  EXPECT_EQ(loaded.frames.At(0).BitCount(), 8);
  EXPECT_EQ(loaded.properties->Get(FrameDelaysKey), DelayText({10}));
}

TEST(GifDamage, TruncatedInsideTheFirstImageIsRefused) {
  const std::vector<std::uint8_t> bytes = ThreeFrameGif();
  const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + std::ptrdiff_t(ImageOffset(bytes, 0) + 14));
  ExpectRefusedWithoutTouchingTheList(cut);
}

TEST(GifDamage, AMissingTrailerLosesNothing) {
  std::vector<std::uint8_t> bytes = ThreeFrameGif();
  ASSERT_EQ(bytes.back(), ';');
  bytes.pop_back();
  Loaded loaded = Load(bytes);
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.frames.Count(), 3u);
}

TEST(GifDamage, AnUnknownRecordEndsTheFramesBeforeIt) {
  std::vector<std::uint8_t> bytes = ThreeFrameGif();
  bytes[ImageOffset(bytes, 2) - 8] = 0x99;  // the third frame's graphic control introducer
  Loaded loaded = Load(bytes);
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.frames.Count(), 2u);
}

TEST(GifDamage, AShortGraphicControlIsIgnored) {
  // Screen 1 x 1 with a 2-colour table; a graphic control block of 2 bytes;
  // one image of index 1 (code size 2: clear, 1, end).
  const std::vector<std::uint8_t> bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0,
                                        0, 0, 0, 255, 255, 255,
                                        0x21, 0xF9, 2, 0x01, 0x05, 0,
                                        ',', 0, 0, 0, 0, 1, 0, 1, 0, 0,
                                        2, 2, 0x4C, 0x01, 0,
                                        ';'};
  Loaded loaded = Load(bytes);
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(FrameRgba(loaded.frames.At(0)), Rgba({W}));
  EXPECT_EQ(loaded.properties->Get(FrameDelaysKey), DelayText({0}));
}

}  // namespace
}  // namespace reelmill
