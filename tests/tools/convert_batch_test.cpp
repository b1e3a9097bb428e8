// reelmill-convert on batches as scripts and schedulers run it: folders and
// trees, lists on standard input, reports, resuming, interruption, shards.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "tests/support/container_reader.h"
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
    for (const char* key : {"input", "output", "outcome", "code", "reason"}) {
      const std::string tag = std::string("\"") + key + "\":\"";
      const auto at = line.find(tag);
      if (at == std::string::npos) continue;
      const auto end = line.find("\",\"", at + tag.size());
      fields[key] = line.substr(at + tag.size(), end - at - tag.size());
    }
    fields["damaged"] = line.find("\"damaged\":true") != std::string::npos ? "yes" : "no";
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
  EXPECT_NE(neither.err.find(ws.in / "nothing: it does not exist"), std::string::npos) << neither.err;
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
  const RunResult run =
      ws.Run("--quiet --to bmp --files-from - --report " + Quoted(report) + " -o " + Quoted(ws.out / "bmp"), list);
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
  for (int i = 0; i < 24; ++i)
    inputs.push_back(ws.Write("b/" + std::to_string(100 + i) + ".gif", BlockGif(40, 128, 96, 10)));
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
  // Scaled up, the GIF takes the converter about a second, so its work
  // folder is seen by the polling below however loaded the machine is.
  const std::string big = ws.Write("big.gif", BlockGif(60, 128, 96, 10));
  testing::BackgroundRun hurried(ws, {"--jobs", "2", "--size", "640x480", "-o", ws.out / "big", big});
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

TEST(ConvertBatch, ShardsJudgeCollidingOutputsOverTheWholeList) {
  const Workspace ws;
  const std::string first = ws.Write("a/x.gif", BlockGif(2, 16, 16, 10));
  const std::string second = ws.Write("b/x.gif", BlockGif(2, 32, 16, 10));
  const std::string list = first + "\n" + second + "\n";
  for (int k = 0; k < 2; ++k) {
    const RunResult run =
        ws.Run("--quiet --files-from - --shard " + std::to_string(k) + "/2 -o " + Quoted(ws.out.Path()), list);
    EXPECT_EQ(run.status, k) << run.err;
    if (k == 1) {
      EXPECT_NE(run.err.find(second + ": refused: its output " + ws.out / "x.avi" + " would overwrite that of input 1"),
                std::string::npos)
          << run.err;
    }
  }
  EXPECT_EQ(testing::ReadAvi(testing::ReadAll(ws.out / "x.avi")).width, 16);  // the first input's, kept
}

TEST(ConvertBatch, TheReportIsNeverAnInputAListOrAnOutputAndItsFailuresCount) {
  const Workspace ws;
  const Bytes gif = BlockGif(2, 16, 16, 10);
  const std::string a = ws.Write("a.gif", gif), b = ws.Write("b.gif", gif);
  const std::string list = ws.Write("list.txt", Bytes(b.begin(), b.end()));
  const std::string named = ws.out / "named.avi";
  // A forgotten report name takes the next argument; nothing is truncated.
  for (const auto& [arguments, why] : std::vector<std::pair<std::string, std::string>>{
           {"-o " + Quoted(ws.out / "u") + " --report " + Quoted(a) + " " + Quoted(b), "it is a GIF file"},
           {"-o " + Quoted(ws.out / "u") + " --report " + Quoted(b) + " " + Quoted(b), "it is one of the inputs"},
           {"-o " + Quoted(ws.out / "u") + " --report " + Quoted(list) + " --files-from " + Quoted(list),
            "it is one of the --files-from lists"},
           {"--report " + Quoted(named) + " -o " + Quoted(named) + " " + Quoted(a), "it is the output file"}}) {
    const RunResult run = ws.Run(arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
  }
  EXPECT_EQ(testing::ReadAll(a), gif);
  EXPECT_EQ(testing::ReadAll(list), Bytes(b.begin(), b.end()));
  // An output that would land on the report is refused, the report kept.
  const RunResult clash = ws.Run("--report " + Quoted(ws.out / "a.avi") + " -o " + Quoted(ws.out.Path()) + " " +
                                 Quoted(a) + " " + Quoted(b));
  EXPECT_EQ(clash.status, 1);
  EXPECT_NE(clash.err.find(a + ": refused: its output " + ws.out / "a.avi" + " is the report file"), std::string::npos)
      << clash.err;
  EXPECT_EQ(ReadReport(ws.out / "a.avi").size(), 2u);
  // A report that cannot be written is a failure, though the files convert.
  const RunResult full = ws.Run("--quiet --report /dev/full -o " + Quoted(ws.out / "full") + " " + Quoted(a));
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.err.find("--report /dev/full: not every line could be written: No space left on device"),
            std::string::npos)
      << full.err;
  EXPECT_TRUE(fs::exists(ws.out / "full/a.avi"));
}

