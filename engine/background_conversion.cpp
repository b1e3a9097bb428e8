#include "engine/background_conversion.h"

#include <algorithm>

namespace reelmill {

BackgroundConversion::BackgroundConversion(ConversionSettings settings, std::string workFolder, std::string gifPath,
                                           std::function<void()> done) {
  thread_ = std::thread([this, settings = std::move(settings), workFolder = std::move(workFolder),
                         gifPath = std::move(gifPath), done = std::move(done)] {
    GifConverter converter(settings, workFolder);
    converter.SetTiming(OutputTiming::Real);
    converter.SetCancel(&cancel_);
    // The window's own thread stays free; the encoders share the other cores.
    converter.SetEncoderThreads(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    outcome_ = converter.Convert(gifPath);
    done_ = true;
    if (done) done();
  });
}

BackgroundConversion::~BackgroundConversion() {
  cancel_ = true;
  thread_.join();
}

}  // namespace reelmill
