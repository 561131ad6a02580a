// Sets the running program's command line for one test and restores it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/CommandLine.h"

namespace pagemoor::test {

class ScopedCommandLine {
 public:
  ScopedCommandLine(std::string programFile, std::vector<std::string> params = {})
      : m_saved(CurrentCommandLine()) {
    CommandLine c;
    c.programFile = std::move(programFile);
    c.params = std::move(params);
    SetCommandLine(c);
  }
  ~ScopedCommandLine() { SetCommandLine(m_saved); }
  ScopedCommandLine(const ScopedCommandLine&) = delete;
  ScopedCommandLine& operator=(const ScopedCommandLine&) = delete;

 private:
  CommandLine m_saved;
};

}  // namespace pagemoor::test
