#include "jukebox/Jukebox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/AudioOutput.h"
#include "common/HostPaths.h"
#include "common/Strings.h"
#include "console/DebugBox2.h"
#include "platform/Dialogs.h"
#include "support/FakePlatform.h"
#include "support/TempFolder.h"
#include "support/WavFile.h"
#include "support/LogConsole.h"

namespace pagemoor {
namespace {

using audio::Handle;
using test::FakePlatform;
using test::TempFolder;
using testing::ElementsAre;
using testing::HasSubstr;

std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", v);
  return buf;
}

// The engine calls whose order the jukebox promises, as "Name args", each
// then made on the real engine. The channel each call was made on is kept
// beside it.
class RecordingAudio : public JukeboxAudio {
 public:
  using JukeboxAudio::JukeboxAudio;

  std::vector<std::string> calls;
  std::vector<Handle> channels;

  // The calls made since the last clear, only those whose name starts so.
  std::vector<std::string> callsOf(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const std::string& c : calls)
      if (c.starts_with(prefix)) out.push_back(c);
    return out;
  }
  void clear() {
    calls.clear();
    channels.clear();
  }

  bool Init(int device, int frequency, std::uint32_t flags, void* window) override {
    add("Init " + std::to_string(device) + " " + std::to_string(frequency) + " " + Hex(flags));
    return JukeboxAudio::Init(device, frequency, flags, window);
  }
  bool Start() override { return add("Start"), JukeboxAudio::Start(); }
  bool Stop() override { return add("Stop"), JukeboxAudio::Stop(); }
  bool Free() override { return add("Free"), JukeboxAudio::Free(); }
  bool SetGlobalVolumes(int music, int sample, int stream) override {
    add("SetGlobalVolumes " + std::to_string(music) + " " + std::to_string(sample) + " " +
        std::to_string(stream));
    return JukeboxAudio::SetGlobalVolumes(music, sample, stream);
  }
  Handle StreamCreateFile(bool mem, const std::string& file, std::uint64_t offset, std::uint64_t length,
                          std::uint32_t flags) override {
    add("StreamCreateFile " + std::to_string(mem) + " " + ExtractFileName(file) + " " +
        std::to_string(offset) + " " + std::to_string(length) + " " + Hex(flags));
    return JukeboxAudio::StreamCreateFile(mem, file, offset, length, flags);
  }
  Handle MusicLoad(bool mem, const std::string& file, std::uint64_t offset, std::uint64_t length,
                   std::uint32_t flags) override {
    add("MusicLoad " + std::to_string(mem) + " " + ExtractFileName(file) + " " + std::to_string(offset) +
        " " + std::to_string(length) + " " + Hex(flags));
    return JukeboxAudio::MusicLoad(mem, file, offset, length, flags);
  }
  bool MusicFree(Handle h) override { return add("MusicFree", h), JukeboxAudio::MusicFree(h); }
  bool StreamFree(Handle h) override { return add("StreamFree", h), JukeboxAudio::StreamFree(h); }
  bool MusicPlayEx(Handle h, std::uint32_t pos, std::uint32_t flags, bool reset) override {
    add("MusicPlayEx " + std::to_string(pos) + " " + Hex(flags) + " " + std::to_string(reset), h);
    return JukeboxAudio::MusicPlayEx(h, pos, flags, reset);
  }
  bool StreamPlay(Handle h, bool flush, std::uint32_t flags) override {
    add("StreamPlay " + std::to_string(flush) + " " + Hex(flags), h);
    return JukeboxAudio::StreamPlay(h, flush, flags);
  }
  bool ChannelStop(Handle h) override { return add("ChannelStop", h), JukeboxAudio::ChannelStop(h); }
  std::uint64_t StreamGetLength(Handle h) override {
    return add("StreamGetLength", h), JukeboxAudio::StreamGetLength(h);
  }
  std::uint64_t MusicGetLength(Handle h, bool playlen) override {
    add("MusicGetLength " + std::to_string(playlen), h);
    return JukeboxAudio::MusicGetLength(h, playlen);
  }
  Handle ChannelSetFX(Handle h, int type) override {
    return add("ChannelSetFX " + std::to_string(type), h), JukeboxAudio::ChannelSetFX(h, type);
  }
  bool ChannelRemoveFX(Handle h, int type) override {
    return add("ChannelRemoveFX " + std::to_string(type), h), JukeboxAudio::ChannelRemoveFX(h, type);
  }
  Handle ChannelSetDSP(Handle h, audio::DspProc proc, void* user) override {
    add(user ? "ChannelSetDSP user" : "ChannelSetDSP", h);
    return JukeboxAudio::ChannelSetDSP(h, std::move(proc), user);
  }
  bool ChannelRemoveDSP(Handle h, Handle dsp) override {
    add("ChannelRemoveDSP " + std::to_string(dsp), h);
    return JukeboxAudio::ChannelRemoveDSP(h, dsp);
  }
  bool ChannelSet3DAttributes(Handle h, int mode, float min, float max, int iangle, int oangle,
                              int outvol) override {
    char text[96];
    std::snprintf(text, sizeof text, "ChannelSet3DAttributes %d %g %g %d %d %d", mode, min, max, iangle,
                  oangle, outvol);
    add(text, h);
    return JukeboxAudio::ChannelSet3DAttributes(h, mode, min, max, iangle, oangle, outvol);
  }
  bool ChannelSetEAXMix(Handle h, float mix) override {
    char text[48];
    std::snprintf(text, sizeof text, "ChannelSetEAXMix %g", mix);
    return add(text, h), JukeboxAudio::ChannelSetEAXMix(h, mix);
  }
  bool Apply3D() override { return add("Apply3D"), JukeboxAudio::Apply3D(); }
  Handle SampleLoad(bool mem, const std::string& file, std::uint64_t offset, std::uint64_t length, int max,
                    std::uint32_t flags) override {
    add("SampleLoad " + std::to_string(mem) + " " + file + " " + std::to_string(offset) + " " +
        std::to_string(length) + " " + std::to_string(max) + " " + Hex(flags));
    return JukeboxAudio::SampleLoad(mem, file, offset, length, max, flags);
  }
  Handle SamplePlayEx(Handle sample, std::uint32_t start, int freq, int volume, int pan, bool loop) override {
    add("SamplePlayEx " + std::to_string(start) + " " + std::to_string(freq) + " " + std::to_string(volume) +
            " " + std::to_string(pan) + " " + std::to_string(loop),
        sample);
    return JukeboxAudio::SamplePlayEx(sample, start, freq, volume, pan, loop);
  }
  bool SampleFree(Handle sample) override {
    return add("SampleFree", sample), JukeboxAudio::SampleFree(sample);
  }

