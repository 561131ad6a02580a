// The effects a channel can carry by type number, processing 16-bit stereo
// in place. Our own processors with fixed parameters of our choosing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pagemoor::audio {

enum FxType : int {
  kFxChorus = 0,
  kFxCompressor = 1,
  kFxDistortion = 2,
  kFxEcho = 3,
  kFxFlanger = 4,
  kFxGargle = 5,
  kFxI3dl2Reverb = 6,
  kFxParamEq = 7,
  kFxReverb = 8,
};
constexpr int kFxTypeCount = 9;

// Rates outside this range are taken as its nearest end, so a strange
// output rate still gives a working effect instead of none.
constexpr int kFxMinSampleRate = 8000;
constexpr int kFxMaxSampleRate = 192000;

class Effect {
 public:
  virtual ~Effect() = default;
  // frames frames of interleaved left/right samples, changed in place,
  // saturated to the 16-bit range. No allocation while processing.
  virtual void process(std::int16_t* stereo, std::size_t frames) = 0;
  // Back to silence in every delay line.
  virtual void reset() = 0;
};

// Null for a type outside 0..8.
std::unique_ptr<Effect> MakeEffect(int type, int sampleRate);

}  // namespace pagemoor::audio
