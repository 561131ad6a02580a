#include "common/CommandLine.h"

#include <unistd.h>

#include <climits>
#include <filesystem>

#include "common/Strings.h"

namespace pagemoor {

namespace {

CommandLine& current() {
  static CommandLine commandLine = [] {
    CommandLine c;
    c.programFile = ExecutablePath();
    return c;
  }();
  return commandLine;
}

std::string absolutePath(std::string_view path) {
  std::filesystem::path p{std::string(path)};
  std::error_code ec;
  if (p.is_relative()) {
    auto cwd = std::filesystem::current_path(ec);
    if (!ec) p = cwd / p;
  }
  return p.lexically_normal().string();
}

const OptionInfo* findOption(std::string_view name) {
  for (const OptionInfo& o : KnownOptions())
    if (name == o.name) return &o;
  return nullptr;
}

}  // namespace

bool CommandLine::has(std::string_view option) const {
  return options.count(std::string(option)) > 0;
}

const std::vector<OptionInfo>& KnownOptions() {
  static const std::vector<OptionInfo> options = {
      {"program", "PATH",
       "run as the program file PATH: its folder is the program folder and its name names the project "
       "(also PAGEMOOR_PROGRAM)"},
      {"remote", "N",
       "send the jukebox remote-control message N (1025..1034) to the running Pagemoor and exit "
       "(also --remote=N)",
       true},
      {"version", nullptr, "print the version and exit"},
      {"help", nullptr, "print this help and exit"},
      {"window", nullptr, "show the magazine in a window instead of full screen (Alt+Enter switches)"},
  };
  return options;
}

CommandLine ParseCommandLine(const std::vector<std::string>& argv, std::string_view executablePath,
                             std::string_view environmentProgram) {
  CommandLine c;
  c.programFile = std::string(executablePath);
  if (!environmentProgram.empty()) c.programFile = std::string(environmentProgram);
  bool optionsEnded = false;
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      c.params.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::size_t eq = arg.find('=');
    std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
    std::string value = eq == std::string::npos ? std::string() : arg.substr(eq + 1);
    const OptionInfo* info = findOption(name);
    bool hasValue = eq != std::string::npos;
    if (info && info->valueMayFollow && !hasValue && i + 1 < argv.size() &&
        argv[i + 1].compare(0, 2, "--") != 0) {
      value = argv[++i];
      hasValue = true;
    }
    if (!info || (info->argument != nullptr) != hasValue) {
      c.unknownOptions.push_back(arg);
      continue;
    }
    c.options[name] = value;
    if (name == "program" && !value.empty()) c.programFile = value;
  }
  c.programFile = absolutePath(c.programFile);
  return c;
}

const CommandLine& CurrentCommandLine() {
  return current();
}

void SetCommandLine(CommandLine commandLine) {
  current() = std::move(commandLine);
}

std::string ParamStr(std::size_t i) {
  const CommandLine& c = current();
  if (i == 0) return c.programFile;
  return i <= c.params.size() ? c.params[i - 1] : std::string();
}

std::size_t ParamCount() {
  return current().params.size();
}

bool IsDevelopMode() {
  return AsciiLower(ParamStr(1)) == "/develope";
}

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "pagemoor";
  return std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace pagemoor
