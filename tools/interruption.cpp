#include "tools/interruption.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>

#include "imaging/file_io.h"

namespace reelmill {

namespace {

// SIGHUP comes when the terminal closes (an SSH session that ends). A
// signal ignored when the program started (nohup, a shell's background job)
// stays ignored.
sigset_t Watched() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaddset(&set, signal);
  }
  return set;
}

}  // namespace

Interruption::Interruption(std::function<void(int)> onFirstSignal)
    : watched_(Watched()), onFirst_(std::move(onFirstSignal)) {
  pthread_sigmask(SIG_BLOCK, &watched_, nullptr);
  watcher_ = std::thread([this] { Watch(); });
}

Interruption::~Interruption() {
  stopping_ = true;
  watcher_.join();
  pthread_sigmask(SIG_UNBLOCK, &watched_, nullptr);
}

void Interruption::Watch() {
  const sigset_t set = watched_;
  const timespec tick{0, 50 * 1000 * 1000};
  while (!stopping_) {
    const int signal = sigtimedwait(&set, nullptr, &tick);
    if (signal < 0) continue;  // the tick passed, or EINTR
    if (!requested_.exchange(true)) {
      signal_ = signal;
      if (onFirst_) onFirst_(signal);
    } else {
      RemoveTrackedAndExit(signal_.load());
    }
  }
}

void Interruption::RemoveTrackedAndExit(int signal) {
  namespace fs = std::filesystem;
  // The workers are still running: a file they create while a folder is
  // being removed keeps it, so the removal goes on until nothing is left
  // (for a second at most).
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::lock_guard lock(mutex_);
    bool left = false;
    std::error_code ignored;
    for (const Partials& partial : partials_) {
      for (fs::directory_iterator it(partial.folder, ignored), end; !ignored && it != end; it.increment(ignored)) {
        const auto target = PartialFileTarget(it->path().filename().string());
        if (target && partial.isOutput(*target)) {
          fs::remove(it->path(), ignored);
          left = true;  // looked at again, in case more came meanwhile
        }
      }
      ignored.clear();
    }
    for (const std::string& folder : folders_) {
      fs::remove_all(folder, ignored);
      left |= fs::exists(folder, ignored);
    }
    if (!left) break;
    ::usleep(10 * 1000);
  }
  // The status a shell reports for a process ended by the signal.
  ::_exit(128 + signal);
}

std::string Interruption::MakeTrackedFolder(std::string pattern) {
  std::lock_guard lock(mutex_);
  if (!::mkdtemp(pattern.data())) return {};
  folders_.push_back(pattern + "/");
  return folders_.back();
}

void Interruption::UntrackFolder(const std::string& folder) {
  std::lock_guard lock(mutex_);
  if (const auto it = std::find(folders_.begin(), folders_.end(), folder); it != folders_.end()) folders_.erase(it);
}

Interruption::PartialFiles::PartialFiles(Interruption& interruption, std::string folder,
                                         std::function<bool(std::string_view)> isOutput)
    : interruption_(interruption) {
  std::lock_guard lock(interruption_.mutex_);
  id_ = interruption_.nextPartials_++;
  interruption_.partials_.push_back(Partials{id_, std::move(folder), std::move(isOutput)});
}

Interruption::PartialFiles::~PartialFiles() {
  std::lock_guard lock(interruption_.mutex_);
  auto& partials = interruption_.partials_;
  partials.erase(std::remove_if(partials.begin(), partials.end(), [&](const Partials& p) { return p.id == id_; }),
                 partials.end());
}

}  // namespace reelmill
