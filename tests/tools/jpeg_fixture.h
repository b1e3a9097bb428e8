#pragma once
// Real JPEG files for the converter's tests, encoded with TurboJPEG: a
// gradient with a bar whose place depends on `seed`, so every frame differs.

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdint>
#include <vector>

namespace reelmill::testing {

inline std::vector<std::uint8_t> MakeJpeg(int width, int height, int seed, int quality = 75) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      const bool bar = (x + seed * 7) % width < width / 8;
      p[0] = static_cast<std::uint8_t>(bar ? 255 : x * 255 / width);
      p[1] = static_cast<std::uint8_t>(y * 255 / height);
      p[2] = static_cast<std::uint8_t>(seed * 37);
    }
  }
  tjhandle handle = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  std::vector<std::uint8_t> out;
  if (handle && tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_420, quality,
                            TJFLAG_FASTDCT) == 0) {
    out.assign(jpeg, jpeg + size);
  } else {
    ADD_FAILURE() << "TurboJPEG could not encode a test frame";
  }
  tjFree(jpeg);
  if (handle) tjDestroy(handle);
  return out;
}

}  // namespace reelmill::testing
