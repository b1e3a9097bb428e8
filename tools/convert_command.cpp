#include "tools/convert_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>
#include <unordered_map>
#include <variant>

#include "engine/conversion.h"
#include "engine/sequence_export.h"
#include "engine/work_paths.h"
#include "imaging/codecs/animated_gif_control.h"
#include "imaging/file_io.h"
#include "imaging/paths.h"
#include "tools/batch_report.h"
#include "tools/exit_status.h"
#include "tools/input_list.h"
#include "tools/interruption.h"
#include "tools/output_naming.h"
#include "tools/progress_bar.h"
#include "writers/swf/swf_movie.h"

namespace reelmill {

namespace fs = std::filesystem;

namespace {

constexpr char kProgram[] = "reelmill-convert";
// The window's size boxes go from 1 to 5000 as well.
constexpr int kMinSide = 1;
constexpr int kMaxSide = 5000;
constexpr int kMaxFps = 1000;
constexpr int kMaxJobs = 256;

// The options, checked and in the form the work needs.
struct Plan {
  std::string extension;  // avi, swf, or the sequence format
  bool video = false;
  ConversionSettings settings;
  OutputTiming timing = OutputTiming::Real;
  SequenceOptions sequence;
  std::string outputFolder;  // ends in '/'
  std::string outputFile;    // -o NAME.avi with one input
  int shardIndex = 0;
  int shardCount = 1;
  std::size_t jobs = 1;
  int encoderThreads = 1;
};

struct UsageProblem {
  std::string message;
};

int UsageError(std::ostream& err, const std::string& message) {
  err << kProgram << ": " << message << "\nRun with --help for more information.\n";
  return kExitUsage;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.size() <= 9 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::string> NormalisedKind(const std::string& to) {
  const std::string kind = Lower(to);
  if (kind == "jpeg") return "jpg";
  if (kind == "tif") return "tiff";
  for (const char* known : {"avi", "swf", "bmp", "tga", "jpg", "gif", "png", "tiff"})
    if (kind == known) return kind;
  return std::nullopt;
}

bool ParseSize(const std::string& text, int& width, int& height) {
  const auto cross = text.find_first_of("xX");
  if (cross == std::string::npos) return false;
  const std::string w = text.substr(0, cross), h = text.substr(cross + 1);
  if (!AllDigits(w) || !AllDigits(h)) return false;
  width = std::stoi(w);
  height = std::stoi(h);
  return width >= kMinSide && height >= kMinSide && width <= kMaxSide && height <= kMaxSide;
}

bool ParseShard(const std::string& text, int& index, int& count) {
  const auto slash = text.find('/');
  if (slash == std::string::npos) return false;
  const std::string k = text.substr(0, slash), n = text.substr(slash + 1);
  if (!AllDigits(k) || !AllDigits(n)) return false;
  index = std::stoi(k);
  count = std::stoi(n);
  return count >= 1 && index < count;
}

// Turns the options into a plan, or says what is wrong with them.
std::variant<Plan, UsageProblem> MakePlan(const ConvertOptions& options) {
  Plan plan;
  const auto kind = NormalisedKind(options.to);
  if (!kind) return UsageProblem{"--to " + options.to + ": choose avi, swf, bmp, tga, jpg, gif, png or tiff"};
  plan.extension = *kind;
  plan.video = plan.extension == "avi" || plan.extension == "swf";

  if (!AllDigits(options.fps) || std::stoi(options.fps) < 1 || std::stoi(options.fps) > kMaxFps)
    return UsageProblem{"--fps " + options.fps + ": give whole frames per second, 1 to " + std::to_string(kMaxFps)};
  const int fps = std::stoi(options.fps);
  if (plan.extension == "swf" && fps > SwfMovie::kMaxFrameRate)
    return UsageProblem{"--fps " + options.fps + ": a SWF movie plays at most " +
                        std::to_string(SwfMovie::kMaxFrameRate) + " whole frames per second"};
  int width = 0, height = 0;
  if (!options.size.empty() && !ParseSize(options.size, width, height))
    return UsageProblem{"--size " + options.size + ": give WIDTHxHEIGHT with sides of " + std::to_string(kMinSide) +
                        " to " + std::to_string(kMaxSide) + ", for example 320x240"};
  if (options.jobs < 0 || options.jobs > kMaxJobs)
    return UsageProblem{"--jobs " + std::to_string(options.jobs) + ": give 0 (one per core) up to " +
                        std::to_string(kMaxJobs) + " files at once"};
  if (!options.shard.empty() && !ParseShard(options.shard, plan.shardIndex, plan.shardCount))
    return UsageProblem{"--shard " + options.shard + ": give K/N with 0 <= K < N, for example 0/4"};
  plan.timing = options.timing == "window" ? OutputTiming::Window : OutputTiming::Real;

  plan.settings.outputKind = std::string(plan.extension == "swf" ? kOutputSwf : kOutputAvi);
  plan.settings.frameRate = fps;
  plan.settings.quality = options.quality > 0 ? options.quality : 100;
  plan.settings.width = width;
  plan.settings.height = height;
  plan.sequence.quality = options.quality > 0 ? options.quality : -1;
  plan.sequence.width = width;
  plan.sequence.height = height;

  // -o names the output file when it ends like one and one GIF is given.
  const std::string output = options.output.empty() ? "." : options.output;
  const bool namesFile = (HasExtension(output, "avi") || HasExtension(output, "swf")) && !fs::is_directory(output);
  if (namesFile) {
    if (!plan.video || !HasExtension(output, plan.extension))
      return UsageProblem{"-o " + output + ": the output kind is " + plan.extension +
                          "; give a folder, or a file name ending in ." + plan.extension};
    const bool oneFile = options.inputs.size() == 1 && options.filesFrom.empty() && !fs::is_directory(options.inputs[0]);
    if (!oneFile) return UsageProblem{"-o " + output + " names one output file, so give exactly one GIF file"};
    plan.outputFile = output;
    const auto slash = output.rfind('/');
    plan.outputFolder = slash == std::string::npos ? "./" : output.substr(0, slash + 1);
  } else {
    plan.outputFolder = output.back() == '/' ? output : output + "/";
  }
  plan.settings.outputFolder = plan.outputFolder;
  return plan;
}

// The system's reason why nothing can be created in `folder`, or empty text.
std::string WhyFolderUnusable(const std::string& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error && !fs::is_directory(folder)) return "cannot create the output folder " + folder + ": " + error.message();
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return "cannot write in the output folder " + folder + ": " + std::strerror(errno);
  return {};
}

// Why a file is not a GIF to convert, or empty text; named pipes and devices
// are refused without being opened.
std::string NotAGifReason(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::string("cannot open it: ") + std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  const int fd = OpenRegularForReading(path);
  if (fd < 0) return std::string("cannot open it: ") + std::strerror(errno);
  char head[4] = {};
  const ssize_t got = ::read(fd, head, sizeof head);
  ::close(fd);
  if (got != 4 || std::memcmp(head, "GIF8", 4) != 0) return "not a GIF file (it does not start with \"GIF8\")";
  return {};
}

// Device and inode: one file, whatever names lead to it.
using FileIdentity = std::pair<dev_t, ino_t>;
struct IdentityHash {
  std::size_t operator()(const FileIdentity& id) const {
    return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(id.first) * 0x9E3779B97F4A7C15ull ^ id.second);
  }
};
std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino};
}

