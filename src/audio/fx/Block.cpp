#include "audio/fx/Block.h"

namespace pagemoor::audio::fx {

[[gnu::noinline, gnu::flatten]] void addScaled(float* __restrict out, const float* __restrict from,
                                               float gain, std::size_t n) {
  forFrames(n, [&](std::size_t i) { out[i] += gain * from[i]; });
}

[[gnu::noinline, gnu::flatten]] void sumScaled(float* __restrict out, const float* __restrict a,
                                               const float* __restrict b, float gain, std::size_t n) {
  forFrames(n, [&](std::size_t i) { out[i] = gain * (a[i] + b[i]); });
}

}  // namespace pagemoor::audio::fx
