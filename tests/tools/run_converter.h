#pragma once
// Runs the reelmill-convert binary as a user would and collects its exit
// status and both output streams.

#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "tests/support/test_support.h"

namespace reelmill::testing {

inline std::string Quoted(const std::string& text) { return "'" + text + "'"; }

struct RunResult {
  int status = -1;
  std::string out, err;
};

// `scratch` is a folder where the standard error text can be kept briefly;
// `environment` is put before the command (for example "TMPDIR=/x").
inline RunResult RunConverter(const std::string& arguments, const std::string& scratch,
                              const std::string& environment = "") {
  static const std::string convert = std::string(REELMILL_BINARY_DIR) + "/tools/reelmill-convert";
  const std::string errFile = scratch + "/stderr.txt";
  RunResult result;
  int raw = -1;
  result.out = RunCapture(environment + " " + Quoted(convert) + " " + arguments + " 2>" + Quoted(errFile), &raw);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const auto err = ReadAll(errFile);
  result.err.assign(err.begin(), err.end());
  std::filesystem::remove(errFile);
  return result;
}

}  // namespace reelmill::testing
