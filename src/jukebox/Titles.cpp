#include "jukebox/Titles.h"

// Placeholders until the titles land.
namespace pagemoor {
std::string TitleOf(audio::AudioEngine&, const std::string& path, const std::string&) { return path; }
std::string ModuleTitle(audio::AudioEngine&, const std::string&) { return " "; }
std::string TagTitle(const std::string&, const std::string&) { return " "; }
}  // namespace pagemoor
