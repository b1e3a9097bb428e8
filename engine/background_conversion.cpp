#include "engine/background_conversion.h"

#include <algorithm>

#include "engine/encoded_export.h"
#include "engine/work_paths.h"
#include "imaging/paths.h"

namespace reelmill {

BackgroundConversion::BackgroundConversion(ConversionSettings settings, std::string workFolder, std::string gifPath,
                                           std::function<void()> done) {
  thread_ = std::thread([this, settings = std::move(settings), workFolder = std::move(workFolder),
                         gifPath = std::move(gifPath), done = std::move(done)] {
    // The window's own thread stays free; the encoders share the other cores.
    const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (const auto kind = EncodedKindOf(settings.outputKind)) {
      EncodedExportOptions options = EncodedOptionsFrom(settings, *kind);
      options.threads = threads;
      options.cancel = &cancel_;
      options.imagesDone = &imagesDone_;
      // A folder typed on the Output page is made, as the recorded kinds make it.
      if (!IsDirectory(settings.outputFolder)) CreateFolderPath(settings.outputFolder);
      outcome_ = ExportEncoded(gifPath, OutputPathFor(settings.outputFolder, gifPath, settings.outputKind), options);
    } else {
      GifConverter converter(settings, workFolder);
      converter.SetTiming(OutputTiming::Real);
      converter.SetCancel(&cancel_);
      converter.SetEncoderThreads(threads);
      outcome_ = converter.Convert(gifPath);
    }
    done_ = true;
    if (done) done();
  });
}

BackgroundConversion::~BackgroundConversion() {
  cancel_ = true;
  thread_.join();
}

}  // namespace reelmill
