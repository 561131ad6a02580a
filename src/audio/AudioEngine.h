// The audio engine: one music channel (a stream or a module), samples that
// play over it, global volumes, effects by type number, DSP hooks, a level
// query and a snapshot of the sound. Its calls, their arguments, flags and
// results are the ones the jukebox makes; README.md in this folder says which
// thread does what.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/AudioOutput.h"

namespace pagemoor::audio {

class Decoder;
class ModuleDecoder;

// Handles of streams, modules, samples, sample playbacks, DSP hooks and
// effects. 0 is none; a freed handle is never valid again.
using Handle = std::uint32_t;

// Flags, with the values the callers pass.
inline constexpr std::uint32_t kSample3D = 0x8;           // sample: 3D (accepted, no effect)
inline constexpr std::uint32_t kSampleFx = 0x80;          // stream: effects allowed
inline constexpr std::uint32_t kMusicRamp = 0x1;          // module: normal ramping
inline constexpr std::uint32_t kMusicLoop = 0x4;          // module: loop the song
inline constexpr std::uint32_t kMusicSurround2 = 0x400;   // module play: surround mode 2
inline constexpr std::uint32_t kMusicFx = 0x1000;         // module: effects allowed
inline constexpr std::uint32_t kMp3SetPos = 0x20000;      // stream: exact seeking
inline constexpr std::uint32_t kSampleOverPos = 0x20000;  // sample: a playback beyond the
                                                          // maximum replaces the longest-playing
inline constexpr std::uint32_t kMusicDecode = 0x200000;   // module: decode only, no output

// Lengths and positions that cannot be given (a failed call).
inline constexpr std::uint64_t kNoLength = ~std::uint64_t{0};

// How much of a channel's latest sound ChannelGetData can copy.
inline constexpr std::uint32_t kSnapshotBytes = 4096;

// ChannelIsActive results.
inline constexpr int kActiveStopped = 0;
inline constexpr int kActivePlaying = 1;
inline constexpr int kActiveStalled = 2;
inline constexpr int kActivePaused = 3;

// Error codes of the last call (ErrorGetCode).
enum class AudioError : int {
  Ok = 0,
  Init,      // not initialised, or initialised twice
  Handle,    // unknown, freed or wrong kind of handle
  FileOpen,  // the file cannot be read
  Format,    // the file is not of a kind this call plays
  Device,    // the output device cannot be opened or started
  Param,     // an argument out of range
  NoFree,    // no free playback for a sample without kSampleOverPos
  Memory,
};

// A DSP hook: called on the mixing thread with the channel's sound, 16-bit
// interleaved stereo, length in bytes, changed in place. It must not call the
// engine.
using DspProc =
    std::function<void(Handle dsp, Handle channel, void* buffer, std::uint32_t length, void* user)>;

class AudioEngine {
 public:
  AudioEngine();
  ~AudioEngine();
  AudioEngine(const AudioEngine&) = delete;
  AudioEngine& operator=(const AudioEngine&) = delete;

  // The device the next Init opens; without one, Init opens a null output
  // that plays nothing until it is driven by hand.
  void setOutputFactory(OutputFactory factory);

  // --- Start and end ---
  // device -1 is the default device. False (and an error code) when the
  // output cannot be opened; never ends the program.
  bool Init(int device, int frequency, std::uint32_t flags, void* window = nullptr);
  bool Start();
  bool Stop();
  // Releases every channel, sample and the output.
  bool Free();
  bool isInitialised() const;
  // The output in use (null before Init): tests drive a null output by hand.
  AudioOutput* output();

  AudioError ErrorGetCode() const;

  // Music, sample and stream volumes 0..100; below 0 is silence, above 100 is 100.
  bool SetGlobalVolumes(int music, int sample, int stream);

