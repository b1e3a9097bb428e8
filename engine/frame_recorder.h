#pragma once
// Holds the decoded frames of one GIF, plays them once per pass with each
// frame's display time, and while recording writes every frame, when it
// becomes the current frame, as a numbered JPEG into the temporary frame
// folder. Numbers count 100-ms steps: a frame of 300 ms gets number k and the
// next frame k + 3. The window paints the current frame; painting never
// decides what is recorded.

#include <functional>
#include <string>
#include <vector>

#include "imaging/image_list.h"
#include "imaging/problem.h"

namespace reelmill {

class PlaybackClock;

class FrameRecorder {
 public:
  explicit FrameRecorder(PlaybackClock& clock);
  ~FrameRecorder();
  FrameRecorder(const FrameRecorder&) = delete;
  FrameRecorder& operator=(const FrameRecorder&) = delete;

  // Loads a GIF. The frames held are discarded first when `path` differs from
  // the current file, or when it is the current file and holds more than one
  // frame; reloading a one-frame file appends its frame once more. Computes
  // every frame's display time and the steps of one pass. Returns the result
  // of decoding the file.
  bool LoadGif(const std::string& path);
  // Loads a GIF for a recording pass: a still is loaded twice, so that one
  // pass has two frames to record.
  bool LoadForPass(const std::string& path);
  // Why the last load failed, or what cut its frames short.
  const Problem& LoadProblem() const { return loadProblem_; }

  // Starts a pass when none runs and more than one frame is held.
  void StartPlayback();
  // Ends a running pass at once; no tick of it runs afterwards.
  void StopPlayback();
  void ResetPosition() { currentFrame_ = 0; }

  // Called on the recorder's thread when a frame becomes current (after it was
  // recorded) and when a pass ends.
  void SetFrameShownHandler(std::function<void()> handler) { onFrameShown_ = std::move(handler); }
  void SetPassEndedHandler(std::function<void()> handler) { onPassEnded_ = std::move(handler); }

  void SetRecording(bool recording) { recording_ = recording; }
  void SetFileCounter(long long counter) { fileCounter_ = counter; }
  void SetJpegQuality(int quality) { jpegQuality_ = quality; }
  // The temporary frame folder lives under this folder (ends in '/').
  void SetWorkFolder(std::string folder) { workFolder_ = std::move(folder); }
  // Recorded frames are scaled to this size when it differs from the GIF's
  // own; 0 x 0 keeps the GIF's size.
  void SetOutputSize(int width, int height) {
    outputWidth_ = width;
    outputHeight_ = height;
  }

  bool Recording() const { return recording_; }
  bool Playing() const { return playing_; }
  long long FileCounter() const { return fileCounter_; }
  int JpegQuality() const { return jpegQuality_; }
  int CurrentFrame() const { return currentFrame_; }
  int FrameCount() const { return static_cast<int>(frameSet_.Count()); }
  long long TotalSteps() const { return totalSteps_; }
  const std::string& FilePath() const { return filePath_; }
  int FrameDelayMs(int i) const { return frameDelaysMs_.at(static_cast<std::size_t>(i)); }
  const FrameSet& Frames() const { return frameSet_; }
  const PixelImage* CurrentImage() const { return frameSet_.Frame(currentFrame_); }
  // True once the last frame was recorded in the pass under way or just ended.
  bool LastFrameRecorded() const { return lastFrameRecorded_; }
  // Frames of the last pass that could not be written, and of those the
  // ones that could not be scaled to the output size.
  int RecordFailures() const { return recordFailures_; }
  int ScaleFailures() const { return scaleFailures_; }
  // The system's error number of the first frame not written, or 0.
  int RecordError() const { return recordError_; }

 private:
  void ShowCurrentFrame();
  void RecordCurrentFrame();
  void Step();
  void ScheduleStep();

  PlaybackClock& clock_;
  FrameSet frameSet_;
  std::string filePath_;
  Problem loadProblem_;
  int recordError_ = 0;
  std::string workFolder_;
  std::vector<int> frameDelaysMs_;
  long long totalSteps_ = 0;
  long long fileCounter_ = 0;
  int currentFrame_ = 0;
  int passIndex_ = 0;
  int jpegQuality_ = 100;
  int outputWidth_ = 0;
  int outputHeight_ = 0;
  bool recording_ = false;
  bool playing_ = false;
  bool lastFrameRecorded_ = false;
  int recordFailures_ = 0;
  int scaleFailures_ = 0;
  std::function<void()> onFrameShown_;
  std::function<void()> onPassEnded_;
};

}  // namespace reelmill
