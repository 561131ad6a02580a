// Any bytes as a console command line. The parsing rules must hold for every
// line: what reaches a handler is a command without blanks that is not a
// comment, and the handler gets exactly the parameters the command event saw.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/Strings.h"
#include "console/DebugBox2.h"
#include "platform/HeadlessPlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static pagemoor::HeadlessPlatform quiet;
  static pagemoor::ScopedPlatform usePlatform(quiet);
  const std::string line(reinterpret_cast<const char*>(data), size);

  pagemoor::TDebugBox2 console;
  std::string eventCommand, eventParams;
  int events = 0, handled = 0, bad = 0;
  console.OnCommand = [&](pagemoor::Sender, const std::string& c, const std::string& p,
                          const std::vector<std::string>& words) {
    ++events;
    eventCommand = c;
    eventParams = p;
    if (c.empty() || c.find(' ') != std::string::npos || c[0] == '/' || c[0] == ';' || c[0] == ':')
      std::abort();
    for (const std::string& w : words)
      if (w.find(' ') != std::string::npos && w != words.back()) std::abort();
  };
  console.OnBadCommand = [&](pagemoor::Sender, const std::string& c, const std::string&) {
    ++bad;
    if (c != eventCommand) std::abort();
  };
  // Commands named after pieces of the input, so lookups hit now and then.
  const std::string name = pagemoor::FirstWord(line.substr(0, 12));
  for (const std::string& n : {std::string("show"), std::string("ŽLUŤ"), name}) {
    console.AddCommand(n, "", [&](pagemoor::Sender, const std::string& p) {
      ++handled;
      if (p != eventParams) std::abort();
    });
  }
  console.Execute(line);
  if (handled + bad != events) std::abort();
  // The console keys close the window and leave the edit line empty.
  console.setEditText(line);
  console.EditKeyPress(nullptr, U'~');
  if (!console.EditText().empty()) std::abort();
  return 0;
}
