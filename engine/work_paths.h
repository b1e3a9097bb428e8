#pragma once
// Names of the temporary frame files, the AVI/SWF outputs and the image
// sequences. Folders are texts ending in '/', joined by plain concatenation.

#include <string>
#include <string_view>
#include <vector>

namespace reelmill {

// <work folder>varnle_reelmill/Temp/
std::string TempFolderOf(const std::string& workFolder);
// <temp folder><gif file name><step, 5 digits at least>.jpg
std::string TempFramePath(const std::string& workFolder, const std::string& gifPath, long long step);
// The steps 0 to totalSteps - 1 that have a temporary frame file of
// `gifPath`, in increasing order. The folder is listed once, so the cost
// follows the files there, not the steps of the pass.
std::vector<long long> RecordedSteps(const std::string& workFolder, const std::string& gifPath, long long totalSteps);
// <folder><gif file name> with its last three characters replaced by
// "avi" (Video(AVI)), "swf" (Flash(SWF)), "mp4", "webm" or "webp".
std::string OutputPathFor(const std::string& folder, const std::string& gifPath, std::string_view outputKind);
// <folder>varnle_reelmill/<extension>/
std::string SequenceFolderOf(const std::string& folder, const std::string& extension);
// <sequence folder><gif file name><frame, 5 digits at least>.<extension>
std::string SequenceFramePath(const std::string& folder, const std::string& gifPath, const std::string& extension,
                              long long frame);
// The extension of the "Image Sequence" format: "BMP" gives "bmp", "TIFF" gives "tiff".
std::string SequenceExtensionOf(const std::string& imageFormat);

// Makes sure the temporary frame folder exists and holds no frame files
// (".jpg") or frame packs (".frames"); other files are left alone. False when
// it cannot be created or a frame file cannot be deleted.
bool ResetTempFolder(const std::string& workFolder);

}  // namespace reelmill
