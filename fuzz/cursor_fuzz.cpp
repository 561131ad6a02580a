// Any bytes as a cursor file (.cur, .ico, .ani): no crash, every frame is a
// whole picture or a PNG handed on, and every step shows a frame that exists
// for a positive time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pictures/CursorFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto cursor = pagemoor::ReadCursorFile(bytes);
  if (!cursor) return 0;
  if (cursor->frames.empty() || cursor->steps.empty()) std::abort();
  for (const pagemoor::CursorImage& frame : cursor->frames) {
    const pagemoor::RgbaImage& image = frame.image;
    if (image.empty()) {
      if (frame.png.empty() || !image.pixels.empty()) std::abort();
      continue;
    }
    if (image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * 4) std::abort();
    if (frame.hotX < 0 || frame.hotX >= image.width || frame.hotY < 0 || frame.hotY >= image.height)
      std::abort();
  }
  for (const pagemoor::CursorAnimation::Step& step : cursor->steps) {
    if (step.frame < 0 || static_cast<std::size_t>(step.frame) >= cursor->frames.size()) std::abort();
    if (cursor->animated() && step.delayMs <= 0) std::abort();
  }
  return 0;
}
