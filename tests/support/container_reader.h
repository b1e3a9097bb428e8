#pragma once
// Reads back the AVI and SWF files we write, for tests: the AVI's frame count
// and frame chunks, the SWF's tags in order.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace reelmill::testing {

struct SwfTag {
  int code = 0;
  std::vector<std::uint8_t> body;
};

struct SwfFile {
  std::uint32_t declaredLength = 0;
  int frameRate = 0;
  int frameCount = 0;
  std::vector<SwfTag> tags;  // the End tag included
  int Count(int code) const {
    int n = 0;
    for (const auto& t : tags) n += t.code == code;
    return n;
  }
};

inline SwfFile ReadSwf(const std::vector<std::uint8_t>& b) {
  SwfFile swf;
  if (b.size() < 9 || b[0] != 'F' || b[1] != 'W' || b[2] != 'S') return swf;
  swf.declaredLength = Le32(b, 4);
  const int nbits = b[8] >> 3;
  std::size_t at = 8 + (5 + 4 * static_cast<std::size_t>(nbits) + 7) / 8;
  swf.frameRate = b.at(at + 1);
  swf.frameCount = Le16(b, at + 2);
  at += 4;
  while (at + 2 <= b.size()) {
    const std::uint16_t header = Le16(b, at);
    at += 2;
    std::size_t length = header & 0x3F;
    if (length == 0x3F) {
      length = Le32(b, at);
      at += 4;
    }
    if (at + length > b.size()) break;
    swf.tags.push_back({header >> 6, std::vector<std::uint8_t>(b.begin() + std::ptrdiff_t(at),
                                                               b.begin() + std::ptrdiff_t(at + length))});
    at += length;
    if ((header >> 6) == 0) break;
  }
  return swf;
}

// The JPEG inside a DefineBitsJPEG2 body: id (2), FF D9 FF D8, the file, FF D9.
inline std::vector<std::uint8_t> JpegOfBitsTag(const SwfTag& tag) {
  if (tag.body.size() < 8) return {};
  return std::vector<std::uint8_t>(tag.body.begin() + 6, tag.body.end() - 2);
}

struct AviFile {
  std::uint32_t microsecondsPerFrame = 0;
  std::uint32_t totalFrames = 0;
  std::int32_t width = 0, height = 0;
  std::vector<std::vector<std::uint8_t>> frames;  // chunk payloads, padding included
};

inline AviFile ReadAvi(const std::vector<std::uint8_t>& b) {
  AviFile avi;
  if (b.size() < 240 || Text(b, 0, 4) != "RIFF") return avi;
  avi.microsecondsPerFrame = Le32(b, 32);
  avi.totalFrames = Le32(b, 48);
  avi.width = static_cast<std::int32_t>(Le32(b, 64));
  avi.height = static_cast<std::int32_t>(Le32(b, 68));
  const std::size_t moviEnd = 236 + Le32(b, 232);
  for (std::size_t at = 240; at + 8 <= moviEnd && at + 8 <= b.size();) {
    const std::uint32_t size = Le32(b, at + 4);
    if (at + 8 + size > b.size()) break;
    avi.frames.emplace_back(b.begin() + std::ptrdiff_t(at + 8), b.begin() + std::ptrdiff_t(at + 8 + size));
    at += 8 + size;
  }
  return avi;
}

}  // namespace reelmill::testing
