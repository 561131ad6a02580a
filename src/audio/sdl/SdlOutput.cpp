#include "audio/sdl/SdlOutput.h"

#include <SDL2/SDL.h>

#include <strings.h>
#include <cstdlib>
#include <memory>

namespace pagemoor::audio {

namespace {

constexpr int kBufferFrames = 1024;

bool UserChoseDriver() {
  const char* v = std::getenv("SDL_AUDIODRIVER");
  return v && *v;
}

}  // namespace

SdlOutput::SdlOutput(std::string driver) : m_driver(std::move(driver)) {}

SdlOutput::~SdlOutput() {
  close();
}

void SdlOutput::callback(void* self, std::uint8_t* stream, int length) {
  static_cast<SdlOutput*>(self)->m_render(reinterpret_cast<std::int16_t*>(stream), length / 4);
}

bool SdlOutput::initDriver(const std::string& driver) {
  // The hint chooses the driver for this start of the subsystem only.
  if (!driver.empty()) SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, driver.c_str(), SDL_HINT_OVERRIDE);
  m_subsystem = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  if (!driver.empty()) SDL_ResetHint(SDL_HINT_AUDIODRIVER);
  return m_subsystem;
}

void SdlOutput::quitDriver() {
  if (m_subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  m_subsystem = false;
}

bool SdlOutput::openDevice(int frequency, std::string* why) {
  SDL_AudioSpec want{};
  want.freq = frequency;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kBufferFrames;
  want.callback = &SdlOutput::callback;
  want.userdata = this;
  SDL_AudioSpec have{};
  // No changes allowed: SDL converts whatever the device wants from our format.
  m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (m_device == 0 && why) *why = SDL_GetError();
  return m_device != 0;
}

bool SdlOutput::open(int frequency, RenderFunction render, std::string* error) {
  if (m_device != 0) {
    if (error) *error = "SDL: the output is open already";
    return false;
  }
  m_render = std::move(render);
  std::string why;
  if (initDriver(m_driver)) {
    if (openDevice(frequency, &why)) {
      const char* driver = SDL_GetCurrentAudioDriver();
      m_name = std::string("SDL: ") + (driver ? driver : "?");
      m_fallback = false;
      return true;
    }
  } else {
    why = SDL_GetError();
  }
  quitDriver();
  // A machine without a sound card: play silently, unless the user chose the driver.
  if (!UserChoseDriver()) {
    std::string dummyWhy;
    if (initDriver("dummy") && openDevice(frequency, &dummyWhy)) {
      m_name = "SDL dummy (no sound device)";
      m_fallback = true;
      return true;
    }
    quitDriver();
  }
  m_render = nullptr;
  if (error) *error = "SDL: " + why;
  return false;
}

bool SdlOutput::start() {
  if (m_device == 0) return false;
  SDL_PauseAudioDevice(m_device, 0);
  return true;
}

void SdlOutput::stop() {
  // Returns with the callback not running; it is not called again while paused.
  if (m_device != 0) SDL_PauseAudioDevice(m_device, 1);
}

void SdlOutput::close() {
  if (m_device != 0) {
    SDL_CloseAudioDevice(m_device);  // waits for the audio thread to end
    m_device = 0;
  }
  quitDriver();
  m_render = nullptr;
}

OutputFactory MakeOutputFactoryFromEnvironment() {
  return [](int) -> std::unique_ptr<AudioOutput> {
    const char* choice = std::getenv("PAGEMOOR_AUDIO");
    if (choice && strcasecmp(choice, "null") == 0) return std::make_unique<NullOutput>();
    return std::make_unique<SdlOutput>();
  };
}

}  // namespace pagemoor::audio
