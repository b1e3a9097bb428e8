// The two LZW loops of our own against the libraries they stand in for, on
// the same data: GIF pixel data read through GifReader with our loop and with
// giflib alone, and TIFF strips coded by our encoder and by libtiff.

#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/codecs/gif_reader.h"
#include "imaging/codecs/tiff_lzw.h"

namespace reelmill {
namespace {

constexpr int kSide = 500;
constexpr int kFrames = 40;

int Append(GifFileType* gif, const GifByteType* bytes, int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), bytes, bytes + length);
  return length;
}

// Dithered-looking bands: what GIFs made from video hold.
std::vector<std::uint8_t> Pixels(int frame) {
  std::vector<std::uint8_t> pixels(std::size_t(kSide) * kSide);
  std::uint32_t state = std::uint32_t(frame) + 1;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      state = state * 1664525u + 1013904223u;
      pixels[std::size_t(y) * kSide + std::size_t(x)] = std::uint8_t((x / 60 + y / 80) * 9 + (state >> 30));
    }
  return pixels;
}

const std::vector<std::uint8_t>& Gif() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, Append, &error);
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    EGifPutScreenDesc(gif, kSide, kSide, 8, 0, map);
    for (int f = 0; f < kFrames; ++f) {
      EGifPutImageDesc(gif, 0, 0, kSide, kSide, false, nullptr);
      std::vector<std::uint8_t> pixels = Pixels(f);
      for (int y = 0; y < kSide; ++y) EGifPutLine(gif, pixels.data() + std::size_t(y) * kSide, kSide);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
  }();
  return bytes;
}

void ReadPixels(benchmark::State& state, GifPixelDecoding decoding) {
  std::vector<std::uint8_t> row(kSide);
  for (auto _ : state) {
    GifReader reader(Gif(), decoding);
    GifImageHeader image;
    int rows = 0;
    if (reader.Open())
      while (reader.NextImage(image))
        for (int y = 0; y < image.rect.height && reader.ReadRow(row); ++y) ++rows;
    if (rows != kFrames * kSide) state.SkipWithError("the GIF did not read whole");
    benchmark::DoNotOptimize(row.data());
  }
  state.counters["Mpixels_per_second"] =
      benchmark::Counter(double(state.iterations()) * kFrames * kSide * kSide / 1e6, benchmark::Counter::kIsRate);
}
void BM_GifPixelsOwnLoop(benchmark::State& state) { ReadPixels(state, GifPixelDecoding::Fast); }
void BM_GifPixelsGiflib(benchmark::State& state) { ReadPixels(state, GifPixelDecoding::LibraryOnly); }
BENCHMARK(BM_GifPixelsOwnLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifPixelsGiflib)->Unit(benchmark::kMillisecond);

// Strips of 256 KiB of predicted RGBA: small differences, zero alpha.
std::vector<std::vector<std::uint8_t>> Strips() {
  std::vector<std::vector<std::uint8_t>> strips;
  for (int f = 0; f < 8; ++f) {
    std::vector<std::uint8_t> pixels = Pixels(f), strip;
    for (std::size_t i = 0; i < pixels.size() && strip.size() < 256 * 1024; ++i)
      strip.insert(strip.end(), {std::uint8_t(pixels[i] - (i ? pixels[i - 1] : 0)), 0, std::uint8_t(pixels[i] & 3), 0});
    strips.push_back(strip);
  }
  return strips;
}

void SetBytes(benchmark::State& state, const std::vector<std::vector<std::uint8_t>>& strips) {
  std::size_t bytes = 0;
  for (const auto& strip : strips) bytes += strip.size();
  state.SetBytesProcessed(std::int64_t(state.iterations() * bytes));
}

void BM_TiffLzwOwnEncoder(benchmark::State& state) {
  const auto strips = Strips();
  TiffLzwEncoder encoder;
  for (auto _ : state) {
    for (std::size_t i = 0; i + 1 < strips.size(); i += 2) {
      std::span<const std::uint8_t> a, b;
      encoder.EncodeStrips(strips[i], strips[i + 1], a, b);
      benchmark::DoNotOptimize(b.data());
    }
  }
  SetBytes(state, strips);
}
BENCHMARK(BM_TiffLzwOwnEncoder)->Unit(benchmark::kMillisecond);

void BM_TiffLzwLibtiff(benchmark::State& state) {
  const auto strips = Strips();
  const std::string path = "/tmp/reelmill-lzw-bench-" + std::to_string(getpid()) + ".tif";
  for (auto _ : state) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(256 * 1024));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(strips.size()));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1);
    for (std::size_t i = 0; i < strips.size(); ++i) {
      std::vector<std::uint8_t> copy = strips[i];
      TIFFWriteEncodedStrip(t, std::uint32_t(i), copy.data(), tmsize_t(copy.size()));
    }
    TIFFClose(t);
  }
  unlink(path.c_str());
  SetBytes(state, strips);
}
BENCHMARK(BM_TiffLzwLibtiff)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace reelmill
