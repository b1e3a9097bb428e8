// The two recording roads, differential: for any input the streaming road
// and a frame recorder pass with an immediate clock leave the same numbered
// JPEG files, byte for byte, with the same steps, or both fail. The quality,
// declared size, encoder threads and step limit vary with the input, and so
// does where streaming puts its frames (numbered files, or a frame pack as
// the converter records).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/frame_pack.h"
#include "engine/frame_recorder.h"
#include "engine/playback_clock.h"
#include "engine/streaming_recording.h"
#include "engine/work_paths.h"
#include "fuzz/fuzz_support.h"
#include "imaging/file_io.h"
#include "imaging/pixel_image.h"

namespace reelmill::fuzz {
namespace {

// Small frames: the frame recorder keeps them all, and never meets its
// decode budget where streaming would not.
constexpr std::uint64_t kMaxPixelWork = 1u << 18;

struct Settings {
  int quality;
  int width, height;
  int threads;
  long long maxSteps;
  bool pack;
};

struct Pass {
  bool ok = false;
  long long totalSteps = 0;
  int width = 0, height = 0;
  std::map<std::string, std::vector<std::uint8_t>> files;
};

void TakeFiles(const std::string& workFolder, Pass& pass) {
  for (const auto& entry : std::filesystem::directory_iterator(TempFolderOf(workFolder))) {
    const auto bytes = ReadFileBytes(entry.path().string());
    Require(bytes.has_value(), "a recorded file reads back");
    pass.files.emplace(entry.path().filename().string(), *bytes);
  }
}

Pass Streaming(const std::string& gif, const std::string& work, const Settings& s) {
  Require(ResetTempFolder(work), "the temporary folder empties");
  StreamingOptions options;
  options.workFolder = work;
  options.jpegQuality = s.quality;
  options.outputWidth = s.width;
  options.outputHeight = s.height;
  options.encoderThreads = s.threads;
  options.maxSteps = s.maxSteps;
  std::optional<FramePack> pack;
  if (s.pack) {
    pack.emplace(TempFolderOf(work) + "clip.gif.frames");
    Require(pack->Ok(), "the frame pack is created");
    options.pack = &*pack;
  }
  const StreamingOutcome outcome = RecordStreaming(gif, options);
  Pass pass;
  pass.ok = outcome.ok && outcome.failures == 0;
  Require(outcome.ok || !outcome.Error().empty(), "a failed pass says why");
  if (!pass.ok) return pass;
  pass.totalSteps = outcome.totalSteps;
  pass.width = outcome.width;
  pass.height = outcome.height;
  TakeFiles(work, pass);
  if (pack) {
    // The pack holds the frames the numbered files would hold; small passes
    // stay in memory and leave nothing in the folder.
    Require(pass.files.size() <= 1 && (pass.files.empty() || pass.files.count("clip.gif.frames") == 1),
            "a pass into a pack leaves at most the pack's file");
    pass.files.clear();
    for (const auto& [step, entry] : pack->Frames()) {
      const auto bytes = ReadFileBytes(entry.path);
      Require(bytes.has_value() && entry.offset <= bytes->size() && entry.size <= bytes->size() - entry.offset,
              "a packed frame is whole");
      const auto begin = bytes->begin() + static_cast<std::ptrdiff_t>(entry.offset);
      const std::string name = std::filesystem::path(TempFramePath(work, gif, step)).filename().string();
      pass.files.emplace(name, std::vector<std::uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(entry.size)));
    }
  }
  return pass;
}

// As GifConverter drives the frame recorder.
Pass Recorder(const std::string& gif, const std::string& work, const Settings& s) {
  Require(ResetTempFolder(work), "the temporary folder empties");
  ImmediateClock clock;
  FrameRecorder recorder(clock);
  recorder.SetWorkFolder(work);
  recorder.SetJpegQuality(s.quality);
  recorder.LoadForPass(gif);
  Pass pass;
  if (recorder.FrameCount() == 0 || (s.maxSteps > 0 && recorder.TotalSteps() > s.maxSteps)) return pass;
  recorder.SetOutputSize(s.width, s.height);
  recorder.SetRecording(true);
  recorder.SetFileCounter(0);
  recorder.ResetPosition();
  recorder.StartPlayback();
  recorder.SetRecording(false);
  pass.ok = recorder.LastFrameRecorded() && recorder.RecordFailures() == 0;
  if (!pass.ok) return pass;
  pass.totalSteps = recorder.TotalSteps();
  pass.width = recorder.Frames().Frame(0)->Width();
  pass.height = recorder.Frames().Frame(0)->Height();
  TakeFiles(work, pass);
  return pass;
}

Settings SettingsFor(std::span<const std::uint8_t> data) {
  std::uint32_t hash = 2166136261u;
  for (const std::uint8_t b : data) hash = (hash ^ b) * 16777619u;
  static constexpr int kQualities[] = {100, 75, 30, 1};
  static constexpr int kSizes[][2] = {{0, 0}, {0, 0}, {23, 17}, {5, 40}};
  static constexpr long long kMaxSteps[] = {0, 0, 3, 40};
  return Settings{kQualities[hash & 3],       kSizes[(hash >> 2) & 3][0],
                  kSizes[(hash >> 2) & 3][1], 1 + static_cast<int>((hash >> 4) & 1),
                  kMaxSteps[(hash >> 5) & 3], ((hash >> 7) & 1) != 0};
}

}  // namespace
}  // namespace reelmill::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace reelmill;
  using namespace reelmill::fuzz;
  const std::span<const std::uint8_t> data(bytes, size);
  if (GifPixelWork(data) > kMaxPixelWork) return -1;
  const std::string input = FreshFolder("in");
  const std::string gif = input + "clip.gif";
  Require(WriteFileBytes(gif, data), "the input is written");
  const Settings settings = SettingsFor(data);

  const Pass streamed = Streaming(gif, FreshFolder("streaming"), settings);
  const Pass recorded = Recorder(gif, FreshFolder("recorder"), settings);
  Require(streamed.ok == recorded.ok, "both roads record the file, or both fail");
  if (!streamed.ok) return 0;
  Require(streamed.totalSteps == recorded.totalSteps, "both roads take the same steps");
  Require(streamed.width == recorded.width && streamed.height == recorded.height, "both roads see one frame size");
  Require(streamed.files == recorded.files, "both roads leave the same files, byte for byte");
  return 0;
}
