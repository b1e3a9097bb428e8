#include "engine/sequence_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "imaging/image_list.h"
#include "tests/support/gif_builder.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;

std::string WriteGif(const std::string& path, int frames, int delay = 10) {
  testing::GifBuilder builder(6, 4);
  for (int i = 0; i < frames; ++i) builder.SolidFrame(static_cast<std::uint8_t>(1 + i % 7), delay);
  testing::WriteAll(path, builder.Bytes());
  return path;
}

TEST(SequenceExport, TwelveFramesAsTgaFillTheirFolderAndCountTo12Of12) {
  testing::TempDir in, out;
  SequenceExport exporter(WriteGif(in / "a.gif", 12), "tga", out.Path());
  ASSERT_TRUE(exporter.Open());
  EXPECT_EQ(exporter.FrameCount(), 12);
  EXPECT_EQ(exporter.ProgressText(), "0/12");
  while (!exporter.Done()) EXPECT_TRUE(exporter.WriteNext());
  EXPECT_EQ(exporter.ProgressText(), "12/12");
  EXPECT_FALSE(exporter.WriteNext());
  const std::string folder = out / "varnle_reelmill/tga/";
  EXPECT_EQ(exporter.SequenceFolder(), folder);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 12);
  EXPECT_TRUE(fs::exists(folder + "a.gif00000.tga"));
  EXPECT_TRUE(fs::exists(folder + "a.gif00011.tga"));
  FrameSet back;
  ASSERT_TRUE(back.Load(folder + "a.gif00011.tga"));
  EXPECT_EQ(back.Frame(0)->Width(), 6);
}

TEST(SequenceExport, EveryFormatWritesFilesItsCodecReadsBack) {
  testing::TempDir in, out;
  const std::string gif = WriteGif(in / "m.gif", 2, 300);  // long delays still give one file each
  for (const std::string ext : {"bmp", "tga", "jpg", "gif", "png", "tiff"}) {
    SequenceExport exporter(gif, ext, out.Path());
    ASSERT_TRUE(exporter.Open()) << ext;
    while (!exporter.Done()) EXPECT_TRUE(exporter.WriteNext()) << ext;
    const std::string last = out / ("varnle_reelmill/" + ext + "/m.gif00001." + ext);
    FrameSet back;
    ASSERT_TRUE(back.Load(last)) << last;
    EXPECT_EQ(back.Frame(0)->Width(), 6) << ext;
    EXPECT_EQ(back.Frame(0)->Height(), 4) << ext;
    EXPECT_EQ(std::distance(fs::directory_iterator(out / ("varnle_reelmill/" + ext)), fs::directory_iterator()), 2);
  }
  EXPECT_FALSE(fs::exists(out / "varnle_reelmill/tif"));
}

TEST(SequenceExport, ASourceWithoutFramesOpensToNothing) {
  testing::TempDir in, out;
  testing::WriteAll(in / "broken.gif", {'G', 'I', 'F'});
  SequenceExport exporter(in / "broken.gif", "png", out.Path());
  EXPECT_FALSE(exporter.Open());
  EXPECT_TRUE(exporter.Done());
  EXPECT_FALSE(exporter.WriteNext());
  EXPECT_FALSE(fs::exists(out / "varnle_reelmill"));
}

TEST(SequenceExport, AFrameThatCannotBeWrittenIsCountedAndTheRestGoOn) {
  testing::TempDir in, out;
  // A file where the sequence folder should be: nothing can be written.
  fs::create_directories(out / "varnle_reelmill");
  testing::WriteAll(out / "varnle_reelmill/png", {1});
  SequenceExport exporter(WriteGif(in / "b.gif", 3), "png", out.Path());
  ASSERT_TRUE(exporter.Open());
  while (!exporter.Done()) EXPECT_FALSE(exporter.WriteNext());
  EXPECT_EQ(exporter.Failures(), 3);
  EXPECT_EQ(exporter.ProgressText(), "3/3");
}

}  // namespace
}  // namespace reelmill

namespace reelmill {
namespace {

std::vector<std::vector<std::uint8_t>> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().string());
  std::sort(names.begin(), names.end());
  std::vector<std::vector<std::uint8_t>> files;
  for (const auto& name : names) files.push_back(testing::ReadAll(name));
  return files;
}

TEST(SequenceExport, ThreadsWriteTheSameFilesAsOneFrameAtATime) {
  testing::TempDir in, one, many;
  const std::string gif = WriteGif(in / "t.gif", 9);
  for (const std::string ext : {"png", "jpg", "gif"}) {
    SequenceExport single(gif, ext, one.Path());
    ASSERT_TRUE(single.Open());
    while (!single.Done()) single.WriteNext();
    SequenceExport pooled(gif, ext, many.Path());
    ASSERT_TRUE(pooled.Open());
    pooled.WriteAll(3);
    EXPECT_EQ(pooled.ProgressText(), "9/9");
    EXPECT_EQ(pooled.Failures(), 0);
    const auto a = FilesIn(one / ("varnle_reelmill/" + ext)), b = FilesIn(many / ("varnle_reelmill/" + ext));
    EXPECT_EQ(a.size(), 9u) << ext;
    EXPECT_EQ(a, b) << ext;
  }
  std::atomic<bool> cancel{true};
  SequenceExport stopped(gif, "bmp", many.Path());
  ASSERT_TRUE(stopped.Open());
  stopped.WriteAll(2, &cancel);
  EXPECT_EQ(stopped.Position(), 0);
}

TEST(SequenceExport, ReadsAGifByItsContentAndCountsWhatTheDecoderGives) {
  testing::TempDir in, out;
  // Named like a PNG; the last of its three frames is cut short.
  testing::GifBuilder builder(6, 4);
  builder.SolidFrame(1).SolidFrame(2).SolidFrame(3);
  const auto whole = builder.Bytes();
  testing::WriteAll(in / "clip.png", std::vector<std::uint8_t>(whole.begin(), whole.end() - 8));
  SequenceExport exporter(in / "clip.png", "bmp", out.Path());
  ASSERT_TRUE(exporter.Open());
  while (!exporter.Done()) EXPECT_TRUE(exporter.WriteNext());
  EXPECT_EQ(exporter.ProgressText(), "2/2");
  EXPECT_TRUE(fs::exists(out / "varnle_reelmill/bmp/clip.png00001.bmp"));
}

TEST(SequenceExport, QualityAndSizeWhenAsked) {
  testing::TempDir in, out;
  const std::string gif = WriteGif(in / "q.gif", 1);  // a still: an 8-bit picture, scaled all the same
  SequenceOptions options;
  options.quality = 20;
  options.width = 12;
  options.height = 10;
  SequenceExport exporter(gif, "jpg", out.Path(), options);
  ASSERT_TRUE(exporter.Open());
  ASSERT_TRUE(exporter.WriteNext());
  FrameSet back;
  ASSERT_TRUE(back.Load(out / "varnle_reelmill/jpg/q.gif00000.jpg"));
  EXPECT_EQ(back.Frame(0)->Width(), 12);
  EXPECT_EQ(back.Frame(0)->Height(), 10);
  const auto small = testing::ReadAll(out / "varnle_reelmill/jpg/q.gif00000.jpg");
  SequenceExport best(gif, "jpg", out.Path(), {100, 12, 10});
  ASSERT_TRUE(best.Open() && best.WriteNext());
  EXPECT_LT(small.size(), testing::ReadAll(out / "varnle_reelmill/jpg/q.gif00000.jpg").size());
}

}  // namespace
}  // namespace reelmill
