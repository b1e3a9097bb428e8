#pragma once
// One GIF converted on a thread of its own, so a window goes on painting and
// answering while the frames are encoded. The output is what reelmill-convert
// writes for the same settings: an AVI or SWF with real timing (output frame
// k shows what the GIF shows at k / fps), an MP4, WebM or WebP with each
// frame for its own time.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "engine/conversion.h"

namespace reelmill {

class BackgroundConversion {
 public:
  // Converts `gifPath` into settings.outputFolder, its temporary frames under
  // `workFolder`; `done` runs on the conversion's thread when it ends.
  BackgroundConversion(ConversionSettings settings, std::string workFolder, std::string gifPath,
                       std::function<void()> done = {});
  // Cancels a conversion under way and waits for it to stop: nothing of it is written.
  ~BackgroundConversion();
  BackgroundConversion(const BackgroundConversion&) = delete;
  BackgroundConversion& operator=(const BackgroundConversion&) = delete;

  bool Done() const { return done_.load(); }
  // GIF frames encoded so far (MP4, WebM and WebP only).
  long long ImagesDone() const { return imagesDone_.load(); }
  // The result, once Done().
  const ConversionOutcome& Outcome() const { return outcome_; }

 private:
  std::atomic<bool> cancel_{false};
  std::atomic<bool> done_{false};
  std::atomic<long long> imagesDone_{0};
  ConversionOutcome outcome_;
  std::thread thread_;
};

}  // namespace reelmill
