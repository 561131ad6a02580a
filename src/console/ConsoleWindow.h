// The console's own window: a stay-on-top tool window with the log above and
// the command edit line below. It only shows what TDebugBox2 tells it and hands
// the edit line's keys back; all of the console's logic stays in the core.
#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>
#include <string>
#include <vector>

#include "console/DebugBox2.h"

class QCloseEvent;
class QEvent;
class QLineEdit;
class QShowEvent;
class QTableView;

namespace pagemoor {

class ConsoleEdit;
class ConsoleLogView;

// Object names: the window "frmDebugBox", the log "lsbLog", the edit line
// "edtCommand".
//
// The log is a one-column QTableView rather than a QListWidget: a list view
// lays out every row again after each insertion, which makes a log of tens of
// thousands of lines, each shown and painted as it comes, quadratic.
class ConsoleWindow : public QWidget, public ConsoleView {
  Q_OBJECT

 public:
  // Attaches itself as the console's view. Parentless: the window belongs to
  // the application, not to the window that holds the console.
  explicit ConsoleWindow(TDebugBox2& console);
  ~ConsoleWindow() override;
  ConsoleWindow(const ConsoleWindow&) = delete;
  ConsoleWindow& operator=(const ConsoleWindow&) = delete;

  QTableView* logView() const;
  QLineEdit* editLine() const;

  // --- ConsoleView ---
  void lineAdded(const std::string& line) override;
  void linesReplaced(const std::vector<std::string>& lines) override;
  void setCaption(const std::string& caption) override;
  void setEditText(const std::string& text) override;
  // The rectangle is the outer window, frame included: the console places it
  // in a corner of the screen by its full size, so a client-sized window would
  // stick out by the frame at the right and bottom edges.
  void setWindowGeometry(const ConsoleRect& rect) override;
  void showWindow() override;
  void hideWindow() override;
  // The available area (without panels) of the window's screen.
  ConsoleRect screen() const override;
  // The magazine's scale on a large screen (MagazineBoxes.h); the fonts
  // follow it when the window shows.
  double scale() const override;
  void consoleGone() override;

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // The close button only hides the window, as the console keys do.
  void closeEvent(QCloseEvent* event) override;

 private:
  friend class ConsoleEdit;
  void forwardKey(char32_t key);
  void editedByUser(const QString& text);
  QSize frameExtra() const;
  void applyPlacement();
  void applyScale(double factor);

  TDebugBox2* m_console;  // null once the console is gone
  ConsoleLogView* m_log;
  ConsoleEdit* m_edit;
  QRect m_placement;         // as the console asked, frame included
  QSize m_placedFrameExtra;  // the frame's size when the placement was applied
  double m_fontScale = 1.0;  // the factor the fonts are drawn at
};

}  // namespace pagemoor
