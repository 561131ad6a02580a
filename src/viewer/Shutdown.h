// The end of a reading: the farewell question, the end command, the closing
// log lines, the display restored and the unpacked project folder removed.
// Two ways lead here: the viewer window asked to close (ConfirmClose, then
// FormClose and FormDestroy) and the console's "exit" command (ExitProgram,
// then FormDestroy). The steps live here without Qt; what is a window or the
// process goes through ShutdownHost.
#pragma once

#include <string>

namespace pagemoor {

class TDebugBox2;

// What the steps need from the viewer and the program.
class ShutdownHost {
 public:
  virtual ~ShutdownHost() = default;
  // The viewer's use-DirectX flag (set by the display-mode selection).
  virtual bool useDirectX() const = 0;
  // Restores the desktop display mode / leaves the full-screen surface.
  virtual void restoreDesktopMode() = 0;
  virtual void finaliseSurface() = 0;
  // Shuts the audio engine down, then closes and destroys the jukebox window.
  virtual bool jukeboxExists() const = 0;
  virtual void shutdownAudio() = 0;
  virtual void closeAndDestroyJukebox() = 0;
  // Destroys the console (it writes its shutdown lines); nothing is logged after.
  virtual void destroyConsole() = 0;
  // Asks the application to terminate (the message loop ends).
  virtual void terminateApplication() = 0;
};

class ViewerShutdown {
 public:
  // The console logs and executes until destroyConsole(); `host` outlives this.
  ViewerShutdown(TDebugBox2& console, ShutdownHost& host);

  // FormCloseQuery's answer: asks unless the reading has ended already; true
  // when the reading may end. While an ending is under way (its question is
  // open, its end command runs) the answer is false.
  bool ConfirmClose();
  // The "exit" command: `ask` false for "exit now". Does nothing while an
  // ending is under way (an end command of "exit" would start it again);
  // once the reading has ended it only asks the application to end again.
  void ExitProgram(bool ask);
  // True once an ending has torn the reading down.
  bool ended() const { return m_ended; }
  // The window closing after ConfirmClose allowed it.
  void FormClose();
  // The window being destroyed at the end of the process.
  void FormDestroy();

  // The farewell question's default.
  static constexpr const char* kDefaultQuestion = "Ukončit program ???";

 private:
  // Steps 1–5 shared by both ways; returns ok.
  bool farewell(bool ask);
  void deleteProjectFolder();

  TDebugBox2* m_console;  // nullptr once destroyed
  ShutdownHost& m_host;
  bool m_ending = false;  // ConfirmClose or ExitProgram is running
  bool m_ended = false;
};

}  // namespace pagemoor
