#include "audio/AudioEngine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>

#include "audio/Decoder.h"
#include "audio/Effects.h"
#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/MagazineFiles.h"

namespace pagemoor::audio {
namespace {

// A handle is kind (4 bits) | generation (12 bits) | slot (16 bits). The kind
// is never 0, so no handle is 0; a slot whose generation is used up is never
// handed out again, so a freed handle never becomes valid again.
enum class Kind : std::uint32_t { Stream = 1, Module = 2, Playback = 3, Sample = 4, Dsp = 5, Fx = 6 };

constexpr std::uint32_t kKindShift = 28;
constexpr std::uint32_t kGenerationShift = 16;
constexpr std::uint32_t kMaxGeneration = 0xFFF;
constexpr std::size_t kMaxSlots = 0x10000;

constexpr Kind KindOf(Handle h) {
  return static_cast<Kind>(h >> kKindShift);
}

// The mixer works in blocks of at most this many frames; a longer request is
// mixed block by block.
constexpr std::size_t kBlockFrames = 1024;
constexpr std::size_t kSnapshotFrames = kSnapshotBytes / 4;
// A loaded sample holds at most ten minutes of sound.
constexpr std::uint64_t kMaxSampleSeconds = 600;
// Unity gain of the mixer's fixed-point gains.
constexpr std::int32_t kUnity = 1 << 16;
constexpr std::uint32_t kKeepFlags = 0xFFFFFFFF;
// Module flags that MusicPlayEx replaces; the rest stay as loaded.
constexpr std::uint32_t kModulePlayFlags = kMusicRamp | kMusicLoop | kMusicSurround2;

template <class T>
class SlotTable {
 public:
  struct Slot {
    Handle handle = 0;  // the current handle while used
    std::uint32_t generation = 0;
    bool used = false;
    T value{};
  };

  // 0 when every slot is taken or worn out; the value is then left alone.
  Handle insert(Kind kind, T&& value) {
    std::uint32_t index;
    if (!m_free.empty()) {
      index = m_free.back();
      m_free.pop_back();
    } else {
      if (m_slots.size() >= kMaxSlots) return 0;
      index = static_cast<std::uint32_t>(m_slots.size());
      m_slots.emplace_back();
    }
    Slot& s = m_slots[index];
    s.used = true;
    s.value = std::move(value);
    s.handle = (static_cast<std::uint32_t>(kind) << kKindShift) | (s.generation << kGenerationShift) | index;
    return s.handle;
  }

  T* find(Handle h) {
    const std::size_t index = h & 0xFFFF;
    if (index >= m_slots.size()) return nullptr;
    Slot& s = m_slots[index];
    return s.used && s.handle == h ? &s.value : nullptr;
  }

  // Takes the value out; the handle is never valid again. h must be found.
  T take(Handle h) {
    const std::uint32_t index = h & 0xFFFF;
    Slot& s = m_slots[index];
    T value = std::move(s.value);
    s.value = T{};
    s.used = false;
    s.handle = 0;
    if (++s.generation <= kMaxGeneration) m_free.push_back(index);
    return value;
  }

  std::vector<Slot>& slots() { return m_slots; }

 private:
  std::vector<Slot> m_slots;
  std::vector<std::uint32_t> m_free;
};

struct FxEntry {
  Handle handle;
  int type;
  std::unique_ptr<Effect> effect;
};

struct DspEntry {
  Handle handle;
  DspProc proc;
  void* user;
};

struct Attributes3D {
  int mode = 0;
  float min = 1.0f, max = 1e9f;
  int iangle = 360, oangle = 360, outvol = 100;
  float eaxMix = 0.0f;
};

// A stream, a module or a sample playback.
struct Channel {
  Kind kind = Kind::Stream;
  Handle handle = 0;
  std::uint32_t flags = 0;
  bool playing = false;
  bool ended = false;     // the sound ran out while playing
  bool finished = false;  // a playback that ended: its slot is freed at the next change

  std::unique_ptr<Decoder> decoder;  // stream or module
  ModuleDecoder* module = nullptr;   // the decoder as a module
  std::string name;                  // a module's name, read when it is loaded

