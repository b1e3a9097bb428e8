#include "imaging/problem.h"

#include <cerrno>
#include <cstring>

namespace reelmill {

namespace {

// Rounded up, so that a need is never shown as less than it is.
std::string Mebibytes(std::uint64_t bytes) {
  if (bytes < (1u << 20)) return std::to_string((bytes + 1023) >> 10) + " KiB";
  return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB";
}

std::string InFrame(long long frame) { return frame >= 0 ? " in frame " + std::to_string(frame + 1) : ""; }

std::string Size(int width, int height) { return std::to_string(width) + " x " + std::to_string(height); }

}  // namespace

std::string ProblemText(const Problem& problem) {
  switch (problem.code) {
    case ProblemCode::None: return {};
    case ProblemCode::NotFound: return "it does not exist";
    case ProblemCode::IsAFolder: return "it is a folder, not a file";
    case ProblemCode::NotRegularFile: return "not a regular file";
    case ProblemCode::CannotRead: return "it cannot be read: " + problem.detail;
    case ProblemCode::FileTooLarge:
      return "it is " + Mebibytes(problem.needed) + ", larger than the " + Mebibytes(problem.limit) + " a file may be";
    case ProblemCode::NotGif: return "not a GIF file (it does not start with \"GIF8\")";
    case ProblemCode::NoImage: return "the GIF holds no image";
    case ProblemCode::Truncated: return "the file ends early" + InFrame(problem.frame);
    case ProblemCode::BadData:
      return problem.frame >= 0 ? "bad data in frame " + std::to_string(problem.frame + 1)
                                : "bad data at the start of the file";
    case ProblemCode::TooManyPixels:
      return (problem.frame >= 0 ? "frame " + std::to_string(problem.frame + 1) : std::string("its screen")) + " is " +
             Size(problem.width, problem.height) + ", more than the " + std::to_string(problem.limit) +
             " pixels a frame may have";
    case ProblemCode::OverMemory:
      if (problem.needed == 0) return "there is not enough memory to decode it";
      return "it needs about " + Mebibytes(problem.needed) + " of memory, more than the limit of " +
             Mebibytes(problem.limit) + (problem.detail.empty() ? "" : "; " + problem.detail);
    case ProblemCode::NoSpace: return "no space left on the device for " + problem.path;
    case ProblemCode::ReadOnly: return "cannot write " + problem.path + ": " + problem.detail;
    case ProblemCode::NotAFolder: return problem.path + " is not a folder";
    case ProblemCode::CannotWrite:
      return problem.path.empty() ? problem.detail : "cannot write " + problem.path + ": " + problem.detail;
    case ProblemCode::OutputIsInput:
    case ProblemCode::Collision:
    case ProblemCode::TooLong:
    case ProblemCode::OutputTooLarge:
    case ProblemCode::Settings:
    case ProblemCode::ListEntry:
    case ProblemCode::SameInput: return problem.detail;
    case ProblemCode::OutputExists: return "its output exists and is newer than the input";
    case ProblemCode::Interrupted: return problem.detail.empty() ? "interrupted" : problem.detail;
  }
  return problem.detail;
}

const char* ProblemCodeName(ProblemCode code) {
  switch (code) {
    case ProblemCode::None: return "";
    case ProblemCode::NotFound: return "not-found";
    case ProblemCode::IsAFolder: return "is-a-folder";
    case ProblemCode::NotRegularFile: return "not-regular-file";
    case ProblemCode::CannotRead: return "cannot-read";
    case ProblemCode::FileTooLarge: return "file-too-large";
    case ProblemCode::NotGif: return "not-gif";
    case ProblemCode::NoImage: return "no-image";
    case ProblemCode::Truncated: return "truncated";
    case ProblemCode::BadData: return "bad-data";
    case ProblemCode::TooManyPixels: return "too-many-pixels";
    case ProblemCode::OverMemory: return "over-memory";
    case ProblemCode::NoSpace: return "no-space";
    case ProblemCode::ReadOnly: return "read-only";
    case ProblemCode::NotAFolder: return "not-a-folder";
    case ProblemCode::CannotWrite: return "cannot-write";
    case ProblemCode::OutputIsInput: return "output-is-input";
    case ProblemCode::Collision: return "collision";
    case ProblemCode::TooLong: return "too-long";
    case ProblemCode::OutputTooLarge: return "output-too-large";
    case ProblemCode::Settings: return "settings";
    case ProblemCode::ListEntry: return "list-entry";
    case ProblemCode::SameInput: return "same-input";
    case ProblemCode::OutputExists: return "output-exists";
    case ProblemCode::Interrupted: return "interrupted";
  }
  return "";
}

Problem ReadingProblem(int error) {
  Problem problem;
  switch (error) {
    case ENOENT: problem.code = ProblemCode::NotFound; break;
    case EISDIR: problem.code = ProblemCode::IsAFolder; break;
    default: problem.code = ProblemCode::CannotRead; problem.detail = std::strerror(error);
  }
  return problem;
}

Problem WritingProblem(int error, std::string path) {
  Problem problem;
  problem.path = std::move(path);
  problem.detail = std::strerror(error);
  switch (error) {
    case ENOSPC:
    case EDQUOT: problem.code = ProblemCode::NoSpace; break;
    case EROFS:
    case EACCES:
    case EPERM: problem.code = ProblemCode::ReadOnly; break;
    case ENOTDIR:
    case EEXIST: problem.code = ProblemCode::NotAFolder; break;
    default: problem.code = ProblemCode::CannotWrite;
  }
  return problem;
}

Problem ProblemOf(ProblemCode code, long long frame) {
  Problem problem;
  problem.code = code;
  problem.frame = frame;
  return problem;
}

Problem Refusal(ProblemCode code, std::string text) {
  Problem problem;
  problem.code = code;
  problem.detail = std::move(text);
  return problem;
}

}  // namespace reelmill
