// reelmill-convert: the command-line converter. Each mode lives in its own
// unit; main only parses and dispatches.
//   reelmill-convert [--to ...] [options] INPUT...    convert GIF files and folders
//   reelmill-convert mux --to avi|swf -o OUT FRAME... build one file from JPEG frames

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <csignal>
#include <iostream>

#include "tools/convert_command.h"
#include "tools/convert_options.h"
#include "tools/exit_status.h"
#include "tools/mux_command.h"

int main(int argc, char** argv) {
  using namespace reelmill;
  CLI::App app{
      "Reelmill: converts animated GIFs to Motion-JPEG AVI, SWF movies, MP4, WebM, animated WebP or image "
      "sequences",
      "reelmill-convert"};
  app.require_subcommand(0, 1);
  app.set_version_flag("--version", std::string("reelmill-convert ") + REELMILL_VERSION);

  ConvertOptions convert;
  AddConvertOptions(app, convert);
  MuxOptions mux;
  CLI::App* muxCommand = AddMuxCommand(app, mux);

  // A reader of standard error that goes away (a closed pipe) makes writes
  // fail instead of ending the run with its files half made.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Help prints to stdout and succeeds; every other parse error is a usage error.
    return app.exit(error) == 0 ? kExitOk : kExitUsage;
  }
  if (muxCommand->parsed()) return RunMux(mux, std::cout, std::cerr);
  return RunConvert(convert, STDIN_FILENO, std::cerr);
}
