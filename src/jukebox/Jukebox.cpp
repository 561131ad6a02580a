#include "jukebox/Jukebox.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <random>

#include "common/HostPaths.h"
#include "common/MagazineFiles.h"
#include "common/Strings.h"
#include "common/LogSink.h"
#include "jukebox/Playlists.h"
#include "jukebox/Titles.h"
#include "platform/Dialogs.h"

namespace pagemoor {

namespace {

constexpr std::uint32_t kKeepFlags = 0xFFFFFFFF;
constexpr std::uint32_t kStreamFlags = audio::kMp3SetPos | audio::kSampleFx;      // 0x20080
constexpr std::uint32_t kModuleFlags = audio::kMusicFx | audio::kMusicRamp;       // 0x1001
constexpr std::uint32_t kSampleFlags = audio::kSampleOverPos | audio::kSample3D;  // 0x20008

// Effect types removed from every new channel, then the ticked ones added.
constexpr int kRemovedEffects[] = {3, 4, 0, 1, 2, 5, 6, 7, 8};
constexpr int kEchoFx = 3, kFlangeFx = 4, kChorusFx = 0, kGargleFx = 5, kReverbFx = 8;

// Seeded anew from the time of day (hours, minutes, seconds, milliseconds),
// as each random choice was.
int TimeOfDayRandom(int count) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const auto seed =
      static_cast<std::uint32_t>(((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + ms);
  std::mt19937 generator(seed);
  return std::uniform_int_distribution<int>(0, count - 1)(generator);
}

// Milliseconds from seconds as the engine converts them: truncated, never
// below 0 (a failed conversion gives -1 seconds).
int Milliseconds(double seconds) {
  const double ms = static_cast<double>(static_cast<float>(seconds)) * 1000.0;
  if (!(ms > 0)) return 0;
  if (ms >= 2147483647.0) return 2147483647;
  return static_cast<int>(ms);
}

// A hook that hands the channel's 16-bit stereo frames to a processor.
template <typename Processor>
audio::DspProc HookOf(Processor& processor) {
  return [&processor](audio::Handle, audio::Handle, void* buffer, std::uint32_t length, void*) {
    processor.process(static_cast<std::int16_t*>(buffer), length / 4);
  };
}

}  // namespace

int ScreenScaleFactor(int screenWidth) {
  // (W - 800) / 800 * 100 is (W - 800) / 8, exact in a double, so a tie is a
  // true tie; nearbyint rounds it to even.
  return static_cast<int>(std::nearbyint((screenWidth - 800) / 8.0)) + 100;
}

bool PathListLess(const std::string& a, const std::string& b) {
  return AsciiLower(a) < AsciiLower(b);
}

Jukebox::Jukebox(JukeboxAudio& audio, LogSink* log)
    : m_audio(audio),
      m_log(log),
      m_randomSource(TimeOfDayRandom),
      m_filesDialog(PlatformFilesDialog),
      m_id3Def(kDefaultTitleMask),
      m_id3Mask(kDefaultTitleMask) {}

Jukebox::~Jukebox() {
  for (audio::Handle* hook : {&m_echoDsp, &m_flangerDsp, &m_rotationDsp})
    if (*hook) m_audio.ChannelRemoveDSP(m_channel, *hook);
  if (m_hookPlatform && &platform() == m_hookPlatform)
    m_hookPlatform->listenForRemoteMessages(kPagemoorRemoteName, [](int) {});
}

void Jukebox::setRandomSource(RandomSource source) {
  m_randomSource = source ? std::move(source) : RandomSource(TimeOfDayRandom);
}

void Jukebox::setFilesDialog(FilesDialog dialog) {
  m_filesDialog = dialog ? std::move(dialog) : FilesDialog(PlatformFilesDialog);
}

std::optional<std::vector<std::string>> Jukebox::PlatformFilesDialog(const FileDialogOptions& options) {
  const std::optional<FileDialogResult> chosen = platform().openFileDialog(options);
  if (!chosen) return std::nullopt;
  return std::vector<std::string>{chosen->path};
}

void Jukebox::changed() {
  if (m_view) m_view->jukeboxChanged();
}

void Jukebox::log(const std::string& text) {
  if (m_log) m_log->Log("Jukebox", text);
}

void Jukebox::setTimer1(bool enabled) {
  if (m_timer1 == enabled) return;
  m_timer1 = enabled;
  changed();
}

void Jukebox::setTimer1Enabled(bool enabled) {
  setTimer1(enabled);
}

// --- Start, showing, end ---

bool Jukebox::FormCreate(void* window) {
  m_echoDsp = m_flangerDsp = m_rotationDsp = 0;
  if (!m_audio.Init(-1, 44100, 0, window)) {
    ShowNumberedMessage(2, "BASS initialization ERROR, terminating");
    if (m_view) m_view->terminateApplication();
    return false;
  }
  m_audio.Start();
  tbSoundsChange();
  RefreshTitles();
  return true;
}

void Jukebox::InstallMessageHook() {
  Platform& p = platform();
  if (p.listenForRemoteMessages(kPagemoorRemoteName, [this](int message) { AppEventsMessage(message); }))
    m_hookPlatform = &p;
  else
    log("Remote control is not available");
}

void Jukebox::FormShow() {
  m_id3Mask = m_id3Def;
  changed();
  RefreshTitles();
  // Nobody may listen; the post then goes nowhere.
  platform().postRemoteMessage(kCorePeerName, kMsgShown);
}

void Jukebox::ShutdownAudio() {
  setTimer1(false);
  m_audio.Stop();
  m_audio.StreamFree(m_channel);
  m_audio.Free();
  m_samples.clear();
}

// --- Playing ---

void Jukebox::PlayFile(const std::string& path) {
  if (path.empty()) return;
  if (!FileExists(path)) {
    ShowNumberedMessage(1, "File %s doesn't exist", {ShownPath(path)});
    return;
  }
  m_audio.ChannelStop(m_channel);
  // The replaced channel is released at once, so that an evening of the
  // advance does not keep every song it played in memory. One of the two
  // applies; the other fails on the handle's kind.
  m_audio.MusicFree(m_channel);
  m_audio.StreamFree(m_channel);

  m_module = false;
  m_channel = m_audio.StreamCreateFile(false, path, 0, 0, kStreamFlags);
  if (m_channel == 0) {
    m_channel = m_audio.MusicLoad(false, path, 0, 0, kModuleFlags);
    m_module = true;
  }

  EchosClick();
  FlangerClick();
  RotatesClick();

  for (int type : kRemovedEffects) m_audio.ChannelRemoveFX(m_channel, type);
  if (m_switches.Echo) m_audio.ChannelSetFX(m_channel, kEchoFx);
  if (m_switches.Flange) m_audio.ChannelSetFX(m_channel, kFlangeFx);
  if (m_switches.Chorus) m_audio.ChannelSetFX(m_channel, kChorusFx);
  if (m_switches.Gargle) m_audio.ChannelSetFX(m_channel, kGargleFx);
  if (m_switches.Reverb) m_audio.ChannelSetFX(m_channel, kReverbFx);

  // Both are made for every channel; the one that does not fit its kind fails.
  m_audio.MusicPlayEx(m_channel, 0, m_switches.Surround ? audio::kMusicSurround2 : kKeepFlags, true);
  m_audio.StreamPlay(m_channel, false, audio::kMp3SetPos);

  setTimer1(true);

  m_audio.ChannelSet3DAttributes(m_channel, -1, 1.0f, 2.0f, -1, -1, -1);
  m_audio.ChannelSetEAXMix(m_channel, 1.0f);
  m_audio.Apply3D();

  const std::uint64_t length =
      m_module ? m_audio.MusicGetLength(m_channel, true) : m_audio.StreamGetLength(m_channel);
  m_songLength = static_cast<std::int32_t>(static_cast<std::uint32_t>(length));
}

void Jukebox::releaseFinishedSamples() {
  // A sample whose latest playback has ended is no longer heard; freeing it
  // keeps a magazine's click sounds from piling up until shutdown.
  std::erase_if(m_samples, [this](const std::pair<audio::Handle, audio::Handle>& s) {
    if (m_audio.ChannelIsActive(s.second) == audio::kActivePlaying) return false;
    m_audio.SampleFree(s.first);
    return true;
  });
}

void Jukebox::PlaySample(const std::string& path) {
  releaseFinishedSamples();
  m_lastSample = m_audio.SampleLoad(false, path, 0, 0, 255, kSampleFlags);
  const audio::Handle playback = m_audio.SamplePlayEx(m_lastSample, 0, -1, 200, 50, false);
  if (m_lastSample) m_samples.emplace_back(m_lastSample, playback);
}

void Jukebox::ZastavitClick() {
  setTimer1(false);
  m_audio.MusicFree(m_channel);
  m_audio.StreamFree(m_channel);
}

void Jukebox::Timer1Timer() {
  // A disabled timer does not fire; a message box shown while playing (a
  // missing file) runs its own event loop, in which the ticks go on and must
  // not stack another box on it.
  if (!m_timer1 || m_inTimer1) return;
  m_inTimer1 = true;
  if (m_audio.ChannelIsActive(m_channel) != audio::kActivePlaying) PlayNext();
  m_inTimer1 = false;
}

void Jukebox::PlayNext() {
  if (m_random)
    PlayRandom();
  else
    PlayNextInOrder();
}

void Jukebox::PlayNextInOrder() {
  const int count = static_cast<int>(m_titles.size());
  if (count == 0) return;
  ListBox2Click(m_titleIndex < 0 || m_titleIndex >= count - 1 ? 0 : m_titleIndex + 1);
}

void Jukebox::PlayRandom() {
  setTimer1(false);
  if (m_paths.empty()) return;
  // Choosing among the playable entries gives each of them the chance that
  // drawing over the whole list until one is playable gives, and it ends on
  // a list where none is.
  std::vector<int> playable;
  for (int i = 0; i < static_cast<int>(m_paths.size()); ++i)
    if (i < static_cast<int>(m_titles.size()) && !m_titles[i].starts_with('<')) playable.push_back(i);
  if (playable.empty()) {
    log("No playable entry in the music list; the advance stops");
    return;
  }
  const int pick =
      std::clamp(m_randomSource(static_cast<int>(playable.size())), 0, static_cast<int>(playable.size()) - 1);
  m_pathIndex = m_titleIndex = playable[pick];
  changed();
  PlayFile(m_paths[m_pathIndex]);
}

void Jukebox::ListBox2Click(int index) {
  if (index < 0 || index >= static_cast<int>(m_titles.size())) return;
  m_titleIndex = index;
  m_pathIndex = index;
  changed();
  ListBox1Click();
}

void Jukebox::ListBox1Click() {
  const int i = m_pathIndex;
  if (i < 0 || i >= static_cast<int>(m_paths.size()) || i >= static_cast<int>(m_titles.size())) return;
  if (m_titles[i].starts_with('<')) return;
  PlayFile(m_paths[i]);
}

// --- The lists ---

void Jukebox::addPaths(const std::vector<std::string>& paths) {
  const std::string selected = m_pathIndex >= 0 ? m_paths[m_pathIndex] : std::string();
  for (const std::string& path : paths) {
    // After entries that sort the same, as a sorted list box adds them.
    const auto at = std::upper_bound(m_paths.begin(), m_paths.end(), path, PathListLess);
    const int index = static_cast<int>(at - m_paths.begin());
    m_paths.insert(at, path);
    if (m_pathIndex >= index) ++m_pathIndex;
  }
  ++m_listsVersion;
}

void Jukebox::PridatClick() {
  FileDialogOptions options;
  options.filter = kOpen1Filter;
  const std::optional<std::vector<std::string>> chosen = m_filesDialog(options);
  if (!chosen) return;
  // The reader's own files may lie anywhere, and so may what a playlist of
  // the reader's names.
  for (const std::string& path : *chosen) AllowReaderChoice(path);
  // A playlist that fails to load costs only its own entries (not reported);
  // the other files are still added.
  const std::vector<std::string> entries = ExpandPlaylistFiles(*chosen);
  for (const std::string& entry : entries) AllowReaderChoice(entry);
  addPaths(entries);
  RefreshTitles();
}

void Jukebox::OdebratClick() {
  ZastavitClick();
  if (m_pathIndex < 0 || m_pathIndex >= static_cast<int>(m_paths.size())) return;
  m_paths.erase(m_paths.begin() + m_pathIndex);
  m_pathIndex = -1;
  ++m_listsVersion;
  RefreshTitles();
}

void Jukebox::VymazatClick() {
  m_paths.clear();
  m_pathIndex = -1;
  ++m_listsVersion;
  RefreshTitles();
}

void Jukebox::NahodneClick() {
  m_random = !m_random;
  changed();
}

void Jukebox::ZavritClick() {
  if (m_view) m_view->closeWindow();
}

void Jukebox::NacistClick() {
  FileDialogOptions options;
  options.caption = kListLoadCaption;
  options.filter = kListLoadFilter;
  const std::optional<FileDialogResult> chosen = platform().openFileDialog(options);
  if (!chosen) return;
  AllowReaderChoice(chosen->path);
  LoadPlaylistFile(chosen->path, true);
}

void Jukebox::UlozitClick() {
  FileDialogOptions options;
  options.caption = kListSaveCaption;
  options.filter = kListSaveFilter;
  const std::optional<FileDialogResult> chosen = platform().saveFileDialog(options);
  if (!chosen) return;
  AllowReaderChoice(ChangeFileExt(chosen->path, chosen->filterIndex == 2 ? ".M3U" : ".PQL"));
  if (chosen->filterIndex == 2)
    SavePlainPlaylist(ChangeFileExt(chosen->path, ".M3U"), m_paths);
  else
    SaveXmlPlaylist(ChangeFileExt(chosen->path, ".PQL"), m_paths);
}

void Jukebox::WMDropFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) AllowReaderChoice(path);
  addPaths(paths);
  RefreshTitles();
}

