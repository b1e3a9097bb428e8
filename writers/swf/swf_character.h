#pragma once
// Base of the tag objects that define a character of a movie: each produces
// its complete defining tag and says how it is placed on the display list.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "writers/swf/swf_geometry.h"

namespace reelmill {

class SwfCharacter {
 public:
  enum Kind : int { kShape = 0, kBitmap = 2 };

  virtual ~SwfCharacter() = default;
  SwfCharacter(const SwfCharacter&) = delete;
  SwfCharacter& operator=(const SwfCharacter&) = delete;

  // The complete tag bytes, header included, encoding them first where needed.
  virtual const std::vector<std::uint8_t>& TagBytes() = 0;
  // The byte count of what TagBytes returned.
  std::size_t TagLength() const { return tagData_.size(); }

  Kind CharacterKind() const { return kind_; }
  std::uint16_t CharacterId() const { return id_; }
  std::uint16_t Depth() const { return depth_; }
  const SwfMatrix& PlacementMatrix() const { return placement_; }

 protected:
  SwfCharacter(Kind kind, std::uint16_t id, std::uint16_t depth) : kind_(kind), id_(id), depth_(depth) {}

  std::vector<std::uint8_t> tagData_;

 private:
  Kind kind_;
  std::uint16_t id_;
  std::uint16_t depth_;
  SwfMatrix placement_;
};

}  // namespace reelmill
