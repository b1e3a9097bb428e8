#pragma once
// Whole-file reads with a size limit, and writes that replace a file only
// once the new content is complete.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/problem.h"

namespace reelmill {

// Files we read whole are refused above this size rather than exhausting memory.
inline constexpr std::uint64_t kMaxWholeFileBytes = 1ull << 31;

// Size in bytes of a regular file, or nullopt when it cannot be measured.
std::optional<std::uint64_t> FileSize(const std::string& path);

// A read-only descriptor of a regular file, or -1 (errno set) for anything
// else; never waits on a named pipe or a device.
int OpenRegularForReading(const std::string& path);

// The whole content of a regular file of at most `maxBytes` bytes; nullopt,
// with why in `problem` when given, for anything else.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path,
                                                       std::uint64_t maxBytes = kMaxWholeFileBytes,
                                                       Problem* problem = nullptr);

// Why `path` cannot be read as a regular file (not there, a folder, a pipe or
// device, or the system's reason); no problem when it can be opened.
Problem ReadableFileProblem(const std::string& path);

// The partial file of a target named `targetName` is a hidden sibling:
// "." + targetName + "." + kPartialFileRandomChars random letters.
inline constexpr std::size_t kPartialFileRandomChars = 6;
// The name of the target whose partial file is named `name`; nullopt when
// `name` is not named like one.
std::optional<std::string> PartialFileTarget(std::string_view name);

// Writes a file through a temporary sibling in the same folder and renames it
// over the target in Commit(), so a failed or abandoned write never costs the
// user the file that was there. Without Commit() the temporary file is removed.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::string targetPath);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the temporary file; false when the folder is not writable.
  bool Open();
  std::FILE* File() const { return file_; }
  bool Write(std::span<const std::uint8_t> bytes);
  bool Write(const void* data, std::size_t size);
  // Replaces bytes already written at `offset` (a length or a count known
  // only at the end); the writing position stays where it was.
  bool Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  // Flushes, closes and renames over the target; false (and nothing replaced)
  // when any write failed.
  bool Commit();
  // Drops the temporary file; the target is untouched.
  void Abandon();

  const std::string& TargetPath() const { return target_; }
  const std::string& TempPath() const { return temp_; }

 private:
  std::string target_;
  std::string temp_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

// Writes `bytes` to `path` through an AtomicFileWriter.
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Creates or truncates `path` and writes `bytes` in place: for files in a
// private folder that nobody else reads until they are complete.
bool WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace reelmill
