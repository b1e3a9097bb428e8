// reelmill-convert on batches as scripts and schedulers run it: folders and
// trees, lists on standard input, reports, resuming, interruption, shards.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "tests/tools/convert_fixture.h"

namespace reelmill {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::BlockGif;
using testing::Quoted;
using testing::RunResult;
using testing::Workspace;

// The report's lines as field -> value maps (the values our writer emits).
std::vector<std::map<std::string, std::string>> ReadReport(const std::string& path) {
  std::vector<std::map<std::string, std::string>> lines;
  const Bytes bytes = testing::ReadAll(path);
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  for (std::string line; std::getline(in, line);) {
    std::map<std::string, std::string> fields;
    for (const char* key : {"input", "output", "outcome", "reason"}) {
      const std::string tag = std::string("\"") + key + "\":\"";
      const auto at = line.find(tag);
      if (at == std::string::npos) continue;
      const auto end = line.find("\",\"", at + tag.size());
      fields[key] = line.substr(at + tag.size(), end - at - tag.size());
    }
    lines.push_back(fields);
  }
  return lines;
}

bool ReportParsesAsJson(const std::string& path) {
  if (!testing::HaveTool("python3")) return true;
  int status = -1;
  testing::RunCapture("python3 -c 'import json,sys\nfor l in open(sys.argv[1]): json.loads(l)' " + Quoted(path),
                      &status);
  return status == 0;
}

TEST(ConvertBatch, FoldersGiveTheirGifsAndTreesKeepTheirLayout) {
  const Workspace ws;
  const Bytes gif = BlockGif(2, 16, 16, 10);
  ws.Write("top/b.gif", gif);
  ws.Write("top/A.GIF", gif);
  ws.Write("top/notes.txt", {'h', 'i'});
  ws.Write("top/sub/b.gif", gif);  // the same name as the one above
  ws.Write("top/sub/deeper/c.gif", gif);
  const RunResult flat = ws.Run("-o " + Quoted(ws.out / "flat") + " " + Quoted(ws.in / "top"));
  EXPECT_EQ(flat.status, 0) << flat.err;
  EXPECT_TRUE(flat.err.starts_with("2 of 2 files converted")) << flat.err;
  EXPECT_TRUE(fs::exists(ws.out / "flat/A.avi") && fs::exists(ws.out / "flat/b.avi"));

  const RunResult tree = ws.Run("-r --to png -o " + Quoted(ws.out / "tree") + " " + Quoted(ws.in / "top"));
  EXPECT_EQ(tree.status, 0) << tree.err;
  for (const char* file : {"tree/varnle_reelmill/png/b.gif00001.png", "tree/sub/varnle_reelmill/png/b.gif00001.png",
                           "tree/sub/deeper/varnle_reelmill/png/c.gif00000.png"})
    EXPECT_TRUE(fs::exists(ws.out / file)) << file;

  const RunResult neither = ws.Run("-o " + Quoted(ws.out / "x") + " " + Quoted(ws.in / "nothing"));
  EXPECT_EQ(neither.status, 1);
  EXPECT_NE(neither.err.find(ws.in / "nothing: No such file or directory"), std::string::npos) << neither.err;
}

TEST(ConvertBatch, AThousandPathsOnStandardInputAreEachReportedOnce) {
  const Workspace ws;
  std::string list;
  std::set<std::string> inputs;
  for (int i = 0; i < 1000; ++i) {
    const std::string path = ws.Write("many/g" + std::to_string(i) + ".gif",
                                      testing::GifBuilder(2, 2).SolidFrame(static_cast<std::uint8_t>(i % 8)).Bytes());
    list += path + "\n";
    inputs.insert(path);
  }
  const std::string report = ws.out / "report.jsonl";
  const RunResult run = ws.Run("--quiet --to bmp --files-from - --report " + Quoted(report) + " -o " +
                                   Quoted(ws.out / "bmp"),
                               list);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(ReportParsesAsJson(report));
  std::set<std::string> reported;
  for (auto& line : ReadReport(report)) {
    EXPECT_EQ(line["outcome"], "converted") << line["input"];
    EXPECT_TRUE(reported.insert(line["input"]).second) << "twice: " << line["input"];
  }
  EXPECT_EQ(reported, inputs);
  EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(ws.out / "bmp/varnle_reelmill/bmp"), {})),
            1000u);
}

