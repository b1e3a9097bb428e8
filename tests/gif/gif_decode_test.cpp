// Decoding GIFs built in the test: frame layout and palettes, compositing,
// delays, the screen policy, refusals and damaged files.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "tests/gif/gif_test_util.h"

namespace reelmill {
namespace {

using testing::DelayText;
using testing::EncodeGif;
using testing::FrameRgba;
using testing::TestGif;
using testing::TestImage;

const std::vector<GifColor> kFour{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
constexpr std::uint32_t R = 0xFF0000FF, G = 0x00FF00FF, B = 0x0000FFFF, W = 0xFFFFFFFF, T = 0;

struct Loaded {
  bool ok = false;
  ImageList frames;
  std::unique_ptr<ImageProperties> properties;
  std::string Delays() const { return properties ? properties->Get(FrameDelaysKey) : "none"; }
  // Frame i as RGBA words, transparent pixels as 0 whatever their colour.
  std::vector<std::uint32_t> Pixels(std::size_t i) const {
    const auto rgba = FrameRgba(frames.At(i));
    std::vector<std::uint32_t> out;
    for (std::size_t p = 0; p < rgba.size(); p += 4) {
      const std::uint32_t v = std::uint32_t(rgba[p]) << 24 | rgba[p + 1] << 16 | rgba[p + 2] << 8 | rgba[p + 3];
      out.push_back(rgba[p + 3] == 0 ? 0 : v);
    }
    return out;
  }
};

Loaded Load(const std::vector<std::uint8_t>& bytes, std::uint64_t limit = GifCodec::kMaxDecodedBytes) {
  Loaded out;
  GifCodec codec(limit);
  out.ok = codec.LoadMemory(bytes, out.frames, out.properties);
  return out;
}

TestImage Image(GifRect rect, std::vector<std::uint8_t> indices, int disposal = -1, int delay = 0,
                int transparent = -1) {
  TestImage image;
  image.rect = rect;
  image.indices =
      indices.size() == 1 ? std::vector<std::uint8_t>(std::size_t(rect.width * rect.height), indices[0]) : indices;
  image.control = disposal >= 0;
  image.disposal = std::max(disposal, 0);
  image.delay = delay;
  image.transparent = transparent;
  return image;
}

TEST(GifSingleImage, IsOneEightBitFrameOfTheScreenWithItsPalette) {
  TestImage image = Image({0, 0, 3, 2}, {0, 1, 2, 3, 2, 1});
  Loaded loaded = Load(EncodeGif({3, 2, kFour, 0, {image}}));
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.frames.Count(), 1u);
  const PixelImage& frame = loaded.frames.At(0);
  EXPECT_EQ(frame.BitCount(), 8);
  EXPECT_EQ(std::vector<std::uint8_t>(frame.Row(1), frame.Row(1) + 3), (std::vector<std::uint8_t>{3, 2, 1}));
  EXPECT_EQ(frame.Palette()[0], (PaletteEntry{0, 0, 255, 255}));
  EXPECT_EQ(frame.Palette()[4], (PaletteEntry{0, 0, 0, 255})) << "entries past the table are opaque black";
  EXPECT_EQ(loaded.Delays(), DelayText({0}));

  // A local table and a transparent index; the pixels around the image take
  // the transparent index, or without one the background index (here 3).
  image = Image({1, 0, 2, 1}, {0, 1}, 0, 7, 1);
  image.localColors = {{10, 20, 30}, {40, 50, 60}};
  loaded = Load(EncodeGif({4, 1, kFour, 3, {image}}));
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.frames.At(0).Palette()[1], (PaletteEntry{60, 50, 40, 0}));
  EXPECT_EQ(loaded.Pixels(0), (std::vector<std::uint32_t>{T, 0x0A141EFF, T, T}));
  EXPECT_EQ(loaded.Delays(), DelayText({7}));
  loaded = Load(EncodeGif({3, 1, kFour, 3, {Image({1, 0, 1, 1}, {0})}}));
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.Pixels(0), (std::vector<std::uint32_t>{W, R, W}));
}

