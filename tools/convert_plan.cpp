#include "tools/convert_plan.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "engine/memory_budget.h"
#include "imaging/paths.h"
#include "tools/command_line.h"
#include "tools/output_naming.h"
#include "writers/swf/swf_movie.h"

namespace reelmill {

namespace {

// The window's size boxes go from 1 to 5000 as well.
constexpr int kMaxSide = 5000;
constexpr int kMaxFps = 1000;
constexpr int kMaxJobs = 256;
// Below this not even a small GIF converts with its encoder.
constexpr std::uint64_t kMinMemoryBytes = 64ull << 20;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::optional<std::string> NormalisedKind(const std::string& to) {
  const std::string kind = Lower(to);
  if (kind == "jpeg") return "jpg";
  if (kind == "tif") return "tiff";
  for (const char* known : {"avi", "swf", "mp4", "webm", "webp", "bmp", "tga", "jpg", "gif", "png", "tiff"})
    if (kind == known) return kind;
  return std::nullopt;
}

bool ParseShard(const std::string& text, int& index, int& count) {
  const auto slash = text.find('/');
  if (slash == std::string::npos) return false;
  const std::string k = text.substr(0, slash), n = text.substr(slash + 1);
  if (!IsSmallNumber(k) || !IsSmallNumber(n)) return false;
  index = std::stoi(k);
  count = std::stoi(n);
  return count >= 1 && index < count;
}

// Where the outputs go: -o names the output file when it ends like one and
// one GIF is given, else a folder.
std::optional<UsageProblem> PlaceOutputs(const ConvertOptions& options, Plan& plan) {
  const std::string output = options.output.empty() ? "." : options.output;
  bool namesFile = false;
  for (const char* kind : {"avi", "swf", "mp4", "webm", "webp"}) namesFile |= HasExtension(output, kind);
  namesFile = namesFile && !IsDirectory(output);
  // A name like a picture or video file that is not one we write would
  // become a folder of that name, surely not what was meant.
  static const char* const kOtherMedia[] = {"gif", "mkv", "mov", "m4v",  "mpg",  "mpeg", "ogv", "flv",
                                            "wmv", "ts",  "3gp", "apng", "avif", "png",  "jpg", "jpeg",
                                            "bmp", "tga", "tif", "tiff", "heic", "jxl"};
  if (!namesFile && !IsDirectory(output))
    for (const char* other : kOtherMedia)
      if (HasExtension(output, other))
        return UsageProblem{"-o " + output + ": give a folder" +
                            (plan.video || plan.encoded ? ", or a file name ending in ." + plan.extension
                                                        : " for the " + plan.extension + " files")};
  if (!namesFile) {
    plan.outputFolder = output.back() == '/' ? output : output + "/";
    return std::nullopt;
  }
  if (!plan.OneFile() || !HasExtension(output, plan.extension))
    return UsageProblem{"-o " + output + ": the output kind is " + plan.extension +
                        "; give a folder, or a file name ending in ." + plan.extension};
  const bool oneFile = options.inputs.size() == 1 && options.filesFrom.empty() && !IsDirectory(options.inputs[0]);
  if (!oneFile) return UsageProblem{"-o " + output + " names one output file, so give exactly one GIF file"};
  plan.outputFile = output;
  const auto slash = output.rfind('/');
  plan.outputFolder = slash == std::string::npos ? "./" : output.substr(0, slash + 1);
  return std::nullopt;
}

// The options of MP4, WebM and WebP. A frame rate is taken only when given:
// by default every GIF frame keeps its own duration.
std::optional<UsageProblem> PlanEncoded(const ConvertOptions& options, const SizeArgument& size, Plan& plan) {
  // An encoder option the output kind has no use for would be dropped in
  // silence, and the user would take the file for what they asked.
  const bool video = plan.extension == "mp4" || plan.extension == "webm";
  if (!video && !options.crf.empty()) return UsageProblem{"--crf applies to mp4 and webm, not " + plan.extension};
  if (!video && !options.preset.empty()) return UsageProblem{"--preset applies to mp4 and webm, not " + plan.extension};
  if (!video && !options.background.empty())
    return UsageProblem{"--background applies to mp4 and webm, not " + plan.extension};
  if (!plan.video && options.timing == "window")
    return UsageProblem{"--timing window applies to avi and swf, not " + plan.extension};
  EncodedExportOptions& encoded = plan.encodedOptions;
  encoded.kind = plan.extension == "webm"   ? EncodedKind::WebM
                 : plan.extension == "webp" ? EncodedKind::Webp
                                            : EncodedKind::Mp4;
  encoded.width = size.width;
  encoded.height = size.height;
  encoded.quality = options.quality > 0 ? options.quality : -1;
  encoded.preset = options.preset;
  encoded.fps = options.fpsGiven ? plan.settings.frameRate : 0;
  if (!options.background.empty()) {
    const auto colour = ParseColour(options.background);
    if (!colour) return UsageProblem{"--background " + options.background + ": give a colour name or #rrggbb"};
    encoded.background = *colour;
  }
  const int maxCrf = encoded.kind == EncodedKind::WebM ? 63 : 51;
  if (!options.crf.empty()) {
    if (!IsSmallNumber(options.crf) || std::stoi(options.crf) > maxCrf)
      return UsageProblem{"--crf " + options.crf + ": give a whole number, 0 to " + std::to_string(maxCrf)};
    encoded.crf = std::stoi(options.crf);
  }
  static const char* const kPresets[] = {"",     "ultrafast", "superfast", "veryfast", "faster",
                                         "fast", "medium",    "slow",      "slower",   "veryslow"};
  if (std::find(std::begin(kPresets), std::end(kPresets), options.preset) == std::end(kPresets))
    return UsageProblem{"--preset " + options.preset +
                        ": give ultrafast, superfast, veryfast, faster, fast, medium, "
                        "slow, slower or veryslow"};
  return std::nullopt;
}

// Few inputs: the jobs left over encode frames of the files under way. A
// list or a folder may hold any number of files: as many jobs as asked.
void ShareTheCores(const ConvertOptions& options, Plan& plan) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t wanted = options.jobs > 0 ? static_cast<std::size_t>(options.jobs) : cores;
  plan.openList = !options.filesFrom.empty() || std::any_of(options.inputs.begin(), options.inputs.end(),
                                                            [](const std::string& p) { return IsDirectory(p); });
  const std::size_t listed = plan.openList ? wanted : options.inputs.size();
  plan.jobs = std::clamp<std::size_t>(listed, 1, wanted);
  plan.encoderThreads = static_cast<int>(std::max<std::size_t>(1, wanted / plan.jobs));
}

}  // namespace

