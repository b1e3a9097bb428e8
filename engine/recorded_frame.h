#pragma once
// How a frame becomes a recorded JPEG file, shared by the frame recorder and
// the streaming recording pass so both write the same bytes.

#include <optional>

#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"

namespace reelmill {

// The save options of a recorded frame: QualityKey = the quality in decimal.
ImageProperties RecordingProperties(int jpegQuality);

// True when the declared size is set (both sides above 0) and differs from
// the frame's own; such frames are recorded scaled.
bool NeedsScaling(const PixelImage& frame, int outputWidth, int outputHeight);

// A true-colour copy of `frame` scaled (bicubic) to the declared size, or
// nullopt when it cannot be made (a size above the pixel limit, no memory):
// a frame of another size must never pass for one of the declared size.
std::optional<PixelImage> ScaledForRecording(const PixelImage& frame, int outputWidth, int outputHeight);

// Whether frames can be recorded at the declared size at all (0 x 0: the
// GIF's own size, always).
bool DeclaredSizeFits(int outputWidth, int outputHeight);

}  // namespace reelmill
