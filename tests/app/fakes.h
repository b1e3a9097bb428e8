#pragma once
// Stand-ins the window is given in tests: a time that only moves when the
// test advances it, and a desktop that answers from queues and records what
// it was asked.

#include <QDialog>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>
#include <map>
#include <optional>

#include "app/desktop.h"
#include "app/time_source.h"

namespace reelmill::testing {

class ManualTime final : public TimeSource {
 public:
  std::unique_ptr<PlaybackClock> NewClock() override;
  std::unique_ptr<Ticker> NewTicker() override;

  long long Now() const { return now_; }
  // Runs every tick due within the next `ms` milliseconds, in time order.
  void Advance(long long ms);
  // Advances in steps of `step` until `done` holds or `limit` ms passed;
  // true when it held.
  bool AdvanceUntil(const std::function<bool()>& done, long long limit, long long step = 10);

  // Used by the clocks and tickers.
  int Schedule(long long delay, std::function<void()> tick, const void* owner);
  void CancelAll(const void* owner);

 private:
  struct Event {
    long long due;
    int id;
    const void* owner;
    std::function<void()> tick;
  };
  long long now_ = 0;
  int nextId_ = 0;
  std::multimap<std::pair<long long, int>, Event> events_;
};

class FakeDesktop final : public Desktop {
 public:
  explicit FakeDesktop(ManualTime& time) : time_(time) {}

  void Message(const QString& text) override { messages << text; }
  void Warning(const QString& text) override { warnings << text; }
  void Report(const QString& text, const QString& detailText) override {
    messages << text;
    details << detailText;
  }
  QStringList AskOpenFiles(const QString& filter) override {
    filters << filter;
    return Take(openFiles, QStringList());
  }
  QString AskFolder(const QString& title) override {
    folderTitles << title;
    return Take(folders, QString());
  }
  std::optional<SaveChoice> AskSavePath(const QStringList& filterList, int selected) override {
    saveFilters = filterList;
    saveSelected = selected;
    const SaveChoice choice = Take(savePaths, SaveChoice{});
    if (choice.path.isEmpty()) return std::nullopt;  // cancelled
    return choice;
  }
  bool Open(const QUrl& url) override {
    opened << url;
    return openSucceeds;
  }
  // Records the dialog; a sequence export runs on the manual time until it
  // closes itself (or `modal` decides what happens).
  int RunModal(QDialog& dialog) override;

  QStringList details;  // of each Report, in order
  std::deque<QStringList> openFiles;
  std::deque<QString> folders;
  std::deque<SaveChoice> savePaths;  // an empty path cancels
  bool openSucceeds = true;
  std::function<int(QDialog&)> modal;

  QStringList messages, warnings, filters, folderTitles, dialogs;
  QStringList saveFilters;
  int saveSelected = 0;
  QList<QUrl> opened;

 private:
  template <typename T>
  static T Take(std::deque<T>& queue, T otherwise) {
    if (queue.empty()) return otherwise;
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
  }
  ManualTime& time_;
};

}  // namespace reelmill::testing
