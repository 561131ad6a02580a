// Where an archive's entry may be written, for every extractor we have (the
// ZIP reader and the RAR library).
//
// An entry name comes from the archive, so it is not trusted: it may use "/"
// or "\" as separators, and one made on purpose may try to climb out of the
// target folder ("..\..\.bashrc", "/etc/passwd", "C:\autoexec.bat"). Such an
// entry is refused. Inside the target folder nothing follows a symbolic link:
// folders are walked one step at a time with O_NOFOLLOW from a descriptor of
// the target folder, so a link that is already there (or a race with another
// program) cannot redirect a write outside either.
//
// No dependency beyond the C++ library and POSIX: the RAR library, a shared
// object of its own, builds this file into itself.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagemoor::extract {

// The folder steps and the file name of an entry, in order; empty components
// ("a//b") and "." are dropped. nullopt when the name is refused: a leading
// separator, a drive letter ("C:"), a ".." step, a NUL byte, or nothing left.
std::optional<std::vector<std::string>> SafeEntryComponents(std::string_view entryName);

// The components joined with "/" (for messages and logs).
std::string JoinComponents(const std::vector<std::string>& components);

// The target folder of one extraction, held open.
class TargetFolder {
 public:
  // Opens the folder, creating it and its missing parents first. ok() tells.
  explicit TargetFolder(const std::string& path);
  ~TargetFolder();
  TargetFolder(const TargetFolder&) = delete;
  TargetFolder& operator=(const TargetFolder&) = delete;

  bool ok() const { return m_fd >= 0; }
  // The folder as given, with one "/" at the end.
  const std::string& path() const { return m_path; }
  // path() + the components joined with "/".
  std::string hostPath(const std::vector<std::string>& components) const;

  // Creates every component as a folder below the target (those that exist
  // are kept). False when one cannot be made or is something else (a file,
  // a link).
  bool makeFolders(const std::vector<std::string>& components);
  // True when the entry's file exists (as anything but a folder).
  bool fileExists(const std::vector<std::string>& components) const;
  // Opens the entry's file for writing, creating its folders. An existing
  // file is made writable and truncated ("attributes cleared"); an existing
  // symbolic link in its place is removed, never followed. Returns a file
  // descriptor or -1 with errno set.
  int createFile(const std::vector<std::string>& components);
  // Removes the entry's file (after a failed check). False when it cannot.
  bool removeFile(const std::vector<std::string>& components);
  // Sets a folder's modification time (folders are stamped after their files).
  void setFolderTime(const std::vector<std::string>& components, std::time_t mtime);
  // The free space of the target's file system (FreeSpace below).
  std::optional<std::uint64_t> freeSpace() const;

 private:
  // A descriptor of the folder holding the last component (the target itself
  // for one component); -1 when a step is missing or not a folder. With
  // `create` the missing folders are made.
  int openParent(const std::vector<std::string>& components, bool create) const;

  std::string m_path;
  int m_fd = -1;
};

// Applies what an archive stored to a file opened by createFile: the
// modification time and the permission bits (0 leaves the mode the file was
// created with). Ignores failures: the data is what matters.
void ApplyFileTimes(int fd, std::time_t mtime);
void ApplyFileMode(int fd, unsigned mode);

// --- Bounds of what an extraction writes ---------------------------------

// The bytes an unprivileged writer may still put on the file system of an
// open folder (statvfs), or nothing when the system cannot tell. Every
// extractor asks this before each file, so a file that would fill the disk
// is never begun.
std::optional<std::uint64_t> FreeSpace(int folderFd);
// The same for a folder named by its path.
std::optional<std::uint64_t> FreeSpaceAt(const std::string& folder);

// What FreeSpace asks. Tests put a file system of any size in place of the
// real one; nullptr brings statvfs back.
using FreeSpaceFunction = std::optional<std::uint64_t> (*)(int folderFd);
void SetFreeSpaceFunction(FreeSpaceFunction function);

// The most one archive of `archiveSize` bytes may write in all: 100 times its
// size, at least 4 GiB. Real data packs at best about 10:1 (text, pictures
// that were already compressed, modules); what unpacks far beyond that is a
// bomb, not a magazine, and the floor keeps every small archive of sparse or
// empty-looking files (a disk image, a zeroed save file) well inside.
inline constexpr std::uint64_t kOutputRatio = 100;
inline constexpr std::uint64_t kOutputFloor = std::uint64_t{4} << 30;
std::uint64_t OutputLimit(std::uint64_t archiveSize);

// A DOS date and time (as ZIP and RAR 4 store them, local time) as a time_t.
std::time_t DosDateTimeToTime(std::uint32_t dosDateTime);

}  // namespace pagemoor::extract