TEST(ConvertBatch, SigtermAbandonsWorkCleanlyAndSkipExistingResumes) {
  const Workspace ws;
  std::vector<std::string> inputs;
  for (int i = 0; i < 24; ++i) inputs.push_back(ws.Write("b/" + std::to_string(100 + i) + ".gif", BlockGif(20, 128, 96, 10)));
  const std::string report = ws.scratch / "first.jsonl";
  std::vector<std::string> arguments{"--jobs", "1", "--report", report, "-o", ws.out.Path(), ws.in / "b"};
  testing::BackgroundRun run(ws, arguments);
  ASSERT_TRUE(testing::WaitFor([&] { return fs::exists(ws.out / "103.avi"); }));
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(), 143);
  EXPECT_TRUE(ws.NoTemporaryFilesLeft());
  EXPECT_EQ(ws.HiddenOutputFiles(), 0u);
  const auto first = ReadReport(report);
  ASSERT_EQ(first.size(), inputs.size());
  std::size_t converted = 0;
  for (auto line : first) {
    ASSERT_TRUE(line["outcome"] == "converted" || line["outcome"] == "not done") << line["outcome"];
    converted += line["outcome"] == "converted";
    EXPECT_EQ(fs::exists(line["output"]), line["outcome"] == "converted") << line["output"];
  }
  ASSERT_LT(converted, inputs.size());

  const std::string second = ws.scratch / "second.jsonl";
  const RunResult resumed = ws.Run("--quiet --skip-existing --report " + Quoted(second) + " -o " +
                                   Quoted(ws.out.Path()) + " " + Quoted(ws.in / "b"));
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  const auto lines = ReadReport(second);
  ASSERT_EQ(lines.size(), inputs.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto before = first[i], after = lines[i];
    EXPECT_EQ(after["outcome"], before["outcome"] == "converted" ? "skipped" : "converted") << after["input"];
  }

  // A second signal ends the process at once, still without partial files.
  const std::string big = ws.Write("big.gif", BlockGif(80, 256, 192, 10));
  testing::BackgroundRun hurried(ws, {"--jobs", "2", "-o", ws.out / "big", big});
  ASSERT_TRUE(testing::WaitFor([&] { return !ws.NoTemporaryFilesLeft(); }));
  hurried.Signal(SIGINT);
  hurried.Signal(SIGINT);
  EXPECT_EQ(hurried.Wait(), 130);
  EXPECT_TRUE(ws.NoTemporaryFilesLeft());
  EXPECT_EQ(ws.HiddenOutputFiles(), 0u);
  EXPECT_FALSE(fs::exists(ws.out / "big/big.avi"));
}

TEST(ConvertBatch, ShardsAreDisjointAndTogetherTheWholeList) {
  const Workspace ws;
  std::string list;
  for (int i = 0; i < 11; ++i) list += ws.in / ("missing" + std::to_string(i) + ".gif") + "\n";
  std::multiset<std::string> all;
  for (int k = 0; k < 3; ++k) {
    const std::string report = ws.scratch / ("shard" + std::to_string(k) + ".jsonl");
    ws.Run("--quiet --files-from - --shard " + std::to_string(k) + "/3 --report " + Quoted(report), list);
    const auto lines = ReadReport(report);
    EXPECT_EQ(lines.size(), k < 2 ? 4u : 3u) << "shard " << k;
    for (auto line : lines) all.insert(line["input"]);
  }
  std::multiset<std::string> expected;
  for (int i = 0; i < 11; ++i) expected.insert(ws.in / ("missing" + std::to_string(i) + ".gif"));
  EXPECT_EQ(all, expected);
}

TEST(ConvertBatch, GnuParallelFansAListOutOverSlots) {
  if (!testing::HaveTool("parallel")) GTEST_SKIP() << "GNU parallel not installed";
  const Workspace ws;
  std::string list;
  for (int i = 0; i < 6; ++i) list += ws.Write("p" + std::to_string(i) + ".gif", BlockGif(3, 32, 32, 10)) + "\n";
  testing::WriteAll(ws.scratch / "list.txt", Bytes(list.begin(), list.end()));
  const std::string convert = std::string(REELMILL_BINARY_DIR) + "/tools/reelmill-convert";
  int status = -1;
  testing::RunCapture("TMPDIR=" + Quoted(ws.tmp.Path()) + " parallel --will-cite -j 2 " + Quoted(convert) +
                          " --quiet -o " + Quoted(ws.out.Path()) + " {} :::: " + Quoted(ws.scratch / "list.txt"),
                      &status);
  EXPECT_EQ(status, 0);
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(fs::exists(ws.out / ("p" + std::to_string(i) + ".avi"))) << i;
}

}  // namespace
}  // namespace reelmill
