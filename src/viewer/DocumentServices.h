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
// project's "ini\\contacts.ini" (full path).
std::string BuildSignature(const std::vector<std::string>& params, const std::string& contactsFile);

struct IncludeClock {
  std::function<std::string()> date;  // the short date
  std::function<std::string()> time;  // the time
};

// The text an include directive inserts; empty for unknown commands. Text
// commands are cut to 255 characters; "Include" inserts the whole file.
std::string IncludeText(const std::string& command, const std::vector<std::string>& params,
                        const std::string& contactsFile, const IncludeClock& clock);

}  // namespace pagemoor
