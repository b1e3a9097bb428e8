// The GIF decoder, differential: Decode, DecodeEach and GifFrameCursor
// deliver the same frames (size, depth, palette, pixels) and delays, and
// Measure counts them, or all refuse; a sink that stops DecodeEach makes it
// fail after exactly the frames it took. The reader's rows and errors are the
// same with our LZW loop as with giflib alone.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/codecs/gif_reader.h"

namespace reelmill::fuzz {
namespace {

constexpr std::uint64_t kMaxPixelWork = 1u << 24;

bool SameImage(const PixelImage& a, const PixelImage& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) return false;
  if (a.BufferSize() != b.BufferSize() || std::memcmp(a.Bits(), b.Bits(), a.BufferSize()) != 0) return false;
  return std::equal(a.Palette().begin(), a.Palette().end(), b.Palette().begin(), b.Palette().end());
}

// Every image's rows, then the error that ended the walk.
std::vector<std::uint8_t> ReadAll(std::span<const std::uint8_t> data, GifPixelDecoding decoding) {
  GifReader reader(data, decoding);
  std::vector<std::uint8_t> out;
  GifImageHeader image;
  if (reader.Open()) {
    while (reader.NextImage(image)) {
      std::vector<std::uint8_t> row(static_cast<std::size_t>(std::max(image.rect.width, 0)));
      for (int y = 0; y < (image.rect.Empty() ? 0 : image.rect.height); ++y) {
        if (!reader.ReadRow(row)) break;
        out.insert(out.end(), row.begin(), row.end());
      }
      out.push_back(0xA5);
    }
  }
  out.push_back(static_cast<std::uint8_t>(reader.Error()));
  return out;
}

}  // namespace
}  // namespace reelmill::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace reelmill;
  using namespace reelmill::fuzz;
  const std::span<const std::uint8_t> data(bytes, size);
  if (GifPixelWork(data) > kMaxPixelWork) return -1;

  Require(ReadAll(data, GifPixelDecoding::Fast) == ReadAll(data, GifPixelDecoding::LibraryOnly),
          "our LZW loop gives giflib's rows and errors");

  GifDecoder decoder(GifCodec::kMaxDecodedBytes);
  GifDecoder::Result kept;
  const bool decoded = decoder.Decode(data, kept);
  Require(decoded || (kept.frames.empty() && kept.delaysCentiseconds.empty()), "a refusal keeps nothing");
  Require(kept.frames.size() == kept.delaysCentiseconds.size(), "one delay per frame");
  if (decoded) {
    Require(!kept.frames.empty(), "a decode keeps a frame");
    const int depth = kept.frames.size() == 1 ? 8 : 32;
    for (const auto& frame : kept.frames)
      Require(frame && frame->BitCount() == depth && frame->Width() == kept.frames[0]->Width() &&
                  frame->Height() == kept.frames[0]->Height(),
              "a still is 8-bit, an animation 32-bit frames of one size");
  }

  std::size_t delivered = 0;
  bool same = true;
  const bool each = decoder.DecodeEach(data, [&](const PixelImage& frame, int delay) {
    if (delivered < kept.frames.size())
      same = same && SameImage(frame, *kept.frames[delivered]) && delay == kept.delaysCentiseconds[delivered];
    ++delivered;
    return true;
  });
  Require(each == decoded, "DecodeEach refuses what Decode refuses");
  if (decoded) Require(same && delivered == kept.frames.size(), "DecodeEach delivers Decode's frames and delays");

  GifFrameCursor cursor(data, GifCodec::kMaxDecodedBytes);
  std::size_t pulled = 0;
  int delay = -1;
  while (const PixelImage* frame = cursor.Next(&delay)) {
    Require(pulled < kept.frames.size() && SameImage(*frame, *kept.frames[pulled]) &&
                delay == kept.delaysCentiseconds[pulled],
            "the cursor hands out Decode's frames and delays");
    ++pulled;
  }
  Require(pulled == kept.frames.size() && cursor.Finished() && cursor.Refused() == !decoded &&
              cursor.Delivered() == static_cast<int>(pulled),
          "the cursor ends where Decode ends, refusing what it refuses");

  GifDecoder::Measurement measured;
  const bool measuredOk = decoder.Measure(data, measured);
  Require(measuredOk == decoded, "Measure refuses what Decode refuses");
  if (decoded)
    Require(measured.frames == static_cast<int>(kept.frames.size()) && measured.width == kept.frames[0]->Width() &&
                measured.height == kept.frames[0]->Height(),
            "Measure counts Decode's frames and their size");

  if (decoded) {
    // A sink that stops ends the decode with a failure, after its frame.
    const std::size_t stopAt = kept.frames.size() / 2;
    std::size_t taken = 0;
    const bool stopped = decoder.DecodeEach(data, [&](const PixelImage&, int) { return taken++ != stopAt; });
    Require(!stopped && taken == stopAt + 1, "a sink that stops ends the decode");
  }
  return 0;
}