 private:
  void add(std::string call, Handle channel = 0) {
    calls.push_back(std::move(call));
    channels.push_back(channel);
  }
};

class RecordingView : public JukeboxView {
 public:
  std::vector<std::string> events;
  int changes = 0;
  void jukeboxChanged() override { ++changes; }
  void closeWindow() override { events.push_back("close"); }
  void minimizeApplication() override { events.push_back("minimize"); }
  void restoreApplication() override { events.push_back("restore"); }
  void terminateApplication() override { events.push_back("terminate"); }
};

using test::WavBytes;

bool Silent(const std::vector<std::int16_t>& v) {
  return std::all_of(v.begin(), v.end(), [](std::int16_t s) { return s == 0; });
}

int Peak(const std::vector<std::int16_t>& v) {
  int peak = 0;
  for (std::int16_t s : v) peak = std::max(peak, std::abs(static_cast<int>(s)));
  return peak;
}

std::string ThirdPartyFixture(const std::string& name) {
  return std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/" + name;
}

// A started jukebox on a real engine with the null output; the test renders
// the sound by hand.
class JukeboxTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetNumberedMessages();
    jb.setView(&view);
    ASSERT_TRUE(jb.FormCreate(nullptr));
    out = static_cast<audio::NullOutput*>(engine.output());
    ASSERT_NE(out, nullptr);
    audio.clear();
  }

  // A tone file in the temporary folder: 0.1 s by default.
  std::string tone(const std::string& name, int frames = 4410, std::int16_t left = 8000,
                   std::int16_t right = -8000) {
    return tmp.write(name, WavBytes(frames, left, right));
  }
  std::string missing(const std::string& name) { return tmp.file(name); }

  std::vector<std::int16_t> render(int frames) { return out->render(frames); }
  // Plays the current channel to its end.
  void finish() {
    for (int i = 0; i < 100 && engine.ChannelIsActive(jb.Channel()) == audio::kActivePlaying; ++i)
      render(4410);
    ASSERT_NE(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);
  }
  std::string playing() const {
    return jb.pathIndex() >= 0 ? ExtractFileName(jb.ListBox1()[jb.pathIndex()]) : std::string("-");
  }

  FakePlatform fake;
  ScopedPlatform use{fake};
  TempFolder tmp;
  audio::AudioEngine engine;
  RecordingAudio audio{engine};
  test::LogConsole console;
  RecordingView view;
  Jukebox jb{audio, &console.sink};
  audio::NullOutput* out = nullptr;
};

// --- Creation and showing ---

TEST_F(JukeboxTest, CreationStartsTheEngineAppliesTheVolumeAndListens) {
  audio::AudioEngine fresh;
  RecordingAudio calls(fresh);
  Jukebox box(calls);
  ASSERT_TRUE(box.FormCreate(nullptr));
  box.InstallMessageHook();
  EXPECT_THAT(calls.calls, ElementsAre("Init -1 44100 0", "Start", "SetGlobalVolumes 100 100 100"));
  EXPECT_TRUE(fresh.isInitialised());
  EXPECT_FALSE(box.Timer1Enabled());
  EXPECT_EQ(fake.remoteListenName, kPagemoorRemoteName);
  ASSERT_TRUE(fake.remoteHandler);
}

// An output that cannot be opened.
class BrokenOutput : public audio::NullOutput {
 public:
  bool open(int, audio::RenderFunction, std::string* error) override {
    if (error) *error = "no device";
    return false;
  }
};