TEST(ConvertBatch, ListsOfNulEndedNamesNeedTheNullOptionAndNamesThatAreNotUtf8KeepTheirBytes) {
  const Workspace ws;
  const Bytes gif = BlockGif(2, 16, 16, 10);
  const std::string plain = ws.Write("with\nnewline.gif", gif), odd = ws.Write("caf\xe9.gif", gif);
  const std::string utf8 = ws.Write("caf\xc3\xa9.gif", gif);
  const std::string list = plain + '\0' + odd + '\0' + utf8 + '\0';
  const RunResult refused = ws.Run("--files-from - -o " + Quoted(ws.out / "refused"), list);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("holds a NUL byte"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(ws.out / "refused"));
  const std::string report = ws.scratch / "names.jsonl";
  const RunResult run =
      ws.Run("--quiet --jobs 1 -0 --files-from - --report " + Quoted(report) + " -o " + Quoted(ws.out.Path()), list);
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* output : {"with\nnewline.avi", "caf\xe9.avi", "caf\xc3\xa9.avi"})
    EXPECT_TRUE(fs::exists(ws.out / output)) << output;
  // Messages escape a name's controls: it can neither recolour the terminal
  // nor fake a line of its own.
  const std::string hostile = ws.Write("evil\x1b[31m\xc2\x9b\x07\nfake.gif", {'n', 'o'});
  const RunResult shown = ws.Run("-o " + Quoted(ws.out / "shown") + " " + Quoted(hostile) + " " + Quoted(odd));
  EXPECT_EQ(shown.status, 1);
  EXPECT_NE(shown.err.find("evil\\x1b[31m\\xc2\\x9b\\x07\\nfake.gif: "), std::string::npos) << shown.err;
  EXPECT_EQ(shown.err.find_first_of("\x1b\x07"), std::string::npos) << shown.err;
  EXPECT_EQ(std::count(shown.err.begin(), shown.err.end(), '\n'), 2) << shown.err;  // the failure and the summary
  if (!testing::HaveTool("python3")) GTEST_SKIP() << "python3 not installed";
  // Each report line names its input exactly, whatever its bytes.
  int status = -1;
  const std::string names = testing::RunCapture(
      "python3 -c 'import base64,json,os,sys\n"
      "for l in open(sys.argv[1], \"rb\"):\n"
      "  o = json.loads(l)\n"
      "  n = base64.b64decode(o[\"input_bytes\"]) if \"input_bytes\" in o else os.fsencode(o[\"input\"])\n"
      "  print(os.path.isfile(n), \"input_bytes\" in o)' " +
          Quoted(report),
      &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(names, "True False\nTrue True\nTrue False\n");  // in list order
}

