#include "tools/batch_runner.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "engine/conversion.h"
#include "engine/frame_pack.h"
#include "engine/sequence_export.h"
#include "engine/streaming_recording.h"
#include "imaging/paths.h"
#include "tools/input_probe.h"
#include "tools/triage.h"

namespace reelmill {

namespace fs = std::filesystem;

void TaskQueue::Push(Task task) {
  std::unique_lock lock(mutex_);
  space_.wait(lock, [&] { return queue_.size() < capacity_; });
  queue_.push_back(std::move(task));
  ready_.notify_one();
}

std::optional<Task> TaskQueue::Pop() {
  std::unique_lock lock(mutex_);
  ready_.wait(lock, [&] { return !queue_.empty() || closed_; });
  if (queue_.empty()) return std::nullopt;
  Task task = std::move(queue_.front());
  queue_.pop_front();
  space_.notify_one();
  return task;
}

void TaskQueue::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  ready_.notify_all();
}

void Outcomes::End(Task& task, Outcome outcome, const std::string& reason) {
  task.line.input = task.item.path;
  task.line.output = task.output;
  task.line.outcome = outcome;
  task.line.reason = reason;
  report_.Write(task.line);
  std::lock_guard lock(mutex_);
  ++counts_[outcome];
  if (outcome == Outcome::Failed) progress_.Message(task.item.path + ": " + reason);
}

int Outcomes::Count(Outcome outcome) {
  std::lock_guard lock(mutex_);
  return counts_[outcome];
}

// A private folder for one worker's temporary frames, removed at the end.
class BatchRunner::PrivateWorkFolder {
 public:
  explicit PrivateWorkFolder(Interruption& interruption) : interruption_(interruption) {
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    std::string pattern = (base / "reelmill-XXXXXX").string();
    if (error) {
      why_ = "cannot find the temporary folder: " + error.message();
    } else if (!::mkdtemp(pattern.data())) {
      why_ = "cannot create a temporary folder in " + base.string() + ": " + std::strerror(errno);
    } else {
      path_ = pattern + "/";
      interruption_.TrackFolder(path_);
    }
  }
  ~PrivateWorkFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    interruption_.UntrackFolder(path_);
  }
  const std::string& Path() const { return path_; }
  const std::string& Why() const { return why_; }

 private:
  Interruption& interruption_;
  std::string path_;
  std::string why_;
};

namespace {

// The system's reason why nothing can be created in `folder`, or empty text.
std::string WhyFolderUnusable(const std::string& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error && !IsDirectory(folder)) return "cannot create the output folder " + folder + ": " + error.message();
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return "cannot write in the output folder " + folder + ": " + std::strerror(errno);
  return {};
}

std::string Mebibytes(std::uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB"; }

}  // namespace

void BatchRunner::Work(TaskQueue& queue) {
  std::optional<PrivateWorkFolder> work;
  while (auto task = queue.Pop()) {
    if (interruption_.Requested()) {
      outcomes_.End(*task, Outcome::NotDone, "interrupted before it started");
      continue;
    }
    progress_.Started(FileNameOf(task->item.path));
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome = Outcome::Failed;
    std::string reason;
    Run(*task, work, outcome, reason);
    task->line.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcomes_.End(*task, outcome, reason);
    progress_.Finished();
  }
}

