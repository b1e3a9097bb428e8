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
#include "imaging/problem.h"

namespace reelmill {

class GifDecoder final {
 public:
  struct Result {
    std::vector<std::unique_ptr<PixelImage>> frames;
    std::vector<int> delaysCentiseconds;  // one per frame; 0 without a graphic control
  };

  explicit GifDecoder(std::uint64_t maxDecodedBytes) : maxDecodedBytes_(maxDecodedBytes) {}

  // Why the last call refused the file, or what ended its frames early (the
  // frames before stay); no problem when every frame came out.
  const Problem& Ending() const { return ending_; }

  // One image: one 8-bit frame of the screen with that image's palette, the
  // pixels around the image set to its transparent index, else to the
  // background index. Several images: each frame composited as 32-bit BGRA.
  // Damage after one or more complete images keeps those images (the damaged
  // one is dropped), and so does a later image of more than
  // PixelImage::kMaxPixels pixels. Refused (false, `result` empty): not a
  // GIF, no complete image, a screen or first image above the pixel limit, or
  // frames needing more than the memory limit together.
  bool Decode(std::span<const std::uint8_t> data, Result& result);

  // Called once per frame in order with the frames Decode would keep; the
  // image is valid only during the call (the canvas is reused). Returning
  // false stops the decode.
  using FrameSink = std::function<bool(const PixelImage& frame, int delayCentiseconds)>;
  // The same frames as Decode without keeping them, so memory stays at a few
  // frames whatever the length of the animation. Frame 0 is delivered once
  // the second image has decoded (or proved absent or damaged). False when
  // Decode would refuse the file (before any frame) or the sink stopped.
  bool DecodeEach(std::span<const std::uint8_t> data, const FrameSink& sink);

  // Bytes of the canvases a decode of a screen of this size works on (the
  // first image's picture and, for an animation, two composited canvases),
  // and of an image's decoded indices; DecodeEach holds no more than this.
  static std::uint64_t WorkingBytes(int width, int height);
  // Bytes that keeping a copy of `frame` takes, counted against the limit.
  static std::uint64_t KeptFrameBytes(const PixelImage& frame);

  // How many frames Decode would give and the size of the first, learned
  // without keeping any frame: the same refusals, the same memory limit.
  struct Measurement {
    int frames = 0;
    int width = 0;
    int height = 0;
  };
  bool Measure(std::span<const std::uint8_t> data, Measurement& measurement);

  // Bytes of working canvases and kept frames, counted against the limit.
  class FrameBudget {
   public:
    explicit FrameBudget(std::uint64_t limit) : limit_(limit) {}
    // False (and nothing taken) when `bytes` more would pass the limit; the
    // refusal is remembered for Refusal().
    bool Take(std::uint64_t bytes) {
      if (bytes > limit_ - used_) {
        refused_ = used_ + bytes;
        return false;
      }
      used_ += bytes;
      return true;
    }
    // OverMemory with the figures of the last refusal.
    Problem Refusal() const;

   private:
    std::uint64_t limit_;
    std::uint64_t used_ = 0;
    std::uint64_t refused_ = 0;
  };

 private:
  std::uint64_t maxDecodedBytes_;
  Problem ending_;
};

// Hands out the frames DecodeEach delivers one at a time, each decoded when
// it is asked for: for callers that pace the decode themselves (a progress
// dialog, a pipeline). Once a frame has come out the file is no longer
// refused; damage or an image above the pixel limit ends the frames there.
class GifFrameCursor {
 public:
  // `data` must outlive the cursor.
  GifFrameCursor(std::span<const std::uint8_t> data, std::uint64_t maxDecodedBytes);
  ~GifFrameCursor();
  GifFrameCursor(const GifFrameCursor&) = delete;
  GifFrameCursor& operator=(const GifFrameCursor&) = delete;

  // The next frame, valid until the next call, with its delay in hundredths
  // of a second (0 without a graphic control); null after the last one.
  const PixelImage* Next(int* delayCentiseconds = nullptr);
  // True when the file is refused as Decode refuses it (no frame came out).
  bool Refused() const { return phase_ == Phase::Refused; }
  // Once finished: why the file was refused, or what ended its frames early;
  // no problem when the file ended as it should.
  const Problem& Ending() const { return ending_; }
  bool Finished() const { return phase_ == Phase::Done || phase_ == Phase::Refused; }
  int Delivered() const { return delivered_; }
  // The canvases' budget, which the caller may charge for kept copies.
  GifDecoder::FrameBudget& Budget() { return budget_; }

 private:
  enum class Phase { Start, Animating, CanvasDue, Done, Refused };
  struct State;

  const PixelImage* Begin(int* delay);
  const PixelImage* DrawCurrent(int* delay);
  const PixelImage* Still(int* delay, Problem ending);
  const PixelImage* Deliver(const PixelImage* frame, int delay, int* delayOut);
  const PixelImage* Finish(Problem ending = {});
  const PixelImage* Refuse(Problem why);

  GifDecoder::FrameBudget budget_;
  std::unique_ptr<State> state_;
  std::unique_ptr<PixelImage> still_;
  Phase phase_ = Phase::Start;
  int delivered_ = 0;
  Problem ending_;
};

}  // namespace reelmill
