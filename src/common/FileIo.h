// Whole-file reads and atomic writes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pagemoor {

// Writes all bytes to the descriptor, going on after interruptions; false on
// an error.
bool WriteAll(int fd, std::string_view bytes);

// The whole file, or nothing when it cannot be read (a folder counts as
// unreadable).
std::optional<std::string> ReadFileBytes(std::string_view hostPath);

// Writes bytes to a temporary file beside the target and renames it over the
// target, so a crash never leaves half a file. An existing target keeps its
// permission bits; a link is written through to the file it names. Returns
// false (with a reason in error) when the file cannot be written.
bool WriteFileAtomic(std::string_view hostPath, std::string_view bytes, std::string* error = nullptr);

}  // namespace pagemoor
