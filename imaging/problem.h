#pragma once
// Why a file could not be converted, named. Readers, codecs, writers and the
// engine return a Problem; ProblemText turns it into the one sentence that
// the window's failure list, the command line and the report all show, and
// ProblemCodeName into the report's stable code.

#include <cstdint>
#include <string>

namespace reelmill {

enum class ProblemCode {
  None,
  // The input as a file.
  NotFound,
  IsAFolder,
  NotRegularFile,
  CannotRead,
  FileTooLarge,
  // The input as a GIF.
  NotGif,
  NoImage,
  Truncated,
  BadData,
  TooManyPixels,
  OverMemory,
  // Writing.
  NoSpace,
  ReadOnly,
  NotAFolder,
  CannotWrite,
  // What this conversion refuses; `detail` says it in full.
  OutputIsInput,
  Collision,
  TooLong,
  OutputTooLarge,
  Settings,
  ListEntry,
  // Not failures: why an input was left, or not finished.
  SameInput,
  OutputExists,
  Interrupted,
};

struct Problem {
  ProblemCode code = ProblemCode::None;
  // The system's reason (CannotRead, the writing codes), or the whole text of
  // the refusals that have no form of their own.
  std::string detail;
  // The path written to, for the writing codes.
  std::string path;
  // The frame (from 0) that the damage is in, or -1.
  long long frame = -1;
  // TooManyPixels: the size refused and the pixel limit; OverMemory and
  // FileTooLarge: the bytes needed and the limit.
  int width = 0;
  int height = 0;
  std::uint64_t needed = 0;
  std::uint64_t limit = 0;

  explicit operator bool() const { return code != ProblemCode::None; }
};

// The sentence for `problem`, without the file's name.
std::string ProblemText(const Problem& problem);

// The stable name of `code`, for programs that read the report: "truncated",
// "no-space" and so on; empty for None.
const char* ProblemCodeName(ProblemCode code);

// A problem with an input file from the system's error number (stat, open,
// read): not found, a folder, or the system's reason.
Problem ReadingProblem(int error);

// A problem writing `path` from the system's error number: no space,
// read-only, not a folder, or the system's reason.
Problem WritingProblem(int error, std::string path);

// A problem of `code` alone, in `frame` when given.
Problem ProblemOf(ProblemCode code, long long frame = -1);

// A refusal or limit said in full by `text`.
Problem Refusal(ProblemCode code, std::string text);

}  // namespace reelmill
