// JPEG decoding from arbitrary bytes: no crash, no leak, no hang, and a
// picture that comes back is whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pictures/JpegDecoder.h"

namespace {

// A header may claim up to 8192 x 8192; a file that ends early is filled to
// its full size, which takes seconds under the sanitizers. Smaller pictures
// exercise the same code.
constexpr std::int64_t kMaxFuzzPixels = 2048LL * 2048;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto image =
      pagemoor::DecodeJpeg(std::string_view(reinterpret_cast<const char*>(data), size), kMaxFuzzPixels);
  if (image) {
    if (image->empty() || image->pixels.size() != static_cast<std::size_t>(image->width) * image->height * 4)
      std::abort();
    for (std::size_t i = 3; i < image->pixels.size(); i += 4)
      if (image->pixels[i] != 255) std::abort();
  }
  return 0;
}
