#include "imaging/codecs/gif_compositor.h"

#include <algorithm>
#include <cstring>

namespace reelmill {

namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;
constexpr std::size_t kBytesPerPixel = 4;

}  // namespace

GifRect ClipToScreen(const GifRect& rect, int screenWidth, int screenHeight) {
  // 64-bit edges: a hostile rectangle near the 16-bit limits cannot overflow.
  const long long left = std::max<long long>(rect.left, 0);
  const long long top = std::max<long long>(rect.top, 0);
  const long long right = std::min<long long>(static_cast<long long>(rect.left) + rect.width, screenWidth);
  const long long bottom = std::min<long long>(static_cast<long long>(rect.top) + rect.height, screenHeight);
  if (right <= left || bottom <= top) return GifRect{};
  return GifRect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                 static_cast<int>(bottom - top)};
}

GifDisposal DisposalFromCode(int code) {
  switch (code) {
    case 2: return GifDisposal::Clear;
    case 3: return GifDisposal::RestorePrevious;
    default: return GifDisposal::Keep;
  }
}

GifColorTable MakeColorTable(std::span<const GifColor> colors) {
  GifColorTable table;
  table.fill(kOpaque);
  const std::size_t count = std::min(colors.size(), table.size());
  for (std::size_t i = 0; i < count; ++i) {
    const GifColor& c = colors[i];
    table[i] = kOpaque | std::uint32_t{c.red} << 16 | std::uint32_t{c.green} << 8 | c.blue;
  }
  return table;
}

int InterlacedRow(int index, int height) {
  const int pass1 = (height + 7) / 8;  // rows 0, 8, 16, ...
  if (index < pass1) return index * 8;
  index -= pass1;
  const int pass2 = (height + 3) / 8;  // rows 4, 12, 20, ...
  if (index < pass2) return index * 8 + 4;
  index -= pass2;
  const int pass3 = (height + 1) / 4;  // rows 2, 6, 10, ...
  if (index < pass3) return index * 4 + 2;
  index -= pass3;
  return index * 2 + 1;  // rows 1, 3, 5, ...
}

void CompositeRow(std::uint8_t* dst, const std::uint8_t* indices, int count, const GifColorTable& table,
                  int transparentIndex) {
  if (transparentIndex < 0 || transparentIndex > 255) {
    for (int x = 0; x < count; ++x) {
      std::memcpy(dst + x * kBytesPerPixel, &table[indices[x]], kBytesPerPixel);
    }
    return;
  }
  // Every pixel is written, the old one where the index is transparent: a
  // select instead of a branch that dithered images make unpredictable.
  const auto skip = static_cast<std::uint8_t>(transparentIndex);
  for (int x = 0; x < count; ++x) {
    const std::uint8_t index = indices[x];
    std::uint32_t pixel;
    std::memcpy(&pixel, dst + x * kBytesPerPixel, kBytesPerPixel);
    pixel = index != skip ? table[index] : pixel;
    std::memcpy(dst + x * kBytesPerPixel, &pixel, kBytesPerPixel);
  }
}

void GifCompositor::BeginFrame(const BgraCanvas& canvas, const GifFrameLayout& frame, const GifColorTable& table) {
  rect_ = frame.rect;
  clipped_ = ClipToScreen(frame.rect, canvas.width, canvas.height);
  disposal_ = frame.disposal;
  transparentIndex_ = frame.transparentIndex;
  table_ = &table;
  saved_.clear();
  if (disposal_ != GifDisposal::RestorePrevious || clipped_.Empty()) return;
  const std::size_t rowBytes = static_cast<std::size_t>(clipped_.width) * kBytesPerPixel;
  saved_.resize(rowBytes * static_cast<std::size_t>(clipped_.height));
  for (int y = 0; y < clipped_.height; ++y) {
    std::memcpy(saved_.data() + rowBytes * static_cast<std::size_t>(y),
                canvas.Row(clipped_.top + y) + static_cast<std::size_t>(clipped_.left) * kBytesPerPixel, rowBytes);
  }
}

void GifCompositor::DrawRow(const BgraCanvas& canvas, int frameRow, const std::uint8_t* indices) const {
  if (table_ == nullptr || clipped_.Empty()) return;
  const long long y = static_cast<long long>(rect_.top) + frameRow;
  if (y < clipped_.top || y >= clipped_.Bottom()) return;
  const int skipped = clipped_.left - rect_.left;  // pixels of the row left of the screen
  CompositeRow(canvas.Row(static_cast<int>(y)) + static_cast<std::size_t>(clipped_.left) * kBytesPerPixel,
               indices + skipped, clipped_.width, *table_, transparentIndex_);
}

void GifCompositor::Dispose(const BgraCanvas& canvas) const {
  if (table_ == nullptr || clipped_.Empty()) return;
  const std::size_t rowBytes = static_cast<std::size_t>(clipped_.width) * kBytesPerPixel;
  const std::size_t offset = static_cast<std::size_t>(clipped_.left) * kBytesPerPixel;
  switch (disposal_) {
    case GifDisposal::Keep: return;
    case GifDisposal::Clear:
      for (int y = 0; y < clipped_.height; ++y) std::memset(canvas.Row(clipped_.top + y) + offset, 0, rowBytes);
      return;
    case GifDisposal::RestorePrevious:
      for (int y = 0; y < clipped_.height; ++y) {
        std::memcpy(canvas.Row(clipped_.top + y) + offset, saved_.data() + rowBytes * static_cast<std::size_t>(y),
                    rowBytes);
      }
      return;
  }
}

}  // namespace reelmill