  // A playback: frames of its sample, position and step in 1/2^32 frames.
  Handle sample = 0;
  const std::vector<std::int16_t>* pcm = nullptr;
  std::uint64_t pos = 0;
  std::uint64_t step = std::uint64_t{1} << 32;
  bool loop = false;
  int volume = 100;
  int pan = 0;
  std::uint64_t framesPlayed = 0;
  std::uint64_t serial = 0;

  std::vector<FxEntry> effects;
  std::vector<DspEntry> dsps;
  Attributes3D attributes;

  // The latest sound after effects and hooks, and its peak.
  std::array<std::int16_t, kSnapshotFrames * 2> snapshot{};
  std::size_t snapshotPos = 0;  // next frame to write
  std::uint32_t level = 0;
};

struct Sample {
  std::vector<std::int16_t> pcm;
  int max = 1;
  std::uint32_t flags = 0;
};

// What a call takes out of the tables under the mix lock; destroyed after the
// lock is released (declare it before the lock).
struct Graveyard {
  std::vector<std::unique_ptr<Channel>> channels;
  std::vector<std::unique_ptr<Sample>> samples;
  std::vector<std::unique_ptr<Effect>> effects;
  std::vector<DspProc> procs;
};

std::int16_t Saturate(std::int32_t v) {
  return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
}

int ClampVolume(int v) {
  return std::clamp(v, 0, 100);
}

}  // namespace

struct AudioEngine::State {
  // The interface thread's own.
  OutputFactory factory;
  std::unique_ptr<AudioOutput> output;
  bool initialised = false;
  int rate = 0;
  AudioError error = AudioError::Ok;

  // Shared with the mixing thread: only under `mix`.
  std::mutex mix;
  SlotTable<std::unique_ptr<Channel>> channels;
  SlotTable<std::unique_ptr<Sample>> samples;
  SlotTable<Handle> dsps;  // value: the channel it is installed on
  SlotTable<Handle> fxs;
  int musicVolume = 100;
  int sampleVolume = 100;
  int streamVolume = 100;
  std::uint64_t playSerial = 0;

  // The mixing thread's scratch, under `mix`.
  std::array<std::int32_t, kBlockFrames * 2> sum{};
  std::array<std::int16_t, kBlockFrames * 2> block{};

  bool fail(AudioError e) {
    error = e;
    return false;
  }
  bool ok() {
    error = AudioError::Ok;
    return true;
  }

  bool requireInit() { return initialised || fail(AudioError::Init); }

  // The channel of that handle and one of the kinds given, or null (with the
  // error set). Call under the mix lock.
  Channel* findChannel(Handle h, std::initializer_list<Kind> kinds) {
    if (!requireInit()) return nullptr;
    if (std::find(kinds.begin(), kinds.end(), KindOf(h)) != kinds.end()) {
      if (auto* p = channels.find(h); p && !(*p)->finished) return p->get();
    }
    fail(AudioError::Handle);
    return nullptr;
  }
  Channel* findAnyChannel(Handle h) { return findChannel(h, {Kind::Stream, Kind::Module, Kind::Playback}); }

  // Takes a channel out of the table with its hooks and effects.
  void removeChannel(Handle h, Graveyard& g) {
    std::unique_ptr<Channel> ch = channels.take(h);
    for (auto& fx : ch->effects) fxs.take(fx.handle);
    for (auto& d : ch->dsps) dsps.take(d.handle);
    g.channels.push_back(std::move(ch));
  }

  void reapFinished(Graveyard& g) {
    for (auto& s : channels.slots())
      if (s.used && s.value->finished) removeChannel(s.handle, g);
  }

  bool fxAllowed(const Channel& ch) {
    switch (ch.kind) {
      case Kind::Stream:
        return (ch.flags & kSampleFx) != 0;
      case Kind::Module:
        return (ch.flags & kMusicFx) != 0;
      default: {
        auto* s = samples.find(ch.sample);  // playbacks allow effects when their sample does
        return s && ((*s)->flags & kSampleFx) != 0;
      }
    }
  }

  std::optional<std::string> loadBytes(bool mem, const std::string& file, std::uint64_t offset,
                                       std::uint64_t length) {
    std::optional<std::string> bytes;
    if (mem) {
      bytes = file;
    } else {
      bytes = ReadMagazineFile(file, FileKind::Sound);
      if (!bytes) {
        fail(AudioError::FileOpen);
        return std::nullopt;
      }
    }
    if (offset > bytes->size()) {
      fail(AudioError::Param);
      return std::nullopt;
    }
    if (offset > 0 || length > 0) *bytes = bytes->substr(offset, length > 0 ? length : std::string::npos);
    return bytes;
  }

