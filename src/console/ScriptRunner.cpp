#include "console/ScriptRunner.h"

#include <vector>

#include "common/HostPaths.h"
#include "common/IniLang.h"
#include "common/MagazineFolder.h"
#include "common/Strings.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"

namespace pagemoor {

void ScriptRunner::cmdRun_Script(Sender, const std::string& params) {
  const std::string name = AsciiLower(params);
  if (name.empty()) {
    ShowInfo(TranslateKey("not_enough_parameters"));
    return;
  }
  m_log.Log("System", "Running Script " + HostPath(ProjectDir() + "SCRIPTS/" + name));
  try {
    RunScript(name);
  } catch (...) {
    // A failing line ends its script without a message.
  }
  m_log.Log("System", "Ending Script");
}

void ScriptRunner::RunScript(const std::string& name) {
  const std::string path = MagazineFolder().scripts(name);
  if (m_depth >= kMaxNesting) {
    if (!m_unwinding) {
      m_unwinding = true;
      const std::string shown = ShownPath(path);
      m_log.Log("System",
                    "Script nesting deeper than " + std::to_string(kMaxNesting) + ", stopping " + shown);
      ShowInfo(FormatText(TranslateKey("script_nesting_too_deep"), {shown}));
    }
    return;
  }
  const auto text = ReadTextFile(path);  // a folder of that name reads as nothing
  if (!text) {
    ShowInfo(FormatText(TranslateKey("script_file_not_found"), {ShownPath(path)}));
    return;
  }
  const std::vector<std::string> lines = SplitLines(*text);

  struct Depth {
    ScriptRunner& r;
    explicit Depth(ScriptRunner& runner) : r(runner) { ++r.m_depth; }
    ~Depth() {
      if (--r.m_depth == 0) r.m_unwinding = false;
    }
  } depth(*this);
  if (m_depth == 1) m_linesSinceEvents = 0;
  for (const std::string& line : lines) {
    if (m_unwinding || breathe()) return;
    m_execute(line);
  }
}

bool ScriptRunner::breathe() {
  // A script of hundreds of thousands of lines would otherwise hold the
  // window and the end signals, which arrive as events, until its last line.
  if (++m_linesSinceEvents >= kLinesBetweenEvents) {
    m_linesSinceEvents = 0;
    platform().processEvents();
  }
  return m_stopWhen && m_stopWhen();
}

}  // namespace pagemoor