TEST_F(JukeboxTest, AnEngineThatCannotStartEndsTheProgram) {
  audio::AudioEngine broken;
  broken.setOutputFactory([](int) { return std::make_unique<BrokenOutput>(); });
  RecordingAudio calls(broken);
  RecordingView brokenView;
  Jukebox box(calls);
  box.setView(&brokenView);
  EXPECT_FALSE(box.FormCreate(nullptr));
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("BASS initialization ERROR, terminating"));
  EXPECT_THAT(brokenView.events, ElementsAre("terminate"));
  EXPECT_THAT(calls.calls, ElementsAre("Init -1 44100 0"));  // nothing after it
}

TEST_F(JukeboxTest, ShowingCopiesTheMaskRefreshesTitlesAndTellsTheCore) {
  jb.WMDropFiles({tone("a.wav")});
  jb.ListBox2Click(0);
  jb.ID3MaskChange("%ARTIST%");
  EXPECT_EQ(jb.ID3DEF(), "%ARTIST%");
  jb.FormShow();
  EXPECT_EQ(jb.ID3Mask(), "%ARTIST%");
  EXPECT_EQ(jb.titleIndex(), -1);  // the title list was filled anew
  EXPECT_THAT(fake.remotePosts, ElementsAre(std::pair<std::string, int>{kCorePeerName, 1029}));
}

TEST_F(JukeboxTest, TheMaskMakesTheTitlesOfTaggedFiles) {
  const std::string mp3 = ThirdPartyFixture("mp3/intro_band.mp3");
  ASSERT_TRUE(FileExists(mp3)) << mp3;
  jb.WMDropFiles({mp3});
  EXPECT_THAT(jb.ListBox2(), ElementsAre("Intro (Band)"));
  jb.ID3MaskChange("Song: %TITLE%");
  jb.RefreshTitles();
  EXPECT_THAT(jb.ListBox2(), ElementsAre("song: Intro"));
}

// --- PlayFile ---

TEST_F(JukeboxTest, AMissingFileIsReportedAndTheMusicGoesOn) {
  const std::string a = tone("a.wav", 44100);
  jb.PlayFile(a);
  const Handle channel = jb.Channel();
  audio.clear();

  jb.PlayFile("");
  EXPECT_TRUE(fake.textsOf("info").empty());
  const std::string gone = missing("gone.mp3");
  jb.PlayFile(gone);
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("File " + gone + " doesn't exist"));
  // A magazine's backslash is shown as the host's separator.
  fake.calls.clear();
  jb.PlayFile(missing("sounds") + "\\nothere.mod");
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("File " + missing("sounds") + "/nothere.mod doesn't exist"));
  EXPECT_TRUE(audio.calls.empty());
  EXPECT_EQ(jb.Channel(), channel);
  EXPECT_EQ(engine.ChannelIsActive(channel), audio::kActivePlaying);
}

TEST_F(JukeboxTest, AStreamPlaysInTheGivenOrderOfCalls) {
  jb.PlayFile(tone("first.wav"));
  const Handle old = jb.Channel();
  audio.clear();

  const std::string path = tone("song.wav", 4410, 8000, -8000);
  jb.PlayFile(path);
  const Handle ch = jb.Channel();
  ASSERT_NE(ch, 0u);
  EXPECT_THAT(audio.calls,
              ElementsAre("ChannelStop", "MusicFree", "StreamFree", "StreamCreateFile 0 song.wav 0 0 20080",
                          "ChannelRemoveFX 3", "ChannelRemoveFX 4", "ChannelRemoveFX 0", "ChannelRemoveFX 1",
                          "ChannelRemoveFX 2", "ChannelRemoveFX 5", "ChannelRemoveFX 6", "ChannelRemoveFX 7",
                          "ChannelRemoveFX 8", "MusicPlayEx 0 ffffffff 1", "StreamPlay 0 20000",
                          "ChannelSet3DAttributes -1 1 2 -1 -1 -1", "ChannelSetEAXMix 1", "Apply3D",
                          "StreamGetLength"));
  // The old channel is stopped and released, everything after on the new one.
  EXPECT_EQ(audio.channels[0], old);
  for (std::size_t i = 4; i < audio.calls.size(); ++i)
    if (audio.calls[i] != "Apply3D") {
      EXPECT_EQ(audio.channels[i], ch) << audio.calls[i];
    }
  EXPECT_EQ(engine.ChannelIsActive(old), audio::kActiveStopped);
  EXPECT_TRUE(jb.Timer1Enabled());
  EXPECT_EQ(jb.SongLength(), 4410 * 4);
  const auto sound = render(16);
  EXPECT_EQ(sound[0], 8000);
  EXPECT_EQ(sound[1], -8000);
}

