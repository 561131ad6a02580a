// Tracker modules through libopenmpt, which tells the formats apart by
// content: magazines ship XM files named .mod and the like.
#include <libopenmpt/libopenmpt.h>

#include <cmath>
#include <limits>

#include "audio/Decoder.h"

namespace pagemoor::audio {

namespace {

// libopenmpt would write its warnings about odd modules to the console.
void LogNothing(const char*, void*) {}

constexpr int kNormalSeparation = 100;
constexpr int kSurroundSeparation = 200;

class OpenMptDecoder final : public ModuleDecoder {
 public:
  OpenMptDecoder(openmpt_module* module, int outputRate) : m_module(module), m_rate(outputRate) {
    openmpt_module_set_repeat_count(m_module, 0);
    const char* title = openmpt_module_get_metadata(m_module, "title");
    if (title) {
      m_name = title;
      openmpt_free_string(title);
    }
    const double seconds = openmpt_module_get_duration_seconds(m_module);
    // A song too intricate to measure reports infinity: its length is unknown.
    if (std::isfinite(seconds) && seconds > 0 && seconds < 1e9)
      m_length = static_cast<std::uint64_t>(std::llround(seconds * m_rate));
  }
  ~OpenMptDecoder() override { openmpt_module_destroy(m_module); }

  std::size_t read(std::int16_t* out, std::size_t frames) override {
    std::size_t done = 0;
    while (done < frames) {
      const std::size_t got =
          openmpt_module_read_interleaved_stereo(m_module, m_rate, frames - done, out + done * 2);
      if (got == 0) break;
      done += got;
    }
    m_position += done;
    return done;
  }

  std::uint64_t lengthFrames() const override { return m_length; }
  // Frames played since the start or the last seek; a looping song goes on
  // counting past its length, as libopenmpt's own clock does.
  std::uint64_t positionFrames() const override { return m_position; }

  bool seek(std::uint64_t frame) override {
    if (m_length > 0) frame = std::min(frame, m_length);
    const double at = openmpt_module_set_position_seconds(m_module, static_cast<double>(frame) / m_rate);
    m_position = at > 0 ? static_cast<std::uint64_t>(std::llround(at * m_rate)) : 0;
    return true;
  }

  std::string name() const override { return m_name; }

  void setLoop(bool loop) override { openmpt_module_set_repeat_count(m_module, loop ? -1 : 0); }

  void setSurround(bool on) override {
    openmpt_module_set_render_param(m_module, OPENMPT_MODULE_RENDER_STEREOSEPARATION_PERCENT,
                                    on ? kSurroundSeparation : kNormalSeparation);
  }

  void restart() override {
    openmpt_module_set_position_order_row(m_module, 0, 0);
    m_position = 0;
  }

 private:
  openmpt_module* m_module;
  int m_rate;
  std::string m_name;
  std::uint64_t m_length = 0;
  std::uint64_t m_position = 0;
};

}  // namespace

std::unique_ptr<ModuleDecoder> OpenModule(std::string bytes, int outputRate) {
  if (outputRate <= 0 || bytes.empty()) return nullptr;
  int error = OPENMPT_ERROR_OK;
  const char* message = nullptr;
  // No dither: the mixer adds the music to the samples and saturates, and
  // the same song must render to the same frames each time it plays.
  const openmpt_module_initial_ctl ctls[] = {{"dither", "0"}, {nullptr, nullptr}};
  openmpt_module* module =
      openmpt_module_create_from_memory2(bytes.data(), bytes.size(), &LogNothing, nullptr,
                                         &openmpt_error_func_ignore, nullptr, &error, &message, ctls);
  if (message) openmpt_free_string(message);
  if (!module) return nullptr;
  return std::make_unique<OpenMptDecoder>(module, outputRate);
}

}  // namespace pagemoor::audio
