// The compositor on its own, on small BGRA buffers.

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "imaging/codecs/gif_compositor.h"

namespace reelmill {
namespace {

constexpr std::uint32_t R = 0xFFFF0000u, G = 0xFF00FF00u, B = 0xFF0000FFu, T = 0;

// A top-down canvas of packed BGRA words.
struct TestCanvas {
  TestCanvas(int w, int h) : width(w), pixels(std::size_t(w) * std::size_t(h), 0) {}
  BgraCanvas View() {
    const int height = static_cast<int>(pixels.size()) / width;
    return BgraCanvas{reinterpret_cast<std::uint8_t*>(pixels.data()), std::ptrdiff_t(width) * 4, width, height};
  }
  int width;
  std::vector<std::uint32_t> pixels;
};

const GifColorTable kTable = MakeColorTable(std::vector<GifColor>{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}});

// Begins a frame and draws it with rows of `indices` (one row, repeated).
void Draw(GifCompositor& compositor, const BgraCanvas& canvas, GifRect rect, int disposalCode,
          std::vector<std::uint8_t> indices, int transparent = -1) {
  compositor.BeginFrame(canvas, {rect, DisposalFromCode(disposalCode), transparent}, kTable);
  for (int y = 0; y < rect.height; ++y) compositor.DrawRow(canvas, y, indices.data());
}

TEST(GifCompositor, DisposalsKeepClearAndRestoreOnTheNextFramesCopy) {
  // As the decoder does it: each frame starts as a copy of the one before,
  // and the disposal of the earlier frame is applied to that copy.
  GifCompositor compositor;
  TestCanvas frame(4, 1);
  const auto next = [&] {
    TestCanvas copy = frame;
    compositor.Dispose(copy.View());
    return copy;
  };
  compositor.Dispose(frame.View());  // before any frame: nothing
  Draw(compositor, frame.View(), {0, 0, 4, 1}, 0, {2, 2, 2, 2});
  EXPECT_EQ(frame.pixels, (std::vector<std::uint32_t>{B, B, B, B}));
  frame = next();
  Draw(compositor, frame.View(), {0, 0, 1, 1}, 1, {0});
  frame = next();
  Draw(compositor, frame.View(), {1, 0, 2, 1}, 2, {1, 1});
  EXPECT_EQ(frame.pixels, (std::vector<std::uint32_t>{R, G, G, B}));
  frame = next();
  EXPECT_EQ(frame.pixels, (std::vector<std::uint32_t>{R, T, T, B})) << "code 2 clears to transparent";
  Draw(compositor, frame.View(), {1, 0, 3, 1}, 3, {0, 0, 0});
  const TestCanvas drawn = frame;
  frame = next();
  EXPECT_EQ(drawn.pixels, (std::vector<std::uint32_t>{R, R, R, R}));
  EXPECT_EQ(frame.pixels, (std::vector<std::uint32_t>{R, T, T, B})) << "code 3 restores what was under the frame";
  for (int reserved = 4; reserved <= 7; ++reserved) EXPECT_EQ(DisposalFromCode(reserved), GifDisposal::Keep);
}

TEST(GifCompositor, TransparentPixelsLeaveTheCanvasAndFramesAreClippedToTheScreen) {
  TestCanvas canvas(3, 2);
  canvas.pixels.assign(6, B);
  GifCompositor compositor;
  // 3 x 3 at (1, 1): only its top-left 2 x 1 lies on the screen.
  Draw(compositor, canvas.View(), {1, 1, 3, 3}, 2, {0, 1, 0}, 0);
  EXPECT_EQ(compositor.Clipped(), (GifRect{1, 1, 2, 1}));
  EXPECT_EQ(canvas.pixels, (std::vector<std::uint32_t>{B, B, B, B, B, G}));
  compositor.Dispose(canvas.View());
  EXPECT_EQ(canvas.pixels, (std::vector<std::uint32_t>{B, B, B, B, T, T}));
  Draw(compositor, canvas.View(), {3, 0, 2, 2}, 2, {0, 0});  // wholly off the screen
  compositor.Dispose(canvas.View());
  EXPECT_EQ(canvas.pixels, (std::vector<std::uint32_t>{B, B, B, B, T, T}));
  EXPECT_EQ(ClipToScreen({65535, 65535, 65535, 65535}, 70000, 70000), (GifRect{65535, 65535, 4465, 4465}));
}

TEST(GifCompositor, BottomUpCanvasesAreAddressedFromTheTop) {
  std::vector<std::uint32_t> memory(2 * 3, 0);
  auto* bytes = reinterpret_cast<std::uint8_t*>(memory.data());
  const BgraCanvas canvas{bytes + 2 * 2 * 4, -2 * 4, 2, 3};  // the top row is the last in memory
  GifCompositor compositor;
  Draw(compositor, canvas, {0, 0, 2, 1}, 0, {0, 1});
  EXPECT_EQ(memory, (std::vector<std::uint32_t>{T, T, T, T, R, G}));
  // Colour tables are BGRA words in memory: blue, green, red, alpha bytes.
  EXPECT_EQ(bytes[16], 0);
  EXPECT_EQ(bytes[18], 255);
  EXPECT_EQ(bytes[19], 255);
  EXPECT_EQ(kTable[3], 0xFF000000u) << "indices past the table are opaque black";
}

TEST(GifInterlace, PassesVisitEveryRowOnceInTheStoredOrder) {
  // Height 10: rows 0 8 (every 8th), 4, 2 6 (every 4th from 2), then the odd rows.
  const std::vector<int> want{0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(InterlacedRow(i, 10), want[std::size_t(i)]) << "index " << i;
  for (int height = 1; height <= 40; ++height) {
    std::set<int> rows;
    for (int i = 0; i < height; ++i) rows.insert(InterlacedRow(i, height));
    EXPECT_EQ(rows.size(), std::size_t(height)) << "height " << height;
    EXPECT_EQ(*rows.begin(), 0);
    EXPECT_EQ(*rows.rbegin(), height - 1);
  }
}

}  // namespace
}  // namespace reelmill
