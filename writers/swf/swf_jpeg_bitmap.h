#pragma once
// A JPEG file as a bitmap character (DefineBitsJPEG2). The file is carried
// unchanged; it is never decoded, so its size must match where it is shown.

#include <span>
#include <string>

#include "writers/swf/swf_character.h"

namespace reelmill {

class SwfJpegBitmap final : public SwfCharacter {
 public:
  // Reads the whole file; when it cannot be read the tag stays empty and
  // adding the bitmap to a movie appends nothing.
  SwfJpegBitmap(std::uint16_t id, const std::string& path);
  // The JPEG file held in `jpeg` (empty: no tag).
  SwfJpegBitmap(std::uint16_t id, std::span<const std::uint8_t> jpeg);

  bool Loaded() const { return !tagData_.empty(); }
  const std::vector<std::uint8_t>& TagBytes() override { return tagData_; }
};

}  // namespace reelmill
