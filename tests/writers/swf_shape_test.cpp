#include "writers/swf/swf_shape.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/writers/swf_test_reader.h"

namespace reelmill {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::BitReader;
using testing::Le32;

const Bytes kFrameShape320By240 = {
    0x3F, 0x08, 0x32, 0x00, 0x00, 0x00, 0x01, 0x00, 0x70, 0x00, 0x0C, 0x80, 0x00, 0x00, 0x96, 0x00, 0x01, 0x41, 0x02,
    0x00, 0xD9, 0x40, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x11, 0x3C, 0x25, 0xF2,
    0xC8, 0x00, 0x00, 0x1E, 0x40, 0x00, 0x4B, 0x03, 0xCC, 0xE0, 0x00, 0x00, 0x79, 0x00, 0x02, 0xD4, 0x00, 0x00};

// The shape a movie frame uses: a rectangle of the frame's size filled with a bitmap.
std::unique_ptr<SwfShape> FrameShape(std::uint16_t id, float w, float h, std::uint16_t bitmapId) {
  auto made = std::make_unique<SwfShape>(id, 0, 0, w, h, 1);
  SwfShape& shape = *made;
  shape.AddLineStyle(0, 0, 0, 0, 0);
  shape.AddBitmapFill(bitmapId, SwfShape::kFillClippedBitmap, SwfRect(0, 0, w, h), SwfRect(0, 0, w, h));
  shape.ChangeStyle(1, 1, 0, SwfPoint{0, 0});
  shape.AddStraightEdge(w, 0);
  shape.AddStraightEdge(0, h);
  shape.AddStraightEdge(-w, 0);
  shape.AddStraightEdge(0, -h);
  return made;
}

struct Edge {
  int bits;
  std::int32_t dx, dy;
};

// Decodes the records of a shape with one style change that moves, then
// straight edges up to the end record. Fails the test on anything else.
std::vector<Edge> DecodeEdges(BitReader& reader, int fillBits, int lineBits) {
  EXPECT_EQ(reader.Get(6), 0b001111u) << "style change setting all styles and moving";
  const int moveBits = static_cast<int>(reader.Get(5));
  EXPECT_EQ(reader.GetSigned(moveBits), 0);
  EXPECT_EQ(reader.GetSigned(moveBits), 0);
  reader.Get(fillBits * 2 + lineBits);
  std::vector<Edge> edges;
  while (reader.Get(1) == 1) {
    EXPECT_EQ(reader.Get(1), 1u) << "straight";
    const int bits = static_cast<int>(reader.Get(4)) + 2;
    EXPECT_EQ(reader.Get(1), 1u) << "general line";
    const std::int32_t dx = reader.GetSigned(bits);
    const std::int32_t dy = reader.GetSigned(bits);
    edges.push_back({bits, dx, dy});
  }
  EXPECT_EQ(reader.Get(5), 0u) << "end record";
  return edges;
}

TEST(SwfShape, AFrameOf320By240IsTheKnown56ByteTag) {
  const auto shape = FrameShape(1, 320, 240, 2);
  EXPECT_EQ(shape->TagBytes(), kFrameShape320By240);
  EXPECT_EQ(shape->TagLength(), 56u);
  EXPECT_EQ(shape->TagBytes(), kFrameShape320By240);  // encoding again adds nothing
  EXPECT_EQ(shape->CharacterKind(), SwfCharacter::kShape);
}

TEST(SwfShape, ATenByTenFrameUsesNineBitEdges) {
  const Bytes tag = FrameShape(1, 10, 10, 2)->TagBytes();
  EXPECT_EQ(Le32(tag, 2), tag.size() - 6);
  // header 6, id 2, bounds (n = 9: 41 bits) 6, fills 1 + 10, lines 1 + 6, then the index bits
  ASSERT_EQ(tag.at(32), 0x11);
  BitReader reader(tag, 33);
  const auto edges = DecodeEdges(reader, 1, 1);
  ASSERT_EQ(edges.size(), 4u);
  const std::pair<int, int> deltas[] = {{200, 0}, {0, 200}, {-200, 0}, {0, -200}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(edges[i].bits, 9) << "edge " << i;
    EXPECT_EQ(edges[i].dx, deltas[i].first) << "edge " << i;
    EXPECT_EQ(edges[i].dy, deltas[i].second) << "edge " << i;
  }
  EXPECT_EQ(reader.BytesUsed(), tag.size());
}

TEST(SwfShape, ShortEdgesStillUseTwoBitDeltas) {
  SwfShape shape(1, 0, 0, 1, 1, 1);
  shape.AddBitmapFill(2, SwfShape::kFillClippedBitmap, SwfRect(0, 0, 1, 1), SwfRect(0, 0, 1, 1));
  shape.ChangeStyle(0, 1, 0, SwfPoint{0, 0});
  shape.AddStraightEdge(0, 0);
  shape.AddStraightEdge(0.05f, 0);  // one twip
  const Bytes tag = shape.TagBytes();
  // header 6, id 2, bounds (n = 6: 29 bits) 4, fills 1 + 10, no lines 1, then the index bits
  ASSERT_EQ(tag.at(24), 0x10);
  BitReader reader(tag, 25);
  const auto edges = DecodeEdges(reader, 1, 0);
  ASSERT_EQ(edges.size(), 2u);
  EXPECT_EQ(edges[0].bits, 2);
  EXPECT_EQ(edges[1].bits, 2);
  EXPECT_EQ(edges[1].dx, 1);
}

TEST(SwfShape, WithoutLineStylesTheCountAndIndexWidthAreZero) {
  SwfShape shape(3, 0, 0, 320, 240, 1);
  shape.AddBitmapFill(4, SwfShape::kFillClippedBitmap, SwfRect(0, 0, 320, 240), SwfRect(0, 0, 320, 240));
  shape.ChangeStyle(0, 1, 0, SwfPoint{0, 0});
  const Bytes tag = shape.TagBytes();
  // header 6, id 2, bounds 8, fill count and style 1 + 10, then the line count
  EXPECT_EQ(tag.at(27), 0x00);
  EXPECT_EQ(tag.at(28), 0x10);  // 1 fill index bit, 0 line index bits
  // style change with move (n = 1), fill 0 = 1, fill 1 = 0, then the end record
  EXPECT_EQ(Bytes(tag.begin() + 29, tag.end()), (Bytes{0x3C, 0x24, 0x00}));
}

TEST(SwfShape, StyleIndexWidthsGrowWithTheStyleCount) {
  SwfShape shape(1, 0, 0, 10, 10, 1);
  for (int i = 0; i < 3; ++i) shape.AddLineStyle(i, 0, 0, 0, 255);
  for (int i = 0; i < 4; ++i) {
    shape.AddBitmapFill(2, SwfShape::kFillClippedBitmap, SwfRect(0, 0, 10, 10), SwfRect(0, 0, 10, 10));
  }
  const Bytes tag = shape.TagBytes();
  // header 6, id 2, bounds 6, fill count 1, four fills of 10, line count 1, three lines of 6
  EXPECT_EQ(tag.at(14), 4);
  EXPECT_EQ(tag.at(55), 3);
  EXPECT_EQ(Bytes(tag.begin() + 56, tag.begin() + 62), (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0xFF}));
  EXPECT_EQ(Bytes(tag.begin() + 62, tag.begin() + 64), (Bytes{0x14, 0x00}));  // 1 pixel = 20 twips
  EXPECT_EQ(tag.at(74), 0x32);  // 3 fill bits (4 styles + none), 2 line bits
}

