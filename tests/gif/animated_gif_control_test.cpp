#include "imaging/codecs/animated_gif_control.h"

#include <gtest/gtest.h>

#include "tests/support/gif_builder.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using testing::GifBuilder;
using Bytes = std::vector<std::uint8_t>;

TEST(AnimatedGifControl, AGifWithOneImageIsAStillPictureWithoutFrames) {
  const Bytes gif = GifBuilder(7, 5).Looping().SolidFrame(2, 40).Bytes();
  AnimatedGifControl control;
  ASSERT_TRUE(control.LoadPictureData(gif));
  EXPECT_TRUE(control.IsGif());
  EXPECT_EQ(control.FrameCount(), 0);
  ASSERT_NE(control.StillPicture(), nullptr);
  EXPECT_EQ(control.StillPicture()->Width(), 7);
  EXPECT_EQ(control.StillPicture()->Height(), 5);
  EXPECT_EQ(control.Width(), 7);
  EXPECT_EQ(control.Height(), 5);
}

TEST(AnimatedGifControl, EveryFrameGetsItsDelayDisposalAndPicture) {
  const Bytes gif =
      GifBuilder(4, 3).Looping().SolidFrame(1, 10).Comment("x").SolidFrame(2, 30).SolidFrame(3, 0).Bytes();
  AnimatedGifControl control;
  ASSERT_TRUE(control.LoadPictureData(gif));
  ASSERT_EQ(control.FrameCount(), 3);
  EXPECT_EQ(control.Frame(0).delay, 10);
  EXPECT_EQ(control.Frame(1).delay, 30);
  EXPECT_EQ(control.Frame(2).delay, 0);
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(control.Frame(i).picture, nullptr);
    EXPECT_EQ(control.Frame(i).picture->Width(), 4);
    EXPECT_EQ(control.Frame(i).picture->Height(), 3);
  }
}

TEST(AnimatedGifControl, FramesWithoutAControlExtensionHaveNoDelay) {
  const Bytes gif = GifBuilder(2, 2).SolidFrame(1, 0, false).SolidFrame(2, 0, false).Bytes();
  AnimatedGifControl control;
  ASSERT_TRUE(control.LoadPictureData(gif));
  ASSERT_EQ(control.FrameCount(), 2);
  EXPECT_EQ(control.Frame(0).delay, -1);
  EXPECT_EQ(control.Frame(1).delay, -1);
  EXPECT_EQ(control.Frame(1).disposal, 0);
}

TEST(AnimatedGifControl, AGifTruncatedInsideItsThirdImageHasTwoFrames) {
  const Bytes whole = GifBuilder(8, 8).SolidFrame(1, 10).SolidFrame(2, 20).SolidFrame(3, 30).Bytes();
  const Bytes cut(whole.begin(), whole.end() - 20);
  AnimatedGifControl control;
  ASSERT_TRUE(control.LoadPictureData(cut));
  EXPECT_EQ(control.FrameCount(), 2);
  EXPECT_EQ(control.Frame(1).delay, 20);
}

TEST(AnimatedGifControl, AFrameThatDoesNotDecodeIsLeftOut) {
  GifBuilder builder(2, 2);
  builder.SolidFrame(1, 10);
  // A frame whose LZW minimum code size (12) no decoder accepts.
  builder.Control(20).Raw({0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 12, 2, 0xFF, 0xFF, 0});
  builder.SolidFrame(2, 30).SolidFrame(3, 40);
  AnimatedGifControl control;
  ASSERT_TRUE(control.LoadPictureData(builder.Bytes()));
  ASSERT_EQ(control.FrameCount(), 3);
  EXPECT_EQ(control.Frame(0).delay, 10);
  EXPECT_EQ(control.Frame(1).delay, 30);
  EXPECT_EQ(control.Frame(2).delay, 40);
}

TEST(AnimatedGifControl, RefusesAGifWithoutImagesAndDataNoDecoderKnows) {
  AnimatedGifControl control;
  EXPECT_FALSE(control.LoadPictureData(GifBuilder(3, 3).Comment("no image").Bytes()));
  EXPECT_EQ(control.FrameCount(), 0);
  EXPECT_FALSE(control.LoadPictureData(Bytes{'h', 'e', 'l', 'l', 'o'}));
  EXPECT_FALSE(control.LoadPictureData(Bytes{}));
  EXPECT_EQ(control.StillPicture(), nullptr);
  EXPECT_FALSE(control.LoadPictureFile("/nonexistent/reelmill/file.gif"));
}

