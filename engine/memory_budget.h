#pragma once
// The memory that the conversions under way share. Each takes its share
// before it starts and gives it back when it ends; one that finds too little
// free waits its turn, so however many run at once, together they stay
// within the budget.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "imaging/codecs/gif_codec.h"

namespace reelmill {

class MemoryBudget {
 public:
  explicit MemoryBudget(std::uint64_t bytes) : total_(bytes), free_(bytes) {}
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  // A share of the budget, given back when it goes.
  class Share {
   public:
    Share() = default;
    Share(Share&& other) noexcept : budget_(other.budget_), bytes_(other.bytes_) { other.budget_ = nullptr; }
    Share& operator=(Share&& other) noexcept;
    ~Share() { Release(); }
    std::uint64_t Bytes() const { return budget_ ? bytes_ : 0; }
    explicit operator bool() const { return budget_ != nullptr; }

   private:
    friend class MemoryBudget;
    Share(MemoryBudget* budget, std::uint64_t bytes) : budget_(budget), bytes_(bytes) {}
    void Release();
    MemoryBudget* budget_ = nullptr;
    std::uint64_t bytes_ = 0;
  };

  std::uint64_t Total() const { return total_; }
  // Takers waiting for their share.
  std::size_t Waiting();
  // Waits, in the order asked, until at least `least` bytes are free, then
  // takes as much of what is free as `most` asks. An empty share when
  // `least` is more than the whole budget, or once `cancel` is set.
  Share Take(std::uint64_t least, std::uint64_t most, const std::atomic<bool>* cancel = nullptr);

 private:
  void Give(std::uint64_t bytes);

  const std::uint64_t total_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t free_;
  std::uint64_t nextTicket_ = 0;
  std::deque<std::uint64_t> waiting_;
};

// What one conversion holds in memory, by the threads that encode its frames.
struct JobMemory {
  std::uint64_t base = 0;       // held whatever the threads: the decoder's canvases
  std::uint64_t oneThread = 0;  // the encoder, when it runs on the decoding thread
  std::uint64_t perThread = 0;  // each thread of a pool: its encoder and the frame copies that wait for it
  std::uint64_t For(int threads) const;
  // The most threads, up to `most`, that fit in `bytes`; 0 when not even one does.
  int ThreadsWithin(std::uint64_t bytes, int most) const;
};

// As much as one GIF's decoder may take, so the default budget converts
// every file the window opens.
inline constexpr std::uint64_t kDefaultMemoryBudget = GifCodec::kMaxDecodedBytes;

// kDefaultMemoryBudget, or three quarters of the memory this process may use
// when that is less: the smallest limit of its control groups (as batch
// schedulers and containers set them), or the machine's memory.
std::uint64_t DefaultMemoryBudget();

}  // namespace reelmill