std::optional<struct timespec> ModifiedAt(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return st.st_mtim;
}

bool NotOlder(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}

std::string Normalised(const std::string& path) {
  std::error_code ignored;
  return fs::absolute(path, ignored).lexically_normal().string();
}

bool StartsWithGif(const std::string& path) {
  const int fd = OpenRegularForReading(path);
  if (fd < 0) return false;
  char head[4] = {};
  const bool gif = ::read(fd, head, sizeof head) == 4 && std::memcmp(head, "GIF8", 4) == 0;
  ::close(fd);
  return gif;
}

// A private folder for one worker's temporary frames, removed at the end.
class PrivateWorkFolder {
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

struct Task {
  std::size_t number = 0;  // 1-based position in the list
  InputItem item;
  std::string folder;  // where its outputs go, ends in '/'
  std::string output;  // the output file, or the first file of the sequence
  ReportLine line;
};

// A bounded hand-over from the list reader to the workers.
class TaskQueue {
 public:
  explicit TaskQueue(std::size_t capacity) : capacity_(capacity) {}
  void Push(Task task) {
    std::unique_lock lock(mutex_);
    space_.wait(lock, [&] { return queue_.size() < capacity_; });
    queue_.push_back(std::move(task));
    ready_.notify_one();
  }
  std::optional<Task> Pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !queue_.empty() || closed_; });
    if (queue_.empty()) return std::nullopt;
    Task task = std::move(queue_.front());
    queue_.pop_front();
    space_.notify_one();
    return task;
  }
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    ready_.notify_all();
  }

 private:
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable ready_, space_;
  std::deque<Task> queue_;
  bool closed_ = false;
};