void BatchRunner::Run(Task& task, std::optional<PrivateWorkFolder>& work, Outcome& outcome, std::string& reason) {
  if (reason = WhyFolderUnusable(task.folder); !reason.empty()) return;
  const InputProbe probe = ProbeInput(task.item.path);
  if (reason = probe.refusal; !reason.empty()) return;
  if (plan_.video && !work) work.emplace(interruption_);
  if (plan_.video && work->Path().empty()) {
    reason = work->Why();
    return;
  }

  // The share of the memory budget this file needs, estimated from its
  // screen before any of it is decoded: the file itself, what frames are
  // kept in memory, the decoder's canvases and the encoders.
  const int width = std::max(probe.screenWidth, 1), height = std::max(probe.screenHeight, 1);
  const JobMemory model = plan_.video ? RecordingMemory(width, height, 32, plan_.settings.width, plan_.settings.height)
                                      : SequenceMemory(width, height, plan_.extension, plan_.sequence);
  const std::uint64_t held = probe.fileBytes + (plan_.video ? FramePack::kMemoryBytes : 0);
  const std::uint64_t least = held + model.For(1);
  if (least > memory_.Total()) {
    reason = "converting it needs about " + Mebibytes(least) + " of memory for its " + std::to_string(width) + " x " +
             std::to_string(height) + " screen, more than the " + Mebibytes(memory_.Total()) +
             " the batch may use (--memory)";
    return;
  }
  const MemoryBudget::Share share =
      memory_.Take(least, held + model.For(plan_.encoderThreads), &interruption_.Requested());
  if (!share) {
    outcome = Outcome::NotDone;
    reason = "interrupted before it started";
    return;
  }
  if (skipExisting_ && OutputsComplete(plan_, task)) {
    outcome = Outcome::Skipped;
    reason = "its output exists and is newer than the input";
    return;
  }
  const Resources resources{model.ThreadsWithin(share.Bytes() - held, plan_.encoderThreads), share.Bytes() - held};
  if (plan_.video)
    ConvertVideo(task, work->Path(), resources, outcome, reason);
  else
    ExportSequence(task, resources, outcome, reason);
}

void BatchRunner::ConvertVideo(Task& task, const std::string& workFolder, const Resources& resources,
                               Outcome& outcome, std::string& reason) {
  GifConverter converter(plan_.settings, workFolder);
  converter.SetEncoderThreads(resources.threads);
  converter.SetMemoryBudget(resources.memoryBudget);
  converter.SetTiming(plan_.timing);
  converter.SetOutputPath(task.output);
  converter.SetCancel(&interruption_.Requested());
  const Interruption::PartialFiles partial{task.folder, "." + FileNameOf(task.output) + ".", "", false};
  interruption_.TrackPartialFiles(partial);
  const ConversionOutcome result = converter.Convert(task.item.path);
  interruption_.UntrackPartialFiles(partial);
  task.line.frames = result.ok ? result.frames : 0;
  if (result.ok) {
    outcome = Outcome::Converted;
  } else if (result.cancelled) {
    outcome = Outcome::NotDone;
    reason = "interrupted";
  } else {
    reason = result.error;
  }
}

void BatchRunner::ExportSequence(Task& task, const Resources& resources, Outcome& outcome, std::string& reason) {
  SequenceOptions options = plan_.sequence;
  options.memoryBudget = resources.memoryBudget;
  SequenceExport exporter(task.item.path, plan_.extension, task.folder, options);
  const Interruption::PartialFiles partial{exporter.SequenceFolder(), "." + FileNameOf(task.item.path),
                                           "." + plan_.extension + ".", true};
  interruption_.TrackPartialFiles(partial);
  if (!exporter.Open()) {
    interruption_.UntrackPartialFiles(partial);
    reason = "not a GIF this program can read, or it holds no frames";
    return;
  }
  exporter.WriteAll(resources.threads, &interruption_.Requested());
  interruption_.UntrackPartialFiles(partial);
  task.line.frames = exporter.Position() - exporter.Failures();
  if (!exporter.Done()) {
    outcome = Outcome::NotDone;
    reason = "interrupted after " + std::to_string(exporter.Position()) + " of " +
             std::to_string(exporter.FrameCount()) + " frames";
  } else if (exporter.Failures() > 0) {
    reason = std::to_string(exporter.Failures()) + " of " + std::to_string(exporter.FrameCount()) +
             " frames could not be written to " + exporter.SequenceFolder();
  } else {
    outcome = Outcome::Converted;
  }
}

}  // namespace reelmill
