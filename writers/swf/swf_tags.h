#pragma once
// Tag codes and header words of the SWF tags this writer produces.

#include <cstdint>

namespace reelmill {

inline constexpr std::uint16_t kSwfTagEnd = 0;
inline constexpr std::uint16_t kSwfTagShowFrame = 1;
inline constexpr std::uint16_t kSwfTagSetBackgroundColor = 9;
inline constexpr std::uint16_t kSwfTagDefineBitsJpeg2 = 21;
inline constexpr std::uint16_t kSwfTagPlaceObject2 = 26;
inline constexpr std::uint16_t kSwfTagDefineShape3 = 32;

// Largest body a long tag header can describe, less some headroom so that
// the file length (which adds the header and the End tag) stays in 32 bits.
inline constexpr std::uint64_t kMaxSwfTagBody = 0xFFFFFFFFull - 64;

// Short header: code and a length below 63 in one word.
constexpr std::uint16_t ShortTagHeader(std::uint16_t code, std::uint16_t length) {
  return static_cast<std::uint16_t>(code << 6 | length);
}
// Long header word; a 32-bit length follows it.
constexpr std::uint16_t LongTagHeader(std::uint16_t code) { return static_cast<std::uint16_t>(code << 6 | 0x3F); }

}  // namespace reelmill