// The counts of the summary, and where each input ends.
class Outcomes {
 public:
  Outcomes(BatchReport& report, ProgressBar& progress) : report_(report), progress_(progress) {}
  void End(Task& task, const std::string& outcome, const std::string& reason) {
    task.line.input = task.item.path;
    task.line.output = task.output;
    task.line.outcome = outcome;
    task.line.reason = reason;
    report_.Write(task.line);
    std::lock_guard lock(mutex_);
    ++counts_[outcome];
    if (outcome == "failed") progress_.Message(task.item.path + ": " + reason);
  }
  int Count(const std::string& outcome) {
    std::lock_guard lock(mutex_);
    return counts_[outcome];
  }

 private:
  BatchReport& report_;
  ProgressBar& progress_;
  std::mutex mutex_;
  std::map<std::string, int> counts_;
};

// Decides, in list order, what becomes of each input before any work.
class Triage {
 public:
  Triage(const Plan& plan, bool skipExisting) : plan_(plan), skipExisting_(skipExisting) {}

  // Empty text when the task should run; else the outcome ("failed",
  // "skipped" or "drop" for a path named twice) and `reason`.
  std::string Judge(Task& task, std::string& reason) {
    if (!task.item.error.empty()) {
      reason = task.item.error;
      return "failed";
    }
    if (const auto id = IdentityOf(task.item.path)) {
      const auto [it, fresh] = seen_.emplace(*id, Seen{task.number, std::hash<std::string>()(task.item.path)});
      if (!fresh) {
        // The same file given again is converted once.
        if (it->second.pathHash == std::hash<std::string>()(task.item.path)) return "drop";
        reason = "the same file as input " + std::to_string(it->second.number) + " of the list";
        return "skipped";
      }
    }
    const std::string key = Normalised(plan_.video ? task.output : SequenceFolderOf(task.folder, plan_.extension) +
                                                                        FileNameOf(task.item.path));
    const auto [claim, fresh] = claimed_.emplace(std::hash<std::string>()(key), task.number);
    if (!fresh) {
      reason = "refused: its output " + key + " would overwrite that of input " + std::to_string(claim->second);
      return "failed";
    }
    // A GIF where the output would go is somebody's file, maybe another
    // input of this very batch: never replaced by a video.
    if (plan_.video && StartsWithGif(task.output)) {
      reason = "refused: its output " + task.output + " is a GIF file, which converting would replace";
      return "failed";
    }
    if (skipExisting_ && Complete(task)) {
      reason = "its output exists and is newer than the input";
      return "skipped";
    }
    return {};
  }

 private:
  struct Seen {
    std::size_t number;
    std::size_t pathHash;
  };

