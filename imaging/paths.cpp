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

}  // namespace reelmill
