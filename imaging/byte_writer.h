#pragma once
// Little-endian byte writer shared by every file format we write (AVI, SWF,
// BMP, TGA). Appends to an owned buffer; callers send the buffer to a file.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace reelmill {

class ByteWriter {
 public:
  ByteWriter() = default;
  explicit ByteWriter(std::size_t reserveBytes) { buffer_.reserve(reserveBytes); }
  // Writes into `buffer` (emptied first), keeping the memory it already has.
  explicit ByteWriter(std::vector<std::uint8_t>&& buffer) : buffer_(std::move(buffer)) { buffer_.clear(); }

  void U8(std::uint8_t value) { buffer_.push_back(value); }
  void U16le(std::uint16_t value);
  void U32le(std::uint32_t value);
  // Exactly four characters, such as "RIFF" or "00db".
  void Fourcc(std::string_view code);
  void Bytes(std::span<const std::uint8_t> bytes);
  void Bytes(const void* data, std::size_t size);
  void Zeros(std::size_t count) { buffer_.insert(buffer_.end(), count, 0); }

  const std::vector<std::uint8_t>& Buffer() const { return buffer_; }
  const std::uint8_t* Data() const { return buffer_.data(); }
  std::size_t Size() const { return buffer_.size(); }
  std::vector<std::uint8_t> Take() { return std::move(buffer_); }
  void Clear() { buffer_.clear(); }

 private:
  std::vector<std::uint8_t> buffer_;
};

}  // namespace reelmill