TEST_F(JukeboxTest, AModuleIsTriedSecondAndGetsEveryTickedEffect) {
  const std::string mtm = ThirdPartyFixture("music/TEMPO.MTM");
  ASSERT_TRUE(FileExists(mtm)) << mtm;
  JukeboxSwitches& s = jb.switches();
  s.Echo = s.Flange = s.Reverb = s.Chorus = s.Gargle = s.Surround = true;
  s.Echos = s.Flanger = s.Rotates = true;

  jb.PlayFile(mtm);
  const Handle ch = jb.Channel();
  ASSERT_NE(ch, 0u);
  EXPECT_THAT(audio.calls,
              ElementsAre("ChannelStop", "MusicFree", "StreamFree", "StreamCreateFile 0 TEMPO.MTM 0 0 20080",
                          "MusicLoad 0 TEMPO.MTM 0 0 1001", "ChannelSetDSP", "ChannelSetDSP", "ChannelSetDSP",
                          "ChannelRemoveFX 3", "ChannelRemoveFX 4", "ChannelRemoveFX 0", "ChannelRemoveFX 1",
                          "ChannelRemoveFX 2", "ChannelRemoveFX 5", "ChannelRemoveFX 6", "ChannelRemoveFX 7",
                          "ChannelRemoveFX 8", "ChannelSetFX 3", "ChannelSetFX 4", "ChannelSetFX 0",
                          "ChannelSetFX 5", "ChannelSetFX 8", "MusicPlayEx 0 400 1", "StreamPlay 0 20000",
                          "ChannelSet3DAttributes -1 1 2 -1 -1 -1", "ChannelSetEAXMix 1", "Apply3D",
                          "MusicGetLength 1"));
  for (std::size_t i = 5; i < audio.calls.size(); ++i)
    if (audio.calls[i] != "Apply3D") {
      EXPECT_EQ(audio.channels[i], ch) << audio.calls[i];
    }
  EXPECT_NE(jb.echoHook(), 0u);
  EXPECT_NE(jb.flangerHook(), 0u);
  EXPECT_NE(jb.rotationHook(), 0u);
  EXPECT_EQ(engine.ChannelIsActive(ch), audio::kActivePlaying);
  EXPECT_EQ(jb.SongLength(),
            static_cast<std::int32_t>(static_cast<std::uint32_t>(engine.MusicGetLength(ch, true))));
  EXPECT_GT(jb.SongLength(), 0);
  EXPECT_GT(Peak(render(8820)), 0);
}

TEST_F(JukeboxTest, AFileThatIsNeitherLeavesNoChannelAndTheAdvanceMovesOn) {
  const std::string bad = tmp.write("a_notes.txt", "not a sound at all");
  const std::string good = tone("b.wav");
  jb.WMDropFiles({bad, good});
  jb.ListBox2Click(0);
  EXPECT_EQ(jb.Channel(), 0u);
  EXPECT_EQ(jb.SongLength(), -1);  // the failed length, kept as it is
  EXPECT_EQ(jb.GetSongLen(), 0);
  EXPECT_TRUE(jb.Timer1Enabled());
  EXPECT_TRUE(fake.textsOf("info").empty());
  jb.Timer1Timer();
  EXPECT_EQ(playing(), "b.wav");
  EXPECT_EQ(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);
}

// --- Samples and stop ---

TEST_F(JukeboxTest, ASamplePlaysOverTheMusicAndIsFreedOnceHeard) {
  jb.PlayFile(tone("music.wav", 44100, 1000, 1000));
  const Handle music = jb.Channel();
  jb.setTimer1Enabled(false);
  audio.clear();

  const std::string click = tone("click.wav", 441, 10000, 10000);
  jb.PlaySample(click);
  EXPECT_THAT(audio.calls,
              ElementsAre("SampleLoad 0 " + click + " 0 0 255 20008", "SamplePlayEx 0 -1 200 50 0"));
  const Handle first = jb.LastSample();
  ASSERT_NE(first, 0u);
  EXPECT_EQ(audio.channels[1], first);
  EXPECT_EQ(jb.Channel(), music);
  EXPECT_FALSE(jb.Timer1Enabled());
  // Pan 50 halves the left side; the music goes on under it.
  const auto mixed = render(4);
  EXPECT_EQ(mixed[0], 1000 + 5000);
  EXPECT_EQ(mixed[1], 1000 + 10000);

  render(441);
  audio.clear();
  jb.PlaySample(click);
  EXPECT_EQ(audio.callsOf("SampleFree").size(), 1u);
  EXPECT_EQ(audio.channels[0], first);
  EXPECT_NE(jb.LastSample(), first);
}

TEST_F(JukeboxTest, StopSilencesAndTurnsTheAdvanceOff) {
  jb.PlayFile(tone("a.wav", 44100));
  const Handle ch = jb.Channel();
  EXPECT_GT(Peak(render(100)), 0);
  audio.clear();
  jb.ZastavitClick();
  EXPECT_THAT(audio.calls, ElementsAre("MusicFree", "StreamFree"));
  EXPECT_FALSE(jb.Timer1Enabled());
  EXPECT_EQ(jb.Channel(), ch);  // kept, stale from now on
  EXPECT_TRUE(Silent(render(1000)));
  EXPECT_EQ(jb.GetSongPos(), 0);
  EXPECT_EQ(jb.GetSongLen(), 0);
}