TEST(SwfShape, OnlyBitmapFillTypesAreTaken) {
  SwfShape shape(1, 0, 0, 10, 10, 1);
  const SwfRect r(0, 0, 10, 10);
  EXPECT_FALSE(shape.AddBitmapFill(2, 0x00, r, r));
  EXPECT_FALSE(shape.AddBitmapFill(2, 0x10, r, r));
  EXPECT_FALSE(shape.AddBitmapFill(2, 0x44, r, r));
  for (std::uint8_t type : {0x40, 0x41, 0x42, 0x43}) EXPECT_TRUE(shape.AddBitmapFill(2, type, r, r));
  const Bytes tag = shape.TagBytes();
  EXPECT_EQ(tag.at(14), 4);
  EXPECT_EQ(tag.at(15), 0x40);
  EXPECT_EQ(tag.at(45), 0x43);
}

TEST(SwfShape, BitmapFillMapsTheSourceOntoTheTarget) {
  SwfShape shape(1, 0, 0, 300, 100, 1);
  shape.AddBitmapFill(9, SwfShape::kFillClippedBitmap, SwfRect(0, 0, 100, 50), SwfRect(10, 20, 210, 70));
  const Bytes tag = shape.TagBytes();
  const auto bounds = testing::DecodeRect(tag, 8);
  const std::size_t at = 8 + bounds.bytes + 1;
  EXPECT_EQ(tag.at(at), 0x41);
  EXPECT_EQ(tag.at(at + 1), 9);
  BitReader reader(tag, at + 3);
  ASSERT_EQ(reader.Get(1), 1u);
  const int scaleBits = static_cast<int>(reader.Get(5));
  EXPECT_EQ(scaleBits, 23);  // whole part 40
  EXPECT_EQ(reader.GetSigned(scaleBits), 40 << 16);  // 20 * 200 / 100
  EXPECT_EQ(reader.GetSigned(scaleBits), 20 << 16);  // 20 * 50 / 50
  EXPECT_EQ(reader.Get(1), 0u);
  const int translateBits = static_cast<int>(reader.Get(5));
  EXPECT_EQ(reader.GetSigned(translateBits), 200);
  EXPECT_EQ(reader.GetSigned(translateBits), 400);
}

