#include "pictures/GifImageWidget.h"

#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/MagazineFiles.h"
#include "pictures/PictureDecoder.h"
#include "pictures/qt/QtPictures.h"

namespace pagemoor {

namespace {

// Browsers show a frame of 0 or 1 hundredth for 100 ms; animations were made
// to look right there, and a zero delay must not spin the processor.
constexpr int kShortestDelayMs = 10;
constexpr int kDelayForShortFramesMs = 100;

}  // namespace

// The timer is the control's child, so that it can be found among them.
GifImageWidget::GifImageWidget(QWidget* parent) : ImageWidget(parent), m_timer(this) {
  m_timer.setSingleShot(true);
  connect(&m_timer, &QTimer::timeout, this, &GifImageWidget::tick);
}

GifImageWidget::~GifImageWidget() = default;

bool GifImageWidget::LoadFromFile(const std::string& path) {
  std::optional<std::string> bytes = ReadMagazineFile(HostPath(path), FileKind::Picture);
  return load(bytes ? *bytes : std::string_view(), path);
}

bool GifImageWidget::LoadFromBytes(std::string bytes) {
  return load(bytes, {});
}

bool GifImageWidget::load(std::string_view bytes, std::string_view nameHint) {
  m_timer.stop();
  // Any picture the image control shows shows here too, a still one as a
  // single frame.
  PictureResult decoded = DecodePicture(bytes, nameHint, {.frames = PictureFrames::All});
  m_gif = decoded ? std::move(decoded.picture().frames) : nullptr;
  m_frame = 0;
  m_loopsDone = 0;
  if (!m_gif) {
    clearPicture();
    return false;
  }
  showFrame(1);
  if (m_animate) scheduleNext();
  return true;
}

int GifImageWidget::FrameCount() const {
  return m_gif ? m_gif->frameCount() : 0;
}

void GifImageWidget::setFrame(int n) {
  if (n < 1 || n > FrameCount()) return;
  showFrame(n);
  if (m_timer.isActive()) scheduleNext();
}

void GifImageWidget::setAnimate(bool on) {
  m_animate = on;
  // Started on the last frame, the step to the first one ends no round.
  m_loopsDone = m_frame == FrameCount() ? -1 : 0;
  if (on)
    scheduleNext();
  else
    m_timer.stop();
}

void GifImageWidget::tick() {
  if (m_animate && m_gif) advance();
}

int GifImageWidget::pendingDelayMs() const {
  return m_timer.isActive() ? m_timer.interval() : -1;
}

void GifImageWidget::showFrame(int n) {
  m_frame = n;
  setPicture(ToQImage(m_gif->frame(n - 1)));
}

void GifImageWidget::advance() {
  int next = m_frame + 1;
  if (next > FrameCount()) {
    ++m_loopsDone;
    const int loops = m_gif->loopCount();
    if (loops != 0 && m_loopsDone >= loops) {
      stopAnimation();
      return;
    }
    next = 1;
  }
  showFrame(next);
  scheduleNext();
}

void GifImageWidget::scheduleNext() {
  if (!m_gif || FrameCount() < 2) {
    m_timer.stop();
    return;
  }
  const int delay = m_gif->delayMs(m_frame - 1);
  m_timer.start(delay <= kShortestDelayMs ? kDelayForShortFramesMs : delay);
}

void GifImageWidget::stopAnimation() {
  m_timer.stop();
  m_animate = false;
}

}  // namespace pagemoor
