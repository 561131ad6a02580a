#include "audio/AudioOutput.h"

namespace pagemoor::audio {

bool NullOutput::open(int frequency, RenderFunction render, std::string* error) {
  std::lock_guard lock(m_lock);
  if (m_render) {
    if (error) *error = "the null output is open already";
    return false;
  }
  if (frequency <= 0 || !render) {
    if (error) *error = "no frequency or no render function";
    return false;
  }
  m_render = std::move(render);
  m_frequency = frequency;
  m_started = false;
  return true;
}

bool NullOutput::start() {
  std::lock_guard lock(m_lock);
  m_started = static_cast<bool>(m_render);
  return m_started;
}

void NullOutput::stop() {
  std::lock_guard lock(m_lock);
  m_started = false;
}

void NullOutput::close() {
  // Waits for a render in progress: none runs after this returns.
  std::lock_guard lock(m_lock);
  m_started = false;
  m_render = nullptr;
}

std::vector<std::int16_t> NullOutput::render(int frames) {
  std::lock_guard lock(m_lock);
  if (!m_started || frames <= 0) return {};
  std::vector<std::int16_t> out(static_cast<std::size_t>(frames) * 2);
  m_render(out.data(), frames);
  return out;
}

bool NullOutput::started() const {
  std::lock_guard lock(m_lock);
  return m_started;
}

}  // namespace pagemoor::audio
