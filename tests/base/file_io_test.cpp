#include "imaging/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

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

TEST(AtomicFileWriter, NewFilesGetTheUmaskWhateverTheThreadsDo) {
  // The umask belongs to the process: no writer may read it by setting it.
  testing::TempDir dir;
  const mode_t previous = ::umask(022);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 150; ++i) WriteFileAtomically(dir / (std::to_string(t) + "-" + std::to_string(i)), Bytes{5});
    });
  }
  for (auto& thread : threads) thread.join();
  const mode_t after = ::umask(previous);
  EXPECT_EQ(after, 022u);
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    struct stat st {};
    ASSERT_EQ(::stat(entry.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << entry.path();
    ++files;
  }
  EXPECT_EQ(files, 8 * 150);
}

TEST(ReadFileBytes, RefusesANamedPipeWithoutWaitingForAWriter) {
  testing::TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe.gif").c_str(), 0600), 0);
  EXPECT_FALSE(ReadFileBytes(dir / "pipe.gif"));
  EXPECT_LT(OpenRegularForReading(dir / "pipe.gif"), 0);
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
