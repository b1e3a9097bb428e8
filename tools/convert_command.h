#pragma once
// The default mode of reelmill-convert: GIF files to AVI, SWF or image
// sequences, several files at once, for batches of any size.

#include <iosfwd>

#include "tools/convert_options.h"

namespace reelmill {

// Converts every input; failures go to `err` as "FILE: reason". A list named
// "-" is read from the descriptor `standardInput`. Returns the exit status:
// 0 when all converted, 1 when any failed, 2 for a usage error, 128 + the
// signal's number when interrupted.
int RunConvert(const ConvertOptions& options, int standardInput, std::ostream& err);

}  // namespace reelmill
