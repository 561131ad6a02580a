#include "jukebox/Playlists.h"

// Placeholders until the readers land.
namespace pagemoor {
std::vector<std::string> LoadPlaylistFile(const std::string&) { return {}; }
std::vector<std::string> LoadXmlPlaylist(const std::string&) { return {}; }
void SaveXmlPlaylist(const std::string&, const std::vector<std::string>&) {}
void SavePlainPlaylist(const std::string&, const std::vector<std::string>&) {}
std::vector<std::string> ExpandPlaylistFiles(const std::vector<std::string>& files) { return files; }
std::string ExpandFileName(const std::string& name) { return name; }
}  // namespace pagemoor
