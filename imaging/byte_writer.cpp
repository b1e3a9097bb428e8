#include "imaging/byte_writer.h"

#include <cassert>

namespace reelmill {

void ByteWriter::U16le(std::uint16_t value) {
  buffer_.push_back(static_cast<std::uint8_t>(value));
  buffer_.push_back(static_cast<std::uint8_t>(value >> 8));
}

void ByteWriter::U32le(std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) buffer_.push_back(static_cast<std::uint8_t>(value >> shift));
}

void ByteWriter::Fourcc(std::string_view code) {
  assert(code.size() == 4);
  Bytes(code.data(), 4);
}

void ByteWriter::Bytes(std::span<const std::uint8_t> bytes) {
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void ByteWriter::Bytes(const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  buffer_.insert(buffer_.end(), p, p + size);
}

}  // namespace reelmill
