#pragma once
// One GIF converted to AVI or SWF on a thread of its own, so a window goes on
// painting and answering while the frames are encoded. The output is what
// reelmill-convert writes for the same settings with real timing: output
// frame k shows what the GIF shows at k / fps.

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
  // The result, once Done().
  const ConversionOutcome& Outcome() const { return outcome_; }

 private:
  std::atomic<bool> cancel_{false};
  std::atomic<bool> done_{false};
  ConversionOutcome outcome_;
  std::thread thread_;
};

}  // namespace reelmill
