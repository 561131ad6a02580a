// The pane's keys: Tab and Shift+Tab between the page's links, Enter on the
// marked one, Backspace and Alt+Left back. The arrows, Page Up/Down, Home and
// End stay the text browser's, which scrolls with them.
#include <QKeyEvent>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include "hypertext/HtmlPaneWidget.h"

namespace pagemoor {

std::vector<HtmlPaneWidget::LinkRun> HtmlPaneWidget::linkRuns() const {
  std::vector<LinkRun> runs;
  // Blocks come in document order, table cells included. A link whose words
  // change their look (bold inside it) or run on into the next paragraph is
  // still one stop.
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      const QTextCharFormat format = fragment.charFormat();
      if (!format.isAnchor() || format.anchorHref().isEmpty()) continue;
      const int start = fragment.position();
      const int end = start + fragment.length();
      if (!runs.empty() && runs.back().href == format.anchorHref() && start <= runs.back().end + 1) {
        runs.back().end = end;
        continue;
      }
      if (rawForUrl(QUrl(format.anchorHref())).empty()) continue;
      runs.push_back({start, end, format.anchorHref()});
    }
  }
  return runs;
}

std::string HtmlPaneWidget::FocusedLink() const {
  return m_focusedLink ? rawForUrl(QUrl(m_focusedLink->href)) : std::string();
}

bool HtmlPaneWidget::FocusNextLink(bool forward) {
  const std::vector<LinkRun> runs = linkRuns();
  if (runs.empty()) {
    clearLinkFocus();
    return false;
  }
  std::size_t next = forward ? 0 : runs.size() - 1;
  if (m_focusedLink) {
    // From the link the keyboard is on; round at either end.
    for (std::size_t i = 0; i < runs.size(); ++i) {
      if (runs[i].start != m_focusedLink->start) continue;
      next = forward ? (i + 1) % runs.size() : (i + runs.size() - 1) % runs.size();
      break;
    }
  }
  m_focusedLink = runs[next];
  markFocusedLink();
  return true;
}

void HtmlPaneWidget::markFocusedLink() {
  QList<QTextEdit::ExtraSelection> marks;
  if (m_focusedLink) {
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(document());
    mark.cursor.setPosition(m_focusedLink->start);
    mark.cursor.setPosition(m_focusedLink->end, QTextCursor::KeepAnchor);
    // The system's selection colours: readable on any page colour the
    // magazine chose, and unlike anything a page draws itself.
    mark.format.setBackground(palette().brush(QPalette::Active, QPalette::Highlight));
    mark.format.setForeground(palette().brush(QPalette::Active, QPalette::HighlightedText));
    marks.push_back(mark);
    // Both ends into view, the start last: a link longer than the pane
    // shows its beginning.
    QTextCursor place(document());
    place.setPosition(m_focusedLink->end);
    setTextCursor(place);
    ensureCursorVisible();
    place.setPosition(m_focusedLink->start);
    setTextCursor(place);
    ensureCursorVisible();
  }
  setExtraSelections(marks);
}

void HtmlPaneWidget::clearLinkFocus() {
  if (!m_focusedLink) return;
  m_focusedLink.reset();
  setExtraSelections({});
}

bool HtmlPaneWidget::focusNextPrevChild(bool next) {
  // A page without links keeps the keyboard too: the scroll and console
  // keys must still reach it.
  FocusNextLink(next);
  return true;
}

void HtmlPaneWidget::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  const int key = event->key();
  const bool back = (key == Qt::Key_Backspace && modifiers == Qt::NoModifier) ||
                    (key == Qt::Key_Left && modifiers == Qt::AltModifier) || key == Qt::Key_Back;
  if (back) {
    // The text browser's own history is not ours; going back is the
    // viewer's, with the page's right-click command.
    event->accept();
    if (OnRightClick) OnRightClick(this, std::string());
    return;
  }
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !(modifiers & (Qt::AltModifier | Qt::ControlModifier))) {
    // Only the marked link: the text browser would follow whatever link
    // its hidden text cursor happens to stand before.
    event->accept();
    if (m_focusedLink) {
      const std::string raw = FocusedLink();
      if (!raw.empty()) activate(raw);
    }
    return;
  }
  QTextBrowser::keyPressEvent(event);
}

}  // namespace pagemoor
