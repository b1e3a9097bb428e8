// The JPEG header reader of mux: never reads outside the data, says why it
// fails, and where libjpeg-turbo also finds a frame header, agrees with it
// on the size.

#include <turbojpeg.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/jpeg_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace reelmill;
  using namespace reelmill::fuzz;
  const std::span<const std::uint8_t> data(bytes, size);
  const bool start = HasJpegStart(data);
  Require(!HasJfifApp0(data) || start, "a JFIF head is a JPEG start");
  std::string why;
  const auto found = ReadJpegFrameSize(data, &why);
  Require(found.has_value() == why.empty(), "a failure says why, a success says nothing");
  if (!found) return 0;
  Require(start, "a size comes from a JPEG");
  Require(found->width > 0 && found->height > 0 && found->width <= 65535 && found->height <= 65535,
          "a size is 1 to 65535 each side");

  tjhandle handle = tjInitDecompress();
  int width = 0, height = 0, subsampling = 0, colourspace = 0;
  const bool library = tjDecompressHeader3(handle, bytes, static_cast<unsigned long>(size), &width, &height,
                                           &subsampling, &colourspace) == 0;
  tjDestroy(handle);
  if (library) Require(width == found->width && height == found->height, "the size is libjpeg-turbo's size");
  return 0;
}