void Jukebox::LoadPlaylistFile(const std::string& name, bool readersOwn) {
  const std::vector<std::string> entries = ::pagemoor::LoadPlaylistFile(name);
  if (readersOwn)
    for (const std::string& entry : entries) AllowReaderChoice(entry);
  m_paths.clear();
  m_pathIndex = -1;
  addPaths(entries);
  RefreshTitles();
}

void Jukebox::RefreshTitles() {
  m_titles.clear();
  m_titleIndex = -1;
  for (const std::string& path : m_paths) {
    std::string title = TrimBlanks(TitleOf(m_audio.engine(), path, m_id3Mask));
    m_titles.push_back(title.empty() ? std::string(kNotFoundTitle) : std::move(title));
  }
  ++m_listsVersion;
  changed();
}

// --- Volume ---

void Jukebox::tbSoundsChange() {
  // Positions past the middle give values below 0, which the engine plays as
  // silence.
  const int v = 100 - 2 * m_volumePosition;
  m_audio.SetGlobalVolumes(v, v, v);
}

// --- Queries ---

int Jukebox::GetSongPos() {
  return Milliseconds(m_audio.ChannelBytes2Seconds(m_channel, m_audio.ChannelGetPosition(m_channel)));
}

void Jukebox::SetSongPos(int milliseconds) {
  const float seconds = static_cast<float>(milliseconds / 1000.0);
  m_audio.ChannelSetPosition(m_channel, m_audio.ChannelSeconds2Bytes(m_channel, seconds));
}

