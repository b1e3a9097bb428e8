#include "engine/conversion.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <ostream>
#include <vector>

#include "engine/frame_pack.h"
#include "engine/frame_recorder.h"
#include "engine/input_guard.h"
#include "engine/playback_clock.h"
#include "engine/real_timing.h"
#include "engine/recorded_frame.h"
#include "engine/streaming_recording.h"
#include "engine/work_paths.h"
#include "imaging/file_io.h"
#include "imaging/null_stream.h"
#include "imaging/paths.h"
#include "imaging/pixel_image.h"
#include "writers/avi/avi_writer.h"
#include "writers/swf/swf_movie.h"
#include "writers/swf/swf_movie_composition.h"

namespace reelmill {

namespace {

// Why the AVI writer's `code` came back, `error` being errno as it left it.
Problem AviProblem(int code, int error, const std::string& outputPath) {
  switch (code) {
    case AviWriter::kPreparationFailed:
      return Refusal(ProblemCode::OutputTooLarge, "no frames were recorded, or the video would exceed 2 GB");
    case AviWriter::kCannotWriteOutput: return WritingProblem(error != 0 ? error : EIO, outputPath);
    case AviWriter::kCannotOpenFrame: return Refusal(ProblemCode::CannotWrite, "a recorded frame could not be opened");
    case AviWriter::kFrameReadError: return Refusal(ProblemCode::CannotWrite, "a recorded frame could not be read");
    default: return Refusal(ProblemCode::CannotWrite, "a recorded frame changed while it was written");
  }
}

std::string SizeText(int width, int height) { return std::to_string(width) + " x " + std::to_string(height); }

}  // namespace

Problem SettingsRefusal(const ConversionSettings& settings) {
  if (settings.outputKind == kOutputSwf && settings.frameRate > SwfMovie::kMaxFrameRate)
    return Refusal(ProblemCode::Settings, "a SWF movie plays at most " + std::to_string(SwfMovie::kMaxFrameRate) +
                                              " frames per second, not " + std::to_string(settings.frameRate));
  if (!DeclaredSizeFits(settings.width, settings.height))
    return Refusal(ProblemCode::Settings, "the frame size " + SizeText(settings.width, settings.height) +
                                              " is larger than a frame may be (" +
                                              std::to_string(PixelImage::kMaxPixels) + " pixels)");
  return {};
}

Problem PassLengthRefusal(std::string_view outputKind, long long totalSteps) {
  if (outputKind != kOutputSwf || totalSteps <= static_cast<long long>(kMaxJpegMovieFrames)) return {};
  return Refusal(ProblemCode::TooLong, "a SWF movie holds at most " + std::to_string(kMaxJpegMovieFrames) +
                                           " frames, one per 100 ms, and one pass of this GIF takes longer");
}

Problem InputRefusal(const std::string& gifPath, const std::string& workFolder, const std::string& outputPath) {
  std::string why = InputInTempFolderReason(gifPath, workFolder);
  if (why.empty()) why = OutputReplacesInputReason(outputPath, gifPath);
  return why.empty() ? Problem{} : Refusal(ProblemCode::OutputIsInput, why);
}

Problem RecordingProblem(int failures, int scaleFailures, int error, int frames, const ConversionSettings& settings,
                         const std::string& workFolder) {
  if (failures <= 0) return {};
  if (scaleFailures > 0)
    return Refusal(ProblemCode::OverMemory, std::to_string(failures) + " of " + std::to_string(frames) +
                                                " frames could not be scaled to " +
                                                SizeText(settings.width, settings.height));
  return WritingProblem(error != 0 ? error : EIO, TempFolderOf(workFolder));
}

std::string DamageText(const Problem& damage, int converted, int announced) {
  if (!damage) return {};
  // The damaged frame was one of them, whether or not the blocks' walk saw it whole.
  const long long frames = std::max<long long>({converted, announced, damage.frame + 1});
  return "converted " + std::to_string(converted) + " of " + std::to_string(frames) + " frames: " + ProblemText(damage);
}

ConversionOutcome WriteOutput(const std::string& tempBase, const std::string& outputFolder, const std::string& gifPath,
                              const ConversionSettings& settings, long long totalSteps, std::ostream& log,
                              std::ostream& err) {
  return WriteOutputTo(OutputPathFor(outputFolder, gifPath, settings.outputKind), tempBase, gifPath, settings,
                       totalSteps, log, err);
}

ConversionOutcome WriteOutputTo(const std::string& outputPath, const std::string& tempBase, const std::string& gifPath,
                                const ConversionSettings& settings, long long totalSteps, std::ostream& log,
                                std::ostream& err) {
  // Steps without a file (the later steps of a long frame) cost nothing.
  std::vector<RecordedFrame> frames;
  for (const long long step : RecordedSteps(tempBase, gifPath, totalSteps))
    frames.push_back(RecordedFrame{step, TempFramePath(tempBase, gifPath, step), 0, 0, true});
  return WriteRecordedFrames(outputPath, frames, gifPath, settings, totalSteps, log, err);
}

namespace {

// The AVI of frames shown the given numbers of times in a row.
ConversionOutcome WriteAvi(ConversionOutcome outcome, const std::vector<RecordedFrame>& frames,
                           const std::vector<long long>& times, const ConversionSettings& settings, std::ostream& log,
                           std::ostream& err) {
  AviWriter writer(log, err);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const RecordedFrame& frame = frames[i];
    const auto repeat = static_cast<std::uint64_t>(times[i]);
    if (repeat == 0) continue;
    if (frame.wholeFile)
      writer.AddFrameFile(frame.path, repeat);
    else
      writer.AddFrameData(frame.path, frame.offset, frame.size, repeat);
    outcome.frames += times[i];
  }
  writer.SetOutputPath(outcome.outputPath);
  writer.SetFrameRate(EffectiveFrameRate(settings.frameRate));
  writer.SetFrameSize(settings.width, settings.height);
  errno = 0;
  const int result = writer.Write();
  outcome.ok = result == AviWriter::kOk;
  if (!outcome.ok) outcome.problem = AviProblem(result, errno, outcome.outputPath);
  return outcome;
}

// The SWF of `movieFrames` frames, where frames[i] starts at frame
// firstFrame[i] and the frames after it without a picture show it again.
ConversionOutcome WriteSwf(ConversionOutcome outcome, const std::vector<RecordedFrame>& frames,
                           const std::vector<long long>& firstFrame, long long movieFrames,
                           const ConversionSettings& settings) {
  std::vector<JpegFramePiece> pieces(static_cast<std::size_t>(movieFrames > 0 ? movieFrames : 0));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const long long at = firstFrame[i];
    if (at < 0 || at >= movieFrames) continue;
    const RecordedFrame& frame = frames[i];
    std::uint64_t size = frame.size;
    if (frame.wholeFile) {
      const auto measured = FileSize(frame.path);
      if (!measured) continue;  // gone: the frame shows the one before
      size = *measured;
    }
    pieces[static_cast<std::size_t>(at)] = JpegFramePiece{frame.path, frame.offset, size};
  }
  errno = 0;
  outcome.ok = WriteJpegFrameMovie(outcome.outputPath, static_cast<float>(settings.width),
                                   static_cast<float>(settings.height), EffectiveFrameRate(settings.frameRate), pieces);
  outcome.frames = movieFrames;
  if (!outcome.ok) outcome.problem = WritingProblem(errno != 0 ? errno : EIO, outcome.outputPath);
  return outcome;
}

}  // namespace

