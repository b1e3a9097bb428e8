// Damaged input: every truncated prefix and a few hundred bit-flipped copies
// of valid GIFs go through LoadMemory. Each either decodes into well-formed
// frames or is refused with nothing appended; the sanitizer build checks
// that nothing is read outside the buffers.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "imaging/codecs/gif_codec.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "tests/gif/gif_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

using testing::Pattern;
using testing::Ramp;
using testing::TestGif;
using testing::TestImage;

std::vector<std::uint8_t> SingleImage() {
  TestGif gif{13, 9, Ramp(16, 4), 2, {}};
  TestImage image;
  image.rect = {1, 1, 11, 7};
  image.indices = Pattern(11, 7, 16, 1);
  image.control = true;
  image.transparent = 3;
  gif.images.push_back(image);
  return testing::EncodeGif(gif);
}

std::vector<std::uint8_t> InterlacedSingleImage() {
  TestGif gif{10, 17, Ramp(8, 9), 0, {}};
  TestImage image;
  image.rect = {0, 0, 10, 17};
  image.indices = Pattern(10, 17, 8, 2);
  image.interlaced = true;
  gif.images.push_back(image);
  return testing::EncodeGif(gif);
}

std::vector<std::uint8_t> Animation() {
  TestGif gif{12, 12, Ramp(4, 1), 0, {}};
  for (int i = 0; i < 4; ++i) {
    TestImage image;
    image.rect = {i, i, 12 - 2 * i, 12 - i};  // the last frames reach past the screen
    image.indices = Pattern(image.rect.width, image.rect.height, i == 2 ? 32 : 4, 10 + std::uint32_t(i));
    image.interlaced = i % 2 == 1;
    if (i == 2) image.localColors = Ramp(32, 77);
    image.control = true;
    image.disposal = i;
    image.delay = 3 * i;
    image.transparent = i == 0 ? -1 : 1;
    gif.images.push_back(image);
  }
  return testing::EncodeGif(gif);
}

// Decodes `bytes` and checks the outcome is coherent: refused with nothing
// appended, or frames of one size with a delay for each.
void DecodeCoherently(const std::vector<std::uint8_t>& bytes, const std::string& what) {
  ImageList frames;
  std::unique_ptr<ImageProperties> properties;
  GifCodec codec;
  if (!codec.LoadMemory(bytes, frames, properties)) {
    ASSERT_EQ(frames.Count(), 0u) << what;
    ASSERT_EQ(properties, nullptr) << what;
    return;
  }
  ASSERT_GT(frames.Count(), 0u) << what;
  ASSERT_NE(properties, nullptr) << what;
  ASSERT_EQ(properties->Get(FrameDelaysKey).size(), 16 * frames.Count()) << what;
  const int bits = frames.Count() == 1 ? 8 : 32;
  for (std::size_t i = 0; i < frames.Count(); ++i) {
    ASSERT_EQ(frames.At(i).BitCount(), bits) << what;
    ASSERT_EQ(frames.At(i).Width(), frames.At(0).Width()) << what;
    ASSERT_EQ(frames.At(i).Height(), frames.At(0).Height()) << what;
  }
}

struct Sample {
  const char* name;
  std::vector<std::uint8_t> bytes;
  std::size_t framesWhole;
};

std::vector<Sample> Samples() {
  std::vector<Sample> samples{
      {"single", SingleImage(), 1}, {"interlaced", InterlacedSingleImage(), 1}, {"animation", Animation(), 4}};
  // A GIF from another encoder, when gdk-pixbuf-tests is installed.
  const std::string foreign = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/randomly-modified/valid.1.gif";
  if (std::filesystem::exists(foreign)) samples.push_back({"valid.1", testing::ReadAll(foreign), 1});
  return samples;
}

TEST(GifRobustness, EveryTruncatedPrefixIsRefusedOrKeepsWholeFrames) {
  for (const Sample& sample : Samples()) {
    ImageList whole;
    std::unique_ptr<ImageProperties> properties;
    GifCodec codec;
    ASSERT_TRUE(codec.LoadMemory(sample.bytes, whole, properties));
    ASSERT_EQ(whole.Count(), sample.framesWhole) << sample.name;
    std::size_t lastFrames = 0;
    for (std::size_t length = 0; length < sample.bytes.size(); ++length) {
      // A private copy of exactly `length` bytes, so the sanitizer sees any
      // read past its end.
      const std::vector<std::uint8_t> prefix(sample.bytes.begin(), sample.bytes.begin() + std::ptrdiff_t(length));
      const std::string what = std::string(sample.name) + " cut at " + std::to_string(length);
      DecodeCoherently(prefix, what);
      ImageList frames;
      std::unique_ptr<ImageProperties> ignored;
      GifCodec again;
      const std::size_t count = again.LoadMemory(prefix, frames, ignored) ? frames.Count() : 0;
      // Frames only ever appear as more of the file arrives.
      ASSERT_GE(count, lastFrames) << what;
      ASSERT_LE(count, sample.framesWhole) << what;
      lastFrames = count;
    }
  }
}

TEST(GifRobustness, BitFlippedCopiesDecodeCoherently) {
  std::uint32_t state = 12345;
  const auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  int decoded = 0, refused = 0;
  for (const Sample& sample : Samples()) {
    for (int copy = 0; copy < 150; ++copy) {
      std::vector<std::uint8_t> bytes = sample.bytes;
      const int flips = 1 + int(next() % 4);
      for (int f = 0; f < flips; ++f) {
        // Half the flips land in the headers, where sizes and flags live.
        const std::size_t span = (f % 2 == 0) ? std::min<std::size_t>(bytes.size(), 64) : bytes.size();
        bytes[next() % span] ^= static_cast<std::uint8_t>(1u << (next() % 8));
      }
      DecodeCoherently(bytes, std::string(sample.name) + " copy " + std::to_string(copy));
      ImageList frames;
      std::unique_ptr<ImageProperties> ignored;
      GifCodec codec;
      (codec.LoadMemory(bytes, frames, ignored) ? decoded : refused) += 1;
    }
  }
  // Both outcomes occur, so the copies exercise the decoder and its refusals.
  EXPECT_GT(decoded, 0);
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace reelmill
