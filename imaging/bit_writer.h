#pragma once
// MSB-first bit writer for the SWF bit fields (rectangles, matrices, shape
// records). Fields follow each other without gaps; the last byte is padded
// with zero bits.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace reelmill {

class BitWriter {
 public:
  // Writes the low `bits` bits of `value` (0 <= bits <= 32), most significant first.
  void Put(std::uint32_t value, int bits);
  // Writes the low `bits` bits of the two's complement of `value`.
  void PutSigned(std::int32_t value, int bits) { Put(static_cast<std::uint32_t>(value), bits); }
  // Closes the current byte; the next field starts on a byte boundary.
  void AlignToByte() { bitCount_ = (bitCount_ + 7) / 8 * 8; }

  std::size_t BitCount() const { return bitCount_; }
  // The bytes written so far; a partial last byte is included, zero-padded.
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

  // Width of a signed field able to hold every value: k + 1 where k is the
  // smallest k >= 0 with 2^k greater than the largest absolute value.
  static int SignedBitsNeeded(std::initializer_list<std::int64_t> values);
  // Smallest k >= 0 with 2^k > value (value >= 0).
  static int BitsAbove(std::uint64_t value);

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t bitCount_ = 0;
};

}  // namespace reelmill
