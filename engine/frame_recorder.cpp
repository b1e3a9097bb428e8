#include "engine/frame_recorder.h"

#include <algorithm>
#include <numeric>

#include "engine/playback_clock.h"
#include "engine/scale_image.h"
#include "engine/work_paths.h"
#include "imaging/image_properties.h"
#include "imaging/paths.h"

namespace reelmill {

namespace {
constexpr int kStepMs = 100;
// GIF delays below 5 hundredths (and frames without a delay) show for one step.
constexpr int kShortestDelay = 5;

int DisplayTimeMs(int delayHundredths) {
  return delayHundredths < kShortestDelay ? kStepMs : delayHundredths * 10;
}
}  // namespace

FrameRecorder::FrameRecorder(PlaybackClock& clock) : clock_(clock) {}

FrameRecorder::~FrameRecorder() { StopPlayback(); }

bool FrameRecorder::LoadGif(const std::string& path) {
  StopPlayback();
  const bool differentFile = path != filePath_ && !filePath_.empty();
  if (differentFile || (path == filePath_ && frameSet_.Count() > 1)) frameSet_.Clear();
  filePath_ = path;
  const bool loaded = frameSet_.Load(path);
  const int frameCount = FrameCount();

  gifControl_.LoadPictureFile(path);
  totalSteps_ = 0;
  fileCounter_ = 0;
  frameDelaysMs_.assign(static_cast<std::size_t>(frameCount), kStepMs);
  const int described = gifControl_.FrameCount();
  if (described > 0) {
    // Frames the block walk does not describe show for one step.
    for (int i = 0; i < frameCount && i < described; ++i)
      frameDelaysMs_[static_cast<std::size_t>(i)] = DisplayTimeMs(gifControl_.Frame(i).delay);
    const long long total = std::accumulate(frameDelaysMs_.begin(), frameDelaysMs_.end(), 0LL);
    totalSteps_ = static_cast<int>(std::min<long long>(total / kStepMs, INT32_MAX));
  } else {
    totalSteps_ = frameCount;
  }
  // The pictures are only needed for the delays; keep memory to the frame set.
  gifControl_.Unload();
  return loaded;
}

void FrameRecorder::StartPlayback() {
  if (playing_ || FrameCount() <= 1) return;
  playing_ = true;
  passIndex_ = 0;
  lastFrameRecorded_ = false;
  recordFailures_ = 0;
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
  const int steps = std::max(1, frameDelaysMs_[static_cast<std::size_t>(currentFrame_)] / kStepMs);
  const std::string path = TempFramePath(workFolder_, filePath_, fileCounter_);
  const std::string folder = TempFolderOf(workFolder_);
  if (!IsDirectory(folder)) CreateFolderPath(folder);

  ImageProperties properties;
  properties.Set(QualityKey, std::to_string(jpegQuality_));
  bool saved;
  const bool resize = outputWidth_ > 0 && outputHeight_ > 0 &&
                      (outputWidth_ != frame->Width() || outputHeight_ != frame->Height());
  if (resize) {
    PixelImage scaled = ToTrueColour(*frame);
    ScaleImage(scaled, outputWidth_, outputHeight_);
    saved = scaled.Save(path, properties);
  } else {
    saved = frame->Save(path, properties);
  }
  // A frame that cannot be written leaves a gap; the writers skip it.
  if (!saved) ++recordFailures_;
  fileCounter_ += steps;
  if (currentFrame_ == FrameCount() - 1) lastFrameRecorded_ = true;
}

}  // namespace reelmill
