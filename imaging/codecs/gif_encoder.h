#pragma once
// How a PixelImage becomes the one indexed picture of a GIF file.

#include <optional>

#include "imaging/codecs/gif_palette.h"
#include "imaging/pixel_image.h"

namespace reelmill {

// 1/4/8-bit images keep their pixels and palette. When the palette carries
// alpha (some fourth bytes 255, some 0) its first entry with 0 becomes the
// transparent index; a palette whose fourth bytes are all 0 (as BMP files
// give) or all 255 has none.
// 16/24/32-bit images get an exact palette when they hold at most 256
// colours, else a quantised one; in 32-bit images pixels with alpha below 128
// are transparent and share one palette entry.
// nullopt for an empty image or when quantising fails.
std::optional<GifIndexedImage> ToGifIndexed(const PixelImage& image);

// The pixels of a 16/24/32-bit image as RGBA, top row first; alpha is 255,
// or for 32-bit images 0 where the pixel's alpha is below 128 (the colour of
// such pixels is then 0 too).
RgbaPixels ToRgba(const PixelImage& image);

}  // namespace reelmill
