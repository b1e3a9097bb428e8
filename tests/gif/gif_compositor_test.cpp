// The compositor on its own, on small top-down BGRA buffers.

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "imaging/codecs/gif_compositor.h"

namespace reelmill {
namespace {

// A top-down canvas of w x h BGRA pixels, compared as packed words.
struct TestCanvas {
  TestCanvas(int w, int h) : width(w), height(h), pixels(std::size_t(w) * std::size_t(h), 0) {}
  BgraCanvas View() {
    return BgraCanvas{reinterpret_cast<std::uint8_t*>(pixels.data()), static_cast<std::ptrdiff_t>(width) * 4, width,
                      height};
  }
  std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
  int width;
  int height;
  std::vector<std::uint32_t> pixels;
};

constexpr std::uint32_t kRed = 0xFFFF0000u;
constexpr std::uint32_t kGreen = 0xFF00FF00u;
constexpr std::uint32_t kBlue = 0xFF0000FFu;
constexpr std::uint32_t kClear = 0;

GifColorTable RgbTable() {
  const std::vector<GifColor> colors{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
  return MakeColorTable(colors);
}

// Draws a solid frame of `index` over its whole rectangle.
void DrawSolid(GifCompositor& compositor, const BgraCanvas& canvas, const GifFrameLayout& frame,
               const GifColorTable& table, std::uint8_t index) {
  compositor.BeginFrame(canvas, frame, table);
  const std::vector<std::uint8_t> row(static_cast<std::size_t>(frame.rect.width), index);
  for (int y = 0; y < frame.rect.height; ++y) compositor.DrawRow(canvas, y, row.data());
}

TEST(GifDisposal, CodesMapToKeepClearAndRestore) {
  EXPECT_EQ(DisposalFromCode(0), GifDisposal::Keep);
  EXPECT_EQ(DisposalFromCode(1), GifDisposal::Keep);
  EXPECT_EQ(DisposalFromCode(2), GifDisposal::Clear);
  EXPECT_EQ(DisposalFromCode(3), GifDisposal::RestorePrevious);
  for (int reserved = 4; reserved <= 7; ++reserved) EXPECT_EQ(DisposalFromCode(reserved), GifDisposal::Keep);
}

TEST(GifClip, RectanglesAreCutToTheScreen) {
  EXPECT_EQ(ClipToScreen({1, 2, 3, 4}, 10, 10), (GifRect{1, 2, 3, 4}));
  EXPECT_EQ(ClipToScreen({8, 8, 5, 5}, 10, 10), (GifRect{8, 8, 2, 2}));
  EXPECT_TRUE(ClipToScreen({10, 0, 5, 5}, 10, 10).Empty());
  EXPECT_TRUE(ClipToScreen({0, 0, 0, 5}, 10, 10).Empty());
  EXPECT_EQ(ClipToScreen({-3, -1, 5, 5}, 10, 10), (GifRect{0, 0, 2, 4}));
  EXPECT_EQ(ClipToScreen({65535, 65535, 65535, 65535}, 70000, 70000), (GifRect{65535, 65535, 4465, 4465}));
}

TEST(GifInterlace, PassesVisitEveryRowOnceInTheStoredOrder) {
  // Height 10: pass 1 rows 0 8, pass 2 row 4, pass 3 rows 2 6, pass 4 rows 1 3 5 7 9.
  const std::vector<int> want{0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(InterlacedRow(i, 10), want[std::size_t(i)]) << "index " << i;
  for (int height = 1; height <= 40; ++height) {
    std::set<int> rows;
    for (int i = 0; i < height; ++i) {
      const int row = InterlacedRow(i, height);
      ASSERT_GE(row, 0);
      ASSERT_LT(row, height) << "height " << height << " index " << i;
      rows.insert(row);
    }
    EXPECT_EQ(rows.size(), std::size_t(height)) << "height " << height;
  }
}

TEST(GifColorTable, HoldsOpaqueBgraWordsAndBlackPastTheTable) {
  const std::vector<GifColor> colors{{0x12, 0x34, 0x56}, {0xFF, 0x80, 0x01}};
  const GifColorTable table = MakeColorTable(colors);
  EXPECT_EQ(table[0], 0xFF123456u);
  EXPECT_EQ(table[1], 0xFFFF8001u);
  EXPECT_EQ(table[2], 0xFF000000u);
  EXPECT_EQ(table[255], 0xFF000000u);
  EXPECT_EQ(MakeColorTable({})[7], 0xFF000000u);
}

TEST(GifCompositeRow, WritesBgraBytesAndSkipsTheTransparentIndex) {
  const GifColorTable table = RgbTable();
  std::vector<std::uint8_t> row(4 * 4, 0xEE);
  const std::uint8_t indices[4] = {0, 1, 2, 1};
  CompositeRow(row.data(), indices, 4, table, 1);
  const std::vector<std::uint8_t> want{0,    0,    255,  255,  0xEE, 0xEE, 0xEE, 0xEE,
                                       255,  0,    0,    255,  0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(row, want);
  CompositeRow(row.data(), indices, 4, table, -1);
  EXPECT_EQ(row[4], 0);
  EXPECT_EQ(row[5], 255);
  EXPECT_EQ(row[7], 255);
}

TEST(GifCompositor, KeepLeavesTheFrameForTheNext) {
  TestCanvas canvas(4, 3);
  const GifColorTable table = RgbTable();
  GifCompositor compositor;
  DrawSolid(compositor, canvas.View(), {{1, 1, 2, 1}, GifDisposal::Keep, -1}, table, 0);
  compositor.Dispose(canvas.View());
  EXPECT_EQ(canvas.At(1, 1), kRed);
  EXPECT_EQ(canvas.At(2, 1), kRed);
  EXPECT_EQ(canvas.At(0, 0), kClear);
}

TEST(GifCompositor, ClearEmptiesOnlyTheFramesRectangle) {
  TestCanvas canvas(4, 3);
  const GifColorTable table = RgbTable();
  GifCompositor compositor;
  DrawSolid(compositor, canvas.View(), {{0, 0, 4, 3}, GifDisposal::Keep, -1}, table, 2);
  compositor.Dispose(canvas.View());
  DrawSolid(compositor, canvas.View(), {{1, 0, 2, 2}, GifDisposal::Clear, -1}, table, 1);
  EXPECT_EQ(canvas.At(1, 0), kGreen);
  compositor.Dispose(canvas.View());
  EXPECT_EQ(canvas.At(1, 0), kClear);
  EXPECT_EQ(canvas.At(2, 1), kClear);
  EXPECT_EQ(canvas.At(0, 0), kBlue);
  EXPECT_EQ(canvas.At(3, 1), kBlue);
  EXPECT_EQ(canvas.At(1, 2), kBlue);
}

TEST(GifCompositor, RestorePreviousPutsBackWhatWasUnderTheFrame) {
  TestCanvas canvas(3, 3);
  const GifColorTable table = RgbTable();
  GifCompositor compositor;
  DrawSolid(compositor, canvas.View(), {{0, 0, 3, 2}, GifDisposal::Keep, -1}, table, 0);
  compositor.Dispose(canvas.View());
  DrawSolid(compositor, canvas.View(), {{1, 1, 2, 2}, GifDisposal::RestorePrevious, -1}, table, 2);
  EXPECT_EQ(canvas.At(2, 2), kBlue);
  compositor.Dispose(canvas.View());
  EXPECT_EQ(canvas.At(1, 1), kRed);
  EXPECT_EQ(canvas.At(2, 1), kRed);
  EXPECT_EQ(canvas.At(1, 2), kClear);  // transparent before the frame, transparent again
  EXPECT_EQ(canvas.At(2, 2), kClear);
}

TEST(GifCompositor, RestorePreviousWorksOnACopiedCanvas) {
  // The decoder disposes onto the next frame's copy, not the frame itself.
  TestCanvas first(2, 1);
  const GifColorTable table = RgbTable();
  GifCompositor compositor;
  DrawSolid(compositor, first.View(), {{0, 0, 2, 1}, GifDisposal::Keep, -1}, table, 1);
  compositor.Dispose(first.View());
  TestCanvas second = first;
  DrawSolid(compositor, second.View(), {{1, 0, 1, 1}, GifDisposal::RestorePrevious, -1}, table, 0);
  TestCanvas third = second;
  compositor.Dispose(third.View());
  EXPECT_EQ(second.At(1, 0), kRed);
  EXPECT_EQ(third.At(1, 0), kGreen);
  EXPECT_EQ(third.At(0, 0), kGreen);
}

TEST(GifCompositor, TransparentPixelsShowTheCanvasBelow) {
  TestCanvas canvas(3, 1);
  const GifColorTable table = RgbTable();
  GifCompositor compositor;
  DrawSolid(compositor, canvas.View(), {{0, 0, 3, 1}, GifDisposal::Keep, -1}, table, 2);
  compositor.Dispose(canvas.View());
  compositor.BeginFrame(canvas.View(), {{0, 0, 3, 1}, GifDisposal::Keep, 3}, table);
  const std::uint8_t row[3] = {3, 0, 3};
  compositor.DrawRow(canvas.View(), 0, row);
  EXPECT_EQ(canvas.At(0, 0), kBlue);
  EXPECT_EQ(canvas.At(1, 0), kRed);
  EXPECT_EQ(canvas.At(2, 0), kBlue);
}

TEST(GifCompositor, FramesReachingPastTheScreenAreClipped) {
  TestCanvas canvas(3, 2);
  const GifColorTable table = RgbTable();
  GifCompositor compositor;
  compositor.BeginFrame(canvas.View(), {{2, 1, 3, 3}, GifDisposal::Clear, -1}, table);
  EXPECT_EQ(compositor.Clipped(), (GifRect{2, 1, 1, 1}));
  const std::uint8_t row0[3] = {1, 0, 0};
  const std::uint8_t row1[3] = {2, 2, 2};
  compositor.DrawRow(canvas.View(), 0, row0);
  compositor.DrawRow(canvas.View(), 1, row1);  // below the screen: nothing
  EXPECT_EQ(canvas.At(2, 1), kGreen);
  EXPECT_EQ(canvas.At(1, 1), kClear);
  EXPECT_EQ(canvas.At(2, 0), kClear);
  compositor.Dispose(canvas.View());
  EXPECT_EQ(canvas.At(2, 1), kClear);
}

TEST(GifCompositor, FramesEntirelyOffTheScreenDrawNothing) {
  TestCanvas canvas(2, 2);
  const GifColorTable table = RgbTable();
  GifCompositor compositor;
  DrawSolid(compositor, canvas.View(), {{2, 0, 2, 2}, GifDisposal::RestorePrevious, -1}, table, 0);
  compositor.Dispose(canvas.View());
  for (std::uint32_t p : canvas.pixels) EXPECT_EQ(p, kClear);
}

TEST(GifCompositor, BottomUpCanvasesAreAddressedFromTheTop) {
  // Rows stored last-to-first in memory, as in a PixelImage.
  std::vector<std::uint32_t> memory(2 * 3, 0);
  auto* bytes = reinterpret_cast<std::uint8_t*>(memory.data());
  const BgraCanvas canvas{bytes + 2 * 2 * 4, -2 * 4, 2, 3};
  const GifColorTable table = RgbTable();
  GifCompositor compositor;
  const std::uint8_t row[2] = {0, 1};
  compositor.BeginFrame(canvas, {{0, 0, 2, 1}, GifDisposal::Keep, -1}, table);
  compositor.DrawRow(canvas, 0, row);
  EXPECT_EQ(memory[4], kRed);  // top row is the last in memory
  EXPECT_EQ(memory[5], kGreen);
  EXPECT_EQ(memory[0], kClear);
}

TEST(GifCompositor, DisposeBeforeAnyFrameChangesNothing) {
  TestCanvas canvas(2, 2);
  canvas.pixels.assign(4, kRed);
  GifCompositor compositor;
  compositor.Dispose(canvas.View());
  for (std::uint32_t p : canvas.pixels) EXPECT_EQ(p, kRed);
}

}  // namespace
}  // namespace reelmill
