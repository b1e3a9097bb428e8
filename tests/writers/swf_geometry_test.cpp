#include "writers/swf/swf_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "imaging/bit_writer.h"
#include "tests/writers/swf_test_reader.h"

namespace reelmill {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::BitReader;
using testing::DecodeRect;

TEST(SwfTwips, PixelsBecomeTwipsTruncatedTowardZero) {
  EXPECT_EQ(ToTwips(320), 6400);
  EXPECT_EQ(ToTwips(0.07f), 1);    // 1.4 twips
  EXPECT_EQ(ToTwips(-0.07f), -1);  // not -2
  EXPECT_EQ(ToTwips(-10), -200);
  EXPECT_EQ(ToTwips(1e30f), kMaxTwips);
  EXPECT_EQ(ToTwips(-1e30f), -kMaxTwips);
  EXPECT_EQ(ToTwips(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(SwfRect, AFrameOf320By240EncodesIn14BitFields) {
  EXPECT_EQ(SwfRect(0, 0, 320, 240).Encode(), (Bytes{0x70, 0x00, 0x0C, 0x80, 0x00, 0x00, 0x96, 0x00}));
}

TEST(SwfRect, FieldOrderIsXMinXMaxYMinYMax) {
  const Bytes bytes = SwfRect(-10, -5, 10, 5).Encode();
  const auto rect = DecodeRect(bytes);
  EXPECT_EQ(rect.bits, 9);  // 2^8 > 200
  EXPECT_EQ(rect.xMin, -200);
  EXPECT_EQ(rect.xMax, 200);
  EXPECT_EQ(rect.yMin, -100);
  EXPECT_EQ(rect.yMax, 100);
  EXPECT_EQ(bytes.size(), 6u);  // 41 bits
}

TEST(SwfRect, SizesAt1638PixelsAndBeyondKeepTheirTwips) {
  {
    const Bytes bytes = SwfRect(0, 0, 1638, 1638).Encode();
    const auto rect = DecodeRect(bytes);
    EXPECT_EQ(rect.bits, 16);  // 2^15 = 32768 > 32760
    EXPECT_EQ(rect.xMax, 32760);
    EXPECT_EQ(rect.yMax, 32760);
    EXPECT_EQ(bytes.size(), 9u);
  }
  {
    const auto rect = DecodeRect(SwfRect(0, 0, 1639, 1500).Encode());
    EXPECT_EQ(rect.bits, 17);
    EXPECT_EQ(rect.xMax, 32780);  // past what 16 bits hold
    EXPECT_EQ(rect.yMax, 30000);
  }
  {
    const auto rect = DecodeRect(SwfRect(0, 0, 7680, 4320).Encode());
    EXPECT_EQ(rect.bits, 19);
    EXPECT_EQ(rect.xMax, 153600);
    EXPECT_EQ(rect.yMax, 86400);
  }
}

TEST(SwfRect, AbsurdSizesStillFitTheFiveBitWidth) {
  const auto rect = DecodeRect(SwfRect(-1e30f, 0, 1e30f, 0).Encode());
  EXPECT_EQ(rect.bits, 31);
  EXPECT_EQ(rect.xMin, -kMaxTwips);
  EXPECT_EQ(rect.xMax, kMaxTwips);
}

TEST(SwfMatrix, IdentityIsOneZeroByte) { EXPECT_EQ(SwfMatrix().Encode(), (Bytes{0x00})); }

TEST(SwfMatrix, ScaleOf20UsesTwentyTwoBitFields) {
  SwfMatrix matrix;
  matrix.Set(20, 20, 0, 0, 0, 0);
  EXPECT_EQ(matrix.Encode(), (Bytes{0xD9, 0x40, 0x00, 0x05, 0x00, 0x00, 0x00}));
}

TEST(SwfMatrix, TranslationAloneIsInSignedTwips) {
  SwfMatrix matrix;
  matrix.Set(0, 0, 0, 0, 1, -1);
  // no scale, no rotate, width 6, then 20 and -20
  EXPECT_EQ(matrix.Encode(), (Bytes{0x0C, 0xA5, 0x80}));
}

struct DecodedMatrix {
  int scaleBits = 0, rotateBits = 0, translateBits = 0;
  std::int32_t scaleX = 0, scaleY = 0, skew0 = 0, skew1 = 0, translateX = 0, translateY = 0;
};

DecodedMatrix Decode(const Bytes& bytes) {
  BitReader reader(bytes);
  DecodedMatrix m;
  if (reader.Get(1)) {
    m.scaleBits = static_cast<int>(reader.Get(5));
    m.scaleX = reader.GetSigned(m.scaleBits);
    m.scaleY = reader.GetSigned(m.scaleBits);
  }
  if (reader.Get(1)) {
    m.rotateBits = static_cast<int>(reader.Get(5));
    m.skew0 = reader.GetSigned(m.rotateBits);
    m.skew1 = reader.GetSigned(m.rotateBits);
  }
  m.translateBits = static_cast<int>(reader.Get(5));
  m.translateX = reader.GetSigned(m.translateBits);
  m.translateY = reader.GetSigned(m.translateBits);
  EXPECT_EQ(reader.BytesUsed(), bytes.size());
  return m;
}

TEST(SwfMatrix, FactorWidthsFollowTheLargerWholePart) {
  SwfMatrix matrix;
  matrix.Set(1.5f, 0.5f, 0.25f, -0.75f, 0, 0);
  const DecodedMatrix m = Decode(matrix.Encode());
  EXPECT_EQ(m.scaleBits, 18);  // whole part 1: 17 + 1
  EXPECT_EQ(m.scaleX, 98304);
  EXPECT_EQ(m.scaleY, 32768);
  EXPECT_EQ(m.rotateBits, 17);  // whole part 0
  EXPECT_EQ(m.skew0, 16384);
  EXPECT_EQ(m.skew1, -49152);
  EXPECT_EQ(m.translateBits, 0);
}

TEST(SwfMatrix, NegativeFactorsGetRoomForTheirMagnitude) {
  SwfMatrix matrix;
  matrix.Set(-2, 1, 0, 0, 0, 0);
  const DecodedMatrix m = Decode(matrix.Encode());
  EXPECT_EQ(m.scaleBits, 19);
  EXPECT_EQ(m.scaleX, -131072);
  EXPECT_EQ(m.scaleY, 65536);
}

TEST(SwfMatrix, AnAllZeroPairKeepsWhatWasSetBefore) {
  SwfMatrix matrix;
  matrix.Set(20, 20, 0, 0, 0, 0);
  matrix.Set(0, 0, 0, 0, 5, 7.5f);
  const DecodedMatrix m = Decode(matrix.Encode());
  EXPECT_EQ(m.scaleBits, 22);
  EXPECT_EQ(m.scaleX, 20 << 16);
  EXPECT_EQ(m.rotateBits, 0);
  EXPECT_EQ(m.translateBits, 9);
  EXPECT_EQ(m.translateX, 100);
  EXPECT_EQ(m.translateY, 150);
}

TEST(SwfMatrix, HugeFactorsAreHeldWithinThirtyOneBits) {
  SwfMatrix matrix;
  matrix.Set(1e9f, -1e9f, 0, 0, 0, 0);
  const DecodedMatrix m = Decode(matrix.Encode());
  EXPECT_EQ(m.scaleBits, 31);
  EXPECT_EQ(m.scaleX, (1 << 30) - 1);
  EXPECT_EQ(m.scaleY, -((1 << 30) - 1));
}

}  // namespace
}  // namespace reelmill
