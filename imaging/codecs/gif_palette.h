#pragma once
// Turning true-colour pixels into at most 256 palette entries for the GIF
// encoder: an exact palette when the picture holds few enough colours,
// otherwise one chosen by libimagequant with dithering.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "imaging/codecs/gif_compositor.h"

namespace reelmill {

// One picture as the GIF encoder takes it.
struct GifIndexedImage {
  int width = 0;
  int height = 0;
  std::vector<GifColor> colors;       // 1 to 256 entries
  int transparentIndex = -1;          // -1: none
  std::vector<std::uint8_t> indices;  // width * height, top row first
};

// Pixels as red, green, blue, alpha bytes, top row first, whose alpha is
// either 0 (transparent) or 255.
struct RgbaPixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bytes;
};

// Pixels whose alpha is below this count as transparent in a GIF.
inline constexpr std::uint8_t kGifAlphaThreshold = 128;

// The palette of every distinct colour, in order of first appearance, when
// there are at most 256 (all transparent pixels share one entry); nullopt
// when there are more.
std::optional<GifIndexedImage> ExactPalette(const RgbaPixels& pixels);

// A palette of at most 256 entries chosen by libimagequant, pixels remapped
// with dithering; transparent pixels keep one entry of their own. nullopt
// when the library fails.
std::optional<GifIndexedImage> QuantizedPalette(const RgbaPixels& pixels);

}  // namespace reelmill
