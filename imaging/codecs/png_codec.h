#pragma once
// PNG files over libpng. Palette images load as 1, 4 or 8 bits (2-bit palettes
// widened to 4), the rest as 24 bits or, with any transparency, 32 bits;
// 16-bit samples are scaled to 8. Saving writes palette images with an opaque
// palette, 24- and 16-bit images as RGB and 32-bit images as RGBA.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "imaging/image_codec.h"

struct libdeflate_compressor;

namespace reelmill {

class ByteWriter;

// Encodes images one after the other, keeping its working buffers between
// them so that a sequence of frames does not touch fresh memory each time.
class PngEncoder {
 public:
  // Appends the PNG file of a non-empty image to `out`.
  bool Encode(const PixelImage& image, ByteWriter& out);

 private:
  struct FreeCompressor {
    void operator()(libdeflate_compressor* compressor) const;
  };
  std::unique_ptr<libdeflate_compressor, FreeCompressor> compressor_;
  std::vector<std::uint8_t> scanlines_;
  std::vector<std::uint8_t> deflated_;
};

class PngCodec final : public ImageCodec {
 public:
  bool LoadMemory(std::span<const std::uint8_t> data, ImageList& out,
                  std::unique_ptr<ImageProperties>& outProperties) override;
  // A codec kept for several saves reuses its buffers.
  bool SaveFile(const std::string& path, std::span<const PixelImage* const> images,
                const ImageProperties& properties) override;

 private:
  PngEncoder encoder_;
  std::vector<std::uint8_t> file_;
};

// Decodes a whole PNG stream into `image`; false (image untouched) for
// anything truncated, corrupt or larger than PixelImage::kMaxPixels.
bool DecodePng(std::span<const std::uint8_t> data, PixelImage& image);
// Appends the PNG file of a non-empty image to `out`.
bool EncodePng(const PixelImage& image, ByteWriter& out);

}  // namespace reelmill
