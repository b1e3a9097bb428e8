#pragma once
// The options of a conversion run, checked and turned into what the work
// needs, or the reason they cannot be.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "engine/conversion.h"
#include "engine/encoded_export.h"
#include "engine/sequence_export.h"
#include "tools/convert_options.h"

namespace reelmill {

struct Plan {
  std::string extension;  // avi, swf, mp4, webm, webp, or the sequence format
  bool video = false;     // avi or swf: recorded, then written from the frames
  bool encoded = false;   // mp4, webm or webp: encoded straight from the decoder
  EncodedExportOptions encodedOptions;
  // One output file per input (a video of any kind), not a sequence.
  bool OneFile() const { return video || encoded; }
  ConversionSettings settings;
  OutputTiming timing = OutputTiming::Real;
  SequenceOptions sequence;
  std::string outputFolder;  // ends in '/'
  std::string outputFile;    // -o NAME.avi with one input
  int shardIndex = 0;
  int shardCount = 1;
  std::size_t jobs = 1;           // files at once
  int encoderThreads = 1;         // threads that encode the frames of each file
  std::uint64_t memoryBytes = 0;  // what the files under way may take together
  bool openList = false;          // inputs come from lists or folders, so their number is unknown
};

struct UsageProblem {
  std::string message;
};

std::variant<Plan, UsageProblem> MakePlan(const ConvertOptions& options);

// A colour by name (white, black, ...) or as #rrggbb; nullopt for anything else.
std::optional<std::uint32_t> ParseColour(const std::string& text);

// "1536M", "2G", "2GiB", "512MB" or plain bytes (units of 1024); nullopt for
// anything else.
std::optional<std::uint64_t> ParseMemorySize(const std::string& text);

}  // namespace reelmill
