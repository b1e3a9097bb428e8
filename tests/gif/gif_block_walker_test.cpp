#include "imaging/codecs/gif_block_walker.h"

#include <gtest/gtest.h>

#include "tests/support/gif_builder.h"

namespace reelmill {
namespace {

using testing::GifBuilder;
using testing::GifFrameSpec;
using Bytes = std::vector<std::uint8_t>;

GifFrameSpec Rect(int left, int top, int width, int height, int delay, int disposal = 0) {
  GifFrameSpec f;
  f.left = left;
  f.top = top;
  f.width = width;
  f.height = height;
  f.indices.assign(std::size_t(width) * std::size_t(height), 2);
  f.delay = delay;
  f.disposal = disposal;
  return f;
}

TEST(GifBlockWalker, ReadsTheScreenAndGlobalTableFromTheHeader) {
  const Bytes gif = GifBuilder(300, 200).SolidFrame(1).Bytes();
  GifBlockWalker walker(gif);
  ASSERT_TRUE(walker.Valid());
  EXPECT_EQ(walker.ScreenWidth(), 300);
  EXPECT_EQ(walker.ScreenHeight(), 200);
  EXPECT_EQ(walker.GlobalTableBytes(), 24u);  // 8 colours
  EXPECT_EQ(walker.Offset(), 13u + 24u);
}

TEST(GifBlockWalker, RefusesDataThatIsNotAGifOrTooShortForItsHeader) {
  EXPECT_FALSE(GifBlockWalker(Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0}).Valid());
  EXPECT_FALSE(GifBlockWalker(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Valid());
  GifBlockWalker empty{Bytes{}};
  EXPECT_FALSE(empty.Valid());
  EXPECT_EQ(empty.CountGraphicBlocks(), 0);
  EXPECT_FALSE(empty.AssembleFrame());
}

TEST(GifBlockWalker, ClassifiesAndMeasuresEveryBlockKind) {
  // Offsets below count from the first block after the 13 + 24 header bytes.
  const Bytes gif = GifBuilder(4, 4)
                        .Looping()         // 14 + 4 (03 01 00 00) + 1 = 19
                        .Comment("hello")  // 2 + (1 + 5) + 1 = 9
                        .Control(7, 2, 3)  // 8
                        .Raw({0x21, 0x01, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 'h', 'i', 0})  // 15 + 4
                        .Image(Rect(0, 0, 1, 1, 0))                                                 // 11 + chain
                        .Bytes();
  GifBlockWalker walker(gif);
  std::size_t at = 37;
  EXPECT_EQ(walker.KindAt(at), GifBlockKind::ApplicationExtension);
  EXPECT_EQ(walker.BlockLength(at), 19);
  at += 19;
  EXPECT_EQ(walker.KindAt(at), GifBlockKind::CommentExtension);
  EXPECT_EQ(walker.BlockLength(at), 9);
  at += 9;
  EXPECT_EQ(walker.KindAt(at), GifBlockKind::GraphicControlExtension);
  EXPECT_EQ(walker.BlockLength(at), 8);
  at += 8;
  EXPECT_EQ(walker.KindAt(at), GifBlockKind::PlainTextExtension);
  EXPECT_EQ(walker.BlockLength(at), 19);
  at += 19;
  EXPECT_EQ(walker.KindAt(at), GifBlockKind::ImageDescriptor);
  const std::int64_t image = walker.BlockLength(at);
  EXPECT_EQ(at + static_cast<std::size_t>(image) + 1, gif.size());  // then the trailer
  at += static_cast<std::size_t>(image);
  EXPECT_EQ(walker.KindAt(at), GifBlockKind::Trailer);
  EXPECT_EQ(walker.BlockLength(at), 1);
  EXPECT_EQ(walker.KindAt(at + 1), GifBlockKind::Unrecognised);  // past the end
  EXPECT_EQ(walker.BlockLength(at + 1), -1);
}

TEST(GifBlockWalker, CountsTheLocalColourTableInAnImagesLength) {
  GifFrameSpec f = Rect(0, 0, 1, 1, 0);
  f.localTable = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};  // padded to 4 entries: 12 bytes
  const Bytes withLocal = GifBuilder(1, 1).Image(f).Bytes();
  f.localTable.clear();
  const Bytes without = GifBuilder(1, 1).Image(f).Bytes();
  EXPECT_EQ(GifBlockWalker(withLocal).BlockLength(37), GifBlockWalker(without).BlockLength(37) + 12);
}

TEST(GifBlockWalker, AnUnknownExtensionLabelIsUnrecognisedAndEndsTheWalk) {
  const Bytes gif = GifBuilder(2, 2).SolidFrame(1).Raw({0x21, 0x77, 1, 0, 0}).SolidFrame(2).Bytes();
  GifBlockWalker walker(gif);
  EXPECT_EQ(walker.CountGraphicBlocks(), 1);
  walker.Rewind();
  EXPECT_TRUE(walker.AssembleFrame());
  EXPECT_FALSE(walker.AssembleFrame());
}

TEST(GifPlayCount, CountsTheFirstPlayBesideTheLoops) {
  EXPECT_EQ(GifPlayCount(GifBuilder(2, 2).SolidFrame(1).SolidFrame(2).Bytes()), 1);  // no loop block: once
  for (const auto& [loops, plays] : {std::pair{0, 0}, std::pair{1, 2}, std::pair{3, 4}, std::pair{65535, 65535}})
    EXPECT_EQ(GifPlayCount(GifBuilder(2, 2).Looping(loops).SolidFrame(1).SolidFrame(2).Bytes()), plays) << loops;
}

TEST(GifBlockWalker, ExtensionsDoNotCountAsGraphicBlocks) {
  const Bytes gif = GifBuilder(2, 2)
                        .Looping()
                        .Comment("a")
                        .SolidFrame(1)
                        .Comment("between")
                        .SolidFrame(2, 10, false)
                        .Raw({0x21, 0x01, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})  // a plain text block
                        .Bytes();
  GifBlockWalker walker(gif);
  EXPECT_EQ(walker.CountGraphicBlocks(), 3);
}

TEST(GifBlockWalker, FramesCarryDelayDisposalAndTheirRectangle) {
  const Bytes gif = GifBuilder(20, 10)
                        .Frame(Rect(0, 0, 20, 10, 10, 1))
                        .Frame(Rect(3, 4, 5, 6, 35, 3))
                        .SolidFrame(1, 0, /*withControl=*/false)
                        .Bytes();
  GifBlockWalker walker(gif);
  auto a = walker.AssembleFrame(), b = walker.AssembleFrame(), c = walker.AssembleFrame();
  ASSERT_TRUE(a && b && c);
  EXPECT_FALSE(walker.AssembleFrame());
  EXPECT_EQ(a->delay, 10);
  EXPECT_EQ(a->disposal, 1);
  EXPECT_EQ(b->delay, 35);
  EXPECT_EQ(b->disposal, 3);
  EXPECT_EQ(b->left, 3);
  EXPECT_EQ(b->top, 4);
  EXPECT_EQ(b->width, 5);
  EXPECT_EQ(b->height, 6);
  EXPECT_EQ(c->delay, -1);  // no graphic control extension
  EXPECT_EQ(c->disposal, 0);
  EXPECT_EQ(c->width, 20);
}

TEST(GifBlockWalker, AStandAloneFrameIsHeaderPlusItsBlocksPlusATrailer) {
  const Bytes gif = GifBuilder(6, 6).Looping().SolidFrame(1, 20).SolidFrame(2, 30).Bytes();
  GifBlockWalker walker(gif);
  const std::size_t header = 13 + 24;
  const std::size_t firstFrameAt = header + 19;  // after the looping extension
  auto first = walker.AssembleFrame();
  ASSERT_TRUE(first);
  const std::size_t frameBlocks = walker.Offset() - firstFrameAt;
  ASSERT_EQ(first->image.size(), header + frameBlocks + 1);
  EXPECT_TRUE(std::equal(gif.begin(), gif.begin() + std::ptrdiff_t(header), first->image.begin()));
  EXPECT_TRUE(std::equal(gif.begin() + std::ptrdiff_t(firstFrameAt), gif.begin() + std::ptrdiff_t(walker.Offset()),
                         first->image.begin() + std::ptrdiff_t(header)));
  EXPECT_EQ(first->image.back(), 0x3B);
  EXPECT_EQ(first->image[header], 0x21);      // the frame starts with its control block
  EXPECT_EQ(first->image[header + 1], 0xF9);  // the looping extension is not part of it
}

TEST(GifBlockWalker, AnExtensionBetweenControlAndImageIsCopiedIntoTheFrame) {
  GifBuilder builder(2, 2);
  builder.Control(50, 2).Comment("inside");
  GifFrameSpec f = Rect(0, 0, 2, 2, 0);
  builder.Image(f).SolidFrame(1);
  const Bytes gif = builder.Bytes();
  GifBlockWalker walker(gif);
  auto frame = walker.AssembleFrame();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->delay, 50);
  EXPECT_EQ(frame->disposal, 2);
  const std::string text(frame->image.begin(), frame->image.end());
  EXPECT_NE(text.find("inside"), std::string::npos);
  // The frame's blocks run from the first block (offset 37) to where the walk stands.
  EXPECT_EQ(frame->image.size(), 37u + (walker.Offset() - 37u) + 1u);
}

