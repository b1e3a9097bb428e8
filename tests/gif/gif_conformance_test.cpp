// The GIF test suite shipped in Debian's gdk-pixbuf-tests package, run
// through our decoder. Each case's .conf names the expected frames as raw
// RGBA files (and their delays); a case passes when we give exactly those
// frames. Cases we fail by our own rules are listed with the rule.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/codecs/gif_codec.h"
#include "imaging/image_list.h"
#include "imaging/image_properties.h"
#include "tests/gif/gif_test_util.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

const std::string kSuite = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/gif-test-suite/";
const std::string kFailFolder = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/fail/";

// Cases whose expected result contradicts a rule of ours, with the rule.
const std::map<std::string, std::string> kExplainedFailures = {
    // One image gives one 8-bit frame of the screen whose pixels around the
    // image take the background index (opaque); the suite wants them
    // transparent. The screen also grows to hold the first image.
    {"image-inside-bg", "pixels around the only image take the background index"},
    {"image-overlap-bg", "the screen grows to hold the first image; pixels around it take the background index"},
    {"image-outside-bg", "the screen grows to hold the first image; pixels around it take the background index"},
    // Every image is a frame of its own; the suite merges images that have
    // no graphic control into the frame that follows.
    {"images-combine", "every image is a frame of its own"},
    {"images-overlap", "every image is a frame of its own"},
    {"high-color", "every image is a frame of its own"},
    {"dispose-restore-previous", "every image is a frame of its own (the first one has no graphic control)"},
    {"animation-multi-image", "every image is a frame of its own"},
    {"animation-multi-image-explicit-zero-delay", "every image is a frame of its own"},
    // A file without a complete image is refused.
    {"no-data", "no image at all: refused"},
    {"image-zero-width", "the only image lacks its LZW code size (damaged): refused"},
    {"image-zero-height", "the only image's local colour table is cut off (damaged): refused"},
    {"image-zero-size", "the only image's local colour table is cut off (damaged): refused"},
    {"missing-pixels", "the only image's data ends before its last pixel (damaged): refused"},
    {"max-codes", "LZW minimum code size 11, above the format's 8 (inconsistent data): refused"},
    // Sound behaviour where the suite refuses.
    {"invalid-colors", "indices past the colour table show opaque black instead of refusing the file"},
    {"plain-text", "the image after a plain-text extension is decoded like any other"},
};

struct Conf {
  int width = 0;
  int height = 0;
  std::vector<std::string> framePixels;  // file names, in frame order
  std::vector<int> frameDelays;          // hundredths; 0 when not given
};

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

Conf ReadConf(const std::string& path) {
  std::map<std::string, std::map<std::string, std::string>> sections;
  std::ifstream in(path);
  std::string line, section;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      continue;
    }
    const auto eq = line.find('=');
    if (eq != std::string::npos) sections[section][Trim(line.substr(0, eq))] = Trim(line.substr(eq + 1));
  }
  Conf conf;
  conf.width = std::stoi(sections["config"]["width"]);
  conf.height = std::stoi(sections["config"]["height"]);
  std::stringstream frames(sections["config"]["frames"]);
  std::string name;
  while (std::getline(frames, name, ',')) {
    name = Trim(name);
    if (name.empty()) continue;
    conf.framePixels.push_back(sections[name]["pixels"]);
    const std::string delay = sections[name]["delay"];
    conf.frameDelays.push_back(delay.empty() ? 0 : std::stoi(delay));
  }
  return conf;
}

