#pragma once
// What the converter's end-to-end tests share: GIFs of moving colour blocks,
// a workspace of input, output and temporary folders, and runs of the
// converter in the foreground or in the background.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/gif_builder.h"
#include "tests/support/test_support.h"
#include "tests/tools/run_converter.h"

extern char** environ;

namespace reelmill::testing {

struct Workspace {
  TempDir in, out, tmp, scratch;
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const std::string path = in / name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteAll(path, bytes);
    return path;
  }
  RunResult Run(const std::string& arguments, const std::string& input = "") const {
    std::string command = arguments;
    if (!input.empty()) {
      WriteAll(scratch / "stdin.txt", std::vector<std::uint8_t>(input.begin(), input.end()));
      command += " <" + Quoted(scratch / "stdin.txt");
    }
    return RunConverter(command, scratch.Path(), "TMPDIR=" + Quoted(tmp.Path()));
  }
  bool NoTemporaryFilesLeft() const { return std::filesystem::is_empty(tmp.Path()); }
  std::size_t OutputEntries() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::recursive_directory_iterator(out.Path()), {}));
  }
  // Hidden files in the output tree: the atomic writer's partial files.
  std::size_t HiddenOutputFiles() const {
    std::size_t hidden = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out.Path()))
      hidden += entry.path().filename().string().starts_with(".");
    return hidden;
  }
};

// The converter running in the background, with its standard error in a file.
class BackgroundRun {
 public:
  // `standardInput`, when given, becomes the run's standard input.
  BackgroundRun(const Workspace& ws, const std::vector<std::string>& arguments, int standardInput = -1) {
    static const std::string convert = std::string(REELMILL_BINARY_DIR) + "/tools/reelmill-convert";
    std::vector<std::string> args{convert};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env{"TMPDIR=" + ws.tmp.Path(), "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (ws.scratch / "bg-stderr.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (standardInput >= 0) posix_spawn_file_actions_adddup2(&actions, standardInput, STDIN_FILENO);
    // A test started as a background job has SIGINT ignored, which the
    // converter rightly keeps: the run gets the signals a terminal gives.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawn(&pid_, convert.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~BackgroundRun() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  void Signal(int signal) const { ::kill(pid_, signal); }
  // The exit status, or 128 + the signal that ended it.
  int Wait() {
    int raw = 0;
    ::waitpid(pid_, &raw, 0);
    pid_ = -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  }

 private:
  pid_t pid_ = -1;
};

// Waits up to 60 s for `ready`; false when it never became true.
template <typename Ready>
bool WaitFor(Ready ready) {
  for (int i = 0; i < 6000; ++i) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace reelmill::testing
