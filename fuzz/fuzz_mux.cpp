// mux writing an AVI and an SWF from fuzzed frame files. The input is the
// frame files separated by "--frame--", then one byte of settings (output
// kind, frame rate, a size given or not, the frames' own or another). A success
// leaves a complete output (an AVI of exactly the size its frames give); a
// failure leaves the file that was there untouched; neither leaves a
// temporary file behind.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imaging/file_io.h"
#include "tools/exit_status.h"
#include "tools/jpeg_info.h"
#include "tools/mux_command.h"

namespace reelmill::fuzz {
namespace {

constexpr std::string_view kSeparator = "--frame--";
constexpr std::size_t kMaxFrames = 8;
const std::vector<std::uint8_t> kExisting = {'k', 'e', 'e', 'p'};

std::vector<std::span<const std::uint8_t>> SplitFrames(std::span<const std::uint8_t> data) {
  std::vector<std::span<const std::uint8_t>> frames;
  const auto separator = std::span(reinterpret_cast<const std::uint8_t*>(kSeparator.data()), kSeparator.size());
  auto rest = data;
  while (frames.size() + 1 < kMaxFrames) {
    const auto at = std::search(rest.begin(), rest.end(), separator.begin(), separator.end());
    if (at == rest.end()) break;
    frames.push_back(rest.first(static_cast<std::size_t>(at - rest.begin())));
    rest = rest.subspan(static_cast<std::size_t>(at - rest.begin()) + separator.size());
  }
  frames.push_back(rest);
  return frames;
}

std::uint64_t Padded(std::uint64_t size) { return (size + 3) / 4 * 4; }

}  // namespace
}  // namespace reelmill::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace reelmill;
  using namespace reelmill::fuzz;
  if (size < 1) return -1;
  const std::uint8_t settings = bytes[size - 1];
  const auto frames = SplitFrames({bytes, size - 1});

  const std::string folder = FreshFolder("mux");
  MuxOptions options;
  options.to = (settings & 1) ? "swf" : "avi";
  static constexpr int kRates[] = {1, 10, 25, 255, 256, 1000, 30, 12};
  options.fps = kRates[settings >> 1 & 7];
  if (settings & 0x10) {
    // The frames' own size, which mux takes, or another, which it refuses.
    const auto own = ReadJpegFrameSize(frames.front());
    options.sizeText =
        (settings & 0x20) || !own ? "320x240" : std::to_string(own->width) + "x" + std::to_string(own->height);
  }
  options.output = folder + "out." + options.to;
  std::uint64_t dataBytes = 0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const std::string path = folder + "frame" + std::to_string(i) + ".jpg";
    Require(WriteFileBytes(path, frames[i]), "a frame file is written");
    options.frames.push_back(path);
    dataBytes += 8 + Padded(frames[i].size());
  }
  Require(WriteFileBytes(options.output, kExisting), "the existing output is written");

  std::ostringstream out, err;
  const int status = RunMux(options, out, err);
  Require(status == kExitOk || status == kExitFailed ||
              (status == kExitUsage && (options.fps > 255 || !options.sizeText.empty())),
          "mux succeeds or fails; only a SWF rate above 255 or a size is a usage error");
  Require(status == kExitOk || !err.str().empty(), "a failure says why");
  const auto written = ReadFileBytes(options.output);
  Require(written.has_value(), "the output is there");
  if (status != kExitOk) {
    Require(*written == kExisting, "a failure leaves the existing output untouched");
  } else if (options.to == "avi") {
    const std::uint64_t expected = 240 + dataBytes + 8 + 16 * frames.size();
    Require(written->size() == expected && std::equal(written->begin(), written->begin() + 4, "RIFF"),
            "an AVI is as long as its frames make it");
  } else {
    Require(written->size() > 8 && ((*written)[0] == 'F' || (*written)[0] == 'C') && (*written)[1] == 'W' &&
                (*written)[2] == 'S',
            "a SWF is a movie");
  }
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++entries;
  Require(entries == frames.size() + 1, "no temporary file is left behind");
  return 0;
}
