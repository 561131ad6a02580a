// Script files: text files of console command lines in the project's
// "scripts" folder, each line run through the console as if typed.
//
// The runner holds no console: a script line may end the reading, and the
// console with it, while the script is still on the stack. Its lines go to
// the program's log and its command lines to whoever runs them.
#pragma once

#include <functional>
#include <string>

#include "common/LogSink.h"
#include "console/DebugBox2.h"

namespace pagemoor {

class ScriptRunner {
 public:
  // Scripts may run scripts; a script that runs itself, directly or through
  // others, is stopped at this depth.
  static constexpr int kMaxNesting = 32;

  // A long script lets the window's events in (and with them a request to
  // end the reading) after every so many lines. Only long ones: a script of a
  // few lines runs as one step, as it always has, with no reader's click
  // coming between its lines.
  static constexpr int kLinesBetweenEvents = 256;

  // execute: runs one command line as if typed (the console's Execute while
  // the reading lasts, nothing after it).
  ScriptRunner(LogSink& log, std::function<void(const std::string& line)> execute)
      : m_log(log), m_execute(std::move(execute)) {}

  // True once the reading is ending: every running script stops before its
  // next line.
  void setStopWhen(std::function<bool()> stop) { m_stopWhen = std::move(stop); }

  // The "run_script" command: the parameter is the script's name.
  void cmdRun_Script(Sender sender, const std::string& params);

  // Runs ProjectDir + "scripts/" + name line by line. A failure raised by a
  // line ends the script there and reaches the caller.
  void RunScript(const std::string& name);

 private:
  // Lets pending events run now and then; true when the scripts must stop.
  bool breathe();

  LogSink& m_log;
  std::function<void(const std::string& line)> m_execute;
  std::function<bool()> m_stopWhen;
  int m_linesSinceEvents = 0;
  int m_depth = 0;
  bool m_unwinding = false;  // the nesting limit was hit: every script of the chain stops
};

}  // namespace pagemoor