TEST_F(JukeboxTest, ShutdownStopsAndFreesTheEngine) {
  jb.PlayFile(tone("a.wav", 44100));
  audio.clear();
  jb.ShutdownAudio();
  EXPECT_THAT(audio.calls, ElementsAre("Stop", "StreamFree", "Free"));
  EXPECT_FALSE(engine.isInitialised());
  EXPECT_FALSE(jb.Timer1Enabled());
  jb.Timer3Timer(305, 145);  // the meters still ask, and get nothing
  EXPECT_EQ(jb.meters(), VULevel{});
}

// --- Volume ---

TEST_F(JukeboxTest, TheSliderSetsTheThreeVolumes) {
  struct Case {
    int position;
    int volume;
    int peak;  // of a full-volume tone of 8000
  };
  for (const Case& c : {Case{0, 100, 8000}, Case{25, 50, 4000}, Case{50, 0, 0}, Case{75, -50, 0}}) {
    SCOPED_TRACE(c.position);
    audio.clear();
    jb.setVolumePosition(c.position);
    jb.tbSoundsChange();
    const std::string v = std::to_string(c.volume);
    EXPECT_THAT(audio.calls, ElementsAre("SetGlobalVolumes " + v + " " + v + " " + v));
    jb.PlayFile(tone("tone.wav", 4410, 8000, 8000));
    EXPECT_NEAR(Peak(render(64)), c.peak, 1);
  }
}

// --- The lists ---

TEST_F(JukeboxTest, PathsSortWithoutCaseAndTitlesStayInStep) {
  struct Case {
    const char* a;
    const char* b;
    bool less;
  };
  for (const Case& c : {Case{"/m/a.mp3", "/m/B.mp3", true}, Case{"/m/B.mp3", "/m/a.mp3", false},
                        Case{"/m/A.mp3", "/m/a.mp3", false}, Case{"/m/a.mp3", "/m/a_.mp3", true},
                        Case{"/m/a_b", "/m/ab", true}, Case{"/m/[x", "/m/Z", true}})
    EXPECT_EQ(PathListLess(c.a, c.b), c.less) << c.a << " < " << c.b;

  const std::string b = tone("b.wav");
  jb.WMDropFiles({b, missing("C.mp3"), missing("list.m3u")});
  const std::string a = tone("A.wav");
  // The same name in another case goes after it, and finds the same file.
  jb.WMDropFiles({a, tmp.file("a.wav")});
  EXPECT_THAT(jb.ListBox1(), ElementsAre(a, tmp.file("a.wav"), b, missing("C.mp3"), missing("list.m3u")));
  EXPECT_THAT(jb.ListBox2(), ElementsAre("A.wav", "a.wav", "b.wav", kNotFoundTitle, kNotFoundTitle));
}

TEST_F(JukeboxTest, AddingTakesTheDialogsFilesWithPlaylistsExpanded) {
  const std::string b = tone("b.wav");
  const std::string c = tone("c.wav");
  const std::string list = tmp.write("list.m3u", "#EXTM3U\r\n" + c + "\r\n" + missing("z.mp3") + "\r\n");
  jb.WMDropFiles({tone("a.wav")});
  jb.ListBox2Click(0);
  fake.openAnswers = {FileDialogResult{list, 1}, std::nullopt};
  jb.PridatClick();
  ASSERT_EQ(fake.callsOf("open").size(), 1u);
  EXPECT_EQ(fake.callsOf("open")[0].text, kOpen1Filter);
  EXPECT_EQ(jb.ListBox1(), (std::vector<std::string>{tmp.file("a.wav"), c, missing("z.mp3")}));
  EXPECT_THAT(jb.ListBox2(), ElementsAre("a.wav", "c.wav", kNotFoundTitle));
  EXPECT_EQ(jb.pathIndex(), 0);  // still the entry it was

  jb.PridatClick();  // cancelled
  EXPECT_EQ(jb.ListBox1().size(), 3u);

  jb.setFilesDialog([&](const FileDialogOptions&) {
    return std::vector<std::string>{b, missing("nope.wav")};
  });
  jb.PridatClick();
  EXPECT_EQ(jb.ListBox1(), (std::vector<std::string>{tmp.file("a.wav"), b, c, missing("z.mp3")}));
}

TEST_F(JukeboxTest, RemoveStopsAndTakesTheSelectedEntry) {
  jb.WMDropFiles({tone("a.wav", 44100), tone("b.wav", 44100), tone("c.wav", 44100)});
  jb.OdebratClick();  // nothing selected: it stops, nothing else
  EXPECT_EQ(jb.ListBox1().size(), 3u);

  jb.ListBox2Click(1);
  ASSERT_EQ(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);
  jb.OdebratClick();
  EXPECT_THAT(jb.ListBox2(), ElementsAre("a.wav", "c.wav"));
  EXPECT_EQ(jb.ListBox1().size(), 2u);
  EXPECT_EQ(jb.pathIndex(), -1);
  EXPECT_FALSE(jb.Timer1Enabled());
  EXPECT_TRUE(Silent(render(100)));
}

TEST_F(JukeboxTest, ClearEmptiesTheListsAndTheMusicPlaysOn) {
  jb.WMDropFiles({tone("a.wav", 44100)});
  jb.ListBox2Click(0);
  jb.VymazatClick();
  EXPECT_TRUE(jb.ListBox1().empty());
  EXPECT_TRUE(jb.ListBox2().empty());
  EXPECT_EQ(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);
  EXPECT_GT(Peak(render(100)), 0);
}

