// Pagemoor: a desktop runtime for disk magazines.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "RunMagazine.h"
#include "common/CommandLine.h"
#include "common/HostPaths.h"
#include "platform/Platform.h"
#include "platform/qt/QtPlatform.h"

namespace {

// The numbers the jukebox's remote control knows.
constexpr int kFirstRemoteMessage = 1025;
constexpr int kLastRemoteMessage = 1034;

// "--remote N": hands N to the running Pagemoor's jukebox. 0 when delivered,
// 1 when no Pagemoor listens, 2 when N is not a remote-control message.
int sendRemoteMessage(const std::string& text, int argc, char** argv) {
  const bool digits =
      !text.empty() && text.size() <= 4 && text.find_first_not_of("0123456789") == std::string::npos;
  const int message = digits ? std::stoi(text) : 0;
  if (message < kFirstRemoteMessage || message > kLastRemoteMessage) {
    std::cerr << "pagemoor: --remote takes a message number from " << kFirstRemoteMessage << " to "
              << kLastRemoteMessage << ", not \"" << text << "\"\n";
    return 2;
  }
  // The local socket needs an event dispatcher; no window is opened.
  QCoreApplication app(argc, argv);
  pagemoor::QtPlatform platform;
  if (!platform.postRemoteMessage(pagemoor::kPagemoorRemoteName, message)) {
    std::cerr << "pagemoor: no running Pagemoor to send to\n";
    return 1;
  }
  return 0;
}

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
    const char* joiner = o.valueMayFollow ? " " : "=";
    std::string left = std::string("--") + o.name + (o.argument ? joiner + std::string(o.argument) : "");
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
               "  XDG_RUNTIME_DIR       where the remote-control socket lives (else the private\n"
               "                        folder in the temporary folder)\n"
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

  for (const std::string& option : commandLine.unknownOptions) {
    // A remote-control request without its number must not go on to open a magazine.
    if (option == "--remote") {
      std::cerr << "pagemoor: --remote needs a message number (" << kFirstRemoteMessage << ".."
                << kLastRemoteMessage << ")\n";
      return 2;
    }
    std::cerr << "pagemoor: unknown option " << option << " (ignored)\n";
  }

  if (commandLine.has("help")) {
    printHelp();
    return 0;
  }
  if (commandLine.has("version")) {
    std::cout << "Pagemoor " << pagemoor::AppVersion() << "\n";
    return 0;
  }
  if (commandLine.has("remote")) return sendRemoteMessage(commandLine.options.at("remote"), argc, argv);
  return pagemoor::RunMagazine(argc, argv);
}
