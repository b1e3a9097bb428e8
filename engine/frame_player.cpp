#include "engine/frame_player.h"

#include <algorithm>

#include "engine/frame_timing.h"
#include "engine/playback_clock.h"

namespace reelmill {

FramePlayer::FramePlayer(PlaybackClock& clock) : clock_(clock) {}

FramePlayer::~FramePlayer() {
  StopPlayback();
  stream_.reset();  // its thread stops before the handlers go
}

void FramePlayer::Load(const std::string& path) {
  StopPlayback();
  currentFrame_ = 0;
  stream_.reset();
  current_.reset();
  path_ = path;
  stream_ = std::make_unique<FrameStream>(path, [this] {
    if (onStreamChanged_) onStreamChanged_();
  });
}

FrameStream::Info FramePlayer::Info() const { return stream_ ? stream_->Current() : FrameStream::Info{}; }

bool FramePlayer::Ready() const {
  if (!playing_ && !pending_) return true;
  if (!stream_) return true;
  if (pending_) return false;
  return stream_->Ready(currentFrame_ + 1);
}

void FramePlayer::Show(std::shared_ptr<const PixelImage> frame) {
  if (frame) current_ = std::move(frame);
}

void FramePlayer::Refresh() {
  if (!stream_) return;
  if (!playing_) Show(stream_->Frame(currentFrame_));
  if (!pending_) return;
  const FrameStream::Info info = stream_->Current();
  if (!info.known || (!info.finished && info.frameCount > 1 && !stream_->Frame(0))) return;
  pending_ = false;
  if (info.frameCount > 1) Begin();
}

void FramePlayer::StartPlayback() {
  if (playing_ || pending_ || !stream_) return;
  const FrameStream::Info info = stream_->Current();
  if (info.known && info.frameCount <= 1) return;
  pending_ = true;
  Refresh();
}

void FramePlayer::StopPlayback() {
  clock_.Cancel();
  playing_ = pending_ = false;
}

void FramePlayer::ResetPosition() {
  currentFrame_ = 0;
  if (stream_ && !playing_) Show(stream_->Frame(0));
}

void FramePlayer::Begin() {
  playing_ = true;
  currentFrame_ = 0;
  Show(stream_->Frame(0));
  if (onFrameShown_) onFrameShown_();
  const FrameStream::Info info = stream_->Current();
  Schedule(std::max(kStepMs, info.displayMs.empty() ? kStepMs : info.displayMs.front()));
}

void FramePlayer::Schedule(int milliseconds) {
  clock_.After(milliseconds, [this] { Step(); });
}

void FramePlayer::Step() {
  if (!playing_) return;
  const FrameStream::Info info = stream_->Current();
  const int next = currentFrame_ + 1;
  auto frame = next < info.frameCount ? stream_->Frame(next) : nullptr;
  // Not decoded yet: the frame shown stays a little longer.
  if (!frame && next < info.frameCount && !info.finished) return Schedule(kWaitMs);
  if (!frame) {
    // The last frame has shown for its whole time (a damaged file may end
    // before the frames its blocks announced).
    currentFrame_ = 0;
    playing_ = false;
    if (onPassEnded_) onPassEnded_();
    return;
  }
  currentFrame_ = next;
  Show(std::move(frame));
  if (onFrameShown_) onFrameShown_();
  const auto at = static_cast<std::size_t>(next);
  Schedule(std::max(kStepMs, at < info.displayMs.size() ? info.displayMs[at] : kStepMs));
}

}  // namespace reelmill
