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
// of a few bytes must not make us allocate gigabytes. 8192 x 8192 (256 MB
// of RGBA, the limit Qt's own image readers keep) is far beyond any picture
// of a magazine made for an 800 x 600 screen.
constexpr std::int64_t kMaxPicturePixels = 8192LL * 8192LL;

}  // namespace pagemoor
