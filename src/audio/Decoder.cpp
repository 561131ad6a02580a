#include "audio/Decoder.h"

#include <algorithm>
#include <cstring>

namespace pagemoor::audio {

namespace {

// Source frames decoded per step: small enough for the mixing thread's
// blocks, large enough that the per-call overhead does not show.
constexpr std::size_t kSourceBlockFrames = 1024;

bool IsRiffWave(const std::string& bytes) {
  return bytes.size() >= 12 && bytes.compare(0, 4, "RIFF") == 0 && bytes.compare(8, 4, "WAVE") == 0;
}

}  // namespace

ResampledDecoder::ResampledDecoder(int sourceRate, int outputRate, std::uint64_t sourceFrames)
    : m_resampler(sourceRate, outputRate), m_sourceFrames(sourceFrames) {}

std::uint64_t ResampledDecoder::lengthFrames() const {
  return m_resampler.outputFrames(m_sourceFrames);
}

std::size_t ResampledDecoder::read(std::int16_t* out, std::size_t frames) {
  // Never past the length: a source that decodes a little more than it
  // announced must not make the position run beyond it.
  const std::uint64_t length = lengthFrames();
  frames = static_cast<std::size_t>(std::min<std::uint64_t>(frames, length - std::min(length, m_position)));
  std::size_t done = 0;
  while (done < frames) {
    if (m_pendingAt < m_pending.size()) {
      const std::size_t n = std::min(frames - done, (m_pending.size() - m_pendingAt) / 2);
      std::memcpy(out + done * 2, m_pending.data() + m_pendingAt, n * 2 * sizeof(std::int16_t));
      m_pendingAt += n * 2;
      done += n;
      continue;
    }
    m_pending.clear();
    m_pendingAt = 0;
    if (m_sourceEnded) break;
    m_block.resize(kSourceBlockFrames * 2);
    const std::size_t got = readSource(m_block.data(), kSourceBlockFrames);
    if (got == 0) {
      m_resampler.flush(m_pending);
      m_sourceEnded = true;
    } else {
      m_resampler.push(m_block.data(), std::min(got, kSourceBlockFrames), m_pending);
    }
  }
  m_position += done;
  return done;
}

bool ResampledDecoder::seek(std::uint64_t frame) {
  frame = std::min(frame, lengthFrames());
  m_pending.clear();
  m_pendingAt = 0;
  const std::uint64_t first = m_resampler.seekOutput(frame);
  m_position = frame;
  if (first >= m_sourceFrames) {
    m_sourceEnded = true;
    return true;
  }
  m_sourceEnded = !seekSource(first);
  return !m_sourceEnded;
}

std::unique_ptr<Decoder> OpenStream(std::string bytes, int outputRate) {
  if (IsRiffWave(bytes)) {
    // A RIFF file that our reader refuses may still be MPEG audio in a WAVE
    // wrapper (format 0x55), which libmpg123 reads past.
    if (auto wav = OpenWav(bytes, outputRate)) return wav;
  }
  return OpenMp3(std::move(bytes), outputRate);
}

std::optional<std::vector<std::int16_t>> DecodeWhole(std::string bytes, int outputRate,
                                                     std::uint64_t maxFrames) {
  auto decoder = OpenStream(std::move(bytes), outputRate);
  if (!decoder || decoder->lengthFrames() > maxFrames) return std::nullopt;
  std::vector<std::int16_t> frames(static_cast<std::size_t>(decoder->lengthFrames()) * 2);
  std::size_t have = 0;
  while (have * 2 < frames.size()) {
    const std::size_t got = decoder->read(frames.data() + have * 2, frames.size() / 2 - have);
    if (got == 0) break;
    have += got;
  }
  frames.resize(have * 2);
  return frames;
}

}  // namespace pagemoor::audio
