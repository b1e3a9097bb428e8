#include "writers/avi/avi_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "tests/support/container_reader.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::Le16;
using testing::Le32;
using testing::ReadAll;
using testing::Text;
using testing::WriteAll;

// A frame file as the recorder writes them: SOI and a JFIF APP0, then
// content that differs per seed so misplaced bytes show.
Bytes FrameBytes(std::size_t size, int seed = 1) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
  const Bytes head = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
  std::copy_n(head.begin(), std::min(size, head.size()), bytes.begin());
  return bytes;
}

// The frame as its chunk must hold it: "AVI1" in place of "JFIF", zero padding.
Bytes Stored(std::size_t size, int seed) {
  Bytes frame = FrameBytes(size, seed);
  std::copy_n("AVI1", 4, frame.begin() + 6);
  frame.resize((size + 3) / 4 * 4, 0);
  return frame;
}

Bytes Slice(const Bytes& bytes, std::size_t at, std::size_t n) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + n)};
}

std::size_t EntriesIn(const std::string& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// A writer with captured streams over a private folder.
struct AviFixture {
  testing::TempDir dir;
  std::ostringstream out, err;
  AviWriter writer{out, err};
  std::string output = dir / "out.avi";

  AviFixture() { writer.SetOutputPath(output); }
  std::string AddFrame(const std::string& name, std::size_t size, int seed = 1) {
    const std::string path = dir / name;
    WriteAll(path, FrameBytes(size, seed));
    EXPECT_EQ(writer.AddFrameFile(path), AviWriter::kOk) << path;
    return path;
  }
  int Write() {
    err.str("");
    return writer.Write();
  }
};

TEST(AviWriter, OneFrameGivesTheWholeHeaderChunkAndIndex) {
  AviFixture f;
  const std::string frame = f.AddFrame("frame.jpg", 1001);
  EXPECT_EQ(f.err.str(), frame + " size is 1001\n");
  f.writer.SetFrameRate(25);
  f.writer.SetFrameSize(100, 50);
  ASSERT_EQ(f.Write(), AviWriter::kOk) << f.err.str();
  EXPECT_EQ(f.out.str(), "dealing with " + frame + "\n");

  const Bytes file = ReadAll(f.output);
  ASSERT_EQ(file.size(), 1276u);
  const std::pair<std::size_t, std::uint32_t> fields[] = {
      {4, 1268}, {16, 208},       {28, 56},     {32, 40000}, {36, 25100}, {40, 0},      {44, 0x10},   {48, 1},
      {52, 0},   {56, 1},         {60, 0},      {64, 100},   {68, 50},    {72, 0},      {76, 0},      {80, 0},
      {84, 0},   {92, 132},       {104, 48},    {116, 0},    {120, 0},    {124, 0},     {128, 40000}, {132, 1000000},
      {136, 0},  {140, 1},        {144, 0},     {148, 0},    {152, 0},    {160, 40},    {164, 40},    {168, 100},
      {172, 50}, {176, 0x180001}, {184, 15000}, {188, 0},    {192, 0},    {196, 0},     {200, 0},     {208, 16},
      {220, 4},  {224, 1},        {232, 1016},  {244, 1004}, {1256, 16},  {1264, 0x12}, {1268, 4},    {1272, 1004}};
  for (const auto& [offset, value] : fields) EXPECT_EQ(Le32(file, offset), value) << "at offset " << offset;
  const std::pair<std::size_t, const char*> codes[] = {
      {0, "RIFF"},   {8, "AVI "},   {12, "LIST"},  {20, "hdrl"},  {24, "avih"},   {88, "LIST"},  {96, "strl"},
      {100, "strh"}, {108, "vids"}, {112, "MJPG"}, {156, "strf"}, {180, "MJPG"},  {204, "LIST"}, {212, "odml"},
      {216, "dmlh"}, {228, "LIST"}, {236, "movi"}, {240, "00db"}, {1252, "idx1"}, {1260, "00db"}};
  for (const auto& [offset, code] : codes) EXPECT_EQ(Text(file, offset, 4), code) << "at offset " << offset;
  EXPECT_EQ(Slice(file, 248, 1004), Stored(1001, 1));  // 3 pad bytes of 0
}

TEST(AviWriter, ChunksArePaddedAndIndexedFromMovi) {
  AviFixture f;
  f.AddFrame("a.jpg", 1000, 1);   // a multiple of 4: no pad bytes
  f.AddFrame("b.jpg", 70001, 2);  // spans several copy buffers
  f.AddFrame("c.jpg", 13, 3);
  ASSERT_EQ(f.Write(), AviWriter::kOk) << f.err.str();
  const Bytes file = ReadAll(f.output);
  const std::uint32_t total = 1000 + 70004 + 16;
  ASSERT_EQ(file.size(), 248u + total + 24 * 3);
  EXPECT_EQ(Le32(file, 4), 240u + total + 24 * 3);
  EXPECT_EQ(Le32(file, 232), 4u + total + 8 * 3);
  EXPECT_EQ(Le32(file, 36), std::uint32_t(std::uint64_t{total / 3} * 1000000 / 66666));  // 15 fps by default
  for (std::size_t offset : {48, 140, 224}) EXPECT_EQ(Le32(file, offset), 3u);

  const std::uint32_t offsets[] = {4, 1012, 71024}, sizes[] = {1000, 70004, 16};
  const std::size_t index = 240 + total + 8 * 3;
  EXPECT_EQ(Text(file, index, 4), "idx1");
  EXPECT_EQ(Le32(file, index + 4), 48u);
  for (int i = 0; i < 3; ++i) {
    const std::size_t chunk = 236 + offsets[i], entry = index + 8 + 16 * static_cast<std::size_t>(i);
    EXPECT_EQ(Text(file, chunk, 4), "00db");
    EXPECT_EQ(Le32(file, chunk + 4), sizes[i]);
    EXPECT_EQ(Slice(file, chunk + 8, sizes[i]), Stored(i == 0 ? 1000 : i == 1 ? 70001 : 13, i + 1)) << "frame " << i;
    EXPECT_EQ(Text(file, entry, 4), "00db");
    EXPECT_EQ((std::vector<std::uint32_t>{Le32(file, entry + 4), Le32(file, entry + 8), Le32(file, entry + 12)}),
              (std::vector<std::uint32_t>{0x12, offsets[i], sizes[i]}))
        << "index entry " << i;
  }
}

TEST(AviWriter, FramesGoInPathOrderWithNumbersByValue) {
  AviFixture f;
  const std::string b = f.AddFrame("b.jpg", 20, 2), frame10 = f.AddFrame("frame10.jpg", 24, 10);
  const std::string a = f.AddFrame("a.jpg", 20, 1), high = f.AddFrame("\xC3\xA9.jpg", 28, 4);  // above 0x7F: last
  const std::string frame1 = f.AddFrame("frame1.jpg", 16, 3), frame2 = f.AddFrame("frame2.jpg", 12, 5);
  // Past step 99999 the numbers grow a sixth digit.
  const std::string step100000 = f.AddFrame("c.gif100000.jpg", 16, 7), step99999 = f.AddFrame("c.gif99999.jpg", 12, 6);
  ASSERT_EQ(f.Write(), AviWriter::kOk) << f.err.str();
  std::string expected;
  for (const std::string& path : {a, b, step99999, step100000, frame1, frame2, frame10, high})
    expected += "dealing with " + path + "\n";
  EXPECT_EQ(f.out.str(), expected);
  const Bytes file = ReadAll(f.output);
  std::size_t at = 248;
  for (const auto& [size, seed] : {std::pair{20, 1}, {20, 2}, {12, 6}, {16, 7}, {16, 3}, {12, 5}, {24, 10}, {28, 4}}) {
    EXPECT_EQ(Slice(file, at, size), Stored(size, seed)) << "seed " << seed;
    at += size + 8;
  }
  EXPECT_EQ((std::vector<std::uint32_t>{Le32(file, 64), Le32(file, 68), Le32(file, 184)}),
            (std::vector<std::uint32_t>{320, 240, 320 * 240 * 3}));  // the default size
}

TEST(AviWriter, AFileShownSeveralTimesFillsThatManyFramesAndIndexEntries) {
  AviFixture f;
  const std::string a = f.dir / "a.jpg", b = f.dir / "b.jpg";
  WriteAll(a, FrameBytes(20, 1));
  WriteAll(b, FrameBytes(16, 2));
  ASSERT_EQ(f.writer.AddFrameFile(a, 3), AviWriter::kOk);
  ASSERT_EQ(f.writer.AddFrameFile(b), AviWriter::kOk);
  EXPECT_EQ(f.writer.AddFrameFile(b, 0), AviWriter::kPreparationFailed);
  ASSERT_EQ(f.Write(), AviWriter::kOk) << f.err.str();
  const Bytes file = ReadAll(f.output);
  const auto movie = testing::ReadAvi(file);
  EXPECT_EQ(movie.totalFrames, 4u);
  EXPECT_EQ(movie.frames, (std::vector<Bytes>{Stored(20, 1), Stored(20, 1), Stored(20, 1), Stored(16, 2)}));
  const std::size_t index = file.size() - 4 * 16;
  for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(Le32(file, index + 16 * i + 8), 4 + 28 * i) << "entry " << i;
}

TEST(AviWriter, FrameRateSetsTheTimePerFrame) {
  for (const auto& [fps, us] :
       {std::pair{10, 100000u}, {15, 66666u}, {30, 33333u}, {0, 1000000u}, {-5, 1000000u}, {2000000, 1u}}) {
    AviFixture f;
    f.AddFrame("f.jpg", 400);
    f.writer.SetFrameRate(fps);
    ASSERT_EQ(f.Write(), AviWriter::kOk) << f.err.str();
    const Bytes file = ReadAll(f.output);
    EXPECT_EQ(Le32(file, 32), us) << fps << " fps";
    EXPECT_EQ(Le32(file, 128), us) << fps << " fps";
    EXPECT_EQ(Le32(file, 36), std::uint32_t(400ull * 1000000 / us)) << fps << " fps";
  }
}

TEST(AviWriter, EmptyOrMissingFramesAreRefusedAtRegistration) {
  AviFixture f;
  const std::string empty = f.dir / "empty.jpg";
  WriteAll(empty, {});
  EXPECT_EQ(f.writer.AddFrameFile(empty), AviWriter::kPreparationFailed);
  EXPECT_EQ(f.writer.AddFrameFile(f.dir / "missing.jpg"), AviWriter::kPreparationFailed);
  EXPECT_EQ(f.writer.AddFrameFile(f.dir.Path()), AviWriter::kPreparationFailed);  // a folder
  EXPECT_EQ(f.err.str(), empty + " size is 0\n");
  EXPECT_EQ(f.Write(), AviWriter::kPreparationFailed);  // nothing registered: no file, no message
  EXPECT_FALSE(fs::exists(f.output));
  EXPECT_EQ(f.err.str(), "");
  f.AddFrame("real.jpg", 40);
  ASSERT_EQ(f.Write(), AviWriter::kOk);
  EXPECT_EQ(ReadAll(f.output).size(), 248u + 40 + 24);
}

TEST(AviWriter, FailuresNameTheCauseAndKeepTheExistingOutput) {
  const auto check = [](AviFixture& f, int code, const std::string& message) {
    WriteAll(f.output, {'o', 'l', 'd'});
    const std::size_t entries = EntriesIn(f.dir.Path());
    EXPECT_EQ(f.Write(), code);
    EXPECT_EQ(f.err.str(), message);
    EXPECT_EQ(ReadAll(f.output), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(EntriesIn(f.dir.Path()), entries);  // no temporary left behind
  };
  {
    AviFixture f;
    f.AddFrame("a.jpg", 100);
    const std::string b = f.AddFrame("b.jpg", 200);
    WriteAll(b, FrameBytes(150));  // changed since it was measured
    check(f, AviWriter::kFrameSizeChanged, "error writing images (wrote 250 bytes, expected 300 bytes)\n");
  }
  {
    AviFixture f;
    const std::string a = f.AddFrame("a.jpg", 100);
    fs::remove(a);
    check(f, AviWriter::kCannotOpenFrame, "couldn't open file (" + a + ")!\n");
  }
  {
    AviFixture f;
    const std::string a = f.AddFrame("a.jpg", 100);
    WriteAll(a, {0xFF, 0xD8, 0xFF, 0xE0, 0x00});  // shorter than the 6 bytes before "AVI1"
    check(f, AviWriter::kFrameReadError, "reading error\n");
  }
  {
    AviFixture f;
    f.AddFrame("a.jpg", 100);
    f.output = f.dir / "taken";  // a folder with content cannot be replaced by the file
    fs::create_directory(f.output);
    WriteAll(f.output + "/x", {});
    f.writer.SetOutputPath(f.output);
    EXPECT_EQ(f.Write(), AviWriter::kCannotWriteOutput);
    EXPECT_EQ(f.err.str(), "Can't write to the file (" + f.output + ")!\n");
    EXPECT_EQ(EntriesIn(f.dir.Path()), 2u);
    f.writer.SetOutputPath(f.dir / "missing/out.avi");
    EXPECT_EQ(f.Write(), AviWriter::kCannotWriteOutput);
    EXPECT_EQ(f.err.str(), "Can't create a new file to write (" + f.dir / "missing/out.avi" + ")!\n");
  }
}

// Sizes near the limit use sparse files; the output folder does not exist, so
// an accepted size shows as "cannot create" without writing gigabytes.
TEST(AviWriter, RiffSizeLimitIsCheckedWithoutWrapping) {
  const std::uint64_t under = (1ull << 31) - 4 - 264;  // RIFF size 2^31 - 4 with one frame
  const std::pair<std::vector<std::uint64_t>, int> cases[] = {
      {{under}, AviWriter::kCannotWriteOutput},
      {{under + 4}, AviWriter::kPreparationFailed},         // exactly 2^31
      {{(1ull << 32) + 4}, AviWriter::kPreparationFailed},  // would wrap to a small total in 32 bits
      {{1ull << 31, 1ull << 31, 1ull << 31}, AviWriter::kPreparationFailed},
  };
  for (const auto& [sizes, code] : cases) {
    AviFixture f;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      const std::string path = f.dir / ("f" + std::to_string(i));
      WriteAll(path, {});
      ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(sizes[i])), 0);
      ASSERT_EQ(f.writer.AddFrameFile(path), AviWriter::kOk);
    }
    f.writer.SetOutputPath(f.dir / "missing/out.avi");
    EXPECT_EQ(f.Write(), code) << sizes[0];
    EXPECT_EQ(f.err.str().find("RIFF would exceed 2 Gb limit\n") == 0, code == AviWriter::kPreparationFailed);
  }
}

}  // namespace
}  // namespace reelmill
