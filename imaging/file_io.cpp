#include "imaging/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>

namespace reelmill {

std::optional<std::uint64_t> FileSize(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

int OpenRegularForReading(const std::string& path) {
  // O_NONBLOCK: opening a named pipe would otherwise wait for a writer. It
  // changes nothing for regular files, the only kind accepted.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

Problem ReadableFileProblem(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return ReadingProblem(errno);
  if (S_ISDIR(st.st_mode)) return ProblemOf(ProblemCode::IsAFolder);
  if (!S_ISREG(st.st_mode)) return ProblemOf(ProblemCode::NotRegularFile);
  const int fd = OpenRegularForReading(path);
  if (fd < 0) return ReadingProblem(errno);
  ::close(fd);
  return {};
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path, std::uint64_t maxBytes,
                                                       Problem* problem) {
  const int fd = OpenRegularForReading(path);
  if (fd < 0) {
    if (problem) *problem = ReadableFileProblem(path);
    // Gone or changed between the two looks: say so all the same.
    if (problem && !*problem) *problem = ReadingProblem(EIO);
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    if (problem) {
      *problem = ProblemOf(ProblemCode::FileTooLarge);
      problem->needed = static_cast<std::uint64_t>(st.st_size);
      problem->limit = maxBytes;
    }
    ::close(fd);
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      // A disk that fails under the file is not a shorter file.
      if (problem) *problem = ReadingProblem(errno);
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;  // the file shrank; keep what was there
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(done);
  return bytes;
}

std::optional<std::string> PartialFileTarget(std::string_view name) {
  if (name.size() < 3 + kPartialFileRandomChars || name.front() != '.' ||
      name[name.size() - kPartialFileRandomChars - 1] != '.')
    return std::nullopt;
  return std::string(name.substr(1, name.size() - kPartialFileRandomChars - 2));
}

namespace {

// Creates prefix + six random characters exclusively, with mode 0666 less
// the umask; the descriptor, or -1 with errno set.
int CreateUniqueSibling(const std::string& prefix, std::string& path) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = prefix;
    for (std::size_t i = 0; i < kPartialFileRandomChars; ++i) path += kLetters[pick(random)];
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::string targetPath) : target_(std::move(targetPath)) {}

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

bool AtomicFileWriter::Open() {
  if (file_) return true;
  const auto slash = target_.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  if (name.empty()) return false;
  // Created with mode 0666 so that the kernel applies the umask, as for any
  // plain create. (Reading the umask means setting it, which races with
  // every other thread creating files.)
  std::string path;
  const int fd = CreateUniqueSibling(folder + "." + name + ".", path);
  if (fd < 0) return false;
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    ::close(fd);
    ::unlink(path.c_str());
    return false;
  }
  temp_ = path;
  failed_ = false;
  return true;
}

bool AtomicFileWriter::Write(std::span<const std::uint8_t> bytes) { return Write(bytes.data(), bytes.size()); }

bool AtomicFileWriter::Write(const void* data, std::size_t size) {
  if (!file_ || failed_) return false;
  if (size != 0 && std::fwrite(data, 1, size, file_) != size) failed_ = true;
  return !failed_;
}

bool AtomicFileWriter::Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (!file_ || failed_ || std::fflush(file_) != 0) return !(failed_ = true);
  const int fd = ::fileno(file_);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return !(failed_ = true);
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool AtomicFileWriter::Commit() {
  if (!file_) return false;
  bool ok = !failed_ && std::fflush(file_) == 0 && !std::ferror(file_);
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (ok && ::rename(temp_.c_str(), target_.c_str()) == 0) {
    temp_.clear();
    return true;
  }
  ::unlink(temp_.c_str());
  temp_.clear();
  return false;
}

void AtomicFileWriter::Abandon() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  AtomicFileWriter writer(path);
  return writer.Open() && writer.Write(bytes) && writer.Commit();
}

bool WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool closed = ::close(fd) == 0;
  return closed && done == bytes.size();
}

}  // namespace reelmill
