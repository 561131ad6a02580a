// Decoded pictures as 0xRRGGBBAA values, for comparing with expected pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "pictures/RgbaImage.h"

namespace pagemoor::test {

using Pixels = std::vector<std::uint32_t>;  // 0xRRGGBBAA, rows from the top

inline Pixels PixelsOf(const RgbaImage& image) {
  Pixels out;
  for (std::size_t i = 0; i + 3 < image.pixels.size(); i += 4)
    out.push_back(static_cast<std::uint32_t>(image.pixels[i] << 24 | image.pixels[i + 1] << 16 |
                                             image.pixels[i + 2] << 8 | image.pixels[i + 3]));
  return out;
}

inline std::uint32_t PixelAt(const RgbaImage& image, int x, int y) {
  const std::uint8_t* p = image.pixel(x, y);
  return static_cast<std::uint32_t>(p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]);
}

}  // namespace pagemoor::test
