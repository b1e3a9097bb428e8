#include "engine/frame_recorder.h"

#include <algorithm>
#include <cerrno>

#include "engine/frame_timing.h"
#include "engine/playback_clock.h"
#include "engine/recorded_frame.h"
#include "engine/work_paths.h"
#include "imaging/file_io.h"
#include "imaging/image_properties.h"
#include "imaging/paths.h"

namespace reelmill {

FrameRecorder::FrameRecorder(PlaybackClock& clock) : clock_(clock) {}

FrameRecorder::~FrameRecorder() { StopPlayback(); }

bool FrameRecorder::LoadGif(const std::string& path) {
  StopPlayback();
  const bool differentFile = path != filePath_ && !filePath_.empty();
  if (differentFile || (path == filePath_ && frameSet_.Count() > 1)) frameSet_.Clear();
  filePath_ = path;
  const std::size_t before = frameSet_.Count();
  const bool loaded = frameSet_.Load(path, nullptr, &loadProblem_);
  const int imagesDecoded = static_cast<int>(frameSet_.Count() - before);

  // The delays come from the GIF's own frame table.
  const auto data = ReadFileBytes(path);
  FrameTimes times = LearnFrameTimes(data ? std::span<const std::uint8_t>(*data) : std::span<const std::uint8_t>(),
                                     FrameCount(), imagesDecoded);
  frameDelaysMs_ = std::move(times.displayMs);
  totalSteps_ = times.totalSteps;
  fileCounter_ = 0;
  return loaded;
}

bool FrameRecorder::LoadForPass(const std::string& path) {
  const bool loaded = LoadGif(path);
  return FrameCount() == 1 ? LoadGif(path) : loaded;
}

void FrameRecorder::StartPlayback() {
  if (playing_ || FrameCount() <= 1) return;
  playing_ = true;
  passIndex_ = 0;
  lastFrameRecorded_ = false;
  recordFailures_ = scaleFailures_ = recordError_ = 0;
  ShowCurrentFrame();
  ScheduleStep();
}

void FrameRecorder::StopPlayback() {
  clock_.Cancel();
  playing_ = false;
}

void FrameRecorder::ScheduleStep() {
  const int wait = std::max(kStepMs, frameDelaysMs_[static_cast<std::size_t>(passIndex_)]);
  clock_.After(wait, [this] { Step(); });
}

void FrameRecorder::Step() {
  if (!playing_) return;
  if (currentFrame_ >= FrameCount() - 1 || passIndex_ + 1 >= FrameCount()) {
    currentFrame_ = 0;
    playing_ = false;
    if (onPassEnded_) onPassEnded_();
    return;
  }
  ++currentFrame_;
  ++passIndex_;
  ShowCurrentFrame();
  ScheduleStep();
}

void FrameRecorder::ShowCurrentFrame() {
  if (recording_) RecordCurrentFrame();
  if (onFrameShown_) onFrameShown_();
}

void FrameRecorder::RecordCurrentFrame() {
  const PixelImage* frame = frameSet_.Frame(currentFrame_);
  if (!frame) return;
  const int steps = StepsOf(frameDelaysMs_[static_cast<std::size_t>(currentFrame_)]);
  const std::string path = TempFramePath(workFolder_, filePath_, fileCounter_);
  const std::string folder = TempFolderOf(workFolder_);
  if (!IsDirectory(folder)) CreateFolderPath(folder);

  const ImageProperties properties = RecordingProperties(jpegQuality_);
  bool saved = false;
  errno = 0;
  if (!NeedsScaling(*frame, outputWidth_, outputHeight_)) {
    saved = frame->Save(path, properties);
  } else if (const auto scaled = ScaledForRecording(*frame, outputWidth_, outputHeight_)) {
    saved = scaled->Save(path, properties);
  } else {
    ++scaleFailures_;
  }
  // A frame that cannot be written leaves a gap, which the driver reports.
  if (!saved && recordFailures_++ == 0) recordError_ = errno;
  fileCounter_ += steps;
  if (currentFrame_ == FrameCount() - 1) lastFrameRecorded_ = true;
}

}  // namespace reelmill
