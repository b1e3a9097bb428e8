#pragma once
// "reelmill-convert mux": one AVI or SWF built from JPEG files given on the
// command line, without decoding them.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "tools/jpeg_info.h"

namespace CLI {
class App;
}

namespace reelmill {

struct MuxOptions {
  std::string to;  // "avi" or "swf"
  int fps = 10;
  std::string sizeText;  // "WxH"; empty: the first frame's own size
  std::string output;
  std::vector<std::string> frames;
  bool verbose = false;
};

// "WxH" with both sides 1 to 65535 (the largest JPEG side).
std::optional<JpegFrameSize> ParseFrameSize(const std::string& text);

// Adds the "mux" subcommand to `app`; parsing fills `options`.
CLI::App* AddMuxCommand(CLI::App& app, MuxOptions& options);

// Builds the output; returns the process exit status. Messages go to `err`,
// the writer's progress lines (with --verbose) to `out`.
int RunMux(const MuxOptions& options, std::ostream& out, std::ostream& err);

}  // namespace reelmill