TEST(ConvertBatch, InputsThatCannotBeExaminedFailAndRecursiveRunsNeverTakeTheirOutputs) {
  const Workspace ws;
  const std::string loop = ws.in / "loop";
  ASSERT_EQ(::symlink("loop", loop.c_str()), 0);
  const RunResult looped = ws.Run("-o " + Quoted(ws.out.Path()) + " " + Quoted(loop));
  EXPECT_EQ(looped.status, 1);
  EXPECT_NE(looped.err.find(loop + ": it cannot be read: Too many levels of symbolic links"), std::string::npos)
      << looped.err;

  ws.Write("tree/a.gif", BlockGif(3, 16, 16, 10));
  ws.Write("tree/sub/b.gif", BlockGif(2, 16, 16, 10));
  const auto gifsIn = [&](const std::string& folder) {
    std::size_t gifs = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) gifs += entry.path().extension() == ".gif";
    return gifs;
  };
  // The output folder inside the tree, then the tree itself as output folder.
  for (const std::string& out : {ws.in / "tree/out", ws.in / "tree"}) {
    for (int run = 0; run < 2; ++run) {
      const RunResult again = ws.Run("--quiet -r --to gif -o " + Quoted(out) + " " + Quoted(ws.in / "tree"));
      EXPECT_EQ(again.status, 0) << again.err;
    }
  }
  // The 2 inputs, their 5 frames under tree/out, and 5 more beside them:
  // tree/out/varnle_reelmill is where the second output folder puts frames
  // of GIFs in tree/out, so it is never walked either.
  EXPECT_EQ(gifsIn(ws.in / "tree/out"), 5u);
  EXPECT_EQ(gifsIn(ws.in / "tree"), 2u + 5u + 5u);
}

TEST(ConvertBatch, SkipExistingTakesADamagedGifsSequenceAsCompleteOnceWritten) {
  const Workspace ws;
  // The blocks announce 6 frames; the last one's pixel data is garbage, so
  // the decoder gives 5.
  Bytes gif = BlockGif(6, 16, 16, 10);
  const Bytes descriptor = {0x2C, 0, 0, 0, 0, 16, 0, 16, 0, 0};
  const auto last = std::find_end(gif.begin(), gif.end(), descriptor.begin(), descriptor.end()) + 10;
  std::fill(last + 2, last + 2 + last[1], 0xFF);
  const std::string damaged = ws.Write("cut.gif", gif);
  std::vector<std::string> reports;
  for (int run = 0; run < 2; ++run) {
    const std::string report = ws.scratch / ("cut" + std::to_string(run) + ".jsonl");
    const RunResult again = ws.Run("--quiet --to png --skip-existing --report " + Quoted(report) + " -o " +
                                   Quoted(ws.out.Path()) + " " + Quoted(damaged));
    EXPECT_EQ(again.status, 0) << again.err;
    reports.push_back(ReadReport(report).at(0)["outcome"]);
  }
  EXPECT_EQ(reports, (std::vector<std::string>{"converted", "skipped"}));
  // A frame gone makes it incomplete again.
  EXPECT_FALSE(fs::exists(ws.out / "varnle_reelmill/png/cut.gif00005.png"));
  fs::remove(ws.out / "varnle_reelmill/png/cut.gif00004.png");
  EXPECT_EQ(ws.Run("--quiet --to png --skip-existing -o " + Quoted(ws.out.Path()) + " " + Quoted(damaged)).status, 0);
  EXPECT_TRUE(fs::exists(ws.out / "varnle_reelmill/png/cut.gif00004.png"));
}

TEST(ConvertBatch, HangupStopsCleanlyAndAStopNeverWaitsOnAListThatIsStillBeingWritten) {
  const Workspace ws;
  const std::string big = ws.Write("big.gif", BlockGif(80, 256, 192, 10));
  testing::BackgroundRun hung(ws, {"--jobs", "1", "-o", ws.out.Path(), big});
  ASSERT_TRUE(testing::WaitFor([&] { return !ws.NoTemporaryFilesLeft(); }));
  hung.Signal(SIGHUP);
  EXPECT_EQ(hung.Wait(), 129);
  EXPECT_TRUE(ws.NoTemporaryFilesLeft());
  EXPECT_EQ(ws.HiddenOutputFiles(), 0u);

  // The list's writer stays silent; SIGINT ends the run at once all the same.
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  testing::BackgroundRun waiting(ws, {"--files-from", "-", "-o", ws.out.Path()}, pipeFds[0]);
  ::close(pipeFds[0]);
  const std::string first = big + "\n";
  ASSERT_EQ(::write(pipeFds[1], first.data(), first.size()), static_cast<ssize_t>(first.size()));
  ASSERT_TRUE(testing::WaitFor([&] { return fs::exists(ws.out / "big.avi"); }));
  waiting.Signal(SIGINT);
  EXPECT_EQ(waiting.Wait(), 130);
  ::close(pipeFds[1]);
  EXPECT_TRUE(ws.NoTemporaryFilesLeft());
}

