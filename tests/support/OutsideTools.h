// Tests that compare with, or talk to, programs of the system: unzip, zip,
// bsdtar, Python's aiosmtpd. scripts/install-deps installs every one of them,
// so in CI (CI set) a missing one fails the test; on a developer's machine the
// test is skipped with the reason.
#pragma once

#include <cstdlib>
#include <string>

namespace pagemoor::test {

// Whether the shell finds the program on the PATH.
inline bool HaveProgram(const std::string& name) {
  const std::string command = "command -v '" + name + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

inline bool RunningInCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && *ci != '\0' && std::string(ci) != "0" && std::string(ci) != "false";
}

}  // namespace pagemoor::test

// Ends the test when `available` is false: a failure in CI, a skip elsewhere.
#define REQUIRE_OUTSIDE_TOOL(available, what)                                          \
  do {                                                                                 \
    if (!(available)) {                                                                \
      if (::pagemoor::test::RunningInCi()) FAIL() << (what) << " (scripts/install-deps)"; \
      GTEST_SKIP() << (what) << " (scripts/install-deps installs it)";                 \
    }                                                                                  \
  } while (false)
