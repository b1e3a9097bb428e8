// A second opinion: animations built here are decoded by us and by
// ImageMagick ("convert FILE -coalesce"); every frame must agree on the alpha
// mask and on the colour of every opaque pixel. Skipped without convert.
// Each first frame covers the screen: ImageMagick lays the first frame on the
// background colour where we start from transparent.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/codecs/gif_codec.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "tests/gif/gif_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using testing::Ramp;
using testing::TestGif;
using testing::TestImage;

TestImage Frame(GifRect rect, int colors, std::uint32_t seed, int disposal, int transparent = -1,
                bool interlaced = false, bool local = false) {
  TestImage image{
      rect, testing::Pattern(rect.width, rect.height, colors, seed), {}, interlaced, true, disposal, 4, transparent};
  if (local) image.localColors = Ramp(colors, static_cast<std::uint8_t>(seed));
  return image;
}

std::vector<TestGif> Animations() {
  return {
      // Every disposal, transparency, frames smaller than the screen.
      {12,
       10,
       Ramp(8, 3),
       0,
       {Frame({0, 0, 12, 10}, 8, 1, 1), Frame({2, 2, 4, 3}, 8, 2, 1, 5), Frame({6, 5, 5, 4}, 8, 3, 2),
        Frame({1, 6, 3, 3}, 8, 4, 3, 0), Frame({4, 1, 6, 6}, 8, 5, 0, 7), Frame({0, 0, 2, 2}, 8, 6, 2),
        Frame({0, 0, 12, 10}, 8, 7, 3, 2), Frame({5, 5, 7, 5}, 8, 8, 1)}},
      // Interlaced frames (heights past 8 rows) and local tables up to 256 entries.
      {16,
       21,
       Ramp(4, 50),
       0,
       {Frame({0, 0, 16, 21}, 4, 11, 1, -1, true), Frame({3, 4, 9, 13}, 16, 12, 2, 9, true, true),
        Frame({0, 0, 16, 21}, 32, 13, 3, 31, false, true), Frame({7, 2, 8, 18}, 4, 14, 1, 1, true),
        Frame({1, 1, 5, 5}, 256, 15, 0, -1, false, true)}},
      // Many transparent pixels over changing frames.
      {9,
       9,
       Ramp(4, 200),
       0,
       {Frame({0, 0, 9, 9}, 4, 21, 1, 3), Frame({0, 0, 9, 9}, 4, 22, 3, 0), Frame({2, 2, 5, 5}, 4, 23, 2, 1),
        Frame({0, 0, 9, 9}, 4, 24, 1, 2)}},
  };
}

TEST(GifAgainstImageMagick, CompositedFramesAgree) {
  if (!testing::HaveTool("convert")) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const testing::TempDir dir;
  int animation = 0;
  for (const TestGif& spec : Animations()) {
    const std::string label = "animation " + std::to_string(animation++);
    const std::vector<std::uint8_t> bytes = testing::EncodeGif(spec);
    testing::WriteAll(dir / "in.gif", bytes);
    int status = 0;
    testing::RunCapture("convert '" + dir / "in.gif" + "' -coalesce -depth 8 'rgba:" + dir / "out.rgba" + "' 2>&1",
                        &status);
    ASSERT_EQ(status, 0) << label << ": convert failed";
    const std::vector<std::uint8_t> theirs = testing::ReadAll(dir / "out.rgba");

    ImageList frames;
    std::unique_ptr<ImageProperties> properties;
    ASSERT_TRUE(GifCodec().LoadMemory(bytes, frames, properties)) << label;
    ASSERT_EQ(frames.Count(), spec.images.size()) << label;
    const std::size_t frameBytes = std::size_t(spec.width) * std::size_t(spec.height) * 4;
    ASSERT_EQ(theirs.size(), frameBytes * frames.Count()) << label << ": ImageMagick gave other frames";
    int transparent = 0;
    for (std::size_t f = 0; f < frames.Count(); ++f) {
      const std::vector<std::uint8_t> ours = testing::FrameRgba(frames.At(f));
      for (std::size_t p = 0; p < frameBytes; p += 4) {
        const std::uint8_t* a = &ours[p];
        const std::uint8_t* b = &theirs[f * frameBytes + p];
        const std::string where = label + " frame " + std::to_string(f) + " pixel " +
                                  std::to_string(p / 4 % std::size_t(spec.width)) + "," +
                                  std::to_string(p / 4 / std::size_t(spec.width));
        ASSERT_EQ(a[3] == 0, b[3] == 0) << where << ": alpha got " << int(a[3]) << ", ImageMagick " << int(b[3]);
        transparent += a[3] == 0;
        if (a[3] == 0) continue;
        ASSERT_EQ(int(a[3]), 255) << where;
        ASSERT_EQ(std::vector<std::uint8_t>(a, a + 3), std::vector<std::uint8_t>(b, b + 3)) << where;
      }
    }
    EXPECT_GT(transparent, 0) << label << ": the alpha mask was not exercised";
  }
}

}  // namespace
}  // namespace reelmill
