#pragma once
// A GIF to MP4 (H.264), WebM (VP9) or animated WebP, straight from the
// streaming decoder at full speed: each GIF frame is one frame of the output
// with the time it plays for in a browser (delays of 0 and 1 hundredths show
// for 100 ms), so the output lasts exactly as long as one play of the GIF,
// its last frame included; or, with a frame rate, frame k shows what the GIF
// shows at k / fps. Memory stays at a few frames and the encoder's own
// look-ahead whatever the length of the animation.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/conversion.h"
#include "engine/memory_budget.h"

namespace reelmill {

enum class EncodedKind { Mp4, WebM, Webp };

struct EncodedExportOptions {
  EncodedKind kind = EncodedKind::Mp4;
  int fps = 0;    // 0: every GIF frame with its own duration
  int width = 0;  // declared size; 0 x 0: the GIF's own
  int height = 0;
  std::uint32_t background = 0xFFFFFF;  // 0xRRGGBB under transparent pixels, where the format has no alpha
  int crf = -1;                         // MP4 and WebM; -1: the default
  int quality = -1;    // 10 to 100; 100 or -1: the defaults (lossless WebP); below: lossy WebP, a higher crf
  std::string preset;  // encoder speed, x264's names
  int threads = 0;     // for the encoder; 0: its own choice
  const std::atomic<bool>* cancel = nullptr;
  std::atomic<long long>* imagesDone = nullptr;  // counts the GIF frames encoded, for a progress display
};

// The kind the window's "Convert To:" item names; none for the recorded kinds.
std::optional<EncodedKind> EncodedKindOf(std::string_view outputKind);

// What the window's settings ask of an encoded output: the declared size,
// and a quality below 100 as a lossy quality (100 keeps each format's own
// default: lossless WebP, the tuned crf).
EncodedExportOptions EncodedOptionsFrom(const ConversionSettings& settings, EncodedKind kind);

// The file name's extension for `kind`: "mp4", "webm" or "webp".
const char* EncodedExtension(EncodedKind kind);

// What converting frames of `width` x `height` holds in memory.
JobMemory EncodedMemory(int width, int height, const EncodedExportOptions& options);

// Converts `gifPath` into the file `outputPath`; an existing output is
// replaced only by a complete new file, and never when it is the GIF.
ConversionOutcome ExportEncoded(const std::string& gifPath, const std::string& outputPath,
                                const EncodedExportOptions& options);

}  // namespace reelmill