  // --- The music channel ---
  // mem false: file is a path (host path, found whatever its letter case);
  // mem true: file holds the bytes. offset/length pick a part of the file
  // (length 0: to the end).
  Handle StreamCreateFile(bool mem, const std::string& file, std::uint64_t offset, std::uint64_t length,
                          std::uint32_t flags);
  Handle MusicLoad(bool mem, const std::string& file, std::uint64_t offset, std::uint64_t length,
                   std::uint32_t flags);
  // The same from a decoder made by the caller (sounds made in memory, tests);
  // the flags mean what they mean for a file.
  Handle StreamCreateDecoder(std::unique_ptr<Decoder> decoder, std::uint32_t flags);
  Handle MusicCreateDecoder(std::unique_ptr<ModuleDecoder> decoder, std::uint32_t flags);
  // A module's name; nothing for a handle that is no module.
  std::optional<std::string> MusicGetName(Handle module) const;
  bool MusicFree(Handle module);
  bool StreamFree(Handle stream);

  // Plays a module from pos (an order number; 0 the start, 0xFFFFFFFF where
  // it is; other orders are not offered). flags 0xFFFFFFFF keeps the
  // module's flags; reset true restarts the song.
  bool MusicPlayEx(Handle module, std::uint32_t pos, std::uint32_t flags, bool reset);
  // Plays a stream (flush true: from the start).
  bool StreamPlay(Handle stream, bool flush, std::uint32_t flags);
  // Stops a channel; a stream or module stays loaded, a sample playback ends.
  // After it returns the channel's hooks do not run.
  bool ChannelStop(Handle channel);
  // kActivePlaying while it plays; kActiveStopped when stopped, ended, or
  // for a handle that is no channel.
  int ChannelIsActive(Handle channel) const;

  // Lengths and positions are bytes of the output (4 per stereo frame);
  // kNoLength when the call fails.
  std::uint64_t StreamGetLength(Handle stream) const;
  // playlen true: the song's length when played (bytes of output). The count
  // of orders (playlen false) is not offered: kNoLength.
  std::uint64_t MusicGetLength(Handle module, bool playlen) const;
  std::uint64_t ChannelGetPosition(Handle channel) const;
  bool ChannelSetPosition(Handle channel, std::uint64_t bytes);
  // By the output rate; -1 (seconds) or kNoLength (bytes) when the call fails.
  double ChannelBytes2Seconds(Handle channel, std::uint64_t bytes) const;
  std::uint64_t ChannelSeconds2Bytes(Handle channel, float seconds) const;

  // --- Effects, hooks, 3D ---
  // Adds the effect of that type (0..8) to the channel; 0 when the type is
  // unknown or the channel was not made with effects allowed.
  Handle ChannelSetFX(Handle channel, int type);
  // Removes the channel's effect of that type.
  bool ChannelRemoveFX(Handle channel, int type);
  Handle ChannelSetDSP(Handle channel, DspProc proc, void* user);
  bool ChannelRemoveDSP(Handle channel, Handle dsp);
  // Accepted and kept; nothing of them is heard.
  bool ChannelSet3DAttributes(Handle channel, int mode, float min, float max, int iangle, int oangle,
                              int outvol);
  bool ChannelSetEAXMix(Handle channel, float mix);
  bool Apply3D();

  // --- What is playing ---
  // Copies the latest `length` bytes (whole frames, at most kSnapshotBytes)
  // of the channel's sound after its effects and hooks, oldest first; silence
  // where the channel has not played yet. Returns the bytes copied, or -1.
  int ChannelGetData(Handle channel, void* buffer, std::uint32_t length) const;
  // Low word left, high word right, 0..128: the peak of the channel's latest
  // sound. 0 for a channel that is not playing.
  std::uint32_t ChannelGetLevel(Handle channel) const;

  // --- Samples ---
  // Loads a whole sound (WAV or MP3) that may play up to `max` times at once.
  Handle SampleLoad(bool mem, const std::string& file, std::uint64_t offset, std::uint64_t length, int max,
                    std::uint32_t flags);
  // The same from 16-bit stereo frames at the output rate.
  Handle SampleCreatePcm(std::vector<std::int16_t> stereo, int max, std::uint32_t flags);
  // Plays it over the music: start offset in bytes, frequency -1 the
  // sample's own (the output rate, as it was decoded to; another frequency
  // plays it at frequency/rate speed), volume 0..100 (more is 100, -1 is
  // 100), pan -100..100, loop true/false. Returns the playback's handle (a
  // channel); it stops being valid when the playback ends or is stopped.
  Handle SamplePlayEx(Handle sample, std::uint32_t start, int freq, int volume, int pan, bool loop);
  bool SampleFree(Handle sample);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace pagemoor::audio