TEST_F(JukeboxTest, PlaylistsLoadAndSaveThroughTheirDialogs) {
  const std::string a = tone("a.wav");
  const std::string b = tone("b.wav");
  jb.WMDropFiles({b, a});

  fake.saveAnswers = {FileDialogResult{tmp.file("out.txt"), 2}, FileDialogResult{tmp.file("out.txt"), 1}};
  jb.UlozitClick();
  jb.UlozitClick();
  const auto saves = fake.callsOf("save");
  ASSERT_EQ(saves.size(), 2u);
  EXPECT_EQ(saves[0].caption, "Save PlayList");
  EXPECT_EQ(saves[0].text, "Plinq PlayList|*.PQL|WinAmp PlayList|*.M3U");
  EXPECT_EQ(tmp.read("out.M3U"), a + "\r\n" + b + "\r\n");
  EXPECT_TRUE(FileExists(tmp.file("out.PQL")));

  jb.VymazatClick();
  fake.openAnswers = {FileDialogResult{tmp.file("out.PQL"), 1}, std::nullopt};
  jb.NacistClick();
  const auto opens = fake.callsOf("open");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].caption, "Load PlayList");
  EXPECT_EQ(opens[0].text, "Plinq PlayList|*.PQL|WinAmp PlayList|*.M3U|Any File|*.*");
  EXPECT_THAT(jb.ListBox1(), ElementsAre(a, b));
  EXPECT_THAT(jb.ListBox2(), ElementsAre("a.wav", "b.wav"));
  jb.NacistClick();  // cancelled: the list stays
  EXPECT_EQ(jb.ListBox1().size(), 2u);
}

TEST_F(JukeboxTest, AConsoleLoadReplacesTheListAndABrokenOneLeavesIt) {
  jb.WMDropFiles({tone("old.wav")});
  const std::string c = tone("c.wav");
  const std::string a = tone("a.wav");
  jb.LoadPlaylistFile(tmp.write("music.m3u", c + "\r\n" + a + "\r\n"));
  EXPECT_THAT(jb.ListBox1(), ElementsAre(a, c));
  EXPECT_THAT(jb.ListBox2(), ElementsAre("a.wav", "c.wav"));

  const std::string broken = tmp.write("broken.pls", "[playlist]\r\nNumberOfEntries=many\r\n");
  EXPECT_THROW(jb.LoadPlaylistFile(broken), ConvertError);
  EXPECT_THAT(jb.ListBox1(), ElementsAre(a, c));
}

// --- The advance ---

TEST_F(JukeboxTest, AnEmptyListGivesNothingToPlay) {
  jb.setTimer1Enabled(true);
  jb.DalsiClick();
  jb.Timer1Timer();
  EXPECT_TRUE(jb.Timer1Enabled());  // in order: the advance stays on
  jb.NahodneClick();
  ASSERT_TRUE(jb.Nahodne());
  jb.Timer1Timer();
  EXPECT_FALSE(jb.Timer1Enabled());  // random: it goes off
  jb.setTimer1Enabled(true);
  jb.AppEventsMessage(kMsgPlayRandom);
  EXPECT_FALSE(jb.Timer1Enabled());
  EXPECT_TRUE(audio.callsOf("StreamCreateFile").empty());
  EXPECT_TRUE(audio.callsOf("MusicLoad").empty());
}

TEST_F(JukeboxTest, InOrderTheFirstFollowsTheLastAndNothingSelectedStartsAtTheFirst) {
  jb.WMDropFiles({tone("c.wav"), tone("a.wav"), tone("b.wav")});
  jb.DalsiClick();
  EXPECT_EQ(playing(), "a.wav");
  jb.Timer1Timer();  // still playing: nothing happens
  EXPECT_EQ(audio.callsOf("StreamCreateFile").size(), 1u);
  finish();
  jb.Timer1Timer();
  EXPECT_EQ(playing(), "b.wav");

  jb.ListBox2Click(2);
  EXPECT_EQ(playing(), "c.wav");
  finish();
  jb.Timer1Timer();
  EXPECT_EQ(playing(), "a.wav");
  EXPECT_EQ(jb.titleIndex(), 0);
  EXPECT_EQ(engine.ChannelIsActive(jb.Channel()), audio::kActivePlaying);

  // A disabled advance does not tick.
  finish();
  jb.setTimer1Enabled(false);
  jb.Timer1Timer();
  EXPECT_EQ(playing(), "a.wav");
}

