// Whole-file reads and atomic writes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pagemoor {

// Writes all bytes to the descriptor, going on after interruptions; false on
// an error.
bool WriteAll(int fd, std::string_view bytes);

// What a file is read as; each kind has its own size cap (FileSizeCap).
enum class FileKind {
  Text,        // pages, INI files, scripts, playlists, our own settings: 16 MiB
  Picture,     // 64 MiB
  Sound,       // sounds and tracker modules: 256 MiB
  Attachment,  // a file the reader attaches to a mail: 64 MiB
  Archive,     // an archive read whole into memory: 256 MiB
};

std::size_t FileSizeCap(FileKind kind);

// Why a read gave nothing. Unreadable covers a missing file, a folder and a
// file we may not read: the everyday "not there", which nobody needs to hear
// about. The others mean somebody named something that must not be read.
enum class FileRefusal { None, Unreadable, NotRegular, TooLarge, Outside };

// The whole file, or nothing when it cannot be read. Only a regular file is
// read: a device (/dev/zero) or a pipe would fill memory or block for ever.
// The open never blocks (a FIFO opens at once and is then refused), and no
// more than the kind's cap is ever read, even from a file that grows while we
// read it. refusal, when given, says why nothing came back.
std::optional<std::string> ReadFileBytes(std::string_view hostPath, FileKind kind = FileKind::Text,
                                         FileRefusal* refusal = nullptr);

// Writes bytes to a temporary file beside the target and renames it over the
// target, so a crash never leaves half a file. An existing target keeps its
// permission bits; a link is written through to the file it names. Returns
// false (with a reason in error) when the file cannot be written.
bool WriteFileAtomic(std::string_view hostPath, std::string_view bytes, std::string* error = nullptr);

}  // namespace pagemoor
