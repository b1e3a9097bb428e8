#pragma once
// Turning rows of palette and 16-bit images into plain BGR / BGRA bytes, for
// the encoders of formats that cannot store those depths as they are.

#include <cstddef>
#include <cstdint>

#include "imaging/pixel_image.h"

namespace reelmill {

// Palette index of pixel x in a row of 1, 4 or 8 bits per pixel.
inline std::uint8_t PaletteIndexAt(const std::uint8_t* row, int bitCount, int x) {
  switch (bitCount) {
    case 1: return static_cast<std::uint8_t>((row[x >> 3] >> (7 - (x & 7))) & 0x1);
    case 4: return static_cast<std::uint8_t>((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF);
    default: return row[x];
  }
}

// Reads one colour channel of a 16-bit pixel through its mask, scaled to 0..255.
class MaskChannel {
 public:
  explicit MaskChannel(std::uint32_t mask);
  std::uint8_t operator()(std::uint32_t pixel) const;

 private:
  std::uint32_t mask_ = 0;
  int shift_ = 0;
  std::uint32_t maxValue_ = 0;
};

// Writes row y (from the top) of `image` as width x 3 bytes blue, green, red.
// Handles every depth; the fourth byte of 32-bit pixels is dropped.
void RowToBgr(const PixelImage& image, int y, std::uint8_t* out);

// Writes row y as width x 4 bytes blue, green, red, alpha. Palette images take
// the alpha from the entries' fourth byte; 16- and 24-bit pixels are opaque.
void RowToBgra(const PixelImage& image, int y, std::uint8_t* out);

// Swaps the first and third byte of each of `count` pixels of `channels` bytes.
void SwapRedBlue(std::uint8_t* pixels, int count, int channels);
// The same while copying `count` pixels of 3 or 4 channels from `in` to `out`.
void CopySwappingRedBlue(const std::uint8_t* in, std::uint8_t* out, int count, int channels);
// TIFF's horizontal predictor on 8-bit samples, in place: each sample after
// the first pixel becomes its difference from the same sample of the pixel
// before.
void PredictRow(std::uint8_t* row, std::size_t bytes, std::size_t channels);
// A BGRA row of `width` pixels as predicted RGBA samples, in one pass.
void PredictedRgbaRow(const std::uint8_t* in, std::uint8_t* out, int width);

}  // namespace reelmill
