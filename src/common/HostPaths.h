// Folders of the program and the project, and file lookup on the host.
//
// The system reasons in folders that end with a separator and in names
// relative to them ("ini\main.ini"). On this host both '\' and '/' are folder
// steps, and a lookup of an existing file falls back to a case-insensitive
// match, component by component, because magazines were authored on a
// case-insensitive file system. Nothing outside this module splices
// separators by hand.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pagemoor {

inline constexpr char kPathSeparator = '/';

// The host form of a path: every '\' becomes '/'.
std::string HostPath(std::string_view path);

// A path as the reader is shown it: the file as it lies on disk when it
// exists (whatever case the magazine wrote), else its host form.
std::string ShownPath(std::string_view path);

// The folder with exactly one trailing separator.
std::string IncludeTrailingSeparator(std::string_view folder);
std::string ExcludeTrailingSeparator(std::string_view folder);

// folder + relative name, with one separator between them.
std::string JoinPath(std::string_view folder, std::string_view name);

// Name after the last separator ('\' or '/'), its extension (from the last
// '.', with the dot), the path with another extension, the folder part with
// its trailing separator.
std::string ExtractFileName(std::string_view path);
std::string ExtractFileExt(std::string_view path);
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string ExtractFilePath(std::string_view path);

// The existing file or folder this path names: the path itself when it exists
// as written, else the case-insensitive match of each component. Symbolic
// links count as what they point to. No match gives nothing.
std::optional<std::string> ResolveExisting(std::string_view path);

// The path with every "..", "." and symbolic link taken, so two paths can be
// compared by their text; nothing when some step of it does not exist.
std::optional<std::string> RealPath(std::string_view path);

// Whether a real path (see RealPath) is the real folder root or lies below it.
bool IsWithinFolder(std::string_view real, std::string_view root);

// Where a write to this path goes: the existing match, or (for a new file) the
// matched parent folder with the name as given.
std::string ResolveForWrite(std::string_view path);

bool FileExists(std::string_view path);       // an existing file that is not a folder
bool DirectoryExists(std::string_view path);  // an existing folder

// Creates one folder level; false when it fails or exists.
bool CreateFolder(std::string_view path);
// Removes a folder when it is empty; false otherwise.
bool RemoveEmptyFolder(std::string_view path);
bool DeleteFileAt(std::string_view path);

// Deletes everything below the folder, depth first, then the folder. Never
// follows a symbolic link (a link is removed as a link) and never touches
// anything outside the folder. Failures are ignored. A few descriptors
// suffice for a tree of any depth, and it keeps no state between calls, so
// another thread may run it while this one is busy.
void DeleteTree(std::string_view folder);

// The text of an existing file found as ResolveExisting finds it, decoded
// (UTF-8 when valid, else windows-1250; a byte order mark removed), or nothing
// when there is no such file or it cannot be read. The file is one a magazine
// names: read as ReadMagazineFile reads text, refusals and all.
std::optional<std::string> ReadTextFile(std::string_view path);

// Creates the file or replaces its content with the bytes of text; no line end
// is added. Returns false on failure.
bool WriteTextFile(std::string_view path, std::string_view text);

// --- Folders of the run -------------------------------------------------

// Folder of the program file, with its trailing separator.
std::string ProgramDir();

// TEMP, else TMPDIR, else /tmp, with a trailing separator. Not lower-cased:
// on a case-sensitive file system that would name another folder.
std::string TempDir();

// The per-user private folder inside TempDir (mode 0700, owned by the user,
// not a link), created when missing. A folder of that name that fails the
// checks is refused and a fresh private folder is used for the rest of the
// run instead.
std::string PrivateTempDir();

// Development mode: ProgramDir. Otherwise PrivateTempDir + the program file's
// name in upper case (ASCII) with its first '.' made '_', with a separator.
// Computed anew at every call.
std::string ProjectDir();

// The project folder as it would be in normal mode, whatever the mode.
std::string NormalProjectDir();

// "/" on this host.
std::string CurrentDriveRoot();

// $XDG_STATE_HOME/pagemoor/ (default ~/.local/state/pagemoor/) and
// $XDG_CONFIG_HOME/pagemoor/ (default ~/.config/pagemoor/), created on demand.
std::string StateDir();
std::string ConfigDir();

// Value of an environment variable; empty when unset or 500 characters or longer.
std::string GetEnvVar(std::string_view name);

// The user's login name, at most 254 characters.
std::string GetLoginName();

// 2803.
int AppVersion();

}  // namespace pagemoor
