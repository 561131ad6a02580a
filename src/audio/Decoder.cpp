#include "audio/Decoder.h"

// Placeholders until the decoders land.
namespace pagemoor::audio {
std::unique_ptr<Decoder> OpenWav(std::string, int) { return nullptr; }
std::unique_ptr<Decoder> OpenMp3(std::string, int) { return nullptr; }
std::unique_ptr<ModuleDecoder> OpenModule(std::string, int) { return nullptr; }
std::unique_ptr<Decoder> OpenStream(std::string, int) { return nullptr; }
std::optional<std::vector<std::int16_t>> DecodeWhole(std::string, int, std::uint64_t) { return std::nullopt; }
}  // namespace pagemoor::audio
