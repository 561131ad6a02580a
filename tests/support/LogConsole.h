// A console subscribed to a log of its own, as the program's console is to
// the program's log: what a window writes to `sink` shows in Lines().
#pragma once

#include "common/LogSink.h"
#include "console/DebugBox2.h"

namespace pagemoor::test {

class LogConsole : public TDebugBox2 {
 public:
  LogConsole() { subscribeTo(sink); }

  LogSink sink;
};

}  // namespace pagemoor::test