TEST(GifSingleImage, InterlacedRowsLandWhereTheyBelong) {
  TestImage image = Image({0, 0, 5, 11}, testing::Pattern(5, 11, 4, 3));
  image.interlaced = true;
  Loaded loaded = Load(EncodeGif({5, 11, kFour, 0, {image}}));
  ASSERT_TRUE(loaded.ok);
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 5; ++x) ASSERT_EQ(loaded.frames.At(0).Row(y)[x], image.indices[std::size_t(y * 5 + x)]);
  }
}

TEST(GifAnimation, FramesAreCompositedWithEachDisposalAndTheirOwnTables) {
  TestImage local = Image({0, 0, 1, 1}, {1}, 1, 0);
  local.localColors = {{1, 2, 3}, {4, 5, 6}};
  const TestGif gif{4,
                    1,
                    kFour,
                    0,
                    {Image({1, 0, 3, 1}, {2}, 0, 10),             // blue; the screen starts transparent
                     Image({0, 0, 4, 1}, {0, 3, 0, 3}, 1, 5, 3),  // red where not transparent, kept
                     Image({1, 0, 1, 1}, {1}, 2, 0),              // green, then cleared
                     Image({2, 0, 1, 1}, {3}, 3, 0),              // white, then restored
                     local,                                       // its own table
                     Image({3, 0, 1, 1}, {0})}};                  // no graphic control
  Loaded loaded = Load(EncodeGif(gif));
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.frames.Count(), 6u);
  const std::vector<std::vector<std::uint32_t>> want{{T, B, B, B}, {R, B, R, B},          {R, G, R, B},
                                                     {R, T, W, B}, {0x040506FF, T, R, B}, {0x040506FF, T, R, R}};
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(loaded.frames.At(i).BitCount(), 32);
    EXPECT_EQ(loaded.Pixels(i), want[i]) << "frame " << i;
  }
  EXPECT_EQ(loaded.Delays(),
            "0000000000000100"
            "0000000000000050" +
                DelayText({0, 0, 0, 0}));
}

TEST(GifAnimation, FramesAreAppendedAfterImagesAlreadyInTheList) {
  ImageList list;
  list.Append(std::make_unique<PixelImage>());
  std::unique_ptr<ImageProperties> properties;
  GifCodec codec;
  ASSERT_TRUE(codec.LoadMemory(EncodeGif({1, 1, kFour, 0, {Image({0, 0, 1, 1}, {0}), Image({0, 0, 1, 1}, {1})}}), list,
                               properties));
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_TRUE(list.At(0).IsEmpty());
}

TEST(GifScreenPolicy, TheScreenGrowsToHoldTheFirstImageAndLaterFramesAreClipped) {
  Loaded loaded = Load(EncodeGif({0, 0, kFour, 0, {Image({1, 2, 2, 1}, {1})}}));
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.frames.At(0).Width(), 3);
  EXPECT_EQ(loaded.frames.At(0).Height(), 3);

  loaded = Load(EncodeGif(
      {2, 2, kFour, 0, {Image({0, 0, 3, 1}, {0}), Image({2, 1, 5, 5}, {1}), Image({0, 0, 0, 0}, {0}, 1, 4)}}));
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.frames.Count(), 3u) << "an image without pixels is still a frame";
  EXPECT_EQ(loaded.Pixels(1), (std::vector<std::uint32_t>{R, R, R, T, T, G}));
  EXPECT_EQ(loaded.Pixels(2), loaded.Pixels(1));
  EXPECT_EQ(loaded.Delays(), DelayText({0, 0, 4}));

  EXPECT_FALSE(Load(EncodeGif({0, 0, kFour, 0, {Image({0, 0, 0, 0}, {0})}})).ok) << "nothing to show";
}

// Offset of the n-th image descriptor of a file from EncodeGif with kFour.
std::size_t ImageOffset(const std::vector<std::uint8_t>& bytes, int n) {
  std::size_t at = 13 + 3 * 4;
  for (;;) {
    const bool image = bytes[at] == ',';
    if (image && n-- == 0) return at;
    at += image ? 10 : 1;  // descriptor and code size, or extension label
    while (bytes[at + 1] != 0) at += bytes[at + 1] + 1u;
    at += 2;
  }
}

