// Adding 1000 GIF files through the window's worker: rows per second until
// every row is there, the seconds until the background decode has checked
// every count, and the longest time the UI thread went without running its
// event loop (a 1-ms timer measures the gaps). The files are copies of a few animations of
// 20 to 450 frames made with ffmpeg (and two real ones from gdk-pixbuf-tests
// when installed). Runs on Qt's offscreen platform.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/desktop.h"
#include "app/file_list_model.h"
#include "app/main_window.h"
#include "app/time_source.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;

// Answers nothing and shows nothing: the limit message of 1000 files would
// otherwise wait for a click.
class QuietDesktop final : public Desktop {
 public:
  void Message(const QString&) override {}
  void Warning(const QString&) override {}
  void Report(const QString&, const QString&) override {}
  QStringList AskOpenFiles(const QString&) override { return {}; }
  QString AskFolder(const QString&) override { return {}; }
  std::optional<SaveChoice> AskSavePath(const QStringList&, int) override { return std::nullopt; }
  bool Open(const QUrl&) override { return false; }
  int RunModal(QDialog&) override { return 0; }
};

struct Sources {
  ~Sources() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  fs::path folder;
  std::vector<fs::path> gifs;
};

Sources MakeSources() {
  Sources sources;
  sources.folder = fs::temp_directory_path() / ("reelmill-add-bench-" + std::to_string(::getpid()));
  fs::create_directories(sources.folder / "list");
  const std::pair<const char*, const char*> made[] = {{"testsrc=size=320x240:rate=10", "450"},
                                                      {"mandelbrot=size=240x180:rate=10", "20"},
                                                      {"life=size=300x200:rate=10", "120"},
                                                      {"testsrc2=size=200x150:rate=10", "60"}};
  int n = 0;
  for (const auto& [filter, frames] : made) {
    const fs::path gif = sources.folder / ("made" + std::to_string(n++) + ".gif");
    const std::string command =
        "ffmpeg -v error -y -f lavfi -i " + std::string(filter) + " -frames:v " + frames + " " + gif.string();
    if (std::system(command.c_str()) == 0 && fs::exists(gif)) sources.gifs.push_back(gif);
  }
  for (const char* real : {"/usr/libexec/installed-tests/gdk-pixbuf/aero.gif",
                           "/usr/libexec/installed-tests/gdk-pixbuf/1_partyanimsm2.gif"})
    if (fs::exists(real)) sources.gifs.push_back(real);
  return sources;
}

void BM_AddThousandFiles(benchmark::State& state) {
  static const Sources sources = MakeSources();
  if (sources.gifs.empty()) {
    state.SkipWithError("no animations: install ffmpeg or gdk-pixbuf-tests");
    return;
  }
  const bool distinct = state.range(0) != 0;
  std::vector<std::string> paths;
  for (int i = 0; i < 1000; ++i) {
    const fs::path copy = sources.folder / "list" / ("g" + std::to_string(i) + ".gif");
    fs::remove(copy);
    fs::copy_file(sources.gifs[static_cast<std::size_t>(i) % sources.gifs.size()], copy);
    // A changed last byte (after the trailer) makes every file's content its own.
    if (std::FILE* f = distinct ? std::fopen(copy.c_str(), "ab") : nullptr) {
      std::fputc(i & 0xFF, f);
      std::fputc(i >> 8, f);
      std::fclose(f);
    }
    paths.push_back(copy.string());
  }
  for (auto _ : state) {
    QuietDesktop desktop;
    EventLoopTime time;
    MainWindow window(desktop, time);
    window.show();
    QElapsedTimer clock, gap;
    qint64 longest = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    qint64 longestAt = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
      const qint64 g = gap.restart();
      if (g > longest) {
        longest = g;
        longestAt = clock.elapsed();
      }
    });
    clock.start();
    gap.start();
    probe.start(1);
    window.AddPaths(paths);
    double rowsSeconds = 0;
    // The program's own event loop, as the window runs it, until the last check.
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (rowsSeconds == 0 && window.Model().Count() == static_cast<int>(paths.size()))
        rowsSeconds = clock.nsecsElapsed() / 1e9;
      if (!window.Busy()) loop.quit();
    });
    watch.start(5);
    loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (rowsSeconds == 0) rowsSeconds = seconds;
    probe.stop();
    state.SetIterationTime(rowsSeconds);
    state.counters["rows_per_s"] = window.Model().Count() / rowsSeconds;
    state.counters["checked_after_s"] = seconds;
    state.counters["longest_at_s"] = longestAt / 1000.0;
    state.counters["longest_ui_block_ms"] = static_cast<double>(longest);
    state.counters["rows"] = window.Model().Count();
  }
}
// 0: copies of a few files (as a user's folder of duplicates); 1: every file
// different, so each is decoded.
BENCHMARK(BM_AddThousandFiles)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace reelmill
