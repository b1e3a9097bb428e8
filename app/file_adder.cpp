#include "app/file_adder.h"

#include <QDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

namespace reelmill {

struct FileAdder::Job {
  bool fromFolder = false;
  QString folder;
  QStringList paths;
  bool limitReached = false;
  std::atomic<bool> stop{false};
  std::atomic<int> next{0};
  std::mutex mutex;
  std::vector<std::optional<FileProbe>> results;
  int delivered = 0;
  std::vector<std::thread> threads;
  std::weak_ptr<Job> self;  // what the queued rows hold: a stopped command's rows are dropped
};

FileAdder::FileAdder(int threads, QObject* parent)
    : QObject(parent), threads_(threads > 0 ? threads : std::max(1, QThread::idealThreadCount())) {}

FileAdder::~FileAdder() { StopAll(); }

QStringList FileAdder::FolderGifs(const QString& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator it(folder.toStdString(), error), end;
  for (; !error && it != end; it.increment(error)) {
    std::error_code ignored;
    if (!it->is_regular_file(ignored)) continue;
    const QString name = QString::fromStdString(it->path().filename().string());
    if (name.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive)) names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  QStringList paths;
  for (const auto& name : names) paths << folder + QString::fromStdString(name);
  return paths;
}

void FileAdder::AddFiles(const QStringList& paths) {
  auto job = std::make_shared<Job>();
  job->paths = paths;
  Start(std::move(job));
}

void FileAdder::AddFolder(const QString& folder) {
  auto job = std::make_shared<Job>();
  job->fromFolder = true;
  job->folder = folder;
  Start(std::move(job));
}

void FileAdder::Start(std::shared_ptr<Job> job) {
  job->self = job;
  jobs_.push_back(job);
  // Commands run one after the other, so that each one's rows come after
  // those of the commands before it; each uses every thread on its own.
  if (jobs_.size() == 1) {
    emit BusyChanged(true);
    Launch(*jobs_.front());
  }
}

void FileAdder::Launch(Job& j) {
  // Each row is posted as soon as it and every row before it are known, so
  // rows arrive in order however the threads finish.
  auto deliverReady = [this](Job& pending) {
    while (pending.delivered < static_cast<int>(pending.results.size()) &&
           pending.results[static_cast<std::size_t>(pending.delivered)]) {
      const FileProbe probe = *pending.results[static_cast<std::size_t>(pending.delivered)];
      const QString path = pending.paths.at(pending.delivered++);
      QMetaObject::invokeMethod(
          this,
          [this, job = pending.self, path, probe] {
            if (!job.expired()) emit RowReady(path, probe.count, probe.width, probe.height);
          },
          Qt::QueuedConnection);
    }
    if (pending.delivered == static_cast<int>(pending.results.size()) && !pending.stop) {
      pending.stop = true;  // once: the other threads find nothing left to do
      QMetaObject::invokeMethod(
          this,
          [this, job = pending.self] {
            if (auto alive = job.lock()) Finish(alive.get());
          },
          Qt::QueuedConnection);
    }
  };
  auto probeLoop = [this, deliverReady](Job& work) {
    for (int i; !work.stop && (i = work.next++) < static_cast<int>(work.results.size());) {
      // Read only through const access: a non-const index detaches the
      // implicitly shared list, and two threads detaching it at once free
      // each other's copy.
      const FileProbe probe = cache_.Probe(work.paths.at(i).toStdString());
      std::lock_guard lock(work.mutex);
      work.results[static_cast<std::size_t>(i)] = probe;
      deliverReady(work);
    }
  };
  j.threads.emplace_back([this, &j, probeLoop, deliverReady] {
    if (j.fromFolder) j.paths = FolderGifs(j.folder);
    if (j.paths.size() >= kLimit) {
      j.limitReached = true;
      j.paths = j.paths.mid(0, kLimit);
    }
    {
      std::lock_guard lock(j.mutex);
      j.results.resize(static_cast<std::size_t>(j.paths.size()));
      if (j.paths.isEmpty()) deliverReady(j);
    }
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads_ && t < j.paths.size(); ++t) helpers.emplace_back([&] { probeLoop(j); });
    probeLoop(j);
    for (auto& helper : helpers) helper.join();
  });
}

void FileAdder::Finish(Job* job) {
  const auto found = std::find_if(jobs_.begin(), jobs_.end(), [job](const auto& j) { return j.get() == job; });
  if (found == jobs_.end()) return;
  const std::shared_ptr<Job> done = *found;
  jobs_.erase(found);
  for (auto& thread : done->threads) thread.join();
  emit CommandFinished(done->fromFolder, done->limitReached);
  if (jobs_.empty()) {
    emit BusyChanged(false);
  } else if (jobs_.front()->threads.empty()) {
    Launch(*jobs_.front());
  }
}

void FileAdder::StopAll() {
  for (const auto& job : jobs_) job->stop = true;
  for (const auto& job : jobs_)
    for (auto& thread : job->threads) thread.join();
  const bool wasBusy = Busy();
  jobs_.clear();
  if (wasBusy) emit BusyChanged(false);
}

}  // namespace reelmill
