#include "viewer/ViewerConsole.h"

#include <ctime>
#include <utility>

#include "common/CommandLine.h"
#include "common/HostPaths.h"
#include "common/IniLang.h"
#include "common/Strings.h"
#include "console/DebugBox2.h"
#include "console/LogFileWriter.h"
#include "platform/Dialogs.h"

namespace pagemoor {

namespace {

constexpr const char* kSystem = "System";
constexpr const char* kConsole = "Console";

std::string LocalTimeText(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  char buffer[64] = {};
  std::strftime(buffer, sizeof buffer, format, &parts);
  return buffer;
}

}  // namespace

ViewerConsole::ViewerConsole(TDebugBox2& console, std::string handOverFile)
    : m_console(console),
      m_handOverFile(std::move(handOverFile)),
      m_date([] { return LocalTimeText("%d.%m.%Y"); }),
      m_time([] { return LocalTimeText("%H:%M:%S"); }) {}

void ViewerConsole::setDateTime(std::function<std::string()> date, std::function<std::string()> time) {
  m_date = std::move(date);
  m_time = std::move(time);
}

void ViewerConsole::attach() {
  m_console.OnInitialize = [this](Sender) { ConsoleInitialize(); };
  m_console.OnCommand = [this](Sender, const std::string& command, const std::string& params,
                               const std::vector<std::string>&) { ConsoleCommand(command, params); };
  m_console.OnBadCommand = [this](Sender, const std::string& command, const std::string& params) {
    ConsoleBadCommand(command, params);
  };
  m_console.OnAddCommand = [this](Sender, const std::string& command) { ConsoleAddCommand(command); };
  m_console.OnAdd = [this](Sender) { ConsoleAdd(); };
  m_console.OnDestroy = [this](Sender) { ConsoleDestroy(); };
}

void ViewerConsole::ConsoleInitialize() {
  // A run through the launcher goes on with the launcher's log; only a run
  // without one writes its own header.
  bool handedOver = false;
  try {
    m_console.LoadFromFile(m_handOverFile);
    handedOver = true;
  } catch (const ConsoleFileError&) {
  }
  if (!handedOver) {
    m_console.AddLine("");
    m_console.AddLine("<<< Tarn-Console >>>");
    m_console.AddLine("");
    m_console.Log(kSystem, "AppVersion: " + std::to_string(AppVersion()));
    m_console.Log(kSystem, "Date: " + m_date());
    m_console.Log(kSystem, "Time: " + m_time());
    // Index 0 is the program itself; the last parameter is left out.
    const std::size_t count = ParamCount();
    for (std::size_t i = 0; i < count; ++i)
      m_console.Log(kSystem, "Parameter(" + std::to_string(i) + ") = \"" + ParamStr(i) + "\"");
  }
  m_console.AddLine("");
  m_console.Log(kSystem, "Initiate Console (MAIN)");
  if (m_registrar) m_registrar();
}

void ViewerConsole::ConsoleCommand(const std::string& strCommand, const std::string& strParams) {
  m_console.Log(kConsole, "Command " + AsciiUpper(strCommand + " " + strParams));
}

void ViewerConsole::ConsoleBadCommand(const std::string& strCommand, const std::string&) {
  m_console.Log(kConsole, "Bad Command (" + strCommand + ")");
  ShowInfo(FormatText(Translate("Spatny prikaz konzole", "bad_console_command"), {strCommand}));
}

void ViewerConsole::ConsoleAddCommand(const std::string& strCommand) {
  m_console.Log(kConsole, "Command added (" + AsciiUpper(strCommand) + ")");
}

void ViewerConsole::ConsoleAdd() {
  // A mirror log that cannot be written must not stop the reading.
  try {
    m_console.SaveLog();
  } catch (const ConsoleFileError&) {
  }
}

void ViewerConsole::ConsoleDestroy() {
  m_console.Log(kSystem, "Initiate Shutdown");
  m_console.Log(kSystem, "Shutdown Time:" + m_time());
  m_console.Log(kSystem, "Shutdown Date:" + m_date());
  m_console.Log(kSystem, "Shutdown Completed");
}

}  // namespace pagemoor
