#include "tools/jpeg_info.h"

#include <gtest/gtest.h>

#include "tests/tools/jpeg_fixture.h"

namespace reelmill {
namespace {

using Bytes = std::vector<std::uint8_t>;

// SOI, an Exif-like APP1, a DHT (0xC4 is not a frame header), a progressive
// frame header of 1234 x 567, then a scan.
Bytes HandMadeJpeg() {
  Bytes b = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0};
  b.insert(b.end(), {0xFF, 0xC4, 0x00, 0x05, 0x00, 0x00, 0x00});
  b.insert(b.end(), {0xFF, 0xFF, 0xC2, 0x00, 0x0B, 0x08, 0x02, 0x37, 0x04, 0xD2, 0x01, 0x01, 0x22, 0x00});
  b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0xFF, 0xD9});
  return b;
}

TEST(JpegFrameSize, ReadsTheSizeFromAnEncodedFile) {
  const Bytes jpeg = testing::MakeJpeg(320, 240, 1);
  const auto size = ReadJpegFrameSize(jpeg);
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 320);
  EXPECT_EQ(size->height, 240);
  const auto odd = ReadJpegFrameSize(testing::MakeJpeg(17, 5, 2));
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->width, 17);
  EXPECT_EQ(odd->height, 5);
}

TEST(JpegFrameSize, SkipsOtherSegmentsAndFillBytes) {
  const auto size = ReadJpegFrameSize(HandMadeJpeg());
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 1234);
  EXPECT_EQ(size->height, 567);
}

TEST(JpegFrameSize, EveryTruncatedPrefixIsRefused) {
  const Bytes whole = HandMadeJpeg();
  const std::size_t frameHeaderEnd = 12 + 7 + 10;  // through the width field
  for (std::size_t n = 0; n < frameHeaderEnd; ++n) {
    const Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    std::string why;
    EXPECT_FALSE(ReadJpegFrameSize(prefix, &why)) << n << " bytes";
    EXPECT_FALSE(why.empty()) << n << " bytes";
  }
  const Bytes encoded = testing::MakeJpeg(64, 48, 3);
  std::size_t accepted = 0;
  for (std::size_t n = 0; n <= encoded.size(); ++n) {
    accepted += ReadJpegFrameSize(Bytes(encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(n))).has_value();
  }
  EXPECT_GT(accepted, 0u);
  EXPECT_LT(accepted, encoded.size());  // only prefixes that hold the frame header
}

TEST(JpegFrameSize, MalformedFilesSayWhy) {
  std::string why;
  EXPECT_FALSE(ReadJpegFrameSize(Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A}, &why));
  EXPECT_EQ(why, "not a JPEG file (no start-of-image marker)");

  EXPECT_FALSE(ReadJpegFrameSize(Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02}, &why));
  EXPECT_EQ(why, "no frame header before the image data");

  EXPECT_FALSE(ReadJpegFrameSize(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01}, &why));
  EXPECT_EQ(why, "corrupt segment length");

  EXPECT_FALSE(ReadJpegFrameSize(Bytes{0xFF, 0xD8, 0x12, 0x34}, &why));
  EXPECT_EQ(why, "corrupt data between segments");

  // A segment claiming more bytes than the file has.
  EXPECT_FALSE(ReadJpegFrameSize(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xF0, 0x00}, &why));
  EXPECT_EQ(why, "the file ends before its frame header");

  // Height 0 defers the size to a DNL marker.
  EXPECT_FALSE(ReadJpegFrameSize(Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x00, 0x01, 0x00}, &why));
  EXPECT_EQ(why, "the frame header gives no size");
}

TEST(JpegFrameSize, BitFlippedFilesNeverReadOutOfBounds) {
  const Bytes jpeg = testing::MakeJpeg(32, 16, 4);
  for (std::size_t i = 0; i < std::min<std::size_t>(jpeg.size(), 700); ++i) {
    for (int bit : {0, 3, 7}) {
      Bytes copy = jpeg;
      copy[i] ^= static_cast<std::uint8_t>(1 << bit);
      const auto size = ReadJpegFrameSize(copy);
      if (size) {
        EXPECT_GT(size->width, 0);
        EXPECT_GT(size->height, 0);
      }
    }
  }
}

TEST(JpegHead, RecognisesJpegAndJfifStarts) {
  const Bytes encoded = testing::MakeJpeg(8, 8, 1);
  EXPECT_TRUE(HasJpegStart(encoded));
  EXPECT_TRUE(HasJfifApp0(encoded));
  const Bytes exif = HandMadeJpeg();
  EXPECT_TRUE(HasJpegStart(exif));
  EXPECT_FALSE(HasJfifApp0(exif));
  EXPECT_FALSE(HasJfifApp0(Bytes(encoded.begin(), encoded.begin() + 10)));  // cut before the zero
  EXPECT_FALSE(HasJpegStart(Bytes{0xFF, 0xD8}));
  EXPECT_FALSE(HasJpegStart(Bytes{'G', 'I', 'F', '8', '9', 'a'}));
  Bytes jfxx = encoded;
  jfxx[9] = 'X';
  EXPECT_FALSE(HasJfifApp0(jfxx));
}

}  // namespace
}  // namespace reelmill
