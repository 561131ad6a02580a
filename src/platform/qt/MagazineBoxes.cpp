#include "platform/qt/MagazineBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/qt/ScaledView.h"

namespace pagemoor {

namespace {

// Windows a box may belong to: shown, not a box being shown, not a popup or
// a tooltip.
bool CanOwn(const QWidget* window, const QWidget* box) {
  if (!window || window == box || !window->isVisible()) return false;
  const Qt::WindowType type = window->windowType();
  return type != Qt::Popup && type != Qt::ToolTip && type != Qt::SplashScreen && type != Qt::Desktop;
}

int Scaled(int value, double factor) {
  return static_cast<int>(std::lround(value * factor));
}

QStyle::StandardPixmap IconPixmapOf(QMessageBox::Icon icon) {
  switch (icon) {
    case QMessageBox::Information:
      return QStyle::SP_MessageBoxInformation;
    case QMessageBox::Warning:
      return QStyle::SP_MessageBoxWarning;
    case QMessageBox::Critical:
      return QStyle::SP_MessageBoxCritical;
    case QMessageBox::Question:
      return QStyle::SP_MessageBoxQuestion;
    case QMessageBox::NoIcon:
      break;
  }
  return QStyle::SP_CustomBase;
}

// A message box's icon drawn afresh at the scaled size: a scaled pixmap would
// be blurred. setIconPixmap would also forget which icon the box shows.
void ScaleMessageBoxIcon(QMessageBox& box, double factor) {
  const QStyle::StandardPixmap which = IconPixmapOf(box.icon());
  if (which == QStyle::SP_CustomBase) return;
  auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"));
  if (!label) return;
  const int size = Scaled(box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box), factor);
  label->setPixmap(box.style()->standardIcon(which, nullptr, &box).pixmap(QSize(size, size)));
}

}  // namespace

ScaledView* MagazineView() {
  if (auto* active = qobject_cast<ScaledView*>(QApplication::activeWindow()); active && active->isVisible())
    return active;
  // A full-screen window over the magazine was made after it: the last one
  // found is the one on top.
  ScaledView* found = nullptr;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (auto* view = qobject_cast<ScaledView*>(window); view && view->isVisible()) found = view;
  return found;
}

QWidget* BoxOwner(const QWidget* box) {
  if (QWidget* active = QApplication::activeWindow(); CanOwn(active, box)) return active;
  if (ScaledView* view = MagazineView(); CanOwn(view, box)) return view;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (CanOwn(window, box) && !qobject_cast<QDialog*>(window)) return window;
  return nullptr;
}

double BoxScale() {
  const ScaledView* view = MagazineView();
  return view ? std::max(1.0, view->scale()) : 1.0;
}

void ScaleBox(QWidget& box, double factor) {
  if (factor <= 1.0) return;
  box.ensurePolished();
  // Asking for the size hint also makes the controls a dialog makes late
  // (an input dialog's buttons).
  const QSize natural = box.sizeHint();
  // The buttons' natural sizes before the font grows: a style gives a button
  // a minimum width of its own that the font does not change, and the
  // buttons would stay where they are at the normal size.
  std::vector<std::pair<QAbstractButton*, QSize>> buttons;
  for (QAbstractButton* button : box.findChildren<QAbstractButton*>())
    buttons.emplace_back(button, button->sizeHint());

  QFont font = box.font();
  if (font.pointSizeF() > 0)
    font.setPointSizeF(font.pointSizeF() * factor);
  else
    font.setPixelSize(Scaled(font.pixelSize(), factor));
  box.setFont(font);

  for (QLayout* layout : box.findChildren<QLayout*>()) {
    const QMargins m = layout->contentsMargins();
    layout->setContentsMargins(Scaled(m.left(), factor), Scaled(m.top(), factor), Scaled(m.right(), factor),
                               Scaled(m.bottom(), factor));
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
      grid->setHorizontalSpacing(Scaled(std::max(0, grid->horizontalSpacing()), factor));
      grid->setVerticalSpacing(Scaled(std::max(0, grid->verticalSpacing()), factor));
    } else {
      layout->setSpacing(Scaled(std::max(0, layout->spacing()), factor));
    }
  }
  for (const auto& [button, natural] : buttons)
    button->setMinimumSize(std::max(button->minimumWidth(), Scaled(natural.width(), factor)),
                           std::max(button->minimumHeight(), Scaled(natural.height(), factor)));
  if (auto* messageBox = qobject_cast<QMessageBox*>(&box)) {
    // A message box sets its own size when it shows, from its layout.
    ScaleMessageBoxIcon(*messageBox, factor);
    return;
  }
  // Other dialogs open at their natural size, which a file dialog's lists do
  // not grow with the font.
  QSize size = (natural * factor).expandedTo(box.sizeHint());
  if (const QScreen* screen = box.screen()) size = size.boundedTo(screen->availableGeometry().size());
  box.resize(size);
}

void CentreOnMagazine(QWidget& box) {
  QWidget* over = MagazineView();
  if (!CanOwn(over, &box) && box.parentWidget()) over = box.parentWidget()->window();
  QScreen* screen = over && over->isVisible() ? over->screen() : box.screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QPoint centre = over && over->isVisible() ? over->geometry().center()
                        : screen                  ? screen->availableGeometry().center()
                                                  : box.geometry().center();
  QRect placed(centre - box.rect().center(), box.size());
  // A magazine window near the screen's edge must not push the box off it.
  if (screen) {
    const QRect area = screen->availableGeometry();
    placed.moveLeft(std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() + 1 - placed.width())));
    placed.moveTop(std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() + 1 - placed.height())));
  }
  box.move(placed.topLeft());
}

void AdoptBox(QDialog& box, QWidget* owner) {
  if (!owner) owner = BoxOwner(&box);
  // setParent resets the window flags: a dialog stays a dialog.
  if (owner && box.parentWidget() != owner) box.setParent(owner, box.windowFlags());
  box.setWindowModality(Qt::ApplicationModal);
  ScaleBox(box, BoxScale());
}

}  // namespace pagemoor
