#pragma once
// Converting one GIF to AVI or SWF: record one pass of its frames as numbered
// JPEG files, then build the output from them. The window drives the pass in
// real time; GifConverter runs it at once for the command line and the tests.

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/conversion_settings.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/problem.h"

namespace reelmill {

class FramePack;

struct ConversionOutcome {
  bool ok = false;
  bool cancelled = false;  // stopped on request; nothing was written
  std::string outputPath;
  Problem problem;       // why it failed
  long long frames = 0;  // frames of the output written
  // A damaged GIF converts the images before the damage: what ended them,
  // how many there were, and how many the file's blocks announce.
  Problem damage;
  int images = 0;
  int imagesAnnounced = 0;
  std::string Error() const { return ProblemText(problem); }
};

// "converted 30 of 56 frames: the file ends early in frame 31", for a GIF
// whose `damage` ended its frames after `converted` of the `announced` its
// blocks announce; empty text without damage.
std::string DamageText(const Problem& damage, int converted, int announced);

// Builds the output of the file just recorded from the temporary frame files
// of steps 0 to totalSteps - 1 under `tempBase`, into `outputFolder`, with
// the frame rate and declared size of `settings`. An existing output is
// replaced only by a complete new file, and never when it is the GIF itself.
// The work follows the recorded files, not the steps. `log` receives the AVI
// writer's per-frame lines, `err` its diagnostics.
ConversionOutcome WriteOutput(const std::string& tempBase, const std::string& outputFolder, const std::string& gifPath,
                              const ConversionSettings& settings, long long totalSteps, std::ostream& log,
                              std::ostream& err);

// A recorded frame: a whole file, or a piece of one (a pack of frames).
struct RecordedFrame {
  long long step = 0;
  std::string path;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  bool wholeFile = true;
};

// The output of the frames recorded at steps 0 to totalSteps - 1, into the
// file `outputPath`; `frames` in step order.
ConversionOutcome WriteRecordedFrames(const std::string& outputPath, const std::vector<RecordedFrame>& frames,
                                      const std::string& gifPath, const ConversionSettings& settings,
                                      long long totalSteps, std::ostream& log, std::ostream& err);

// The same into the file `outputPath`.
ConversionOutcome WriteOutputTo(const std::string& outputPath, const std::string& tempBase, const std::string& gifPath,
                                const ConversionSettings& settings, long long totalSteps, std::ostream& log,
                                std::ostream& err);

// Why `settings` cannot give an output of their kind, before any work (a SWF
// frame rate above what its header holds, a declared size above the pixel
// limit); no problem when they can.
Problem SettingsRefusal(const ConversionSettings& settings);

// Why a pass of `totalSteps` steps cannot become an output of `outputKind`
// (a SWF movie has one frame per step, and at most kMaxJpegMovieFrames); no
// problem when it can.
Problem PassLengthRefusal(std::string_view outputKind, long long totalSteps);

// Why converting `gifPath` with `workFolder` would cost the user that file
// (its output or the temporary frame folder would take its place); no
// problem when it would not.
Problem InputRefusal(const std::string& gifPath, const std::string& workFolder, const std::string& outputPath);

// Why a recorded pass must not become an output: frames that could not be
// written (the system's `error` says why) or scaled to the declared size
// leave gaps; no problem when none failed.
Problem RecordingProblem(int failures, int scaleFailures, int error, int frames, const ConversionSettings& settings,
                         const std::string& workFolder);

// How the frames of one pass are recorded. Both roads leave the same files.
enum class RecordingRoad {
  // Straight from the decoder, frame after frame, with memory of a few frames.
  Streaming,
  // A frame recorder pass with an immediate clock, as the window records.
  FrameRecorder,
};

// How the output's frames follow the GIF's time.
enum class OutputTiming {
  // As the window records: one frame per 100-ms step, an AVI one frame per
  // distinct GIF frame.
  Window,
  // Output frame k shows the GIF frame on screen at k / fps, as browsers
  // play it: the output lasts as long as the GIF (streaming road only).
  Real,
};

// One GIF to "Video(AVI)" or "Flash(SWF)" without a window. Records into
// `workFolder`'s temporary frame folder (private to this converter) and
// writes into settings.outputFolder under the window's name, or into the
// file given to SetOutputPath; a declared size of 0 x 0 means the GIF's own
// size. The temporary folder is emptied before and after.
class GifConverter {
 public:
  GifConverter(ConversionSettings settings, std::string workFolder);
  void SetRoad(RecordingRoad road) { road_ = road; }
  void SetTiming(OutputTiming timing) { timing_ = timing; }
  void SetOutputPath(std::string path) { outputPath_ = std::move(path); }
  // Checked between frames; once set, the conversion stops without output.
  void SetCancel(const std::atomic<bool>* cancel) { cancel_ = cancel; }
  // Threads that encode frames while the decoder goes on (streaming road).
  void SetEncoderThreads(int threads) { encoderThreads_ = threads; }
  // What the decoder's canvases and the encoders may hold (streaming road);
  // see RecordingMemory.
  void SetMemoryBudget(std::uint64_t bytes) { memoryBudget_ = bytes; }
  // Silences (null) or redirects the writer's diagnostics; default: none.
  void SetDiagnostics(std::ostream* log, std::ostream* err) {
    log_ = log;
    err_ = err;
  }
  ConversionOutcome Convert(const std::string& gifPath);

 private:
  struct Recorded {
    bool ok = false;
    bool cancelled = false;
    Problem problem;
    Problem damage;
    int images = 0;
    int imagesAnnounced = 0;
    long long totalSteps = 0;
    int width = 0;
    int height = 0;
    std::vector<RecordedFrame> frames;  // in step order
    std::shared_ptr<FramePack> pack;    // holds the frames of the streaming road
    std::vector<long long> imageSteps;  // real timing: each image's step
    std::vector<int> imageDelays;
  };
  ConversionOutcome WriteRealTime(const std::string& gifPath, const Recorded& recorded,
                                  const ConversionSettings& settings, std::ostream& log, std::ostream& err) const;
  Recorded RecordStreamingPass(const std::string& gifPath);
  Recorded RecordWithFrameRecorder(const std::string& gifPath);

  ConversionSettings settings_;
  std::string workFolder_;
  RecordingRoad road_ = RecordingRoad::Streaming;
  OutputTiming timing_ = OutputTiming::Window;
  std::string outputPath_;
  const std::atomic<bool>* cancel_ = nullptr;
  int encoderThreads_ = 1;
  std::uint64_t memoryBudget_ = GifCodec::kMaxDecodedBytes;
  std::ostream* log_ = nullptr;
  std::ostream* err_ = nullptr;
};

}  // namespace reelmill
