// The nine effects by type number. Each is a small processor of our own with
// fixed parameters: the magazines only switch an effect on or off, so nothing
// here is adjustable while it runs. The processors live in fx/, one file per
// family; this is the table that picks one by its type number.
#include "audio/Effects.h"

#include <algorithm>
#include <array>

#include "audio/fx/Block.h"
#include "audio/fx/Makers.h"

namespace pagemoor::audio {
namespace {

using Maker = std::unique_ptr<Effect> (*)(int rate);

// Indexed by type number.
constexpr std::array<Maker, kFxTypeCount> kMakers = {
    fx::MakeChorus,      // kFxChorus
    fx::MakeCompressor,  // kFxCompressor
    fx::MakeDistortion,  // kFxDistortion
    fx::MakeEcho,        // kFxEcho
    fx::MakeFlanger,     // kFxFlanger
    fx::MakeGargle,      // kFxGargle
    fx::MakeRoomReverb,  // kFxI3dl2Reverb
    fx::MakeParamEq,     // kFxParamEq
    fx::MakeHallReverb,  // kFxReverb
};

}  // namespace

std::unique_ptr<Effect> MakeEffect(int type, int sampleRate) {
  if (type < 0 || type >= kFxTypeCount) return nullptr;
  fx::FloatMode mode;  // the coefficients too, whatever rounding the caller has set
  const int rate = std::clamp(sampleRate, kFxMinSampleRate, kFxMaxSampleRate);
  return kMakers[static_cast<std::size_t>(type)](rate);
}

}  // namespace pagemoor::audio
