#pragma once
// Bicubic scaling of frames for the single-image export and for recording at
// a declared size other than the GIF's own.

#include "imaging/pixel_image.h"

namespace reelmill {

// Scales `image` to width x height with a bicubic filter. Nothing happens for
// an empty image, a target below 1 x 1, or an image of fewer than 16 bits per
// pixel (those keep their own size). The edges are replicated 10 pixels out
// first, so the filter finds real pixels beyond them.
void ScaleImage(PixelImage& image, int width, int height);

// A 24-bit copy of an image of 16 bits or fewer (palette and masks applied);
// 24- and 32-bit images are copied as they are.
PixelImage ToTrueColour(const PixelImage& image);

}  // namespace reelmill
