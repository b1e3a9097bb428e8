#include "engine/recorded_frame.h"

#include <string>

#include "engine/scale_image.h"

namespace reelmill {

ImageProperties RecordingProperties(int jpegQuality) {
  ImageProperties properties;
  properties.Set(QualityKey, std::to_string(jpegQuality));
  return properties;
}

bool NeedsScaling(const PixelImage& frame, int outputWidth, int outputHeight) {
  return outputWidth > 0 && outputHeight > 0 && (outputWidth != frame.Width() || outputHeight != frame.Height());
}

std::optional<PixelImage> ScaledForRecording(const PixelImage& frame, int outputWidth, int outputHeight) {
  PixelImage scaled = ToTrueColour(frame);
  ScaleImage(scaled, outputWidth, outputHeight);
  if (scaled.Width() != outputWidth || scaled.Height() != outputHeight) return std::nullopt;
  return scaled;
}

bool DeclaredSizeFits(int outputWidth, int outputHeight) {
  if (outputWidth <= 0 || outputHeight <= 0) return true;
  return static_cast<std::uint64_t>(outputWidth) * static_cast<std::uint64_t>(outputHeight) <= PixelImage::kMaxPixels;
}

}  // namespace reelmill