TEST(AnimatedGifControl, ABitmapIsLoadedAsAStillPictureOfItsOwnSize) {
  // A 24-bit 3 x 2 BMP: 54 header bytes and two rows of 12 bytes.
  Bytes bmp{'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0};
  bmp.resize(78, 0x7F);
  for (std::size_t i = 30; i < 54; ++i) bmp[i] = 0;
  AnimatedGifControl control;
  ASSERT_TRUE(control.LoadPictureData(bmp));
  EXPECT_FALSE(control.IsGif());
  EXPECT_EQ(control.FrameCount(), 0);
  EXPECT_EQ(control.Width(), 3);
  EXPECT_EQ(control.Height(), 2);
}

TEST(AnimatedGifControl, LoadingAgainReplacesTheTableAndUnloadEmptiesIt) {
  testing::TempDir dir;
  testing::WriteAll(dir / "a.gif", GifBuilder(2, 2).SolidFrame(1).SolidFrame(2).SolidFrame(3).Bytes());
  AnimatedGifControl control;
  ASSERT_TRUE(control.LoadPictureFile(dir / "a.gif"));
  EXPECT_EQ(control.FrameCount(), 3);
  ASSERT_TRUE(control.LoadPictureData(GifBuilder(2, 2).SolidFrame(1).SolidFrame(2).Bytes()));
  EXPECT_EQ(control.FrameCount(), 2);
  control.Unload();
  EXPECT_EQ(control.FrameCount(), 0);
  EXPECT_FALSE(control.IsGif());
}

}  // namespace
}  // namespace reelmill

namespace reelmill {
namespace {

std::vector<std::pair<int, int>> Table(const AnimatedGifControl& control) {
  std::vector<std::pair<int, int>> rows;
  for (int i = 0; i < control.TableSize(); ++i) rows.emplace_back(control.Frame(i).delay, control.Frame(i).width);
  return rows;
}

TEST(AnimatedGifControl, DescribingFramesGivesTheTableDecodingGives) {
  GifBuilder plainText(6, 6);
  plainText.SolidFrame(1, 10).Control(20).Raw({0x21, 0x01, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  plainText.SolidFrame(2, 30);
  GifBuilder emptyScreen(0, 0);
  testing::GifFrameSpec big;
  big.width = 4;
  big.height = 3;
  big.indices.assign(12, 1);
  emptyScreen.Frame(big);
  testing::GifFrameSpec nothing;  // an image of no pixels on a screen that stays empty on its own
  nothing.delay = 40;
  emptyScreen.Frame(nothing).Frame(big);
  for (const Bytes& gif : {GifBuilder(5, 4).Looping().SolidFrame(1, 10).SolidFrame(2, 0, false).Bytes(),
                           plainText.Bytes(), emptyScreen.Bytes()}) {
    AnimatedGifControl decoded, described;
    ASSERT_TRUE(decoded.LoadPictureData(gif));
    ASSERT_TRUE(described.LoadPictureData(gif, FramePictures::Describe));
    EXPECT_EQ(Table(described), Table(decoded));
    EXPECT_EQ(described.FramesLeftOut(), decoded.FramesLeftOut());
    EXPECT_EQ(described.GraphicBlocks(), decoded.GraphicBlocks());
    EXPECT_EQ(described.Frame(0).picture, nullptr);
    EXPECT_EQ(AnnouncedFrameCount(gif), described.TableSize());
  }
  AnimatedGifControl check;
  ASSERT_TRUE(check.LoadPictureData(plainText.Bytes(), FramePictures::Describe));
  EXPECT_EQ(check.FramesLeftOut(), 1);  // the plain text block shows no image of its own
  EXPECT_EQ(check.GraphicBlocks(), 3);
}

TEST(AnimatedGifControl, DescribingDoesNotNoticeDamagedPixelData) {
  GifBuilder builder(2, 2);
  builder.SolidFrame(1, 10);
  builder.Control(20).Raw({0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 12, 2, 0xFF, 0xFF, 0});
  builder.SolidFrame(2, 30);
  AnimatedGifControl described;
  ASSERT_TRUE(described.LoadPictureData(builder.Bytes(), FramePictures::Describe));
  EXPECT_EQ(described.FrameCount(), 3);
  EXPECT_EQ(described.FramesLeftOut(), 0);
  EXPECT_EQ(AnnouncedFrameCount(builder.Bytes()), 3);
  // A one-image GIF is described without decoding its picture.
  ASSERT_TRUE(described.LoadPictureData(GifBuilder(3, 3).SolidFrame(1).Bytes(), FramePictures::Describe));
  EXPECT_EQ(described.FrameCount(), 0);
  EXPECT_EQ(described.StillPicture(), nullptr);
  // A still, and data that is no GIF, announce one frame.
  EXPECT_EQ(AnnouncedFrameCount(GifBuilder(3, 3).SolidFrame(1).Bytes()), 1);
  EXPECT_EQ(AnnouncedFrameCount(Bytes{'G', 'I', 'F', '8'}), 1);
}

}  // namespace
}  // namespace reelmill
