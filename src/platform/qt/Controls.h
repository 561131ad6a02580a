// The small windows' controls (launcher, installer, mailer) are made alike:
// Arial at pixel sizes, plain-text labels placed by their top-left corner and
// sized to their text, flat buttons with a bold caption, lime on black.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <optional>

class QLabel;
class QPushButton;
class QWidget;

namespace pagemoor {

inline const QColor kLime{0, 255, 0};

// The window flags of a small tool window whose title bar has only the close
// button.
inline constexpr Qt::WindowFlags kToolWindowFlags =
    Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// A small window of fixed client size on black that lives for the whole run
// and only hides: closing it never ends the application by itself.
void SetUpBlackToolWindow(QWidget* window, int clientWidth, int clientHeight);

QFont ArialFont(int pixelSize, bool bold = false);
// The colour of a widget's text (labels and buttons alike).
void SetTextColor(QWidget* widget, const QColor& color);
// A plain-text label at (left, top), sized to its text; without a font it
// keeps the parent's.
QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, const QString& text,
                  const QColor& color, const std::optional<QFont>& font = std::nullopt);
// A flat button with a bold 16-pixel Arial caption.
QPushButton* MakeFlatButton(QWidget* parent, const char* name, const QString& caption, QRect geometry,
                            const QColor& color);

}  // namespace pagemoor