int Jukebox::GetSongLen() {
  // The length is signed: a failed length (-1) widens to the engine's "no
  // length" and converts to nothing.
  const auto bytes = static_cast<std::uint64_t>(static_cast<std::int64_t>(m_songLength));
  return Milliseconds(m_audio.ChannelBytes2Seconds(m_channel, bytes));
}

VULevel Jukebox::GetVULevel() {
  const std::uint32_t level = m_audio.ChannelGetLevel(m_channel);
  const auto clamp = [](std::uint32_t v) { return static_cast<int>(std::min<std::uint32_t>(v, 128)); };
  return {clamp(level & 0xFFFF), clamp(level >> 16)};
}

// --- Effects ---

void Jukebox::switchProcessor(bool ticked, audio::Handle& hook, const std::function<void()>& reset,
                              audio::DspProc proc) {
  // The kept hook comes off first in both cases: the state is reset only
  // while no hook of it can run.
  if (hook) m_audio.ChannelRemoveDSP(m_channel, hook);
  hook = 0;
  if (!ticked) return;
  reset();
  hook = m_audio.ChannelSetDSP(m_channel, std::move(proc), nullptr);
}

void Jukebox::EchosClick() {
  switchProcessor(
      m_switches.Echos, m_echoDsp, [this] { m_echo.reset(); }, HookOf(m_echo));
}

