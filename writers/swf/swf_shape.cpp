#include "writers/swf/swf_shape.h"

#include <algorithm>
#include <cstdlib>

#include "imaging/bit_writer.h"
#include "imaging/byte_writer.h"
#include "writers/swf/swf_tags.h"

namespace reelmill {
namespace {

constexpr int kCountBits = 5;
constexpr int kEdgeBitsFieldBits = 4;  // NumBits - 2
constexpr int kMinEdgeBits = 2;
// An edge delta is written in at most 2 + 15 bits; longer edges are split.
constexpr std::int32_t kMaxEdgeDelta = (1 << 16) - 1;

// One byte below 255, else FF and the count in 16 bits.
void PutStyleCount(ByteWriter& out, std::size_t count) {
  if (count < 0xFF) {
    out.U8(static_cast<std::uint8_t>(count));
  } else {
    out.U8(0xFF);
    out.U16le(static_cast<std::uint16_t>(count));
  }
}

// A style index the shape does not have is written as "no style".
std::uint32_t StyleIndex(std::uint16_t index, std::size_t count) { return index <= count ? index : 0; }

void PutStraightEdge(BitWriter& bits, std::int32_t dx, std::int32_t dy) {
  const int n = std::max(kMinEdgeBits, BitWriter::SignedBitsNeeded({dx, dy}));
  bits.Put(1, 1);  // TypeFlag: edge
  bits.Put(1, 1);  // StraightFlag
  bits.Put(static_cast<std::uint32_t>(n - kMinEdgeBits), kEdgeBitsFieldBits);
  bits.Put(1, 1);  // GeneralLineFlag: both deltas follow
  bits.PutSigned(dx, n);
  bits.PutSigned(dy, n);
}

}  // namespace

SwfShape::SwfShape(std::uint16_t id, float x0, float y0, float x1, float y1, std::uint16_t depth)
    : SwfCharacter(kShape, id, depth), bounds_(x0, y0, x1, y1) {}

bool SwfShape::AddLineStyle(int width, std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha) {
  if (lines_.size() >= kMaxStyles) return false;
  const long long twips = std::clamp<long long>(static_cast<long long>(width) * kTwipsPerPixel, 0, 0xFFFF);
  lines_.push_back(LineStyle{static_cast<std::uint16_t>(twips), {red, green, blue, alpha}});
  return true;
}

bool SwfShape::AddBitmapFill(std::uint16_t bitmapId, std::uint8_t fillType, const SwfRect& source,
                             const SwfRect& target) {
  if (fillType < kFillRepeatingBitmap || fillType > kFillClippedBitmapHard) return false;
  if (fills_.size() >= kMaxStyles) return false;
  fills_.push_back(FillStyle{fillType, bitmapId, source, target});
  return true;
}

void SwfShape::ChangeStyle(std::uint16_t lineStyle, std::uint16_t fillStyle0, std::uint16_t fillStyle1,
                           std::optional<SwfPoint> moveTo) {
  Record record{Record::kStyleChange};
  record.lineStyle = lineStyle;
  record.fillStyle0 = fillStyle0;
  record.fillStyle1 = fillStyle1;
  if (moveTo) {
    record.moves = true;
    record.x = ToTwips(moveTo->x);
    record.y = ToTwips(moveTo->y);
  }
  records_.push_back(record);
}

void SwfShape::AddStraightEdge(float dx, float dy) {
  Record record{Record::kStraightEdge};
  record.x = ToTwips(dx);
  record.y = ToTwips(dy);
  records_.push_back(record);
}

const std::vector<std::uint8_t>& SwfShape::TagBytes() {
  if (!encoded_) Encode();
  return tagData_;
}

void SwfShape::Encode() {
  encoded_ = true;
  const int fillBits = BitWriter::BitsAbove(fills_.size());
  const int lineBits = BitWriter::BitsAbove(lines_.size());

  ByteWriter body;
  body.U16le(CharacterId());
  body.Bytes(bounds_.Encode());

  PutStyleCount(body, fills_.size());
  for (const FillStyle& fill : fills_) {
    // Scale 20 maps one bitmap pixel onto one pixel (the fill matrix works in
    // twips); an empty source axis is not stretched.
    const auto scale = [](float from0, float from1, float to0, float to1) {
      const float extent = from1 - from0;
      return extent != 0 ? kTwipsPerPixel * (to1 - to0) / extent : float{kTwipsPerPixel};
    };
    SwfMatrix matrix;
    matrix.Set(scale(fill.source.X0(), fill.source.X1(), fill.target.X0(), fill.target.X1()),
               scale(fill.source.Y0(), fill.source.Y1(), fill.target.Y0(), fill.target.Y1()), 0, 0, fill.target.X0(),
               fill.target.Y0());
    body.U8(fill.type);
    body.U16le(fill.bitmapId);
    body.Bytes(matrix.Encode());
  }

  PutStyleCount(body, lines_.size());
  for (const LineStyle& line : lines_) {
    body.U16le(line.widthTwips);
    body.Bytes(line.rgba, sizeof line.rgba);
  }

  body.U8(static_cast<std::uint8_t>(fillBits << 4 | lineBits));

  BitWriter bits;
  for (const Record& record : records_) {
    if (record.type == Record::kStyleChange) {
      bits.Put(0, 1);  // TypeFlag: not an edge
      bits.Put(0, 1);  // StateNewStyles
      bits.Put(1, 1);  // StateLineStyle
      bits.Put(1, 1);  // StateFillStyle1
      bits.Put(1, 1);  // StateFillStyle0
      bits.Put(record.moves, 1);
      if (record.moves) {
        const int n = BitWriter::SignedBitsNeeded({record.x, record.y});
        bits.Put(static_cast<std::uint32_t>(n), kCountBits);
        bits.PutSigned(record.x, n);
        bits.PutSigned(record.y, n);
      }
      bits.Put(StyleIndex(record.fillStyle0, fills_.size()), fillBits);
      bits.Put(StyleIndex(record.fillStyle1, fills_.size()), fillBits);
      bits.Put(StyleIndex(record.lineStyle, lines_.size()), lineBits);
    } else {
      // Split so that every piece fits the edge's 17-bit deltas; the pieces
      // add up exactly to the whole edge.
      const std::int32_t longest = std::max(std::abs(record.x), std::abs(record.y));
      const std::int64_t pieces = std::max<std::int64_t>(1, (longest + kMaxEdgeDelta - 1) / kMaxEdgeDelta);
      for (std::int64_t i = 0; i < pieces; ++i) {
        const auto part = [&](std::int32_t whole) {
          return static_cast<std::int32_t>(whole * (i + 1) / pieces - whole * i / pieces);
        };
        PutStraightEdge(bits, part(record.x), part(record.y));
      }
    }
  }
  bits.Put(0, 6);  // end record
  bits.AlignToByte();
  body.Bytes(bits.Bytes());

  ByteWriter tag(body.Size() + 6);
  tag.U16le(LongTagHeader(kSwfTagDefineShape3));
  tag.U32le(static_cast<std::uint32_t>(body.Size()));
  tag.Bytes(body.Buffer());
  tagData_ = tag.Take();
}

}  // namespace reelmill
