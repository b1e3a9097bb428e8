#include "tools/input_probe.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <vector>

#include "imaging/codecs/gif_reader.h"
#include "imaging/file_io.h"

namespace reelmill {

namespace {

constexpr std::size_t kHeadBytes = 10;  // signature, version, screen width and height
// Enough to reach the first image's descriptor past the usual extensions.
constexpr std::size_t kProbeBytes = 64 * 1024;

// The first bytes of a regular file; fewer when it is shorter, none when it
// cannot be opened (errno set).
std::size_t ReadHead(const std::string& path, std::uint8_t* head, std::size_t size, bool& opened) {
  const int fd = OpenRegularForReading(path);
  opened = fd >= 0;
  if (!opened) return 0;
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, head + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return got;
}

bool HasSignature(const std::uint8_t* head, std::size_t size) { return size >= 4 && std::memcmp(head, "GIF8", 4) == 0; }

}  // namespace

InputProbe ProbeInput(const std::string& path) {
  InputProbe probe;
  if ((probe.refusal = ReadableFileProblem(path))) return probe;
  std::vector<std::uint8_t> head(kProbeBytes);
  bool opened = false;
  const std::size_t got = ReadHead(path, head.data(), head.size(), opened);
  if (!opened) {
    probe.refusal = ReadingProblem(errno);
    return probe;
  }
  if (!HasSignature(head.data(), got)) {
    probe.refusal = ProblemOf(ProblemCode::NotGif);
    return probe;
  }
  if (got >= kHeadBytes) {
    probe.screenWidth = head[6] | head[7] << 8;
    probe.screenHeight = head[8] | head[9] << 8;
  }
  // The decoder grows the screen to hold the first image (a screen of 0 x 0
  // is common), and the memory it needs follows.
  GifReader reader(std::span<const std::uint8_t>(head.data(), got));
  GifImageHeader first;
  if (reader.Open() && reader.NextImage(first)) {
    probe.screenWidth = std::max(probe.screenWidth, first.rect.Right());
    probe.screenHeight = std::max(probe.screenHeight, first.rect.Bottom());
  }
  probe.fileBytes = FileSize(path).value_or(0);
  return probe;
}

bool StartsLikeAGif(const std::string& path) {
  std::uint8_t head[kHeadBytes] = {};
  bool opened = false;
  return HasSignature(head, ReadHead(path, head, kHeadBytes, opened));
}

}  // namespace reelmill
