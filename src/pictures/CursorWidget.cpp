#include "pictures/CursorWidget.h"

#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QVariant>
#include <algorithm>
#include <cstring>

#include "common/FileIo.h"
#include "common/MagazineFiles.h"

namespace pagemoor {
namespace {

// The widget's own record of the animated cursor it follows, so that a
// second one can take it over without the two fighting over its cursor.
constexpr char kFollowsProperty[] = "pagemoorAnimatedCursor";

AnimatedCursor* Following(QWidget* widget) {
  return qobject_cast<AnimatedCursor*>(widget->property(kFollowsProperty).value<QObject*>());
}

}  // namespace

std::optional<QCursor> CursorFromImage(const CursorImage& frame) {
  QImage image;
  if (!frame.image.empty()) {
    image = QImage(frame.image.width, frame.image.height, QImage::Format_RGBA8888);
    if (image.isNull()) return std::nullopt;
    const auto rowBytes = static_cast<std::size_t>(frame.image.width) * 4;
    for (int y = 0; y < frame.image.height; ++y)
      std::memcpy(image.scanLine(y), frame.image.pixel(0, y), rowBytes);
  } else if (!frame.png.empty()) {
    image = QImage::fromData(
        QByteArray::fromRawData(frame.png.data(), static_cast<qsizetype>(frame.png.size())), "PNG");
  }
  if (image.isNull()) return std::nullopt;
  const int hotX = std::clamp(frame.hotX, 0, image.width() - 1);
  const int hotY = std::clamp(frame.hotY, 0, image.height() - 1);
  return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

AnimatedCursor::AnimatedCursor(QObject* parent) : QObject(parent), m_timer(new QTimer(this)) {
  m_timer->setSingleShot(true);
  connect(m_timer, &QTimer::timeout, this, &AnimatedCursor::tick);
}

AnimatedCursor::AnimatedCursor(const CursorAnimation& animation, QObject* parent) : AnimatedCursor(parent) {
  std::vector<QCursor> frames;
  for (const CursorImage& image : animation.frames) {
    std::optional<QCursor> cursor = CursorFromImage(image);
    if (!cursor) return;  // a cursor with a hole in it is no cursor
    frames.push_back(std::move(*cursor));
  }
  for (const CursorAnimation::Step& step : animation.steps)
    if (step.frame >= 0 && step.frame < static_cast<int>(frames.size())) m_steps.push_back(step);
  if (!m_steps.empty()) m_frames = std::move(frames);
}

AnimatedCursor::~AnimatedCursor() {
  for (const QPointer<QWidget>& widget : m_widgets)
    if (widget && Following(widget) == this) widget->setProperty(kFollowsProperty, QVariant());
}

std::unique_ptr<AnimatedCursor> AnimatedCursor::fromFile(const std::string& hostPath, QObject* parent) {
  const std::optional<std::string> bytes = ReadMagazineFile(hostPath, FileKind::Picture);
  if (!bytes) return std::make_unique<AnimatedCursor>(parent);
  return fromBytes(*bytes, parent);
}

std::unique_ptr<AnimatedCursor> AnimatedCursor::fromBytes(std::string_view bytes, QObject* parent) {
  const std::optional<CursorAnimation> animation = ReadCursorFile(bytes);
  if (!animation) return std::make_unique<AnimatedCursor>(parent);
  return std::make_unique<AnimatedCursor>(*animation, parent);
}

int AnimatedCursor::currentFrame() const {
  return isValid() ? m_steps[m_step].frame : -1;
}

int AnimatedCursor::currentDelayMs() const {
  return isAnimated() ? m_steps[m_step].delayMs : 0;
}

QCursor AnimatedCursor::current() const {
  return isValid() ? m_frames[m_steps[m_step].frame] : QCursor(Qt::ArrowCursor);
}

QCursor AnimatedCursor::frameCursor(int frame) const {
  return frame >= 0 && frame < frameCount() ? m_frames[frame] : QCursor(Qt::ArrowCursor);
}

void AnimatedCursor::attach(QWidget* widget) {
  if (!widget) return;
  AnimatedCursor* previous = Following(widget);
  if (previous && previous != this) previous->detach(widget);
  if (previous != this) {
    m_widgets.emplace_back(widget);
    widget->setProperty(kFollowsProperty, QVariant::fromValue<QObject*>(this));
    // By the time destroyed() arrives the pointer may or may not read null
    // yet, so the widget is forgotten by its address.
    connect(widget, &QObject::destroyed, this, [this](QObject* gone) {
      std::erase_if(m_widgets, [gone](const QPointer<QWidget>& w) {
        return w.isNull() || static_cast<QObject*>(w.data()) == gone;
      });
      updateTimer();
    });
  }
  widget->setCursor(current());
  updateTimer();
}

void AnimatedCursor::detach(QWidget* widget) {
  if (!widget) return;
  const auto before = m_widgets.size();
  std::erase_if(m_widgets, [widget](const QPointer<QWidget>& w) { return w.isNull() || w.data() == widget; });
  if (m_widgets.size() != before) {
    disconnect(widget, &QObject::destroyed, this, nullptr);
    if (Following(widget) == this) widget->setProperty(kFollowsProperty, QVariant());
  }
  updateTimer();
}

void AnimatedCursor::detachFromAny(QWidget* widget) {
  if (!widget) return;
  if (AnimatedCursor* owner = Following(widget)) owner->detach(widget);
}

int AnimatedCursor::attachedCount() const {
  return static_cast<int>(std::count_if(m_widgets.begin(), m_widgets.end(),
                                        [](const QPointer<QWidget>& w) { return !w.isNull(); }));
}

bool AnimatedCursor::isRunning() const {
  return m_timer->isActive();
}

void AnimatedCursor::tick() {
  if (!isAnimated()) return;
  forgetOverridden();
  m_step = (m_step + 1) % stepCount();
  applyToAll();
  emit stepChanged(m_step);
  // The new step gets its whole delay, whether the timer or a caller moved on.
  m_timer->stop();
  updateTimer();
}

void AnimatedCursor::rewind() {
  if (!isValid() || m_step == 0) return;
  forgetOverridden();
  m_step = 0;
  applyToAll();
  emit stepChanged(m_step);
  m_timer->stop();
  updateTimer();
}

void AnimatedCursor::applyToAll() {
  forgetDestroyed();
  const QCursor cursor = current();
  for (const QPointer<QWidget>& widget : m_widgets) widget->setCursor(cursor);
}

void AnimatedCursor::forgetDestroyed() {
  std::erase_if(m_widgets, [](const QPointer<QWidget>& w) { return w.isNull(); });
}

void AnimatedCursor::forgetOverridden() {
  const QCursor shown = current();
  const std::vector<QPointer<QWidget>> widgets = m_widgets;
  for (const QPointer<QWidget>& widget : widgets)
    if (widget && !(widget->cursor() == shown)) detach(widget);
}

void AnimatedCursor::updateTimer() {
  forgetDestroyed();
  if (!isAnimated() || m_widgets.empty()) {
    m_timer->stop();
  } else if (!m_timer->isActive()) {
    m_timer->start(currentDelayMs());
  }
}

QCursor CursorSlot::cursor() const {
  return m_file ? m_file->current() : QCursor(m_shape);
}

void CursorSlot::applyTo(QWidget* widget) const {
  if (!widget) return;
  if (m_file) {
    m_file->attach(widget);
    return;
  }
  AnimatedCursor::detachFromAny(widget);
  widget->setCursor(m_shape);
}

}  // namespace pagemoor
