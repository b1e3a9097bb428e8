#include "engine/playback_clock.h"

namespace reelmill {

void ImmediateClock::After(int milliseconds, std::function<void()> tick) {
  elapsedMs_ += milliseconds;
  pending_.push_back(std::move(tick));
  if (running_) return;
  running_ = true;
  while (!pending_.empty()) {
    auto next = std::move(pending_.front());
    pending_.pop_front();
    next();
  }
  running_ = false;
}

}  // namespace reelmill
