#include "tools/output_naming.h"

#include <algorithm>
#include <cctype>

namespace reelmill {

bool HasExtension(std::string_view text, std::string_view extension) {
  if (text.size() < extension.size() + 1 || text[text.size() - extension.size() - 1] != '.') return false;
  return std::equal(extension.begin(), extension.end(), text.end() - static_cast<std::ptrdiff_t>(extension.size()),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                    });
}

std::string OutputFileName(const std::string& gifFileName, std::string_view extension) {
  if (HasExtension(gifFileName, "gif")) return gifFileName.substr(0, gifFileName.size() - 3) + std::string(extension);
  const auto dot = gifFileName.rfind('.');
  // A leading dot starts a hidden name, not an extension.
  const std::string stem = dot == std::string::npos || dot == 0 ? gifFileName : gifFileName.substr(0, dot);
  return stem + "." + std::string(extension);
}

}  // namespace reelmill
