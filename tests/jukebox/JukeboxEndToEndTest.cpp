// The jukebox window on the SDL output, with SDL's disk driver writing what
// would be heard to a file: a module and an MP3 from the third-party test files play
// through PlayFile as the magazine plays them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "audio/AudioEngine.h"
#include "audio/sdl/SdlOutput.h"
#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "jukebox/JukeboxWindow.h"
#include "platform/qt/QtPlatform.h"
#include "support/FakePlatform.h"
#include "support/TempFolder.h"
#include "support/WavFile.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::ScopedEnv;
using test::TempFolder;

std::string ThirdPartyFixture(const std::string& name) {
  return std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/" + name;
}

// Pumps events until done; the deadline only keeps a broken build from
// hanging, nothing is asserted on the time it takes.
bool WaitFor(const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    QCoreApplication::processEvents();
    QThread::msleep(10);
  }
  return true;
}

// The disk file's bytes from `from` on (16-bit samples).
std::string ReadFrom(const std::string& path, std::size_t from) {
  const std::string bytes = ReadFileBytes(path).value_or(std::string());
  return bytes.size() > from ? bytes.substr(from) : std::string();
}

bool HasSound(const std::string& bytes) {
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    std::int16_t s;
    std::memcpy(&s, bytes.data() + i, 2);
    if (s > 64 || s < -64) return true;
  }
  return false;
}

TEST(JukeboxEndToEndTest, AModuleAndAnMp3PlayThroughSdlIntoTheDiskFile) {
  const std::string module = ThirdPartyFixture("music/TEMPO.MTM");
  const std::string mp3 = ThirdPartyFixture("mp3/intro_band.mp3");
  ASSERT_TRUE(FileExists(module)) << module;
  ASSERT_TRUE(FileExists(mp3)) << mp3;

  TempFolder tmp;
  const std::string disk = tmp.file("out.raw");
  // SDL reads them when the engine's Init opens the device.
  ScopedEnv driver("SDL_AUDIODRIVER", "disk");
  ScopedEnv file("SDL_DISKAUDIOFILE", disk.c_str());
  FakePlatform fake;
  ScopedPlatform use(fake);
  audio::AudioEngine engine;
  engine.setOutputFactory([](int) { return std::make_unique<audio::SdlOutput>(); });

  TPlinq_Main window(engine, nullptr, 800);
  ASSERT_TRUE(window.created());
  Jukebox& jb = window.jukebox();

  jb.PlayFile(module);
  ASSERT_NE(jb.Channel(), 0u);
  EXPECT_GT(jb.SongLength(), 0);
  EXPECT_EQ(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);
  ASSERT_TRUE(WaitFor([&] { return HasSound(ReadFrom(disk, 0)); }))
      << "no sound of the module reached " << disk;
  EXPECT_EQ(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);
  EXPECT_GT(jb.GetSongPos(), 0);

  // Past what SDL may still hold of the module: two of its 1024-frame buffers.
  const std::size_t before = ReadFileBytes(disk).value_or(std::string()).size() + 2 * 1024 * 4;
  jb.PlayFile(mp3);
  const audio::Handle stream = jb.Channel();
  ASSERT_NE(stream, 0u);
  EXPECT_EQ(engine.ChannelIsActive(stream), audio::kActivePlaying);
  EXPECT_EQ(jb.SongLength(), static_cast<std::int32_t>(engine.StreamGetLength(stream)));
  ASSERT_TRUE(WaitFor([&] { return HasSound(ReadFrom(disk, before)); }))
      << "no sound of the MP3 reached " << disk;

  jb.ShutdownAudio();
  EXPECT_NE(engine.ChannelIsActive(stream), audio::kActivePlaying);
  EXPECT_FALSE(engine.isInitialised());
  EXPECT_FALSE(window.Timer1()->isActive());
}

// Another program steers the jukebox: "pagemoor --remote 1026" stops the
// music of the jukebox running here, whose window is not even shown.
TEST(JukeboxEndToEndTest, ASecondProcessStopsTheMusicThroughTheRemoteControl) {
  TempFolder tmp;
  const std::string runtime = tmp.file("runtime");
  ASSERT_TRUE(CreateFolder(runtime));
  ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.c_str());
  QtPlatform qt(tmp.file("registry.ini"));
  ScopedPlatform use(qt);
  audio::AudioEngine engine;  // the null output
  TPlinq_Main window(engine, nullptr, 800);
  ASSERT_TRUE(window.created());
  Jukebox& jb = window.jukebox();

  const std::string song = tmp.write("song.wav", test::WavBytes(44100 * 5, 1000, -1000));
  jb.PlayFile(song);
  ASSERT_EQ(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);
  ASSERT_TRUE(window.Timer1()->isActive());

  QProcess remote;
  remote.start(QString::fromUtf8(PAGEMOOR_EXECUTABLE), {"--remote", "1026"});
  ASSERT_TRUE(WaitFor([&] { return remote.state() == QProcess::NotRunning && !window.Timer1()->isActive(); }))
      << "exit code " << remote.exitCode() << ": " << remote.readAllStandardError().toStdString();
  EXPECT_EQ(remote.exitCode(), 0);
  EXPECT_NE(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);
}

}  // namespace
}  // namespace pagemoor
