// Where the mixed sound goes. The device pulls: it calls the render function
// from its own thread whenever it wants more frames.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pagemoor::audio {

// Fills `frames` frames of 16-bit interleaved stereo at the opened rate.
using RenderFunction = std::function<void(std::int16_t* out, int frames)>;

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // False with a reason when the device cannot be opened.
  virtual bool open(int frequency, RenderFunction render, std::string* error) = 0;
  virtual bool start() = 0;
  virtual void stop() = 0;
  // Stops and releases the device; no render call runs after it returns.
  virtual void close() = 0;
  // What the device is, for the log ("null", "SDL: pulseaudio", ...).
  virtual std::string name() const = 0;
};

// device: the number the caller asked for (-1 the default).
using OutputFactory = std::function<std::unique_ptr<AudioOutput>(int device)>;

// Plays nothing by itself: render() pulls frames on the calling thread, as a
// device would. Tests and headless runs use it.
class NullOutput : public AudioOutput {
 public:
  bool open(int frequency, RenderFunction render, std::string* error) override;
  bool start() override;
  void stop() override;
  void close() override;
  std::string name() const override { return "null"; }

  // Pulls `frames` frames (nothing while stopped) and returns them.
  std::vector<std::int16_t> render(int frames);
  bool started() const;
  int frequency() const { return m_frequency; }

 private:
  mutable std::mutex m_lock;
  RenderFunction m_render;
  int m_frequency = 0;
  bool m_started = false;
};

}  // namespace pagemoor::audio
