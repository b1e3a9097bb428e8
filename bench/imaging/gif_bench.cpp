// GIF decoding speed on a 100-frame 500 x 500 animation (varied content, some
// transparency, frames smaller than the screen, every disposal), and GIF
// encoding of a 500 x 500 true-colour frame through the quantiser.

#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imaging/codecs/gif_codec.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "imaging/pixel_image.h"

namespace reelmill {
namespace {

constexpr int kScreen = 500;
constexpr int kFrames = 100;

int AppendOutput(GifFileType* gif, const GifByteType* bytes, int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), bytes, bytes + length);
  return length;
}

std::uint32_t Noise(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 24;
}

// Frame 0 covers the screen; later frames are rectangles of 120 to 500
// pixels wide at moving offsets, with bands of smooth colour, noisy
// patches and (every other frame) transparent holes.
std::vector<std::uint8_t> MakeAnimation() {
  std::vector<std::uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, AppendOutput, &error);
  EGifSetGifVersion(gif, true);
  ColorMapObject* map = GifMakeMapObject(256, nullptr);
  for (int i = 0; i < 256; ++i) {
    map->Colors[i] = GifColorType{static_cast<GifByteType>(i), static_cast<GifByteType>((i * 7) & 0xFF),
                                  static_cast<GifByteType>(255 - i)};
  }
  EGifPutScreenDesc(gif, kScreen, kScreen, 8, 0, map);
  std::uint32_t state = 1;
  std::vector<GifPixelType> row(kScreen);
  for (int f = 0; f < kFrames; ++f) {
    const int width = f == 0 ? kScreen : 120 + (f * 37) % 381;
    const int height = f == 0 ? kScreen : 120 + (f * 53) % 381;
    const int left = f == 0 ? 0 : (f * 29) % (kScreen - width + 1);
    const int top = f == 0 ? 0 : (f * 41) % (kScreen - height + 1);
    const int transparent = f % 2 == 1 ? 255 : -1;
    GraphicsControlBlock control{f % 4, false, 4, transparent};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
    EGifPutImageDesc(gif, left, top, width, height, f % 10 == 5, nullptr);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        int index = ((x + f * 3) / 6 + (y / 9) * 5) & 0xFE;  // smooth bands
        if (((x / 40) + (y / 40) + f) % 5 == 0) index = static_cast<int>(Noise(state)) & 0xFE;
        if (transparent >= 0 && ((x / 25) * 3 + (y / 25)) % 4 == 0) index = transparent;
        row[std::size_t(x)] = static_cast<GifPixelType>(index);
      }
      EGifPutLine(gif, row.data(), width);
    }
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

const std::vector<std::uint8_t>& Animation() {
  static const std::vector<std::uint8_t> bytes = MakeAnimation();
  return bytes;
}

void BM_GifDecode100Frames500x500(benchmark::State& state) {
  const auto& bytes = Animation();
  for (auto _ : state) {
    ImageList frames;
    std::unique_ptr<ImageProperties> properties;
    GifCodec codec;
    if (!codec.LoadMemory(bytes, frames, properties) || frames.Count() != kFrames) {
      state.SkipWithError("the animation did not decode into 100 frames");
      break;
    }
    benchmark::DoNotOptimize(frames.At(kFrames - 1).Bits());
  }
  state.counters["frames_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kFrames, benchmark::Counter::kIsRate);
  state.counters["file_kib"] = static_cast<double>(bytes.size()) / 1024.0;
}
BENCHMARK(BM_GifDecode100Frames500x500)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor under the decoder: 100 new 500 x 500 BGRA frames, each a copy of
// the one before, with no GIF work at all. Most of a decode is this cost of
// fresh memory (page faults and the copy).
void BM_FreshCanvasCopies100(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<std::unique_ptr<PixelImage>> frames;
    for (int f = 0; f < kFrames; ++f) {
      auto frame = std::make_unique<PixelImage>();
      frame->Create(kScreen, kScreen, 32);
      if (!frames.empty()) std::memcpy(frame->Bits(), frames.back()->Bits(), frame->BufferSize());
      frames.push_back(std::move(frame));
    }
    benchmark::DoNotOptimize(frames.back()->Bits());
  }
  state.counters["frames_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kFrames, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FreshCanvasCopies100)->Unit(benchmark::kMillisecond)->UseRealTime();

// A photo-like 24-bit frame: smooth gradients, a soft disc and grain, so it
// holds tens of thousands of colours.
PixelImage TrueColourFrame() {
  PixelImage image;
  image.Create(kScreen, kScreen, 24);
  std::uint32_t state = 7;
  for (int y = 0; y < kScreen; ++y) {
    std::uint8_t* p = image.Row(y);
    for (int x = 0; x < kScreen; ++x, p += 3) {
      const double d = std::hypot(x - 250.0, y - 200.0) / 250.0;
      const int grain = static_cast<int>(Noise(state) % 9) - 4;
      const auto clamp = [](double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
      p[0] = clamp(255.0 * y / kScreen + grain);
      p[1] = clamp(200.0 * (1.0 - d) + grain);
      p[2] = clamp(255.0 * x / kScreen + grain);
    }
  }
  return image;
}

std::string BenchPath(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string(name) + "-" + std::to_string(::getpid()) + ".gif"))
      .string();
}

void BM_GifEncodeQuantised500x500(benchmark::State& state) {
  const PixelImage image = TrueColourFrame();
  const PixelImage* images[] = {&image};
  const std::string path = BenchPath("reelmill-gif-bench");
  for (auto _ : state) {
    GifCodec codec;
    if (!codec.SaveFile(path, images, ImageProperties{})) {
      state.SkipWithError("saving failed");
      break;
    }
  }
  std::error_code ignored;
  state.counters["file_kib"] = static_cast<double>(std::filesystem::file_size(path, ignored)) / 1024.0;
  std::filesystem::remove(path, ignored);
}
BENCHMARK(BM_GifEncodeQuantised500x500)->Unit(benchmark::kMillisecond)->UseRealTime();

// For comparison: a frame of 200 colours takes the exact-palette path.
void BM_GifEncodeExactPalette500x500(benchmark::State& state) {
  PixelImage image;
  image.Create(kScreen, kScreen, 24);
  for (int y = 0; y < kScreen; ++y) {
    std::uint8_t* p = image.Row(y);
    for (int x = 0; x < kScreen; ++x, p += 3) {
      const int c = (x / 25) * 10 + (y / 50);  // 20 x 10 = 200 colours
      p[0] = static_cast<std::uint8_t>(c);
      p[1] = static_cast<std::uint8_t>(255 - c);
      p[2] = static_cast<std::uint8_t>(c * 3);
    }
  }
  const PixelImage* images[] = {&image};
  const std::string path = BenchPath("reelmill-gif-bench-exact");
  for (auto _ : state) {
    GifCodec codec;
    if (!codec.SaveFile(path, images, ImageProperties{})) {
      state.SkipWithError("saving failed");
      break;
    }
  }
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}
BENCHMARK(BM_GifEncodeExactPalette500x500)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace reelmill
