// Damaged input: every truncated prefix and a few hundred bit-flipped copies
// of valid GIFs go through LoadMemory. Each is refused with nothing appended
// or decodes into well-formed frames, and Measure tells the same count and
// size without keeping frames; the sanitizer build checks that nothing is
// read outside the buffers.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "tests/gif/gif_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using testing::Pattern;
using testing::Ramp;
using testing::TestImage;

struct Sample {
  std::string name;
  std::vector<std::uint8_t> bytes;
  std::size_t frames;
};

std::vector<Sample> Samples() {
  TestImage single{{1, 1, 11, 7}, Pattern(11, 7, 16, 1), {}, false, true, 0, 0, 3};
  TestImage interlaced{{0, 0, 10, 17}, Pattern(10, 17, 8, 2), {}, true};
  testing::TestGif animation{12, 12, Ramp(4, 1), 0, {}};
  for (int i = 0; i < 4; ++i) {
    // Every disposal, interlacing, a local table, frames reaching past the screen.
    const GifRect rect{i, i, 12 - 2 * i, 12 - i};
    TestImage image{rect,  Pattern(rect.width, rect.height, i == 2 ? 32 : 4, 10 + std::uint32_t(i)),
                    {},    i % 2 == 1,
                    true,  i,
                    3 * i, i == 0 ? -1 : 1};
    if (i == 2) image.localColors = Ramp(32, 77);
    animation.images.push_back(image);
  }
  std::vector<Sample> samples{{"single", testing::EncodeGif({13, 9, Ramp(16, 4), 2, {single}}), 1},
                              {"interlaced", testing::EncodeGif({10, 17, Ramp(8, 9), 0, {interlaced}}), 1},
                              {"animation", testing::EncodeGif(animation), 4}};
  // A GIF from another encoder, when gdk-pixbuf-tests is installed.
  const std::string foreign = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/randomly-modified/valid.1.gif";
  if (std::filesystem::exists(foreign)) samples.push_back({"valid.1", testing::ReadAll(foreign), 1});
  return samples;
}

// Decodes a private copy of `bytes` (so the sanitizer sees any read past its
// end) and checks the outcome is coherent; returns the frame count, 0 when
// refused.
// The decoder's frame count and first frame size, as Measure gives them.
void ExpectMeasureAgrees(const std::vector<std::uint8_t>& bytes, const ImageList& frames, std::uint64_t limit,
                         const std::string& what) {
  GifDecoder::Measurement measured;
  const bool ok = GifDecoder(limit).Measure(bytes, measured);
  EXPECT_EQ(ok, !frames.Empty()) << what;
  EXPECT_EQ(measured.frames, static_cast<int>(frames.Count())) << what;
  EXPECT_EQ(measured.width, frames.Empty() ? 0 : frames.At(0).Width()) << what;
  EXPECT_EQ(measured.height, frames.Empty() ? 0 : frames.At(0).Height()) << what;
}

std::size_t DecodeCoherently(std::vector<std::uint8_t> bytes, const std::string& what) {
  ImageList frames;
  std::unique_ptr<ImageProperties> properties;
  const bool loaded = GifCodec().LoadMemory(bytes, frames, properties);
  ExpectMeasureAgrees(bytes, frames, GifCodec::kMaxDecodedBytes, what);
  if (!loaded) {
    EXPECT_EQ(frames.Count(), 0u) << what;
    EXPECT_EQ(properties, nullptr) << what;
    return 0;
  }
  EXPECT_GT(frames.Count(), 0u) << what;
  EXPECT_TRUE(properties && properties->Get(FrameDelaysKey).size() == 16 * frames.Count()) << what;
  for (std::size_t i = 0; i < frames.Count(); ++i) {
    EXPECT_EQ(frames.At(i).BitCount(), frames.Count() == 1 ? 8 : 32) << what;
    EXPECT_EQ(frames.At(i).Width(), frames.At(0).Width()) << what;
    EXPECT_EQ(frames.At(i).Height(), frames.At(0).Height()) << what;
  }
  return frames.Count();
}

TEST(GifRobustness, EveryTruncatedPrefixIsRefusedOrKeepsWholeFrames) {
  for (const Sample& sample : Samples()) {
    ASSERT_EQ(DecodeCoherently(sample.bytes, sample.name), sample.frames);
    std::size_t last = 0;
    for (std::size_t length = 0; length < sample.bytes.size(); ++length) {
      const std::string what = sample.name + " cut at " + std::to_string(length);
      const std::size_t count =
          DecodeCoherently({sample.bytes.begin(), sample.bytes.begin() + std::ptrdiff_t(length)}, what);
      ASSERT_GE(count, last) << what << ": frames only appear as more of the file arrives";
      ASSERT_LE(count, sample.frames) << what;
      last = count;
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST(GifRobustness, BitFlippedCopiesDecodeCoherently) {
  std::uint32_t state = 12345;
  const auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
  int decoded = 0, refused = 0;
  for (const Sample& sample : Samples()) {
    for (int copy = 0; copy < 150; ++copy) {
      std::vector<std::uint8_t> bytes = sample.bytes;
      for (int flip = 1 + int(next() % 4); flip > 0; --flip) {
        // Half the flips land in the first 64 bytes, where sizes and flags live.
        const std::size_t span = flip % 2 == 0 ? std::min<std::size_t>(bytes.size(), 64) : bytes.size();
        bytes[next() % span] ^= static_cast<std::uint8_t>(1u << (next() % 8));
      }
      (DecodeCoherently(bytes, sample.name + " copy " + std::to_string(copy)) > 0 ? decoded : refused) += 1;
      if (::testing::Test::HasFailure()) return;
    }
  }
  EXPECT_GT(decoded, 0) << "the copies should exercise the decoder";
  EXPECT_GT(refused, 0) << "and its refusals";
}

TEST(GifRobustness, MeasureKeepsTheMemoryLimitOfDecode) {
  const Sample animation = Samples()[2];
  // 12 x 12: 8-bit picture 144 bytes, 32-bit canvases 576 bytes. Two
  // canvases and the picture leave room for 0 to 4 kept frames.
  PixelImage frame;
  ASSERT_TRUE(frame.Create(12, 12, 32));
  for (std::uint64_t frames = 0; frames <= 4; ++frames) {
    const std::uint64_t limit = 144 + 2 * 576 + frames * GifDecoder::KeptFrameBytes(frame);
    ImageList kept;
    std::unique_ptr<ImageProperties> properties;
    GifCodec(limit).LoadMemory(animation.bytes, kept, properties);
    EXPECT_EQ(kept.Count(), frames == 4 ? 4u : 0u) << "limit " << limit;
    ExpectMeasureAgrees(animation.bytes, kept, limit, "limit " + std::to_string(limit));
  }
}

}  // namespace
}  // namespace reelmill
