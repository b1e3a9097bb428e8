#pragma once
// Bounds-checked little-endian reader over untrusted bytes. Every read that
// would pass the end fails (returns nullopt / false) instead of inventing
// zeros, and leaves the position where it was.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace reelmill {

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> data, std::size_t offset = 0)
      : data_(data), offset_(offset <= data.size() ? offset : data.size()) {}

  std::size_t Size() const { return data_.size(); }
  std::size_t Offset() const { return offset_; }
  std::size_t Remaining() const { return data_.size() - offset_; }
  bool AtEnd() const { return offset_ == data_.size(); }
  std::span<const std::uint8_t> Data() const { return data_; }

  bool Seek(std::size_t offset) {
    if (offset > data_.size()) return false;
    offset_ = offset;
    return true;
  }
  bool Skip(std::size_t count) {
    if (count > Remaining()) return false;
    offset_ += count;
    return true;
  }

  std::optional<std::uint8_t> U8() {
    if (Remaining() < 1) return std::nullopt;
    return data_[offset_++];
  }
  std::optional<std::uint16_t> U16le() {
    if (Remaining() < 2) return std::nullopt;
    const std::uint16_t v = static_cast<std::uint16_t>(data_[offset_] | (data_[offset_ + 1] << 8));
    offset_ += 2;
    return v;
  }
  std::optional<std::uint32_t> U32le() {
    if (Remaining() < 4) return std::nullopt;
    const std::uint32_t v = std::uint32_t(data_[offset_]) | std::uint32_t(data_[offset_ + 1]) << 8 |
                            std::uint32_t(data_[offset_ + 2]) << 16 | std::uint32_t(data_[offset_ + 3]) << 24;
    offset_ += 4;
    return v;
  }
  std::optional<std::int32_t> I32le() {
    auto v = U32le();
    if (!v) return std::nullopt;
    return static_cast<std::int32_t>(*v);
  }
  std::optional<std::span<const std::uint8_t>> Bytes(std::size_t count) {
    if (count > Remaining()) return std::nullopt;
    auto out = data_.subspan(offset_, count);
    offset_ += count;
    return out;
  }

  // Looks at the byte `ahead` positions past the current one without moving.
  std::optional<std::uint8_t> PeekU8(std::size_t ahead = 0) const {
    if (ahead >= Remaining()) return std::nullopt;
    return data_[offset_ + ahead];
  }
  // Reads at an absolute position without moving.
  std::optional<std::uint8_t> U8At(std::size_t position) const {
    if (position >= data_.size()) return std::nullopt;
    return data_[position];
  }
  std::optional<std::uint16_t> U16leAt(std::size_t position) const {
    if (position > data_.size() || data_.size() - position < 2) return std::nullopt;
    return static_cast<std::uint16_t>(data_[position] | (data_[position + 1] << 8));
  }
  std::optional<std::uint32_t> U32leAt(std::size_t position) const {
    if (position > data_.size() || data_.size() - position < 4) return std::nullopt;
    return std::uint32_t(data_[position]) | std::uint32_t(data_[position + 1]) << 8 |
           std::uint32_t(data_[position + 2]) << 16 | std::uint32_t(data_[position + 3]) << 24;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t offset_;
};

}  // namespace reelmill