TEST_F(JukeboxTest, RandomChoosesAmongThePlayableEntries) {
  jb.WMDropFiles({missing("a.wav"), tone("b.wav"), missing("c.wav"), tone("d.wav")});
  std::vector<int> asked;
  int answer = 1;
  jb.setRandomSource([&](int count) {
    asked.push_back(count);
    return answer;
  });
  jb.NahodneClick();
  jb.DalsiClick();
  EXPECT_EQ(playing(), "d.wav");
  EXPECT_EQ(jb.titleIndex(), 3);
  EXPECT_TRUE(jb.Timer1Enabled());
  answer = 0;
  finish();
  jb.Timer1Timer();
  EXPECT_EQ(playing(), "b.wav");
  EXPECT_THAT(asked, ElementsAre(2, 2));

  // 1033 goes in order whatever the mode; 1025 by the mode.
  jb.AppEventsMessage(kMsgPlayNextInOrder);
  EXPECT_EQ(jb.titleIndex(), 2);  // missing: selected, not played
  EXPECT_EQ(playing(), "c.wav");
  EXPECT_EQ(audio.callsOf("StreamCreateFile").size(), 2u);
  answer = 1;
  jb.AppEventsMessage(kMsgPlayNext);
  EXPECT_EQ(playing(), "d.wav");
}

TEST_F(JukeboxTest, AListOfMissingEntriesCyclesInOrderAndStopsRandom) {
  jb.WMDropFiles({missing("a.mp3"), missing("b.mp3"), missing("c.mp3")});
  int asked = 0;
  jb.setRandomSource([&](int) { return ++asked, 0; });
  jb.setTimer1Enabled(true);
  std::vector<int> selected;
  for (int i = 0; i < 4; ++i) {
    jb.Timer1Timer();
    selected.push_back(jb.titleIndex());
  }
  EXPECT_THAT(selected, ElementsAre(0, 1, 2, 0));
  EXPECT_TRUE(jb.Timer1Enabled());
  EXPECT_TRUE(audio.callsOf("StreamCreateFile").empty());
  EXPECT_TRUE(fake.textsOf("info").empty());

  jb.NahodneClick();
  jb.Timer1Timer();
  EXPECT_FALSE(jb.Timer1Enabled());
  EXPECT_EQ(asked, 0);
  ASSERT_FALSE(console.Lines().empty());
  EXPECT_THAT(console.Lines().back(), HasSubstr("No playable entry"));
  EXPECT_TRUE(audio.callsOf("StreamCreateFile").empty());

  // Without a console it stops all the same.
  Jukebox quiet(audio);
  quiet.WMDropFiles({missing("a.mp3")});
  quiet.setTimer1Enabled(true);
  quiet.PlayRandom();
  EXPECT_FALSE(quiet.Timer1Enabled());
}

// --- Queries ---

TEST_F(JukeboxTest, PositionsAndLengthsInMilliseconds) {
  jb.PlayFile(tone("second.wav", 44100));
  EXPECT_EQ(jb.SongLength(), 176400);
  EXPECT_EQ(jb.GetSongLen(), 1000);
  EXPECT_EQ(jb.GetSongPos(), 0);
  render(4410);
  EXPECT_EQ(jb.GetSongPos(), 100);
  jb.SetSongPos(500);
  EXPECT_EQ(jb.GetSongPos(), 500);
  render(4410);
  EXPECT_EQ(jb.GetSongPos(), 600);
  jb.SetSongPos(250);
  EXPECT_EQ(engine.ChannelGetPosition(jb.Channel()), 44100u);
}

// --- Effects, wave and meters ---

TEST_F(JukeboxTest, SoftwareSwitchesHookTheirProcessorsAndResetThem) {
  jb.PlayFile(tone("a.wav", 44100, 10000, 10000));
  const Handle ch = jb.Channel();
  audio.clear();

  jb.switches().Rotates = true;
  jb.RotatesClick();
  EXPECT_THAT(audio.calls, ElementsAre("ChannelSetDSP"));
  EXPECT_EQ(audio.channels[0], ch);
  const Handle hook = jb.rotationHook();
  ASSERT_NE(hook, 0u);
  EXPECT_FLOAT_EQ(static_cast<float>(jb.rotationProcessor().phase), 0.7853981f);
  // The hook runs the processor on the channel's sound: both sides at sin
  // and cos of pi/4.
  const auto sound = render(100);
  EXPECT_NEAR(sound[0], 7071, 2);
  EXPECT_NEAR(sound[1], 7071, 2);
  EXPECT_GT(jb.rotationProcessor().phase, 0.7853981L + 0.0029L);

  audio.clear();
  jb.switches().Rotates = false;
  jb.RotatesClick();
  EXPECT_THAT(audio.calls, ElementsAre("ChannelRemoveDSP " + std::to_string(hook)));
  EXPECT_EQ(jb.rotationHook(), 0u);
  EXPECT_EQ(render(1)[0], 10000);

  // Switched on again, it starts from its start values.
  jb.switches().Rotates = true;
  jb.RotatesClick();
  EXPECT_FLOAT_EQ(static_cast<float>(jb.rotationProcessor().phase), 0.7853981f);

  // Echo and flanger likewise.
  jb.switches().Echos = jb.switches().Flanger = true;
  jb.EchosClick();
  jb.FlangerClick();
  render(600);
  EXPECT_NE(jb.echoProcessor().position, 0);
  EXPECT_NE(jb.flangerProcessor().position, 0);
  jb.switches().Echos = jb.switches().Flanger = false;
  jb.EchosClick();
  jb.FlangerClick();
  EXPECT_EQ(jb.echoHook(), 0u);
  EXPECT_EQ(jb.flangerHook(), 0u);
  jb.switches().Echos = jb.switches().Flanger = true;
  jb.EchosClick();
  jb.FlangerClick();
  EXPECT_EQ(jb.echoProcessor().position, 0);
  EXPECT_EQ(jb.flangerProcessor().position, 0);
  EXPECT_DOUBLE_EQ(static_cast<double>(jb.flangerProcessor().sweep), 175.0);
}

