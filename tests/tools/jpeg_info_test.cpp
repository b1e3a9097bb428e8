#include "tools/jpeg_info.h"

#include <gtest/gtest.h>

#include "tests/tools/jpeg_fixture.h"

namespace reelmill {
namespace {

using Bytes = std::vector<std::uint8_t>;

// SOI, an Exif APP1, a DHT (0xC4 is no frame header), a fill byte before a
// progressive frame header of 1234 x 567, then a scan.
const Bytes kHandMade = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x08, 'E',  'x',  'i',  'f',  0,    0,    0xFF,
                         0xC4, 0x00, 0x05, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xC2, 0x00, 0x0B, 0x08, 0x02,
                         0x37, 0x04, 0xD2, 0x01, 0x01, 0x22, 0x00, 0xFF, 0xDA, 0x00, 0x02, 0xFF, 0xD9};

std::pair<int, int> SizeOf(const Bytes& jpeg) {
  const auto size = ReadJpegFrameSize(jpeg);
  return size ? std::pair(size->width, size->height) : std::pair(-1, -1);
}

TEST(JpegFrameSize, ComesFromTheFirstFrameHeader) {
  EXPECT_EQ(SizeOf(testing::MakeJpeg(320, 240, 1)), std::pair(320, 240));
  EXPECT_EQ(SizeOf(testing::MakeJpeg(17, 5, 2)), std::pair(17, 5));
  EXPECT_EQ(SizeOf(kHandMade), std::pair(1234, 567));
}

TEST(JpegFrameSize, CutOrDamagedFilesAreRefusedWithoutReadingPastTheEnd) {
  for (std::size_t n = 0; n < 29; ++n) {  // every prefix that ends before the width field does
    std::string why;
    EXPECT_FALSE(ReadJpegFrameSize(Bytes(kHandMade.begin(), kHandMade.begin() + std::ptrdiff_t(n)), &why)) << n;
    EXPECT_FALSE(why.empty()) << n;
  }
  EXPECT_EQ(SizeOf(Bytes(kHandMade.begin(), kHandMade.begin() + 29)), std::pair(1234, 567));
  const Bytes jpeg = testing::MakeJpeg(32, 16, 4);
  for (std::size_t i = 0; i < jpeg.size(); ++i) {
    Bytes copy = jpeg;
    copy[i] ^= 0x41;
    const auto size = ReadJpegFrameSize(copy);
    EXPECT_TRUE(!size || (size->width > 0 && size->height > 0)) << "flip at " << i;
  }
}

TEST(JpegFrameSize, MalformedFilesSayWhy) {
  const std::pair<Bytes, std::string> cases[] = {
      {{0x89, 'P', 'N', 'G'}, "not a JPEG file (no start-of-image marker)"},
      {{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02}, "no frame header before the image data"},
      {{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01}, "corrupt segment length"},
      {{0xFF, 0xD8, 0x12, 0x34}, "corrupt data between segments"},
      {{0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xF0, 0x00}, "the file ends before its frame header"},
      {{0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x00, 0x01, 0x00}, "the frame header gives no size"},
  };
  for (const auto& [bytes, reason] : cases) {
    std::string why;
    EXPECT_FALSE(ReadJpegFrameSize(bytes, &why));
    EXPECT_EQ(why, reason);
  }
}

TEST(JpegHead, RecognisesJpegAndJfifStarts) {
  const Bytes encoded = testing::MakeJpeg(8, 8, 1);
  EXPECT_TRUE(HasJpegStart(encoded) && HasJfifApp0(encoded));
  EXPECT_TRUE(HasJpegStart(kHandMade));
  EXPECT_FALSE(HasJfifApp0(kHandMade));
  EXPECT_FALSE(HasJfifApp0(Bytes(encoded.begin(), encoded.begin() + 10)));  // cut before the zero
  EXPECT_FALSE(HasJpegStart(Bytes{0xFF, 0xD8}));
  Bytes jfxx = encoded;
  jfxx[9] = 'X';
  EXPECT_FALSE(HasJfifApp0(jfxx));
}

}  // namespace
}  // namespace reelmill
