#pragma once
// The one place that talks to giflib's encoder: writes one indexed picture as
// a GIF file.

#include <string>

#include "imaging/codecs/gif_palette.h"

namespace reelmill {

// GIF stores widths and heights in 16 bits.
inline constexpr int kMaxGifDimension = 65535;

// Writes `image` as a single-image GIF (a graphic control extension names the
// transparent index when there is one). The file at `path` is replaced only
// by a complete new file; false when the image is not writable as a GIF
// (size outside 1..65535, 0 or more than 256 colours, indices missing or out
// of range) or when writing fails.
bool WriteGifFile(const std::string& path, const GifIndexedImage& image);

}  // namespace reelmill