  Handle addChannel(std::unique_ptr<Channel> ch) {
    Graveyard g;  // on failure the channel dies after the lock is released
    std::lock_guard lock(mix);
    const Handle h = channels.insert(ch->kind, nullptr);
    if (h == 0) {
      g.channels.push_back(std::move(ch));
      fail(AudioError::Memory);
      return 0;
    }
    ch->handle = h;
    *channels.find(h) = std::move(ch);
    ok();
    return h;
  }

  Handle addStream(std::unique_ptr<Decoder> decoder, std::uint32_t flags) {
    auto ch = std::make_unique<Channel>();
    ch->kind = Kind::Stream;
    ch->flags = flags;
    ch->decoder = std::move(decoder);
    return addChannel(std::move(ch));
  }

  Handle addModule(std::unique_ptr<ModuleDecoder> decoder, std::uint32_t flags) {
    // Not shared yet: set it up before it enters the table.
    decoder->setLoop((flags & kMusicLoop) != 0);
    decoder->setSurround((flags & kMusicSurround2) != 0);
    auto ch = std::make_unique<Channel>();
    ch->kind = Kind::Module;
    ch->flags = flags;
    ch->name = decoder->name();
    ch->module = decoder.get();
    ch->decoder = std::move(decoder);
    return addChannel(std::move(ch));
  }

  Handle addSample(std::vector<std::int16_t> pcm, int max, std::uint32_t flags) {
    auto sample = std::make_unique<Sample>();
    sample->pcm = std::move(pcm);
    sample->max = max;
    sample->flags = flags;
    std::lock_guard lock(mix);
    const Handle h = samples.insert(Kind::Sample, std::move(sample));
    if (h == 0) {
      fail(AudioError::Memory);
      return 0;
    }
    ok();
    return h;
  }

  // --- The mixing thread ---

  void render(std::int16_t* out, int frames) {
    std::lock_guard lock(mix);
    while (frames > 0) {
      const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(frames), kBlockFrames);
      mixBlock(out, n);
      out += n * 2;
      frames -= static_cast<int>(n);
    }
  }

  void mixBlock(std::int16_t* out, std::size_t frames) {
    std::fill_n(sum.begin(), frames * 2, 0);
    for (auto& s : channels.slots())
      if (s.used && s.value->playing) mixChannel(*s.value, frames);
    for (std::size_t i = 0; i < frames * 2; ++i) out[i] = Saturate(sum[i]);
  }

  void mixChannel(Channel& ch, std::size_t frames) {
    std::int16_t* buf = block.data();
    const std::size_t got =
        ch.kind == Kind::Playback ? readPlayback(ch, buf, frames) : ch.decoder->read(buf, frames);
    if (got < frames) {
      ch.playing = false;
      ch.ended = true;
      if (ch.kind == Kind::Playback) ch.finished = true;
    }
    ch.framesPlayed += got;
    if (got == 0) return;
    for (auto& fx : ch.effects) fx.effect->process(buf, got);
    for (auto& d : ch.dsps) d.proc(d.handle, ch.handle, buf, static_cast<std::uint32_t>(got * 4), d.user);
    keepSnapshot(ch, buf, got);
    addToSum(ch, buf, got);
  }

