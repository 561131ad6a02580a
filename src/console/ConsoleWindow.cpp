#include "console/ConsoleWindow.h"
#include "platform/qt/MagazineBoxes.h"
#include "platform/qt/QtText.h"

#include <QAbstractListModel>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStringList>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace pagemoor {

namespace {

std::string FromQt(const QString& text) {
  return text.toUtf8().toStdString();
}

// The console key a typed text stands for, or 0.
char32_t ConsoleKeyOf(const QString& text) {
  const QList<uint> codes = text.toUcs4();
  if (codes.size() != 1) return 0;
  const auto key = static_cast<char32_t>(codes.front());
  return IsConsoleKey(key) ? key : 0;
}

// Append-only list of log lines for the view.
class LogModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= m_lines.size()) return {};
    return role == Qt::DisplayRole ? QVariant(m_lines.at(index.row())) : QVariant();
  }

  const QStringList& lines() const { return m_lines; }

  void append(const QString& line) {
    const int row = static_cast<int>(m_lines.size());
    beginInsertRows(QModelIndex(), row, row);
    m_lines.append(line);
    endInsertRows();
  }

  void replace(QStringList lines) {
    beginResetModel();
    m_lines = std::move(lines);
    endResetModel();
  }

 private:
  QStringList m_lines;
};

}  // namespace

// The log: one column as wide as the widest line (or the viewport), so that a
// long line scrolls sideways instead of being cut off. The widest line is
// tracked as lines arrive; measuring only the new one keeps an append cheap.
class ConsoleLogView : public QTableView {
 public:
  ConsoleLogView(const QFont& font, QWidget* parent) : QTableView(parent), m_model(new LogModel(this)) {
    setModel(m_model);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setLogFont(font);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    // One column wider than the view: scrolling per item would jump over it.
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Small: the console may be made tiny, and the layout must not refuse it.
    setMinimumSize(1, 1);
    fitColumn();
  }

  // The rows follow the font's height, the column its widest line.
  void setLogFont(const QFont& font) {
    setFont(font);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 2);
    m_widest = 0;
    for (const QString& line : m_model->lines()) measure(line);
    fitColumn();
  }

  void append(const QString& line) {
    m_model->append(line);
    if (measure(line)) fitColumn();
    showLast();
  }

  void replace(QStringList lines) {
    m_widest = 0;
    for (const QString& line : lines) measure(line);
    m_model->replace(std::move(lines));
    fitColumn();
    showLast();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QTableView::resizeEvent(event);
    fitColumn();
  }

 private:
  // True when the line is the widest so far.
  bool measure(const QString& line) {
    const int width = fontMetrics().horizontalAdvance(line);
    if (width <= m_widest) return false;
    m_widest = width;
    return true;
  }

  void fitColumn() {
    // Room for the cell's text margins on both sides.
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 2;
    const int width = std::max(m_widest + margin, viewport()->width());
    if (horizontalHeader()->sectionSize(0) != width) setColumnWidth(0, width);
  }

  // Selects the last line, brings it into view and paints now: the line must
  // show even while a long operation keeps the event loop from running.
  void showLast() {
    const int rows = m_model->rowCount();
    if (rows == 0) {
      clearSelection();
      viewport()->repaint();
      return;
    }
    // Making a row current scrolls its cell's left edge into view; a reader
    // who scrolled sideways to follow long lines keeps the place.
    const int horizontal = horizontalScrollBar()->value();
    setCurrentIndex(m_model->index(rows - 1));
    scrollToBottom();
    horizontalScrollBar()->setValue(horizontal);
    viewport()->repaint();
  }

  LogModel* m_model;
  int m_widest = 0;
};

// Hands the console keys and Enter to the console instead of editing with them.
class ConsoleEdit : public QLineEdit {
 public:
  ConsoleEdit(ConsoleWindow& window, QWidget* parent) : QLineEdit(parent), m_window(window) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      event->accept();
      m_window.forwardKey(kEnterKey);
      return;
    }
    if (const char32_t key = ConsoleKeyOf(event->text())) {
      event->accept();
      m_window.forwardKey(key);
      return;
    }
    QLineEdit::keyPressEvent(event);
  }

  // A key composed by an input method (a dead key and a space, say) arrives
  // here rather than as a key press.
  void inputMethodEvent(QInputMethodEvent* event) override {
    const char32_t key = event->preeditString().isEmpty() ? ConsoleKeyOf(event->commitString()) : 0;
    if (!key) {
      QLineEdit::inputMethodEvent(event);
      return;
    }
    QInputMethodEvent withoutCommit(QString(), event->attributes());
    QLineEdit::inputMethodEvent(&withoutCommit);
    event->accept();
    m_window.forwardKey(key);
  }

 private:
  ConsoleWindow& m_window;
};

