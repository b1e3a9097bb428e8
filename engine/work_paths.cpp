#include "engine/work_paths.h"

#include <cctype>
#include <filesystem>

#include "engine/conversion_settings.h"
#include "imaging/paths.h"

namespace reelmill {

std::string TempFolderOf(const std::string& workFolder) { return workFolder + "varnle_reelmill/Temp/"; }

std::string TempFramePath(const std::string& workFolder, const std::string& gifPath, long long step) {
  return TempFolderOf(workFolder) + FileNameOf(gifPath) + ZeroPadded(step, 5) + ".jpg";
}

std::string OutputPathFor(const std::string& folder, const std::string& gifPath, std::string_view outputKind) {
  std::string name = FileNameOf(gifPath);
  const std::size_t keep = name.size() > 3 ? name.size() - 3 : 0;
  name.resize(keep);
  name += outputKind == kOutputAvi ? "avi" : "swf";
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
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code removeError;
    if (!it->is_directory(removeError) && !fs::remove(it->path(), removeError)) ok = false;
  }
  return ok && !error;
}

}  // namespace reelmill
