#include "tools/batch_runner.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>

#include "engine/conversion.h"
#include "engine/encoded_export.h"
#include "engine/frame_pack.h"
#include "engine/sequence_export.h"
#include "engine/streaming_recording.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/file_io.h"
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

void Outcomes::End(Task& task, const TaskEnd& end) {
  task.line.input = task.item.path;
  task.line.output = task.output;
  task.line.outcome = end.outcome;
  const bool damaged = !end.damageText.empty();
  task.line.damaged = damaged;
  task.line.code = ProblemCodeName(end.reason ? end.reason.code : end.damage.code);
  task.line.reason = end.reason ? ProblemText(end.reason) : end.damageText;
  report_.Write(task.line);
  std::lock_guard lock(mutex_);
  ++counts_[end.outcome];
  damaged_ += damaged;
  if (end.outcome == Outcome::Failed)
    progress_.Message(task.item.path + ": " + task.line.reason);
  else if (damaged)
    progress_.Message(task.item.path + ": warning: " + end.damageText);
}

int Outcomes::Count(Outcome outcome) {
  std::lock_guard lock(mutex_);
  return counts_[outcome];
}

int Outcomes::Damaged() {
  std::lock_guard lock(mutex_);
  return damaged_;
}

// A private folder for one worker's temporary frames, removed at the end.
class BatchRunner::PrivateWorkFolder {
 public:
  explicit PrivateWorkFolder(Interruption& interruption) : interruption_(interruption) {
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    std::string pattern = (base / "reelmill-XXXXXX").string();
    if (error) {
      why_ = WritingProblem(error.value(), "the temporary folder");
    } else if ((path_ = interruption_.MakeTrackedFolder(pattern)).empty()) {
      why_ = WritingProblem(errno, base.string());
    }
  }
  ~PrivateWorkFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    interruption_.UntrackFolder(path_);
  }
  const std::string& Path() const { return path_; }
  const Problem& Why() const { return why_; }

 private:
  Interruption& interruption_;
  std::string path_;
  Problem why_;
};

namespace {

// Why nothing can be created in `folder`: the system's reason.
Problem FolderProblem(const std::string& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error && !IsDirectory(folder)) return WritingProblem(error.value(), folder);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return WritingProblem(errno, folder);
  return {};
}

TaskEnd Ended(Outcome outcome, Problem reason) { return TaskEnd{outcome, std::move(reason), {}, {}}; }

// Under --strict a damaged GIF must not cost the user an existing output,
// nor leave a partial one that a later --skip-existing takes for done: its
// frames are walked before anything is written. No damage when the file is
// refused outright (the conversion says why) or the walk was interrupted.
std::optional<TaskEnd> DamageFound(const std::string& path, std::uint64_t memoryBudget,
                                   const std::atomic<bool>& cancel) {
  const auto data = ReadFileBytes(path);
  if (!data) return std::nullopt;
  GifFrameCursor cursor(*data, memoryBudget);
  while (cursor.Next() && !cancel.load()) {
  }
  if (!cursor.Finished() || cursor.Refused() || !cursor.Ending()) return std::nullopt;
  return TaskEnd{Outcome::Failed, {}, cursor.Ending(), ProblemText(cursor.Ending()) + " (--strict: nothing written)"};
}

TaskEnd NotStarted() {
  return Ended(Outcome::NotDone, Refusal(ProblemCode::Interrupted, "interrupted before it started"));
}

}  // namespace

void BatchRunner::Work(TaskQueue& queue) {
  std::optional<PrivateWorkFolder> work;
  while (auto task = queue.Pop()) {
    if (interruption_.Requested()) {
      outcomes_.End(*task, NotStarted());
      continue;
    }
    progress_.Started(FileNameOf(task->item.path));
    const auto start = std::chrono::steady_clock::now();
    TaskEnd end = Run(*task, work);
    if (strict_ && end.outcome == Outcome::Converted && end.damage) {
      end.outcome = Outcome::Failed;
      end.damageText += " (--strict)";
    }
    task->line.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcomes_.End(*task, end);
    progress_.Finished();
  }
}