  // Complete: every output file exists and is at least as new as the input.
  bool Complete(const Task& task) const {
    const auto input = ModifiedAt(task.item.path);
    if (!input) return false;
    const auto newer = [&](const std::string& path) {
      const auto output = ModifiedAt(path);
      return output && NotOlder(*output, *input);
    };
    if (plan_.video) return newer(task.output);
    // A sequence: as many frames as the file's blocks announce.
    const auto data = ReadFileBytes(task.item.path);
    if (!data) return false;
    const int frames = AnnouncedFrameCount(*data);
    for (int i = 0; i < frames; ++i)
      if (!newer(SequenceFramePath(task.folder, task.item.path, plan_.extension, i))) return false;
    return true;
  }

  const Plan& plan_;
  bool skipExisting_;
  std::unordered_map<FileIdentity, Seen, IdentityHash> seen_;
  std::unordered_map<std::size_t, std::size_t> claimed_;
};

class Batch {
 public:
  Batch(const Plan& plan, Interruption& interruption, Outcomes& outcomes, ProgressBar& progress)
      : plan_(plan), interruption_(interruption), outcomes_(outcomes), progress_(progress) {}

  void Work(TaskQueue& queue) {
    std::optional<PrivateWorkFolder> work;
    while (auto task = queue.Pop()) {
      if (interruption_.Requested()) {
        outcomes_.End(*task, "not done", "interrupted before it started");
        continue;
      }
      progress_.Started(FileNameOf(task->item.path));
      const auto start = std::chrono::steady_clock::now();
      if (plan_.video && !work) work.emplace(interruption_);
      std::string outcome = "failed", reason;
      if (std::string why = WhyFolderUnusable(task->folder); !why.empty()) {
        reason = why;
      } else if (std::string notGif = NotAGifReason(task->item.path); !notGif.empty()) {
        reason = notGif;
      } else if (plan_.video && work->Path().empty()) {
        reason = work->Why();
      } else {
        plan_.video ? ConvertVideo(*task, work->Path(), outcome, reason) : ExportSequence(*task, outcome, reason);
      }
      task->line.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      outcomes_.End(*task, outcome, reason);
      progress_.Finished();
    }
  }

 private:
  void ConvertVideo(Task& task, const std::string& workFolder, std::string& outcome, std::string& reason) {
    GifConverter converter(plan_.settings, workFolder);
    converter.SetEncoderThreads(plan_.encoderThreads);
    converter.SetTiming(plan_.timing);
    converter.SetOutputPath(task.output);
    converter.SetCancel(&interruption_.Requested());
    const Interruption::PartialFiles partial{task.folder, "." + FileNameOf(task.output) + ".", "", false};
    interruption_.TrackPartialFiles(partial);
    const ConversionOutcome result = converter.Convert(task.item.path);
    interruption_.UntrackPartialFiles(partial);
    task.line.frames = result.ok ? result.frames : 0;
    if (result.ok) {
      outcome = "converted";
    } else if (result.cancelled) {
      outcome = "not done";
      reason = "interrupted";
    } else {
      reason = result.error;
    }
  }

  void ExportSequence(Task& task, std::string& outcome, std::string& reason) {
    SequenceExport exporter(task.item.path, plan_.extension, task.folder, plan_.sequence);
    const Interruption::PartialFiles partial{exporter.SequenceFolder(), "." + FileNameOf(task.item.path),
                                             "." + plan_.extension + ".", true};
    interruption_.TrackPartialFiles(partial);
    if (!exporter.Open()) {
      interruption_.UntrackPartialFiles(partial);
      reason = "not a GIF this program can read, or it holds no frames";
      return;
    }
    exporter.WriteAll(plan_.encoderThreads, &interruption_.Requested());
    interruption_.UntrackPartialFiles(partial);
    task.line.frames = exporter.Position() - exporter.Failures();
    if (!exporter.Done()) {
      outcome = "not done";
      reason = "interrupted after " + std::to_string(exporter.Position()) + " of " +
               std::to_string(exporter.FrameCount()) + " frames";
    } else if (exporter.Failures() > 0) {
      reason = std::to_string(exporter.Failures()) + " of " + std::to_string(exporter.FrameCount()) +
               " frames could not be written to " + exporter.SequenceFolder();
    } else {
      outcome = "converted";
    }
  }

