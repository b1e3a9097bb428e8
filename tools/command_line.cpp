#include "tools/command_line.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ostream>

#include "tools/exit_status.h"

namespace reelmill {

int UsageError(std::ostream& err, const std::string& message, const std::string& mode) {
  err << kProgram << (mode.empty() ? "" : " " + mode) << ": " << Printable(message)
      << "\nRun with --help for more information.\n";
  return kExitUsage;
}

std::size_t Utf8Length(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  std::uint32_t code = lead & (0xFF >> (length + 1));
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i + k) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

std::string Printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  char escape[8];
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80 ? 1 : Utf8Length(text, i);
    // U+0080 to U+009F are controls too (C1: CSI and the like).
    const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F || length == 0 || c1) {
      length = c1 ? 2 : 1;
      for (std::size_t k = 0; k < length; ++k) {
        std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(text[i + k]));
        out += escape;
      }
    } else {
      out.append(text, i, length);
    }
    i += std::max<std::size_t>(length, 1);
  }
  return out;
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
