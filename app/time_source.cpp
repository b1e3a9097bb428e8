#include "app/time_source.h"

#include <QTimer>

#include <algorithm>
#include <vector>

namespace reelmill {

namespace {

// One pending tick at a time is all the frame recorder asks for, but any
// number works: each is a precise single-shot timer, and Cancel deletes them
// all, so none runs after it returns.
class EventLoopClock final : public PlaybackClock {
 public:
  ~EventLoopClock() override { Cancel(); }

  void After(int milliseconds, std::function<void()> tick) override {
    auto* timer = new QTimer(&owner_);  // owned, so none outlives the clock
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [this, timer, tick = std::move(tick)] {
      pending_.erase(std::remove(pending_.begin(), pending_.end(), timer), pending_.end());
      timer->deleteLater();
      tick();
    });
    pending_.push_back(timer);
    timer->start(milliseconds);
  }

  void Cancel() override {
    for (QTimer* timer : pending_) {
      timer->stop();
      timer->disconnect();
      timer->deleteLater();
    }
    pending_.clear();
  }

 private:
  QObject owner_;
  std::vector<QTimer*> pending_;
};

class EventLoopTicker final : public Ticker {
 public:
  EventLoopTicker() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Fire(); });
  }
  void Start(int periodMs) override { timer_.start(periodMs); }
  void Stop() override { timer_.stop(); }
  bool Active() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
};

}  // namespace

std::unique_ptr<PlaybackClock> EventLoopTime::NewClock() { return std::make_unique<EventLoopClock>(); }

std::unique_ptr<Ticker> EventLoopTime::NewTicker() { return std::make_unique<EventLoopTicker>(); }

}  // namespace reelmill
