#include "tools/batch_report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/command_line.h"

namespace reelmill {

namespace {

std::string Base64(const std::string& bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    for (std::size_t k = 0; k < 4; ++k) out += i + k <= bytes.size() ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return out;
}

// "name":"text", and for a name that is not UTF-8 "name_bytes":"base64" too,
// so a reader can get back the exact bytes of the path.
std::string NameFields(const char* name, const std::string& path) {
  std::string fields = std::string("\"") + name + "\":" + JsonString(path);
  if (!IsUtf8(path)) fields += std::string(",\"") + name + "_bytes\":\"" + Base64(path) + "\"";
  return fields;
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Converted: return "converted";
    case Outcome::Failed: return "failed";
    case Outcome::Skipped: return "skipped";
    case Outcome::NotDone: return "not done";
  }
  return "failed";
}

bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
    } else if (const std::size_t length = Utf8Length(text, i)) {
      i += length;
    } else {
      return false;
    }
  }
  return true;
}

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
        out += "\\ufffd";
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

std::string ReportJson(const ReportLine& line) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "\"frames\":%lld,\"seconds\":%.3f", line.frames, line.seconds);
  // Not "{" + NameFields(...): GCC 12 at -O3 warns falsely (-Wrestrict) on a literal plus a temporary string.
  std::string json = "{";
  json += NameFields("input", line.input) + "," + NameFields("output", line.output) +
          ",\"outcome\":" + JsonString(OutcomeName(line.outcome)) + ",\"code\":" + JsonString(line.code) +
          ",\"reason\":" + JsonString(line.reason) + ",\"damaged\":" + (line.damaged ? "true" : "false") + "," +
          numbers + "}";
  return json;
}

BatchReport::~BatchReport() {
  if (fd_ >= 0) ::close(fd_);
}

bool BatchReport::Open(const std::string& path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd_ >= 0;
}

void BatchReport::Write(const ReportLine& line) {
  const std::string text = ReportJson(line) + "\n";
  std::lock_guard lock(mutex_);
  if (fd_ < 0 || !failure_.empty()) return;
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failure_ = n < 0 ? std::strerror(errno) : "nothing more could be written";
      // Take back the part of the line, where the file allows it.
      if (done > 0 && ::ftruncate(fd_, static_cast<off_t>(end_)) == 0) ::lseek(fd_, static_cast<off_t>(end_), SEEK_SET);
      return;
    }
    done += static_cast<std::size_t>(n);
  }
  end_ += text.size();
}

std::string BatchReport::Failure() {
  std::lock_guard lock(mutex_);
  return failure_;
}

std::string BatchReport::Close() {
  std::lock_guard lock(mutex_);
  if (fd_ < 0) return failure_;
  // Some file systems say only now that the lines did not fit; pipes and
  // terminals cannot be synced, which is no failure.
  if (failure_.empty() && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) failure_ = std::strerror(errno);
  if (::close(fd_) != 0 && failure_.empty() && errno != EINTR) failure_ = std::strerror(errno);
  fd_ = -1;
  return failure_;
}

}  // namespace reelmill
