#include "tools/convert_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include "engine/conversion.h"
#include "engine/sequence_export.h"
#include "engine/work_paths.h"
#include "imaging/file_io.h"
#include "imaging/paths.h"
#include "tools/progress_bar.h"
#include "writers/swf/swf_movie.h"

namespace reelmill {

namespace fs = std::filesystem;

namespace {

struct Task {
  std::string input;
  std::string outputKey;  // the output file, or the sequence files' common prefix
  std::string refusal;    // set when the task must not run
  std::string error;
  bool ok = false;
};

// Why a file cannot be read, or empty text when it can. Named pipes and
// devices are refused without being opened, so nothing waits on them.
std::string UnreadableReason(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::string("cannot open it: ") + std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  const int fd = OpenRegularForReading(path);
  if (fd < 0) return std::string("cannot open it: ") + std::strerror(errno);
  ::close(fd);
  return {};
}

// The window's size boxes go from 1 to 5000 as well.
constexpr int kMinSide = 1;
constexpr int kMaxSide = 5000;

bool IsVideoKind(const std::string& to) { return to == "avi" || to == "swf"; }

bool ParseSize(const std::string& text, int& width, int& height) {
  char x = 0, extra = 0;
  std::istringstream in(text);
  if (!(in >> width >> x >> height) || (x != 'x' && x != 'X') || (in >> extra)) return false;
  return width >= kMinSide && height >= kMinSide && width <= kMaxSide && height <= kMaxSide;
}

// Device and inode: one file, whatever names lead to it.
using FileIdentity = std::pair<dev_t, ino_t>;
std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino};
}

std::string Normalised(const std::string& path) {
  std::error_code ignored;
  const fs::path absolute = fs::absolute(path, ignored);
  return absolute.lexically_normal().string();
}

// A private folder for one worker's temporary frames, removed at the end.
class PrivateWorkFolder {
 public:
  PrivateWorkFolder() {
    std::error_code error;
    std::string pattern = (fs::temp_directory_path(error) / "reelmill-XXXXXX").string();
    if (!error && ::mkdtemp(pattern.data())) path_ = pattern + "/";
  }
  ~PrivateWorkFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

void ConvertVideo(Task& task, const ConversionSettings& settings, const std::string& workFolder, int encoderThreads) {
  if (workFolder.empty()) {
    task.error = "cannot create a temporary folder";
    return;
  }
  GifConverter converter(settings, workFolder);
  converter.SetEncoderThreads(encoderThreads);
  const ConversionOutcome outcome = converter.Convert(task.input);
  task.ok = outcome.ok;
  if (!outcome.ok) task.error = outcome.error;
}

void ExportSequence(Task& task, const std::string& extension, const std::string& outputFolder) {
  SequenceExport exporter(task.input, extension, outputFolder);
  if (!exporter.Open()) {
    task.error = "not a GIF this program can read, or it holds no frames";
    return;
  }
  while (!exporter.Done()) exporter.WriteNext();
  task.ok = exporter.Failures() == 0;
  if (!task.ok)
    task.error = std::to_string(exporter.Failures()) + " of " + std::to_string(exporter.FrameCount()) +
                 " frames could not be written to " + exporter.SequenceFolder();
}

}  // namespace

void AddConvertOptions(CLI::App& app, ConvertOptions& options) {
  app.add_option("--to", options.to, "Output: avi, swf, or an image sequence (bmp, tga, jpg, gif, png, tiff)")
      ->check(CLI::IsMember({"avi", "swf", "bmp", "tga", "jpg", "gif", "png", "tiff"}))
      ->default_val("avi");
  app.add_option("-o,--output", options.outputFolder, "Output folder (created when missing)")->default_val(".");
  app.add_option("--fps", options.fps, "Frames per second of AVI and SWF output (at most 255 for swf)")
      ->default_val(10);
  app.add_option("--quality", options.quality, "JPEG quality of the recorded frames")
      ->check(CLI::Range(1, 100))
      ->default_val(100);
  app.add_option("--size", options.size, "Frame size WxH, each side 1 to 5000; frames are scaled to it (default: the GIF's own)");
  app.add_option("--jobs", options.jobs, "Files converted at once (default: one per core)")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--quiet", options.quiet, "No progress bar and no summary");
  app.add_option("GIF", options.inputs, "GIF files to convert");
}

