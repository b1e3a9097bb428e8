#include "writers/swf/swf_shape.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/writers/swf_test_reader.h"

namespace reelmill {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::BitReader;

const Bytes kFrameShape320By240 = {0x3F, 0x08, 0x32, 0x00, 0x00, 0x00, 0x01, 0x00, 0x70, 0x00, 0x0C, 0x80, 0x00, 0x00,
                                   0x96, 0x00, 0x01, 0x41, 0x02, 0x00, 0xD9, 0x40, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01,
                                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x11, 0x3C, 0x25, 0xF2, 0xC8, 0x00, 0x00, 0x1E,
                                   0x40, 0x00, 0x4B, 0x03, 0xCC, 0xE0, 0x00, 0x00, 0x79, 0x00, 0x02, 0xD4, 0x00, 0x00};

// A movie frame's shape: a rectangle of the frame's size filled with a bitmap.
Bytes FrameShapeTag(float w, float h) {
  SwfShape shape(1, 0, 0, w, h, 1);
  shape.AddLineStyle(0, 0, 0, 0, 0);
  shape.AddBitmapFill(2, SwfShape::kFillClippedBitmap, SwfRect(0, 0, w, h), SwfRect(0, 0, w, h));
  shape.ChangeStyle(1, 1, 0, SwfPoint{0, 0});
  shape.AddStraightEdge(w, 0);
  shape.AddStraightEdge(0, h);
  shape.AddStraightEdge(-w, 0);
  shape.AddStraightEdge(0, -h);
  return shape.TagBytes();
}

struct Edge {
  int bits;
  std::int32_t dx, dy;
  bool operator==(const Edge&) const = default;
};

// The edges after the frame shape's style change (1 fill and 1 line index bit).
std::vector<Edge> EdgesOf(const Bytes& tag) {
  const auto bounds = testing::DecodeRect(tag, 8);
  BitReader r(tag, 8 + bounds.bytes + 1 + 10 + 1 + 6 + 1);
  EXPECT_EQ(r.Get(6), 0b001111u) << "style change setting all styles and moving";
  const int moveBits = static_cast<int>(r.Get(5));
  r.Get(2 * moveBits + 3);
  std::vector<Edge> edges;
  while (r.Get(1) == 1) {
    EXPECT_EQ(r.Get(1), 1u) << "straight";
    Edge edge{static_cast<int>(r.Get(4)) + 2, 0, 0};
    EXPECT_EQ(r.Get(1), 1u) << "general line";
    edge.dx = r.GetSigned(edge.bits);
    edge.dy = r.GetSigned(edge.bits);
    edges.push_back(edge);
  }
  EXPECT_EQ(r.Get(5), 0u) << "end record";
  EXPECT_EQ(r.BytesUsed(), tag.size());
  return edges;
}

TEST(SwfShape, AFrameOf320By240IsTheKnown56ByteTag) {
  EXPECT_EQ(FrameShapeTag(320, 240), kFrameShape320By240);
  SwfShape shape(1, 0, 0, 1, 1, 1);
  const Bytes first = shape.TagBytes();
  EXPECT_EQ(shape.TagBytes(), first);  // encoding again adds no second end record
}

TEST(SwfShape, EdgeWidthsFollowTheirDeltas) {
  EXPECT_EQ(EdgesOf(FrameShapeTag(10, 10)), (std::vector<Edge>{{9, 200, 0}, {9, 0, 200}, {9, -200, 0}, {9, 0, -200}}));
  EXPECT_EQ(EdgesOf(FrameShapeTag(0.05f, 0)),  // never narrower than 2 bits
            (std::vector<Edge>{{2, 1, 0}, {2, 0, 0}, {2, -1, 0}, {2, 0, 0}}));
}

TEST(SwfShape, EdgesPastSeventeenBitsAreSplitExactly) {
  const std::vector<Edge> edges = EdgesOf(FrameShapeTag(7000, 4000));  // 140000 x 80000 twips
  ASSERT_EQ(edges.size(), 3u + 2u + 3u + 2u);
  std::int64_t x = 0, y = 0;
  for (std::size_t i = 0; i < edges.size(); ++i) {
    EXPECT_LE(edges[i].bits, 17);
    x += edges[i].dx;
    y += edges[i].dy;
    if (i == 2 || i == 4) {  // the corners
      EXPECT_EQ(x, 140000);
      EXPECT_EQ(y, i == 2 ? 0 : 80000);
    }
  }
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

TEST(SwfShape, WithoutLineStylesTheCountAndIndexWidthAreZero) {
  SwfShape shape(3, 0, 0, 320, 240, 1);
  shape.AddBitmapFill(4, SwfShape::kFillClippedBitmap, SwfRect(0, 0, 320, 240), SwfRect(0, 0, 320, 240));
  shape.ChangeStyle(0, 1, 0, SwfPoint{0, 0});
  const Bytes tag = shape.TagBytes();
  // line count 0, 1 fill index bit and 0 line index bits, the style change, the end record
  EXPECT_EQ(Bytes(tag.begin() + 27, tag.end()), (Bytes{0x00, 0x10, 0x3C, 0x24, 0x00}));
}

TEST(SwfShape, StylesListsAndIndexWidths) {
  SwfShape shape(1, 0, 0, 10, 10, 1);
  const SwfRect r(0, 0, 10, 10);
  for (int i = 0; i < 3; ++i) shape.AddLineStyle(i, 0, 0, 0, 255);
  for (std::uint8_t type : {0x00, 0x10, 0x44}) EXPECT_FALSE(shape.AddBitmapFill(2, type, r, r)) << int(type);
  for (std::uint8_t type : {0x40, 0x41, 0x42, 0x43}) EXPECT_TRUE(shape.AddBitmapFill(2, type, r, r));
  const Bytes tag = shape.TagBytes();
  // bounds of 6 bytes, then 4 fills of 10 bytes, 3 lines of 6, the index widths
  EXPECT_EQ(tag.at(14), 4);
  EXPECT_EQ(tag.at(15), 0x40);
  EXPECT_EQ(tag.at(45), 0x43);
  EXPECT_EQ(tag.at(55), 3);
  EXPECT_EQ(Bytes(tag.begin() + 56, tag.begin() + 64), (Bytes{0, 0, 0, 0, 0, 0xFF, 0x14, 0x00}));  // 1 px = 20
  EXPECT_EQ(tag.at(74), 0x32);  // 3 fill bits (4 styles and none), 2 line bits
}

TEST(SwfShape, BitmapFillMapsTheSourceOntoTheTarget) {
  SwfShape shape(1, 0, 0, 300, 100, 1);
  shape.AddBitmapFill(9, SwfShape::kFillClippedBitmap, SwfRect(0, 0, 100, 50), SwfRect(10, 20, 210, 70));
  const Bytes tag = shape.TagBytes();
  const std::size_t fill = 8 + testing::DecodeRect(tag, 8).bytes + 1;
  EXPECT_EQ(Bytes(tag.begin() + fill, tag.begin() + fill + 3), (Bytes{0x41, 0x09, 0x00}));
  BitReader r(tag, fill + 3);
  ASSERT_EQ(r.Get(1), 1u);
  const int scaleBits = static_cast<int>(r.Get(5));
  EXPECT_EQ(scaleBits, 23);                     // whole part 40
  EXPECT_EQ(r.GetSigned(scaleBits), 40 << 16);  // 20 * 200 / 100
  EXPECT_EQ(r.GetSigned(scaleBits), 20 << 16);  // 20 * 50 / 50
  EXPECT_EQ(r.Get(1), 0u);
  const int translateBits = static_cast<int>(r.Get(5));
  EXPECT_EQ(r.GetSigned(translateBits), 200);
  EXPECT_EQ(r.GetSigned(translateBits), 400);

  SwfShape empty(1, 0, 0, 0, 0, 1);  // an empty source is not divided by
  empty.AddBitmapFill(2, SwfShape::kFillClippedBitmap, SwfRect(0, 0, 0, 0), SwfRect(0, 0, 0, 0));
  const Bytes emptyTag = empty.TagBytes();
  EXPECT_EQ(Bytes(emptyTag.begin() + 10, emptyTag.begin() + 21),
            (Bytes{0x01, 0x41, 0x02, 0x00, 0xD9, 0x40, 0x00, 0x05, 0x00, 0x00, 0x00}));
}

}  // namespace
}  // namespace reelmill