TEST_F(JukeboxTest, TheWaveAndMetersFollowWhatPlays) {
  const auto flat = [](const std::vector<std::pair<int, int>>& points, int y) {
    return std::all_of(points.begin(), points.end(), [y](const auto& p) { return p.second == y; });
  };
  jb.Timer3Timer(305, 145);
  ASSERT_EQ(jb.wavePoints().size(), 306u);
  EXPECT_TRUE(flat(jb.wavePoints(), 72));
  EXPECT_EQ(jb.meters(), VULevel{});

  jb.PlayFile(tone("a.wav", 44100, 16000, 8000));
  render(1024);
  jb.Timer3Timer(305, 145);
  // (16000 + 8000) / 64000 * 145 = 54.375 below the middle.
  EXPECT_TRUE(flat(jb.wavePoints(), 54 + 72));
  EXPECT_EQ(jb.meters(), (VULevel{62, 31}));

  // The wave needs the advance on; the meters do not.
  jb.setTimer1Enabled(false);
  jb.Timer3Timer(305, 145);
  EXPECT_TRUE(flat(jb.wavePoints(), 72));
  EXPECT_EQ(jb.meters(), (VULevel{62, 31}));
}

// --- Remote control ---

TEST_F(JukeboxTest, RemoteMessagesDoWhatTheMenuDoes) {
  jb.InstallMessageHook();
  ASSERT_TRUE(fake.remoteHandler);
  jb.WMDropFiles({tone("a.wav", 44100), tone("b.wav", 44100)});
  jb.setRandomSource([](int) { return 1; });

  struct Case {
    int message;
    bool random;
    bool playingBefore;    // the first entry plays when the message comes
    const char* selected;  // the entry selected after it, "-" for none
    bool sounds;
    bool advance;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {1025, false, false, "a.wav", true, true, {}},
      {1025, true, false, "b.wav", true, true, {}},
      {1026, false, true, "a.wav", false, false, {}},
      {1027, false, true, "a.wav", true, true, {"minimize"}},
      {1028, false, true, "a.wav", true, true, {"restore"}},
      {1029, false, false, "-", false, false, {}},
      {1030, false, false, "-", false, false, {}},
      {1031, false, false, "b.wav", true, true, {}},
      {1033, true, false, "a.wav", true, true, {}},
      {1034, false, true, "a.wav", true, true, {"close"}},
      {1024, false, false, "-", false, false, {}},
      {1035, false, false, "-", false, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    jb.ZastavitClick();
    jb.VymazatClick();
    jb.WMDropFiles({tmp.file("a.wav"), tmp.file("b.wav")});
    if (jb.Nahodne() != c.random) jb.NahodneClick();
    if (c.playingBefore) jb.ListBox2Click(0);
    view.events.clear();
    fake.remoteHandler(c.message);
    EXPECT_EQ(playing(), c.selected);
    EXPECT_EQ(engine.ChannelIsActive(jb.Channel()) == audio::kActivePlaying, c.sounds);
    EXPECT_EQ(jb.Timer1Enabled(), c.advance);
    EXPECT_EQ(view.events, c.events);
  }
}

TEST_F(JukeboxTest, RemoteSoundFromTheRegistryIsPlayedOnceAndTheValueDeleted) {
  jb.InstallMessageHook();
  const std::string click = tone("Click.WAV", 441);
  struct Case {
    const char* name;
    std::optional<std::string> value;
    bool plays;
  };
  const Case cases[] = {
      {"no value", std::nullopt, false},
      {"blank", "   ", false},
      {"missing file", "  " + missing("none.wav") + " ", false},
      // Lower-cased and trimmed; the lookup finds the file whatever its case.
      {"existing file", "  " + AsciiUpper(click) + "  ", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.calls.clear();
    if (c.value) fake.writeRegistryValue("HKEY_LOCAL_MACHINE", "SOFTWARE\\Tarnwick", "reg", *c.value);
    audio.clear();
    fake.remoteHandler(1032);
    if (c.plays) {
      EXPECT_THAT(audio.callsOf("Sample"), ElementsAre("SampleLoad 0 " + AsciiLower(click) + " 0 0 255 20008",
                                                       "SamplePlayEx 0 -1 200 50 0"));
      EXPECT_NE(jb.LastSample(), 0u);
      EXPECT_GT(Peak(render(100)), 0);
    } else {
      EXPECT_TRUE(audio.callsOf("Sample").empty());
    }
    EXPECT_EQ(fake.registryValue("HKEY_LOCAL_MACHINE", "SOFTWARE\\Tarnwick", "reg"), std::nullopt);
    EXPECT_EQ(fake.callsOf("reg-delete").size(), 1u);
  }
}

}  // namespace
}  // namespace pagemoor
