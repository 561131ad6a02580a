// The SDL2 output device. SDL's audio thread pulls the engine's frames
// through a callback; when no device can be opened and the user has not
// chosen a driver, SDL's "dummy" driver takes over so the program runs
// silently instead of failing.
#pragma once

#include <cstdint>
#include <string>

#include "audio/AudioOutput.h"

namespace pagemoor::audio {

class SdlOutput : public AudioOutput {
 public:
  // driver: an SDL audio driver to try instead of SDL's own choice
  // (SDL_AUDIODRIVER, else its list); empty leaves the choice to SDL.
  explicit SdlOutput(std::string driver = {});
  ~SdlOutput() override;
  SdlOutput(const SdlOutput&) = delete;
  SdlOutput& operator=(const SdlOutput&) = delete;

  bool open(int frequency, RenderFunction render, std::string* error) override;
  bool start() override;
  void stop() override;
  void close() override;
  // "SDL: <driver>", or "SDL dummy (no sound device)" after the fallback.
  std::string name() const override { return m_name; }
  // True when the dummy driver stands in for a device that could not be opened.
  bool silentFallback() const { return m_fallback; }

 private:
  static void callback(void* self, std::uint8_t* stream, int length);
  bool initDriver(const std::string& driver);
  void quitDriver();
  bool openDevice(int frequency, std::string* why);

  std::string m_driver;
  RenderFunction m_render;
  std::uint32_t m_device = 0;
  bool m_subsystem = false;
  bool m_fallback = false;
  std::string m_name = "SDL";
};

// The output PAGEMOOR_AUDIO asks for when Init runs: "null" for the null
// output, anything else (or nothing) for SDL.
OutputFactory MakeOutputFactoryFromEnvironment();

}  // namespace pagemoor::audio
