#include "tools/command_line.h"

#include <algorithm>
#include <ostream>

#include "tools/exit_status.h"

namespace reelmill {

int UsageError(std::ostream& err, const std::string& message, const std::string& mode) {
  err << kProgram << (mode.empty() ? "" : " " + mode) << ": " << message << "\nRun with --help for more information.\n";
  return kExitUsage;
}

bool IsSmallNumber(const std::string& text) {
  return !text.empty() && text.size() <= 9 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<SizeArgument> ParseSizeArgument(const std::string& text, int maxSide) {
  const auto cross = text.find_first_of("xX");
  if (cross == std::string::npos) return std::nullopt;
  const std::string w = text.substr(0, cross), h = text.substr(cross + 1);
  if (!IsSmallNumber(w) || !IsSmallNumber(h)) return std::nullopt;
  const SizeArgument size{std::stoi(w), std::stoi(h)};
  if (size.width < 1 || size.height < 1 || size.width > maxSide || size.height > maxSide) return std::nullopt;
  return size;
}

}  // namespace reelmill
