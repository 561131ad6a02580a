#include "viewer/qt/ImageButtons.h"

#include <QPointer>
#include <algorithm>

#include "pictures/CursorWidget.h"
#include "pictures/GifImageWidget.h"
#include "platform/qt/QtText.h"

namespace pagemoor {

namespace {

constexpr const char* kButtonPrefix = "PMB_";
// The control's number, as the old controls' tag held it.
constexpr const char* kTagProperty = "tag";

}  // namespace

ImageButtons::ImageButtons(QWidget* parent, QWidget* under, CursorOf cursorOf, Handler handler)
    : m_parent(parent), m_under(under), m_cursorOf(std::move(cursorOf)), m_handler(std::move(handler)) {}

void ImageButtons::create(const std::vector<ButtonRecord>& records) {
  destroy();
  int k = 0;
  for (const ButtonRecord& record : records) {
    ++k;
    auto* button = new GifImageWidget(m_parent);
    button->setObjectName(QString::fromLatin1(kButtonPrefix) + QString::number(k));
    button->setProperty(kTagProperty, k);
    // On the desktop picture and the title picture, under the panes and the
    // console button, later buttons over earlier ones.
    button->stackUnder(m_under);
    // A missing or unreadable file leaves the button without a picture.
    button->LoadFromFile(record.file);
    button->move(record.left, record.top);
    button->resize(record.width, record.height);
    button->setAutoSize(record.autosize);
    button->setStretch(record.stretch);
    button->setAnimate(!record.normal);
    m_cursorOf(record.cursor).applyTo(button);

    const QPointer<GifImageWidget> guarded(button);
    button->OnMouseMove = [this, guarded](ImageWidget*, Qt::KeyboardModifiers, int, int) {
      m_handler(Event::Move, guarded.data());
    };
    button->OnMouseDown = [this, guarded](ImageWidget*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
      m_handler(Event::Down, guarded.data());
    };
    button->OnClick = [this, guarded](ImageWidget*) { m_handler(Event::Click, guarded.data()); };
    button->OnMouseUp = [this, guarded](ImageWidget*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
      m_handler(Event::Up, guarded.data());
    };
    button->setHint(ToQt(record.hint));
    button->show();
    m_controls.push_back(button);
  }
}

void ImageButtons::destroy() {
  std::vector<GifImageWidget*> controls;
  controls.swap(m_controls);
  for (GifImageWidget* button : controls) {
    // The name goes too, so a new button of the same number is the only one
    // of that name while the old control waits to be deleted.
    button->setObjectName(QString());
    button->setAnimate(false);
    button->hide();
    button->deleteLater();
  }
}

GifImageWidget* ImageButtons::control(int n) const {
  return n >= 1 && n <= count() ? m_controls[static_cast<std::size_t>(n - 1)] : nullptr;
}

int ImageButtons::numberOf(const GifImageWidget* control) const {
  if (control == nullptr) return 0;
  const auto it = std::find(m_controls.begin(), m_controls.end(), control);
  return it == m_controls.end() ? 0 : control->property(kTagProperty).toInt();
}

}  // namespace pagemoor
