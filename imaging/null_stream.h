#pragma once
// An output stream that swallows what nobody wants to read.

#include <ostream>

namespace reelmill {

class NullStream : public std::ostream {
 public:
  NullStream() : std::ostream(nullptr) {}
};

}  // namespace reelmill