TEST(SwfShape, AnEmptySourceDoesNotDivideByZero) {
  SwfShape shape(1, 0, 0, 0, 0, 1);
  shape.AddBitmapFill(2, SwfShape::kFillClippedBitmap, SwfRect(0, 0, 0, 0), SwfRect(0, 0, 0, 0));
  const Bytes tag = shape.TagBytes();
  // bounds of all zeros: n = 1, 9 bits, 2 bytes; then the fill's matrix is a plain scale of 20
  EXPECT_EQ(Bytes(tag.begin() + 10, tag.begin() + 21),
            (Bytes{0x01, 0x41, 0x02, 0x00, 0xD9, 0x40, 0x00, 0x05, 0x00, 0x00, 0x00}));
}

TEST(SwfShape, EdgesLongerThanSeventeenBitsAreSplitExactly) {
  const Bytes tag = FrameShape(1, 7000, 4000, 2)->TagBytes();  // 140000 x 80000 twips
  const auto bounds = testing::DecodeRect(tag, 8);
  EXPECT_EQ(bounds.xMax, 140000);
  const std::size_t records = 8 + bounds.bytes + 1 + 10 + 1 + 6 + 1;
  BitReader reader(tag, records);
  const auto edges = DecodeEdges(reader, 1, 1);
  std::int64_t x = 0, y = 0;
  std::vector<std::pair<std::int64_t, std::int64_t>> corners;
  for (const Edge& edge : edges) {
    EXPECT_LE(edge.bits, 17);
    x += edge.dx;
    y += edge.dy;
    if ((x == 140000 || x == 0) && (y == 80000 || y == 0)) corners.emplace_back(x, y);
  }
  EXPECT_EQ(edges.size(), 3u + 2u + 3u + 2u);  // 140000 needs three pieces, 80000 two
  EXPECT_EQ(corners, (std::vector<std::pair<std::int64_t, std::int64_t>>{
                         {140000, 0}, {140000, 80000}, {0, 80000}, {0, 0}}));
  EXPECT_EQ(reader.BytesUsed(), tag.size());
}

}  // namespace
}  // namespace reelmill
