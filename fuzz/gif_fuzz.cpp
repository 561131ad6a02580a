// GIF reading from arbitrary bytes: open the file, build every frame's canvas,
// then go back (which builds them again from the first). No crash, no leak,
// no hang, and every canvas has the logical screen's size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pictures/GifAnimation.h"

namespace {

// A screen may claim up to 8192 x 8192 and a small file may hold thousands
// of frames; the work per input is capped so that the fuzzer keeps its pace.
constexpr std::int64_t kMaxFuzzPixels = 2048LL * 2048;
constexpr std::int64_t kPixelBudget = 64LL * 1024 * 1024;

void check(const pagemoor::GifAnimation& gif, const pagemoor::RgbaImage& canvas) {
  if (canvas.width != gif.width() || canvas.height != gif.height() ||
      canvas.pixels.size() != static_cast<std::size_t>(canvas.width) * canvas.height * 4)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto gif = pagemoor::GifAnimation::Open(std::string(reinterpret_cast<const char*>(data), size));
  if (!gif) return 0;
  const int count = gif->frameCount();
  if (count < 1 || gif->width() < 1 || gif->height() < 1 || gif->loopCount() < 0) std::abort();
  const std::int64_t pixels = static_cast<std::int64_t>(gif->width()) * gif->height();
  if (pixels > kMaxFuzzPixels) return 0;
  const int frames =
      static_cast<int>(std::min<std::int64_t>(count, std::max<std::int64_t>(1, kPixelBudget / pixels / 2)));
  for (int i = 0; i < frames; ++i) {
    if (gif->delayMs(i) < 0) std::abort();
    check(*gif, gif->frame(i));
  }
  if (frames > 1) {
    check(*gif, gif->frame(frames / 2));
    check(*gif, gif->frame(0));
  }
  return 0;
}
