#pragma once
// SIGINT, SIGTERM and SIGHUP during a batch. The first asks the batch to stop: files
// under way are abandoned and the rest are not started. The second ends the
// process at once, after removing the temporary files and folders of the
// work under way, so no partial file is left behind either way.

#include <signal.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace reelmill {

class Interruption {
 public:
  // Takes SIGINT, SIGTERM and SIGHUP away from every thread created after it (the
  // constructor must run before the workers start) and watches for them;
  // `onFirstSignal` runs on the watcher's thread when the first one comes.
  explicit Interruption(std::function<void(int)> onFirstSignal = {});
  ~Interruption();
  Interruption(const Interruption&) = delete;
  Interruption& operator=(const Interruption&) = delete;

  // Set by the first signal.
  const std::atomic<bool>& Requested() const { return requested_; }
  // The first signal's number, 0 without one.
  int Signal() const { return signal_.load(); }

  // What a forced exit removes: folders with everything in them, and the
  // partial files of the outputs under way.
  // Creates a folder from a mkdtemp pattern and tracks it, with no moment in
  // between that a forced exit could miss; its path with a final '/', or
  // empty text (errno set).
  std::string MakeTrackedFolder(std::string pattern);
  void UntrackFolder(const std::string& folder);
  // The atomic writer's partial files in `folder` whose targets `isOutput`
  // names, tracked while the handle lives.
  class PartialFiles {
   public:
    PartialFiles(Interruption& interruption, std::string folder, std::function<bool(std::string_view)> isOutput);
    ~PartialFiles();
    PartialFiles(const PartialFiles&) = delete;
    PartialFiles& operator=(const PartialFiles&) = delete;

   private:
    Interruption& interruption_;
    std::size_t id_;
  };

 private:
  void Watch();
  void RemoveTrackedAndExit(int signal);

  const sigset_t watched_;
  std::atomic<bool> requested_{false};
  std::atomic<int> signal_{0};
  std::atomic<bool> stopping_{false};
  std::function<void(int)> onFirst_;
  std::mutex mutex_;
  std::vector<std::string> folders_;
  struct Partials {
    std::size_t id;
    std::string folder;
    std::function<bool(std::string_view)> isOutput;
  };
  std::vector<Partials> partials_;
  std::size_t nextPartials_ = 0;
  std::thread watcher_;
};

}  // namespace reelmill