ConversionOutcome WriteRecordedFrames(const std::string& outputPath, const std::vector<RecordedFrame>& frames,
                                      const std::string& gifPath, const ConversionSettings& settings,
                                      long long totalSteps, std::ostream& log, std::ostream& err) {
  ConversionOutcome outcome;
  outcome.outputPath = outputPath;
  if (settings.outputKind != kOutputAvi && settings.outputKind != kOutputSwf) {
    outcome.problem = Refusal(ProblemCode::Settings, "unknown output kind \"" + settings.outputKind + "\"");
    return outcome;
  }
  const std::string replaces = OutputReplacesInputReason(outcome.outputPath, gifPath);
  for (const Problem& why : {replaces.empty() ? Problem{} : Refusal(ProblemCode::OutputIsInput, replaces),
                             SettingsRefusal(settings), PassLengthRefusal(settings.outputKind, totalSteps)}) {
    if (why) {
      outcome.problem = why;
      return outcome;
    }
  }
  // The frames of steps 0 to totalSteps - 1, each once: an AVI takes them one
  // after the other, an SWF shows each at its step (checked above to fit).
  std::vector<RecordedFrame> inPass;
  std::vector<long long> steps;
  for (const RecordedFrame& frame : frames) {
    if (frame.step < 0 || frame.step >= totalSteps) continue;
    inPass.push_back(frame);
    steps.push_back(frame.step);
  }
  if (settings.outputKind == kOutputAvi)
    return WriteAvi(outcome, inPass, std::vector<long long>(inPass.size(), 1), settings, log, err);
  return WriteSwf(outcome, inPass, steps, totalSteps, settings);
}

