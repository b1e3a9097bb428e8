#include "writers/avi/avi_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "tests/support/test_support.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::Le16;
using testing::Le32;
using testing::ReadAll;
using testing::TempDir;
using testing::Text;
using testing::WriteAll;

// A frame file as the recorder writes them: SOI, a JFIF APP0, then content
// that differs per seed so misplaced bytes show.
Bytes FrameBytes(std::size_t size, std::uint8_t seed = 1) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
  const Bytes head = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
  std::copy_n(head.begin(), std::min(size, head.size()), bytes.begin());
  return bytes;
}

// The frame as it must appear inside its chunk: "AVI1" in place of "JFIF".
Bytes AsStored(Bytes frame) {
  const char* avi1 = "AVI1";
  for (std::size_t i = 6; i < 10 && i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(avi1[i - 6]);
  return frame;
}

Bytes Slice(const Bytes& bytes, std::size_t at, std::size_t n) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
}

// Writer with captured streams over a private folder.
struct AviFixture {
  TempDir dir;
  std::ostringstream out;
  std::ostringstream err;
  AviWriter writer{out, err};
  std::string output = dir / "out.avi";

  AviFixture() { writer.SetOutputPath(output); }
  std::string AddFrame(const std::string& name, std::size_t size, std::uint8_t seed = 1) {
    const std::string path = dir / name;
    WriteAll(path, FrameBytes(size, seed));
    EXPECT_EQ(writer.AddFrameFile(path), AviWriter::kOk) << path;
    return path;
  }
};

TEST(AviWriter, OneFrameGivesTheWholeHeaderChunkAndIndex) {
  AviFixture f;
  const std::string frame = f.AddFrame("frame.jpg", 1001);
  f.writer.SetFrameRate(25);
  f.writer.SetFrameSize(100, 50);
  ASSERT_EQ(f.writer.Write(), AviWriter::kOk) << f.err.str();

  const Bytes file = ReadAll(f.output);
  ASSERT_EQ(file.size(), 1276u);

  struct Field {
    std::size_t offset;
    std::uint32_t value;
  };
  const Field fields[] = {
      {4, 1268},     {16, 208},  {28, 56},     {32, 40000}, {36, 25100}, {40, 0},       {44, 0x10}, {48, 1},
      {52, 0},       {56, 1},    {60, 0},      {64, 100},   {68, 50},    {72, 0},       {76, 0},    {80, 0},
      {84, 0},       {92, 132},  {104, 48},    {116, 0},    {124, 0},    {128, 40000},  {132, 1000000},
      {136, 0},      {140, 1},   {144, 0},     {148, 0},    {152, 0},    {160, 40},     {164, 40},  {168, 100},
      {172, 50},     {184, 15000}, {188, 0},   {192, 0},    {196, 0},    {200, 0},      {208, 16},  {220, 4},
      {224, 1},      {232, 1016}, {244, 1004}, {1256, 16},  {1264, 0x12}, {1268, 4},    {1272, 1004},
  };
  for (const Field& field : fields) EXPECT_EQ(Le32(file, field.offset), field.value) << "at offset " << field.offset;
  EXPECT_EQ(Le16(file, 120), 0u);  // priority
  EXPECT_EQ(Le16(file, 122), 0u);  // language
  EXPECT_EQ(Le16(file, 176), 1u);  // planes
  EXPECT_EQ(Le16(file, 178), 24u);  // bit count

  struct Code {
    std::size_t offset;
    const char* text;
  };
  const Code codes[] = {{0, "RIFF"},   {8, "AVI "},   {12, "LIST"},  {20, "hdrl"},  {24, "avih"},   {88, "LIST"},
                        {96, "strl"},  {100, "strh"}, {108, "vids"}, {112, "MJPG"}, {156, "strf"},  {180, "MJPG"},
                        {204, "LIST"}, {212, "odml"}, {216, "dmlh"}, {228, "LIST"}, {236, "movi"},  {240, "00db"},
                        {1252, "idx1"}, {1260, "00db"}};
  for (const Code& code : codes) EXPECT_EQ(Text(file, code.offset, 4), code.text) << "at offset " << code.offset;

  EXPECT_EQ(Slice(file, 248, 1001), AsStored(FrameBytes(1001)));
  EXPECT_EQ(Slice(file, 1249, 3), (Bytes{0, 0, 0}));  // pad bytes

  EXPECT_EQ(f.err.str(), frame + " size is 1001\n");
  EXPECT_EQ(f.out.str(), "dealing with " + frame + "\n");
}

