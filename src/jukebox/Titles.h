// The title a jukebox entry is shown under: a module's own name, else the
// MP3's ID3v1 tag through the title mask, else the file name.
#pragma once

#include <string>

#include "audio/AudioEngine.h"

namespace pagemoor {

inline constexpr const char* kDefaultTitleMask = "%TITLE% (%ARTIST%)";

// " " when no file exists at the path (the list shows "< Not Found >").
std::string TitleOf(audio::AudioEngine& engine, const std::string& path, const std::string& mask);
// "Name (EXT)" for a module with a name, else " ".
std::string ModuleTitle(audio::AudioEngine& engine, const std::string& path);
// The mask lower-cased with its placeholders filled, "_" turned to blanks;
// " " when the file has no tag.
std::string TagTitle(const std::string& path, const std::string& mask);

}  // namespace pagemoor
