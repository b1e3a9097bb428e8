#pragma once
// The worker side of a batch: tasks handed over from the list reader, each
// converted within its share of the memory budget, and the count of how
// each input ended.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "engine/memory_budget.h"
#include "tools/batch_report.h"
#include "tools/batch_task.h"
#include "tools/convert_plan.h"
#include "tools/interruption.h"
#include "tools/progress_bar.h"

namespace reelmill {

// A bounded hand-over from the list reader to the workers.
class TaskQueue {
 public:
  explicit TaskQueue(std::size_t capacity) : capacity_(capacity) {}
  void Push(Task task);
  // The next task; nullopt once closed and empty.
  std::optional<Task> Pop();
  void Close();

 private:
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable ready_, space_;
  std::deque<Task> queue_;
  bool closed_ = false;
};

// How one input ended.
struct TaskEnd {
  Outcome outcome = Outcome::Failed;
  Problem reason;  // why it failed, was skipped or was not done
  // A damaged GIF converts the frames before the damage: what ended them, and
  // the sentence that says how many were converted.
  Problem damage;
  std::string damageText;
};

// Where each input ends: its report line, its message, and the counts of
// the summary.
class Outcomes {
 public:
  Outcomes(BatchReport& report, ProgressBar& progress) : report_(report), progress_(progress) {}
  void End(Task& task, const TaskEnd& end);
  void End(Task& task, Outcome outcome, const Problem& reason) { End(task, TaskEnd{outcome, reason, {}, {}}); }
  int Count(Outcome outcome);
  int Damaged();

 private:
  BatchReport& report_;
  ProgressBar& progress_;
  std::mutex mutex_;
  std::map<Outcome, int> counts_;
  int damaged_ = 0;
};

class BatchRunner {
 public:
  // `strict`: a damaged GIF is a failure, and nothing of it is written.
  BatchRunner(const Plan& plan, bool skipExisting, bool strict, Interruption& interruption, Outcomes& outcomes,
              ProgressBar& progress, MemoryBudget& memory)
      : plan_(plan),
        skipExisting_(skipExisting),
        strict_(strict),
        interruption_(interruption),
        outcomes_(outcomes),
        progress_(progress),
        memory_(memory) {}

  // One worker: converts tasks until the queue is closed and empty.
  void Work(TaskQueue& queue);

 private:
  class PrivateWorkFolder;
  struct Resources {
    int threads = 1;
    std::uint64_t memoryBudget = 0;  // for the decoder and the encoders
  };
  TaskEnd Run(Task& task, std::optional<PrivateWorkFolder>& work);
  TaskEnd ConvertVideo(Task& task, const std::string& workFolder, const Resources& resources);
  TaskEnd ExportSequence(Task& task, const Resources& resources);
  TaskEnd ConvertEncoded(Task& task, const Resources& resources);

  const Plan& plan_;
  bool skipExisting_;
  bool strict_;
  Interruption& interruption_;
  Outcomes& outcomes_;
  ProgressBar& progress_;
  MemoryBudget& memory_;
};

}  // namespace reelmill
