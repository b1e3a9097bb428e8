#include "engine/sequence_export.h"

#include <gtest/gtest.h>

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
