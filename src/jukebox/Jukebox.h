// The jukebox: the logic behind the window TPlinq_Main. It owns the one music
// channel, the path list with its titles, the automatic advance, the volume,
// the effect switches, the wave display's data and the remote control. The
// window forwards its events here and draws what this says; timers are ticks
// (Timer1Timer, Timer3Timer) that the window's QTimers call.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "audio/AudioEngine.h"
#include "jukebox/SoftwareEffects.h"
#include "platform/Platform.h"

namespace pagemoor {

class LogSink;

// The engine calls the jukebox makes, each forwarded to the engine as it is.
// They are virtual so that a test can record the order of the calls.
class JukeboxAudio {
 public:
  explicit JukeboxAudio(audio::AudioEngine& engine) : m_engine(engine) {}
  virtual ~JukeboxAudio() = default;
  JukeboxAudio(const JukeboxAudio&) = delete;
  JukeboxAudio& operator=(const JukeboxAudio&) = delete;

  audio::AudioEngine& engine() { return m_engine; }

  virtual bool Init(int device, int frequency, std::uint32_t flags, void* window) {
    return m_engine.Init(device, frequency, flags, window);
  }
  virtual bool Start() { return m_engine.Start(); }
  virtual bool Stop() { return m_engine.Stop(); }
  virtual bool Free() { return m_engine.Free(); }
  virtual bool SetGlobalVolumes(int music, int sample, int stream) {
    return m_engine.SetGlobalVolumes(music, sample, stream);
  }
  virtual audio::Handle StreamCreateFile(bool mem, const std::string& file, std::uint64_t offset,
                                         std::uint64_t length, std::uint32_t flags) {
    return m_engine.StreamCreateFile(mem, file, offset, length, flags);
  }
  virtual audio::Handle MusicLoad(bool mem, const std::string& file, std::uint64_t offset,
                                  std::uint64_t length, std::uint32_t flags) {
    return m_engine.MusicLoad(mem, file, offset, length, flags);
  }
  virtual bool MusicFree(audio::Handle module) { return m_engine.MusicFree(module); }
  virtual bool StreamFree(audio::Handle stream) { return m_engine.StreamFree(stream); }
  virtual bool MusicPlayEx(audio::Handle module, std::uint32_t pos, std::uint32_t flags, bool reset) {
    return m_engine.MusicPlayEx(module, pos, flags, reset);
  }
  virtual bool StreamPlay(audio::Handle stream, bool flush, std::uint32_t flags) {
    return m_engine.StreamPlay(stream, flush, flags);
  }
  virtual bool ChannelStop(audio::Handle channel) { return m_engine.ChannelStop(channel); }
  virtual int ChannelIsActive(audio::Handle channel) { return m_engine.ChannelIsActive(channel); }
  virtual std::uint64_t StreamGetLength(audio::Handle stream) { return m_engine.StreamGetLength(stream); }
  virtual std::uint64_t MusicGetLength(audio::Handle module, bool playlen) {
    return m_engine.MusicGetLength(module, playlen);
  }
  virtual std::uint64_t ChannelGetPosition(audio::Handle channel) {
    return m_engine.ChannelGetPosition(channel);
  }
  virtual bool ChannelSetPosition(audio::Handle channel, std::uint64_t bytes) {
    return m_engine.ChannelSetPosition(channel, bytes);
  }
  virtual double ChannelBytes2Seconds(audio::Handle channel, std::uint64_t bytes) {
    return m_engine.ChannelBytes2Seconds(channel, bytes);
  }
  virtual std::uint64_t ChannelSeconds2Bytes(audio::Handle channel, float seconds) {
    return m_engine.ChannelSeconds2Bytes(channel, seconds);
  }
  virtual audio::Handle ChannelSetFX(audio::Handle channel, int type) {
    return m_engine.ChannelSetFX(channel, type);
  }
  virtual bool ChannelRemoveFX(audio::Handle channel, int type) {
    return m_engine.ChannelRemoveFX(channel, type);
  }
  virtual audio::Handle ChannelSetDSP(audio::Handle channel, audio::DspProc proc, void* user) {
    return m_engine.ChannelSetDSP(channel, std::move(proc), user);
  }
  virtual bool ChannelRemoveDSP(audio::Handle channel, audio::Handle dsp) {
    return m_engine.ChannelRemoveDSP(channel, dsp);
  }
  virtual bool ChannelSet3DAttributes(audio::Handle channel, int mode, float min, float max, int iangle,
                                      int oangle, int outvol) {
    return m_engine.ChannelSet3DAttributes(channel, mode, min, max, iangle, oangle, outvol);
  }
  virtual bool ChannelSetEAXMix(audio::Handle channel, float mix) {
    return m_engine.ChannelSetEAXMix(channel, mix);
  }
  virtual bool Apply3D() { return m_engine.Apply3D(); }
  virtual int ChannelGetData(audio::Handle channel, void* buffer, std::uint32_t length) {
    return m_engine.ChannelGetData(channel, buffer, length);
  }
  virtual std::uint32_t ChannelGetLevel(audio::Handle channel) { return m_engine.ChannelGetLevel(channel); }
  virtual audio::Handle SampleLoad(bool mem, const std::string& file, std::uint64_t offset,
                                   std::uint64_t length, int max, std::uint32_t flags) {
    return m_engine.SampleLoad(mem, file, offset, length, max, flags);
  }
  virtual audio::Handle SamplePlayEx(audio::Handle sample, std::uint32_t start, int freq, int volume, int pan,
                                     bool loop) {
    return m_engine.SamplePlayEx(sample, start, freq, volume, pan, loop);
  }
  virtual bool SampleFree(audio::Handle sample) { return m_engine.SampleFree(sample); }

