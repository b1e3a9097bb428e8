#pragma once
// Shared by the fuzz targets: a verdict that stops the run with a message,
// a private scratch folder, and a bound on the pixel work of a GIF so every
// input stays fast (the decoders' own size limits are tested in the unit
// tests; here a large screen would only make each run slow).

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "imaging/codecs/gif_block_walker.h"
#include "imaging/codecs/gif_reader.h"

namespace reelmill::fuzz {

// A broken rule is a finding: libFuzzer keeps the input that broke it.
inline void Require(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "broken rule: %s\n", rule);
  std::abort();
}

// A folder of this process's own, in memory where the machine has /dev/shm,
// removed at exit.
inline const std::string& ScratchFolder() {
  // Never destroyed: the exit handler below still needs it.
  static const std::string* const folder = [] {
    const std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/reelmill-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchFolder(), ignored);
    });
    return new std::string(pattern + "/");
  }();
  return *folder;
}

// A fresh, empty folder under the scratch folder.
inline std::string FreshFolder(const std::string& name) {
  const std::string folder = ScratchFolder() + name + "/";
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::create_directories(folder, ignored);
  return folder;
}

// Pixels the GIF decoders may touch, counted generously: every image that
// giflib's walk or the block walk finds, on the screen grown to hold it, and
// the largest such screen once more per image (an animation composites
// every frame on a whole screen).
inline std::uint64_t GifPixelWork(std::span<const std::uint8_t> data) {
  GifBlockWalker walker(data);
  if (!walker.Valid()) return 0;
  const std::uint64_t screenWidth = static_cast<std::uint64_t>(walker.ScreenWidth());
  const std::uint64_t screenHeight = static_cast<std::uint64_t>(walker.ScreenHeight());
  std::uint64_t work = 0, images = 0, largest = screenWidth * screenHeight;
  const auto add = [&](std::int64_t left, std::int64_t top, std::int64_t width, std::int64_t height) {
    const std::uint64_t w =
        std::max<std::uint64_t>(screenWidth, static_cast<std::uint64_t>(std::max<std::int64_t>(0, left + width)));
    const std::uint64_t h =
        std::max<std::uint64_t>(screenHeight, static_cast<std::uint64_t>(std::max<std::int64_t>(0, top + height)));
    work += w * h + static_cast<std::uint64_t>(std::max<std::int64_t>(0, width)) *
                        static_cast<std::uint64_t>(std::max<std::int64_t>(0, height));
    largest = std::max(largest, w * h);
    ++images;
  };
  while (const auto frame = walker.AssembleFrame()) add(frame->left, frame->top, frame->width, frame->height);
  GifReader reader(data);
  if (reader.Open()) {
    GifImageHeader image;
    while (reader.NextImage(image)) add(image.rect.left, image.rect.top, image.rect.width, image.rect.height);
  }
  return work + std::max<std::uint64_t>(images, 1) * largest;
}

}  // namespace reelmill::fuzz