TEST(AviWriter, IndexOffsetsFollowThePaddedChunks) {
  AviFixture f;
  f.AddFrame("a.jpg", 1000, 1);
  f.AddFrame("b.jpg", 2000, 2);
  f.AddFrame("c.jpg", 13, 3);
  ASSERT_EQ(f.writer.Write(), AviWriter::kOk) << f.err.str();
  const Bytes file = ReadAll(f.output);

  const std::uint32_t total = 1000 + 2000 + 16;
  ASSERT_EQ(file.size(), 248u + total + 24 * 3);
  EXPECT_EQ(Le32(file, 4), 240u + total + 24 * 3);
  EXPECT_EQ(Le32(file, 232), 4u + total + 8 * 3);
  EXPECT_EQ(Le32(file, 48), 3u);
  EXPECT_EQ(Le32(file, 140), 3u);
  EXPECT_EQ(Le32(file, 224), 3u);

  // A size that is already a multiple of 4 gets no pad bytes: chunks are back to back.
  EXPECT_EQ(Text(file, 240, 4), "00db");
  EXPECT_EQ(Le32(file, 244), 1000u);
  EXPECT_EQ(Slice(file, 248, 1000), AsStored(FrameBytes(1000, 1)));
  EXPECT_EQ(Text(file, 1248, 4), "00db");
  EXPECT_EQ(Le32(file, 1252), 2000u);
  EXPECT_EQ(Slice(file, 1256, 2000), AsStored(FrameBytes(2000, 2)));
  EXPECT_EQ(Text(file, 3256, 4), "00db");
  EXPECT_EQ(Le32(file, 3260), 16u);
  EXPECT_EQ(Slice(file, 3264, 13), AsStored(FrameBytes(13, 3)));
  EXPECT_EQ(Slice(file, 3277, 3), (Bytes{0, 0, 0}));
  const std::size_t index = 240 + total + 8 * 3;
  EXPECT_EQ(Text(file, index, 4), "idx1");
  EXPECT_EQ(Le32(file, index + 4), 48u);
  const std::uint32_t offsets[] = {4, 1012, 3020};
  const std::uint32_t sizes[] = {1000, 2000, 16};
  for (int i = 0; i < 3; ++i) {
    const std::size_t entry = index + 8 + 16 * static_cast<std::size_t>(i);
    EXPECT_EQ(Text(file, entry, 4), "00db");
    EXPECT_EQ(Le32(file, entry + 4), 0x12u);
    EXPECT_EQ(Le32(file, entry + 8), offsets[i]) << "frame " << i;
    EXPECT_EQ(Le32(file, entry + 12), sizes[i]) << "frame " << i;
  }
  // Maximum bytes per second: average padded frame times the frame rate (15 fps by default).
  EXPECT_EQ(Le32(file, 32), 66666u);
  EXPECT_EQ(Le32(file, 36), static_cast<std::uint32_t>(std::uint64_t{total / 3} * 1000000 / 66666));
}

TEST(AviWriter, LargeFramesAreCopiedWhole) {
  AviFixture f;
  f.AddFrame("big.jpg", 300001, 9);  // spans many copy buffers, ends unaligned
  ASSERT_EQ(f.writer.Write(), AviWriter::kOk) << f.err.str();
  const Bytes file = ReadAll(f.output);
  EXPECT_EQ(Le32(file, 244), 300004u);
  EXPECT_EQ(Slice(file, 248, 300001), AsStored(FrameBytes(300001, 9)));
  EXPECT_EQ(Slice(file, 248 + 300001, 3), (Bytes{0, 0, 0}));
}

