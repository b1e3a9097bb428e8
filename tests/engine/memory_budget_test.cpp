#include "engine/memory_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace reelmill {
namespace {

void WaitForTakers(MemoryBudget& budget, std::size_t takers) {
  while (budget.Waiting() < takers) std::this_thread::yield();
}

TEST(MemoryBudget, SharesAreHandedOutInTurnAndComeBack) {
  MemoryBudget budget(100);
  EXPECT_FALSE(budget.Take(101, 200));  // more than all of it: never
  MemoryBudget::Share first = budget.Take(60, 80);
  EXPECT_EQ(first.Bytes(), 80u);
  // A large share waits for the first to come back; a small one that would
  // fit now waits behind it rather than pass it, and then for the large one
  // to come back (it holds its share until it has said it came).
  std::vector<int> order;
  std::mutex mutex;
  const auto take = [&](std::uint64_t bytes, int name) {
    const MemoryBudget::Share share = budget.Take(bytes, bytes);
    EXPECT_EQ(share.Bytes(), bytes);
    std::lock_guard lock(mutex);
    order.push_back(name);
  };
  std::thread large(take, 95, 1);
  WaitForTakers(budget, 1);
  std::thread small(take, 10, 2);
  WaitForTakers(budget, 2);
  first = MemoryBudget::Share();
  large.join();
  small.join();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(budget.Take(100, 100).Bytes(), 100u);  // everything came back
}

TEST(MemoryBudget, AWaitingTakerLeavesWhenCancelledAndTheNextGoesOn) {
  MemoryBudget budget(100);
  MemoryBudget::Share all = budget.Take(100, 100);
  std::atomic<bool> cancel{false};
  std::thread cancelled([&] { EXPECT_FALSE(budget.Take(50, 50, &cancel)); });
  WaitForTakers(budget, 1);
  std::thread next([&] { EXPECT_EQ(budget.Take(20, 30).Bytes(), 30u); });
  WaitForTakers(budget, 2);
  cancel = true;
  cancelled.join();
  all = MemoryBudget::Share();
  next.join();
}

TEST(JobMemory, ThreadsFitTheBytesGiven) {
  const JobMemory memory{100, 10, 30};
  EXPECT_EQ(memory.For(1), 110u);
  EXPECT_EQ(memory.For(3), 190u);
  EXPECT_EQ(memory.ThreadsWithin(109, 8), 0);
  EXPECT_EQ(memory.ThreadsWithin(159, 8), 1);
  EXPECT_EQ(memory.ThreadsWithin(160, 8), 2);
  EXPECT_EQ(memory.ThreadsWithin(1000, 8), 8);
}

}  // namespace
}  // namespace reelmill
