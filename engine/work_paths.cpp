#include "engine/work_paths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "engine/conversion_settings.h"
#include "imaging/paths.h"

namespace reelmill {

std::string TempFolderOf(const std::string& workFolder) { return workFolder + "varnle_reelmill/Temp/"; }

std::string TempFramePath(const std::string& workFolder, const std::string& gifPath, long long step) {
  return TempFolderOf(workFolder) + FileNameOf(gifPath) + ZeroPadded(step, 5) + ".jpg";
}

std::vector<long long> RecordedSteps(const std::string& workFolder, const std::string& gifPath, long long totalSteps) {
  namespace fs = std::filesystem;
  const std::string prefix = FileNameOf(gifPath);
  const std::string suffix = ".jpg";
  constexpr std::size_t kMaxDigits = 18;  // well inside a long long
  std::vector<long long> steps;
  std::error_code error;
  for (fs::directory_iterator it(TempFolderOf(workFolder), error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > kMaxDigits ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    const long long step = std::stoll(digits);
    // Exactly the name the step is written under (no other padding).
    if (step < totalSteps && ZeroPadded(step, 5) == digits) steps.push_back(step);
  }
  std::sort(steps.begin(), steps.end());
  return steps;
}

std::string OutputPathFor(const std::string& folder, const std::string& gifPath, std::string_view outputKind) {
  std::string name = FileNameOf(gifPath);
  const std::size_t keep = name.size() > 3 ? name.size() - 3 : 0;
  name.resize(keep);
  name += outputKind == kOutputAvi    ? "avi"
          : outputKind == kOutputMp4  ? "mp4"
          : outputKind == kOutputWebm ? "webm"
          : outputKind == kOutputWebp ? "webp"
                                      : "swf";
  return folder + name;
}

std::string SequenceFolderOf(const std::string& folder, const std::string& extension) {
  return folder + "varnle_reelmill/" + extension + "/";
}

std::string SequenceFramePath(const std::string& folder, const std::string& gifPath, const std::string& extension,
                              long long frame) {
  return SequenceFolderOf(folder, extension) + FileNameOf(gifPath) + ZeroPadded(frame, 5) + "." + extension;
}

std::string SequenceExtensionOf(const std::string& imageFormat) {
  std::string extension = imageFormat;
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

bool ResetTempFolder(const std::string& workFolder) {
  const std::string folder = TempFolderOf(workFolder);
  if (!IsDirectory(folder)) CreateFolderPath(folder);
  if (!IsDirectory(folder)) return false;
  namespace fs = std::filesystem;
  std::error_code error;
  bool ok = true;
  // Only what passes leave there (frame files, frame packs): anything else a
  // user keeps in the folder stays.
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code removeError;
    const std::string name = it->path().filename().string();
    const bool left = name.ends_with(".jpg") || name.ends_with(".frames");
    if (left && !it->is_directory(removeError) && !fs::remove(it->path(), removeError)) ok = false;
  }
  return ok && !error;
}

}  // namespace reelmill