void ExpectRefused(const std::vector<std::uint8_t>& bytes, std::uint64_t limit = GifCodec::kMaxDecodedBytes) {
  ImageList list;
  auto properties = std::make_unique<ImageProperties>();
  properties->Set(7, "kept");
  GifCodec codec(limit);
  EXPECT_FALSE(codec.LoadMemory(bytes, list, properties));
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(properties->Get(7), "kept");
}

TEST(GifRefusal, NotAGifNoImageAndSizesAboveTheLimits) {
  ExpectRefused({});
  ExpectRefused({'G', 'I'});
  ExpectRefused({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0, 0, 0});
  ExpectRefused({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xFE, 2, 'h', 'i', 0, ';'});
  // A screen of 16384 x 16385 is one row above 2^28 pixels.
  ExpectRefused(EncodeGif({16384, 16385, kFour, 0, {Image({0, 0, 1, 1}, {0})}}));
  // The first image claiming 65535 x 65535 pixels refuses the file.
  std::vector<std::uint8_t> bytes = EncodeGif({2, 2, kFour, 0, {Image({0, 0, 2, 2}, {0}), Image({0, 0, 1, 1}, {1})}});
  std::vector<std::uint8_t> firstTooLarge = bytes;
  for (int i = 5; i <= 8; ++i) firstTooLarge[ImageOffset(bytes, 0) + i] = 0xFF;
  ExpectRefused(firstTooLarge);
}

TEST(GifRefusal, FramesBeyondTheMemoryLimit) {
  TestGif gif{10, 10, kFour, 0, {}};
  for (std::uint8_t i = 0; i < 4; ++i) gif.images.push_back(Image({0, 0, 1, 1}, {i}));
  const std::vector<std::uint8_t> bytes = EncodeGif(gif);
  // The 8-bit first picture, the two 32-bit canvases it draws on, and four
  // kept frames, each counted with what holding it costs beyond its pixels.
  PixelImage frame;
  ASSERT_TRUE(frame.Create(10, 10, 32));
  ASSERT_GT(GifDecoder::KeptFrameBytes(frame), 400u + 10 * sizeof(void*));
  const std::uint64_t needed = 12 * 10 + 2 * 400 + 4 * GifDecoder::KeptFrameBytes(frame);
  EXPECT_TRUE(Load(bytes, needed).ok);
  ExpectRefused(bytes, needed - 1);
}

TEST(GifDamage, CompleteFramesBeforeTheDamageAreKept) {
  TestGif gif{8, 8, kFour, 0, {}};
  for (int i = 0; i < 3; ++i) gif.images.push_back(Image({0, 0, 8, 8}, testing::Pattern(8, 8, 4, i + 1), 1, 10 + i));
  const std::vector<std::uint8_t> bytes = EncodeGif(gif);
  const auto cutInside = [&](int image) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(ImageOffset(bytes, image) + 14));
  };
  const Loaded whole = Load(bytes);
  Loaded loaded = Load(cutInside(2));
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.frames.Count(), 2u);
  EXPECT_EQ(loaded.Pixels(1), whole.Pixels(1));
  EXPECT_EQ(loaded.Delays(), DelayText({10, 11}));
  loaded = Load(cutInside(1));
  ASSERT_TRUE(loaded.ok);
  ASSERT_EQ(loaded.frames.Count(), 1u);
  EXPECT_EQ(loaded.frames.At(0).BitCount(), 8) << "one complete image is one picture";
  ExpectRefused(cutInside(0));

  std::vector<std::uint8_t> noTrailer(bytes.begin(), bytes.end() - 1);
  EXPECT_EQ(Load(noTrailer).frames.Count(), 3u);
  std::vector<std::uint8_t> badRecord = bytes;
  badRecord[ImageOffset(bytes, 2) - 8] = 0x99;  // the third graphic control's introducer
  EXPECT_EQ(Load(badRecord).frames.Count(), 2u);
  // A later image claiming 65535 x 65535 pixels ends the animation like damage.
  std::vector<std::uint8_t> tooLarge = bytes;
  for (int i = 5; i <= 8; ++i) tooLarge[ImageOffset(bytes, 2) + i] = 0xFF;
  loaded = Load(tooLarge);
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.frames.Count(), 2u);
  EXPECT_EQ(loaded.Pixels(1), whole.Pixels(1));
}

