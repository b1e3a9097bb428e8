#include "engine/memory_budget.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <limits>
#include <optional>
#include <string>

namespace reelmill {

MemoryBudget::Share& MemoryBudget::Share::operator=(Share&& other) noexcept {
  if (this != &other) {
    Release();
    budget_ = other.budget_;
    bytes_ = other.bytes_;
    other.budget_ = nullptr;
  }
  return *this;
}

void MemoryBudget::Share::Release() {
  if (budget_) budget_->Give(bytes_);
  budget_ = nullptr;
}

MemoryBudget::Share MemoryBudget::Take(std::uint64_t least, std::uint64_t most, const std::atomic<bool>* cancel) {
  if (least > total_) return {};
  most = std::clamp(most, least, total_);
  std::unique_lock lock(mutex_);
  // Shares are handed out in the order asked: a large one is not passed
  // over for ever by small ones that would each fit.
  const std::uint64_t ticket = nextTicket_++;
  waiting_.push_back(ticket);
  while (waiting_.front() != ticket || free_ < least) {
    if (cancel && cancel->load()) {
      waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
      changed_.notify_all();
      return {};
    }
    changed_.wait_for(lock, std::chrono::milliseconds(50));
  }
  waiting_.pop_front();
  const std::uint64_t bytes = std::min(most, free_);
  free_ -= bytes;
  changed_.notify_all();
  return Share(this, bytes);
}

std::size_t MemoryBudget::Waiting() {
  std::lock_guard lock(mutex_);
  return waiting_.size();
}

void MemoryBudget::Give(std::uint64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    free_ += bytes;
  }
  changed_.notify_all();
}

std::uint64_t JobMemory::For(int threads) const {
  return base + (threads <= 1 ? oneThread : static_cast<std::uint64_t>(threads) * perThread);
}

int JobMemory::ThreadsWithin(std::uint64_t bytes, int most) const {
  if (For(1) > bytes) return 0;
  int threads = std::max(1, most);
  while (threads > 1 && For(threads) > bytes) --threads;
  return threads;
}

namespace {

std::optional<std::uint64_t> NumberIn(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  if (!(in >> text) || text.empty() || !std::all_of(text.begin(), text.end(), ::isdigit)) return std::nullopt;
  return std::stoull(text);
}

// The smallest memory limit on the way from this process's control group
// up to the root, in either version of the control group file system.
std::optional<std::uint64_t> ControlGroupLimit() {
  std::ifstream groups("/proc/self/cgroup");
  std::optional<std::uint64_t> limit;
  for (std::string line; std::getline(groups, line);) {
    const auto first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    std::string path = line.substr(second + 1);
    std::string base, file;
    if (controllers.empty()) {
      base = "/sys/fs/cgroup";
      file = "memory.max";
    } else if (controllers == "memory" || controllers.find(",memory") != std::string::npos ||
               controllers.starts_with("memory,")) {
      base = "/sys/fs/cgroup/memory";
      file = "memory.limit_in_bytes";
    } else {
      continue;
    }
    for (;;) {
      if (const auto value = NumberIn(base + path + (path.ends_with('/') ? "" : "/") + file))
        limit = std::min(limit.value_or(*value), *value);
      if (path.empty() || path == "/") break;
      path.resize(path.rfind('/'));
    }
  }
  return limit;
}

}  // namespace

std::uint64_t DefaultMemoryBudget() {
  const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
  std::uint64_t available = pages > 0 && pageSize > 0
                                ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
                                : kDefaultMemoryBudget;
  if (const auto limit = ControlGroupLimit()) available = std::min(available, *limit);
  return std::min(kDefaultMemoryBudget, available / 4 * 3);
}

}  // namespace reelmill