TEST(GifBlockWalker, AGifTruncatedInsideItsThirdImageGivesTwoFrames) {
  const Bytes whole = GifBuilder(8, 8).SolidFrame(1).SolidFrame(2).SolidFrame(3).Bytes();
  const Bytes cut(whole.begin(), whole.end() - 20);
  GifBlockWalker walker(cut);
  int frames = 0;
  while (walker.AssembleFrame()) ++frames;
  EXPECT_EQ(frames, 2);
  EXPECT_EQ(GifBlockWalker(cut).CountGraphicBlocks(), 2);
}

TEST(GifBlockWalker, EveryTruncatedPrefixEndsTheWalkSafely) {
  GifFrameSpec local = Rect(1, 1, 3, 3, 20, 3);
  local.localTable = {{9, 9, 9}, {8, 8, 8}};
  local.interlaced = true;
  const Bytes whole =
      GifBuilder(5, 5).Looping().Comment("c").SolidFrame(1).Frame(local).SolidFrame(2, 0, false).Bytes();
  for (std::size_t n = 0; n <= whole.size(); ++n) {
    const Bytes prefix(whole.begin(), whole.begin() + std::ptrdiff_t(n));
    GifBlockWalker walker(prefix);
    int frames = 0;
    while (auto frame = walker.AssembleFrame()) {
      ASSERT_LE(frame->image.size(), n + 1) << "prefix " << n;
      ++frames;
    }
    ASSERT_LE(frames, 3) << "prefix " << n;
    if (n == whole.size()) {
      EXPECT_EQ(frames, 3);
    }
  }
}

