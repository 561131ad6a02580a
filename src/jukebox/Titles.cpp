#include "jukebox/Titles.h"

#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <string_view>
#include <utility>

#include "common/HostPaths.h"
#include "common/Strings.h"
#include "jukebox/ID3Tags.h"

namespace pagemoor {

namespace {

const std::string kNoTitle = " ";

std::string BlanksForUnderscores(std::string text) {
  std::replace(text.begin(), text.end(), '_', ' ');
  return text;
}

}  // namespace

std::string TitleOf(audio::AudioEngine& engine, const std::string& path, const std::string& mask) {
  if (!FileExists(path)) return kNoTitle;
  std::string title = BlanksForUnderscores(ModuleTitle(engine, path));
  if (TrimBlanks(title).empty()) title = TagTitle(path, mask);
  if (TrimBlanks(title).empty()) title = ExtractFileName(path);
  return title;
}

std::string ModuleTitle(audio::AudioEngine& engine, const std::string& path) {
  try {
    // Decode only: nothing plays, and MP3 or WAV files fail here and fall
    // through to their tag.
    const audio::Handle module = engine.MusicLoad(false, path, 0, 0, audio::kMusicDecode);
    if (module == 0) return kNoTitle;
    const std::optional<std::string> name = engine.MusicGetName(module);
    engine.MusicFree(module);
    const std::string stripped = name ? TrimBlanks(*name) : std::string();
    if (stripped.empty()) return kNoTitle;
    std::string ext = ExtractFileExt(path);
    if (!ext.empty()) ext.erase(0, 1);
    return FormatText("%s (%s)", {stripped, AsciiUpper(TrimBlanks(ext))});
  } catch (const std::exception&) {
    return kNoTitle;
  }
}

std::string TagTitle(const std::string& path, const std::string& mask) {
  TID3v1Tag tag;
  if (!tag.ReadFromFile(path)) return kNoTitle;
  // The literal text of the mask is lower-cased too; the values go in as read.
  std::string title = AsciiLower(mask);
  const std::array<std::pair<std::string_view, const std::string*>, 7> placeholders = {{
      {"%title%", &tag.Title},
      {"%artist%", &tag.Artist},
      {"%year%", &tag.Year},
      {"%album%", &tag.Album},
      {"%comment%", &tag.Comment},
      {"%genre%", &tag.Genre},
      {"%file%", &path},
  }};
  for (const auto& [placeholder, value] : placeholders) ReplaceText(title, placeholder, *value, true);
  return BlanksForUnderscores(std::move(title));
}

}  // namespace pagemoor
