// Files a magazine names: where they may lie, how they are read, and the one
// log line that says why one was not.
//
// A magazine comes from anyone. A page, a button file, a playlist or an
// include may name "../../.ssh/id_rsa", a link that points out of the project,
// /dev/zero or a FIFO. Every such file must resolve (after "..", case
// matching and symbolic links) inside the project folder or the program
// folder; a file the reader picked in a dialog is the reader's choice and may
// lie anywhere. A refused file is "not found" to whoever asked, and the
// refusal is logged once.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/FileIo.h"

namespace pagemoor {

// Confinement is on for a reading: the program switches it on before it
// starts one, as do tests of the reading. Code that runs without a magazine
// (the parsers, the player, their tests, the fuzzers) reads where it is told;
// the regular-file, non-blocking and size checks hold everywhere.
void SetMagazineConfinement(bool on);
bool MagazineConfinement();

// Where a path leads once "..", case matching and links are resolved.
enum class PlaceOfFile { Missing, Inside, Outside };

// Inside: the path resolves into ProjectDir(), ProgramDir() or something
// the reader chose (AllowReaderChoice). Missing: nothing of that name exists.
// Always Inside while confinement is off.
PlaceOfFile WhereIs(std::string_view path);

// The reader picked this file or folder (an open or save dialog, a dropped
// file, a playlist of the reader's): it and everything below it may be read
// for the rest of the run. A file not there yet counts once it is made.
void AllowReaderChoice(std::string_view path);

// The bytes of a file the magazine names: found as ResolveExisting finds it,
// confined, read as ReadFileBytes reads it. Nothing when it is missing or
// refused; a refusal (outside, no regular file, too large) is logged.
std::optional<std::string> ReadMagazineFile(std::string_view path, FileKind kind);

// Logs a refusal of a file the magazine named: one line, through the log set
// below. Unreadable and None log nothing.
void LogFileRefusal(std::string_view path, FileRefusal why, FileKind kind);

// Where refusal lines go: the reading's log (source "System"). Lines written
// before a log is set wait (a few dozen at most) and are handed to the next
// log set; an empty function stops the logging.
void SetFileRefusalLog(std::function<void(const std::string&)> log);

}  // namespace pagemoor
