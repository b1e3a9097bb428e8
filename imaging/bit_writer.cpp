#include "imaging/bit_writer.h"

#include <cassert>
#include <cstdlib>

namespace reelmill {

void BitWriter::Put(std::uint32_t value, int bits) {
  assert(bits >= 0 && bits <= 32);
  for (int i = bits - 1; i >= 0; --i) {
    if (bitCount_ / 8 >= bytes_.size()) bytes_.push_back(0);
    if ((value >> i) & 1u) bytes_[bitCount_ / 8] |= static_cast<std::uint8_t>(0x80u >> (bitCount_ % 8));
    ++bitCount_;
  }
}

int BitWriter::BitsAbove(std::uint64_t value) {
  int k = 0;
  while (k < 64 && (std::uint64_t{1} << k) <= value) ++k;
  return k;
}

int BitWriter::SignedBitsNeeded(std::initializer_list<std::int64_t> values) {
  std::uint64_t largest = 0;
  for (std::int64_t v : values) {
    const std::uint64_t magnitude =
        v < 0 ? std::uint64_t(0) - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    if (magnitude > largest) largest = magnitude;
  }
  return BitsAbove(largest) + 1;
}

}  // namespace reelmill