ConversionOutcome GifConverter::WriteRealTime(const std::string& gifPath, const Recorded& recorded,
                                              const ConversionSettings& settings, std::ostream& log,
                                              std::ostream& err) const {
  ConversionOutcome outcome;
  outcome.outputPath =
      outputPath_.empty() ? OutputPathFor(settings.outputFolder, gifPath, settings.outputKind) : outputPath_;
  const std::vector<long long> repeats = RealTimeRepeats(recorded.imageDelays, EffectiveFrameRate(settings.frameRate));
  // Each image's recorded frame, found by the step it was recorded at.
  std::vector<RecordedFrame> images;
  std::vector<long long> times, firstFrame;
  long long movieFrames = 0;
  for (std::size_t i = 0; i < repeats.size(); ++i) {
    const auto frame = std::lower_bound(recorded.frames.begin(), recorded.frames.end(), recorded.imageSteps[i],
                                        [](const RecordedFrame& f, long long step) { return f.step < step; });
    if (frame == recorded.frames.end() || frame->step != recorded.imageSteps[i]) continue;
    images.push_back(*frame);
    times.push_back(repeats[i]);
    firstFrame.push_back(repeats[i] > 0 ? movieFrames : -1);
    movieFrames += repeats[i];
  }
  if (settings.outputKind == kOutputAvi) return WriteAvi(outcome, images, times, settings, log, err);
  if (movieFrames > static_cast<long long>(kMaxJpegMovieFrames)) {
    outcome.problem =
        Refusal(ProblemCode::TooLong, "a SWF movie holds at most " + std::to_string(kMaxJpegMovieFrames) +
                                          " frames, and at " + std::to_string(EffectiveFrameRate(settings.frameRate)) +
                                          " frames per second this GIF needs " + std::to_string(movieFrames));
    return outcome;
  }
  return WriteSwf(outcome, images, firstFrame, movieFrames, settings);
}

GifConverter::GifConverter(ConversionSettings settings, std::string workFolder)
    : settings_(std::move(settings)), workFolder_(std::move(workFolder)) {}

GifConverter::Recorded GifConverter::RecordStreamingPass(const std::string& gifPath) {
  // One pack file for all frames: cheaper than a file per frame, same bytes.
  Recorded recorded;
  recorded.pack = std::make_shared<FramePack>(TempFolderOf(workFolder_) + FileNameOf(gifPath) + ".frames");
  if (!recorded.pack->Ok()) {
    recorded.problem = WritingProblem(errno != 0 ? errno : EIO, TempFolderOf(workFolder_));
    return recorded;
  }
  StreamingOptions options;
  options.pack = recorded.pack.get();
  options.workFolder = workFolder_;
  options.jpegQuality = settings_.quality;
  options.outputWidth = settings_.width;
  options.outputHeight = settings_.height;
  options.encoderThreads = encoderThreads_;
  options.memoryBudget = memoryBudget_;
  options.cancel = cancel_;
  // What the outputs keep for a frame (its name, place and times in several
  // lists) is under 1 KiB; the memory limit bounds it like the decoder's.
  options.maxFrames = static_cast<long long>(GifCodec::kMaxDecodedBytes / 1024);
  // Real timing encodes only the frames the output shows.
  if (timing_ == OutputTiming::Real) options.realTimeFps = EffectiveFrameRate(settings_.frameRate);
  // So every frame encoded is in the video at least once, and frames beyond
  // its size limit certainly make it too large: stop there.
  if (settings_.outputKind == kOutputAvi) options.maxPackBytes = AviWriter::kMaxRiffSize;
  if (settings_.outputKind == kOutputSwf) {
    const long long frames = static_cast<long long>(kMaxJpegMovieFrames);
    if (timing_ == OutputTiming::Real)
      options.maxPlayedMs = frames * 1000 / EffectiveFrameRate(settings_.frameRate);
    else
      options.maxSteps = frames;
  }
  const StreamingOutcome streamed = RecordStreaming(gifPath, options);
  if (!streamed.ok) {
    recorded.cancelled = streamed.cancelled;
    if (streamed.packFull)
      recorded.problem = Refusal(ProblemCode::OutputTooLarge, "the video would exceed 2 GB");
    else if (!streamed.tooLong)
      recorded.problem = streamed.problem;
    else if (timing_ == OutputTiming::Real)
      recorded.problem = Refusal(ProblemCode::TooLong, "a SWF movie holds at most " +
                                                           std::to_string(kMaxJpegMovieFrames) + " frames, and at " +
                                                           std::to_string(EffectiveFrameRate(settings_.frameRate)) +
                                                           " frames per second this GIF plays longer");
    else
      recorded.problem = PassLengthRefusal(kOutputSwf, options.maxSteps + 1);
    return recorded;
  }
  recorded.imageSteps = streamed.imageSteps;
  recorded.imageDelays = streamed.imageDelays;
  recorded.damage = streamed.damage;
  recorded.images = streamed.images;
  recorded.imagesAnnounced = streamed.imagesAnnounced;
  for (const auto& [step, entry] : recorded.pack->Frames())
    recorded.frames.push_back(RecordedFrame{step, entry.path, entry.offset, entry.size, false});
  recorded.problem = RecordingProblem(streamed.failures, streamed.scaleFailures, streamed.writeError, streamed.frames,
                                      settings_, workFolder_);
  recorded.ok = !recorded.problem;
  recorded.width = streamed.width;
  recorded.height = streamed.height;
  recorded.totalSteps = streamed.totalSteps;
  return recorded;
}