  // Linear interpolation between the sample's frames; its own rate copies.
  std::size_t readPlayback(Channel& ch, std::int16_t* out, std::size_t frames) {
    const std::vector<std::int16_t>& pcm = *ch.pcm;
    const std::uint64_t length = pcm.size() / 2;
    const std::uint64_t end = length << 32;
    std::size_t done = 0;
    while (done < frames && length > 0) {
      if (ch.pos >= end) {
        if (!ch.loop) break;
        ch.pos %= end;
      }
      const std::uint64_t i = ch.pos >> 32;
      const std::uint64_t frac = ch.pos & 0xFFFFFFFF;
      if (frac == 0 && ch.step == (std::uint64_t{1} << 32)) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(frames - done, length - i));
        std::memcpy(out + done * 2, pcm.data() + i * 2, n * 4);
        done += n;
        ch.pos += static_cast<std::uint64_t>(n) << 32;
        continue;
      }
      const bool hasNext = i + 1 < length || ch.loop;
      const std::uint64_t j = i + 1 < length ? i + 1 : 0;
      for (int c = 0; c < 2; ++c) {
        const std::int64_t a = pcm[i * 2 + c];
        const std::int64_t b = hasNext ? pcm[j * 2 + c] : a;
        out[done * 2 + c] =
            static_cast<std::int16_t>(a + (((b - a) * static_cast<std::int64_t>(frac)) >> 32));
      }
      ++done;
      ch.pos += ch.step;
    }
    return done;
  }

  void keepSnapshot(Channel& ch, const std::int16_t* buf, std::size_t frames) {
    int peakL = 0, peakR = 0;
    for (std::size_t i = 0; i < frames; ++i) {
      peakL = std::max(peakL, std::abs(static_cast<int>(buf[i * 2])));
      peakR = std::max(peakR, std::abs(static_cast<int>(buf[i * 2 + 1])));
    }
    ch.level = static_cast<std::uint32_t>(peakL * 128 / 32768) |
               (static_cast<std::uint32_t>(peakR * 128 / 32768) << 16);
    if (frames >= kSnapshotFrames) {
      std::memcpy(ch.snapshot.data(), buf + (frames - kSnapshotFrames) * 2, kSnapshotBytes);
      ch.snapshotPos = 0;
      return;
    }
    const std::size_t first = std::min(frames, kSnapshotFrames - ch.snapshotPos);
    std::memcpy(ch.snapshot.data() + ch.snapshotPos * 2, buf, first * 4);
    std::memcpy(ch.snapshot.data(), buf + first * 2, (frames - first) * 4);
    ch.snapshotPos = (ch.snapshotPos + frames) % kSnapshotFrames;
  }

  void addToSum(const Channel& ch, const std::int16_t* buf, std::size_t frames) {
    std::int64_t left, right;  // gains in 1/2^16
    switch (ch.kind) {
      case Kind::Module:
        left = right = std::int64_t{kUnity} * musicVolume / 100;
        break;
      case Kind::Stream:
        left = right = std::int64_t{kUnity} * streamVolume / 100;
        break;
      default: {
        // Balance: the side away from the pan loses level, the near side keeps it.
        const std::int64_t base = std::int64_t{kUnity} * ch.volume * sampleVolume;
        left = base * (ch.pan > 0 ? 100 - ch.pan : 100) / 1000000;
        right = base * (ch.pan < 0 ? 100 + ch.pan : 100) / 1000000;
      }
    }
    std::int32_t* s = sum.data();
    if (left == kUnity && right == kUnity) {
      for (std::size_t i = 0; i < frames * 2; ++i) s[i] += buf[i];
    } else if (left != 0 || right != 0) {
      const auto gl = static_cast<std::int32_t>(left), gr = static_cast<std::int32_t>(right);
      for (std::size_t i = 0; i < frames; ++i) {
        s[i * 2] += (buf[i * 2] * gl) >> 16;
        s[i * 2 + 1] += (buf[i * 2 + 1] * gr) >> 16;
      }
    }
  }
};

AudioEngine::AudioEngine() : m_state(std::make_unique<State>()) {}

AudioEngine::~AudioEngine() {
  if (m_state->initialised) Free();
}

void AudioEngine::setOutputFactory(OutputFactory factory) {
  m_state->factory = std::move(factory);
}

bool AudioEngine::Init(int device, int frequency, std::uint32_t, void*) {
  State& st = *m_state;
  if (st.initialised) return st.fail(AudioError::Init);
  if (frequency < 1000 || frequency > 384000) return st.fail(AudioError::Param);
  std::unique_ptr<AudioOutput> output = st.factory ? st.factory(device) : std::make_unique<NullOutput>();
  if (!output) return st.fail(AudioError::Device);
  std::string why;
  State* state = &st;
  if (!output->open(
          frequency, [state](std::int16_t* out, int frames) { state->render(out, frames); }, &why))
    return st.fail(AudioError::Device);
  st.output = std::move(output);
  st.rate = frequency;
  st.initialised = true;
  return st.ok();
}