TEST(ConvertBatch, FilesShareOneMemoryBudget) {
  const Workspace ws;
  std::string inputs;
  for (int i = 0; i < 4; ++i)
    inputs += " " + Quoted(ws.Write("m" + std::to_string(i) + ".gif", BlockGif(3, 512, 512, 10)));
  // Each file needs about 9 MiB beside the 32 MiB of frames kept in memory:
  // the four wait for each other's memory and all convert.
  const RunResult shared = ws.Run("--quiet --jobs 4 --memory 64M -o " + Quoted(ws.out.Path()) + inputs);
  EXPECT_EQ(shared.status, 0) << shared.err;
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(fs::exists(ws.out / ("m" + std::to_string(i) + ".avi"))) << i;
  const RunResult large = ws.Run("--quiet --to png --memory 64M -o " + Quoted(ws.out.Path()) + " " +
                                 Quoted(ws.Write("large.gif", BlockGif(2, 4000, 2000, 10))));
  EXPECT_EQ(large.status, 1);
  EXPECT_NE(large.err.find("large.gif: it needs about "), std::string::npos) << large.err;
  EXPECT_NE(large.err.find(" MiB of memory, more than the limit of 64 MiB; --memory raises the limit"),
            std::string::npos)
      << large.err;
  // A screen of 0 x 0 grows to hold its first image, and so does the memory
  // the file is given.
  testing::GifBuilder unsized(0, 0);
  testing::GifFrameSpec wide;
  wide.width = 3000, wide.height = 2;
  wide.indices.assign(6000, 1);
  const std::string grown = Quoted(ws.Write("grown.gif", unsized.Frame(wide).Frame(wide).Bytes()));
  for (const char* kind : {"avi", "png", "mp4"}) {
    const RunResult run = ws.Run(std::string("--quiet --to ") + kind + " -o " + Quoted(ws.out.Path()) + " " + grown);
    EXPECT_EQ(run.status, 0) << kind << ": " << run.err;
  }
  for (const char* bad : {"--memory 2X", "--memory 10M", "--memory G"})
    EXPECT_EQ(ws.Run(std::string(bad) + " " + inputs).status, 2) << bad;
  // An empty list is worth a word.
  const RunResult none = ws.Run("--quiet --files-from - -o " + Quoted(ws.out.Path()), "\n");
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.err, "reelmill-convert: no GIF files among the inputs given\n");
}

