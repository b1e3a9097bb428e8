// A second opinion: animations built here are decoded by us and by
// ImageMagick ("convert FILE -coalesce"), and every frame must agree on the
// alpha mask and on the colour of every opaque pixel. Skipped without convert.
// The first frame of each animation covers the screen: ImageMagick lays the
// first frame on the background colour where we start from transparent.

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

using testing::Pattern;
using testing::Ramp;
using testing::TestGif;
using testing::TestImage;

TestImage Frame(GifRect rect, int colors, std::uint32_t seed, int disposal, int transparent = -1) {
  TestImage image;
  image.rect = rect;
  image.indices = Pattern(rect.width, rect.height, colors, seed);
  image.control = true;
  image.disposal = disposal;
  image.delay = 4;
  image.transparent = transparent;
  return image;
}

TestGif DisposalsAndTransparency() {
  TestGif gif{12, 10, Ramp(8, 3), 0, {}};
  gif.images.push_back(Frame({0, 0, 12, 10}, 8, 1, 1));
  gif.images.push_back(Frame({2, 2, 4, 3}, 8, 2, 1, 5));
  gif.images.push_back(Frame({6, 5, 5, 4}, 8, 3, 2));
  gif.images.push_back(Frame({1, 6, 3, 3}, 8, 4, 3, 0));
  gif.images.push_back(Frame({4, 1, 6, 6}, 8, 5, 0, 7));
  gif.images.push_back(Frame({0, 0, 2, 2}, 8, 6, 2));
  gif.images.push_back(Frame({0, 0, 12, 10}, 8, 7, 3, 2));
  gif.images.push_back(Frame({5, 5, 7, 5}, 8, 8, 1));
  return gif;
}

TestGif InterlacedWithLocalTables() {
  TestGif gif{16, 21, Ramp(4, 50), 0, {}};
  TestImage first = Frame({0, 0, 16, 21}, 4, 11, 1);
  first.interlaced = true;
  gif.images.push_back(first);
  TestImage second = Frame({3, 4, 9, 13}, 16, 12, 2, 9);
  second.localColors = Ramp(16, 99);
  second.interlaced = true;
  gif.images.push_back(second);
  TestImage third = Frame({0, 0, 16, 21}, 32, 13, 3, 31);
  third.localColors = Ramp(32, 7);
  gif.images.push_back(third);
  TestImage fourth = Frame({7, 2, 8, 18}, 4, 14, 1, 1);
  fourth.interlaced = true;
  gif.images.push_back(fourth);
  TestImage fifth = Frame({1, 1, 5, 5}, 256, 15, 0);
  fifth.localColors = Ramp(256, 1);
  gif.images.push_back(fifth);
  return gif;
}

TestGif TransparentHoles() {
  // Every frame has many transparent pixels over a changing background.
  TestGif gif{9, 9, Ramp(4, 200), 0, {}};
  gif.images.push_back(Frame({0, 0, 9, 9}, 4, 21, 1, 3));
  gif.images.push_back(Frame({0, 0, 9, 9}, 4, 22, 3, 0));
  gif.images.push_back(Frame({2, 2, 5, 5}, 4, 23, 2, 1));
  gif.images.push_back(Frame({0, 0, 9, 9}, 4, 24, 1, 2));
  return gif;
}

// Compares every frame; counts the transparent pixels seen, so a test can
// tell that its alpha mask was exercised.
void CompareWithImageMagick(const TestGif& spec, const std::string& label, int& transparent) {
  if (!testing::HaveTool("convert")) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const testing::TempDir dir;
  const std::string gifPath = dir / (label + ".gif");
  const std::string rawPath = dir / (label + ".rgba");
  const std::vector<std::uint8_t> bytes = testing::EncodeGif(spec);
  testing::WriteAll(gifPath, bytes);
  int status = 0;
  testing::RunCapture("convert '" + gifPath + "' -coalesce -depth 8 'rgba:" + rawPath + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << "convert failed on " << label;
  const std::vector<std::uint8_t> theirs = testing::ReadAll(rawPath);

  ImageList frames;
  std::unique_ptr<ImageProperties> properties;
  GifCodec codec;
  ASSERT_TRUE(codec.LoadMemory(bytes, frames, properties)) << label;
  ASSERT_EQ(frames.Count(), spec.images.size()) << label;
  const std::size_t frameBytes = std::size_t(spec.width) * std::size_t(spec.height) * 4;
  ASSERT_EQ(theirs.size(), frameBytes * frames.Count()) << label << ": ImageMagick gave another frame count or size";

  for (std::size_t f = 0; f < frames.Count(); ++f) {
    ASSERT_EQ(frames.At(f).BitCount(), 32);
    const std::vector<std::uint8_t> ours = testing::FrameRgba(frames.At(f));
    for (std::size_t p = 0; p < frameBytes; p += 4) {
      const std::uint8_t* a = &ours[p];
      const std::uint8_t* b = &theirs[f * frameBytes + p];
      const int x = int(p / 4) % spec.width, y = int(p / 4) / spec.width;
      ASSERT_EQ(a[3] == 0, b[3] == 0) << label << " frame " << f << " pixel " << x << "," << y
                                      << ": alpha got " << int(a[3]) << ", ImageMagick " << int(b[3]);
      if (a[3] == 0) {
        ++transparent;
        continue;
      }
      ASSERT_EQ(int(a[3]), 255);
      ASSERT_TRUE(a[0] == b[0] && a[1] == b[1] && a[2] == b[2])
          << label << " frame " << f << " pixel " << x << "," << y << ": got " << int(a[0]) << "," << int(a[1])
          << "," << int(a[2]) << ", ImageMagick " << int(b[0]) << "," << int(b[1]) << "," << int(b[2]);
    }
  }
}

TEST(GifAgainstImageMagick, DisposalsAndTransparency) {
  int transparent = 0;
  CompareWithImageMagick(DisposalsAndTransparency(), "disposals", transparent);
  if (!IsSkipped()) {
    EXPECT_GT(transparent, 0);
  }
}

TEST(GifAgainstImageMagick, InterlacedFramesWithLocalTables) {
  int transparent = 0;
  CompareWithImageMagick(InterlacedWithLocalTables(), "interlaced", transparent);
  if (!IsSkipped()) {
    EXPECT_GT(transparent, 0);
  }
}

TEST(GifAgainstImageMagick, TransparentHolesOverChangingFrames) {
  int transparent = 0;
  CompareWithImageMagick(TransparentHoles(), "holes", transparent);
  if (!IsSkipped()) {
    EXPECT_GT(transparent, 0);
  }
}

}  // namespace
}  // namespace reelmill
