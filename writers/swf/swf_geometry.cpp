#include "writers/swf/swf_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "imaging/bit_writer.h"

namespace reelmill {
namespace {

constexpr int kCountBits = 5;
constexpr double kFixedOne = 65536.0;
// 16.16 values are held below 2^30 so that their width (17 + k bits) fits the
// 5-bit count: at most 16384 as a factor.
constexpr std::int32_t kMaxFixed = (std::int32_t{1} << 30) - 1;

std::int32_t Truncated(double value, std::int32_t limit) {
  if (std::isnan(value)) return 0;
  return static_cast<std::int32_t>(std::clamp(std::trunc(value), -double(limit), double(limit)));
}

// Width of a factor pair: 17 + k, where 2^k exceeds the larger whole part.
int FixedBits(std::int32_t a, std::int32_t b) {
  const std::uint32_t whole = static_cast<std::uint32_t>(std::max(std::abs(a), std::abs(b))) >> 16;
  return 17 + BitWriter::BitsAbove(whole);
}

void PutPair(BitWriter& bits, int width, std::int32_t a, std::int32_t b) {
  bits.PutSigned(a, width);
  bits.PutSigned(b, width);
}

}  // namespace

std::int32_t ToTwips(float pixels) { return Truncated(double{pixels} * kTwipsPerPixel, kMaxTwips); }

void SwfRect::Set(float x0, float y0, float x1, float y1) {
  x0_ = x0;
  y0_ = y0;
  x1_ = x1;
  y1_ = y1;
  xMin_ = ToTwips(x0);
  xMax_ = ToTwips(x1);
  yMin_ = ToTwips(y0);
  yMax_ = ToTwips(y1);
}

std::vector<std::uint8_t> SwfRect::Encode() const {
  const int n = BitWriter::SignedBitsNeeded({xMin_, xMax_, yMin_, yMax_});
  BitWriter bits;
  bits.Put(static_cast<std::uint32_t>(n), kCountBits);
  bits.PutSigned(xMin_, n);
  bits.PutSigned(xMax_, n);
  bits.PutSigned(yMin_, n);
  bits.PutSigned(yMax_, n);
  bits.AlignToByte();
  return bits.Bytes();
}

void SwfMatrix::Set(float scaleX, float scaleY, float skew0, float skew1, float translateX, float translateY) {
  if (scaleX != 0 || scaleY != 0) {
    scale_.a = Truncated(double{scaleX} * kFixedOne, kMaxFixed);
    scale_.b = Truncated(double{scaleY} * kFixedOne, kMaxFixed);
    scale_.bits = FixedBits(scale_.a, scale_.b);
  }
  if (skew0 != 0 || skew1 != 0) {
    skew_.a = Truncated(double{skew0} * kFixedOne, kMaxFixed);
    skew_.b = Truncated(double{skew1} * kFixedOne, kMaxFixed);
    skew_.bits = FixedBits(skew_.a, skew_.b);
  }
  if (translateX != 0 || translateY != 0) {
    translate_.a = ToTwips(translateX);
    translate_.b = ToTwips(translateY);
    translate_.bits = BitWriter::SignedBitsNeeded({translate_.a, translate_.b});
  }
}

void SwfMatrix::EncodeTo(BitWriter& bits) const {
  bits.Put(scale_.bits != 0, 1);  // HasScale
  if (scale_.bits != 0) {
    bits.Put(static_cast<std::uint32_t>(scale_.bits), kCountBits);
    PutPair(bits, scale_.bits, scale_.a, scale_.b);
  }
  bits.Put(skew_.bits != 0, 1);  // HasRotate
  if (skew_.bits != 0) {
    bits.Put(static_cast<std::uint32_t>(skew_.bits), kCountBits);
    PutPair(bits, skew_.bits, skew_.a, skew_.b);
  }
  bits.Put(static_cast<std::uint32_t>(translate_.bits), kCountBits);
  PutPair(bits, translate_.bits, translate_.a, translate_.b);
}

std::vector<std::uint8_t> SwfMatrix::Encode() const {
  BitWriter bits;
  EncodeTo(bits);
  bits.AlignToByte();
  return bits.Bytes();
}

}  // namespace reelmill
