#pragma once
// Runs the add commands: reads the chosen files (or the GIFs of a folder) on
// worker threads and hands each row to the UI thread, in order, through
// queued calls. A row comes at once with what the walk of the file's blocks
// gives; a full decode afterwards, in the background, corrects Count and
// Dimension where a damaged file yields fewer frames. The list itself is only
// ever touched by the receiver, on the UI thread. Commands given while one
// runs wait their turn, so rows arrive in the order of the commands and,
// within one, of its files. Paths are the system's bytes.

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/file_probe.h"

namespace reelmill {

class FileAdder final : public QObject {
  Q_OBJECT

 public:
  // Files one command takes at most.
  static constexpr int kLimit = 1000;

  explicit FileAdder(int threads = 0, QObject* parent = nullptr);
  ~FileAdder() override;

  // `paths` in the order given.
  void AddFiles(const std::vector<std::string>& paths);
  // The files of `folder` (one level) whose names end in ".gif" in any case,
  // in name order.
  void AddFolder(const std::string& folder);
  // Rows still to come or to be checked.
  bool Busy() const;
  // Ends every command and check at once; no row or signal of them follows.
  void StopAll();
  const ProbeCache& Cache() const { return cache_; }

  // The GIFs of `folder` as Add Folder takes them (all of them).
  static std::vector<std::string> FolderGifs(const std::string& folder);
  // What a row shows of a file, QuickProbe unless replaced (tests put in
  // one that fails).
  void SetProbe(std::function<FileProbe(const std::string&)> probe) { probe_ = std::move(probe); }

 signals:
  // A new row; `id` names it for RowChecked.
  void RowReady(std::uint64_t id, const std::string& path, int count, int width, int height);
  // The full decode of row `id` gives other figures than its row shows.
  void RowChecked(std::uint64_t id, int count, int width, int height);
  // A command's rows are all there; `limitReached` when it took kLimit files
  // and left the rest.
  void CommandFinished(bool fromFolder, bool limitReached);
  void BusyChanged(bool busy);
  // A worker failed (memory ran out, say): its command ended with the rows
  // it had; the window goes on.
  void CommandFailed();

 private:
  struct Job;
  struct Check {
    std::uint64_t id;
    std::string path;
    FileProbe shown;
  };
  void Start(std::shared_ptr<Job> job);
  void Launch(Job& job);
  void Finish(Job* job);
  void QueueChecks(std::vector<Check> checks);
  void RunChecks();
  void SetChecking(bool checking);

  int threads_;
  std::function<FileProbe(const std::string&)> probe_ = QuickProbe;
  ProbeCache cache_;
  std::vector<std::shared_ptr<Job>> jobs_;
  std::uint64_t nextId_ = 1;

  // The background checks: one queue and the threads that work it, started
  // with the first check and kept until the adder goes.
  std::mutex checkMutex_;
  std::condition_variable checkWake_;
  std::deque<Check> checks_;
  int checksRunning_ = 0;
  bool quitChecks_ = false;
  std::atomic<std::uint64_t> checkGeneration_{0};  // results of an earlier generation are dropped
  std::vector<std::thread> checkThreads_;
  bool checking_ = false;       // as the UI thread knows it
  std::size_t checksLeft_ = 0;  // results the UI thread still waits for
};

}  // namespace reelmill