 private:
  audio::AudioEngine& m_engine;
};

// What the jukebox asks of its window.
class JukeboxView {
 public:
  virtual ~JukeboxView() = default;
  // Something the window shows changed: the lists or their selections, the
  // random mode's check mark, the advance (Timer1), the title mask.
  virtual void jukeboxChanged() = 0;
  // "Zavřít" and message 1034: hide the window; the music plays on.
  virtual void closeWindow() = 0;
  // Messages 1027 and 1028.
  virtual void minimizeApplication() = 0;
  virtual void restoreApplication() = 0;
  // The audio engine cannot start: end the program once its event loop runs.
  virtual void terminateApplication() = 0;
};

// Remote-control messages: WM_USER (1024) plus 1 to 10.
inline constexpr int kWmUser = 1024;
inline constexpr int kMsgPlayNext = kWmUser + 1;
inline constexpr int kMsgStop = kWmUser + 2;
inline constexpr int kMsgMinimize = kWmUser + 3;
inline constexpr int kMsgRestore = kWmUser + 4;
inline constexpr int kMsgShown = kWmUser + 5;  // posted to the core peer at each showing
inline constexpr int kMsgPlayRandom = kWmUser + 7;
inline constexpr int kMsgPlayRegistrySound = kWmUser + 8;
inline constexpr int kMsgPlayNextInOrder = kWmUser + 9;
inline constexpr int kMsgClose = kWmUser + 10;

// Message 1032's value: a full path whose last step is the value name.
inline constexpr const char* kRemoteSoundRoot = "HKEY_LOCAL_MACHINE";
inline constexpr const char* kRemoteSoundValue = "SOFTWARE\\Tarnwick\\reg";

inline constexpr const char* kNotFoundTitle = "< Not Found >";

// The add dialog (Open1) and the playlist dialogs.
inline constexpr const char* kOpen1Filter =
    "All Supported Files|*.mo3;*.xm;*.mod;*.s3m;*.it;*.mtm;*.wav;*.mp3;*.pql;*.m3u;*.pls"
    "|Modules|*.mo3;*.xm;*.mod;*.s3m;*.it;*.mtm|Streaming Files|*.wav;*.mp3"
    "|PlayLists|*.PQL;*.M3U;*.PLS|All files|*.*";
inline constexpr const char* kListLoadCaption = "Load PlayList";
inline constexpr const char* kListLoadFilter = "Plinq PlayList|*.PQL|WinAmp PlayList|*.M3U|Any File|*.*";
inline constexpr const char* kListSaveCaption = "Save PlayList";
inline constexpr const char* kListSaveFilter = "Plinq PlayList|*.PQL|WinAmp PlayList|*.M3U";

// The wave display takes 2048 bytes of sound: 512 stereo frames.
inline constexpr int kWaveFrames = 512;

// The window's scale in percent for a screen this many pixels wide:
// (W - 800) / 800 * 100 rounded to the nearest integer, ties to even, plus
// 100. 800 gives 100 (no scaling), 1024 gives 128.
int ScreenScaleFactor(int screenWidth);

// The order of the path list: byte order of the paths with ASCII letters
// folded to lower case (the old list box sorted case-insensitively by the
// system's locale; bytes keep it the same on every machine).
bool PathListLess(const std::string& a, const std::string& b);

// The check boxes of the group "Efekty".
struct JukeboxSwitches {
  // Effects of the engine, by type; they take effect with the next PlayFile.
  bool Echo = false;      // type 3
  bool Flange = false;    // type 4
  bool Reverb = false;    // type 8
  bool Chorus = false;    // type 0
  bool Gargle = false;    // type 5
  bool Surround = false;  // modules start in surround mode 2
  // The jukebox's own processors; their click handlers act at once.
  bool Echos = false;
  bool Flanger = false;
  bool Rotates = false;
};

struct VULevel {
  int left = 0;
  int right = 0;
  bool operator==(const VULevel&) const = default;
};

class Jukebox {
 public:
  // A whole number in 0 .. count - 1 (count >= 1).
  using RandomSource = std::function<int(int count)>;
  // Runs the add dialog; the chosen files, or nothing when cancelled.
  using FilesDialog =
      std::function<std::optional<std::vector<std::string>>(const FileDialogOptions& options)>;

