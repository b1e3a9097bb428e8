#include "imaging/bit_writer.h"

#include <gtest/gtest.h>

#include <vector>

#include "imaging/byte_writer.h"

namespace reelmill {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(BitWriter, FieldsFollowEachOtherMostSignificantBitFirst) {
  BitWriter bits;
  bits.Put(14, 5);  // 01110
  bits.Put(0, 14);
  bits.Put(6400, 14);  // 01100100000000
  bits.Put(0, 14);
  bits.Put(4800, 14);
  EXPECT_EQ(bits.BitCount(), 61u);
  EXPECT_EQ(bits.Bytes(), (Bytes{0x70, 0x00, 0x0C, 0x80, 0x00, 0x00, 0x96, 0x00}));
}

TEST(BitWriter, SignedValuesAreTwosComplementInTheirWidth) {
  BitWriter bits;
  bits.PutSigned(-1, 3);
  bits.PutSigned(-4, 3);
  bits.PutSigned(1, 2);
  EXPECT_EQ(bits.Bytes(), (Bytes{0b11110001}));
}

TEST(BitWriter, AlignToBytePadsWithZeroBitsAndNextFieldStartsFresh) {
  BitWriter bits;
  bits.Put(1, 1);
  bits.AlignToByte();
  EXPECT_EQ(bits.BitCount(), 8u);
  bits.Put(0xFF, 8);
  bits.AlignToByte();
  EXPECT_EQ(bits.Bytes(), (Bytes{0x80, 0xFF}));
  EXPECT_EQ(bits.BitCount(), 16u);
}

TEST(BitWriter, ThirtyTwoBitFieldsKeepEveryBit) {
  BitWriter bits;
  bits.Put(0xDEADBEEF, 32);
  EXPECT_EQ(bits.Bytes(), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
}

TEST(BitWriter, SignedWidthCountsTheSignBit) {
  EXPECT_EQ(BitWriter::SignedBitsNeeded({0}), 1);
  EXPECT_EQ(BitWriter::SignedBitsNeeded({1}), 2);
  EXPECT_EQ(BitWriter::SignedBitsNeeded({6400, 0, 4800}), 14);
  EXPECT_EQ(BitWriter::SignedBitsNeeded({200}), 9);
  EXPECT_EQ(BitWriter::SignedBitsNeeded({-6400}), 14);
  EXPECT_EQ(BitWriter::SignedBitsNeeded({32760}), 16);  // 2^15 > 32760
  EXPECT_EQ(BitWriter::SignedBitsNeeded({32768}), 17);
  EXPECT_EQ(BitWriter::SignedBitsNeeded({INT32_MIN}), 33);
}

TEST(ByteWriter, WritesLittleEndianFieldsAndFourccs) {
  ByteWriter out;
  out.Fourcc("RIFF");
  out.U32le(0x01020304);
  out.U16le(0xA1B2);
  out.U8(7);
  out.Zeros(2);
  const std::uint8_t tail[] = {9, 8};
  out.Bytes(tail);
  EXPECT_EQ(out.Buffer(), (Bytes{'R', 'I', 'F', 'F', 4, 3, 2, 1, 0xB2, 0xA1, 7, 0, 0, 9, 8}));
  EXPECT_EQ(out.Size(), 15u);
  const Bytes taken = out.Take();
  EXPECT_EQ(taken.size(), 15u);
}

}  // namespace
}  // namespace reelmill
