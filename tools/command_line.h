#pragma once
// What every mode of reelmill-convert says and parses the same way.

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>

namespace reelmill {

inline constexpr char kProgram[] = "reelmill-convert";

// Writes "reelmill-convert[ MODE]: MESSAGE" and the hint to --help; returns
// the usage exit status.
int UsageError(std::ostream& err, const std::string& message, const std::string& mode = {});

struct SizeArgument {
  int width = 0;
  int height = 0;
};

// "WxH" (or "WXH") with both sides whole numbers from 1 to `maxSide`.
std::optional<SizeArgument> ParseSizeArgument(const std::string& text, int maxSide);

// Length of the valid UTF-8 sequence at `i` of `text`, or 0.
std::size_t Utf8Length(const std::string& text, std::size_t i);

// `text` safe to print on a terminal: control characters, and bytes that
// are not part of valid UTF-8, as escapes (\n, \t, \xNN), so a file name
// can neither move the cursor, change colours or titles, nor fake a line.
std::string Printable(const std::string& text);

// Decimal digits only, at most nine of them (so they fit an int).
bool IsSmallNumber(const std::string& text);

}  // namespace reelmill
