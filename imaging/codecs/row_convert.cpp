#include "imaging/codecs/row_convert.h"

#include <bit>
#include <cstring>
#include <utility>

namespace reelmill {

MaskChannel::MaskChannel(std::uint32_t mask) : mask_(mask) {
  if (mask == 0) return;
  shift_ = std::countr_zero(mask);
  maxValue_ = mask >> shift_;
}

std::uint8_t MaskChannel::operator()(std::uint32_t pixel) const {
  if (maxValue_ == 0) return 0;
  const std::uint64_t value = (pixel & mask_) >> shift_;
  return static_cast<std::uint8_t>((value * 255 + maxValue_ / 2) / maxValue_);
}

namespace {

void Row16ToChannels(const PixelImage& image, int y, std::uint8_t* out, bool withAlpha) {
  const MaskChannel red(image.RedMask());
  const MaskChannel green(image.GreenMask());
  const MaskChannel blue(image.BlueMask());
  const std::uint8_t* row = image.Row(y);
  for (int x = 0; x < image.Width(); ++x) {
    const std::uint32_t word = row[2 * x] | (row[2 * x + 1] << 8);
    *out++ = blue(word);
    *out++ = green(word);
    *out++ = red(word);
    if (withAlpha) *out++ = 0xFF;
  }
}

}  // namespace

void RowToBgr(const PixelImage& image, int y, std::uint8_t* out) {
  const std::uint8_t* row = image.Row(y);
  const int width = image.Width();
  switch (image.BitCount()) {
    case 24: std::memcpy(out, row, static_cast<std::size_t>(width) * 3); return;
    case 32:
      for (int x = 0; x < width; ++x, out += 3) std::memcpy(out, row + 4 * x, 3);
      return;
    case 16: Row16ToChannels(image, y, out, false); return;
    default: {
      const auto palette = image.Palette();
      for (int x = 0; x < width; ++x, out += 3) {
        const PaletteEntry& entry = palette[PaletteIndexAt(row, image.BitCount(), x)];
        out[0] = entry.blue;
        out[1] = entry.green;
        out[2] = entry.red;
      }
    }
  }
}

void RowToBgra(const PixelImage& image, int y, std::uint8_t* out) {
  const std::uint8_t* row = image.Row(y);
  const int width = image.Width();
  switch (image.BitCount()) {
    case 32: std::memcpy(out, row, static_cast<std::size_t>(width) * 4); return;
    case 24:
      for (int x = 0; x < width; ++x, out += 4) {
        std::memcpy(out, row + 3 * x, 3);
        out[3] = 0xFF;
      }
      return;
    case 16: Row16ToChannels(image, y, out, true); return;
    default: {
      const auto palette = image.Palette();
      for (int x = 0; x < width; ++x, out += 4) {
        const PaletteEntry& entry = palette[PaletteIndexAt(row, image.BitCount(), x)];
        out[0] = entry.blue;
        out[1] = entry.green;
        out[2] = entry.red;
        out[3] = entry.reserved;
      }
    }
  }
}

void SwapRedBlue(std::uint8_t* pixels, int count, int channels) {
  for (int i = 0; i < count; ++i, pixels += channels) std::swap(pixels[0], pixels[2]);
}

namespace {

using Bytes16 = std::uint8_t __attribute__((vector_size(16)));
using Words16 = std::uint32_t __attribute__((vector_size(16)));

// Red and blue of little-endian BGRA words swapped: one word, or four in a
// vector register (plain SSE2 on x86-64; -O2 alone would leave the loops
// scalar).
template <typename Word>
Word SwappedRedBlue(Word p) {
  return (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
}

std::uint32_t LoadWord(const std::uint8_t* at) {
  std::uint32_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

}  // namespace

void CopySwappingRedBlue(const std::uint8_t* in, std::uint8_t* out, int count, int channels) {
  if (channels == 4) {
    int i = 0;
    for (; i + 4 <= count; i += 4) {
      Words16 p;
      std::memcpy(&p, in + 4 * i, sizeof p);
      p = SwappedRedBlue(p);
      std::memcpy(out + 4 * i, &p, sizeof p);
    }
    for (; i < count; ++i) {
      const std::uint32_t p = SwappedRedBlue(LoadWord(in + 4 * i));
      std::memcpy(out + 4 * i, &p, sizeof p);
    }
    return;
  }
  for (int i = 0; i < count; ++i, in += channels, out += channels) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
  }
}

void PredictedRgbaRow(const std::uint8_t* in, std::uint8_t* out, int width) {
  if (width <= 0) return;
  CopySwappingRedBlue(in, out, 1, 4);
  int x = 1;
  for (; x + 4 <= width; x += 4) {
    Bytes16 now, before;
    std::memcpy(&now, in + 4 * x, sizeof now);
    std::memcpy(&before, in + 4 * (x - 1), sizeof before);
    const Words16 p = SwappedRedBlue(reinterpret_cast<Words16>(now - before));
    std::memcpy(out + 4 * x, &p, sizeof p);
  }
  for (; x < width; ++x) {
    // Byte-wise differences, so that no borrow crosses from one sample to the next.
    std::uint8_t difference[4];
    for (int b = 0; b < 4; ++b) difference[b] = static_cast<std::uint8_t>(in[4 * x + b] - in[4 * x - 4 + b]);
    const std::uint32_t p = SwappedRedBlue(LoadWord(difference));
    std::memcpy(out + 4 * x, &p, sizeof p);
  }
}

void PredictRow(std::uint8_t* row, std::size_t bytes, std::size_t channels) {
  for (std::size_t i = bytes; i-- > channels;) row[i] = static_cast<std::uint8_t>(row[i] - row[i - channels]);
}

}  // namespace reelmill
