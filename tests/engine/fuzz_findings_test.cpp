// Inputs the fuzz targets found (tests/engine/data/), kept as ordinary
// tests: frame-table-*.gif for the frame table, roads-*.gif for the two
// recording roads.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "engine/conversion.h"
#include "engine/frame_timing.h"
#include "imaging/codecs/animated_gif_control.h"
#include "imaging/codecs/gif_codec.h"
#include "imaging/codecs/gif_decoder.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

std::vector<std::filesystem::path> Findings(const std::string& prefix) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(REELMILL_TEST_DATA_DIR))
    if (entry.path().filename().string().starts_with(prefix)) files.push_back(entry.path());
  return files;
}

// Wherever the images of a full decode vouch for the table the walk alone
// describes, it is the table decoding every frame gives, entry for entry.
TEST(FuzzFindings, DescribedFrameTableIsTheDecodedOneWhereVouchedFor) {
  const auto files = Findings("frame-table-");
  ASSERT_FALSE(files.empty());
  for (const auto& file : files) {
    const auto data = testing::ReadAll(file.string());
    AnimatedGifControl decoded, described;
    decoded.LoadPictureData(data, FramePictures::Decode);
    described.LoadPictureData(data, FramePictures::Describe);
    GifDecoder::Result full;
    const bool ok = GifDecoder(GifCodec::kMaxDecodedBytes).Decode(data, full);
    if (!DescribedTableHolds(described, ok ? static_cast<int>(full.frames.size()) : 0)) continue;
    ASSERT_EQ(described.TableSize(), decoded.TableSize()) << file;
    for (int i = 0; i < decoded.TableSize(); ++i) {
      const GifFrameRecord &a = described.Frame(i), &b = decoded.Frame(i);
      EXPECT_EQ(std::tuple(a.width, a.height, a.left, a.top, a.delay, a.disposal),
                std::tuple(b.width, b.height, b.left, b.top, b.delay, b.disposal))
          << file << " frame " << i;
    }
  }
}

// Both recording roads give the same output, byte for byte, or both fail.
TEST(FuzzFindings, BothRecordingRoadsGiveTheSameOutput) {
  for (const auto& file : Findings("")) {
    for (const std::string_view kind : {kOutputAvi, kOutputSwf}) {
      std::vector<ConversionOutcome> outcomes;
      std::vector<std::unique_ptr<testing::TempDir>> folders;
      for (const RecordingRoad road : {RecordingRoad::Streaming, RecordingRoad::FrameRecorder}) {
        auto& out = *folders.emplace_back(std::make_unique<testing::TempDir>());
        auto& work = *folders.emplace_back(std::make_unique<testing::TempDir>());
        ConversionSettings settings;
        settings.outputKind = std::string(kind);
        settings.outputFolder = out.Path();
        GifConverter converter(settings, work.Path());
        converter.SetRoad(road);
        outcomes.push_back(converter.Convert(file.string()));
      }
      const std::string where = file.filename().string() + " " + std::string(kind);
      ASSERT_EQ(outcomes[0].ok, outcomes[1].ok) << where << ": " << outcomes[0].Error() << " / " << outcomes[1].Error();
      if (outcomes[0].ok) {
        EXPECT_EQ(testing::ReadAll(outcomes[0].outputPath), testing::ReadAll(outcomes[1].outputPath)) << where;
      }
    }
  }
}

}  // namespace
}  // namespace reelmill
