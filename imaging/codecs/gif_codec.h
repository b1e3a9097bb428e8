#pragma once
// GIF decoding and encoding over giflib.

#include "imaging/image_codec.h"

namespace reelmill {

class GifCodec final : public ImageCodec {
 public:
  bool LoadMemory(std::span<const std::uint8_t> data, ImageList& out,
                  std::unique_ptr<ImageProperties>& outProperties) override;
  bool SaveFile(const std::string& path, std::span<const PixelImage* const> images,
                const ImageProperties& properties) override;
};

}  // namespace reelmill
