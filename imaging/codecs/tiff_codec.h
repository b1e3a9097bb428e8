#pragma once
// TIFF files over libtiff, entirely in memory. Every page loads as a frame:
// palette pages as 1, 4 or 8 bits, the rest as 24 bits or, with alpha, 32.
// Saving writes one LZW page: a palette for 8 bits or fewer, RGB for 16 and
// 24 bits, RGBA for 32.

#include <cstdint>
#include <vector>

#include "imaging/codecs/tiff_lzw.h"
#include "imaging/image_codec.h"

namespace reelmill {

class TiffCodec final : public ImageCodec {
 public:
  // All pages together may hold at most this many pixels, so a small file
  // of many large pages cannot exhaust memory.
  static constexpr std::uint64_t kMaxTotalPixels = std::uint64_t{1} << 28;

  bool LoadMemory(std::span<const std::uint8_t> data, ImageList& out,
                  std::unique_ptr<ImageProperties>& outProperties) override;
  bool SaveFile(const std::string& path, std::span<const PixelImage* const> images,
                const ImageProperties& properties) override;

 private:
  // Kept between saves.
  std::vector<std::uint8_t> file_;
  std::vector<std::uint8_t> strips_[2];
  TiffLzwEncoder lzw_;
};

}  // namespace reelmill
