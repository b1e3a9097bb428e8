#pragma once
// What the converter needs to know about a JPEG file without decoding it:
// whether it is one, whether it starts with a JFIF APP0 segment (an MJPEG AVI
// frame must), and the picture size from its frame header.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace reelmill {

struct JpegFrameSize {
  int width = 0;
  int height = 0;
};

// Bytes needed at the start of a file to answer the two questions below.
inline constexpr std::size_t kJpegHeadBytes = 11;

// SOI followed by a marker: FF D8 FF.
bool HasJpegStart(std::span<const std::uint8_t> head);
// SOI, then an APP0 segment whose identifier is "JFIF" and its terminating zero.
bool HasJfifApp0(std::span<const std::uint8_t> head);

// Walks the marker segments up to the first frame header (SOF0 to SOF15) and
// returns its width and height. On failure `error` (when given) says why.
std::optional<JpegFrameSize> ReadJpegFrameSize(std::span<const std::uint8_t> jpeg, std::string* error = nullptr);

}  // namespace reelmill
