// reelmill: the desktop window. GIF paths on the command line are added to
// the list at start, as one Add Files command adds them.

#include <QApplication>
#include <string>
#include <vector>

#include "app/app_icon.h"
#include "app/desktop.h"
#include "app/main_window.h"
#include "app/product.h"
#include "app/time_source.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("reelmill"));
  QApplication::setApplicationDisplayName(reelmill::kProductName);
  QApplication::setApplicationVersion(reelmill::kProductVersion);
  QApplication::setDesktopFileName(QStringLiteral("reelmill"));
  QApplication::setWindowIcon(reelmill::AppIcon());

  reelmill::QtDesktop desktop;
  reelmill::EventLoopTime time;
  reelmill::MainWindow window(desktop, time);
  desktop.SetOwner(&window);
  window.show();
  // The arguments' own bytes: Qt's text of them cannot spell every name.
  const std::vector<std::string> paths(argv + 1, argv + argc);
  if (!paths.empty()) window.AddPaths(paths);
  return QApplication::exec();
}
