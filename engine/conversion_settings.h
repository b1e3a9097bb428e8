#pragma once
// The options every conversion and export reads.

#include <string>
#include <string_view>

namespace reelmill {

// Output kinds, compared as exact, case-sensitive text.
inline constexpr std::string_view kOutputSwf = "Flash(SWF)";
inline constexpr std::string_view kOutputAvi = "Video(AVI)";
inline constexpr std::string_view kOutputSequence = "Image Sequence";
// Made straight from the decoded frames at full speed, each frame for its
// own time (no frame rate applies).
inline constexpr std::string_view kOutputMp4 = "Video(MP4)";
inline constexpr std::string_view kOutputWebm = "Video(WebM)";
inline constexpr std::string_view kOutputWebp = "Animated WebP";

struct ConversionSettings {
  std::string outputKind;           // one of the kinds above
  std::string imageFormat = "BMP";  // "BMP", "TGA", "JPG", "GIF", "PNG" or "TIFF"
  int frameRate = 10;               // frames per second of AVI and SWF output
  std::string outputFolder;         // ends in '/'
  bool showOutputFolder = true;
  bool playWhenDone = true;
  int width = 0;  // declared output size; 0 means the GIF's own size
  int height = 0;
  int quality = 100;  // JPEG quality of recorded frames, 10..100
};

// A frame rate below 1 is taken as 1, so no writer divides by zero.
inline int EffectiveFrameRate(int frameRate) { return frameRate < 1 ? 1 : frameRate; }

}  // namespace reelmill