  // log: where the jukebox logs what it cannot do; may be null.
  explicit Jukebox(JukeboxAudio& audio, LogSink* log = nullptr);
  // Takes its processors off the channel: they belong to this object.
  ~Jukebox();
  Jukebox(const Jukebox&) = delete;
  Jukebox& operator=(const Jukebox&) = delete;

  void setView(JukeboxView* view) { m_view = view; }
  // Tests pick the random entries; the default is seeded from the time of day.
  void setRandomSource(RandomSource source);
  // The add dialog; the default asks platform() for one file.
  void setFilesDialog(FilesDialog dialog);
  // One file from platform().openFileDialog.
  static std::optional<std::vector<std::string>> PlatformFilesDialog(const FileDialogOptions& options);

  // --- Start, showing, end ---
  // Creation steps of the logic: clear the processors' handles, start the
  // engine (Init(-1, 44100, 0, window), Start), apply the volume and refresh
  // the titles. When the engine cannot start: numbered message 2, the view
  // terminates the application, false.
  bool FormCreate(void* window);
  // Listens for remote-control messages (the last creation step).
  void InstallMessageHook();
  // Copies the mask from ID3DEF into ID3Mask, refreshes the titles and tells
  // the core peer the jukebox is shown (message 1029).
  void FormShow();
  // Stop, StreamFree(Channel), Free. The advance goes off with it: there is
  // nothing left to advance to.
  void ShutdownAudio();

  // --- Playing ---
  void PlayFile(const std::string& path);
  // Plays the file once over the music; the callers test that it exists.
  void PlaySample(const std::string& path);
  // Stop: the advance goes off and the channel is released.
  void ZastavitClick();
  // Timer1 (100 ms while the advance is on): the next entry once nothing plays.
  void Timer1Timer();
  // "Hrát Další" and message 1025: random or in order by the mode.
  void PlayNext();
  void DalsiClick() { PlayNext(); }
  void PlayNextInOrder();
  void PlayRandom();
  // A click on the title list at that row.
  void ListBox2Click(int index);
  // Plays the selected path unless its title marks it missing.
  void ListBox1Click();

  bool Timer1Enabled() const { return m_timer1; }
  // The viewer turns the advance on when its window is first shown.
  void setTimer1Enabled(bool enabled);

  // --- The lists ---
  const std::vector<std::string>& ListBox1() const { return m_paths; }
  const std::vector<std::string>& ListBox2() const { return m_titles; }
  int pathIndex() const { return m_pathIndex; }
  int titleIndex() const { return m_titleIndex; }
  // Changes whenever the contents of the lists change.
  std::uint64_t listsVersion() const { return m_listsVersion; }

