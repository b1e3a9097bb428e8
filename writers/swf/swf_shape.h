#pragma once
// A shape character (DefineShape3): bounds, fill and line styles, and a list
// of shape records. Only what movies of JPEG frames need is offered: bitmap
// fills, line styles, style changes with an optional move and straight edges.

#include <cstdint>
#include <optional>
#include <vector>

#include "writers/swf/swf_character.h"

namespace reelmill {

struct SwfPoint {
  float x = 0;
  float y = 0;
};

class SwfShape final : public SwfCharacter {
 public:
  static constexpr std::uint8_t kFillRepeatingBitmap = 0x40;
  static constexpr std::uint8_t kFillClippedBitmap = 0x41;
  static constexpr std::uint8_t kFillRepeatingBitmapHard = 0x42;
  static constexpr std::uint8_t kFillClippedBitmapHard = 0x43;
  // Style indices are written in at most 15 bits (a 4-bit width).
  static constexpr std::size_t kMaxStyles = 32767;

  SwfShape(std::uint16_t id, float x0, float y0, float x1, float y1, std::uint16_t depth);

  // Width in whole pixels; colour as red, green, blue, alpha. False when full.
  bool AddLineStyle(int width, std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha);
  // Maps `source` (bitmap pixels) onto `target` (shape pixels). Types other
  // than the four bitmap fills are ignored (false).
  bool AddBitmapFill(std::uint16_t bitmapId, std::uint8_t fillType, const SwfRect& source, const SwfRect& target);
  // Sets all three styles (1-based, 0 for none) and optionally moves the pen
  // to an absolute point.
  void ChangeStyle(std::uint16_t lineStyle, std::uint16_t fillStyle0, std::uint16_t fillStyle1,
                   std::optional<SwfPoint> moveTo = std::nullopt);
  // A straight edge relative to the pen, in pixels.
  void AddStraightEdge(float dx, float dy);

  const std::vector<std::uint8_t>& TagBytes() override;

 private:
  struct FillStyle {
    std::uint8_t type;
    std::uint16_t bitmapId;
    SwfRect source;
    SwfRect target;
  };
  struct LineStyle {
    std::uint16_t widthTwips;
    std::uint8_t rgba[4];
  };
  struct Record {
    enum Type { kStyleChange, kStraightEdge } type;
    std::int32_t x = 0;  // move-to point, or edge deltas (twips)
    std::int32_t y = 0;
    bool moves = false;
    std::uint16_t lineStyle = 0;
    std::uint16_t fillStyle0 = 0;
    std::uint16_t fillStyle1 = 0;
  };

  void Encode();

  SwfRect bounds_;
  std::vector<FillStyle> fills_;
  std::vector<LineStyle> lines_;
  std::vector<Record> records_;
  bool encoded_ = false;
};

}  // namespace reelmill
