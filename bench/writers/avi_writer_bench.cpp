// How fast the AVI writer turns 500 JPEG files of 20 KB into one file,
// against a plain copy of the same bytes into one file. The writer should be
// as fast as the copy: its work is I/O.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "writers/avi/avi_writer.h"

namespace reelmill {
namespace {

constexpr int kFrames = 500;
constexpr std::size_t kFrameBytes = 20 * 1024;

class NullStream : public std::ostream {
 public:
  NullStream() : std::ostream(nullptr) {}
};

// 500 frame files in a private folder, made once and removed at exit.
struct FrameFolder {
  std::string folder;
  std::vector<std::string> paths;
  std::uint64_t totalBytes = 0;

  FrameFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "reelmill-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    folder = pattern + "/";
    std::vector<std::uint8_t> bytes(kFrameBytes);
    for (int i = 0; i < kFrames; ++i) {
      const std::uint8_t head[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
      for (std::size_t j = 0; j < bytes.size(); ++j) bytes[j] = static_cast<std::uint8_t>(j * 31 + i);
      std::copy(std::begin(head), std::end(head), bytes.begin());
      char name[32];
      std::snprintf(name, sizeof name, "frame%05d.jpg", i);
      paths.push_back(folder + name);
      std::FILE* file = std::fopen(paths.back().c_str(), "wb");
      if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
      std::fclose(file);
      totalBytes += bytes.size();
    }
  }
  ~FrameFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

FrameFolder& Frames() {
  static FrameFolder frames;
  return frames;
}

void BM_AviWriter(benchmark::State& state) {
  FrameFolder& frames = Frames();
  NullStream quiet;
  const std::string output = frames.folder + "out.avi";
  for (auto _ : state) {
    AviWriter writer(quiet, quiet);
    for (const std::string& path : frames.paths) writer.AddFrameFile(path);
    writer.SetOutputPath(output);
    writer.SetFrameRate(25);
    if (writer.Write() != AviWriter::kOk) state.SkipWithError("the AVI could not be written");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frames.totalBytes));
}
BENCHMARK(BM_AviWriter)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reads every frame file in blocks of state.range(0) bytes and appends it to one file.
void BM_PlainCopy(benchmark::State& state) {
  FrameFolder& frames = Frames();
  const std::string output = frames.folder + "copy.bin";
  std::vector<char> buffer(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::FILE* out = std::fopen(output.c_str(), "wb");
    if (!out) {
      state.SkipWithError("cannot create the copy");
      break;
    }
    for (const std::string& path : frames.paths) {
      std::FILE* in = std::fopen(path.c_str(), "rb");
      if (!in) continue;
      std::size_t n;
      while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) std::fwrite(buffer.data(), 1, n, out);
      std::fclose(in);
    }
    std::fclose(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frames.totalBytes));
}
BENCHMARK(BM_PlainCopy)->Arg(512)->Arg(64 * 1024)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace reelmill