// Why our result differs from the expected one, or empty when it matches.
std::string Compare(const std::string& name) {
  const Conf conf = ReadConf(kSuite + name + ".conf");
  const auto bytes = testing::ReadAll(kSuite + name + ".gif");
  ImageList frames;
  std::unique_ptr<ImageProperties> properties;
  GifCodec codec;
  const bool ok = codec.LoadMemory(bytes, frames, properties);
  if (conf.framePixels.empty()) return ok ? "decoded frames where none are expected" : "";
  if (!ok) return "refused";
  if (frames.Count() != conf.framePixels.size()) {
    return "got " + std::to_string(frames.Count()) + " frames, want " + std::to_string(conf.framePixels.size());
  }
  std::string delays;
  for (std::size_t i = 0; i < frames.Count(); ++i) {
    const PixelImage& frame = frames.At(i);
    if (frame.Width() != conf.width || frame.Height() != conf.height) {
      return "frame " + std::to_string(i) + " is " + std::to_string(frame.Width()) + "x" +
             std::to_string(frame.Height());
    }
    const std::vector<std::uint8_t> want = testing::ReadAll(kSuite + conf.framePixels[i]);
    const std::vector<std::uint8_t> got = testing::FrameRgba(frame);
    if (want.size() != got.size()) return "frame " + std::to_string(i) + ": expected file of another size";
    for (std::size_t p = 0; p < want.size(); p += 4) {
      // A transparent pixel's colour is not part of the picture.
      const bool same = want[p + 3] == 0 ? got[p + 3] == 0 : std::equal(&want[p], &want[p] + 4, &got[p]);
      if (!same) return "frame " + std::to_string(i) + " differs at pixel " + std::to_string(p / 4);
    }
    delays += testing::DelayText({conf.frameDelays[i]});
  }
  if (properties->Get(FrameDelaysKey) != delays) return "delays " + properties->Get(FrameDelaysKey);
  return "";
}

struct SuiteCase {
  std::string name;
  bool enabled = true;  // false: listed in TESTS behind '#'
};

// Every case of the suite: those TESTS enables, and those it lists disabled.
std::vector<SuiteCase> SuiteCases() {
  std::vector<SuiteCase> cases;
  std::ifstream in(kSuite + "TESTS");
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    const bool enabled = line.empty() || line[0] != '#';
    if (!enabled) line = Trim(line.substr(1));
    if (!line.empty() && std::filesystem::exists(kSuite + line + ".conf")) cases.push_back({line, enabled});
  }
  return cases;
}

TEST(GifConformance, TheGdkPixbufSuitePassesExceptWhereOurRulesDiffer) {
  if (!std::filesystem::exists(kSuite + "TESTS")) GTEST_SKIP() << "gdk-pixbuf-tests is not installed";
  const std::vector<SuiteCase> cases = SuiteCases();
  ASSERT_GE(cases.size(), 60u);
  int passed = 0, enabled = 0, enabledPassed = 0;
  std::set<std::string> seen;
  for (const auto& [name, isEnabled] : cases) {
    seen.insert(name);
    enabled += isEnabled;
    const std::string why = Compare(name);
    const auto explained = kExplainedFailures.find(name);
    if (why.empty()) {
      ++passed;
      enabledPassed += isEnabled;
      EXPECT_EQ(explained, kExplainedFailures.end()) << name << " now passes; drop it from the explained failures";
    } else {
      EXPECT_NE(explained, kExplainedFailures.end()) << name << ": " << why;
    }
  }
  for (const auto& [name, reason] : kExplainedFailures) EXPECT_TRUE(seen.count(name)) << name << " not in the suite";
  std::cout << "gif-test-suite: " << passed << " of " << cases.size() << " cases pass (" << enabledPassed << " of "
            << enabled << " enabled in TESTS)\n";
}

TEST(GifConformance, TheFailFolderIsRefusedOrDecodedSafely) {
  if (!std::filesystem::exists(kFailFolder)) GTEST_SKIP() << "gdk-pixbuf-tests is not installed";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kFailFolder)) {
    if (entry.path().extension() != ".gif") continue;
    ++files;
    const auto bytes = testing::ReadAll(entry.path().string());
    ImageList frames;
    std::unique_ptr<ImageProperties> properties;
    GifCodec codec;
    if (codec.LoadMemory(bytes, frames, properties)) {
      ASSERT_GT(frames.Count(), 0u) << entry.path();
      EXPECT_EQ(properties->Get(FrameDelaysKey).size(), 16 * frames.Count()) << entry.path();
    } else {
      EXPECT_EQ(frames.Count(), 0u) << entry.path();
    }
  }
  EXPECT_GE(files, 5);
}

}  // namespace
}  // namespace reelmill