TEST(AviWriter, FramesAreWrittenInByteWisePathOrder) {
  AviFixture f;
  const std::string b = f.AddFrame("b.jpg", 20, 2);
  const std::string frame10 = f.AddFrame("frame10.jpg", 24, 10);
  const std::string a = f.AddFrame("a.jpg", 20, 1);
  const std::string high = f.AddFrame("\xC3\xA9.jpg", 28, 4);  // bytes above 0x7F sort last
  const std::string frame1 = f.AddFrame("frame1.jpg", 16, 3);
  ASSERT_EQ(f.writer.Write(), AviWriter::kOk) << f.err.str();

  EXPECT_EQ(f.out.str(), "dealing with " + a + "\ndealing with " + b + "\ndealing with " + frame1 +
                             "\ndealing with " + frame10 + "\ndealing with " + high + "\n");
  const Bytes file = ReadAll(f.output);
  std::size_t at = 240;
  const std::pair<std::size_t, std::uint8_t> order[] = {{20, 1}, {20, 2}, {16, 3}, {24, 10}, {28, 4}};
  for (const auto& [size, seed] : order) {
    EXPECT_EQ(Le32(file, at + 4), size);
    EXPECT_EQ(Slice(file, at + 8, size), AsStored(FrameBytes(size, seed))) << "frame of seed " << int(seed);
    at += 8 + size;
  }
}

TEST(AviWriter, FrameRateSetsTheTimePerFrame) {
  const std::pair<int, std::uint32_t> cases[] = {{10, 100000}, {15, 66666}, {25, 40000}, {30, 33333},
                                                 {0, 1000000},  {-5, 1000000}, {2000000, 1}};
  for (const auto& [fps, us] : cases) {
    AviFixture f;
    f.AddFrame("f.jpg", 400);
    f.writer.SetFrameRate(fps);
    ASSERT_EQ(f.writer.Write(), AviWriter::kOk) << f.err.str();
    const Bytes file = ReadAll(f.output);
    EXPECT_EQ(Le32(file, 32), us) << fps << " fps";
    EXPECT_EQ(Le32(file, 128), us) << fps << " fps";
    EXPECT_EQ(Le32(file, 132), 1000000u);
    EXPECT_EQ(Le32(file, 36), std::uint32_t(400ull * 1000000 / us)) << fps << " fps";
  }
}

TEST(AviWriter, DefaultsAre320By240At15Fps) {
  AviFixture f;
  f.AddFrame("f.jpg", 100);
  ASSERT_EQ(f.writer.Write(), AviWriter::kOk);
  const Bytes file = ReadAll(f.output);
  EXPECT_EQ(Le32(file, 64), 320u);
  EXPECT_EQ(Le32(file, 68), 240u);
  EXPECT_EQ(Le32(file, 168), 320u);
  EXPECT_EQ(Le32(file, 172), 240u);
  EXPECT_EQ(Le32(file, 184), 320u * 240 * 3);
  EXPECT_EQ(Le32(file, 32), 66666u);
}

TEST(AviWriter, EmptyOrMissingFramesAreRefusedAtRegistration) {
  AviFixture f;
  const std::string empty = f.dir / "empty.jpg";
  WriteAll(empty, {});
  EXPECT_EQ(f.writer.AddFrameFile(empty), AviWriter::kPreparationFailed);
  EXPECT_EQ(f.writer.AddFrameFile(f.dir / "missing.jpg"), AviWriter::kPreparationFailed);
  EXPECT_EQ(f.writer.AddFrameFile(f.dir.Path()), AviWriter::kPreparationFailed);  // a folder
  EXPECT_EQ(f.err.str(), empty + " size is 0\n");

  // Nothing registered: no file, no message.
  f.err.str("");
  EXPECT_EQ(f.writer.Write(), AviWriter::kPreparationFailed);
  EXPECT_FALSE(fs::exists(f.output));
  EXPECT_EQ(f.err.str(), "");

  f.AddFrame("real.jpg", 40);
  ASSERT_EQ(f.writer.Write(), AviWriter::kOk);
  const Bytes file = ReadAll(f.output);
  EXPECT_EQ(Le32(file, 48), 1u);
  EXPECT_EQ(file.size(), 248u + 40 + 24);
}

