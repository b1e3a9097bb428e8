#pragma once
// Runs the add commands: decodes the chosen files (or the GIFs of a folder)
// on worker threads and hands each row to the UI thread, in order, through
// queued signals. The list itself is only ever touched by the receiver, on
// the UI thread. Commands given while one runs wait their turn, so rows arrive
// in the order of the commands and, within one, of its files.

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
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
  void AddFiles(const QStringList& paths);
  // The files of `folder` (one level) whose names end in ".gif" in any case,
  // in name order.
  void AddFolder(const QString& folder);
  bool Busy() const { return !jobs_.empty(); }
  // Ends every command at once; no row or signal of them follows.
  void StopAll();
  const ProbeCache& Cache() const { return cache_; }

  // The GIFs of `folder` as Add Folder takes them (all of them).
  static QStringList FolderGifs(const QString& folder);

 signals:
  void RowReady(const QString& path, int count, int width, int height);
  // A command ended; `limitReached` when it took kLimit files and left the rest.
  void CommandFinished(bool fromFolder, bool limitReached);
  void BusyChanged(bool busy);

 private:
  struct Job;
  void Start(std::shared_ptr<Job> job);
  void Launch(Job& job);
  void Finish(Job* job);

  int threads_;
  ProbeCache cache_;
  std::vector<std::shared_ptr<Job>> jobs_;
};

}  // namespace reelmill
