// The GIF block walker and the frame table. The walk must cut every frame
// into a stand-alone GIF that walks back to itself; the checking load must
// give the decoding load's table; and wherever DescribedTableHolds vouches
// for the describing load (given the images a full decode gives), the
// described table must be the decoded one, entry for entry.

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/frame_timing.h"
#include "fuzz/fuzz_support.h"
#include "imaging/codecs/animated_gif_control.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"

namespace reelmill::fuzz {
namespace {

constexpr std::uint64_t kMaxPixelWork = 1u << 23;

bool SameEntry(const GifFrameRecord& a, const GifFrameRecord& b) {
  return a.width == b.width && a.height == b.height && a.left == b.left && a.top == b.top && a.delay == b.delay &&
         a.disposal == b.disposal;
}

bool SameTable(const AnimatedGifControl& a, const AnimatedGifControl& b) {
  if (a.TableSize() != b.TableSize() || a.FrameCount() != b.FrameCount()) return false;
  for (int i = 0; i < a.TableSize(); ++i)
    if (!SameEntry(a.Frame(i), b.Frame(i))) return false;
  return true;
}

void CheckWalk(std::span<const std::uint8_t> data) {
  GifBlockWalker walker(data);
  const int blocks = walker.CountGraphicBlocks();
  walker.Rewind();
  int frames = 0;
  while (const auto frame = walker.AssembleFrame()) {
    ++frames;
    Require(frame->image.size() >= 14 && frame->image.back() == 0x3B, "a cut frame is a GIF ending in a trailer");
    GifBlockWalker alone(frame->image);
    Require(alone.Valid() && alone.CountGraphicBlocks() == 1, "a cut frame holds one graphic block");
    alone.Rewind();
    const auto again = alone.AssembleFrame();
    Require(again && again->image == frame->image && again->width == frame->width && again->height == frame->height &&
                again->left == frame->left && again->top == frame->top && again->delay == frame->delay &&
                again->disposal == frame->disposal && again->hasImage == frame->hasImage,
            "a cut frame cuts back to itself");
    Require(!alone.AssembleFrame(), "nothing follows a cut frame");
  }
  Require(frames == blocks, "the walk cuts as many frames as it counts graphic blocks");
}

}  // namespace
}  // namespace reelmill::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace reelmill;
  using namespace reelmill::fuzz;
  const std::span<const std::uint8_t> data(bytes, size);
  if (GifPixelWork(data) > kMaxPixelWork) return -1;
  CheckWalk(data);

  AnimatedGifControl decoded, described, checked, firstTwo;
  const bool decodedOk = decoded.LoadPictureData(data, FramePictures::Decode);
  const bool describedOk = described.LoadPictureData(data, FramePictures::Describe);
  const bool checkedOk = checked.LoadPictureData(data, FramePictures::Check);
  firstTwo.LoadPictureData(data, FramePictures::Check, 2);

  Require(decoded.IsGif() == described.IsGif() && decoded.IsGif() == checked.IsGif(), "every load sees a GIF alike");
  Require(decoded.GraphicBlocks() == described.GraphicBlocks() && decoded.GraphicBlocks() == checked.GraphicBlocks(),
          "every load counts the same graphic blocks");
  // A still is not decoded by the loads that keep no picture: their answers
  // agree on tables only.
  Require((checkedOk == decodedOk || decoded.GraphicBlocks() <= 1) &&
              checked.FramesLeftOut() == decoded.FramesLeftOut() && SameTable(checked, decoded),
          "the checking load gives the decoding load's table");
  for (int i = 0; i < decoded.TableSize(); ++i)
    Require(decoded.Frame(i).picture != nullptr, "the decoding load keeps every picture of its table");
  Require(firstTwo.TableSize() == std::min(2, checked.TableSize()), "a table cut at two entries holds two");
  for (int i = 0; i < firstTwo.TableSize(); ++i)
    Require(SameEntry(firstTwo.Frame(i), checked.Frame(i)), "a cut table is the start of the whole");

  // The images a full decode gives, as the frame recorder counts them.
  GifDecoder::Result full;
  const int imagesDecoded =
      GifDecoder(GifCodec::kMaxDecodedBytes).Decode(data, full) ? static_cast<int>(full.frames.size()) : 0;
  if (decoded.IsGif() && DescribedTableHolds(described, imagesDecoded)) {
    Require(describedOk == decodedOk || decoded.GraphicBlocks() <= 1, "a table that holds loads as the decoded one");
    Require(SameTable(described, decoded), "a table that holds is the decoded table");
  }
  return 0;
}
