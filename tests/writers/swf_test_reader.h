#pragma once
// Reads back what the SWF writer produced: bit fields MSB first, and the
// movie's tags in order. Failures surface as test failures, never as reads
// past the end.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/test_support.h"

namespace reelmill::testing {

class BitReader {
 public:
  explicit BitReader(const std::vector<std::uint8_t>& bytes, std::size_t byteOffset = 0)
      : bytes_(bytes), bit_(byteOffset * 8) {}

  std::uint32_t Get(int bits) {
    std::uint32_t value = 0;
    for (int i = 0; i < bits; ++i) {
      if (bit_ / 8 >= bytes_.size()) {
        ADD_FAILURE() << "bit field runs past the end";
        return 0;
      }
      value = value << 1 | ((bytes_[bit_ / 8] >> (7 - bit_ % 8)) & 1u);
      ++bit_;
    }
    return value;
  }
  std::int32_t GetSigned(int bits) {
    const std::uint32_t raw = Get(bits);
    if (bits == 0 || bits == 32) return static_cast<std::int32_t>(raw);
    const std::uint32_t sign = 1u << (bits - 1);
    return static_cast<std::int32_t>((raw ^ sign) - sign);
  }
  std::size_t BitPosition() const { return bit_; }
  // Bytes used so far, counting a partly used last byte.
  std::size_t BytesUsed() const { return (bit_ + 7) / 8; }

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
  BitReader reader(bytes, offset);
  DecodedRect rect{};
  rect.bits = static_cast<int>(reader.Get(5));
  rect.xMin = reader.GetSigned(rect.bits);
  rect.xMax = reader.GetSigned(rect.bits);
  rect.yMin = reader.GetSigned(rect.bits);
  rect.yMax = reader.GetSigned(rect.bits);
  rect.bytes = reader.BytesUsed() - offset;
  return rect;
}

struct SwfTagView {
  int code;
  std::size_t offset;  // of the body
  std::vector<std::uint8_t> body;
  std::vector<std::uint8_t> whole;  // header included
};

struct SwfFileView {
  std::uint32_t declaredLength = 0;
  DecodedRect frame{};
  int frameRate = 0;  // whole frames per second
  int frameCount = 0;
  std::vector<SwfTagView> tags;  // the End tag included
};

inline SwfFileView ReadSwfFile(const std::vector<std::uint8_t>& file) {
  SwfFileView view;
  if (file.size() < 12 || file[0] != 'F' || file[1] != 'W' || file[2] != 'S' || file[3] != 3) {
    ADD_FAILURE() << "not an uncompressed version 3 movie";
    return view;
  }
  view.declaredLength = Le32(file, 4);
  view.frame = DecodeRect(file, 8);
  std::size_t at = 8 + view.frame.bytes;
  EXPECT_EQ(file.at(at), 0) << "frame rate fraction";
  view.frameRate = file.at(at + 1);
  view.frameCount = Le16(file, at + 2);
  at += 4;
  while (at < file.size()) {
    if (file.size() - at < 2) {
      ADD_FAILURE() << "tag header cut at " << at;
      break;
    }
    const std::size_t start = at;
    const std::uint16_t header = Le16(file, at);
    at += 2;
    std::size_t length = header & 0x3F;
    if (length == 0x3F) {
      length = Le32(file, at);
      at += 4;
    }
    if (length > file.size() - at) {
      ADD_FAILURE() << "tag at " << start << " runs past the end";
      break;
    }
    SwfTagView tag{header >> 6, at, {file.begin() + std::ptrdiff_t(at), file.begin() + std::ptrdiff_t(at + length)},
                   {file.begin() + std::ptrdiff_t(start), file.begin() + std::ptrdiff_t(at + length)}};
    at += length;
    view.tags.push_back(std::move(tag));
    if (view.tags.back().code == 0) break;
  }
  EXPECT_EQ(at, file.size()) << "bytes after the End tag";
  return view;
}

}  // namespace reelmill::testing