std::optional<std::uint32_t> ParseColour(const std::string& text) {
  static const std::pair<const char*, std::uint32_t> kNames[] = {
      {"white", 0xFFFFFF}, {"black", 0x000000}, {"gray", 0x808080},   {"grey", 0x808080},  {"red", 0xFF0000},
      {"green", 0x008000}, {"blue", 0x0000FF},  {"yellow", 0xFFFF00}, {"silver", 0xC0C0C0}};
  const std::string lower = Lower(text);
  for (const auto& [name, value] : kNames)
    if (lower == name) return value;
  if (lower.size() != 7 || lower[0] != '#' ||
      !std::all_of(lower.begin() + 1, lower.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
    return std::nullopt;
  return static_cast<std::uint32_t>(std::stoul(lower.substr(1), nullptr, 16));
}

std::optional<std::uint64_t> ParseMemorySize(const std::string& text) {
  std::size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0 || digits > 12) return std::nullopt;
  std::string unit = Lower(text.substr(digits));
  if (unit.ends_with("ib"))
    unit.resize(unit.size() - 2);
  else if (unit.size() == 2 && unit.back() == 'b')
    unit.pop_back();
  int shift = 0;
  if (unit == "k")
    shift = 10;
  else if (unit == "m")
    shift = 20;
  else if (unit == "g")
    shift = 30;
  else if (unit == "t")
    shift = 40;
  else if (!unit.empty() && unit != "b")
    return std::nullopt;
  const std::uint64_t value = std::stoull(text.substr(0, digits));
  if (value > (std::uint64_t{1} << (62 - shift))) return std::nullopt;
  return value << shift;
}

std::variant<Plan, UsageProblem> MakePlan(const ConvertOptions& options) {
  Plan plan;
  // Without --to, "-o clip.mp4" says the kind, as users of other converters expect.
  std::string to = options.to;
  if (to.empty()) {
    to = "avi";
    for (const char* named : {"swf", "mp4", "webm", "webp"})
      if (HasExtension(options.output, named) && !IsDirectory(options.output)) to = named;
  }
  const auto kind = NormalisedKind(to);
  if (!kind) return UsageProblem{"--to " + to + ": choose avi, swf, mp4, webm, webp, bmp, tga, jpg, gif, png or tiff"};
  plan.extension = *kind;
  plan.video = plan.extension == "avi" || plan.extension == "swf";
  plan.encoded = plan.extension == "mp4" || plan.extension == "webm" || plan.extension == "webp";

  if (!IsSmallNumber(options.fps) || std::stoi(options.fps) < 1 || std::stoi(options.fps) > kMaxFps)
    return UsageProblem{"--fps " + options.fps + ": give whole frames per second, 1 to " + std::to_string(kMaxFps)};
  const int fps = std::stoi(options.fps);
  if (plan.extension == "swf" && fps > SwfMovie::kMaxFrameRate)
    return UsageProblem{"--fps " + options.fps + ": a SWF movie plays at most " +
                        std::to_string(SwfMovie::kMaxFrameRate) + " whole frames per second"};
  SizeArgument size;
  if (!options.size.empty()) {
    const auto parsed = ParseSizeArgument(options.size, kMaxSide);
    if (!parsed)
      return UsageProblem{"--size " + options.size + ": give WIDTHxHEIGHT with sides of 1 to " +
                          std::to_string(kMaxSide) + ", for example 320x240"};
    size = *parsed;
  }
  if (options.jobs < 0 || options.jobs > kMaxJobs)
    return UsageProblem{"--jobs " + std::to_string(options.jobs) + ": give 0 (one per core) up to " +
                        std::to_string(kMaxJobs) + " files at once"};
  if (!options.shard.empty() && !ParseShard(options.shard, plan.shardIndex, plan.shardCount))
    return UsageProblem{"--shard " + options.shard + ": give K/N with 0 <= K < N, for example 0/4"};
  plan.memoryBytes = DefaultMemoryBudget();
  if (!options.memory.empty()) {
    const auto bytes = ParseMemorySize(options.memory);
    if (!bytes || *bytes < kMinMemoryBytes)
      return UsageProblem{"--memory " + options.memory + ": give a size of at least 64M, for example 1536M or 2G"};
    plan.memoryBytes = *bytes;
  }
  plan.timing = options.timing == "window" ? OutputTiming::Window : OutputTiming::Real;

  plan.settings.outputKind = std::string(plan.extension == "swf" ? kOutputSwf : kOutputAvi);
  plan.settings.frameRate = fps;
  plan.settings.quality = options.quality > 0 ? options.quality : 100;
  plan.settings.width = size.width;
  plan.settings.height = size.height;
  plan.sequence.quality = options.quality > 0 ? options.quality : -1;
  plan.sequence.width = size.width;
  plan.sequence.height = size.height;
  if (auto problem = PlanEncoded(options, size, plan)) return *problem;
  if (auto problem = PlaceOutputs(options, plan)) return *problem;
  plan.settings.outputFolder = plan.outputFolder;
  ShareTheCores(options, plan);
  return plan;
}

}  // namespace reelmill