  // "Přidat": the add dialog's files, playlists expanded, added in order.
  void PridatClick();
  // "Odebrat": stop, then remove the selected path.
  void OdebratClick();
  // "Vymazat": empties the list; the music plays on.
  void VymazatClick();
  // "Náhodný Výběr".
  void NahodneClick();
  bool Nahodne() const { return m_random; }
  // "Zavřít".
  void ZavritClick();
  // "Načíst" and "Uložit".
  void NacistClick();
  void UlozitClick();
  // Files dropped on the window, added as they are.
  void WMDropFiles(const std::vector<std::string>& paths);
  // Replaces the path list by a playlist's entries and refreshes the titles
  // (also the console's "load_music_list"). A count that is no integer throws
  // ConvertError and leaves the list as it was. A list the reader chose
  // (readersOwn) may name files anywhere; a magazine's only its own.
  void LoadPlaylistFile(const std::string& name, bool readersOwn = false);
  // The title list anew from the path list.
  void RefreshTitles();

  // --- Volume ---
  // The slider's position, 0 (top, full volume) .. 100.
  int volumePosition() const { return m_volumePosition; }
  void setVolumePosition(int position) { m_volumePosition = position; }
  // v = 100 - 2 x position for music, samples and streams.
  void tbSoundsChange();

  // --- Queries ---
  int GetSongPos();
  void SetSongPos(int milliseconds);
  int GetSongLen();
  VULevel GetVULevel();

  audio::Handle Channel() const { return m_channel; }
  audio::Handle LastSample() const { return m_lastSample; }
  std::int32_t SongLength() const { return m_songLength; }

  // --- Effects ---
  JukeboxSwitches& switches() { return m_switches; }
  const JukeboxSwitches& switches() const { return m_switches; }
  // Ticked: reset the processor and hook it onto the channel; unticked: take
  // the kept hook off.
  void EchosClick();
  void FlangerClick();
  void RotatesClick();
  const EchoProcessor& echoProcessor() const { return m_echo; }
  const FlangerProcessor& flangerProcessor() const { return m_flanger; }
  const RotationProcessor& rotationProcessor() const { return m_rotation; }
  audio::Handle echoHook() const { return m_echoDsp; }
  audio::Handle flangerHook() const { return m_flangerDsp; }
  audio::Handle rotationHook() const { return m_rotationDsp; }

  // --- Wave display and meters ---
  // Timer3 (every 50 ms): the wave's points for a display of this size and
  // the meters' levels.
  void Timer3Timer(int width, int height);
  const std::vector<std::pair<int, int>>& wavePoints() const { return m_wavePoints; }
  VULevel meters() const { return m_meters; }
  // 512 frames of the channel's sound while the advance is on, else silence.
  const std::array<std::int16_t, kWaveFrames * 2>& GetWaveBuffer();

  // --- Title mask ---
  const std::string& ID3DEF() const { return m_id3Def; }
  const std::string& ID3Mask() const { return m_id3Mask; }
  // The edit changed: the text goes back into ID3DEF.
  void ID3MaskChange(const std::string& text);

  // --- Remote control ---
  void AppEventsMessage(int message);

 private:
  void changed();
  void setTimer1(bool enabled);
  void addPaths(const std::vector<std::string>& paths);
  void releaseFinishedSamples();
  void switchProcessor(bool ticked, audio::Handle& hook, const std::function<void()>& reset,
                       audio::DspProc proc);
  void log(const std::string& text);

  JukeboxAudio& m_audio;
  LogSink* m_log;
  JukeboxView* m_view = nullptr;
  RandomSource m_randomSource;
  FilesDialog m_filesDialog;

  audio::Handle m_channel = 0;
  bool m_module = false;
  audio::Handle m_lastSample = 0;
  std::int32_t m_songLength = 0;
  // Samples with their latest playback, freed once that has ended.
  std::vector<std::pair<audio::Handle, audio::Handle>> m_samples;

  std::vector<std::string> m_paths;
  std::vector<std::string> m_titles;
  int m_pathIndex = -1;
  int m_titleIndex = -1;
  std::uint64_t m_listsVersion = 0;
  bool m_random = false;
  bool m_timer1 = false;
  bool m_inTimer1 = false;
  int m_volumePosition = 0;

  JukeboxSwitches m_switches;
  EchoProcessor m_echo;
  FlangerProcessor m_flanger;
  RotationProcessor m_rotation;
  audio::Handle m_echoDsp = 0;
  audio::Handle m_flangerDsp = 0;
  audio::Handle m_rotationDsp = 0;

  std::array<std::int16_t, kWaveFrames * 2> m_waveBuffer{};
  std::vector<std::pair<int, int>> m_wavePoints;
  VULevel m_meters;

  std::string m_id3Def;
  std::string m_id3Mask;

  Platform* m_hookPlatform = nullptr;
};

}  // namespace pagemoor
