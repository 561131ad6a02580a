// Tracker modules through libopenmpt, which tells the formats apart by
// content: magazines ship XM files named .mod and the like.
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "audio/Decoder.h"

namespace pagemoor::audio {

namespace {

// libopenmpt would write its warnings about odd modules to the console.
void LogNothing(const char*, void*) {}

// Where the formats keep the song's name: a fixed field, zero-terminated when
// shorter. libopenmpt shows what stands after the zero of some of them (as
// blanks and odd letters); we cut there as the trackers do.
struct NameField {
  const char* type;
  std::size_t offset;
  std::size_t size;
};
constexpr NameField kNameFields[] = {
    {"mod", 0, 20}, {"xm", 17, 20}, {"s3m", 0, 28}, {"it", 4, 26}, {"mtm", 4, 20},
};

// The name's length in characters up to the field's first zero, or npos when
// the format is another or the field has no zero.
std::size_t NameLengthInField(std::string_view type, std::string_view bytes) {
  for (const NameField& f : kNameFields) {
    if (type != f.type) continue;
    if (bytes.size() < f.offset + f.size) return std::string_view::npos;
    return bytes.substr(f.offset, f.size).find('\0');
  }
  return std::string_view::npos;
}

// The first `characters` code points of UTF-8 text.
std::string FirstCharacters(const std::string& text, std::size_t characters) {
  std::size_t i = 0;
  for (std::size_t n = 0; i < text.size() && n < characters; ++n) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return text.substr(0, i);
}

std::string Metadata(openmpt_module* module, const char* key) {
  std::string value;
  if (const char* text = openmpt_module_get_metadata(module, key)) {
    value = text;
    openmpt_free_string(text);
  }
  return value;
}

constexpr int kNormalSeparation = 100;
constexpr int kSurroundSeparation = 200;

class OpenMptDecoder final : public ModuleDecoder {
 public:
  OpenMptDecoder(openmpt_module* module, int outputRate, std::string_view bytes)
      : m_module(module), m_rate(outputRate) {
    openmpt_module_set_repeat_count(m_module, 0);
    // libopenmpt reads each byte of these fields as one character.
    m_name = Metadata(m_module, "title");
    const std::size_t length = NameLengthInField(Metadata(m_module, "type"), bytes);
    if (length != std::string_view::npos) m_name = FirstCharacters(m_name, length);
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
  return std::make_unique<OpenMptDecoder>(module, outputRate, bytes);
}

}  // namespace pagemoor::audio
