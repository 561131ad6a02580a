// The viewer's side of its console: the log header (or the launcher's log
// taken over), the command and bad-command lines, the mirror log after every
// line and the shutdown lines. The command table is registered by the
// viewer window together with the command handlers.
#pragma once

#include <functional>
#include <string>

namespace pagemoor {

class TDebugBox2;

class ViewerConsole {
 public:
  // handOverFile: the launcher's log file (LauncherLogFile()).
  ViewerConsole(TDebugBox2& console, std::string handOverFile);

  // The date and time texts of the header and the shutdown lines; the
  // default is the local date "dd.mm.yyyy" and time "hh:mm:ss".
  void setDateTime(std::function<std::string()> date, std::function<std::string()> time);

  // Registers the command table: the last step of ConsoleInitialize.
  void setCommandRegistrar(std::function<void()> registrar) { m_registrar = std::move(registrar); }

  // Points the console's six events at the handlers below.
  void attach();

  void ConsoleInitialize();
  void ConsoleCommand(const std::string& strCommand, const std::string& strParams);
  void ConsoleBadCommand(const std::string& strCommand, const std::string& strParams);
  void ConsoleAddCommand(const std::string& strCommand);
  void ConsoleAdd();
  void ConsoleDestroy();

 private:
  TDebugBox2& m_console;
  std::string m_handOverFile;
  std::function<std::string()> m_date;
  std::function<std::string()> m_time;
  std::function<void()> m_registrar;
};

}  // namespace pagemoor
