// Runs the window tests: `app_tests NAME [QTest options]` runs one class,
// `app_tests` all of them. Without a display, Qt's offscreen platform is used.

#include <QApplication>
#include <cstring>
#include <map>
#include <string>

#include "tests/app/app_test.h"

namespace reelmill::testing {

namespace {
std::map<std::string, TestRun>& Registry() {
  static std::map<std::string, TestRun> tests;
  return tests;
}
}  // namespace

bool RegisterTest(const char* name, TestRun run) {
  Registry().emplace(name, std::move(run));
  return true;
}

}  // namespace reelmill::testing

int main(int argc, char** argv) {
  // ctest and test discovery start the binary without the test environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Reelmill"));
  auto& tests = reelmill::testing::Registry();
  if (argc > 1 && tests.count(argv[1])) {
    const std::string name = argv[1];
    argv[1] = argv[0];
    return tests.at(name)(argc - 1, argv + 1);
  }
  int failures = 0;
  for (const auto& [name, run] : tests) failures += run(argc, argv);
  return failures == 0 ? 0 : 1;
}
