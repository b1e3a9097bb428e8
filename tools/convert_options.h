#pragma once
// The options of reelmill-convert's default mode, as given on the command
// line: GIF files to AVI, SWF or image sequences, for batches of any size.

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace reelmill {

struct ConvertOptions {
  std::string to;            // avi, swf, mp4, webm, webp or a sequence (any case); empty: not given
  std::string output = ".";  // a folder, or with one input and a one-file output a file name
  std::string fps = "10";    // whole frames per second, checked
  bool fpsGiven = false;     // --fps was given (mp4, webm and webp keep each frame's own time without it)
  std::string crf;           // mp4 and webm, checked; empty: not given
  std::string preset;        // mp4 and webm encoder speed
  std::string background;    // colour under transparent pixels (mp4, webm without alpha)
  int quality = 0;           // 0: not given (100 for avi/swf, the encoder's default for jpg)
  std::string size;          // "WxH"; empty: the GIF's own size
  std::string timing = "real";
  int jobs = 0;        // 0: one per core
  std::string memory;  // "2G", "1536M"...; empty: the default budget
  bool recursive = false;
  std::vector<std::string> filesFrom;
  bool nullSeparated = false;  // list entries end in NUL bytes, as find -print0 writes them
  bool skipExisting = false;
  bool strict = false;  // a damaged GIF is a failure
  std::string report;
  std::string shard;  // "K/N"
  bool quiet = false;
  std::vector<std::string> inputs;
};

// Registers the options and the input arguments on `app`.
void AddConvertOptions(CLI::App& app, ConvertOptions& options);

}  // namespace reelmill
