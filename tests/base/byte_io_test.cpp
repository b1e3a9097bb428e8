#include <gtest/gtest.h>

#include <vector>

#include "imaging/byte_reader.h"

namespace reelmill {
namespace {

TEST(ByteReader, ReadsLittleEndianFieldsInOrder) {
  const std::vector<std::uint8_t> data{1, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF};
  ByteReader in(data);
  EXPECT_EQ(in.U8(), 1);
  EXPECT_EQ(in.U16le(), 0x1234);
  EXPECT_EQ(in.U32le(), 0x12345678u);
  EXPECT_EQ(in.Remaining(), 1u);
  EXPECT_EQ(in.PeekU8(), 0xFF);
  EXPECT_EQ(in.U8(), 0xFF);
  EXPECT_TRUE(in.AtEnd());
}

TEST(ByteReader, ShortReadsFailAndLeaveThePositionAlone) {
  const std::vector<std::uint8_t> data{1, 2, 3};
  ByteReader in(data, 1);
  EXPECT_FALSE(in.U32le());
  EXPECT_EQ(in.Offset(), 1u);
  EXPECT_FALSE(in.Bytes(3));
  EXPECT_FALSE(in.Skip(3));
  EXPECT_EQ(in.Offset(), 1u);
  EXPECT_EQ(in.U16le(), 0x0302);
  EXPECT_FALSE(in.U8());
  EXPECT_FALSE(in.PeekU8());
}

TEST(ByteReader, AbsoluteReadsAreCheckedAgainstTheEnd) {
  const std::vector<std::uint8_t> data{0xAA, 0xBB, 0xCC};
  const ByteReader in(data);
  EXPECT_EQ(in.U8At(2), 0xCC);
  EXPECT_FALSE(in.U8At(3));
  EXPECT_EQ(in.U16leAt(1), 0xCCBB);
  EXPECT_FALSE(in.U16leAt(2));
  EXPECT_FALSE(in.U32leAt(0));
  EXPECT_FALSE(in.U32leAt(SIZE_MAX - 1));
}

TEST(ByteReader, SeekPastTheEndFailsAndAnOffsetBeyondTheDataIsClamped) {
  const std::vector<std::uint8_t> data{1, 2};
  ByteReader in(data, 99);
  EXPECT_EQ(in.Offset(), 2u);
  EXPECT_FALSE(in.Seek(3));
  EXPECT_TRUE(in.Seek(0));
  EXPECT_EQ(in.U8(), 1);
}

}  // namespace
}  // namespace reelmill
