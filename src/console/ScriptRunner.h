// Script files: text files of console command lines in the project's
// "scripts" folder, each line run through the console as if typed.
#pragma once

#include <string>

#include "console/DebugBox2.h"

namespace pagemoor {

class ScriptRunner {
 public:
  // Scripts may run scripts; a script that runs itself, directly or through
  // others, is stopped at this depth.
  static constexpr int kMaxNesting = 32;

  explicit ScriptRunner(TDebugBox2& console) : m_console(console) {}

  // The "run_script" command: the parameter is the script's name.
  void cmdRun_Script(Sender sender, const std::string& params);

  // Runs ProjectDir + "scripts/" + name line by line. A failure raised by a
  // line ends the script there and reaches the caller.
  void RunScript(const std::string& name);

 private:
  TDebugBox2& m_console;
  int m_depth = 0;
  bool m_unwinding = false;  // the nesting limit was hit: every script of the chain stops
};

}  // namespace pagemoor
