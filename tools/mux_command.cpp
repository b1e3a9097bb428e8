#include "tools/mux_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <sstream>

#include "engine/input_guard.h"
#include "imaging/file_io.h"
#include "imaging/null_stream.h"
#include "imaging/paths.h"
#include "tools/command_line.h"
#include "tools/exit_status.h"
#include "writers/avi/avi_writer.h"
#include "writers/swf/swf_movie.h"
#include "writers/swf/swf_movie_composition.h"

namespace reelmill {
namespace {

constexpr int kMaxSwfFps = SwfMovie::kMaxFrameRate;
constexpr std::uint64_t kMaxFrameHeaderScan = 64ull << 20;

int MuxUsageError(std::ostream& err, const std::string& message) { return UsageError(err, message, "mux"); }

int Failure(std::ostream& err, const std::string& message) {
  err << kProgram << ": " << Printable(message) << '\n';
  return kExitFailed;
}

std::vector<std::uint8_t> ReadHead(const std::string& path, std::size_t count) {
  std::vector<std::uint8_t> head(count);
  std::size_t got = 0;
  if (FileSize(path)) {  // regular files only: never block on a pipe
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
      got = std::fread(head.data(), 1, count, file);
      std::fclose(file);
    }
  }
  head.resize(got);
  return head;
}

std::string LastLine(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
  const auto newline = trimmed.rfind('\n');
  return newline == std::string::npos ? trimmed : trimmed.substr(newline + 1);
}

std::string SizeText(const JpegFrameSize& size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

}  // namespace

std::optional<JpegFrameSize> ParseFrameSize(const std::string& text) {
  const auto size = ParseSizeArgument(text, 65535);
  if (!size) return std::nullopt;
  return JpegFrameSize{size->width, size->height};
}

CLI::App* AddMuxCommand(CLI::App& app, MuxOptions& options) {
  CLI::App* mux = app.add_subcommand("mux", "Build one AVI or SWF from JPEG frame files, without re-encoding them");
  // Its own footer: the one it would take from the converter speaks of batches.
  mux->footer("Exit status: 0 the file was written, 1 it could not be made, 2 usage error.");
  mux->add_option("--to", options.to, "Output kind: avi (Motion-JPEG video) or swf (movie of JPEG frames)")
      ->required()
      ->check(CLI::IsMember({"avi", "swf"}));
  mux->add_option("--fps", options.fps, "Frames per second (at most 255 for swf)")
      ->check(CLI::Range(1, 1000))
      ->capture_default_str();
  mux->add_option("--size", options.sizeText, "Frame size WxH; must be the frames' own size, which is the default")
      ->check(CLI::Validator(
          [](std::string& text) { return ParseFrameSize(text) ? std::string() : "expected WxH, each 1 to 65535"; },
          "WxH"));
  mux->add_option("-o,--output", options.output, "Output file; an existing file is replaced only on success")
      ->required();
  mux->add_flag("-v,--verbose", options.verbose, "Show the writer's progress lines");
  mux->add_option(
         "frames", options.frames,
         "JPEG frame files; played in the order of their paths, numbers compared by value (frame9 before frame10)")
      ->required()
      ->check(CLI::ExistingFile);
  return mux;
}

int RunMux(const MuxOptions& options, std::ostream& out, std::ostream& err) {
  const bool avi = options.to == "avi";
  if (!avi && options.fps > kMaxSwfFps) {
    return MuxUsageError(err, "--fps: a SWF movie holds at most " + std::to_string(kMaxSwfFps) + " frames per second");
  }
  for (const std::string& frame : options.frames) {
    if (SameFile(frame, options.output)) return MuxUsageError(err, "the output would replace the frame file " + frame);
  }

  // The AVI writer's frame order, for both kinds: numbers by their value.
  std::vector<std::string> frames = options.frames;
  std::sort(frames.begin(), frames.end(),
            [](const std::string& a, const std::string& b) { return FrameOrderLess(a, b); });

  for (const std::string& frame : frames) {
    const std::vector<std::uint8_t> head = ReadHead(frame, kJpegHeadBytes);
    if (!HasJpegStart(head)) return Failure(err, frame + " is not a JPEG file");
    // The AVI writer stamps "AVI1" over the JFIF identifier; any other
    // layout would have picture data overwritten.
    if (avi && !HasJfifApp0(head)) {
      return Failure(err, frame + " does not start with a JFIF APP0 segment, which AVI frames need");
    }
  }

  // Every frame must be the size the header declares: players take the
  // header's word and misread pictures of another size.
  JpegFrameSize size;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const auto jpeg = ReadFileBytes(frames[i], kMaxFrameHeaderScan);
    if (!jpeg) return Failure(err, "cannot read the frame size of " + frames[i]);
    std::string why;
    const auto found = ReadJpegFrameSize(*jpeg, &why);
    if (!found) return Failure(err, "cannot read the frame size of " + frames[i] + ": " + why);
    if (i == 0) {
      size = *found;
    } else if (found->width != size.width || found->height != size.height) {
      return Failure(err, frames[i] + " is " + SizeText(*found) + ", but " + frames.front() + " is " + SizeText(size) +
                              "; all frames must have one size");
    }
  }
  if (!options.sizeText.empty()) {
    const JpegFrameSize asked = *ParseFrameSize(options.sizeText);
    if (asked.width != size.width || asked.height != size.height)
      return MuxUsageError(err, "--size " + options.sizeText + " differs from the frames' own size " + SizeText(size) +
                                    "; the frames are not re-encoded, so the size cannot change");
  }

  if (avi) {
    NullStream quiet;
    std::ostringstream writerErrors;
    AviWriter writer(options.verbose ? out : quiet, options.verbose ? err : writerErrors);
    for (const std::string& frame : frames) {
      if (writer.AddFrameFile(frame) != AviWriter::kOk) return Failure(err, "cannot read " + frame);
    }
    writer.SetOutputPath(options.output);
    writer.SetFrameRate(options.fps);
    writer.SetFrameSize(size.width, size.height);
    if (writer.Write() != AviWriter::kOk) {
      const std::string reason = LastLine(writerErrors.str());
      return Failure(err, "cannot write " + options.output + (reason.empty() ? "" : ": " + reason));
    }
  } else if (!WriteJpegFrameMovie(options.output, static_cast<float>(size.width), static_cast<float>(size.height),
                                  options.fps, frames)) {
    return Failure(err, "cannot write " + options.output);
  }
  if (options.verbose) {
    out << "wrote " << options.output << " (" << frames.size() << " frames, " << size.width << "x" << size.height
        << ", " << options.fps << " fps)\n";
  }
  return kExitOk;
}

}  // namespace reelmill
