// Any bytes as a TGA picture: no crash, and a picture holds exactly its pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pictures/OtherPictures.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The size limit is checked before any allocation and is the same for every
  // size; filling hundreds of megabytes with black would only slow the search.
  if (size >= 16) {
    const std::int64_t width = data[12] | (data[13] << 8);
    const std::int64_t height = data[14] | (data[15] << 8);
    if (width * height > (1 << 18)) return 0;
  }
  if (const auto image = pagemoor::DecodeTga(bytes)) {
    if (image->width <= 0 || image->height <= 0 ||
        image->pixels.size() != static_cast<std::size_t>(image->width) * image->height * 4)
      std::abort();
  }
  return 0;
}
