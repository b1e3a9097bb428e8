#pragma once
// JPEG files over TurboJPEG: decoded to 24 bits (greyscale to 8 bits with the
// grey palette); encoded as baseline JFIF with 4:2:0 chroma subsampling.

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/image_codec.h"

namespace reelmill {

// Compresses frames one after the other, keeping the compressor and the
// output buffer between them. 24- and 32-bit images are compressed straight
// from their rows; other depths go through one BGR copy.
class JpegEncoder {
 public:
  JpegEncoder();
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  // The JPEG file of `image` at `quality` (clamped to 1..100). The bytes stay
  // valid until the next call; empty on failure or for an empty image.
  std::span<const std::uint8_t> Encode(const PixelImage& image, int quality);

  // Bytes an encoder holds to encode a frame of this shape: the output buffer
  // and, for depths other than 24 and 32 bits, the BGR copy.
  static std::uint64_t WorkingBytes(int width, int height, int bitCount);

 private:
  void* handle_ = nullptr;
  unsigned char* buffer_ = nullptr;
  unsigned long capacity_ = 0;
  std::vector<std::uint8_t> bgr_;
};

class JpegCodec final : public ImageCodec {
 public:
  bool LoadMemory(std::span<const std::uint8_t> data, ImageList& out,
                  std::unique_ptr<ImageProperties>& outProperties) override;
  // Quality from JpegQualityFrom(properties). A codec kept for several saves
  // keeps its compressor and buffer.
  bool SaveFile(const std::string& path, std::span<const PixelImage* const> images,
                const ImageProperties& properties) override;

 private:
  JpegEncoder encoder_;
};

}  // namespace reelmill
