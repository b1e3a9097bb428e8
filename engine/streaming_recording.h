#pragma once
// Records one pass of a GIF straight from its decoder: each frame is encoded
// as it is composited and then dropped, so memory stays at a few frames and
// no page of a whole-animation frame set is ever touched. The numbered files
// are exactly those a frame recorder pass leaves (same frames, same numbers,
// same JPEG bytes). Where that cannot be promised without holding the frames
// (damaged data, frames the walk alone cannot vouch for) it declines and the
// caller takes the frame recorder's road.

#include <optional>
#include <string>

namespace reelmill {

struct StreamingOptions {
  std::string workFolder;  // the temporary frame folder lives under it
  int jpegQuality = 100;
  int outputWidth = 0;  // declared size; 0 x 0: the GIF's own
  int outputHeight = 0;
  int encoderThreads = 1;  // 1: encode on the decoding thread
};

struct StreamingOutcome {
  int frames = 0;      // frames of one pass (a still counts twice)
  int totalSteps = 0;  // steps of one pass
  int failures = 0;    // frames that could not be written
  int width = 0;       // the frames' own size
  int height = 0;
};

// The outcome, or nullopt when the fast road does not apply; the temporary
// folder may then hold files and must be emptied before another pass.
std::optional<StreamingOutcome> RecordStreaming(const std::string& gifPath, const StreamingOptions& options);

}  // namespace reelmill
