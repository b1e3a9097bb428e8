#pragma once
// Root of the image library's objects.

#include <cstddef>
#include <cstdint>
#include <span>

namespace reelmill {

class LibraryObject {
 public:
  virtual ~LibraryObject() = default;
  // store = true: writes the object's flat form into `buffer` when it is large
  // enough (an empty buffer just asks for the size) and returns its size.
  // store = false: reads a flat form from `buffer`; returns the bytes used, 0
  // when the buffer does not hold a valid one. The root has no flat form.
  virtual std::size_t Serialize(bool store, std::span<std::uint8_t> buffer) {
    (void)store;
    (void)buffer;
    return 0;
  }
};

}  // namespace reelmill
