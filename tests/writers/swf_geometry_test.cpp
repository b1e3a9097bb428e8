#include "writers/swf/swf_geometry.h"

#include <gtest/gtest.h>

#include <limits>

#include "tests/writers/swf_test_reader.h"

namespace reelmill {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::DecodeRect;

TEST(SwfTwips, PixelsBecomeTwipsTruncatedTowardZeroAndBounded) {
  EXPECT_EQ(ToTwips(320), 6400);
  EXPECT_EQ(ToTwips(0.07f), 1);    // 1.4 twips
  EXPECT_EQ(ToTwips(-0.07f), -1);  // not -2
  EXPECT_EQ(ToTwips(1e30f), kMaxTwips);
  EXPECT_EQ(ToTwips(-1e30f), -kMaxTwips);
  EXPECT_EQ(ToTwips(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(SwfRect, EncodesWidthThenXMinXMaxYMinYMax) {
  EXPECT_EQ(SwfRect(0, 0, 320, 240).Encode(), (Bytes{0x70, 0x00, 0x0C, 0x80, 0x00, 0x00, 0x96, 0x00}));
  const auto r = DecodeRect(SwfRect(-10, -5, 10, 5).Encode());
  EXPECT_EQ((std::vector<std::int32_t>{r.bits, r.xMin, r.xMax, r.yMin, r.yMax}),
            (std::vector<std::int32_t>{9, -200, 200, -100, 100}));
  EXPECT_EQ(r.bytes, 6u);  // 41 bits
}

TEST(SwfRect, LargeFramesKeepTheirTwips) {
  const auto at1638 = DecodeRect(SwfRect(0, 0, 1638, 1638).Encode());
  EXPECT_EQ(at1638.bits, 16);  // 2^15 = 32768 > 32760
  EXPECT_EQ(at1638.xMax, 32760);
  const auto at1639 = DecodeRect(SwfRect(0, 0, 1639, 4320).Encode());
  EXPECT_EQ(at1639.bits, 18);
  EXPECT_EQ(at1639.xMax, 32780);  // past what 16 bits hold
  EXPECT_EQ(at1639.yMax, 86400);
  const auto absurd = DecodeRect(SwfRect(-1e30f, 0, 1e30f, 0).Encode());
  EXPECT_EQ(absurd.bits, 31);  // still fits the 5-bit width
  EXPECT_EQ(absurd.xMin, -kMaxTwips);
}

struct DecodedMatrix {
  int scaleBits = 0, rotateBits = 0, translateBits = 0;
  std::int32_t sx = 0, sy = 0, r0 = 0, r1 = 0, tx = 0, ty = 0;
};

DecodedMatrix Decode(const SwfMatrix& matrix) {
  const Bytes bytes = matrix.Encode();
  testing::BitReader r(bytes, 0);
  DecodedMatrix m;
  const auto pair = [&](int& bits, std::int32_t& a, std::int32_t& b) {
    bits = static_cast<int>(r.Get(5));
    a = r.GetSigned(bits);
    b = r.GetSigned(bits);
  };
  if (r.Get(1)) pair(m.scaleBits, m.sx, m.sy);
  if (r.Get(1)) pair(m.rotateBits, m.r0, m.r1);
  pair(m.translateBits, m.tx, m.ty);
  EXPECT_EQ(r.BytesUsed(), bytes.size());
  return m;
}

TEST(SwfMatrix, KnownEncodings) {
  EXPECT_EQ(SwfMatrix().Encode(), (Bytes{0x00}));  // identity
  SwfMatrix scale;
  scale.Set(20, 20, 0, 0, 0, 0);
  EXPECT_EQ(scale.Encode(), (Bytes{0xD9, 0x40, 0x00, 0x05, 0x00, 0x00, 0x00}));
  SwfMatrix move;
  move.Set(0, 0, 0, 0, 1, -1);  // width 6, then 20 and -20 twips
  EXPECT_EQ(move.Encode(), (Bytes{0x0C, 0xA5, 0x80}));
}

TEST(SwfMatrix, FactorWidthsFollowTheLargerWholePart) {
  SwfMatrix matrix;
  matrix.Set(1.5f, 0.5f, 0.25f, -0.75f, 0, 0);
  DecodedMatrix m = Decode(matrix);
  EXPECT_EQ((std::vector<std::int32_t>{m.scaleBits, m.sx, m.sy, m.rotateBits, m.r0, m.r1, m.translateBits}),
            (std::vector<std::int32_t>{18, 98304, 32768, 17, 16384, -49152, 0}));
  matrix.Set(-2, 1, 0, 0, 0, 0);  // a negative factor gets room for its magnitude
  m = Decode(matrix);
  EXPECT_EQ((std::vector<std::int32_t>{m.scaleBits, m.sx, m.sy}), (std::vector<std::int32_t>{19, -131072, 65536}));
  matrix.Set(1e9f, -1e9f, 0, 0, 0, 0);  // held within 31 bits
  m = Decode(matrix);
  EXPECT_EQ((std::vector<std::int32_t>{m.scaleBits, m.sx, m.sy}),
            (std::vector<std::int32_t>{31, (1 << 30) - 1, -((1 << 30) - 1)}));
}

TEST(SwfMatrix, AnAllZeroPairKeepsWhatWasSetBefore) {
  SwfMatrix matrix;
  matrix.Set(20, 20, 0, 0, 0, 0);
  matrix.Set(0, 0, 0, 0, 5, 7.5f);
  const DecodedMatrix m = Decode(matrix);
  EXPECT_EQ((std::vector<std::int32_t>{m.scaleBits, m.sx, m.rotateBits, m.translateBits, m.tx, m.ty}),
            (std::vector<std::int32_t>{22, 20 << 16, 0, 9, 100, 150}));
}

}  // namespace
}  // namespace reelmill
