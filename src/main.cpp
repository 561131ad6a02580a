// Pagemoor: a desktop runtime for disk magazines.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "common/CommandLine.h"
#include "common/HostPaths.h"

namespace {

void printHelp() {
  std::cout << "Usage: pagemoor [OPTION]... [/develope [/no_dx]]\n"
               "\n"
               "Reads a disk magazine: a project description file (*.UNP) and its data package\n"
               "(ZIP or RAR parts) beside the program file.\n"
               "\n"
               "Positional parameters (compared without regard to case):\n"
               "  /develope       first parameter: development mode; the project's files are used\n"
               "                  where they lie in the program folder, no launcher, nothing unpacked\n"
               "  /no_dx          second parameter: do not take over the display\n"
               "\n"
               "Options (taken off the command line before the parameters are read):\n";
  for (const pagemoor::OptionInfo& o : pagemoor::KnownOptions()) {
    std::string left = std::string("--") + o.name + (o.argument ? std::string("=") + o.argument : "");
    std::cout << "  " << left;
    if (left.size() < 16)
      std::cout << std::string(16 - left.size(), ' ');
    else
      std::cout << "\n" << std::string(18, ' ');
    std::cout << o.help << "\n";
  }
  std::cout << "\n"
               "Environment:\n"
               "  PAGEMOOR_PROGRAM      the program file, as --program=PATH\n"
               "  PAGEMOOR_SCRIPTED_UI  1: headless run; every box and dialog is written to standard\n"
               "                        error as one \"[ui] KIND: CAPTION: TEXT\" line and answered\n"
               "                        from PAGEMOOR_ANSWERS\n"
               "  PAGEMOOR_ANSWERS      comma-separated answers for a headless run: ok, yes, no,\n"
               "                        cancel, close, text:..., file:...\n"
               "  TEMP, TMPDIR          the temporary folder (default /tmp)\n"
               "  XDG_STATE_HOME        where the console's mirror log goes (~/.local/state)\n"
               "  XDG_CONFIG_HOME       where registry values are kept (~/.config)\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  const char* envProgram = std::getenv("PAGEMOOR_PROGRAM");
  pagemoor::SetCommandLine(
      pagemoor::ParseCommandLine(args, pagemoor::ExecutablePath(), envProgram ? envProgram : ""));
  const pagemoor::CommandLine& commandLine = pagemoor::CurrentCommandLine();

  for (const std::string& option : commandLine.unknownOptions)
    std::cerr << "pagemoor: unknown option " << option << " (ignored)\n";

  if (commandLine.has("help")) {
    printHelp();
    return 0;
  }
  if (commandLine.has("version")) {
    std::cout << "Pagemoor " << pagemoor::AppVersion() << "\n";
    return 0;
  }
  std::cerr << "pagemoor: this build cannot open a magazine yet; see --help\n";
  return 1;
}
