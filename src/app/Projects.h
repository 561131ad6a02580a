// The projects lying beside the program: listing the description files
// ("*.UNP") that belong to this system, and finding one of them again by the
// project's name.
//
// A description file belongs to us when key destination of section
// uniproject reads "pagemoor" in lower case. Every key is read with
// ReadIniValue, so a file without that key gains it (with a one-blank value)
// the first time it is looked at; it is still not listed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pagemoor {

class LogSink;

// The value of the project setting when no project was chosen or found.
inline constexpr const char* kNoProject = " <nil>";

// The file names matching a pattern such as "/path/to/program/*.UNP": the
// folder part is taken as written, the name part may hold '*' and '?' and is
// matched without regard to ASCII case. Hidden files (names starting with a
// dot) and anything that is not a file are left out. The names come in byte
// order, so the listing order is the same on every run.
std::vector<std::string> MatchingFiles(std::string_view pattern);

// The names (key name of section uniproject, as read) of the description
// files matching the pattern whose destination is pagemoor, in listing
// order, not sorted by name. Logs "Looking for projects ...".
std::vector<std::string> FindProjects(std::string_view pattern, LogSink& log);

// The path (the pattern's folder + file name) of the last description file
// in listing order whose destination is pagemoor and whose name equals the
// given one in ASCII lower case; kNoProject when none does. Logs "Looking for
// project's file..." and then "Project file: " + the file name of the result.
std::string ResolveProject(std::string_view pattern, std::string_view name, LogSink& log);

}  // namespace pagemoor
