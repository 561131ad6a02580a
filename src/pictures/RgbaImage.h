// A decoded picture: 8-bit red, green, blue and alpha per pixel, rows from the
// top, no padding. Every decoder of the pictures library gives one.
#pragma once

#include <cstdint>
#include <vector>

namespace pagemoor {

struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // width * height * 4 bytes: R, G, B, A

  RgbaImage() = default;
  RgbaImage(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h * 4, 0) {}

  bool empty() const { return width <= 0 || height <= 0; }
  std::uint8_t* pixel(int x, int y) { return pixels.data() + (static_cast<std::size_t>(y) * width + x) * 4; }
  const std::uint8_t* pixel(int x, int y) const {
    return pixels.data() + (static_cast<std::size_t>(y) * width + x) * 4;
  }
};

// Pictures larger than this are refused by every decoder: a damaged header
// must not make us allocate gigabytes. 16384 x 16384 is far beyond any
// picture of a magazine.
constexpr std::int64_t kMaxPicturePixels = 16384LL * 16384LL;

}  // namespace pagemoor
