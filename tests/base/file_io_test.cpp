#include "imaging/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

size_t EntriesIn(const std::string& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(ReadFileBytes, ReadsWholeFilesWithinTheLimitOnly) {
  testing::TempDir dir;
  testing::WriteAll(dir / "a", {1, 2, 3});
  EXPECT_EQ(ReadFileBytes(dir / "a"), (Bytes{1, 2, 3}));
  EXPECT_FALSE(ReadFileBytes(dir / "a", 2));
  EXPECT_FALSE(ReadFileBytes(dir / "missing"));
  EXPECT_FALSE(ReadFileBytes(dir.Path()));  // a folder is not a file
  EXPECT_EQ(FileSize(dir / "a"), 3u);
  EXPECT_FALSE(FileSize(dir / "missing"));
}

TEST(AtomicFileWriter, ReplacesTheTargetOnlyOnCommit) {
  testing::TempDir dir;
  const std::string target = dir / "out.bin";
  testing::WriteAll(target, {9, 9});
  {
    AtomicFileWriter writer(target);
    ASSERT_TRUE(writer.Open());
    EXPECT_TRUE(writer.Write(Bytes{1, 2, 3}));
    EXPECT_EQ(testing::ReadAll(target), (Bytes{9, 9}));  // untouched while writing
    EXPECT_EQ(EntriesIn(dir.Path()), 2u);
    EXPECT_TRUE(writer.Commit());
  }
  EXPECT_EQ(testing::ReadAll(target), (Bytes{1, 2, 3}));
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);  // no temporary left behind
}

TEST(AtomicFileWriter, AnAbandonedWriteLeavesTheOldFileAndNoTemporary) {
  testing::TempDir dir;
  const std::string target = dir / "out.bin";
  testing::WriteAll(target, {9, 9});
  {
    AtomicFileWriter writer(target);
    ASSERT_TRUE(writer.Open());
    writer.Write(Bytes{1});
  }
  EXPECT_EQ(testing::ReadAll(target), (Bytes{9, 9}));
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(AtomicFileWriter, NewFilesGetOrdinaryPermissions) {
  testing::TempDir dir;
  ASSERT_TRUE(WriteFileAtomically(dir / "new", Bytes{5}));
  struct stat st {};
  ASSERT_EQ(::stat((dir / "new").c_str(), &st), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST(AtomicFileWriter, FailsCleanlyInAMissingFolder) {
  testing::TempDir dir;
  AtomicFileWriter writer(dir / "missing/out.bin");
  EXPECT_FALSE(writer.Open());
  EXPECT_FALSE(writer.Write(Bytes{1}));
  EXPECT_FALSE(writer.Commit());
  EXPECT_FALSE(WriteFileAtomically(dir / "missing/out.bin", Bytes{1}));
}

}  // namespace
}  // namespace reelmill

namespace reelmill {
namespace {

TEST(WriteFileBytes, CreatesOrTruncatesAndReportsAMissingFolder) {
  testing::TempDir dir;
  const std::string path = dir / "frame.jpg";
  testing::WriteAll(path, {9, 9, 9, 9});
  ASSERT_TRUE(WriteFileBytes(path, std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(testing::ReadAll(path), (std::vector<std::uint8_t>{1, 2}));
  EXPECT_TRUE(WriteFileBytes(dir / "empty", {}));
  EXPECT_EQ(FileSize(dir / "empty"), 0u);
  EXPECT_FALSE(WriteFileBytes(dir / "missing/frame.jpg", std::vector<std::uint8_t>{1}));
}

}  // namespace
}  // namespace reelmill
