#include "imaging/codecs/gif_encoder.h"

#include <algorithm>
#include <bit>

namespace reelmill {

namespace {

constexpr std::uint8_t kPaletteOpaque = 255;
constexpr std::uint8_t kPaletteTransparent = 0;

// The first entry with fourth byte 0, when the palette also has entries
// with 255; otherwise the fourth bytes say nothing about transparency.
int TransparentPaletteIndex(std::span<const PaletteEntry> palette) {
  const bool anyOpaque =
      std::any_of(palette.begin(), palette.end(), [](const PaletteEntry& e) { return e.reserved == kPaletteOpaque; });
  if (!anyOpaque) return -1;
  const auto it = std::find_if(palette.begin(), palette.end(),
                               [](const PaletteEntry& e) { return e.reserved == kPaletteTransparent; });
  return it == palette.end() ? -1 : static_cast<int>(it - palette.begin());
}

GifIndexedImage FromPaletteImage(const PixelImage& image) {
  GifIndexedImage out;
  out.width = image.Width();
  out.height = image.Height();
  const auto palette = image.Palette();
  out.colors.reserve(palette.size());
  for (const PaletteEntry& e : palette) out.colors.push_back(GifColor{e.red, e.green, e.blue});
  out.transparentIndex = TransparentPaletteIndex(palette);
  out.indices.resize(std::size_t(out.width) * std::size_t(out.height));
  const int bits = image.BitCount();
  std::uint8_t* dst = out.indices.data();
  for (int y = 0; y < out.height; ++y) {
    const std::uint8_t* row = image.Row(y);
    if (bits == 8) {
      std::copy(row, row + out.width, dst);
    } else if (bits == 4) {
      for (int x = 0; x < out.width; ++x) dst[x] = (x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4;
    } else {
      for (int x = 0; x < out.width; ++x) dst[x] = (row[x / 8] >> (7 - x % 8)) & 1;
    }
    dst += out.width;
  }
  return out;
}

// One colour channel of a 16-bit pixel, widened to 8 bits.
class MaskChannel {
 public:
  explicit MaskChannel(std::uint32_t mask)
      : mask_(mask), shift_(mask ? std::countr_zero(mask) : 0), max_(mask ? mask >> shift_ : 0) {}
  std::uint8_t operator()(std::uint32_t pixel) const {
    if (max_ == 0) return 0;
    const std::uint32_t v = (pixel & mask_) >> shift_;
    return static_cast<std::uint8_t>((v * 255 + max_ / 2) / max_);
  }

 private:
  std::uint32_t mask_;
  int shift_;
  std::uint32_t max_;
};

}  // namespace

RgbaPixels ToRgba(const PixelImage& image) {
  RgbaPixels out;
  const int bits = image.BitCount();
  if (image.IsEmpty() || (bits != 16 && bits != 24 && bits != 32)) return out;
  out.width = image.Width();
  out.height = image.Height();
  out.bytes.resize(std::size_t(out.width) * std::size_t(out.height) * 4);
  std::uint8_t* dst = out.bytes.data();
  const MaskChannel red(image.RedMask()), green(image.GreenMask()), blue(image.BlueMask());
  for (int y = 0; y < out.height; ++y) {
    const std::uint8_t* src = image.Row(y);
    for (int x = 0; x < out.width; ++x, dst += 4) {
      if (bits == 32) {
        const std::uint8_t* p = src + x * 4;
        if (p[3] < kGifAlphaThreshold) {
          dst[0] = dst[1] = dst[2] = dst[3] = 0;
        } else {
          dst[0] = p[2];
          dst[1] = p[1];
          dst[2] = p[0];
          dst[3] = 255;
        }
      } else if (bits == 24) {
        const std::uint8_t* p = src + x * 3;
        dst[0] = p[2];
        dst[1] = p[1];
        dst[2] = p[0];
        dst[3] = 255;
      } else {
        const std::uint32_t pixel = std::uint32_t{src[x * 2]} | std::uint32_t{src[x * 2 + 1]} << 8;
        dst[0] = red(pixel);
        dst[1] = green(pixel);
        dst[2] = blue(pixel);
        dst[3] = 255;
      }
    }
  }
  return out;
}

std::optional<GifIndexedImage> ToGifIndexed(const PixelImage& image) {
  if (image.IsEmpty()) return std::nullopt;
  switch (image.BitCount()) {
    case 1:
    case 4:
    case 8: return FromPaletteImage(image);
    case 16:
    case 24:
    case 32: {
      const RgbaPixels pixels = ToRgba(image);
      if (auto exact = ExactPalette(pixels)) return exact;
      return QuantizedPalette(pixels);
    }
    default: return std::nullopt;
  }
}

}  // namespace reelmill
