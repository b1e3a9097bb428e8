#include "imaging/codecs/gif_decoder.h"

#include <algorithm>
#include <cstring>

#include "imaging/codecs/gif_compositor.h"
#include "imaging/codecs/gif_reader.h"

namespace reelmill {

// Counts the bytes of the canvases and kept frames made so far against the limit.
class GifDecoder::FrameBudget {
 public:
  explicit FrameBudget(std::uint64_t limit) : left_(limit) {}
  bool Take(std::uint64_t bytes) {
    if (bytes > left_) return false;
    left_ -= bytes;
    return true;
  }

 private:
  std::uint64_t left_;
};

namespace {

using FrameBudget = GifDecoder::FrameBudget;
constexpr std::uint8_t kOpaque = 255;

bool WithinPixelLimit(long long width, long long height) {
  return width >= 0 && height >= 0 &&
         static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= PixelImage::kMaxPixels;
}

const std::vector<GifColor>& ColorsFor(const GifImageHeader& image, const GifScreen& screen) {
  return image.localColors.empty() ? screen.colors : image.localColors;
}

GifFrameLayout LayoutOf(const GifImageHeader& image) {
  return GifFrameLayout{image.rect, DisposalFromCode(image.disposalCode), image.transparentIndex};
}

int StreamRowToImageRow(const GifImageHeader& image, int index) {
  return image.interlaced ? InterlacedRow(index, image.rect.height) : index;
}

BgraCanvas CanvasOf(PixelImage& image) {
  // Rows are bottom-up in memory: each row lies one stride below the one above.
  return BgraCanvas{image.Row(0), -static_cast<std::ptrdiff_t>(image.Stride()), image.Width(), image.Height()};
}

std::unique_ptr<PixelImage> NewImage(int width, int height, int bitCount, FrameBudget& budget) {
  const std::uint64_t bytes = PixelImage::StrideFor(width, bitCount) * static_cast<std::uint64_t>(height);
  if (!budget.Take(bytes)) return nullptr;
  auto image = std::make_unique<PixelImage>();
  if (!image->Create(width, height, bitCount)) return nullptr;
  return image;
}

// The GIF's colours with an opaque fourth byte; entries past the table are
// opaque black; the transparent index gets 0.
void SetFramePalette(PixelImage& image, const std::vector<GifColor>& colors, int transparentIndex) {
  auto palette = image.Palette();
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const GifColor c = i < colors.size() ? colors[i] : GifColor{};
    palette[i] = PaletteEntry{c.blue, c.green, c.red, kOpaque};
  }
  if (transparentIndex >= 0 && static_cast<std::size_t>(transparentIndex) < palette.size()) {
    palette[static_cast<std::size_t>(transparentIndex)].reserved = 0;
  }
}

// Decodes the first image into an 8-bit picture of the whole screen, which
// holds the image's rectangle by the screen policy.
bool DecodeFirstImage(GifReader& reader, const GifImageHeader& first, const GifScreen& screen, PixelImage& image) {
  SetFramePalette(image, ColorsFor(first, screen), first.transparentIndex);
  const GifRect& rect = first.rect;
  const bool coversScreen =
      rect.left == 0 && rect.top == 0 && rect.width == image.Width() && rect.height == image.Height();
  const int outside = first.transparentIndex >= 0 ? first.transparentIndex : screen.backgroundIndex;
  if (!coversScreen && outside != 0) std::memset(image.Bits(), outside, image.BufferSize());
  if (rect.Empty()) return true;
  for (int i = 0; i < rect.height; ++i) {
    std::uint8_t* row = image.Row(rect.top + StreamRowToImageRow(first, i)) + rect.left;
    if (!reader.ReadRow({row, static_cast<std::size_t>(rect.width)})) return false;
  }
  return true;
}

// Decodes the current image row by row onto `canvas`; false when its data is
// damaged.
bool DrawImage(GifReader& reader, const GifImageHeader& image, const GifCompositor& compositor,
               const BgraCanvas& canvas, std::vector<std::uint8_t>& row) {
  if (image.rect.Empty()) return true;
  row.resize(static_cast<std::size_t>(image.rect.width));
  for (int i = 0; i < image.rect.height; ++i) {
    if (!reader.ReadRow(row)) return false;
    compositor.DrawRow(canvas, StreamRowToImageRow(image, i), row.data());
  }
  return true;
}

}  // namespace

