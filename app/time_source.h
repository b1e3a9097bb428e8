#pragma once
// Where the window takes its time from: the preview's play clock and the
// window's 100-ms timers. The program runs them on Qt's event loop; tests
// hand the window a manual time they advance themselves.

#include <functional>
#include <memory>

#include "engine/playback_clock.h"

namespace reelmill {

// A repeating timer, like a window timer: ticks every period until stopped.
class Ticker {
 public:
  virtual ~Ticker() = default;
  // (Re)starts the timer; the first tick comes one period from now.
  virtual void Start(int periodMs) = 0;
  virtual void Stop() = 0;
  virtual bool Active() const = 0;
  void SetHandler(std::function<void()> handler) { handler_ = std::move(handler); }

 protected:
  void Fire() {
    if (handler_) handler_();
  }

 private:
  std::function<void()> handler_;
};

class TimeSource {
 public:
  virtual ~TimeSource() = default;
  virtual std::unique_ptr<PlaybackClock> NewClock() = 0;
  virtual std::unique_ptr<Ticker> NewTicker() = 0;
};

// Time from the Qt event loop of the calling (UI) thread.
class EventLoopTime final : public TimeSource {
 public:
  std::unique_ptr<PlaybackClock> NewClock() override;
  std::unique_ptr<Ticker> NewTicker() override;
};

}  // namespace reelmill
