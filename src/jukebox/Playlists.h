// Playlist files: the XML playlist (.pql), the plain list (.m3u) and the INI
// list (.pls). Relative entries are made full against the process's current
// folder, not the playlist's folder.
#pragma once

#include <string>
#include <vector>

namespace pagemoor {

// The entries of a playlist of any kind, recognised by the first character of
// its text ("[": INI list, "<": XML playlist, else plain). A file that does
// not exist gives an empty list. A count that is no integer throws
// ConvertError (common/Strings.h).
std::vector<std::string> LoadPlaylistFile(const std::string& name);
// Entries of an XML playlist that exist (rel_path tried first, then
// full_path); reading writes missing attributes into the file.
std::vector<std::string> LoadXmlPlaylist(const std::string& name);
// Writes the attributes one at a time in the fixed order; items above the new
// count stay in the file.
void SaveXmlPlaylist(const std::string& name, const std::vector<std::string>& entries);
// The plain list: every full path followed by CR LF.
void SavePlainPlaylist(const std::string& name, const std::vector<std::string>& entries);
// Files chosen in the add dialog: missing ones skipped, playlists (.pql,
// .m3u, .pls) replaced by their entries, anything else taken as it is.
std::vector<std::string> ExpandPlaylistFiles(const std::vector<std::string>& files);
// A name made full against the current folder (host form; '\' and '/' both
// separate folders).
std::string ExpandFileName(const std::string& name);

}  // namespace pagemoor
