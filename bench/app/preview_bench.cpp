// A large and a long GIF through the window as a user takes them: listed,
// played once, converted to AVI. Measured: the longest time the UI thread
// went without running its event loop (a 1-ms timer measures the gaps) and
// the peak resident memory of the whole run. The window's clocks run ten
// times faster than real time, so the pass comes ten times faster than a
// user would see it: a harsher test of the decoding thread keeping up.
// Runs on Qt's offscreen platform.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "app/conversion_driver.h"
#include "app/desktop.h"
#include "app/file_list_model.h"
#include "app/main_window.h"
#include "app/preview_widget.h"
#include "app/time_source.h"
#include "app/window_actions.h"
#include "engine/playback_clock.h"
#include "tests/support/screen_recording.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;

class QuietDesktop final : public Desktop {
 public:
  void Message(const QString& text) override { messages << text; }
  void Warning(const QString&) override {}
  void Report(const QString& text, const QString&) override { messages << text; }
  QStringList AskOpenFiles(const QString&) override { return {}; }
  QString AskFolder(const QString&) override { return {}; }
  std::optional<SaveChoice> AskSavePath(const QStringList&, int) override { return std::nullopt; }
  bool Open(const QUrl&) override { return false; }
  int RunModal(QDialog&) override { return 0; }
  QStringList messages;
};

// Qt's event loop, every period divided by `speed`.
class FastTime final : public TimeSource {
 public:
  explicit FastTime(int speed) : speed_(speed) {}
  std::unique_ptr<PlaybackClock> NewClock() override {
    class Clock final : public PlaybackClock {
     public:
      Clock(std::unique_ptr<PlaybackClock> inner, int speed) : inner_(std::move(inner)), speed_(speed) {}
      void After(int ms, std::function<void()> tick) override { inner_->After(ms / speed_, std::move(tick)); }
      void Cancel() override { inner_->Cancel(); }

     private:
      std::unique_ptr<PlaybackClock> inner_;
      int speed_;
    };
    return std::make_unique<Clock>(real_.NewClock(), speed_);
  }
  std::unique_ptr<Ticker> NewTicker() override {
    class Fast final : public Ticker {
     public:
      Fast(std::unique_ptr<Ticker> inner, int speed) : inner_(std::move(inner)), speed_(speed) {
        inner_->SetHandler([this] { Fire(); });
      }
      void Start(int periodMs) override { inner_->Start(std::max(1, periodMs / speed_)); }
      void Stop() override { inner_->Stop(); }
      bool Active() const override { return inner_->Active(); }

     private:
      std::unique_ptr<Ticker> inner_;
      int speed_;
    };
    return std::make_unique<Fast>(real_.NewTicker(), speed_);
  }

 private:
  EventLoopTime real_;
  int speed_;
};

// Peak resident memory since the last reset, in MB.
double PeakRssMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}
void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Runs the event loop until `done`, recording the longest gap between the
// probe timer's ticks.
template <typename Done>
double RunUntil(Done done, qint64& longest) {
  QElapsedTimer clock, gap;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  QObject::connect(&probe, &QTimer::timeout, [&] { longest = std::max(longest, gap.restart()); });
  clock.start();
  gap.start();
  probe.start(1);
  // The program's own event loop, as the window runs it.
  QEventLoop loop;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  watch.start(5);
  loop.exec();
  probe.stop();
  return clock.nsecsElapsed() / 1e9;
}

void BM_LargeAndLongGifs(benchmark::State& state) {
  const bool large = state.range(0) == 0;
  testing::TempDir dir;
  const std::string gif = dir / "recording.gif";
  testing::WriteAll(gif,
                    large ? testing::ScreenRecordingGif(1920, 1080, 270) : testing::ScreenRecordingGif(640, 480, 1000));
  for (auto _ : state) {
    ResetPeakRss();
    QuietDesktop desktop;
    FastTime time(10);
    MainWindow window(desktop, time);
    window.show();
    window.findChild<QLineEdit*>(QStringLiteral("outputFolder"))->setText(QString::fromStdString(dir / "out/"));
    qint64 longest = 0;
    window.AddPaths({gif});
    const double listed = RunUntil([&] { return !window.Busy(); }, longest);
    window.TakeRowForConversion(0);
    window.Actions().play->trigger();
    const double played =
        RunUntil([&] { return !window.Preview().Player().Active() && !window.PreviewPlaying(); }, longest);
    window.Actions().convert->trigger();
    const double converted = RunUntil([&] { return !window.Driver().Converting(); }, longest);
    state.SetIterationTime(listed + played + converted);
    state.counters["listed_s"] = listed;
    state.counters["played_s"] = played;
    state.counters["converted_s"] = converted;
    state.counters["longest_ui_block_ms"] = static_cast<double>(longest);
    state.counters["peak_rss_mb"] = PeakRssMb();
    state.counters["failures"] = desktop.messages.size();
  }
}
// 0: 1920 x 1080, 270 frames; 1: 640 x 480, 1000 frames.
BENCHMARK(BM_LargeAndLongGifs)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace reelmill

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
