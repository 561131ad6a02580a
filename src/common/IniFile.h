// Reading and writing INI profile files by path.
//
// Every read looks at the file as it is now (a parsed copy is kept only while
// the file's identity, size and modification time stay the same), so editing a
// project's INI files takes effect at once. Reading a missing or empty key
// writes it back (one blank, or the default) unless the file or its folder is
// read-only. Writes are atomic.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace pagemoor {

// The key's value (at most 9999 characters). An empty or missing key gives
// empty text and is written back as "key= ". An empty file, section or key
// name gives empty text and touches nothing.
std::string ReadIniValue(std::string_view file, std::string_view section, std::string_view key);

// The key's value; an empty or missing key gives the default, which is written
// back under the key. An empty file, section or key name gives the default.
std::string ReadIniDefault(std::string_view file, std::string_view section, std::string_view key,
                           std::string_view defaultValue);

// Writes the value (at most 9999 characters), creating the file, the section
// or the key as needed. Failures are ignored; returns false on one.
bool WriteIniValue(std::string_view file, std::string_view section, std::string_view key,
                   std::string_view value);

// Write-backs of missing keys, deferred. Without a scheduler every write-back
// is written at once. With one, write-backs wait in memory (reads see them at
// once) and the scheduler is called when the first one is waiting; it must
// arrange for FlushIniWrites to run soon, for example once the current window
// event has been handled. Pending write-backs are also written by
// WriteIniValue on the same file, by FlushIniWrites, and at the end of the
// process. An edit of the file in the meantime is kept: the write-backs are
// added to the edited file. Code that reads an INI file's bytes directly
// should call FlushIniWrites first.
void SetIniWriteBackScheduler(std::function<void()> schedule);
void FlushIniWrites();

// Writes what is pending and forgets the parsed copies.
void ClearIniCache();

}  // namespace pagemoor