bool AudioEngine::Start() {
  State& st = *m_state;
  if (!st.requireInit()) return false;
  return st.output->start() ? st.ok() : st.fail(AudioError::Device);
}

bool AudioEngine::Stop() {
  State& st = *m_state;
  if (!st.requireInit()) return false;
  st.output->stop();
  return st.ok();
}

bool AudioEngine::Free() {
  State& st = *m_state;
  if (!st.requireInit()) return false;
  // The device first: once it is closed no render call runs.
  st.output->stop();
  st.output->close();
  st.output.reset();
  {
    Graveyard g;
    std::lock_guard lock(st.mix);
    for (auto& s : st.channels.slots())
      if (s.used) st.removeChannel(s.handle, g);
    for (auto& s : st.samples.slots())
      if (s.used) g.samples.push_back(st.samples.take(s.handle));
  }
  st.initialised = false;
  st.rate = 0;
  return st.ok();
}

bool AudioEngine::isInitialised() const {
  return m_state->initialised;
}

AudioOutput* AudioEngine::output() {
  return m_state->output.get();
}

AudioError AudioEngine::ErrorGetCode() const {
  return m_state->error;
}

bool AudioEngine::SetGlobalVolumes(int music, int sample, int stream) {
  State& st = *m_state;
  if (!st.requireInit()) return false;
  std::lock_guard lock(st.mix);
  st.musicVolume = ClampVolume(music);
  st.sampleVolume = ClampVolume(sample);
  st.streamVolume = ClampVolume(stream);
  return st.ok();
}

// --- The music channel ---

Handle AudioEngine::StreamCreateFile(bool mem, const std::string& file, std::uint64_t offset,
                                     std::uint64_t length, std::uint32_t flags) {
  State& st = *m_state;
  if (!st.requireInit()) return 0;
  auto bytes = st.loadBytes(mem, file, offset, length);
  if (!bytes) return 0;
  auto decoder = OpenStream(std::move(*bytes), st.rate);
  if (!decoder) return st.fail(AudioError::Format), 0;
  return st.addStream(std::move(decoder), flags);
}

Handle AudioEngine::MusicLoad(bool mem, const std::string& file, std::uint64_t offset, std::uint64_t length,
                              std::uint32_t flags) {
  State& st = *m_state;
  if (!st.requireInit()) return 0;
  auto bytes = st.loadBytes(mem, file, offset, length);
  if (!bytes) return 0;
  auto decoder = OpenModule(std::move(*bytes), st.rate);
  if (!decoder) return st.fail(AudioError::Format), 0;
  return st.addModule(std::move(decoder), flags);
}

Handle AudioEngine::StreamCreateDecoder(std::unique_ptr<Decoder> decoder, std::uint32_t flags) {
  State& st = *m_state;
  if (!st.requireInit()) return 0;
  if (!decoder) return st.fail(AudioError::Param), 0;
  return st.addStream(std::move(decoder), flags);
}

Handle AudioEngine::MusicCreateDecoder(std::unique_ptr<ModuleDecoder> decoder, std::uint32_t flags) {
  State& st = *m_state;
  if (!st.requireInit()) return 0;
  if (!decoder) return st.fail(AudioError::Param), 0;
  return st.addModule(std::move(decoder), flags);
}

std::optional<std::string> AudioEngine::MusicGetName(Handle module) const {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findChannel(module, {Kind::Module});
  if (!ch) return std::nullopt;
  st.ok();
  return ch->name;
}

bool AudioEngine::MusicFree(Handle module) {
  State& st = *m_state;
  Graveyard g;
  std::lock_guard lock(st.mix);
  if (!st.findChannel(module, {Kind::Module})) return false;
  st.removeChannel(module, g);
  return st.ok();
}

bool AudioEngine::StreamFree(Handle stream) {
  State& st = *m_state;
  Graveyard g;
  std::lock_guard lock(st.mix);
  if (!st.findChannel(stream, {Kind::Stream})) return false;
  st.removeChannel(stream, g);
  return st.ok();
}

