#include "audio/AudioEngine.h"

// Placeholder until the engine lands.
namespace pagemoor::audio {
struct AudioEngine::State {};
AudioEngine::AudioEngine() = default;
AudioEngine::~AudioEngine() = default;
}  // namespace pagemoor::audio
