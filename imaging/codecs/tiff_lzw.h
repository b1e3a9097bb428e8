#pragma once
// TIFF's LZW, giving libtiff's own bytes: the same codes, the same code
// widths, the same clears when the table fills or the ratio slips. Each
// table is a small open-addressed one that stays in the first-level cache,
// and two strips can be coded at once, so that the processor overlaps the
// table look-ups of one with those of the other. bench/imaging's lzw_bench
// compares it with libtiff.

#include <cstdint>
#include <memory>
#include <span>

namespace reelmill {

class TiffLzwEncoder {
 public:
  TiffLzwEncoder();
  ~TiffLzwEncoder();
  TiffLzwEncoder(const TiffLzwEncoder&) = delete;
  TiffLzwEncoder& operator=(const TiffLzwEncoder&) = delete;

  // The strip's compressed bytes, valid until the next call.
  std::span<const std::uint8_t> EncodeStrip(std::span<const std::uint8_t> strip);
  // Two strips at once, each coded on its own: the same bytes as one by one.
  void EncodeStrips(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second,
                    std::span<const std::uint8_t>& firstOut, std::span<const std::uint8_t>& secondOut);

 private:
  struct Stream;
  struct Buffer {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t capacity = 0;
    std::uint8_t* Reserve(std::size_t size);
  };

  std::unique_ptr<std::uint32_t[]> tables_;  // one per strip in flight
  Buffer out_[2];
};

}  // namespace reelmill