TaskEnd BatchRunner::Run(Task& task, std::optional<PrivateWorkFolder>& work) {
  if (Problem folder = FolderProblem(task.folder)) return Ended(Outcome::Failed, folder);
  const InputProbe probe = ProbeInput(task.item.path);
  if (probe.refusal) return Ended(Outcome::Failed, probe.refusal);
  if (plan_.video && !work) work.emplace(interruption_);
  if (plan_.video && work->Path().empty()) return Ended(Outcome::Failed, work->Why());

  // The share of the memory budget this file needs, estimated from its
  // screen before any of it is decoded: the file itself, what frames are
  // kept in memory, the decoder's canvases and the encoders.
  const int width = std::max(probe.screenWidth, 1), height = std::max(probe.screenHeight, 1);
  const JobMemory model = plan_.video ? RecordingMemory(width, height, 32, plan_.settings.width, plan_.settings.height)
                          : plan_.encoded ? EncodedMemory(width, height, plan_.encodedOptions)
                                          : SequenceMemory(width, height, plan_.extension, plan_.sequence);
  const std::uint64_t held = probe.fileBytes + (plan_.video ? FramePack::kMemoryBytes : 0);
  const std::uint64_t least = held + model.For(1);
  if (least > memory_.Total()) {
    Problem memory = ProblemOf(ProblemCode::OverMemory);
    memory.needed = least;
    memory.limit = memory_.Total();
    memory.detail = "--memory raises the limit";
    return Ended(Outcome::Failed, memory);
  }
  const MemoryBudget::Share share =
      memory_.Take(least, held + model.For(plan_.encoderThreads), &interruption_.Requested());
  if (!share) return NotStarted();
  if (skipExisting_ && OutputsComplete(plan_, task))
    return Ended(Outcome::Skipped, ProblemOf(ProblemCode::OutputExists));
  const Resources resources{model.ThreadsWithin(share.Bytes() - held, plan_.encoderThreads), share.Bytes() - held};
  if (strict_) {
    if (auto damaged = DamageFound(task.item.path, resources.memoryBudget, interruption_.Requested())) return *damaged;
  }
  if (plan_.encoded) return ConvertEncoded(task, resources);
  return plan_.video ? ConvertVideo(task, work->Path(), resources) : ExportSequence(task, resources);
}

TaskEnd BatchRunner::ConvertEncoded(Task& task, const Resources& resources) {
  EncodedExportOptions options = plan_.encodedOptions;
  options.threads = resources.threads;
  options.cancel = &interruption_.Requested();
  const ConversionOutcome result = [&] {
    const Interruption::PartialFiles partial(
        interruption_, task.folder,
        [output = FileNameOf(task.output)](std::string_view target) { return target == output; });
    return ExportEncoded(task.item.path, task.output, options);
  }();
  task.line.frames = result.ok ? result.frames : 0;
  if (result.cancelled) return Ended(Outcome::NotDone, ProblemOf(ProblemCode::Interrupted));
  if (!result.ok) return Ended(Outcome::Failed, result.problem);
  return TaskEnd{
      Outcome::Converted, {}, result.damage, DamageText(result.damage, result.images, result.imagesAnnounced)};
}

TaskEnd BatchRunner::ConvertVideo(Task& task, const std::string& workFolder, const Resources& resources) {
  GifConverter converter(plan_.settings, workFolder);
  converter.SetEncoderThreads(resources.threads);
  converter.SetMemoryBudget(resources.memoryBudget);
  converter.SetTiming(plan_.timing);
  converter.SetOutputPath(task.output);
  converter.SetCancel(&interruption_.Requested());
  const ConversionOutcome result = [&] {
    const Interruption::PartialFiles partial(
        interruption_, task.folder,
        [output = FileNameOf(task.output)](std::string_view target) { return target == output; });
    return converter.Convert(task.item.path);
  }();
  task.line.frames = result.ok ? result.frames : 0;
  if (result.cancelled) return Ended(Outcome::NotDone, ProblemOf(ProblemCode::Interrupted));
  if (!result.ok) return Ended(Outcome::Failed, result.problem);
  return TaskEnd{
      Outcome::Converted, {}, result.damage, DamageText(result.damage, result.images, result.imagesAnnounced)};
}

TaskEnd BatchRunner::ExportSequence(Task& task, const Resources& resources) {
  SequenceOptions options = plan_.sequence;
  options.memoryBudget = resources.memoryBudget;
  SequenceExport exporter(task.item.path, plan_.extension, task.folder, options);
  if (!exporter.Open()) return Ended(Outcome::Failed, exporter.OpenProblem());
  {
    // The frames' names: the GIF's name, a number, the extension.
    const Interruption::PartialFiles partial(
        interruption_, exporter.SequenceFolder(),
        [gif = FileNameOf(task.item.path), tail = "." + plan_.extension](std::string_view target) {
          if (!target.starts_with(gif) || !target.ends_with(tail)) return false;
          const std::string_view number = target.substr(gif.size(), target.size() - gif.size() - tail.size());
          return !number.empty() &&
                 std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
        });
    exporter.WriteAll(resources.threads, &interruption_.Requested());
  }
  task.line.frames = exporter.Position() - exporter.Failures();
  if (!exporter.Done())
    return Ended(Outcome::NotDone,
                 Refusal(ProblemCode::Interrupted, "interrupted after " + std::to_string(exporter.Position()) + " of " +
                                                       std::to_string(exporter.FrameCount()) + " frames"));
  if (exporter.Failures() > 0) return Ended(Outcome::Failed, exporter.WriteProblem());
  const Problem damage = exporter.Damage();
  return TaskEnd{Outcome::Converted, {}, damage, DamageText(damage, exporter.Position(), exporter.AnnouncedFrames())};
}

}  // namespace reelmill
