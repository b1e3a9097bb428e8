#include "tools/batch_report.h"

#include <cstdint>

namespace reelmill {

namespace {

// Length of the valid UTF-8 sequence at `i`, or 0.
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

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  char escape[8];
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else if (c >= 0x80) {
      const std::size_t length = Utf8Length(text, i);
      if (length == 0) {
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        out += escape;
      } else {
        out.append(text, i, length);
        i += length;
        continue;
      }
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out + "\"";
}

BatchReport::~BatchReport() {
  if (file_) std::fclose(file_);
}

bool BatchReport::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "w");
  return file_ != nullptr;
}

void BatchReport::Write(const ReportLine& line) {
  std::lock_guard lock(mutex_);
  if (!file_) return;
  std::fprintf(file_, "{\"input\":%s,\"output\":%s,\"outcome\":%s,\"reason\":%s,\"frames\":%lld,\"seconds\":%.3f}\n",
               JsonString(line.input).c_str(), JsonString(line.output).c_str(), JsonString(line.outcome).c_str(),
               JsonString(line.reason).c_str(), line.frames, line.seconds);
  std::fflush(file_);
}

}  // namespace reelmill
