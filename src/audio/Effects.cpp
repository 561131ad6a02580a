#include "audio/Effects.h"

// Placeholder until the effects land.
namespace pagemoor::audio {
std::unique_ptr<Effect> MakeEffect(int, int) { return nullptr; }
}  // namespace pagemoor::audio
