// SIGTERM (the session ends, a script stops us), SIGINT (Ctrl+C in the
// terminal) and SIGHUP end a run at any moment without leaving the unpacked
// project or the launcher's log behind.
//
// The handler only writes a byte to two pipes. The interface thread watches
// one in its event loop and ends the run as the moment calls for: the
// launcher closes as "Zavřít" does, the reading ends as "exit now" does, and
// at any other moment (unpacking, which lets events through between blocks)
// the run ends at once with EndNow. A watchdog thread watches the other: when
// the process is still there kEndGrace after the signal, the interface thread
// is stuck (a page that keeps the layout engine busy for an hour, a blocking
// call) and the watchdog itself removes the leftovers and ends the process
// with the usual exit code. A second signal ends the process at once.
//
// The watchdog touches nothing of the interface thread's: only the paths the
// run registered beforehand (SetLeftover) and DeleteTree, which keeps no state.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace pagemoor {

// Time the interface thread has to take the signal up; the end must come
// within two seconds, and the watchdog needs a moment for the deletion.
inline constexpr std::chrono::milliseconds kEndGrace{1500};
// Time it has to finish once it has taken the signal up, counted from the
// signal too: the ordinary ending (the console's closing lines, the windows
// destroyed) takes a tenth of a second, but longer on a loaded machine, and
// cutting it short would lose the log's last lines. Still within two seconds.
inline constexpr std::chrono::milliseconds kEndGraceAnswered{2000};

// What an end must not leave behind, registered as the run creates it and
// cleared (an empty path) when the run has handed it on or removed it.
enum class Leftover { LauncherLog, ProjectFolder };
void SetLeftover(Leftover kind, const std::string& path);

// Deletes the registered project folder and launcher log; safe from any
// thread while the interface thread is busy.
void RemoveLeftovers();

// Removes the leftovers, says why on standard error ("Pagemoor: " + why) and
// ends the process with exitCode without running anything else of it.
[[noreturn]] void EndNow(int exitCode, const char* why);

// The signal handling of one process: at most one at a time.
class EndSignals {
 public:
  EndSignals(int exitCode, std::chrono::milliseconds grace = kEndGrace,
             std::chrono::milliseconds graceAnswered = kEndGraceAnswered);
  // Restores the default handling and stops the watchdog.
  ~EndSignals();
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

  // Readable when a signal has come; the interface thread's event loop
  // watches it. -1 when the pipes could not be made.
  int readFd() const { return m_interfacePipe[0]; }
  // The interface thread takes the signals that came (true when any did); the
  // watchdog then gives it kEndGraceAnswered to finish.
  bool takeSignal();
  int exitCode() const { return m_exitCode; }

 private:
  void watch();

  int m_exitCode;
  std::chrono::milliseconds m_grace;
  std::chrono::milliseconds m_graceAnswered;
  int m_interfacePipe[2] = {-1, -1};
  int m_watchdogPipe[2] = {-1, -1};
  std::atomic<bool> m_answered{false};
  std::thread m_watchdog;
};

}  // namespace pagemoor
