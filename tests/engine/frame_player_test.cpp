#include "engine/frame_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "engine/playback_clock.h"
#include "tests/support/screen_recording.h"
#include "tests/support/test_support.h"

namespace reelmill {
namespace {

// A clock the test advances. While the player waits for a frame from its
// decoding thread, real time passes instead of the clock's, so the times
// seen are the pass's own.
class TestClock final : public PlaybackClock {
 public:
  void After(int milliseconds, std::function<void()> tick) override {
    pending_.emplace(std::make_pair(now_ + milliseconds, next_++), std::move(tick));
  }
  void Cancel() override { pending_.clear(); }
  long long Now() const { return now_; }
  // Runs ticks in time order until `done` or `limitMs` of clock time.
  bool RunUntil(FramePlayer& player, const std::function<bool()>& done, long long limitMs = 10'000'000) {
    for (int spins = 0; !done(); ++spins) {
      player.Refresh();
      // Waiting on the decoding thread: real time passes, the clock's does not.
      if (!player.Ready() || pending_.empty()) {
        if (spins > 200000) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        continue;
      }
      if (pending_.begin()->first.first > limitMs) return done();
      auto tick = std::move(pending_.begin()->second);
      now_ = pending_.begin()->first.first;
      pending_.erase(pending_.begin());
      tick();
    }
    return true;
  }

 private:
  long long now_ = 0;
  int next_ = 0;
  std::multimap<std::pair<long long, int>, std::function<void()>> pending_;
};

struct Shown {
  long long at;
  int frame;
  std::uint32_t corner;  // the top-left pixel, so frames can be told apart
};

std::vector<Shown> PlayOnce(FramePlayer& player, TestClock& clock) {
  std::vector<Shown> shown;
  bool ended = false;
  player.SetFrameShownHandler([&] {
    const auto image = player.CurrentImage();
    shown.push_back(
        {clock.Now(), player.CurrentFrame(), image ? *reinterpret_cast<const std::uint32_t*>(image->Row(0)) : 0u});
  });
  player.SetPassEndedHandler([&] { ended = true; });
  player.StartPlayback();
  EXPECT_TRUE(clock.RunUntil(player, [&] { return ended; }));
  return shown;
}

TEST(FramePlayer, PlaysALongAnimationOnceInRealTimeFromItsStream) {
  testing::TempDir dir;
  testing::WriteAll(dir / "long.gif", testing::ScreenRecordingGif(640, 480, 1000, 4));
  TestClock clock;
  FramePlayer player(clock);
  player.Load(dir / "long.gif");
  const auto shown = PlayOnce(player, clock);
  ASSERT_EQ(shown.size(), 1000u);
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(shown[static_cast<std::size_t>(i)].frame, i);
    EXPECT_EQ(shown[static_cast<std::size_t>(i)].at, i * 100LL) << "each frame for at least 100 ms";
  }
  EXPECT_EQ(clock.Now(), 100'000);
  EXPECT_EQ(player.FrameCount(), 1000);
  EXPECT_EQ(player.CurrentFrame(), 0);
  // A second pass decodes the file again from its first frame.
  const auto again = PlayOnce(player, clock);
  ASSERT_EQ(again.size(), 1000u);
  EXPECT_EQ(again[500].corner, shown[500].corner);
}

TEST(FramePlayer, ADamagedFileEndsItsPassAtTheDamageAndARefusedOneNeverStarts) {
  testing::TempDir dir;
  auto cut = testing::ScreenRecordingGif(32, 24, 12, 20);
  cut.resize(cut.size() - 30);  // inside the last image
  testing::WriteAll(dir / "cut.gif", cut);
  testing::WriteAll(dir / "text.gif", {'h', 'i'});
  TestClock clock;
  FramePlayer player(clock);
  player.Load(dir / "cut.gif");
  const auto shown = PlayOnce(player, clock);
  EXPECT_EQ(shown.size(), 11u);
  EXPECT_EQ(player.FrameCount(), 11);
  EXPECT_EQ(player.Info().problem.code, ProblemCode::Truncated);

  player.Load(dir / "text.gif");
  player.StartPlayback();
  ASSERT_TRUE(clock.RunUntil(player, [&] { return player.Info().finished && !player.Active(); }));
  EXPECT_TRUE(player.Info().refused);
  EXPECT_EQ(ProblemText(player.Info().problem), "not a GIF file (it does not start with \"GIF8\")");
  EXPECT_EQ(player.CurrentImage(), nullptr);
}

}  // namespace
}  // namespace reelmill
