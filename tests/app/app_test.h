#pragma once
// What the window tests share: registration of QTest classes with the test
// main, GIF files made for a test, and a window wired to the fakes.

#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QTest>
#include <QTreeView>
#include <functional>
#include <string>
#include <vector>

#include "app/conversion_driver.h"
#include "app/file_list_model.h"
#include "app/main_window.h"
#include "app/preview_widget.h"
#include "app/window_actions.h"
#include "tests/app/fakes.h"
#include "tests/support/gif_builder.h"
#include "tests/support/test_support.h"

namespace reelmill::testing {

// Each test class registers itself; the main runs one by name or all.
using TestRun = std::function<int(int argc, char** argv)>;
bool RegisterTest(const char* name, TestRun run);

template <typename T>
int RunTest(int argc, char** argv) {
  T test;
  return QTest::qExec(&test, argc, argv);
}
#define REELMILL_APP_TEST(Class) \
  static const bool registered##Class = ::reelmill::testing::RegisterTest(#Class, ::reelmill::testing::RunTest<Class>)

// A GIF of `delays.size()` solid frames of distinct colours.
inline std::string WriteGif(const TempDir& dir, const std::string& name, const std::vector<int>& delays, int width = 8,
                            int height = 6) {
  GifBuilder builder(width, height);
  for (std::size_t i = 0; i < delays.size(); ++i) builder.SolidFrame(static_cast<std::uint8_t>(1 + i % 7), delays[i]);
  const std::string path = dir / name;
  WriteAll(path, builder.Bytes());
  return path;
}

inline QStringList QPaths(const std::vector<std::string>& paths) {
  QStringList list;
  for (const auto& p : paths) list << QString::fromStdString(p);
  return list;
}

// The window with a manual time and a fake desktop, shown offscreen.
struct WindowEnv {
  WindowEnv() {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
  }
  // Adds files as ADD Gif(s) does and waits for every row.
  bool AddFiles(const QStringList& paths) {
    desktop.openFiles.push_back(paths);
    window.Actions().addFiles->trigger();
    return WaitIdle();
  }
  bool AddFolder(const std::string& folder) {
    desktop.folders.push_back(QString::fromStdString(folder));
    window.Actions().addFolder->trigger();
    return WaitIdle();
  }
  bool WaitIdle() {
    return QTest::qWaitFor([this] { return !window.Busy(); }, 60000);
  }
  // Waits until the preview's stream has decoded the file to its end and
  // what it found is taken up: the pass under way no longer waits on it.
  bool WaitForStream() {
    const FramePlayer& player = window.Preview().Player();
    // The stream's news reaches the player through the event loop, so its
    // first frame may show a moment after the stream says it has finished.
    return QTest::qWaitFor(
        [&] {
          const auto info = player.Info();
          return info.finished && (player.Playing() || !player.Active()) && (player.CurrentImage() || info.refused);
        },
        60000);
  }
  // Advances the manual time in steps of `step` until `done` holds; while
  // the preview waits for a frame from its decoding thread, or the window for
  // an output being made on its own, real time passes instead, so what the
  // manual time shows is the pass itself.
  bool AdvanceUntil(const std::function<bool()>& done, long long limit = 600000, long long step = 10) {
    const FramePlayer& player = window.Preview().Player();
    for (long long passed = 0; passed <= limit;) {
      if (done()) return true;
      const bool waiting = !player.Ready() || (!player.Active() && window.Driver().OutputPending());
      if (waiting) {
        QTest::qWait(1);
        continue;
      }
      time.Advance(step);
      passed += step;
    }
    return done();
  }
  QRect RowRect(int row) { return window.List().visualRect(window.Model().index(row, 0)); }
  void ClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(window.List().viewport(), Qt::LeftButton, modifiers, RowRect(row).center());
  }
  // A right click as the platform delivers it: a context-menu event.
  void RightClick(const QPoint& at) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, window.List().viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(window.List().viewport(), &event);
  }
  QString Cell(int row, int column) { return window.Model().index(row, column).data().toString(); }
  template <typename W>
  W* Find(const char* name) {
    return window.findChild<W*>(QString::fromLatin1(name));
  }
  // Chooses an item of a drop-down list as the user does.
  void Choose(const char* list, const QString& item) {
    QComboBox* box = Find<QComboBox>(list);
    box->setCurrentIndex(box->findText(item));
    Q_EMIT box->activated(box->currentIndex());
  }

  TempDir dir;
  ManualTime time;
  FakeDesktop desktop{time};
  MainWindow window{desktop, time};
};

}  // namespace reelmill::testing
