#pragma once
// TGA files: written uncompressed with a top-left origin; read uncompressed
// or run-length encoded, colour-mapped, true-colour or grey.

#include <vector>

#include "imaging/image_codec.h"

namespace reelmill {

class TgaCodec final : public ImageCodec {
 public:
  // Also sets TgaCompressionKey ("1" for run-length files, else "-1") in a
  // new property bag that replaces the caller's.
  bool LoadMemory(std::span<const std::uint8_t> data, ImageList& out,
                  std::unique_ptr<ImageProperties>& outProperties) override;
  // Writes 8-, 16-, 24- and 32-bit images of at most 65535 x 65535 pixels.
  bool SaveFile(const std::string& path, std::span<const PixelImage* const> images,
                const ImageProperties& properties) override;

 private:
  std::vector<std::uint8_t> file_;  // kept between saves
};

}  // namespace reelmill