TEST(GifBlockWalker, SubBlockChainsRunningPastTheEndAreRefused) {
  // A comment whose sub-block claims 200 bytes that are not there.
  Bytes gif = GifBuilder(1, 1).Bytes(false);
  gif.insert(gif.end(), {0x21, 0xFE, 200, 'x', 'y'});
  GifBlockWalker walker(gif);
  EXPECT_EQ(walker.BlockLength(37), -1);
  EXPECT_FALSE(walker.Advance());
  EXPECT_EQ(walker.Offset(), 37u);
  EXPECT_EQ(walker.CountGraphicBlocks(), 0);
}

}  // namespace
}  // namespace reelmill

namespace reelmill {
namespace {

// giflib reads every extension as a label and a chain of sub-blocks; a first
// sub-block of another size than usual must not make the walk find blocks
// the decoder never sees (or miss ones it does).
TEST(GifBlockWalker, MeasuresExtensionsByTheirSubBlocksWhateverTheFirstClaims) {
  const Bytes gif = GifBuilder(4, 4)
                        .Raw({0x21, 0xFF, 5, 'N', 'E', 'T', 'S', 'C', 0})  // 2 + 6 + 1 = 9
                        .Raw({0x21, 0xF9, 6, 0x08, 30, 0, 0, 0, 0, 0})     // 2 + 7 + 1 = 10
                        .Raw({0x21, 0x01, 2, 0, 0, 0})                     // 2 + 3 + 1 = 6
                        .Raw({0x21, 0xF9, 2, 0x08, 70, 0})                 // too short for the fields
                        .Image(Rect(0, 0, 1, 1, 0))
                        .Bytes();
  GifBlockWalker walker(gif);
  EXPECT_EQ(walker.BlockLength(37), 9);
  EXPECT_EQ(walker.BlockLength(46), 10);
  EXPECT_EQ(walker.BlockLength(56), 6);
  EXPECT_EQ(walker.BlockLength(62), 6);
  EXPECT_EQ(walker.CountGraphicBlocks(), 2);  // the control with its plain text, then the image alone
  walker.Rewind();
  const auto text = walker.AssembleFrame();
  ASSERT_TRUE(text);
  EXPECT_FALSE(text->hasImage);
  EXPECT_EQ(text->delay, 30);
  EXPECT_EQ(text->disposal, 2);
  const auto image = walker.AssembleFrame();
  ASSERT_TRUE(image);
  EXPECT_TRUE(image->hasImage);
  EXPECT_EQ(image->delay, -1);  // as the decoder, which ignores the short control
}

}  // namespace
}  // namespace reelmill