std::uint64_t GifDecoder::WorkingBytes(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  const auto rows = static_cast<std::uint64_t>(height);
  return PixelImage::StrideFor(width, 8) * rows + 2 * PixelImage::StrideFor(width, 32) * rows;
}

bool GifDecoder::Decode(std::span<const std::uint8_t> data, Result& result) const {
  result = Result{};
  // Working canvases and kept frames share one budget.
  FrameBudget budget(maxDecodedBytes_);
  Result kept;
  const bool ok = DecodeFrames(data, budget, [&](const PixelImage& frame, int delay) {
    if (!budget.Take(frame.BufferSize())) return false;
    auto copy = std::make_unique<PixelImage>(frame);
    if (copy->IsEmpty()) return false;
    kept.frames.push_back(std::move(copy));
    kept.delaysCentiseconds.push_back(delay);
    return true;
  });
  if (ok) result = std::move(kept);
  return ok;
}

bool GifDecoder::DecodeEach(std::span<const std::uint8_t> data, const FrameSink& sink) const {
  FrameBudget budget(maxDecodedBytes_);
  return DecodeFrames(data, budget, sink);
}

bool GifDecoder::DecodeFrames(std::span<const std::uint8_t> data, FrameBudget& budget, const FrameSink& sink) const {
  GifReader reader(data);
  if (!reader.Open()) return false;
  GifImageHeader first;
  if (!reader.NextImage(first)) return false;
  const GifScreen& screen = reader.Screen();
  const int width = std::max(screen.width, first.rect.Right());
  const int height = std::max(screen.height, first.rect.Bottom());
  if (width <= 0 || height <= 0 || !WithinPixelLimit(width, height) ||
      !WithinPixelLimit(first.rect.width, first.rect.height)) {
    return false;
  }

  auto indexed = NewImage(width, height, 8, budget);
  if (!indexed || !DecodeFirstImage(reader, first, screen, *indexed)) return false;
  GifImageHeader current;
  if (!reader.NextImage(current)) return sink(*indexed, first.delayCentiseconds);

  // An animation: the first frame goes onto a transparent canvas, and every
  // later frame starts from the one before after its disposal.
  GifCompositor compositor;
  GifColorTable table = MakeColorTable(ColorsFor(first, screen));
  auto firstFrame = NewImage(width, height, 32, budget);
  auto canvas = NewImage(width, height, 32, budget);
  if (!firstFrame || !canvas) return false;
  {
    const BgraCanvas view = CanvasOf(*firstFrame);
    compositor.BeginFrame(view, LayoutOf(first), table);
    for (int y = 0; y < first.rect.height; ++y) {
      compositor.DrawRow(view, y, indexed->Row(first.rect.top + y) + first.rect.left);
    }
  }
  std::memcpy(canvas->Bits(), firstFrame->Bits(), canvas->BufferSize());

  std::vector<std::uint8_t> row;
  int delivered = 0;
  for (;;) {
    if (!WithinPixelLimit(current.rect.width, current.rect.height)) return false;
    const BgraCanvas view = CanvasOf(*canvas);
    compositor.Dispose(view);
    table = MakeColorTable(ColorsFor(current, screen));
    compositor.BeginFrame(view, LayoutOf(current), table);
    if (!DrawImage(reader, current, compositor, view, row)) break;  // damaged: dropped with the rest
    if (delivered == 0) {
      // The second image decoded, so the file is an animation after all.
      if (!sink(*firstFrame, first.delayCentiseconds)) return false;
      firstFrame.reset();
      indexed.reset();
      ++delivered;
    }
    if (!sink(*canvas, current.delayCentiseconds)) return false;
    ++delivered;
    if (!reader.NextImage(current)) break;
  }
  // Only the first image survived: the file shows one picture.
  if (delivered == 0) return sink(*indexed, first.delayCentiseconds);
  return true;
}

}  // namespace reelmill