GifConverter::Recorded GifConverter::RecordWithFrameRecorder(const std::string& gifPath) {
  Recorded recorded;
  ImmediateClock clock;
  FrameRecorder recorder(clock);
  recorder.SetWorkFolder(workFolder_);
  recorder.SetJpegQuality(settings_.quality);
  recorder.LoadForPass(gifPath);
  if (recorder.FrameCount() == 0) {
    recorded.problem = recorder.LoadProblem() ? recorder.LoadProblem() : ProblemOf(ProblemCode::NoImage);
    return recorded;
  }
  if (Problem why = PassLengthRefusal(settings_.outputKind, recorder.TotalSteps())) {
    recorded.problem = why;
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
    recorded.problem = Refusal(ProblemCode::CannotWrite, "the frames could not be recorded");
    return recorded;
  }
  recorded.problem = RecordingProblem(recorder.RecordFailures(), recorder.ScaleFailures(), recorder.RecordError(),
                                      recorder.FrameCount(), settings_, workFolder_);
  recorded.ok = !recorded.problem;
  recorded.totalSteps = recorder.TotalSteps();
  for (const long long step : RecordedSteps(workFolder_, gifPath, recorded.totalSteps))
    recorded.frames.push_back(RecordedFrame{step, TempFramePath(workFolder_, gifPath, step), 0, 0, true});
  return recorded;
}

ConversionOutcome GifConverter::Convert(const std::string& gifPath) {
  NullStream quiet;
  std::ostream& log = log_ ? *log_ : quiet;
  std::ostream& err = err_ ? *err_ : quiet;
  ConversionOutcome outcome;
  outcome.outputPath =
      outputPath_.empty() ? OutputPathFor(settings_.outputFolder, gifPath, settings_.outputKind) : outputPath_;
  // Refusals come before the temporary folder is emptied: it may hold the input.
  outcome.problem = InputRefusal(gifPath, workFolder_, outcome.outputPath);
  if (!outcome.problem) outcome.problem = SettingsRefusal(settings_);
  if (outcome.problem) return outcome;
  errno = 0;
  if (!ResetTempFolder(workFolder_)) {
    outcome.problem = WritingProblem(errno != 0 ? errno : EIO, TempFolderOf(workFolder_));
    return outcome;
  }

  // Real timing needs each image's own delay, which only the streaming road keeps.
  const bool realTime = timing_ == OutputTiming::Real;
  Recorded recorded =
      road_ == RecordingRoad::Streaming || realTime ? RecordStreamingPass(gifPath) : RecordWithFrameRecorder(gifPath);
  if (recorded.ok && !(cancel_ && cancel_->load())) {
    ConversionSettings settings = settings_;
    if (settings.width <= 0 || settings.height <= 0) {
      settings.width = recorded.width;
      settings.height = recorded.height;
    }
    outcome = realTime ? WriteRealTime(gifPath, recorded, settings, log, err)
                       : WriteRecordedFrames(outcome.outputPath, recorded.frames, gifPath, settings,
                                             recorded.totalSteps, log, err);
    outcome.damage = recorded.damage;
    outcome.images = recorded.images;
    outcome.imagesAnnounced = recorded.imagesAnnounced;
  } else {
    outcome.cancelled = recorded.cancelled || (cancel_ && cancel_->load());
    outcome.problem = outcome.cancelled ? Problem{} : recorded.problem;
  }
  recorded.pack.reset();
  ResetTempFolder(workFolder_);
  return outcome;
}

}  // namespace reelmill
