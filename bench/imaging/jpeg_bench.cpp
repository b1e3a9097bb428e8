// JPEG encoding speed of the frames a conversion records: 500 x 500 pixels
// at quality 90, through PixelImage::Save to a file on tmpfs and through the
// encoder in memory.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "imaging/codecs/jpeg_codec.h"
#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"

namespace reelmill {
namespace {

constexpr int kSide = 500;
constexpr int kQuality = 90;

// Smooth areas with some edges, like an animation frame.
PixelImage Frame(int bitCount) {
  PixelImage image;
  image.Create(kSide, kSide, bitCount);
  const int bytes = bitCount / 8;
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      std::uint8_t* p = image.PixelAddress(x, y);
      const bool inCircle = (x - 250) * (x - 250) + (y - 250) * (y - 250) < 120 * 120;
      p[0] = static_cast<std::uint8_t>(inCircle ? 30 : x / 2);
      p[1] = static_cast<std::uint8_t>(inCircle ? 200 : y / 2);
      p[2] = static_cast<std::uint8_t>(128 + 120 * std::sin((x * y) / 4000.0));
      if (bytes == 4) p[3] = 255;
    }
  }
  return image;
}

// A folder in memory when the system has one, so the disk does not set the pace.
std::string ScratchFolder() {
  std::string base =
      std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
  std::string pattern = base + "/reelmill-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern + "/";
}

void SetRate(benchmark::State& state) {
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SaveJpegFile(benchmark::State& state) {
  const PixelImage image = Frame(static_cast<int>(state.range(0)));
  const std::string folder = ScratchFolder();
  ImageProperties properties;
  properties.Set(QualityKey, std::to_string(kQuality));
  int step = 0;
  for (auto _ : state) {
    // A new name per frame, as the recorder writes them.
    const std::string path = folder + "clip.gif" + std::to_string(step++ % 64) + ".jpg";
    if (!image.Save(path, properties)) state.SkipWithError("save failed");
  }
  std::filesystem::remove_all(folder);
  SetRate(state);
}
// Wall-clock time: the file system calls are part of the cost.
BENCHMARK(BM_SaveJpegFile)->Arg(24)->Arg(32)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_EncodeJpegInMemory(benchmark::State& state) {
  const PixelImage image = Frame(static_cast<int>(state.range(0)));
  JpegEncoder encoder;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const auto jpeg = encoder.Encode(image, kQuality);
    if (jpeg.empty()) state.SkipWithError("encode failed");
    bytes = jpeg.size();
    benchmark::DoNotOptimize(jpeg.data());
  }
  state.counters["jpeg_bytes"] = static_cast<double>(bytes);
  SetRate(state);
}
BENCHMARK(BM_EncodeJpegInMemory)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

// What a save pays for its own compressor and output buffer: a fresh encoder
// per frame against the reused one above.
void BM_EncodeJpegFreshEncoder(benchmark::State& state) {
  const PixelImage image = Frame(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    JpegEncoder encoder;
    const auto jpeg = encoder.Encode(image, kQuality);
    if (jpeg.empty()) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(jpeg.data());
  }
  SetRate(state);
}
BENCHMARK(BM_EncodeJpegFreshEncoder)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

// Palette frames (single-image GIFs) take the one BGR copy first.
void BM_EncodeJpegPaletteFrame(benchmark::State& state) {
  PixelImage image;
  image.Create(kSide, kSide, 8);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) *image.PixelAddress(x, y) = static_cast<std::uint8_t>((x / 8 + y / 8) & 0xFF);
  }
  JpegEncoder encoder;
  for (auto _ : state) benchmark::DoNotOptimize(encoder.Encode(image, kQuality).data());
  SetRate(state);
}
BENCHMARK(BM_EncodeJpegPaletteFrame)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace reelmill
