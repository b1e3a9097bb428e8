#pragma once
// The preview's play loop: one pass of a GIF in real time, each frame for
// its display time (at least 100 ms), the frames taken from a FrameStream as
// it decodes them. A frame that is not decoded when its time comes holds the
// one before a little longer. Loading never waits: what is known of the file
// grows as its stream goes, and a pass asked for before the frames are known
// starts once they are.

#include <functional>
#include <memory>
#include <string>

#include "engine/frame_stream.h"

namespace reelmill {

class PlaybackClock;

class FramePlayer {
 public:
  // A frame not decoded in time is looked for again this much later.
  static constexpr int kWaitMs = 10;

  explicit FramePlayer(PlaybackClock& clock);
  ~FramePlayer();
  FramePlayer(const FramePlayer&) = delete;
  FramePlayer& operator=(const FramePlayer&) = delete;

  // Stops the pass and starts streaming `path` afresh from its first frame.
  void Load(const std::string& path);
  // Runs on the stream's thread whenever what is known of the file changes;
  // the owner then calls Refresh on its own thread.
  void SetStreamChangedHandler(std::function<void()> handler) { onStreamChanged_ = std::move(handler); }
  // Takes up what the stream has learned: a pass asked for starts, the first
  // frame shows. Call it on the player's thread.
  void Refresh();

  // Starts a pass when none runs and more than one frame is known, or once
  // they are known.
  void StartPlayback();
  // Ends a running or pending pass at once; no tick of it runs afterwards.
  void StopPlayback();
  // Back to the first frame, for the next pass.
  void ResetPosition();

  // Called when a frame becomes current and when a pass ends.
  void SetFrameShownHandler(std::function<void()> handler) { onFrameShown_ = std::move(handler); }
  void SetPassEndedHandler(std::function<void()> handler) { onPassEnded_ = std::move(handler); }

  // A pass runs or waits for the file's frames.
  bool Active() const { return playing_ || pending_; }
  bool Playing() const { return playing_; }
  int CurrentFrame() const { return currentFrame_; }
  const std::string& FilePath() const { return path_; }
  // What the stream knows of the file (nothing before Load).
  FrameStream::Info Info() const;
  int FrameCount() const { return Info().frameCount; }
  // The pass can go on at once: it shows a frame whose successor (or end) is
  // decoded. True when no pass runs.
  bool Ready() const;
  // The frame shown, kept while it shows; null before the first frame is decoded.
  std::shared_ptr<const PixelImage> CurrentImage() const { return current_; }

 private:
  void Begin();
  void Step();
  void Schedule(int milliseconds);
  void Show(std::shared_ptr<const PixelImage> frame);

  PlaybackClock& clock_;
  std::string path_;
  std::unique_ptr<FrameStream> stream_;
  std::shared_ptr<const PixelImage> current_;
  int currentFrame_ = 0;
  bool playing_ = false;
  bool pending_ = false;
  std::function<void()> onStreamChanged_;
  std::function<void()> onFrameShown_;
  std::function<void()> onPassEnded_;
};

}  // namespace reelmill
