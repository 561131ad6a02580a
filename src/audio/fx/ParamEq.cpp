// The parametric equaliser: one peaking band.
#include "audio/fx/Makers.h"

#include <algorithm>
#include <memory>

#include "audio/fx/Biquad.h"
#include "audio/fx/Block.h"

namespace pagemoor::audio::fx {

namespace {

// Parametric equaliser: one peaking band at 8 kHz, Q 1, +6 dB: a presence
// lift. At low sample rates the centre moves to 0.4 of the rate to stay
// below the Nyquist frequency.
class ParamEq : public BlockEffect<ParamEq> {
 public:
  explicit ParamEq(int rate) { m_filter.init(peakingCoefs(std::min(8000.0, 0.4 * rate), 1.0, 6.0, rate)); }
  void reset() override { m_filter.clear(); }
  void run(float* l, float* r, std::size_t n) { m_filter.run(l, r, n); }

 private:
  StereoBiquad m_filter;
};

}  // namespace

std::unique_ptr<Effect> MakeParamEq(int rate) {
  return std::make_unique<ParamEq>(rate);
}

}  // namespace pagemoor::audio::fx
