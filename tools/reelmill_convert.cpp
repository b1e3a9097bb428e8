// reelmill-convert: the command-line converter. Each mode lives in its own
// unit; main only parses and dispatches.

#include <CLI/CLI.hpp>

#include <iostream>

#include "tools/exit_status.h"
#include "tools/mux_command.h"

int main(int argc, char** argv) {
  using namespace reelmill;
  CLI::App app{"Reelmill: builds videos and movies from animated GIFs and JPEG frames", "reelmill-convert"};
  app.require_subcommand(1);

  MuxOptions mux;
  CLI::App* muxCommand = AddMuxCommand(app, mux);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Help prints to stdout and succeeds; every other parse error is a usage error.
    return app.exit(error) == 0 ? kExitOk : kExitUsage;
  }
  if (muxCommand->parsed()) return RunMux(mux, std::cout, std::cerr);
  return kExitUsage;
}
