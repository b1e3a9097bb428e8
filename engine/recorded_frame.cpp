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

PixelImage ScaledForRecording(const PixelImage& frame, int outputWidth, int outputHeight) {
  PixelImage scaled = ToTrueColour(frame);
  ScaleImage(scaled, outputWidth, outputHeight);
  return scaled;
}

}  // namespace reelmill
