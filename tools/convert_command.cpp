#include "tools/convert_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <thread>
#include <variant>
#include <vector>

#include "engine/input_guard.h"
#include "engine/work_paths.h"
#include "imaging/paths.h"
#include "tools/batch_runner.h"
#include "tools/command_line.h"
#include "tools/exit_status.h"
#include "tools/input_list.h"
#include "tools/input_probe.h"
#include "tools/output_naming.h"
#include "tools/triage.h"

namespace reelmill {

namespace {

// Why the report may not go to `path`, checked before anything is created
// or truncated: a forgotten report name takes the next argument, often a GIF.
std::string ReportRefusal(const ConvertOptions& options, const Plan& plan) {
  const std::string& path = options.report;
  if (path.empty()) return {};
  const auto names = [&](const std::string& other) { return other == path || SameFile(other, path); };
  for (const std::string& input : options.inputs)
    if (names(input)) return "it is one of the inputs";
  for (const std::string& list : options.filesFrom)
    if (list != "-" && names(list)) return "it is one of the --files-from lists";
  if (!plan.outputFile.empty() && (names(plan.outputFile) || OutputKey(plan.outputFile) == OutputKey(path)))
    return "it is the output file";
  if (StartsLikeAGif(path)) return "it is a GIF file; give the report a name of its own";
  if (IsDirectory(path)) return "it is a folder";
  return {};
}

std::string Normalised(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::absolute(path, ignored).lexically_normal().string();
}

std::string OutputOf(const Plan& plan, const Task& task) {
  if (!plan.OneFile()) return SequenceFramePath(task.folder, task.item.path, plan.extension, 0);
  if (!plan.outputFile.empty()) return plan.outputFile;
  return task.folder + OutputFileName(FileNameOf(task.item.path), plan.extension);
}

struct Summary {
  int taken = 0;
  bool listRead = true;  // every input was read, not cut short by a signal
};

// Reads the list and hands each input of this shard to the workers, or ends
// it at once when triage decides its fate.
Summary Dispatch(const Plan& plan, InputList& inputs, Triage& triage, TaskQueue& queue, Outcomes& outcomes,
                 ProgressBar& progress, const Interruption& interruption) {
  Summary summary;
  std::size_t index = 0;
  while (auto item = inputs.Next()) {
    Task task;
    task.number = ++index;
    task.item = std::move(*item);
    task.folder = plan.outputFolder + task.item.relativeFolder;
    task.output = OutputOf(plan, task);
    const bool own = static_cast<int>((task.number - 1) % static_cast<std::size_t>(plan.shardCount)) == plan.shardIndex;
    if (interruption.Requested()) {
      if (!own) continue;
      ++summary.taken;
      progress.SetTotal(summary.taken);
      outcomes.End(task, Outcome::NotDone, Refusal(ProblemCode::Interrupted, "interrupted before it started"));
      continue;
    }
    const Verdict verdict = triage.Judge(task, own);
    if (verdict.kind == Verdict::Kind::Drop) continue;
    progress.SetTotal(++summary.taken);
    if (verdict.kind == Verdict::Kind::End) {
      outcomes.End(task, verdict.outcome, verdict.reason);
      progress.Finished();
    } else {
      queue.Push(std::move(task));
    }
  }
  summary.listRead = inputs.ReadToTheEnd();
  return summary;
}

}  // namespace

int RunConvert(const ConvertOptions& options, int standardInput, std::ostream& err) {
  if (options.inputs.empty() && options.filesFrom.empty()) return UsageError(err, "no GIF files given");
  const auto planned = MakePlan(options);
  if (const auto* problem = std::get_if<UsageProblem>(&planned)) return UsageError(err, problem->message);
  const Plan& plan = std::get<Plan>(planned);
  if (const std::string why = ReportRefusal(options, plan); !why.empty())
    return UsageError(err, "--report " + options.report + ": " + why);

  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  ProgressBar progress(stderr, 0, terminal && !options.quiet);
  // Signals are taken before any thread starts, so every thread leaves them
  // to the watcher.
  Interruption interruption([&progress](int) {
    progress.Message(std::string(kProgram) + ": stopping; files under way are abandoned (again to stop at once)");
  });
  InputList inputs(InputListOptions{options.inputs, options.filesFrom, options.recursive, options.nullSeparated,
                                    standardInput, plan.outputFolder, &interruption.Requested()});
  if (std::string why; !inputs.Open(why)) return UsageError(err, why);
  BatchReport report;
  if (!options.report.empty() && !report.Open(options.report))
    return UsageError(err, "--report " + options.report + ": " + std::strerror(errno));

  Outcomes outcomes(report, progress);
  MemoryBudget memory(plan.memoryBytes);
  BatchRunner runner(plan, options.skipExisting, options.strict, interruption, outcomes, progress, memory);
  TaskQueue queue(plan.jobs * 2);
  std::vector<std::thread> workers;
  for (std::size_t j = 0; j < plan.jobs; ++j) workers.emplace_back([&] { runner.Work(queue); });
  Triage triage(plan, options.report);
  const Summary summary = Dispatch(plan, inputs, triage, queue, outcomes, progress, interruption);
  queue.Close();
  for (auto& worker : workers) worker.join();
  progress.Close();

  const int converted = outcomes.Count(Outcome::Converted), failed = outcomes.Count(Outcome::Failed);
  const int skipped = outcomes.Count(Outcome::Skipped), notDone = outcomes.Count(Outcome::NotDone);
  const std::string reportFailure = report.Close();
  if (!reportFailure.empty())
    err << kProgram << ": --report " << Printable(options.report)
        << ": not every line could be written: " << reportFailure << "\n";
  if (summary.taken == 0 && summary.listRead) err << kProgram << ": no GIF files among the inputs given\n";
  if (!options.quiet && summary.taken > 0) {
    err << converted << " of " << summary.taken << " files converted";
    if (failed) err << ", " << failed << " failed";
    if (skipped) err << ", " << skipped << " skipped";
    if (const int damaged = outcomes.Damaged()) err << ", " << damaged << " damaged";
    if (notDone) err << ", " << notDone << " not done";
    if (!summary.listRead) err << "; the rest of the list was not read";
    err << "; outputs in " << Printable(Normalised(plan.outputFolder)) << "\n";
  }
  // A signal that came after the last file was done cost nothing.
  if (interruption.Requested() && (notDone > 0 || !summary.listRead)) return 128 + interruption.Signal();
  return failed || !reportFailure.empty() ? kExitFailed : kExitOk;
}

}  // namespace reelmill
