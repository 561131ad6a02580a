// Runs build/pagemoor headless as a reader would start it: a program folder
// of its own with the magazines beside it, private temporary, state, config and
// runtime folders, the scripted platform answering from PAGEMOOR_ANSWERS and
// standard error kept in a file.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/FileIo.h"
#include "support/TempFolder.h"

extern char** environ;

namespace pagemoor::test {

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The path with every symbolic link and ".." taken, as the program names files.
inline std::string Real(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string out(real);
  std::free(real);
  return out;
}

inline std::string Read(const std::string& path) {
  auto bytes = ReadFileBytes(path);
  return bytes ? *bytes : std::string();
}

// Waits until `done` holds; the deadline only keeps a broken run from
// hanging the test, nothing here measures speed.
template <typename F>
bool WaitFor(F done, std::chrono::seconds limit = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The program file is prog/MAG.EXE in the temporary folder t.
class ProgramRunner : public ::testing::Test {
 protected:
  ProgramRunner() { ::mkdir(t.file("run").c_str(), 0700); }

  // Starts the program with `args`; its standard error goes to stderr.txt.
  pid_t start(const std::vector<std::string>& args, const std::string& answers,
              const std::vector<std::string>& extraEnv = {}) {
    std::vector<std::string> env = {"PAGEMOOR_SCRIPTED_UI=1",
                                    "PAGEMOOR_ANSWERS=" + answers,
                                    "QT_QPA_PLATFORM=offscreen",
                                    "TEMP=" + t.file("tmp"),
                                    "XDG_STATE_HOME=" + t.file("state"),
                                    "XDG_CONFIG_HOME=" + t.file("config"),
                                    "XDG_RUNTIME_DIR=" + t.file("run"),
                                    "HOME=" + t.path(),
                                    "PATH=" + searchPath};
    if (nullAudio) env.push_back("PAGEMOOR_AUDIO=null");
    // A variable of extraEnv replaces the one above of the same name.
    for (const std::string& extra : extraEnv) {
      const std::string name = extra.substr(0, extra.find('=') + 1);
      std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
      env.push_back(extra);
    }
    std::vector<std::string> argv = {PAGEMOOR_EXECUTABLE, "--program=" + t.file("prog/" + programName)};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv, cenv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    for (auto& e : env) cenv.push_back(e.data());
    cenv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, t.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

  // The exit code, or -1 when the program did not end by itself.
  int finish(pid_t pid) {
    int status = 0;
    if (!WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; })) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string mirrorLog() const { return Read(t.file("state/pagemoor/MAG_EXE_(Tarn-Console).log")); }
  std::string errors() const { return Read(t.file("stderr.txt")); }
  std::string projectFolder() const {
    return t.file("tmp/pagemoor-" + std::to_string(::getuid()) + "/MAG_EXE/");
  }
  bool logHas(const std::string& line) const { return mirrorLog().find(line) != std::string::npos; }
  bool waitForLog(const std::string& line) const {
    return WaitFor([&] { return logHas(line); });
  }

  std::string programName = "MAG.EXE";
  // The program's PATH.
  std::string searchPath = "/usr/bin:/bin";
  // Plays nothing; false leaves the sound to SDL (tests then pick its driver).
  bool nullAudio = true;
  TempFolder t;
};

}  // namespace pagemoor::test
