#pragma once
// The default mode of reelmill-convert: GIF files to AVI, SWF or image
// sequences, several files at once, for batches of any size.

#include <iosfwd>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace reelmill {

struct ConvertOptions {
  std::string to = "avi";     // avi, swf, bmp, tga, jpg, gif, png or tiff (normalised)
  std::string output = ".";   // a folder, or with one input and --to avi/swf a file name
  std::string fps = "10";     // whole frames per second, checked
  int quality = 0;            // 0: not given (100 for avi/swf, the encoder's default for jpg)
  std::string size;           // "WxH"; empty: the GIF's own size
  std::string timing = "real";
  int jobs = 0;  // 0: one per core
  bool recursive = false;
  std::vector<std::string> filesFrom;
  bool skipExisting = false;
  std::string report;
  std::string shard;  // "K/N"
  bool quiet = false;
  std::vector<std::string> inputs;
};

// Registers the options and the input arguments on `app`.
void AddConvertOptions(CLI::App& app, ConvertOptions& options);

// Converts every input; failures go to `err` as "FILE: reason". Returns the
// exit status: 0 when all converted, 1 when any failed, 2 for a usage error,
// 128 + the signal's number when interrupted.
int RunConvert(const ConvertOptions& options, std::istream& in, std::ostream& err);

}  // namespace reelmill
