#include "viewer/MainWindow.h"

#include <QLabel>
#include <QPointer>
#include <algorithm>

#include "common/HostPaths.h"
#include "common/Strings.h"
#include "console/DebugBox2.h"
#include "hypertext/HtmlPaneWidget.h"
#include "pictures/GifImageWidget.h"
#include "platform/Platform.h"
#include "platform/qt/QtText.h"

// The image buttons: created from their INI file, lit under the mouse, and
// running their command when clicked.
//
// A button's command may destroy every button, the clicked one included
// ("reset_buttons" on a button). The clicked control is still inside its own
// mouse handler then, so controls are never deleted at once: DestroyButtons
// takes them out of the list, hides them and leaves the deleting to the event
// loop. A handler whose control is no longer in the list does nothing.

namespace pagemoor {

namespace {

constexpr const char* kSystem = "System";
constexpr const char* kButtonPrefix = "PMB_";
// The control's number, as the old controls' tag held it.
constexpr const char* kTagProperty = "tag";

}  // namespace

void TfrmMain::cmdReset_Buttons(Sender /*sender*/, const std::string& params) {
  if (!FileExists(ProjectDir() + "ini\\" + params)) return;
  m_log.Log(kSystem, "Reset Buttons (" + params + ")");
  m_log.Log(kSystem, "Destroy Buttons");
  DestroyButtons();
  CreateButtons(params);
  m_log.Log(kSystem, "Reset Complete");
}

void TfrmMain::CreateButtons(const std::string& fileName) {
  m_log.Log(kSystem, "Creating Buttons ...");
  // Normally done by the reset already; never leaves controls without a list.
  DestroyButtons();
  // A cursor that is no number throws here, before any control exists.
  std::vector<ButtonRecord> records = ReadButtonRecords(ProjectDir() + "ini\\" + fileName);
  m_buttonRecords = std::move(records);
  if (m_buttonRecords.empty()) return;

  std::vector<GifImageWidget*> buttons;
  const int count = static_cast<int>(m_buttonRecords.size());
  for (int k = 1; k <= count; ++k) {
    const ButtonRecord& record = m_buttonRecords[static_cast<std::size_t>(k - 1)];
    auto* button = new GifImageWidget(this);
    button->setObjectName(QString::fromLatin1(kButtonPrefix) + QString::number(k));
    button->setProperty(kTagProperty, k);
    // On the desktop picture and the title picture, under the panes and the
    // console button, later buttons over earlier ones.
    button->stackUnder(m_htmlMain);
    // A missing or unreadable file leaves the button without a picture.
    button->LoadFromFile(record.file);
    button->move(record.left, record.top);
    button->resize(record.width, record.height);
    button->setAutoSize(record.autosize);
    button->setStretch(record.stretch);
    button->setAnimate(!record.normal);
    cursorSlot(record.cursor).applyTo(button);

    const QPointer<GifImageWidget> guarded(button);
    button->OnMouseMove = [this, guarded](ImageWidget*, Qt::KeyboardModifiers, int, int) {
      runGuarded([&] { ButtonMouseMove(guarded.data()); });
    };
    button->OnMouseDown = [this, guarded](ImageWidget*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
      runGuarded([&] { ButtonMouseDown(guarded.data()); });
    };
    button->OnClick = [this, guarded](ImageWidget*) {
      runGuarded([&] { ButtonMouseClick(guarded.data()); });
    };
    button->OnMouseUp = [this, guarded](ImageWidget*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
      runGuarded([&] { ButtonMouseUp(guarded.data()); });
    };
    button->setHint(ToQt(record.hint));
    button->show();
    buttons.push_back(button);
  }
  m_buttons = std::move(buttons);
}

void TfrmMain::DestroyButtons() {
  std::vector<GifImageWidget*> buttons;
  buttons.swap(m_buttons);
  m_buttonRecords.clear();
  for (GifImageWidget* button : buttons) {
    // The name goes too, so a new button of the same number is the only one
    // of that name while the old control waits to be deleted.
    button->setObjectName(QString());
    button->setAnimate(false);
    button->hide();
    button->deleteLater();
  }
}

namespace {

// The button's number when it is one of the window's current buttons, else 0.
int NumberOf(const std::vector<GifImageWidget*>& buttons, const GifImageWidget* button) {
  if (button == nullptr) return 0;
  const auto it = std::find(buttons.begin(), buttons.end(), button);
  return it == buttons.end() ? 0 : button->property(kTagProperty).toInt();
}

}  // namespace

void TfrmMain::ButtonMouseMove(GifImageWidget* control) {
  const int number = NumberOf(m_buttons, control);
  if (number == 0) return;
  m_lblAC->setText(QString::number(number));
  if (buttonRecord(number)->normal) control->setFrame(2);
  for (int i = 1; i <= buttonCount(); ++i) {
    if (i != number && buttonRecord(i)->normal) button(i)->setFrame(1);
  }
}

void TfrmMain::ButtonMouseDown(GifImageWidget* control) {
  const int number = NumberOf(m_buttons, control);
  if (number == 0) return;
  if (buttonRecord(number)->normal) control->setFrame(3);
}

void TfrmMain::ButtonMouseUp(GifImageWidget* control) {
  // After a click whose command destroyed the buttons there is nothing to light.
  if (NumberOf(m_buttons, control) == 0) return;
  ButtonMouseMove(control);
  platform().processEvents();
}

void TfrmMain::ButtonMouseClick(GifImageWidget* control) {
  const int number = NumberOf(m_buttons, control);
  if (number == 0) return;
  if (buttonRecord(number)->normal) control->setFrame(3);
  m_sndLabel->setText(QStringLiteral("0"));
  playConfiguredSound("sounds.ini", "link_click");
  const int named = StrToInt(control->objectName().mid(4).toStdString());
  const ButtonRecord* record = buttonRecord(named);
  if (record == nullptr) return;
  // A copy: the command may destroy the buttons and their records.
  const std::string command = record->command;
  runConsoleLine(command);
  // Nothing here may touch the control any more.
}

GifImageWidget* TfrmMain::button(int n) const {
  return n >= 1 && n <= buttonCount() ? m_buttons[static_cast<std::size_t>(n - 1)] : nullptr;
}

const ButtonRecord* TfrmMain::buttonRecord(int n) const {
  return n >= 1 && n <= static_cast<int>(m_buttonRecords.size())
             ? &m_buttonRecords[static_cast<std::size_t>(n - 1)]
             : nullptr;
}

}  // namespace pagemoor
