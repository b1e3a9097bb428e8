#pragma once
// Where the frame recorder's play loop takes its time from. The window uses a
// real-time clock driven by its event loop; the command line and the tests
// use ImmediateClock, which runs the pass as fast as frames can be recorded.

#include <deque>
#include <functional>

namespace reelmill {

class PlaybackClock {
 public:
  virtual ~PlaybackClock() = default;
  // Runs `tick` once, `milliseconds` from now, on the recorder's thread.
  virtual void After(int milliseconds, std::function<void()> tick) = 0;
  // Drops pending ticks: once Cancel returns, none of them will run.
  virtual void Cancel() = 0;
};

// Runs each tick at once, without waiting, in the order scheduled. A tick
// scheduled from inside a tick runs after it returns, so a pass of any
// length uses constant stack.
class ImmediateClock final : public PlaybackClock {
 public:
  void After(int milliseconds, std::function<void()> tick) override;
  void Cancel() override { pending_.clear(); }
  // Milliseconds the ticks would have waited in real time.
  long long ElapsedMs() const { return elapsedMs_; }

 private:
  std::deque<std::function<void()>> pending_;
  bool running_ = false;
  long long elapsedMs_ = 0;
};

}  // namespace reelmill