bool AudioEngine::MusicPlayEx(Handle module, std::uint32_t pos, std::uint32_t flags, bool reset) {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findChannel(module, {Kind::Module});
  if (!ch) return false;
  if (ch->flags & kMusicDecode) return st.fail(AudioError::Handle);      // decode-only: nothing to play
  if (pos != 0 && pos != kKeepFlags) return st.fail(AudioError::Param);  // only the start or where it is
  if (flags != kKeepFlags) {
    ch->flags = (ch->flags & ~kModulePlayFlags) | (flags & kModulePlayFlags);
    ch->module->setLoop((flags & kMusicLoop) != 0);
    ch->module->setSurround((flags & kMusicSurround2) != 0);
  }
  if (pos == 0 || reset || ch->ended) ch->module->restart();
  ch->ended = false;
  ch->playing = true;
  return st.ok();
}

bool AudioEngine::StreamPlay(Handle stream, bool flush, std::uint32_t) {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findChannel(stream, {Kind::Stream});
  if (!ch) return false;
  if (flush || ch->ended) ch->decoder->seek(0);
  ch->ended = false;
  ch->playing = true;
  return st.ok();
}

bool AudioEngine::ChannelStop(Handle channel) {
  State& st = *m_state;
  Graveyard g;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findAnyChannel(channel);
  if (!ch) return false;
  ch->playing = false;
  // A stopped playback is over: its place goes back to the sample.
  if (ch->kind == Kind::Playback) st.removeChannel(channel, g);
  return st.ok();
}

int AudioEngine::ChannelIsActive(Handle channel) const {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findAnyChannel(channel);
  if (!ch) return kActiveStopped;
  st.ok();
  return ch->playing ? kActivePlaying : kActiveStopped;
}

std::uint64_t AudioEngine::StreamGetLength(Handle stream) const {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findChannel(stream, {Kind::Stream});
  if (!ch) return kNoLength;
  st.ok();
  return ch->decoder->lengthFrames() * 4;
}

std::uint64_t AudioEngine::MusicGetLength(Handle module, bool playlen) const {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findChannel(module, {Kind::Module});
  if (!ch) return kNoLength;
  if (!playlen) return st.fail(AudioError::Param), kNoLength;
  st.ok();
  return ch->decoder->lengthFrames() * 4;
}

std::uint64_t AudioEngine::ChannelGetPosition(Handle channel) const {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findAnyChannel(channel);
  if (!ch) return kNoLength;
  st.ok();
  if (ch->kind == Kind::Playback) return (ch->pos >> 32) * 4;
  return ch->decoder->positionFrames() * 4;
}

bool AudioEngine::ChannelSetPosition(Handle channel, std::uint64_t bytes) {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findAnyChannel(channel);
  if (!ch) return false;
  const std::uint64_t frame = bytes / 4;
  if (ch->kind == Kind::Playback) {
    if (frame >= ch->pcm->size() / 2) return st.fail(AudioError::Param);
    ch->pos = frame << 32;
    return st.ok();
  }
  if (!ch->decoder->seek(frame)) return st.fail(AudioError::Param);
  ch->ended = false;
  return st.ok();
}

double AudioEngine::ChannelBytes2Seconds(Handle channel, std::uint64_t bytes) const {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  if (!st.findAnyChannel(channel)) return -1.0;
  st.ok();
  return static_cast<double>(bytes / 4) / st.rate;
}

std::uint64_t AudioEngine::ChannelSeconds2Bytes(Handle channel, float seconds) const {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  if (!st.findAnyChannel(channel)) return kNoLength;
  if (!(seconds >= 0.0f) || seconds > 1e9f) return st.fail(AudioError::Param), kNoLength;
  st.ok();
  return static_cast<std::uint64_t>(std::floor(static_cast<double>(seconds) * st.rate)) * 4;
}

// --- Effects, hooks, 3D ---

Handle AudioEngine::ChannelSetFX(Handle channel, int type) {
  State& st = *m_state;
  {
    std::lock_guard lock(st.mix);
    Channel* ch = st.findAnyChannel(channel);
    if (!ch) return 0;
    if (!st.fxAllowed(*ch)) return st.fail(AudioError::Param), 0;
  }
  if (type < kFxChorus || type > kFxReverb) return st.fail(AudioError::Param), 0;
  // Made outside the lock: an effect allocates its delay lines.
  std::unique_ptr<Effect> effect = MakeEffect(type, st.rate);
  if (!effect) return st.fail(AudioError::Param), 0;
  Graveyard g;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findAnyChannel(channel);
  if (!ch) return 0;
  const Handle h = st.fxs.insert(Kind::Fx, Handle{channel});
  if (h == 0) {
    g.effects.push_back(std::move(effect));
    return st.fail(AudioError::Memory), 0;
  }
  ch->effects.push_back({h, type, std::move(effect)});
  st.ok();
  return h;
}

