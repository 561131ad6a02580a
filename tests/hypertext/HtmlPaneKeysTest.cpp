// The pane's keys under the offscreen platform: Tab and Shift+Tab between
// the links of a page, the mark on the link, Enter on it, and the keys that
// go back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "hypertext/HtmlPaneWidget.h"
#include "support/QtPump.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

// A page that starts with a link (so a stray Enter would have one to
// follow), one written with spaces and capitals, one broken over two lines
// and one in a table cell.
constexpr const char* kLinks =
    "<p><a href=\"first.htm\">One</a> and text</p>"
    "<p>More text <a href=\"CON_COM:load_main x.htm\">Two words</a></p>"
    "<p><a href=\"broken.htm\">Three<br>lines</a></p>"
    "<table><tr><td>cell</td><td><a href=\"cell.htm\">Four</a></td></tr></table>";

class HtmlPaneKeysTest : public ::testing::Test {
 protected:
  HtmlPaneKeysTest() {
    pane = new HtmlPaneWidget(&window);
    other = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(pane);
    layout->addWidget(other);
    window.resize(400, 330);
    window.show();
    window.activateWindow();
    // Focus moves only in the active window.
    EXPECT_TRUE(test::PumpUntil([this] { return window.isActiveWindow(); }));
    pane->OnHotSpotClick = [this](HtmlPaneWidget::Sender, const std::string& src, bool& handled) {
      clicks.push_back(src);
      handled = true;
    };
    pane->OnRightClick = [this](HtmlPaneWidget::Sender sender, const std::string& parameters) {
      EXPECT_EQ(sender, pane);
      rightClicks.push_back(parameters);
    };
    pane->setFocus();
  }

  void load(const std::string& body) {
    ASSERT_TRUE(pane->LoadDocument(folder.write("page.htm", "<html><body>" + body + "</body></html>")));
  }
  void key(int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, code, modifiers);
    QApplication::sendEvent(pane, &press);
    QKeyEvent release(QEvent::KeyRelease, code, modifiers);
    QApplication::sendEvent(pane, &release);
  }
  // The text under the mark, blanks as the engine keeps them.
  std::string marked() const {
    const auto marks = pane->extraSelections();
    if (marks.size() != 1) return marks.empty() ? "" : "several marks";
    QString text = marks.front().cursor.selectedText();
    for (const QChar lineBreak : {QChar(QChar::ParagraphSeparator), QChar(QChar::LineSeparator)})
      text.replace(lineBreak, QLatin1Char(' '));
    return text.toStdString();
  }

  test::TempFolder folder;
  QWidget window;
  HtmlPaneWidget* pane;
  QLineEdit* other;
  std::vector<std::string> clicks, rightClicks;
};

TEST_F(HtmlPaneKeysTest, TabAndShiftTabStepRoundTheLinksAndEnterFollowsOnlyTheMarkedOne) {
  struct Case {
    std::vector<int> keys;  // Qt::Key_Tab or Qt::Key_Backtab
    std::string link;       // the link the keyboard is on, as written
    std::string text;       // under the mark
  };
  const int tab = Qt::Key_Tab;
  const int back = Qt::Key_Backtab;
  const Case cases[] = {
      {{}, "", ""},
      {{tab}, "first.htm", "One"},
      {{tab, tab}, "CON_COM:load_main x.htm", "Two words"},
      {{tab, tab, tab}, "broken.htm", "Three lines"},
      {{tab, tab, tab, tab}, "cell.htm", "Four"},
      {{tab, tab, tab, tab, tab}, "first.htm", "One"},
      {{back}, "cell.htm", "Four"},
      {{tab, back}, "cell.htm", "Four"},
      {{tab, tab, tab, back}, "CON_COM:load_main x.htm", "Two words"},
  };
  for (const Case& c : cases) {
    load(kLinks);
    clicks.clear();
    std::string trace;
    for (const int code : c.keys) {
      key(code, code == back ? Qt::ShiftModifier : Qt::NoModifier);
      trace += code == tab ? "Tab " : "Shift+Tab ";
    }
    EXPECT_EQ(pane->FocusedLink(), c.link) << trace;
    EXPECT_EQ(marked(), c.text) << trace;
    // Tab never leaves the pane for the next control.
    EXPECT_EQ(QApplication::focusWidget(), pane) << trace;
    key(Qt::Key_Return);
    EXPECT_EQ(clicks, c.link.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.link}) << trace;
  }
}

TEST_F(HtmlPaneKeysTest, TheMarkedLinkIsScrolledIntoViewAndANewPageHasNone) {
  std::string body;
  for (int i = 0; i < 80; ++i) body += "<p>Line " + std::to_string(i) + "</p>";
  load(body + "<p><a href=\"far.htm\">Far down</a></p>");
  ASSERT_GT(pane->verticalScrollBar()->maximum(), 0);
  key(Qt::Key_Tab);
  EXPECT_EQ(pane->FocusedLink(), "far.htm");
  const QTextCursor link = pane->document()->find(QStringLiteral("Far down"));
  ASSERT_FALSE(link.isNull());
  QTextCursor start(pane->document());
  start.setPosition(link.selectionStart());
  EXPECT_TRUE(pane->viewport()->rect().contains(pane->cursorRect(start)));

  load(kLinks);
  EXPECT_EQ(pane->FocusedLink(), "");
  EXPECT_EQ(marked(), "");
  key(Qt::Key_Return);
  EXPECT_TRUE(clicks.empty());

  // Without a link Tab marks nothing and the keys stay here.
  load("<p>No links at all</p>");
  key(Qt::Key_Tab);
  EXPECT_EQ(pane->FocusedLink(), "");
  EXPECT_EQ(QApplication::focusWidget(), pane);
}

TEST_F(HtmlPaneKeysTest, BackspaceAltLeftAndTheBackKeyGoBackAsTheRightButtonDoes) {
  struct Case {
    int key;
    Qt::KeyboardModifiers modifiers;
    bool back;
  };
  const Case cases[] = {
      {Qt::Key_Backspace, Qt::NoModifier, true}, {Qt::Key_Left, Qt::AltModifier, true},
      {Qt::Key_Back, Qt::NoModifier, true},      {Qt::Key_Left, Qt::NoModifier, false},
      {Qt::Key_Backspace, Qt::ControlModifier, false}, {Qt::Key_Right, Qt::AltModifier, false},
  };
  for (const Case& c : cases) {
    load(kLinks);
    key(Qt::Key_Tab);
    rightClicks.clear();
    key(c.key, c.modifiers);
    // The right button's event, without the click's parameters.
    EXPECT_EQ(rightClicks, c.back ? std::vector<std::string>{""} : std::vector<std::string>{})
        << c.key << " " << c.modifiers.toInt();
    EXPECT_TRUE(clicks.empty());
  }
}

}  // namespace
}  // namespace pagemoor