// Every input that cannot be converted says why, in the messages and in the
// report, with a stable code; a damaged GIF converts up to its damage and
// says so, and --strict makes that a failure.
TEST(ConvertBatch, EveryRefusalAndDamageIsNamed) {
  const Workspace ws;
  const Bytes gif = BlockGif(6, 16, 16, 10);
  Bytes badData = gif;
  const Bytes descriptor = {0x2C, 0, 0, 0, 0, 16, 0, 16, 0, 0};
  const auto last = std::find_end(badData.begin(), badData.end(), descriptor.begin(), descriptor.end()) + 10;
  std::fill(last + 2, last + 2 + last[1], 0xFF);
  const Bytes cut(badData.begin(), last + 6);  // inside the last image's data
  Bytes large = testing::GifBuilder(1, 1).SolidFrame(1).SolidFrame(2).Bytes();
  large[6] = 0x00, large[7] = 0x40, large[8] = 0xFF, large[9] = 0x3F;  // a 16384 x 16383 screen
  const std::string pipe = ws.in / "pipe.gif";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  struct Case {
    std::string name;
    Bytes bytes;
    std::string outcome, code, reason;
    bool damaged;
  };
  const std::vector<Case> cases = {
      {"whole.gif", gif, "converted", "", "", false},
      {"cut30.gif", Bytes(gif.begin(), gif.begin() + 30), "failed", "truncated", "the file ends early", false},
      {"noimage.gif",
       {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'},
       "failed",
       "no-image",
       "the GIF holds no image",
       false},
      {"text.gif",
       {'h', 'e', 'l', 'l', 'o'},
       "failed",
       "not-gif",
       "not a GIF file (it does not start with \\\"GIF8\\\")",
       false},
      {"large.gif", large, "failed", "over-memory", "", false},
      {"baddata.gif", badData, "converted", "bad-data", "converted 5 of 6 frames: bad data in frame 6", true},
      {"cut.gif", cut, "converted", "truncated", "converted 5 of 6 frames: the file ends early in frame 6", true},
      {"missing.gif", {}, "failed", "not-found", "it does not exist", false},
      {"pipe.gif", {}, "failed", "not-regular-file", "not a regular file", false},
  };
  std::string inputs;
  for (const Case& c : cases) {
    if (!c.bytes.empty()) ws.Write(c.name, c.bytes);
    inputs += " " + Quoted(ws.in / c.name);
  }
  const std::string report = ws.scratch / "reasons.jsonl";
  const RunResult run = ws.Run("--jobs 1 --report " + Quoted(report) + " -o " + Quoted(ws.out.Path()) + inputs);
  EXPECT_EQ(run.status, 1);
  // Lines come as inputs end, not in list order.
  std::map<std::string, std::map<std::string, std::string>> lines;
  for (auto& line : ReadReport(report)) lines[line["input"]] = line;
  ASSERT_EQ(lines.size(), cases.size()) << run.err;
  for (const Case& c : cases) {
    auto line = lines[ws.in / c.name];
    EXPECT_EQ(line["outcome"], c.outcome) << c.name;
    EXPECT_EQ(line["code"], c.code) << c.name;
    EXPECT_EQ(line["damaged"], c.damaged ? "yes" : "no") << c.name;
    if (!c.reason.empty()) {
      EXPECT_EQ(line["reason"], c.reason) << c.name;
    }
    const std::string message = ws.in / c.name + (c.damaged ? ": warning: " : ": ");
    EXPECT_EQ(run.err.find(message) != std::string::npos, c.outcome == "failed" || c.damaged) << c.name << run.err;
  }
  const std::string memory = lines[ws.in / "large.gif"]["reason"];
  EXPECT_NE(memory.find("MiB of memory, more than the limit of"), std::string::npos) << memory;
  EXPECT_NE(run.err.find("3 of 9 files converted, 6 failed, 2 damaged"), std::string::npos) << run.err;
  EXPECT_TRUE(ReportParsesAsJson(report));

  // --strict writes nothing of a damaged GIF, and keeps what was there.
  fs::create_directories(ws.out / "strict");
  for (const char* kind : {"avi", "mp4", "png"}) {
    const std::string kept = ws.out / (std::string("strict/cut.") + kind);
    testing::WriteAll(kept, {'o', 'l', 'd'});
    const RunResult strict = ws.Run(std::string("--quiet --strict --to ") + kind + " -o " + Quoted(ws.out / "strict") +
                                    " " + Quoted(ws.in / "cut.gif"));
    EXPECT_EQ(strict.status, 1) << kind;
    EXPECT_NE(strict.err.find("cut.gif: the file ends early in frame 6 (--strict: nothing written)"), std::string::npos)
        << strict.err;
    EXPECT_EQ(testing::ReadAll(kept), (std::vector<std::uint8_t>{'o', 'l', 'd'})) << kind;
    fs::remove(kept);
    EXPECT_TRUE(fs::is_empty(ws.out / "strict")) << kind;
  }
}

}  // namespace
}  // namespace reelmill
