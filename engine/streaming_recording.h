#pragma once
// Records one pass of a GIF straight from its decoder: each frame is encoded
// as it is composited and then dropped, so memory stays at a few frames
// whatever the length of the animation. The numbered files are exactly those
// a frame recorder pass leaves (same frames, same numbers, same JPEG bytes),
// damaged files included: the frames before the damage, with the display
// times the frame recorder gives them.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/memory_budget.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/problem.h"

namespace reelmill {

class FramePack;

struct StreamingOptions {
  std::string workFolder;  // the temporary frame folder lives under it
  int jpegQuality = 100;
  int outputWidth = 0;  // declared size; 0 x 0: the GIF's own
  int outputHeight = 0;
  int encoderThreads = 1;  // 1: encode on the decoding thread
  // A pass of more steps than this is refused as soon as that is certain,
  // before the rest is decoded (0: no limit).
  long long maxSteps = 0;
  // A GIF that plays longer than this many milliseconds (as browsers play
  // it) is refused as soon as that is certain (0: no limit).
  long long maxPlayedMs = 0;
  // When set, a frame that no output frame at this rate shows (on the real
  // timing of a play) is not encoded; its steps still count.
  int realTimeFps = 0;
  // A pass of more frames than this fails at the first one too many (0: no
  // limit): the outputs keep a little for every frame, and a hostile file
  // of millions of tiny frames would otherwise exhaust memory.
  long long maxFrames = 0;
  // Once the frames in `pack` come to more than this many bytes, the pass
  // stops and fails (0: no limit): an output that takes every frame cannot
  // hold them, and each frame kept costs memory.
  std::uint64_t maxPackBytes = 0;
  // The decoder's canvases and the encoders' buffers together stay within
  // this many bytes (RecordingMemory): large frames get fewer encoder
  // threads. The decoder itself never takes more than its own limit.
  std::uint64_t memoryBudget = GifCodec::kMaxDecodedBytes;
  // Checked before each frame; once set, the pass stops and fails.
  const std::atomic<bool>* cancel = nullptr;
  // When set, frames go into this pack by their step instead of into
  // numbered files.
  FramePack* pack = nullptr;
};

struct StreamingOutcome {
  bool ok = false;
  Problem problem;         // why the pass could not be recorded
  bool tooLong = false;    // refused for maxSteps or maxPlayedMs
  bool packFull = false;   // refused for maxPackBytes
  bool cancelled = false;  // stopped by `cancel`
  int frames = 0;          // frames of one pass (a still counts twice)
  long long totalSteps = 0;
  int failures = 0;       // frames that could not be written
  int scaleFailures = 0;  // of those, the ones that could not be scaled
  int writeError = 0;     // the system's error number of the first frame not written
  int width = 0;          // the frames' own size
  int height = 0;
  int encoderThreads = 0;  // threads that encoded; 1: the decoding thread
  // Per image the decoder gave: the step its file is numbered by, and its
  // own delay in hundredths of a second (a still is one image).
  std::vector<long long> imageSteps;
  std::vector<int> imageDelays;
  // What ended the images before the end of a damaged file, the images
  // decoded, and the images its blocks announce.
  Problem damage;
  int images = 0;
  int imagesAnnounced = 0;
  std::string Error() const { return ProblemText(problem); }
};

// What recording frames of `width` x `height` at `bitCount` bits holds in
// memory, recorded at outputWidth x outputHeight (0 x 0: their own size).
JobMemory RecordingMemory(int width, int height, int bitCount, int outputWidth, int outputHeight);

// Records the pass into the temporary frame folder (or the pack), which may
// hold files afterwards even when the pass fails; the caller empties it.
StreamingOutcome RecordStreaming(const std::string& gifPath, const StreamingOptions& options);

}  // namespace reelmill