void Jukebox::FlangerClick() {
  switchProcessor(
      m_switches.Flanger, m_flangerDsp, [this] { m_flanger.reset(); }, HookOf(m_flanger));
}

void Jukebox::RotatesClick() {
  switchProcessor(
      m_switches.Rotates, m_rotationDsp, [this] { m_rotation.reset(); }, HookOf(m_rotation));
}

// --- Wave display and meters ---

const std::array<std::int16_t, kWaveFrames * 2>& Jukebox::GetWaveBuffer() {
  if (!m_timer1 ||
      m_audio.ChannelGetData(m_channel, m_waveBuffer.data(), static_cast<std::uint32_t>(kWaveFrames * 4)) < 0)
    m_waveBuffer.fill(0);
  return m_waveBuffer;
}

void Jukebox::Timer3Timer(int width, int height) {
  static const std::array<std::int16_t, kWaveFrames * 2> kSilentWave{};
  const std::int16_t* wave = kSilentWave.data();
  if (m_audio.ChannelIsActive(m_channel) == audio::kActivePlaying) wave = GetWaveBuffer().data();
  m_wavePoints = WavePoints(wave, kWaveFrames, width, height);
  m_meters = GetVULevel();
}

// --- Title mask ---

void Jukebox::ID3MaskChange(const std::string& text) {
  if (m_id3Mask == text && m_id3Def == text) return;
  m_id3Mask = text;
  m_id3Def = text;
  changed();
}

// --- Remote control ---

void Jukebox::AppEventsMessage(int message) {
  switch (message) {
    case kMsgPlayNext:
      PlayNext();
      break;
    case kMsgStop:
      ZastavitClick();
      break;
    case kMsgMinimize:
      if (m_view) m_view->minimizeApplication();
      break;
    case kMsgRestore:
      if (m_view) m_view->restoreApplication();
      break;
    case kMsgPlayRandom:
      PlayRandom();
      break;
    case kMsgPlayRegistrySound: {
      const std::string path = TrimBlanks(AsciiLower(ReadRegString(kRemoteSoundRoot, kRemoteSoundValue)));
      if (!path.empty() && FileExists(path)) PlaySample(path);
      DeleteRegValue(kRemoteSoundRoot, kRemoteSoundValue);
      break;
    }
    case kMsgPlayNextInOrder:
      PlayNextInOrder();
      break;
    case kMsgClose:
      ZavritClick();
      break;
    default:  // 1029 is the jukebox's own post, 1030 is not handled
      break;
  }
}

}  // namespace pagemoor
