#include "tools/jpeg_info.h"

#include <algorithm>

#include "imaging/byte_reader.h"

namespace reelmill {
namespace {

constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kApp0 = 0xE0;
constexpr std::uint8_t kTem = 0x01;

// SOF0 to SOF15, less the three codes of that range that are not frame headers.
bool IsFrameHeader(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 /* DHT */ && marker != 0xC8 /* JPG */ &&
         marker != 0xCC /* DAC */;
}

// Markers that stand alone, without a length.
bool IsStandalone(std::uint8_t marker) { return marker == kTem || (marker >= 0xD0 && marker <= 0xD7); }

std::optional<std::uint16_t> U16be(ByteReader& reader) {
  const auto high = reader.U8();
  const auto low = reader.U8();
  if (!high || !low) return std::nullopt;
  return static_cast<std::uint16_t>(*high << 8 | *low);
}

std::optional<JpegFrameSize> Fail(std::string* error, const char* why) {
  if (error) *error = why;
  return std::nullopt;
}

}  // namespace

bool HasJpegStart(std::span<const std::uint8_t> head) {
  ByteReader reader(head);
  return reader.U8() == kMarkerPrefix && reader.U8() == kStartOfImage && reader.U8() == kMarkerPrefix;
}

bool HasJfifApp0(std::span<const std::uint8_t> head) {
  if (!HasJpegStart(head)) return false;
  ByteReader reader(head, 3);
  if (reader.U8() != kApp0 || !reader.Skip(2)) return false;  // marker code, then the segment length
  const auto identifier = reader.Bytes(5);
  static constexpr std::uint8_t kJfif[] = {'J', 'F', 'I', 'F', 0};
  return identifier && std::equal(identifier->begin(), identifier->end(), kJfif);
}

std::optional<JpegFrameSize> ReadJpegFrameSize(std::span<const std::uint8_t> jpeg, std::string* error) {
  ByteReader reader(jpeg);
  if (reader.U8() != kMarkerPrefix || reader.U8() != kStartOfImage) {
    return Fail(error, "not a JPEG file (no start-of-image marker)");
  }
  for (;;) {
    const auto prefix = reader.U8();
    if (!prefix) return Fail(error, "the file ends before its frame header");
    if (*prefix != kMarkerPrefix) return Fail(error, "corrupt data between segments");
    std::optional<std::uint8_t> marker = reader.U8();
    while (marker == kMarkerPrefix) marker = reader.U8();  // fill bytes
    if (!marker) return Fail(error, "the file ends before its frame header");
    if (IsStandalone(*marker)) continue;
    if (*marker == 0x00 || *marker == kStartOfImage) return Fail(error, "corrupt marker");
    if (*marker == kEndOfImage || *marker == kStartOfScan) return Fail(error, "no frame header before the image data");

    const auto length = U16be(reader);
    if (!length) return Fail(error, "the file ends before its frame header");
    if (*length < 2) return Fail(error, "corrupt segment length");
    if (IsFrameHeader(*marker)) {
      const auto precision = reader.U8();
      const auto height = U16be(reader);
      const auto width = U16be(reader);
      if (!precision || !height || !width) return Fail(error, "the frame header is cut short");
      if (*length < 8) return Fail(error, "corrupt frame header");
      // A height of 0 defers it to a later DNL marker; we take no such files.
      if (*width == 0 || *height == 0) return Fail(error, "the frame header gives no size");
      return JpegFrameSize{*width, *height};
    }
    if (!reader.Skip(*length - 2u)) return Fail(error, "the file ends before its frame header");
  }
}

}  // namespace reelmill
