#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "audio/Decoder.h"

namespace pagemoor::audio {

namespace {

// The output frame k of a stream depends only on the input around k * num /
// den, so a frame needs the input frame before and the two after its time.
constexpr std::uint64_t kLookAhead = 2;

std::int16_t Clamp16(double v) {
  const long r = std::lround(v);
  return static_cast<std::int16_t>(std::clamp<long>(r, -32768, 32767));
}

// Catmull-Rom between p1 and p2 at t in [0, 1): exact at the input frames,
// smooth across them, and cheap enough for the mixing thread.
double CatmullRom(double p0, double p1, double p2, double p3, double t) {
  return p1 + 0.5 * t * (p2 - p0 + t * (2 * p0 - 5 * p1 + 4 * p2 - p3 + t * (3 * (p1 - p2) + p3 - p0)));
}

}  // namespace

Resampler::Resampler(int inputRate, int outputRate)
    : m_inputRate(std::max(1, inputRate)), m_outputRate(std::max(1, outputRate)) {
  const auto g = std::gcd(m_inputRate, m_outputRate);
  m_num = static_cast<std::uint64_t>(m_inputRate / g);
  m_den = static_cast<std::uint64_t>(m_outputRate / g);
}

void Resampler::reset() {
  m_nextFrame = 0;
  m_nextRemainder = 0;
  m_inputSeen = 0;
  std::fill(std::begin(m_history), std::end(m_history), std::int16_t{0});
}

std::uint64_t Resampler::outputFrames(std::uint64_t inputFrames) const {
  // ceil(inputFrames * den / num), split so that nothing overflows.
  const std::uint64_t q = inputFrames / m_num;
  const std::uint64_t r = inputFrames % m_num;
  return q * m_den + (r * m_den + m_num - 1) / m_num;
}

std::uint64_t Resampler::seekOutput(std::uint64_t outputFrame) {
  reset();
  const std::uint64_t q = outputFrame / m_den;
  const std::uint64_t r = outputFrame % m_den;
  m_nextFrame = q * m_num + (r * m_num) / m_den;
  m_nextRemainder = (r * m_num) % m_den;
  if (m_num == m_den) {
    m_inputSeen = m_nextFrame;
  } else {
    m_inputSeen = m_nextFrame > 0 ? m_nextFrame - 1 : 0;
  }
  return m_inputSeen;
}

void Resampler::advance() {
  m_nextFrame += m_num / m_den;
  m_nextRemainder += m_num % m_den;
  if (m_nextRemainder >= m_den) {
    m_nextRemainder -= m_den;
    ++m_nextFrame;
  }
}

// Input frame `frame` (stream numbering) of one side: from this push's
// frames, else from the history; before the start the first frame, past
// the end the last one.
std::int16_t Resampler::sampleAt(std::int64_t frame, int side, const std::int16_t* in, std::uint64_t inBase,
                                 std::uint64_t inEnd) const {
  std::uint64_t f = frame < 0 ? 0 : static_cast<std::uint64_t>(frame);
  if (f >= inEnd) f = inEnd - 1;
  if (f >= inBase) return in[(f - inBase) * 2 + side];
  const std::uint64_t slot = f + 4 - inBase;  // the history holds inBase-4 .. inBase-1
  return m_history[slot * 2 + side];
}

void Resampler::emit(const std::int16_t* in, std::uint64_t inBase, std::uint64_t inEnd, std::uint64_t limit,
                     std::vector<std::int16_t>& out) {
  const double den = static_cast<double>(m_den);
  while (m_nextFrame < limit) {
    const auto i = static_cast<std::int64_t>(m_nextFrame);
    const double t = static_cast<double>(m_nextRemainder) / den;
    for (int side = 0; side < 2; ++side) {
      const double p0 = sampleAt(i - 1, side, in, inBase, inEnd);
      const double p1 = sampleAt(i, side, in, inBase, inEnd);
      const double p2 = sampleAt(i + 1, side, in, inBase, inEnd);
      const double p3 = sampleAt(i + 2, side, in, inBase, inEnd);
      out.push_back(m_nextRemainder == 0 ? static_cast<std::int16_t>(p1)
                                         : Clamp16(CatmullRom(p0, p1, p2, p3, t)));
    }
    advance();
  }
}

void Resampler::push(const std::int16_t* in, std::size_t frames, std::vector<std::int16_t>& out) {
  if (frames == 0) return;
  const std::uint64_t inBase = m_inputSeen;
  const std::uint64_t inEnd = inBase + frames;
  if (m_num == m_den) {
    out.insert(out.end(), in, in + frames * 2);
    m_nextFrame = inEnd;
  } else if (inEnd > kLookAhead) {
    emit(in, inBase, inEnd, inEnd - kLookAhead, out);
  }
  // Keep the last four frames for the outputs that the next push completes.
  if (frames >= 4) {
    std::memcpy(m_history, in + (frames - 4) * 2, sizeof m_history);
  } else {
    const std::size_t keep = (4 - frames) * 2;
    std::memmove(m_history, m_history + frames * 2, keep * sizeof(std::int16_t));
    std::memcpy(m_history + keep, in, frames * 2 * sizeof(std::int16_t));
  }
  m_inputSeen = inEnd;
}

void Resampler::flush(std::vector<std::int16_t>& out) {
  if (m_num == m_den || m_inputSeen == 0) return;
  emit(nullptr, m_inputSeen, m_inputSeen, m_inputSeen, out);
}

}  // namespace pagemoor::audio
