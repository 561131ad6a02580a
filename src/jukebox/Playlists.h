// Playlist files: the XML playlist (.pql), the plain list (.m3u) and the INI
// list (.pls). Relative entries are made full against the process's current
// folder, not the playlist's folder.
#pragma once

#include <string>
#include <vector>

namespace pagemoor {

// The entries of a playlist of any kind, recognised by the first character of
// its text ("[": INI list, "<": XML playlist, else plain). A file that does
// not exist, and an empty one, give an empty list; blank lines of a plain
// list are skipped. Entries of plain and INI lists are taken whether they
// exist or not; one that exists in another letter case is given as found. A
// count that is no integer throws ConvertError (common/Strings.h).
std::vector<std::string> LoadPlaylistFile(const std::string& name);
// Entries of an XML playlist that exist (rel_path tried first, then
// full_path); reading writes missing attributes into the file. A file that
// does not exist gives an empty list and is not created.
std::vector<std::string> LoadXmlPlaylist(const std::string& name);
// Writes the attributes one at a time in the fixed order; items above the new
// count stay in the file. Folders are written with '\' so the file reads the
// same wherever it is used; rel_path is relative to ProgramDir(), with ".."
// steps for a folder that is not below it. Throws XmlWriteError
// (common/XmlIni.h) when the file cannot be written.
void SaveXmlPlaylist(const std::string& name, const std::vector<std::string>& entries);
// The plain list: every full path followed by CR LF. False when the file
// cannot be written.
bool SavePlainPlaylist(const std::string& name, const std::vector<std::string>& entries);
// Files chosen in the add dialog: missing ones skipped, playlists (.pql,
// .m3u, .pls) replaced by their entries, anything else taken as it is. A
// playlist that fails with ConvertError adds nothing; the entries gathered
// before it stay and the files after it are still read.
std::vector<std::string> ExpandPlaylistFiles(const std::vector<std::string>& files);
// A name made full against the current folder (host form; '\' and '/' both
// separate folders; "." and ".." steps are resolved by the text alone). A
// name with a drive letter or a network prefix ("C:\MUSIC\a.mp3",
// "\\server\share\a.mp3") cannot exist here and is given back unchanged; an
// empty name stays empty.
std::string ExpandFileName(const std::string& name);

}  // namespace pagemoor
