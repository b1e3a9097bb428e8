#include "engine/conversion.h"

#include <ostream>
#include <sstream>
#include <vector>

#include "engine/frame_recorder.h"
#include "engine/playback_clock.h"
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
    if (!outcome.ok) outcome.error = AviFailure(result);
  } else if (settings.outputKind == kOutputSwf) {
    std::vector<std::string> frames;
    frames.reserve(static_cast<std::size_t>(totalSteps > 0 ? totalSteps : 0));
    for (int step = 0; step < totalSteps; ++step) frames.push_back(TempFramePath(tempBase, gifPath, step));
    outcome.ok = WriteJpegFrameMovie(outcome.outputPath, static_cast<float>(settings.width),
                                     static_cast<float>(settings.height), fps, frames);
    if (!outcome.ok) outcome.error = "the output file could not be written";
  } else {
    outcome.error = "unknown output kind \"" + settings.outputKind + "\"";
  }
  return outcome;
}

GifConverter::GifConverter(ConversionSettings settings, std::string workFolder)
    : settings_(std::move(settings)), workFolder_(std::move(workFolder)) {}

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

  ImmediateClock clock;
  FrameRecorder recorder(clock);
  recorder.SetWorkFolder(workFolder_);
  recorder.SetJpegQuality(settings_.quality);
  recorder.LoadGif(gifPath);
  // A still picture is shown twice, so one pass has two frames to record.
  if (recorder.FrameCount() == 1) recorder.LoadGif(gifPath);
  if (recorder.FrameCount() == 0) {
    outcome.error = "not a GIF this program can read, or it holds no frames";
    ResetTempFolder(workFolder_);
    return outcome;
  }

  ConversionSettings settings = settings_;
  const PixelImage* first = recorder.Frames().Frame(0);
  if (settings.width <= 0 || settings.height <= 0) {
    settings.width = first->Width();
    settings.height = first->Height();
  }
  recorder.SetOutputSize(settings.width, settings.height);
  recorder.SetRecording(true);
  recorder.SetFileCounter(0);
  recorder.ResetPosition();
  recorder.StartPlayback();
  recorder.SetRecording(false);

  if (!recorder.LastFrameRecorded()) {
    outcome.error = "the frames could not be recorded";
  } else if (recorder.RecordFailures() == recorder.FrameCount()) {
    outcome.error = "no frame could be written to " + TempFolderOf(workFolder_);
  } else {
    outcome = WriteOutput(workFolder_, settings.outputFolder, gifPath, settings, recorder.TotalSteps(), log, err);
  }
  ResetTempFolder(workFolder_);
  return outcome;
}

}  // namespace reelmill
