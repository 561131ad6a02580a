// One maker per effect, each with the rate already inside the range the
// effects work at. The effects themselves stay inside their files: only the
// table of effects by type number (audio/Effects.cpp) makes them.
#pragma once

#include <memory>

#include "audio/Effects.h"

namespace pagemoor::audio::fx {

std::unique_ptr<Effect> MakeChorus(int rate);
std::unique_ptr<Effect> MakeCompressor(int rate);
std::unique_ptr<Effect> MakeDistortion(int rate);
std::unique_ptr<Effect> MakeEcho(int rate);
std::unique_ptr<Effect> MakeFlanger(int rate);
std::unique_ptr<Effect> MakeGargle(int rate);
std::unique_ptr<Effect> MakeRoomReverb(int rate);  // the I3DL2-style room
std::unique_ptr<Effect> MakeParamEq(int rate);
std::unique_ptr<Effect> MakeHallReverb(int rate);  // the music-hall reverb

}  // namespace pagemoor::audio::fx
