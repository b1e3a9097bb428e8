#pragma once
// Decodes a GIF held in memory into PixelImage frames, reading through
// GifReader and drawing through GifCompositor.
//
// Screen policy: the logical screen grows to hold the first image when that
// image reaches past its right or bottom edge (a screen of 0 x 0 thus becomes
// the first image's extent), as browsers do; later images are clipped to the
// screen. A file whose screen is still empty after that shows nothing and is
// refused.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "imaging/pixel_image.h"

namespace reelmill {

class GifDecoder final {
 public:
  struct Result {
    std::vector<std::unique_ptr<PixelImage>> frames;
    std::vector<int> delaysCentiseconds;  // one per frame; 0 without a graphic control
  };

  explicit GifDecoder(std::uint64_t maxDecodedBytes) : maxDecodedBytes_(maxDecodedBytes) {}

  // One image: one 8-bit frame of the screen with that image's palette, the
  // pixels around the image set to its transparent index, else to the
  // background index. Several images: each frame composited as 32-bit BGRA.
  // Damage after one or more complete images keeps those images (the damaged
  // one is dropped). Refused (false, `result` empty): not a GIF, no complete
  // image, a screen or image of more than PixelImage::kMaxPixels pixels, or
  // frames needing more than the memory limit together.
  bool Decode(std::span<const std::uint8_t> data, Result& result) const;

  // Called once per frame in order with the frames Decode would keep; the
  // image is valid only during the call (the canvas is reused). Returning
  // false stops the decode.
  using FrameSink = std::function<bool(const PixelImage& frame, int delayCentiseconds)>;
  // The same frames as Decode without keeping them, so memory stays at a few
  // frames whatever the length of the animation. Frame 0 is delivered once
  // the second image has decoded (or proved absent or damaged). False when
  // Decode would refuse the file or the sink stopped; frames delivered before
  // a refusal then do not count.
  bool DecodeEach(std::span<const std::uint8_t> data, const FrameSink& sink) const;

  // Bytes of the canvases a decode of a screen of this size works on (the
  // first image's picture and, for an animation, two composited canvases);
  // DecodeEach holds no more than this.
  static std::uint64_t WorkingBytes(int width, int height);

  // Bytes of working canvases and kept frames, counted against the limit.
  class FrameBudget;

 private:
  bool DecodeFrames(std::span<const std::uint8_t> data, FrameBudget& budget, const FrameSink& sink) const;

  std::uint64_t maxDecodedBytes_;
};

}  // namespace reelmill
