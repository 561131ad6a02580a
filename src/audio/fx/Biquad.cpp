#include "audio/fx/Biquad.h"

#include <cmath>

#include "audio/fx/Block.h"

namespace pagemoor::audio::fx {

namespace {

BiquadCoefs normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
  return {static_cast<float>(b0 / a0), static_cast<float>(b1 / a0), static_cast<float>(b2 / a0),
          static_cast<float>(a1 / a0), static_cast<float>(a2 / a0)};
}

}  // namespace

BiquadCoefs peakingCoefs(double hz, double q, double gainDb, int rate) {
  const double a = std::pow(10.0, gainDb / 40.0);
  const double w = 2 * kPi * hz / rate;
  const double alpha = std::sin(w) / (2 * q);
  const double c = std::cos(w);
  return normalised(1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a);
}

BiquadCoefs lowPassCoefs(double hz, double q, int rate) {
  const double w = 2 * kPi * hz / rate;
  const double alpha = std::sin(w) / (2 * q);
  const double c = std::cos(w);
  return normalised((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

}  // namespace pagemoor::audio::fx
