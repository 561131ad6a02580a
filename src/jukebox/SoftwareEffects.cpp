#include "jukebox/SoftwareEffects.h"

// Placeholders until the processors land.
namespace pagemoor {
void EchoProcessor::reset() {}
void EchoProcessor::process(std::int16_t*, std::size_t) {}
void FlangerProcessor::reset() {}
void FlangerProcessor::process(std::int16_t*, std::size_t) {}
void RotationProcessor::reset() {}
void RotationProcessor::process(std::int16_t*, std::size_t) {}
std::vector<std::pair<int, int>> WavePoints(const std::int16_t*, std::size_t, int, int) { return {}; }
}  // namespace pagemoor
