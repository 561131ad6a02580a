#include "pictures/qt/GifPlayer.h"

namespace pagemoor {

namespace {

// Browsers show a frame of 0 or 1 hundredth for 100 ms; animations were made
// to look right there, and a zero delay must not spin the processor.
constexpr int kShortestDelayMs = 10;
constexpr int kDelayForShortFramesMs = 100;

}  // namespace

GifPlayer::GifPlayer(QObject* parent) : QObject(parent), m_timer(this) {
  m_timer.setSingleShot(true);
  connect(&m_timer, &QTimer::timeout, this, &GifPlayer::tick);
}

GifPlayer::~GifPlayer() = default;

void GifPlayer::setFrames(std::unique_ptr<GifAnimation> frames) {
  m_timer.stop();
  m_gif = std::move(frames);
  m_frame = 0;
  m_loopsDone = 0;
  if (!m_gif) return;
  showFrame(1);
  if (m_animate) scheduleNext();
}

void GifPlayer::setFrame(int n) {
  if (n < 1 || n > frameCount()) return;
  showFrame(n);
  if (m_timer.isActive()) scheduleNext();
}

void GifPlayer::setAnimate(bool on) {
  m_animate = on;
  // Started on the last frame, the step to the first one ends no round.
  m_loopsDone = m_frame == frameCount() ? -1 : 0;
  if (on)
    scheduleNext();
  else
    m_timer.stop();
}

void GifPlayer::setPaused(bool paused) {
  if (paused == m_paused) return;
  m_paused = paused;
  if (paused)
    m_timer.stop();
  else if (m_animate)
    scheduleNext();
}

void GifPlayer::tick() {
  if (m_animate && m_gif) advance();
}

int GifPlayer::pendingDelayMs() const {
  return m_timer.isActive() ? m_timer.interval() : -1;
}

void GifPlayer::showFrame(int n) {
  m_frame = n;
  emit frameShown(n);
}

void GifPlayer::advance() {
  int next = m_frame + 1;
  if (next > frameCount()) {
    ++m_loopsDone;
    const int loops = m_gif->loopCount();
    if (loops != 0 && m_loopsDone >= loops) {
      m_timer.stop();
      m_animate = false;
      return;
    }
    next = 1;
  }
  showFrame(next);
  scheduleNext();
}

void GifPlayer::scheduleNext() {
  if (!m_gif || frameCount() < 2 || m_paused) {
    m_timer.stop();
    return;
  }
  const int delay = m_gif->delayMs(m_frame - 1);
  m_timer.start(delay <= kShortestDelayMs ? kDelayForShortFramesMs : delay);
}

}  // namespace pagemoor
