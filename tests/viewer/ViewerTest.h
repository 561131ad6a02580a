// The viewer window on a development-mode project made in a temporary
// folder, with a fake platform. Window tests derive their fixtures from it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/ThinkingBoxWindow.h"
#include "audio/AudioEngine.h"
#include "common/LogSink.h"
#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/IniLang.h"
#include "console/DebugBox2.h"
#include "jukebox/JukeboxWindow.h"
#include "platform/Platform.h"
#include "support/FakePlatform.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"
#include "support/WavFile.h"
#include "viewer/MainWindow.h"

namespace pagemoor::test {

// A development-mode project in a temporary folder: the program MAG.EXE, its
// description MAG.UNP, and the project's files beside them.
class ViewerTest : public testing::Test {
 protected:
  ViewerTest() {
    SetLanguageFile(nullptr);
    CreateFolder(tmp.file("tmp"));
    tmp.write("MAG.UNP", "[uniproject]\r\nname=Test Mag\r\n");
  }
  ~ViewerTest() override {
    window.reset();
    SetLanguageFile(nullptr);
    ClearIniCache();
  }

  TfrmMain& make() {
    window = std::make_unique<TfrmMain>(sink, &thinking);
    window->setTerminate([] {});
    return *window;
  }

  // The log from the start sequence's first line on.
  std::vector<std::string> linesAfterStart() const {
    const auto& lines = window->Console().Lines();
    auto start = std::find(lines.begin(), lines.end(), "System: Console Initialization Completed");
    return {start, lines.end()};
  }

  TempFolder tmp;
  ScopedEnv temp{"TEMP", tmp.file("tmp").c_str()};
  ScopedEnv state{"XDG_STATE_HOME", tmp.file("state").c_str()};
  ScopedCommandLine commandLine{tmp.file("MAG.EXE"), {"/develope"}};
  FakePlatform fake;
  ScopedPlatform use{fake};
  // The program's log: it outlives every window.
  LogSink sink;
  TThinking_box thinking;
  std::unique_ptr<TfrmMain> window;
};

// The viewer with a jukebox on the null output, so tests can see what was played.
class ViewerJukeboxTest : public ViewerTest {
 protected:
  ~ViewerJukeboxTest() override { window.reset(); }  // the viewer goes before its jukebox

  TfrmMain& open() {
    TfrmMain& w = make();
    w.setJukebox(&jukebox);
    return w;
  }
  // A short WAV file at the project-relative name.
  void sound(const std::string& name) { tmp.write(name, WavBytes(441, 1000, -1000)); }
  audio::Handle sample() { return jukebox.jukebox().LastSample(); }
  bool musicPlays() { return jukebox.jukebox().Channel() != 0; }

  audio::AudioEngine engine;
  TPlinq_Main jukebox{engine, nullptr, 800};
};

}  // namespace pagemoor::test
