#pragma once
// Reads back what the SWF writer produced: MSB-first bit fields and the
// movie's tags. Malformed input fails the test instead of reading past the end.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/test_support.h"

namespace reelmill::testing {

class BitReader {
 public:
  BitReader(const std::vector<std::uint8_t>& bytes, std::size_t byteOffset) : bytes_(bytes), bit_(byteOffset * 8) {}
  std::uint32_t Get(int bits) {
    std::uint32_t value = 0;
    for (int i = 0; i < bits; ++i, ++bit_) {
      if (bit_ / 8 >= bytes_.size()) {
        ADD_FAILURE() << "bit field runs past the end";
        return 0;
      }
      value = value << 1 | ((bytes_[bit_ / 8] >> (7 - bit_ % 8)) & 1u);
    }
    return value;
  }
  std::int32_t GetSigned(int bits) {
    const std::uint32_t raw = Get(bits);
    const std::uint32_t sign = bits > 0 && bits < 32 ? 1u << (bits - 1) : 0;
    return static_cast<std::int32_t>((raw ^ sign) - sign);
  }
  std::size_t BytesUsed() const { return (bit_ + 7) / 8; }  // counted from the buffer's start

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t bit_;
};

struct DecodedRect {
  int bits;
  std::int32_t xMin, xMax, yMin, yMax;
  std::size_t bytes;
};

inline DecodedRect DecodeRect(const std::vector<std::uint8_t>& bytes, std::size_t offset = 0) {
  BitReader r(bytes, offset);
  const int n = static_cast<int>(r.Get(5));
  DecodedRect rect{n, r.GetSigned(n), r.GetSigned(n), r.GetSigned(n), r.GetSigned(n), 0};
  rect.bytes = r.BytesUsed() - offset;
  return rect;
}

struct SwfTagView {
  int code;
  std::vector<std::uint8_t> body;
  std::vector<std::uint8_t> whole;  // header included
};

struct SwfFileView {
  std::uint32_t declaredLength = 0;
  DecodedRect frame{};
  int frameRate = 0;
  int frameCount = 0;
  std::vector<SwfTagView> tags;  // through the End tag
};

inline SwfFileView ReadSwfFile(const std::vector<std::uint8_t>& file) {
  SwfFileView view;
  if (file.size() < 12 || Text(file, 0, 3) != "FWS" || file[3] != 3) {
    ADD_FAILURE() << "not an uncompressed version 3 movie";
    return view;
  }
  view.declaredLength = Le32(file, 4);
  view.frame = DecodeRect(file, 8);
  std::size_t at = 8 + view.frame.bytes;
  EXPECT_EQ(file.at(at), 0) << "frame rate fraction";
  view.frameRate = file.at(at + 1);
  view.frameCount = Le16(file, at + 2);
  for (at += 4; at + 2 <= file.size();) {
    const std::size_t start = at;
    const std::uint16_t header = Le16(file, at);
    std::size_t length = header & 0x3F;
    at += 2;
    if (length == 0x3F) {
      length = Le32(file, at);
      at += 4;
    }
    if (length > file.size() - at) {
      ADD_FAILURE() << "tag at " << start << " runs past the end";
      break;
    }
    const auto begin = file.begin();
    view.tags.push_back({header >> 6,
                         {begin + std::ptrdiff_t(at), begin + std::ptrdiff_t(at + length)},
                         {begin + std::ptrdiff_t(start), begin + std::ptrdiff_t(at + length)}});
    at += length;
    if (header >> 6 == 0) break;
  }
  EXPECT_EQ(at, file.size()) << "bytes after the End tag";
  return view;
}

}  // namespace reelmill::testing
