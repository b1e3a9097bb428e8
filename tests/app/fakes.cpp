#include "tests/app/fakes.h"

#include <QCoreApplication>

namespace reelmill::testing {

namespace {

class ManualClock final : public PlaybackClock {
 public:
  explicit ManualClock(ManualTime& time) : time_(time) {}
  ~ManualClock() override { Cancel(); }
  void After(int milliseconds, std::function<void()> tick) override {
    time_.Schedule(milliseconds, std::move(tick), this);
  }
  void Cancel() override { time_.CancelAll(this); }

 private:
  ManualTime& time_;
};

class ManualTicker final : public Ticker {
 public:
  explicit ManualTicker(ManualTime& time) : time_(time) {}
  ~ManualTicker() override { Stop(); }
  void Start(int periodMs) override {
    Stop();
    period_ = periodMs;
    active_ = true;
    Arm();
  }
  void Stop() override {
    active_ = false;
    time_.CancelAll(this);
  }
  bool Active() const override { return active_; }

 private:
  void Arm() {
    time_.Schedule(
        period_,
        [this] {
          Arm();  // the next tick is due one period on, whatever this one does
          Fire();
        },
        this);
  }
  ManualTime& time_;
  int period_ = 100;
  bool active_ = false;
};

}  // namespace

std::unique_ptr<PlaybackClock> ManualTime::NewClock() { return std::make_unique<ManualClock>(*this); }

std::unique_ptr<Ticker> ManualTime::NewTicker() { return std::make_unique<ManualTicker>(*this); }

int ManualTime::Schedule(long long delay, std::function<void()> tick, const void* owner) {
  const int id = nextId_++;
  const long long due = now_ + delay;
  events_.emplace(std::make_pair(due, id), Event{due, id, owner, std::move(tick)});
  return id;
}

void ManualTime::CancelAll(const void* owner) {
  std::erase_if(events_, [owner](const auto& entry) { return entry.second.owner == owner; });
}

void ManualTime::Advance(long long ms) {
  const long long end = now_ + ms;
  while (!events_.empty() && events_.begin()->first.first <= end) {
    Event event = std::move(events_.begin()->second);
    events_.erase(events_.begin());
    now_ = event.due;
    event.tick();
  }
  now_ = end;
  QCoreApplication::processEvents();
}

bool ManualTime::AdvanceUntil(const std::function<bool()>& done, long long limit, long long step) {
  for (long long passed = 0; passed <= limit; passed += step) {
    if (done()) return true;
    Advance(step);
  }
  return done();
}

int FakeDesktop::RunModal(QDialog& dialog) {
  dialogs << dialog.objectName();
  if (modal) return modal(dialog);
  if (dialog.objectName() != QLatin1String("sequenceExportDialog")) return QDialog::Accepted;
  dialog.show();
  time_.AdvanceUntil([&] { return !dialog.isVisible(); }, 10 * 60 * 1000, 100);
  return dialog.result();
}

}  // namespace reelmill::testing
