#include "viewer/Shutdown.h"

#include <chrono>
#include <random>
#include <string_view>
#include <vector>

#include "app/Startup.h"
#include "common/CommandLine.h"
#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/MagazineFolder.h"
#include "common/Strings.h"
#include "console/DebugBox2.h"
#include "platform/Dialogs.h"

namespace pagemoor {

namespace {

// The end messages: one question per line, the line ends CR LF or LF. A
// line end at the very end does not add an empty question.
std::vector<std::string> endMessageLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.emplace_back(line);
    pos = end + 1;
  }
  return lines;
}

std::string pickQuestion() {
  const auto text = ReadTextFile(MagazineFolder().ini("end.ini"));
  if (!text) return ViewerShutdown::kDefaultQuestion;
  const std::vector<std::string> lines = endMessageLines(*text);
  if (lines.empty()) return ViewerShutdown::kDefaultQuestion;
  std::mt19937 random(static_cast<std::mt19937::result_type>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<std::size_t> pick(0, lines.size() - 1);
  return lines[pick(random)];
}

std::string endCommand() {
  return ReadIniValue(MagazineFolder().ini("main.ini"), "start", "end_command");
}

bool noDxParameter() {
  return AsciiLower(ParamStr(2)) == "/no_dx";
}

// Marks an ending as under way for the life of a scope.
class EndingScope {
 public:
  explicit EndingScope(bool& flag) : m_flag(flag) { m_flag = true; }
  ~EndingScope() { m_flag = false; }
  EndingScope(const EndingScope&) = delete;
  EndingScope& operator=(const EndingScope&) = delete;

 private:
  bool& m_flag;
};

}  // namespace

ViewerShutdown::ViewerShutdown(TDebugBox2& console, ShutdownHost& host) : m_console(&console), m_host(host) {}

bool ViewerShutdown::farewell(bool ask) {
  DeleteLauncherLog();

  bool ok = true;
  const std::string question = pickQuestion();
  if (ask) ok = AskYesNo(question);
  if (m_console) m_console->Log("End", question);
  return ok;
}

void ViewerShutdown::deleteProjectFolder() {
  // The development project is the program's own folder: never removed.
  if (IsDevelopMode()) return;
  // Files still open (the music being played) stay; FormDestroy tries again.
  DeleteTree(ProjectDir());
}

bool ViewerShutdown::ConfirmClose() {
  if (m_ended) return true;
  if (m_ending) return false;
  EndingScope ending(m_ending);
  const bool ok = farewell(true);
  if (!ok) return false;

  if (m_console) {
    const std::string command = endCommand();
    if (!command.empty()) m_console->Execute(command);
  }
  // Checked again: an end command of "exit" has torn the console down already.
  if (m_console) m_console->Log("System", "Terminate Ask");
  if (!m_host.useDirectX()) m_host.restoreDesktopMode();
  if (m_console) {
    m_console = nullptr;
    m_host.destroyConsole();
  }
  m_ended = true;
  return true;
}

void ViewerShutdown::ExitProgram(bool ask) {
  // The end command may itself be "exit": it runs inside this ending and must
  // not ask again, run the end command again and tear everything down twice.
  if (m_ending) return;
  // Ended already: only the request to the application is repeated (an end
  // signal after the reading ended must still end the program).
  if (m_ended) {
    m_host.terminateApplication();
    return;
  }
  EndingScope ending(m_ending);
  if (!farewell(ask)) return;

  // "exit now" leaves without the project's end command.
  if (ask && m_console) {
    const std::string command = endCommand();
    if (!command.empty()) m_console->Execute(command);
  }
  m_host.shutdownAudio();
  m_host.closeAndDestroyJukebox();
  deleteProjectFolder();
  if (m_console) m_console->Log("System", "Terminate No Ask");
  if (!m_host.useDirectX()) m_host.restoreDesktopMode();
  if (m_console) {
    m_console = nullptr;
    m_host.destroyConsole();
  }
  m_ended = true;
  m_host.terminateApplication();
}

void ViewerShutdown::FormClose() {
  deleteProjectFolder();
  m_host.shutdownAudio();
  m_host.closeAndDestroyJukebox();
  if (noDxParameter()) m_host.restoreDesktopMode();
  m_host.finaliseSurface();
}

void ViewerShutdown::FormDestroy() {
  if (m_host.jukeboxExists()) m_host.shutdownAudio();
  deleteProjectFolder();
}

}  // namespace pagemoor
