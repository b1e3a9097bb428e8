#pragma once
// Icon files, read only: the largest picture of the icon becomes one 32-bit
// frame with alpha. Saving is not offered and always fails.

#include "imaging/image_codec.h"

namespace reelmill {

class IcoCodec final : public ImageCodec {
 public:
  bool LoadMemory(std::span<const std::uint8_t> data, ImageList& out,
                  std::unique_ptr<ImageProperties>& outProperties) override;
};

}  // namespace reelmill