// Each hostile file says why it is refused, or what cut its frames short.
TEST(GifEnding, EveryRefusalAndEveryDamageIsNamed) {
  TestGif gif{8, 8, kFour, 0, {}};
  for (int i = 0; i < 3; ++i) gif.images.push_back(Image({0, 0, 8, 8}, testing::Pattern(8, 8, 4, i + 1), 1, 10 + i));
  const std::vector<std::uint8_t> bytes = EncodeGif(gif);
  const auto prefix = [&](std::size_t size) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(size));
  };
  const auto withBytes = [&](std::size_t at, std::vector<std::uint8_t> values) {
    std::vector<std::uint8_t> changed = bytes;
    std::copy(values.begin(), values.end(), changed.begin() + std::ptrdiff_t(at));
    return changed;
  };
  const std::size_t second = ImageOffset(bytes, 1), third = ImageOffset(bytes, 2);
  struct Case {
    std::string name;
    std::vector<std::uint8_t> bytes;
    bool refused;
    std::string text;  // of Ending()
  };
  const std::vector<Case> cases = {
      {"a PNG",
       {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0, 0, 0},
       true,
       "not a GIF file (it does not start with \"GIF8\")"},
      {"cut to 30 bytes", prefix(30), true, "the file ends early in frame 1"},
      {"no image", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'}, true, "the GIF holds no image"},
      {"a screen above the pixel limit", EncodeGif({16384, 16385, kFour, 0, {Image({0, 0, 1, 1}, {0})}}), true,
       "its screen is 16384 x 16385, more than the 268435456 pixels a frame may have"},
      {"the first image cut", prefix(ImageOffset(bytes, 0) + 14), true, "the file ends early in frame 1"},
      {"whole", bytes, false, ""},
      {"no trailer", prefix(bytes.size() - 1), false, ""},
      {"the second image cut", prefix(second + 14), false, "the file ends early in frame 2"},
      {"the third image cut", prefix(third + 14), false, "the file ends early in frame 3"},
      {"a bad record after frame 2", withBytes(third - 8, {0x99}), false, "bad data in frame 3"},
      {"the third image above the pixel limit", withBytes(third + 5, {0xFF, 0xFF, 0xFF, 0xFF}), false,
       "frame 3 is 65535 x 65535, more than the 268435456 pixels a frame may have"},
      {"the third image's code past the table", withBytes(third + 11, {2, 0xFF, 0xFF}), false, "bad data in frame 3"},
  };
  for (const Case& c : cases) {
    GifDecoder decoder(GifCodec::kMaxDecodedBytes);
    GifDecoder::Result result;
    EXPECT_EQ(decoder.Decode(c.bytes, result), !c.refused) << c.name;
    EXPECT_EQ(ProblemText(decoder.Ending()), c.text) << c.name;
  }
  // The memory limit says both figures.
  GifDecoder small(2000);
  GifDecoder::Result result;
  EXPECT_FALSE(small.Decode(bytes, result));
  EXPECT_EQ(ProblemText(small.Ending()), "it needs about 3 KiB of memory, more than the limit of 2 KiB");
}

TEST(GifDamage, AShortGraphicControlIsIgnored) {
  // Screen 1 x 1, 2-colour table, a 2-byte graphic control that would make
  // index 1 transparent, one image of index 1 (codes: clear, 1, end).
  const std::vector<std::uint8_t> bytes{'G', 'I', 'F', '8', '9', 'a',  1,    0, 1,    0,    0x80, 0,   0,  0,
                                        0,   0,   255, 255, 255, 0x21, 0xF9, 2, 0x01, 0x05, 0,    ',', 0,  0,
                                        0,   0,   1,   0,   1,   0,    0,    2, 2,    0x4C, 0x01, 0,   ';'};
  const Loaded loaded = Load(bytes);
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.Pixels(0), (std::vector<std::uint32_t>{W}));
}

}  // namespace
}  // namespace reelmill

