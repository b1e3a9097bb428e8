#pragma once
// Compositing of GIF frames onto the logical screen, on plain 32-bit BGRA
// rows: colour tables, one row of indices at a time, and what each frame
// leaves behind for the next one (its disposal). Knows nothing of giflib or
// of PixelImage, so it can be tested on small buffers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace reelmill {

struct GifColor {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const GifColor&, const GifColor&) = default;
};

// A rectangle on the logical screen, in pixels.
struct GifRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  int Right() const { return left + width; }
  int Bottom() const { return top + height; }
  bool Empty() const { return width <= 0 || height <= 0; }
  friend bool operator==(const GifRect&, const GifRect&) = default;
};

// The part of `rect` that lies on a screen of the given size (possibly empty).
GifRect ClipToScreen(const GifRect& rect, int screenWidth, int screenHeight);

// What happens to a frame's rectangle once the frame has been shown.
enum class GifDisposal {
  Keep,             // codes 0 (unspecified) and 1; the reserved codes 4-7 too
  Clear,            // code 2: back to transparent
  RestorePrevious,  // code 3: back to what was there before the frame
};
GifDisposal DisposalFromCode(int code);

// 256 colours as packed BGRA words (blue in the low byte, alpha 255), ready to
// store into a 32-bit row. Indices past the GIF's table are opaque black, as
// is every entry when the file has no table at all.
using GifColorTable = std::array<std::uint32_t, 256>;
GifColorTable MakeColorTable(std::span<const GifColor> colors);

// Stream row `index` of an interlaced image of `height` rows: which image row
// it fills (passes start at rows 0, 4, 2, 1 with steps 8, 8, 4, 2).
int InterlacedRow(int index, int height);

// Writes `count` pixels of `indices` into the BGRA row `dst`; pixels equal to
// `transparentIndex` (when it is 0..255) leave the row as it was.
void CompositeRow(std::uint8_t* dst, const std::uint8_t* indices, int count, const GifColorTable& table,
                  int transparentIndex);

// A 32-bit canvas seen through its rows: row y from the top starts at
// top + y * step (step is negative for bottom-up images).
struct BgraCanvas {
  std::uint8_t* top = nullptr;
  std::ptrdiff_t step = 0;
  int width = 0;
  int height = 0;

  std::uint8_t* Row(int y) const { return top + static_cast<std::ptrdiff_t>(y) * step; }
};

// One frame as the compositor needs it.
struct GifFrameLayout {
  GifRect rect;  // as stored in the file, before clipping
  GifDisposal disposal = GifDisposal::Keep;
  int transparentIndex = -1;  // -1: none
};

// Draws the frames of one animation in turn. Each frame is drawn onto a canvas
// that already shows the previous frame after that frame's disposal:
//   Dispose(next canvas); BeginFrame(next canvas, ...); DrawRow(...)...
class GifCompositor final {
 public:
  // Starts a frame on `canvas`; for "restore previous" keeps what lies under
  // its rectangle. `table` must outlive the frame.
  void BeginFrame(const BgraCanvas& canvas, const GifFrameLayout& frame, const GifColorTable& table);
  // Draws row `frameRow` (0-based within the frame, full frame width in
  // `indices`) where it falls on the canvas; parts off the screen are skipped.
  void DrawRow(const BgraCanvas& canvas, int frameRow, const std::uint8_t* indices) const;
  // Applies the disposal of the last frame begun to `canvas`, the copy that
  // the next frame starts from. Does nothing before the first frame.
  void Dispose(const BgraCanvas& canvas) const;

  // The last frame's rectangle as clipped to the screen.
  const GifRect& Clipped() const { return clipped_; }

 private:
  GifRect rect_;
  GifRect clipped_;
  GifDisposal disposal_ = GifDisposal::Keep;
  int transparentIndex_ = -1;
  const GifColorTable* table_ = nullptr;
  std::vector<std::uint8_t> saved_;  // rows of the clipped rectangle, top first
};

}  // namespace reelmill
