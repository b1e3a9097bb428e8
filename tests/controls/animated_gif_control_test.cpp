#include "app/controls/animated_gif_control.h"

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
  const Bytes gif = GifBuilder(4, 3).Looping().SolidFrame(1, 10).Comment("x").SolidFrame(2, 30).SolidFrame(3, 0).Bytes();
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
