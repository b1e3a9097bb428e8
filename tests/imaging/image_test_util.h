#pragma once
// Building test images with known pixels and comparing them.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/image_list.h"
#include "imaging/pixel_image.h"

namespace reelmill::testing {

// An image whose every byte of pixel data follows a fixed pattern, so two
// images compare equal only when every pixel made it through. Padding bytes
// stay zero, as a decoder leaves them.
inline PixelImage PatternImage(int width, int height, int bitCount, std::uint32_t seed = 1) {
  PixelImage image;
  EXPECT_TRUE(image.Create(width, height, bitCount));
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * bitCount + 7) / 8;
  std::uint32_t state = seed * 2654435761u + 12345u;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.Row(y);
    for (std::size_t i = 0; i < rowBytes; ++i) {
      state = state * 1103515245u + 12345u;
      row[i] = static_cast<std::uint8_t>(state >> 16);
    }
    // Bits of a partly used last byte are not pixels; keep them zero.
    const int usedBits = static_cast<int>((static_cast<std::size_t>(width) * bitCount) % 8);
    if (usedBits != 0) row[rowBytes - 1] = static_cast<std::uint8_t>(row[rowBytes - 1] & (0xFF << (8 - usedBits)));
  }
  if (bitCount <= 8) {
    auto palette = image.Palette();
    for (std::size_t i = 0; i < palette.size(); ++i) {
      palette[i] = PaletteEntry{static_cast<std::uint8_t>(i * 7 + 3), static_cast<std::uint8_t>(255 - i),
                                static_cast<std::uint8_t>(i * 13), 0};
    }
  }
  return image;
}

// Pixel rows without padding, top row first.
inline std::vector<std::uint8_t> PixelBytes(const PixelImage& image) {
  std::vector<std::uint8_t> bytes;
  const std::size_t rowBytes = (static_cast<std::size_t>(image.Width()) * image.BitCount() + 7) / 8;
  for (int y = 0; y < image.Height(); ++y) bytes.insert(bytes.end(), image.Row(y), image.Row(y) + rowBytes);
  return bytes;
}

inline ::testing::AssertionResult SamePixels(const PixelImage& got, const PixelImage& want) {
  if (got.Width() != want.Width() || got.Height() != want.Height() || got.BitCount() != want.BitCount()) {
    return ::testing::AssertionFailure() << "got " << got.Width() << "x" << got.Height() << "x" << got.BitCount()
                                         << ", want " << want.Width() << "x" << want.Height() << "x" << want.BitCount();
  }
  const auto a = PixelBytes(got);
  const auto b = PixelBytes(want);
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) {
      return ::testing::AssertionFailure() << "pixel byte " << i << ": got " << int(a[i]) << ", want " << int(b[i]);
    }
  }
  return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult SamePalette(const PixelImage& got, const PixelImage& want, bool withFourthByte) {
  const auto a = got.Palette();
  const auto b = want.Palette();
  if (a.size() != b.size()) return ::testing::AssertionFailure() << "got " << a.size() << " entries, want " << b.size();
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].blue != b[i].blue || a[i].green != b[i].green || a[i].red != b[i].red ||
        (withFourthByte && a[i].reserved != b[i].reserved)) {
      return ::testing::AssertionFailure() << "palette entry " << i << " differs";
    }
  }
  return ::testing::AssertionSuccess();
}

// Loads one file through the codec its extension selects.
inline bool LoadOne(const std::string& path, PixelImage& image) {
  FrameSet frames;
  if (!frames.Load(path) || frames.Count() == 0) return false;
  image = *frames.Frame(0);
  return true;
}

}  // namespace reelmill::testing
