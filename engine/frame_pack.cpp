#include "engine/frame_pack.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace reelmill {

FramePack::FramePack(std::string path) : path_(std::move(path)) {
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

FramePack::~FramePack() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(path_.c_str());
}

bool FramePack::Add(long long step, std::span<const std::uint8_t> jpeg) {
  if (fd_ < 0 || jpeg.empty()) return false;
  std::uint64_t offset = 0;
  {
    // Each frame gets its own range; the writes themselves go on in parallel.
    std::lock_guard lock(mutex_);
    offset = end_;
    end_ += jpeg.size();
  }
  std::size_t done = 0;
  while (done < jpeg.size()) {
    const ssize_t n = ::pwrite(fd_, jpeg.data() + done, jpeg.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  std::lock_guard lock(mutex_);
  frames_[step] = Entry{offset, jpeg.size()};
  return true;
}

void FramePack::Clear() {
  std::lock_guard lock(mutex_);
  frames_.clear();
  end_ = 0;
  if (fd_ >= 0 && ::ftruncate(fd_, 0) != 0) {
    // Space past the end is merely reused; nothing refers to it any more.
  }
}

std::map<long long, FramePack::Entry> FramePack::Frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

}  // namespace reelmill