  const Plan& plan_;
  Interruption& interruption_;
  Outcomes& outcomes_;
  ProgressBar& progress_;
};

}  // namespace

void AddConvertOptions(CLI::App& app, ConvertOptions& options) {
  const std::string output = "Output";
  app.add_option("--to", options.to,
                 "avi (Motion-JPEG video), swf (movie of JPEG frames), or an image sequence: bmp, tga, jpg, gif, "
                 "png, tiff (any case; jpeg and tif too)")
      ->default_val("avi")
      ->type_name("KIND")
      ->group(output);
  app.add_option("-o,--output", options.output,
                 "Output folder (created when missing), or with one GIF and --to avi/swf the output file")
      ->default_val(".")
      ->type_name("PATH")
      ->group(output);
  app.add_option("--quality", options.quality, "JPEG quality, 10 to 100 (default: 100; jpg sequences: 80, as the window saves them)")
      ->check(CLI::Range(10, 100))
      ->type_name("Q")
      ->group(output);
  app.add_option("--size", options.size, "Frame size WxH, each side 1 to 5000 (default: the GIF's own)")
      ->type_name("WxH")
      ->group(output);
  app.add_option("--fps", options.fps, "Frames per second of avi and swf, a whole number (swf: at most 255)")
      ->default_val("10")
      ->type_name("N")
      ->group("Timing");
  app.add_option("--timing", options.timing,
                 "real: frame k shows what the GIF shows at k/fps, so the video lasts as long as the GIF plays; "
                 "window: the window's recording, one frame per distinct GIF frame and 100-ms step")
      ->check(CLI::IsMember({"real", "window"}))
      ->default_val("real")
      ->type_name("MODE")
      ->group("Timing");
  const std::string inputs = "Inputs";
  app.add_option("INPUT", options.inputs, "GIF files (taken by content), or folders of .gif files")
      ->type_name("")
      ->group(inputs);
  app.add_flag("-r,--recursive", options.recursive,
               "Take the .gif files of sub-folders too, keeping their folders under the output folder")
      ->group(inputs);
  app.add_option("--files-from", options.filesFrom, "Read more inputs from FILE, one per line (- : standard input)")
      ->type_name("FILE")
      ->group(inputs);
  const std::string batch = "Batch";
  app.add_option("-j,--jobs", options.jobs, "Files converted at once, 1 to 256 (default 0: one per core)")
      ->type_name("N")
      ->group(batch);
  app.add_flag("--skip-existing", options.skipExisting,
               "Leave inputs whose output is complete: it exists and is at least as new as the input (the "
               "options it was made with are not compared); an interrupted batch resumes this way")
      ->group(batch);
  app.add_option("--report", options.report,
                 "Write one JSON object per input and line to FILE: input, output, outcome (converted, failed, "
                 "skipped, not done), reason, frames, seconds")
      ->type_name("FILE")
      ->group(batch);
  app.add_option("--shard", options.shard, "Take only inputs i with i mod N = K of the list, for job arrays")
      ->type_name("K/N")
      ->group(batch);
  app.footer(
      "Outputs: NAME.avi or NAME.swf in the output folder (a GIF named clip.gif gives clip.avi, anim gives "
      "anim.avi); image sequences as OUT/varnle_reelmill/png/clip.gif00000.png and on.\n"
      "An existing output is only ever replaced by a complete new file, and never when it is an input.\n"
      "SIGINT or SIGTERM stops the batch: files under way are abandoned, nothing half-written is left, "
      "frames of an image sequence already written stay; a second signal stops at once.\n"
      "Exit status: 0 all converted or skipped, 1 any failed, 2 usage error, 130 or 143 interrupted.\n"
      "Example: find clips -name '*.gif' | reelmill-convert --files-from - --skip-existing --report log.jsonl -o out/");
  app.add_flag("-q,--quiet", options.quiet, "No progress bar and no summary")->group(batch);
}