size_t EntriesIn(const std::string& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(AviWriter, AFrameThatChangesSizeFailsAndKeepsTheExistingOutput) {
  AviFixture f;
  WriteAll(f.output, {'o', 'l', 'd'});
  f.AddFrame("a.jpg", 100);
  const std::string b = f.AddFrame("b.jpg", 200);
  WriteAll(b, FrameBytes(150));
  f.err.str("");
  EXPECT_EQ(f.writer.Write(), AviWriter::kFrameSizeChanged);
  EXPECT_EQ(f.err.str(), "error writing images (wrote 250 bytes, expected 300 bytes)\n");
  EXPECT_EQ(ReadAll(f.output), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(EntriesIn(f.dir.Path()), 3u);  // no temporary left behind
}

TEST(AviWriter, FailuresWhileWritingNameTheCauseAndLeaveNoOutput) {
  {  // the output folder does not exist
    AviFixture f;
    f.AddFrame("a.jpg", 100);
    const std::string output = f.dir / "no/such/folder/out.avi";
    f.writer.SetOutputPath(output);
    f.err.str("");
    EXPECT_EQ(f.writer.Write(), AviWriter::kCannotWriteOutput);
    EXPECT_EQ(f.err.str(), "Can't create a new file to write (" + output + ")!\n");
  }
  {  // a frame file vanished after registration
    AviFixture f;
    WriteAll(f.output, {'o', 'l', 'd'});
    f.AddFrame("a.jpg", 100);
    const std::string b = f.AddFrame("b.jpg", 100);
    fs::remove(b);
    f.err.str("");
    EXPECT_EQ(f.writer.Write(), AviWriter::kCannotOpenFrame);
    EXPECT_EQ(f.err.str(), "couldn't open file (" + b + ")!\n");
    EXPECT_EQ(ReadAll(f.output), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(EntriesIn(f.dir.Path()), 2u);
  }
  {  // a frame file shrank below the bytes kept in front of "AVI1"
    AviFixture f;
    const std::string a = f.AddFrame("a.jpg", 100);
    WriteAll(a, {0xFF, 0xD8, 0xFF, 0xE0, 0x00});
    f.err.str("");
    EXPECT_EQ(f.writer.Write(), AviWriter::kFrameReadError);
    EXPECT_EQ(f.err.str(), "reading error\n");
    EXPECT_FALSE(fs::exists(f.output));
    EXPECT_EQ(EntriesIn(f.dir.Path()), 1u);
  }
}

// Sizes near the limit are made with sparse files; the output goes to a folder
// that does not exist, so an accepted size shows as "cannot create" without
// writing gigabytes.
class AviWriterLimit : public ::testing::Test {
 protected:
  int WriteSparseFrames(std::initializer_list<std::uint64_t> sizes) {
    int i = 0;
    for (std::uint64_t size : sizes) {
      const std::string path = dir_ / ("frame" + std::to_string(i++) + ".jpg");
      WriteAll(path, {});
      if (::truncate(path.c_str(), static_cast<off_t>(size)) != 0) ADD_FAILURE() << "cannot size " << path;
      EXPECT_EQ(writer_.AddFrameFile(path), AviWriter::kOk);
    }
    writer_.SetOutputPath(dir_ / "missing/out.avi");
    err_.str("");
    return writer_.Write();
  }
  std::string Errors() const { return err_.str(); }

 private:
  TempDir dir_;
  std::ostringstream out_;
  std::ostringstream err_;
  AviWriter writer_{out_, err_};
};

TEST_F(AviWriterLimit, ARiffSizeOf2GbMinus4IsAccepted) {
  // RIFF size = T + 24 n + 240 = 2^31 - 4 with one frame.
  EXPECT_EQ(WriteSparseFrames({(1ull << 31) - 4 - 264}), AviWriter::kCannotWriteOutput);
  EXPECT_EQ(Errors().find("RIFF would exceed"), std::string::npos) << Errors();
}

TEST_F(AviWriterLimit, ARiffSizeOf2GbIsRefused) {
  EXPECT_EQ(WriteSparseFrames({(1ull << 31) - 264}), AviWriter::kPreparationFailed);
  EXPECT_EQ(Errors(), "RIFF would exceed 2 Gb limit\n");
}

TEST_F(AviWriterLimit, SizesThatWouldWrapIn32BitsAreRefused) {
  // 2^32 + 4 would wrap to a tiny total in 32-bit arithmetic.
  EXPECT_EQ(WriteSparseFrames({(1ull << 32) + 4}), AviWriter::kPreparationFailed);
  EXPECT_EQ(Errors(), "RIFF would exceed 2 Gb limit\n");
}

TEST_F(AviWriterLimit, ManyFramesTogetherPastTheLimitAreRefused) {
  EXPECT_EQ(WriteSparseFrames({1ull << 31, 1ull << 31, 1ull << 31}), AviWriter::kPreparationFailed);
  EXPECT_EQ(Errors(), "RIFF would exceed 2 Gb limit\n");
}

}  // namespace
}  // namespace reelmill