bool AudioEngine::ChannelRemoveFX(Handle channel, int type) {
  State& st = *m_state;
  Graveyard g;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findAnyChannel(channel);
  if (!ch) return false;
  const auto ofType = [type](const FxEntry& fx) { return fx.type == type; };
  auto it = std::stable_partition(ch->effects.begin(), ch->effects.end(),
                                  [&](const FxEntry& fx) { return !ofType(fx); });
  if (it == ch->effects.end()) return st.fail(AudioError::Param);
  for (auto i = it; i != ch->effects.end(); ++i) {
    st.fxs.take(i->handle);
    g.effects.push_back(std::move(i->effect));
  }
  ch->effects.erase(it, ch->effects.end());
  return st.ok();
}

Handle AudioEngine::ChannelSetDSP(Handle channel, DspProc proc, void* user) {
  State& st = *m_state;
  Graveyard g;  // a hook that cannot be installed is released outside the lock
  std::lock_guard lock(st.mix);
  Channel* ch = st.findAnyChannel(channel);
  if (!ch) return 0;
  if (!proc) return st.fail(AudioError::Param), 0;
  const Handle h = st.dsps.insert(Kind::Dsp, Handle{channel});
  if (h == 0) {
    g.procs.push_back(std::move(proc));
    return st.fail(AudioError::Memory), 0;
  }
  ch->dsps.push_back({h, std::move(proc), user});
  st.ok();
  return h;
}

bool AudioEngine::ChannelRemoveDSP(Handle channel, Handle dsp) {
  State& st = *m_state;
  Graveyard g;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findAnyChannel(channel);
  if (!ch) return false;
  auto it =
      std::find_if(ch->dsps.begin(), ch->dsps.end(), [dsp](const DspEntry& d) { return d.handle == dsp; });
  if (it == ch->dsps.end()) return st.fail(AudioError::Handle);
  st.dsps.take(dsp);
  g.procs.push_back(std::move(it->proc));
  ch->dsps.erase(it);
  return st.ok();
}

bool AudioEngine::ChannelSet3DAttributes(Handle channel, int mode, float min, float max, int iangle,
                                         int oangle, int outvol) {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findAnyChannel(channel);
  if (!ch) return false;
  // Negative values keep what is set.
  Attributes3D& a = ch->attributes;
  if (mode >= 0) a.mode = mode;
  if (min >= 0) a.min = min;
  if (max >= 0) a.max = max;
  if (iangle >= 0) a.iangle = iangle;
  if (oangle >= 0) a.oangle = oangle;
  if (outvol >= 0) a.outvol = outvol;
  return st.ok();
}

bool AudioEngine::ChannelSetEAXMix(Handle channel, float mix) {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findAnyChannel(channel);
  if (!ch) return false;
  ch->attributes.eaxMix = mix;
  return st.ok();
}

bool AudioEngine::Apply3D() {
  State& st = *m_state;
  return st.requireInit() && st.ok();
}

// --- What is playing ---

int AudioEngine::ChannelGetData(Handle channel, void* buffer, std::uint32_t length) const {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findAnyChannel(channel);
  if (!ch) return -1;
  const std::size_t frames = std::min<std::size_t>(length / 4, kSnapshotFrames);
  // The latest `frames` frames end just before snapshotPos.
  const std::size_t start = (ch->snapshotPos + kSnapshotFrames - frames) % kSnapshotFrames;
  const std::size_t first = std::min(frames, kSnapshotFrames - start);
  auto* out = static_cast<std::int16_t*>(buffer);
  std::memcpy(out, ch->snapshot.data() + start * 2, first * 4);
  std::memcpy(out + first * 2, ch->snapshot.data(), (frames - first) * 4);
  st.ok();
  return static_cast<int>(frames * 4);
}

