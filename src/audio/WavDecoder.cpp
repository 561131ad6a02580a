// Our own RIFF/WAVE reader: integer PCM of 8 to 32 bits, IEEE float, and the
// extensible header with either of them inside. Decodes from the bytes as the
// mixer reads, so a long file costs nothing until it plays.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "audio/Decoder.h"
#include "common/ByteReader.h"

namespace pagemoor::audio {

namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// Bytes 2..15 of the KSDATAFORMAT_SUBTYPE_PCM / _IEEE_FLOAT GUIDs; the first
// two bytes carry the plain format tag.
constexpr char kSubformatTail[] = "\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";

struct WavFormat {
  bool isFloat = false;
  int channels = 0;
  int rate = 0;
  int bytesPerSample = 0;  // the container: 1 to 4 for integers, 4 or 8 for floats
  std::size_t blockAlign = 0;
};

std::optional<WavFormat> ParseFmt(ByteReader fmt) {
  std::uint16_t tag = fmt.u16le();
  const std::uint16_t channels = fmt.u16le();
  const std::uint32_t rate = fmt.u32le();
  fmt.skip(4);  // bytes a second
  const std::uint16_t blockAlign = fmt.u16le();
  const std::uint16_t bits = fmt.u16le();
  if (!fmt.ok()) return std::nullopt;
  if (tag == kFormatExtensible) {
    fmt.skip(8);  // extension size, valid bits, channel mask
    tag = fmt.u16le();
    if (!fmt.tag(std::string_view(kSubformatTail, 14))) return std::nullopt;
  }
  if (channels == 0 || rate == 0 || rate > static_cast<std::uint32_t>(INT_MAX)) return std::nullopt;
  WavFormat f;
  f.channels = channels;
  f.rate = static_cast<int>(rate);
  if (tag == kFormatPcm && bits >= 1 && bits <= 32) {
    // Integer samples narrower than their container sit in its upper bits,
    // so reading the whole container gives the right scale.
    f.bytesPerSample = (bits + 7) / 8;
  } else if (tag == kFormatFloat && (bits == 32 || bits == 64)) {
    f.isFloat = true;
    f.bytesPerSample = bits / 8;
  } else {
    return std::nullopt;
  }
  // A frame is at least its samples; a larger block alignment means padding
  // that we step over, a smaller one is a writer's mistake.
  f.blockAlign = std::max<std::size_t>(blockAlign, static_cast<std::size_t>(f.channels) * f.bytesPerSample);
  return f;
}

std::int16_t FloatTo16(double v) {
  if (!(v == v)) return 0;  // NaN
  return static_cast<std::int16_t>(std::clamp(std::floor(v * 32768.0 + 0.5), -32768.0, 32767.0));
}

class WavDecoder final : public ResampledDecoder {
 public:
  WavDecoder(std::string bytes, std::size_t dataAt, std::uint64_t frames, const WavFormat& format,
             int outputRate)
      : ResampledDecoder(format.rate, outputRate, frames),
        m_bytes(std::move(bytes)),
        m_dataAt(dataAt),
        m_frames(frames),
        m_format(format) {}

 protected:
  std::size_t readSource(std::int16_t* out, std::size_t frames) override {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(frames, m_frames - m_next));
    const ByteReader data = ByteReader(m_bytes).from(m_dataAt);
    for (std::size_t i = 0; i < n; ++i) {
      // The last frame may lack its padding, so it reaches to the end.
      ByteReader frame = data.from((m_next + i) * m_format.blockAlign);
      // Two channels and more: the first two are front left and right; mono
      // plays on both sides.
      out[i * 2] = sample(frame);
      out[i * 2 + 1] = m_format.channels > 1 ? sample(frame) : out[i * 2];
    }
    m_next += n;
    return n;
  }

  bool seekSource(std::uint64_t frame) override {
    m_next = std::min(frame, m_frames);
    return true;
  }

 private:
  // The next sample of the frame, as 16 bits.
  std::int16_t sample(ByteReader& frame) const {
    if (m_format.isFloat) {
      if (m_format.bytesPerSample == 4) {
        const std::uint32_t raw = frame.u32le();
        float v;
        std::memcpy(&v, &raw, sizeof v);
        return FloatTo16(v);
      }
      const std::uint64_t raw = frame.u64le();
      double v;
      std::memcpy(&v, &raw, sizeof v);
      return FloatTo16(v);
    }
    switch (m_format.bytesPerSample) {
      case 1:  // 8-bit samples are unsigned around 128
        return static_cast<std::int16_t>((frame.u8() - 128) * 256);
      case 2:
        return static_cast<std::int16_t>(frame.u16le());
      case 3:  // the top 16 of 24 bits
        frame.skip(1);
        return static_cast<std::int16_t>(frame.u16le());
      default:
        frame.skip(2);
        return static_cast<std::int16_t>(frame.u16le());
    }
  }

  std::string m_bytes;
  std::size_t m_dataAt;
  std::uint64_t m_frames;
  WavFormat m_format;
  std::uint64_t m_next = 0;
};

}  // namespace

std::unique_ptr<Decoder> OpenWav(std::string bytes, int outputRate) {
  ByteReader r(bytes);
  if (outputRate <= 0 || !r.tag("RIFF") || !r.skip(4) || !r.tag("WAVE")) return nullptr;
  // The RIFF size is often wrong in files written by old tools; the chunks
  // run to the end of what we have.
  std::optional<WavFormat> format;
  std::size_t dataAt = 0;
  std::size_t dataSize = 0;
  bool haveData = false;
  while (r.remaining() >= 8) {
    const std::string_view id = r.bytes(4);
    const std::uint32_t declared = r.u32le();
    const bool last = declared >= r.remaining();
    const std::size_t body = static_cast<std::size_t>(r.position());
    // A chunk that claims more than the file holds ends at the file's end.
    const ByteReader chunk = r.subAtMost(declared);
    if (id == "fmt " && !format) {
      format = ParseFmt(chunk);
      if (!format) return nullptr;
    } else if (id == "data" && !haveData) {
      haveData = true;
      dataAt = body;
      dataSize = static_cast<std::size_t>(chunk.size());
    }
    if (last) break;
    r.skip(declared & 1);  // chunks are word-aligned
  }
  if (!format || !haveData) return nullptr;
  const std::uint64_t frames = dataSize / format->blockAlign;
  // The last frame may fall short of a full block when padding follows its
  // samples: count it only when its samples are all there.
  const std::size_t sampleBytes = static_cast<std::size_t>(format->channels) * format->bytesPerSample;
  const std::uint64_t total = frames + (dataSize % format->blockAlign >= sampleBytes ? 1 : 0);
  return std::make_unique<WavDecoder>(std::move(bytes), dataAt, total, *format, outputRate);
}

}  // namespace pagemoor::audio
