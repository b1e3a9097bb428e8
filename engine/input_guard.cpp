#include "engine/input_guard.h"

#include <sys/stat.h>

#include <filesystem>

#include "engine/work_paths.h"

namespace reelmill {

namespace fs = std::filesystem;

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

std::string InputInTempFolderReason(const std::string& gifPath, const std::string& workFolder) {
  const std::string temp = TempFolderOf(workFolder);
  std::error_code error;
  const fs::path tempFolder = fs::canonical(temp, error);
  if (error) return {};  // no temporary folder yet: nothing in it to lose
  const auto inTemp = [&](const fs::path& folder) {
    std::error_code ignored;
    return fs::equivalent(folder, tempFolder, ignored);
  };
  // The name itself (a link in the folder would be deleted) and what it
  // leads to (the file there would be deleted).
  const fs::path given = fs::absolute(gifPath, error);
  const fs::path resolved = fs::canonical(gifPath, error);
  if (inTemp(given.parent_path()) || (!error && inTemp(resolved.parent_path()))) {
    return "it lies in the temporary frame folder " + temp + ", which every conversion empties";
  }
  return {};
}

std::string OutputReplacesInputReason(const std::string& outputPath, const std::string& gifPath) {
  if (!SameFile(outputPath, gifPath)) return {};
  return "its output " + outputPath + " is the input itself";
}

}  // namespace reelmill
