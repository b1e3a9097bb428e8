#pragma once
// The default mode of reelmill-convert: GIF files to AVI, SWF or image
// sequences, the same files the window's Convert writes, several files at once.

#include <iosfwd>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace reelmill {

struct ConvertOptions {
  std::string to = "avi";  // avi, swf, bmp, tga, jpg, gif, png or tiff
  std::string outputFolder = ".";
  int fps = 10;
  int quality = 100;
  std::string size;  // "WxH"; empty: the GIF's own size
  int jobs = 0;      // 0: one per core
  bool quiet = false;
  std::vector<std::string> inputs;
};

// Registers the options and the GIF arguments on `app`.
void AddConvertOptions(CLI::App& app, ConvertOptions& options);

// Converts every input; failures go to `err` as "FILE: reason". Returns the
// exit status: 0 when all converted, 1 when any failed, 2 for a usage error.
int RunConvert(const ConvertOptions& options, std::ostream& err);

}  // namespace reelmill
