#include "engine/frame_pack.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

namespace reelmill {

FramePack::FramePack(std::string path, std::uint64_t memoryBytes)
    : filePath_(std::move(path)), memoryBytes_(memoryBytes) {
  memory_.fd = ::memfd_create("reelmill-frames", MFD_CLOEXEC);
  // The writers open it by name, like any file.
  if (memory_.fd >= 0) memory_.path = "/proc/self/fd/" + std::to_string(memory_.fd);
  // Without memory files (old kernels) the file takes every frame.
  if (memory_.fd < 0) PartFor(memoryBytes_ + 1);
}

FramePack::~FramePack() {
  if (memory_.fd >= 0) ::close(memory_.fd);
  if (file_.fd >= 0) {
    ::close(file_.fd);
    ::unlink(file_.path.c_str());
  }
}

FramePack::Part* FramePack::PartFor(std::uint64_t size) {
  if (memory_.fd >= 0 && memory_.end + size <= memoryBytes_) return &memory_;
  if (file_.fd < 0) {
    file_.fd = ::open(filePath_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file_.fd < 0) return nullptr;
    file_.path = filePath_;
  }
  return &file_;
}

bool FramePack::Add(long long step, std::span<const std::uint8_t> jpeg) {
  if (jpeg.empty()) return false;
  Entry entry;
  int fd = -1;
  {
    // Each frame gets its own range; the writes themselves go on in parallel.
    std::lock_guard lock(mutex_);
    Part* part = PartFor(jpeg.size());
    if (!part) return false;
    fd = part->fd;
    entry = Entry{part->path, part->end, jpeg.size()};
    part->end += jpeg.size();
  }
  std::size_t done = 0;
  while (done < jpeg.size()) {
    const ssize_t n = ::pwrite(fd, jpeg.data() + done, jpeg.size() - done, static_cast<off_t>(entry.offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  std::lock_guard lock(mutex_);
  frames_[step] = std::move(entry);
  return true;
}

std::map<long long, FramePack::Entry> FramePack::Frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

std::uint64_t FramePack::Bytes() const {
  std::lock_guard lock(mutex_);
  return memory_.end + file_.end;
}

void FramePack::Clear() {
  std::lock_guard lock(mutex_);
  frames_.clear();
  for (Part* part : {&memory_, &file_}) {
    part->end = 0;
    // Freed space is reused; a failed shrink only keeps it longer.
    if (part->fd >= 0 && ::ftruncate(part->fd, 0) != 0) continue;
  }
}

}  // namespace reelmill