namespace {

// The console's fonts at the normal size: small, so that the log shows many
// lines in a corner of the screen.
QFont ConsoleFont(int pointSize, double factor) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPointSizeF(pointSize * factor);
  return font;
}
constexpr int kLogPoints = 7;
constexpr int kEditPoints = 8;

}  // namespace

ConsoleWindow::ConsoleWindow(TDebugBox2& console)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_console(&console),
      m_log(new ConsoleLogView(ConsoleFont(kLogPoints, 1.0), this)),
      m_edit(new ConsoleEdit(*this, this)) {
  setObjectName(QStringLiteral("frmDebugBox"));
  m_log->setObjectName(QStringLiteral("lsbLog"));
  m_edit->setObjectName(QStringLiteral("edtCommand"));

  m_edit->setFont(ConsoleFont(kEditPoints, 1.0));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_log, 1);
  layout->addWidget(m_edit);
  setFocusProxy(m_edit);

  // textEdited, not textChanged: the console's own setEditText must not come
  // back to it.
  connect(m_edit, &QLineEdit::textEdited, this, [this](const QString& text) { editedByUser(text); });

  console.setView(this);
}

ConsoleWindow::~ConsoleWindow() {
  if (m_console && m_console->view() == this) m_console->setView(nullptr);
}

QTableView* ConsoleWindow::logView() const {
  return m_log;
}

QLineEdit* ConsoleWindow::editLine() const {
  return m_edit;
}

void ConsoleWindow::lineAdded(const std::string& line) {
  m_log->append(ToQt(line));
}

void ConsoleWindow::linesReplaced(const std::vector<std::string>& lines) {
  QStringList items;
  items.reserve(static_cast<qsizetype>(lines.size()));
  for (const std::string& line : lines) items.append(ToQt(line));
  m_log->replace(std::move(items));
}

void ConsoleWindow::setCaption(const std::string& caption) {
  setWindowTitle(ToQt(caption));
}

void ConsoleWindow::setEditText(const std::string& text) {
  const QString value = ToQt(text);
  // setText would also throw away the cursor position and the undo history.
  if (m_edit->text() != value) m_edit->setText(value);
}

void ConsoleWindow::setWindowGeometry(const ConsoleRect& rect) {
  m_placement = QRect(rect.x, rect.y, rect.width, rect.height);
  applyPlacement();
}

QSize ConsoleWindow::frameExtra() const {
  return frameGeometry().size() - geometry().size();
}

void ConsoleWindow::applyPlacement() {
  if (!m_placement.isValid()) return;
  // The frame is only known once the window system has decorated the window;
  // until then it counts as none, and event() places the window again.
  m_placedFrameExtra = frameExtra();
  resize(std::max(1, m_placement.width() - m_placedFrameExtra.width()),
         std::max(1, m_placement.height() - m_placedFrameExtra.height()));
  // For a window, move() sets the position of the frame's corner.
  move(m_placement.topLeft());
}

bool ConsoleWindow::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
      if (m_placement.isValid() && frameExtra() != m_placedFrameExtra) applyPlacement();
      break;
    default:
      break;
  }
  return handled;
}

double ConsoleWindow::scale() const {
  return BoxScale();
}

void ConsoleWindow::applyScale(double factor) {
  if (factor == m_fontScale) return;
  m_fontScale = factor;
  m_log->setLogFont(ConsoleFont(kLogPoints, factor));
  m_edit->setFont(ConsoleFont(kEditPoints, factor));
}

void ConsoleWindow::showWindow() {
  applyScale(BoxScale());
  show();
  raise();
  activateWindow();
  m_edit->setFocus(Qt::ActiveWindowFocusReason);
}

void ConsoleWindow::hideWindow() {
  hide();
}

ConsoleRect ConsoleWindow::screen() const {
  const QScreen* s = QWidget::screen();
  if (!s) s = QGuiApplication::primaryScreen();
  if (!s) return {};
  const QRect area = s->availableGeometry();
  return {area.x(), area.y(), area.width(), area.height()};
}

void ConsoleWindow::consoleGone() {
  m_console = nullptr;
}

void ConsoleWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_edit->setFocus(Qt::ActiveWindowFocusReason);
}

void ConsoleWindow::closeEvent(QCloseEvent* event) {
  // Accepting hides the window; nothing deletes it, and the console's Visible
  // stays as it was.
  event->accept();
}

void ConsoleWindow::forwardKey(char32_t key) {
  if (!m_console) return;
  // The console parses its own copy of the line; make sure it is the one shown.
  if (key == kEnterKey) m_console->setEditText(FromQt(m_edit->text()));
  // Nothing of this window may be used after the call: a command may close
  // the program.
  m_console->EditKeyPress(static_cast<QLineEdit*>(m_edit), key);
}

void ConsoleWindow::editedByUser(const QString& text) {
  if (m_console) m_console->setEditText(FromQt(text));
}

}  // namespace pagemoor
