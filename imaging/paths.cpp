#include "imaging/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace reelmill {

const std::string& ModuleFolder() {
  static const std::string folder = [] {
    std::string exe(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size() - 1);
    if (n <= 0) return std::string("./");
    exe.resize(static_cast<std::size_t>(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
  }();
  return folder;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int CreateFolderPath(const std::string& path) {
  if (path.empty()) return 0;
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return 0;
  // A leading '/' leaves an empty parent: that parent is the root.
  const std::string parent = slash == 0 ? std::string("/") : path.substr(0, slash);
  if (parent != "/" && !IsDirectory(parent) && CreateFolderPath(parent) == 0 && !IsDirectory(parent)) return 0;
  return ::mkdir(path.c_str(), 0777) == 0 ? 1 : 0;
}

std::string FileNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ZeroPadded(long long number, int width) {
  char text[64];
  std::snprintf(text, sizeof text, "%0*lld", width < 0 ? 0 : (width > 40 ? 40 : width), number);
  return text;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The digits of `text` from `at`, without their leading zeros.
std::string_view DigitRun(std::string_view text, std::size_t at, std::size_t& end) {
  end = at;
  while (end < text.size() && IsDigit(text[end])) ++end;
  std::size_t first = at;
  while (first + 1 < end && text[first] == '0') ++first;
  return text.substr(first, end - first);
}

}  // namespace

bool FrameOrderLess(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      std::size_t endA = 0, endB = 0;
      const std::string_view valueA = DigitRun(a, i, endA);
      const std::string_view valueB = DigitRun(b, j, endB);
      if (valueA.size() != valueB.size()) return valueA.size() < valueB.size();
      if (valueA != valueB) return valueA < valueB;
      if (endA - i != endB - j) return endA - i < endB - j;
      i = endA;
      j = endB;
      continue;
    }
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[j]);
    if (x != y) return x < y;
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

}  // namespace reelmill
