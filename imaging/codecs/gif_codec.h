#pragma once
// GIF decoding and encoding over giflib.
//
// Loading: a GIF with one image gives one 8-bit frame of the logical screen
// with the image's palette; a GIF with several images gives every frame
// composited on the screen as 32-bit BGRA with alpha. FrameDelaysKey holds the
// frame delays. Saving writes the first image; true-colour images get an
// exact palette when they hold at most 256 colours, else a quantised one.

#include <cstdint>

#include "imaging/image_codec.h"

namespace reelmill {

class GifCodec final : public ImageCodec {
 public:
  // The frames of one file may not take more memory than this together, so a
  // file of thousands of large frames is refused instead of exhausting memory.
  static constexpr std::uint64_t kMaxDecodedBytes = std::uint64_t{2} << 30;

  explicit GifCodec(std::uint64_t maxDecodedBytes = kMaxDecodedBytes) : maxDecodedBytes_(maxDecodedBytes) {}

  bool LoadMemory(std::span<const std::uint8_t> data, ImageList& out,
                  std::unique_ptr<ImageProperties>& outProperties) override;
  bool SaveFile(const std::string& path, std::span<const PixelImage* const> images,
                const ImageProperties& properties) override;

 private:
  std::uint64_t maxDecodedBytes_;
};

}  // namespace reelmill