std::uint32_t AudioEngine::ChannelGetLevel(Handle channel) const {
  State& st = *m_state;
  std::lock_guard lock(st.mix);
  Channel* ch = st.findAnyChannel(channel);
  if (!ch) return 0;
  st.ok();
  return ch->playing ? ch->level : 0;
}

// --- Samples ---

Handle AudioEngine::SampleLoad(bool mem, const std::string& file, std::uint64_t offset, std::uint64_t length,
                               int max, std::uint32_t flags) {
  State& st = *m_state;
  if (!st.requireInit()) return 0;
  if (max < 1 || max > 65535) return st.fail(AudioError::Param), 0;
  auto bytes = st.loadBytes(mem, file, offset, length);
  if (!bytes) return 0;
  auto pcm = DecodeWhole(std::move(*bytes), st.rate, kMaxSampleSeconds * static_cast<std::uint64_t>(st.rate));
  if (!pcm) return st.fail(AudioError::Format), 0;
  return st.addSample(std::move(*pcm), max, flags);
}

Handle AudioEngine::SampleCreatePcm(std::vector<std::int16_t> stereo, int max, std::uint32_t flags) {
  State& st = *m_state;
  if (!st.requireInit()) return 0;
  if (max < 1 || max > 65535 || stereo.size() % 2 != 0) return st.fail(AudioError::Param), 0;
  return st.addSample(std::move(stereo), max, flags);
}

Handle AudioEngine::SamplePlayEx(Handle sample, std::uint32_t start, int freq, int volume, int pan,
                                 bool loop) {
  State& st = *m_state;
  if (!st.requireInit()) return 0;
  // Built before the lock is taken; destroyed after it when it is not used.
  auto playback = std::make_unique<Channel>();
  Graveyard g;
  std::lock_guard lock(st.mix);
  st.reapFinished(g);
  auto* found = KindOf(sample) == Kind::Sample ? st.samples.find(sample) : nullptr;
  if (!found) return st.fail(AudioError::Handle), 0;
  const Sample& s = **found;
  const std::uint64_t startFrame = start / 4;
  if (startFrame > 0 && startFrame >= s.pcm.size() / 2) return st.fail(AudioError::Param), 0;

  // At most `max` at once: the longest-playing one makes way, or the new one fails.
  int playing = 0;
  Channel* longest = nullptr;
  for (auto& slot : st.channels.slots()) {
    if (!slot.used || slot.value->kind != Kind::Playback || slot.value->sample != sample) continue;
    Channel* c = slot.value.get();
    ++playing;
    if (!longest || c->framesPlayed > longest->framesPlayed ||
        (c->framesPlayed == longest->framesPlayed && c->serial < longest->serial))
      longest = c;
  }
  if (playing >= s.max) {
    if (!(s.flags & kSampleOverPos)) return st.fail(AudioError::NoFree), 0;
    st.removeChannel(longest->handle, g);
  }

  Channel& ch = *playback;
  ch.kind = Kind::Playback;
  ch.flags = s.flags;
  ch.sample = sample;
  ch.pcm = &s.pcm;
  ch.pos = startFrame << 32;
  if (freq > 0) {
    const double step = std::ldexp(static_cast<double>(freq) / st.rate, 32);
    ch.step = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround(step)));
  }
  ch.loop = loop;
  ch.volume = volume < 0 ? 100 : ClampVolume(volume);
  ch.pan = std::clamp(pan, -100, 100);
  ch.serial = ++st.playSerial;
  ch.playing = true;
  const Handle h = st.channels.insert(Kind::Playback, nullptr);
  if (h == 0) return st.fail(AudioError::Memory), 0;
  ch.handle = h;
  *st.channels.find(h) = std::move(playback);
  st.ok();
  return h;
}

bool AudioEngine::SampleFree(Handle sample) {
  State& st = *m_state;
  if (!st.requireInit()) return false;
  Graveyard g;
  std::lock_guard lock(st.mix);
  if (KindOf(sample) != Kind::Sample || !st.samples.find(sample)) return st.fail(AudioError::Handle);
  for (auto& slot : st.channels.slots())
    if (slot.used && slot.value->kind == Kind::Playback && slot.value->sample == sample)
      st.removeChannel(slot.handle, g);
  g.samples.push_back(st.samples.take(sample));
  return st.ok();
}

}  // namespace pagemoor::audio
