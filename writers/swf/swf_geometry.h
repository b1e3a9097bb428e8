#pragma once
// The bit-field encodings shared by SWF tags: rectangles and matrices.
// Distances come in as pixels (float) and are stored in twips, 20 per pixel.

#include <cstdint>
#include <vector>

namespace reelmill {

class BitWriter;

inline constexpr int kTwipsPerPixel = 20;
// Largest twip magnitude we store: its signed width (31 bits) still fits the
// 5-bit count that precedes every coordinate group.
inline constexpr std::int32_t kMaxTwips = (std::int32_t{1} << 30) - 1;

// Pixels to twips, truncated toward zero and held within +-kMaxTwips.
std::int32_t ToTwips(float pixels);

// An axis-aligned rectangle given in pixels. Twips are kept in 32 bits, so
// frames of any practical size encode correctly.
class SwfRect {
 public:
  SwfRect() = default;
  SwfRect(float x0, float y0, float x1, float y1) { Set(x0, y0, x1, y1); }
  void Set(float x0, float y0, float x1, float y1);

  float X0() const { return x0_; }
  float Y0() const { return y0_; }
  float X1() const { return x1_; }
  float Y1() const { return y1_; }

  // Width n in 5 bits, then xmin, xmax, ymin, ymax in n bits each; whole bytes.
  std::vector<std::uint8_t> Encode() const;

 private:
  float x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;
  std::int32_t xMin_ = 0, xMax_ = 0, yMin_ = 0, yMax_ = 0;  // twips
};

// A placement or fill matrix: scale and skew factors as 16.16 fixed point,
// translation in twips. A new matrix is the identity.
class SwfMatrix {
 public:
  // Each pair of values that is not all zero replaces that part of the matrix;
  // an all-zero pair keeps what was set before.
  void Set(float scaleX, float scaleY, float skew0, float skew1, float translateX, float translateY);

  // Optional scale, optional rotate-skew, then translate (its count 0 when
  // there is none); whole bytes. The identity is the single byte 00.
  std::vector<std::uint8_t> Encode() const;
  void EncodeTo(BitWriter& bits) const;

 private:
  struct Pair {
    int bits = 0;  // 0: not present
    std::int32_t a = 0;
    std::int32_t b = 0;
  };
  Pair scale_;
  Pair skew_;
  Pair translate_;
};

}  // namespace reelmill