namespace reelmill {
namespace {

struct Streamed {
  bool ok = false;
  std::vector<PixelImage> frames;
  std::vector<int> delays;
};

Streamed Stream(const std::vector<std::uint8_t>& bytes, std::size_t stopAfter = SIZE_MAX) {
  Streamed out;
  out.ok = GifDecoder(GifCodec::kMaxDecodedBytes).DecodeEach(bytes, [&](const PixelImage& frame, int delay) {
    out.frames.push_back(frame);
    out.delays.push_back(delay);
    return out.frames.size() < stopAfter;
  });
  return out;
}

TEST(GifStreaming, DeliversExactlyTheFramesDecodeKeeps) {
  TestGif animation{8, 8, kFour, 0, {}};
  for (int i = 0; i < 4; ++i) {
    animation.images.push_back(Image({i, i, 8 - 2 * i, 8 - 2 * i}, testing::Pattern(8 - 2 * i, 8 - 2 * i, 4, i), i % 4,
                                     10 + i, i == 2 ? 1 : -1));
  }
  const std::vector<std::uint8_t> whole = EncodeGif(animation);
  const auto cut = [&](int image) {
    return std::vector<std::uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(ImageOffset(whole, image) + 14));
  };
  const std::vector<std::vector<std::uint8_t>> files{whole, cut(1), cut(3),
                                                     EncodeGif({5, 3, kFour, 2, {Image({1, 1, 2, 1}, {3}, 0, 7)}})};
  for (std::size_t f = 0; f < files.size(); ++f) {
    const Loaded kept = Load(files[f]);
    const Streamed streamed = Stream(files[f]);
    ASSERT_TRUE(kept.ok && streamed.ok) << "file " << f;
    ASSERT_EQ(streamed.frames.size(), kept.frames.Count()) << "file " << f;
    for (std::size_t i = 0; i < streamed.frames.size(); ++i) {
      const PixelImage& a = streamed.frames[i];
      const PixelImage& b = kept.frames.At(i);
      ASSERT_EQ(a.BitCount(), b.BitCount()) << "file " << f << " frame " << i;
      EXPECT_TRUE(std::equal(a.Bits(), a.Bits() + a.BufferSize(), b.Bits(), b.Bits() + b.BufferSize()))
          << "file " << f << " frame " << i;
      EXPECT_TRUE(std::ranges::equal(a.Palette(), b.Palette()));
    }
  }
  EXPECT_EQ(Stream(whole).delays, (std::vector<int>{10, 11, 12, 13}));
}

TEST(GifStreaming, StopsWhenTheSinkSaysSoAndRefusesWhatDecodeRefuses) {
  TestGif gif{4, 4, kFour, 0, {}};
  for (int i = 0; i < 3; ++i) gif.images.push_back(Image({0, 0, 4, 4}, {std::uint8_t(i)}, 1, 5));
  const Streamed stopped = Stream(EncodeGif(gif), 2);
  EXPECT_FALSE(stopped.ok);
  EXPECT_EQ(stopped.frames.size(), 2u);
  EXPECT_FALSE(Stream({'G', 'I', 'F', '8', '9', 'a'}).ok);
  EXPECT_TRUE(Stream({'G', 'I', 'F', '8', '9', 'a'}).frames.empty());

  // The cursor behind both: frames on demand, then nothing, however often asked.
  const std::vector<std::uint8_t> bytes = EncodeGif(gif);
  GifFrameCursor cursor(bytes, GifCodec::kMaxDecodedBytes);
  while (cursor.Next()) {
  }
  EXPECT_EQ(cursor.Delivered(), 3);
  EXPECT_TRUE(cursor.Finished() && !cursor.Refused());
  EXPECT_EQ(cursor.Next(), nullptr);
  const std::vector<std::uint8_t> notGif = {'G', 'I', 'F', '8', '9', 'a'};
  GifFrameCursor refused(notGif, GifCodec::kMaxDecodedBytes);
  EXPECT_EQ(refused.Next(), nullptr);
  EXPECT_TRUE(refused.Refused());
}

}  // namespace
}  // namespace reelmill