int RunConvert(const ConvertOptions& options, std::ostream& err) {
  if (options.inputs.empty()) {
    err << "reelmill-convert: no GIF files given\nRun with --help for more information.\n";
    return 2;
  }
  int width = 0, height = 0;
  if (!options.size.empty() && !ParseSize(options.size, width, height)) {
    err << "reelmill-convert: --size " << options.size << " is not WIDTHxHEIGHT with sides of " << kMinSide
        << " to " << kMaxSide << ", for example 320x240\n"
        << "Run with --help for more information.\n";
    return 2;
  }
  if (options.to == "swf" && options.fps > SwfMovie::kMaxFrameRate) {
    err << "reelmill-convert: --fps: a SWF movie plays at most " << SwfMovie::kMaxFrameRate
        << " frames per second\nRun with --help for more information.\n";
    return 2;
  }

  // Folders are joined by plain concatenation, so the output folder ends in '/'.
  std::string outputFolder = options.outputFolder.empty() ? "./" : options.outputFolder;
  if (outputFolder.back() != '/') outputFolder += '/';
  std::error_code ignored;
  fs::create_directories(outputFolder, ignored);

  const bool video = IsVideoKind(options.to);
  const std::string extension = options.to;
  ConversionSettings settings;
  settings.outputKind = std::string(options.to == "avi" ? kOutputAvi : kOutputSwf);
  settings.outputFolder = outputFolder;
  settings.frameRate = options.fps;
  settings.quality = options.quality;
  settings.width = width;
  settings.height = height;

  // Two inputs that would write the same output: the later one is refused.
  // An output that is another input of the batch would destroy that input.
  std::vector<Task> tasks(options.inputs.size());
  std::map<std::string, std::string> claimed;
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    Task& task = tasks[i];
    task.input = options.inputs[i];
    task.outputKey = Normalised(video ? OutputPathFor(outputFolder, task.input, settings.outputKind)
                                      : SequenceFolderOf(outputFolder, extension) + FileNameOf(task.input));
    const auto [it, fresh] = claimed.emplace(task.outputKey, task.input);
    if (!fresh) task.refusal = "refused: its output " + task.outputKey + " would overwrite that of " + it->second;
  }
  if (video) {
    std::map<FileIdentity, std::string> inputs;
    for (const Task& task : tasks)
      if (const auto id = IdentityOf(task.input)) inputs.emplace(*id, task.input);
    for (Task& task : tasks) {
      const auto output = IdentityOf(task.outputKey);
      const auto found = output ? inputs.find(*output) : inputs.end();
      if (task.refusal.empty() && found != inputs.end() && IdentityOf(task.input) != output)
        task.refusal = "refused: its output " + task.outputKey + " is the input " + found->second;
    }
  }

  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  ProgressBar progress(stderr, static_cast<int>(tasks.size()), terminal && !options.quiet);
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t jobs =
      std::min<std::size_t>(options.jobs > 0 ? static_cast<std::size_t>(options.jobs) : cores, tasks.size());
  // Jobs left over when there are fewer files than jobs encode frames for
  // the files under way.
  const std::size_t threadsPerFile = (options.jobs > 0 ? static_cast<std::size_t>(options.jobs) : cores) / jobs;
  const int encoderThreads = static_cast<int>(std::max<std::size_t>(1, threadsPerFile));
  std::atomic<std::size_t> next{0};
  auto worker = [&] {
    const PrivateWorkFolder work;
    for (std::size_t i = next++; i < tasks.size(); i = next++) {
      Task& task = tasks[i];
      progress.Started(FileNameOf(task.input));
      if (!task.refusal.empty())
        task.error = task.refusal;
      else if (const std::string why = UnreadableReason(task.input); !why.empty())
        task.error = why;
      else if (video)
        ConvertVideo(task, settings, work.Path(), encoderThreads);
      else
        ExportSequence(task, extension, outputFolder);
      if (!task.ok) progress.Message(task.input + ": " + task.error);
      progress.Finished();
    }
  };
  std::vector<std::thread> threads;
  for (std::size_t j = 1; j < jobs; ++j) threads.emplace_back(worker);
  worker();
  for (auto& t : threads) t.join();
  progress.Close();

  const auto failed = std::count_if(tasks.begin(), tasks.end(), [](const Task& t) { return !t.ok; });
  if (!options.quiet)
    err << (tasks.size() - static_cast<std::size_t>(failed)) << " of " << tasks.size() << " files converted"
        << (failed ? ", " + std::to_string(failed) + " failed" : std::string()) << ".\n";
  return failed ? 1 : 0;
}

}  // namespace reelmill