int RunConvert(const ConvertOptions& options, std::istream& in, std::ostream& err) {
  if (options.inputs.empty() && options.filesFrom.empty()) return UsageError(err, "no GIF files given");
  const auto planned = MakePlan(options);
  if (const auto* problem = std::get_if<UsageProblem>(&planned)) return UsageError(err, problem->message);
  Plan plan = std::get<Plan>(planned);

  BatchReport report;
  if (!options.report.empty() && !report.Open(options.report))
    return UsageError(err, "--report " + options.report + ": " + std::strerror(errno));
  InputList inputs(options.inputs, options.filesFrom, options.recursive, in);
  if (std::string why; !inputs.Open(why)) return UsageError(err, why);

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t wanted = options.jobs > 0 ? static_cast<std::size_t>(options.jobs) : cores;
  // Few inputs: the jobs left over encode frames of the files under way.
  // A list or a folder may hold any number of files: as many jobs as asked.
  const bool open = !options.filesFrom.empty() || std::any_of(options.inputs.begin(), options.inputs.end(),
                                                              [](const std::string& p) { return fs::is_directory(p); });
  const std::size_t listed = open ? wanted : options.inputs.size();
  plan.jobs = std::clamp<std::size_t>(listed, 1, wanted);
  plan.encoderThreads = static_cast<int>(std::max<std::size_t>(1, wanted / plan.jobs));

  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  ProgressBar progress(stderr, 0, terminal && !options.quiet);
  Outcomes outcomes(report, progress);
  Interruption interruption([&progress](int) {
    progress.Message(std::string(kProgram) + ": stopping; files under way are abandoned (again to stop at once)");
  });

  Batch batch(plan, interruption, outcomes, progress);
  TaskQueue queue(plan.jobs * 2);
  std::vector<std::thread> workers;
  for (std::size_t j = 0; j < plan.jobs; ++j) workers.emplace_back([&] { batch.Work(queue); });

  Triage triage(plan, options.skipExisting);
  std::size_t index = 0, taken = 0;
  while (auto item = inputs.Next()) {
    const std::size_t i = index++;
    if (static_cast<int>(i % static_cast<std::size_t>(plan.shardCount)) != plan.shardIndex) continue;
    Task task;
    task.number = i + 1;
    task.item = std::move(*item);
    task.folder = plan.outputFolder + task.item.relativeFolder;
    task.output = plan.video ? (plan.outputFile.empty()
                                    ? task.folder + OutputFileName(FileNameOf(task.item.path), plan.extension)
                                    : plan.outputFile)
                             : SequenceFramePath(task.folder, task.item.path, plan.extension, 0);
    std::string reason;
    const std::string verdict = triage.Judge(task, reason);
    if (verdict == "drop") continue;
    ++taken;
    progress.SetTotal(static_cast<int>(taken));
    if (interruption.Requested()) {
      outcomes.End(task, "not done", "interrupted before it started");
    } else if (!verdict.empty()) {
      outcomes.End(task, verdict, reason);
      progress.Finished();
    } else {
      queue.Push(std::move(task));
    }
  }
  queue.Close();
  for (auto& worker : workers) worker.join();
  progress.Close();

  const int converted = outcomes.Count("converted"), failed = outcomes.Count("failed");
  const int skipped = outcomes.Count("skipped"), notDone = outcomes.Count("not done");
  if (!options.quiet) {
    err << converted << " of " << taken << " files converted";
    if (failed) err << ", " << failed << " failed";
    if (skipped) err << ", " << skipped << " skipped";
    if (notDone) err << ", " << notDone << " not done";
    err << "; outputs in " << Normalised(plan.outputFolder) << "\n";
  }
  if (interruption.Requested()) return 128 + interruption.Signal();
  return failed ? kExitFailed : kExitOk;
}

}  // namespace reelmill
