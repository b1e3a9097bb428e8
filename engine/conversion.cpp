#include "engine/conversion.h"

#include <optional>
#include <ostream>
#include <sstream>
#include <vector>

#include "engine/frame_recorder.h"
#include "engine/playback_clock.h"
#include "engine/streaming_recording.h"
#include "engine/work_paths.h"
#include "writers/avi/avi_writer.h"
#include "writers/swf/swf_movie_composition.h"

namespace reelmill {

namespace {

// Swallows what nobody wants to read.
class NullStream : public std::ostream {
 public:
  NullStream() : std::ostream(nullptr) {}
};

constexpr const char* kNoFrames = "not a GIF this program can read, or it holds no frames";

std::string AviFailure(int code) {
  switch (code) {
    case AviWriter::kPreparationFailed: return "no frames were recorded, or the video would exceed 2 GB";
    case AviWriter::kCannotWriteOutput: return "the output file could not be written";
    case AviWriter::kCannotOpenFrame: return "a recorded frame could not be opened";
    case AviWriter::kFrameReadError: return "a recorded frame could not be read";
    case AviWriter::kFrameSizeChanged: return "a recorded frame changed while it was written";
    default: return "the video could not be written";
  }
}

}  // namespace

ConversionOutcome WriteOutput(const std::string& tempBase, const std::string& outputFolder,
                              const std::string& gifPath, const ConversionSettings& settings, int totalSteps,
                              std::ostream& log, std::ostream& err) {
  ConversionOutcome outcome;
  outcome.outputPath = OutputPathFor(outputFolder, gifPath, settings.outputKind);
  const int fps = EffectiveFrameRate(settings.frameRate);

  if (settings.outputKind == kOutputAvi) {
    AviWriter writer(log, err);
    // Steps without a file (the later steps of a long frame) are refused by
    // the writer and so left out.
    for (int step = 0; step < totalSteps; ++step) writer.AddFrameFile(TempFramePath(tempBase, gifPath, step));
    writer.SetOutputPath(outcome.outputPath);
    writer.SetFrameRate(fps);
    writer.SetFrameSize(settings.width, settings.height);
    const int result = writer.Write();
    outcome.ok = result == AviWriter::kOk;
    if (!outcome.ok) outcome.error = AviFailure(result) + " (" + outcome.outputPath + ")";
  } else if (settings.outputKind == kOutputSwf) {
    std::vector<std::string> frames;
    frames.reserve(static_cast<std::size_t>(totalSteps > 0 ? totalSteps : 0));
    for (int step = 0; step < totalSteps; ++step) frames.push_back(TempFramePath(tempBase, gifPath, step));
    outcome.ok = WriteJpegFrameMovie(outcome.outputPath, static_cast<float>(settings.width),
                                     static_cast<float>(settings.height), fps, frames);
    if (!outcome.ok) outcome.error = "the output file could not be written (" + outcome.outputPath + ")";
  } else {
    outcome.error = "unknown output kind \"" + settings.outputKind + "\"";
  }
  return outcome;
}

GifConverter::GifConverter(ConversionSettings settings, std::string workFolder)
    : settings_(std::move(settings)), workFolder_(std::move(workFolder)) {}

GifConverter::Recorded GifConverter::RecordWithFrameRecorder(const std::string& gifPath) {
  Recorded recorded;
  ImmediateClock clock;
  FrameRecorder recorder(clock);
  recorder.SetWorkFolder(workFolder_);
  recorder.SetJpegQuality(settings_.quality);
  recorder.LoadGif(gifPath);
  // A still picture is shown twice, so one pass has two frames to record.
  if (recorder.FrameCount() == 1) recorder.LoadGif(gifPath);
  if (recorder.FrameCount() == 0) {
    recorded.error = kNoFrames;
    return recorded;
  }
  recorded.width = recorder.Frames().Frame(0)->Width();
  recorded.height = recorder.Frames().Frame(0)->Height();
  recorder.SetOutputSize(settings_.width, settings_.height);
  recorder.SetRecording(true);
  recorder.SetFileCounter(0);
  recorder.ResetPosition();
  recorder.StartPlayback();
  recorder.SetRecording(false);
  if (!recorder.LastFrameRecorded()) {
    recorded.error = "the frames could not be recorded";
  } else if (recorder.RecordFailures() == recorder.FrameCount()) {
    recorded.error = "no frame could be written to " + TempFolderOf(workFolder_);
  } else {
    recorded.ok = true;
    recorded.totalSteps = recorder.TotalSteps();
  }
  return recorded;
}

ConversionOutcome GifConverter::Convert(const std::string& gifPath) {
  NullStream quiet;
  std::ostream& log = log_ ? *log_ : quiet;
  std::ostream& err = err_ ? *err_ : quiet;
  ConversionOutcome outcome;
  outcome.outputPath = OutputPathFor(settings_.outputFolder, gifPath, settings_.outputKind);
  if (!ResetTempFolder(workFolder_)) {
    outcome.error = "cannot prepare the temporary folder " + TempFolderOf(workFolder_);
    return outcome;
  }

  Recorded recorded;
  std::optional<StreamingOutcome> streamed;
  if (road_ == RecordingRoad::Streaming) {
    StreamingOptions options;
    options.workFolder = workFolder_;
    options.jpegQuality = settings_.quality;
    options.outputWidth = settings_.width;
    options.outputHeight = settings_.height;
    options.encoderThreads = encoderThreads_;
    streamed = RecordStreaming(gifPath, options);
  }
  if (streamed) {
    recorded.width = streamed->width;
    recorded.height = streamed->height;
    recorded.totalSteps = streamed->totalSteps;
    recorded.ok = streamed->failures < streamed->frames;
    if (!recorded.ok) recorded.error = "no frame could be written to " + TempFolderOf(workFolder_);
  } else {
    if (road_ == RecordingRoad::Streaming) ResetTempFolder(workFolder_);
    recorded = RecordWithFrameRecorder(gifPath);
  }

  if (recorded.ok) {
    ConversionSettings settings = settings_;
    if (settings.width <= 0 || settings.height <= 0) {
      settings.width = recorded.width;
      settings.height = recorded.height;
    }
    outcome = WriteOutput(workFolder_, settings.outputFolder, gifPath, settings, recorded.totalSteps, log, err);
  } else {
    outcome.error = recorded.error;
  }
  ResetTempFolder(workFolder_);
  return outcome;
}

}  // namespace reelmill
