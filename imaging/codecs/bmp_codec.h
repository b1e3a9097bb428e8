#pragma once
// BMP files: the image's own header, palette or masks, and bottom-up rows,
// written and read as they are in memory.

#include "imaging/image_codec.h"

namespace reelmill {

class BmpCodec final : public ImageCodec {
 public:
  bool LoadMemory(std::span<const std::uint8_t> data, ImageList& out,
                  std::unique_ptr<ImageProperties>& outProperties) override;
  bool SaveFile(const std::string& path, std::span<const PixelImage* const> images,
                const ImageProperties& properties) override;
};

}  // namespace reelmill
