// The program's command line.
//
// Our own options ("--program=PATH", "--remote N", "--version", "--help" and
// those later parts of the program add) are taken off the command line before
// the positional parameters are read; only the positions have a meaning for
// the start-up sequence ("/develope" first, "/no_dx" second).
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pagemoor {

struct CommandLine {
  // The program file: the executable, or the file named by --program=PATH or
  // PAGEMOOR_PROGRAM. Always an absolute path.
  std::string programFile;
  // Positional parameters, our options removed.
  std::vector<std::string> params;
  // Our options that were given, by name without the leading dashes; the value
  // is the text after '=' or the argument that followed (empty for a flag).
  std::map<std::string, std::string> options;
  // Options that look like ours but are not known.
  std::vector<std::string> unknownOptions;

  bool has(std::string_view option) const;
};

// Options this build knows, with a one-line description (for --help).
struct OptionInfo {
  const char* name;      // without the leading dashes
  const char* argument;  // placeholder of the value, or nullptr for a flag
  const char* help;
  // The value may also be the next argument ("--remote 1026"), unless that
  // one starts with "--". Otherwise a value is given only after '='.
  bool valueMayFollow = false;
};
const std::vector<OptionInfo>& KnownOptions();

// Parses argv (argv[0] is the executable). executablePath is the resolved path
// of the running executable; environmentProgram the value of PAGEMOOR_PROGRAM.
CommandLine ParseCommandLine(const std::vector<std::string>& argv, std::string_view executablePath,
                             std::string_view environmentProgram);

// The running process's command line. Until SetCommandLine is called it is
// the executable with no parameters.
const CommandLine& CurrentCommandLine();
void SetCommandLine(CommandLine commandLine);

// Positional parameter i (1-based) or empty; ParamStr(0) is the program file.
std::string ParamStr(std::size_t i);
std::size_t ParamCount();

// The first parameter in lower case is "/develope".
bool IsDevelopMode();

// The path of the running executable (/proc/self/exe).
std::string ExecutablePath();

}  // namespace pagemoor
