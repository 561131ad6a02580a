// What the viewer answers the panes' include directives with, and the
// signature built from the address book.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace pagemoor {

// True when the path ends exactly in ".wav" (letter case counts): such a
// sound is played as a sample over the music.
bool PlaysAsSample(const std::string& path);

// Params: entries NAME="value" as the pane hands them over. contactsFile: the
// project's "ini\\contacts.ini" (full path). The section is the value of the
// entry "user" in lower case without its quotation marks; its "signature"
// (missing: the default style of "common", written back into the section)
// with "%firstname%", "%lastname%", "%nickname%", "%position%" and "%mail%"
// replaced by the section's values, letter case ignored.
std::string BuildSignature(const std::vector<std::string>& params, const std::string& contactsFile);

struct IncludeClock {
  std::function<std::string()> date;  // the short date
  std::function<std::string()> time;  // the time
};

// The text an include directive inserts; empty for unknown commands. Commands
// compare without letter case: "Date", "Signature" (with at least one entry),
// "AppVersion", "AppVer", "Time", each cut to 255 characters, and "Include",
// whose first entry FILE="name" names a file (relative: to the current
// folder) inserted whole, decoded as text files are; empty when unreadable.
std::string IncludeText(const std::string& command, const std::vector<std::string>& params,
                        const std::string& contactsFile, const IncludeClock& clock);

}  // namespace pagemoor
