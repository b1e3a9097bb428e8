#include "app/file_adder.h"

#include <pthread.h>
#include <sched.h>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <optional>

namespace reelmill {

struct FileAdder::Job {
  bool fromFolder = false;
  std::string folder;
  std::vector<std::string> paths;
  bool limitReached = false;
  std::atomic<bool> stop{false};
  std::atomic<int> next{0};
  std::mutex mutex;
  std::vector<std::optional<FileProbe>> results;
  std::uint64_t firstId = 0;  // rows take the ids firstId, firstId + 1, ...
  std::atomic<bool> failed{false};
  int delivered = 0;
  std::vector<std::thread> threads;
  std::weak_ptr<Job> self;  // what the queued rows hold: a stopped command's rows are dropped
};

FileAdder::FileAdder(int threads, QObject* parent)
    : QObject(parent), threads_(threads > 0 ? threads : std::max(1, QThread::idealThreadCount())) {}

FileAdder::~FileAdder() {
  StopAll();
  {
    std::lock_guard lock(checkMutex_);
    quitChecks_ = true;
  }
  checkWake_.notify_all();
  for (auto& thread : checkThreads_) thread.join();
}

namespace {

bool EndsWithGif(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".gif";
}

}  // namespace

std::vector<std::string> FileAdder::FolderGifs(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code ignored;
    const std::string name = it->path().filename().string();
    if (it->is_regular_file(ignored) && EndsWithGif(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> paths;
  for (const auto& name : names) paths.push_back(folder + name);
  return paths;
}

bool FileAdder::Busy() const { return !jobs_.empty() || checking_; }

void FileAdder::AddFiles(const std::vector<std::string>& paths) {
  auto job = std::make_shared<Job>();
  job->paths = paths;
  Start(std::move(job));
}

void FileAdder::AddFolder(const std::string& folder) {
  auto job = std::make_shared<Job>();
  job->fromFolder = true;
  job->folder = folder;
  Start(std::move(job));
}

void FileAdder::Start(std::shared_ptr<Job> job) {
  job->self = job;
  job->firstId = nextId_;
  nextId_ += kLimit;
  const bool wasBusy = Busy();
  jobs_.push_back(job);
  if (!wasBusy) emit BusyChanged(true);
  // Commands run one after the other, so that each one's rows come after
  // those of the commands before it; each uses every thread on its own.
  if (jobs_.size() == 1) Launch(*jobs_.front());
}

void FileAdder::Launch(Job& j) {
  // Each row is posted as soon as it and every row before it are known, so
  // rows arrive in order however the threads finish.
  auto deliverReady = [this](Job& pending) {
    while (pending.delivered < static_cast<int>(pending.results.size()) &&
           pending.results[static_cast<std::size_t>(pending.delivered)]) {
      const FileProbe probe = *pending.results[static_cast<std::size_t>(pending.delivered)];
      const std::string path = pending.paths[static_cast<std::size_t>(pending.delivered)];
      const std::uint64_t id = pending.firstId + static_cast<std::uint64_t>(pending.delivered++);
      QMetaObject::invokeMethod(
          this,
          [this, job = pending.self, id, path, probe] {
            if (!job.expired()) emit RowReady(id, path, probe.count, probe.width, probe.height);
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
  // A worker that fails ends its command with the rows it had, as if at its
  // end; the window says so and goes on.
  auto fail = [this](Job& failing) {
    if (failing.failed.exchange(true)) return;
    failing.stop = true;
    QMetaObject::invokeMethod(
        this,
        [this, job = failing.self] {
          if (auto alive = job.lock()) {
            emit CommandFailed();
            Finish(alive.get());
          }
        },
        Qt::QueuedConnection);
  };
  auto probeLoop = [this, deliverReady, fail](Job& work) {
    try {
      for (int i; !work.stop && (i = work.next++) < static_cast<int>(work.results.size());) {
        const FileProbe probe = probe_(work.paths[static_cast<std::size_t>(i)]);
        std::lock_guard lock(work.mutex);
        work.results[static_cast<std::size_t>(i)] = probe;
        deliverReady(work);
      }
    } catch (...) {
      fail(work);
    }
  };
  j.threads.emplace_back([this, &j, probeLoop, deliverReady, fail] {
    try {
      if (j.fromFolder) j.paths = FolderGifs(j.folder);
      if (j.paths.size() >= static_cast<std::size_t>(kLimit)) {
        j.limitReached = true;
        j.paths.resize(kLimit);
      }
      {
        std::lock_guard lock(j.mutex);
        j.results.resize(j.paths.size());
        if (j.paths.empty()) deliverReady(j);
      }
    } catch (...) {
      return fail(j);
    }
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads_ && t < static_cast<int>(j.paths.size()); ++t)
      helpers.emplace_back([&] { probeLoop(j); });
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
  std::vector<Check> checks;
  for (std::size_t i = 0; i < done->paths.size() && i < done->results.size(); ++i)
    if (done->results[i]) checks.push_back(Check{done->firstId + i, done->paths[i], *done->results[i]});
  QueueChecks(std::move(checks));
  emit CommandFinished(done->fromFolder, done->limitReached);
  if (!jobs_.empty()) {
    Launch(*jobs_.front());
  } else if (!Busy()) {
    emit BusyChanged(false);
  }
}

void FileAdder::QueueChecks(std::vector<Check> checks) {
  if (checks.empty()) return;
  checksLeft_ += checks.size();
  {
    std::lock_guard lock(checkMutex_);
    for (auto& check : checks) checks_.push_back(std::move(check));
  }
  checking_ = true;
  // One core stays the window's.
  if (checkThreads_.empty())
    for (int t = 0; t < std::max(1, threads_ - 1); ++t) checkThreads_.emplace_back([this] { RunChecks(); });
  checkWake_.notify_all();
}

void FileAdder::RunChecks() {
  // Checks only fill time the window and the other work leave: the user is
  // not waiting for them.
  sched_param lowest{};
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &lowest);
  std::unique_lock lock(checkMutex_);
  for (;;) {
    checkWake_.wait(lock, [&] { return quitChecks_ || !checks_.empty(); });
    if (quitChecks_) return;
    const Check check = std::move(checks_.front());
    checks_.pop_front();
    const std::uint64_t generation = checkGeneration_;
    ++checksRunning_;
    lock.unlock();
    // A check that fails leaves the row as the walk gave it.
    FileProbe exact = check.shown;
    try {
      exact = cache_.Probe(check.path);
    } catch (...) {
    }
    lock.lock();
    --checksRunning_;
    if (generation != checkGeneration_) continue;
    // The UI thread counts the results in; it never waits for this lock,
    // which threads of the lowest priority hold.
    QMetaObject::invokeMethod(
        this,
        [this, check, exact, generation] {
          if (generation != checkGeneration_) return;
          if (!(exact == check.shown)) emit RowChecked(check.id, exact.count, exact.width, exact.height);
          if (--checksLeft_ == 0) SetChecking(false);
        },
        Qt::QueuedConnection);
  }
}

void FileAdder::SetChecking(bool checking) {
  const bool wasBusy = Busy();
  checking_ = checking;
  if (wasBusy != Busy()) emit BusyChanged(Busy());
}

void FileAdder::StopAll() {
  for (const auto& job : jobs_) job->stop = true;
  for (const auto& job : jobs_)
    for (auto& thread : job->threads) thread.join();
  const bool wasBusy = Busy();
  jobs_.clear();
  {
    // Checks under way finish, but what they find is dropped.
    std::unique_lock lock(checkMutex_);
    checks_.clear();
    ++checkGeneration_;
  }
  checksLeft_ = 0;
  checking_ = false;
  if (wasBusy) emit BusyChanged(false);
}

}  // namespace reelmill
