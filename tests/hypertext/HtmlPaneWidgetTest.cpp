// The hypertext pane under the offscreen platform: pages written into a temp
// folder, mouse and keys sent to the viewport as a user would, and every event
// checked for the raw text the page wrote.
#include "hypertext/HtmlPaneWidget.h"

#include <gtest/gtest.h>

#include <QHelpEvent>

#include <QElapsedTimer>
#include <QToolTip>

#include <QTextLayout>

#include <QTextFrame>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QCursor>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QWheelEvent>
#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace pagemoor {
namespace {

std::string PngBytes(int width, int height, QColor color = Qt::darkGreen) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(color);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

// Enough lines that the page scrolls in a 400x300 pane.
std::string LongBody(const std::string& tail = {}) {
  std::string body;
  for (int i = 0; i < 120; ++i) body += "<p>Line " + std::to_string(i) + "</p>\n";
  return body + tail;
}

class HtmlPaneWidgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pane.resize(400, 300);
    pane.show();
    pane.OnHotSpotClick = [this](HtmlPaneWidget::Sender sender, const std::string& src, bool& handled) {
      EXPECT_EQ(sender, &pane);
      clicks.push_back(src);
      handled = handleClicks;
    };
    pane.OnHotSpotCovered = [this](HtmlPaneWidget::Sender, const std::string& src) {
      covered.push_back(src);
    };
    pane.OnImageRequest = [this](HtmlPaneWidget::Sender, const std::string& src, std::string& stream) {
      imageRequests.push_back(src);
      if (auto it = images.find(src); it != images.end()) stream = it->second;
    };
    pane.OnSoundRequest = [this](HtmlPaneWidget::Sender, const std::string& src, int loop, bool terminate) {
      events.push_back("sound '" + src + "' " + std::to_string(loop) + (terminate ? " terminate" : ""));
    };
    pane.OnProcessing = [this](HtmlPaneWidget::Sender, bool on) {
      events.push_back(on ? "processing on" : "processing off");
    };
    pane.OnObjectClick = [this](HtmlPaneWidget::Sender, const FormControl& obj, const std::string& onclick) {
      objectClicks.push_back(obj);
      objectOnClicks.push_back(onclick);
    };
    pane.OnRightClick = [this](HtmlPaneWidget::Sender sender, const std::string& parameters) {
      EXPECT_EQ(sender, &pane);
      rightClicks.push_back(parameters);
    };
  }

  std::string page(const std::string& name, const std::string& body) {
    return folder.write(name, "<html><body>" + body + "</body></html>");
  }

  void send(QEvent::Type type, QPoint at, Qt::MouseButton button) {
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, QPointF(at), QPointF(pane.viewport()->mapToGlobal(at)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(pane.viewport(), &event);
  }
  void click(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    send(QEvent::MouseButtonPress, at, button);
    send(QEvent::MouseButtonRelease, at, button);
  }
  void moveTo(QPoint at) { send(QEvent::MouseMove, at, Qt::NoButton); }
  void key(int code) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
    QApplication::sendEvent(&pane, &press);
    QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier);
    QApplication::sendEvent(&pane, &release);
  }

  // The middle of the text as drawn in the viewport.
  QPoint textPoint(const QString& text) {
    const QTextCursor found = pane.document()->find(text);
    EXPECT_FALSE(found.isNull()) << text.toStdString();
    QTextCursor start(pane.document());
    start.setPosition(found.selectionStart());
    QTextCursor end(pane.document());
    end.setPosition(found.selectionEnd());
    const QRect a = pane.cursorRect(start);
    const QRect b = pane.cursorRect(end);
    return QPoint((a.left() + b.left()) / 2, a.center().y());
  }

  // Document positions of the images whose token starts with prefix.
  std::vector<int> imagePositions(const QString& prefix) {
    std::vector<int> positions;
    for (QTextBlock block = pane.document()->begin(); block.isValid(); block = block.next())
      for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.charFormat().isImageFormat() &&
            fragment.charFormat().toImageFormat().name().startsWith(prefix))
          for (int i = 0; i < fragment.length(); ++i) positions.push_back(fragment.position() + i);
      }
    return positions;
  }

  // A point inside the image at position, given as fractions of its drawn size.
  QPoint imagePoint(int position, double fx, double fy, int drawnHeight) {
    QTextCursor before(pane.document());
    before.setPosition(position);
    QTextCursor after(pane.document());
    after.setPosition(position + 1);
    const QRect left = pane.cursorRect(before);
    const QRect right = pane.cursorRect(after);
    // An image taller than the text fills its line down to the baseline.
    const int top = left.top();
    return QPoint(left.left() + static_cast<int>((right.left() - left.left()) * fx),
                  top + static_cast<int>(drawnHeight * fy));
  }

  QImage resourceAt(int position) {
    QTextCursor cursor(pane.document());
    cursor.setPosition(position + 1);
    const QString name = cursor.charFormat().toImageFormat().name();
    return pane.document()->resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
  }

  test::TempFolder folder;
  HtmlPaneWidget pane;
  bool handleClicks = true;
  std::vector<std::string> clicks, covered, imageRequests, events, rightClicks, objectOnClicks;
  std::vector<FormControl> objectClicks;
  std::map<std::string, std::string> images;
};

TEST_F(HtmlPaneWidgetTest, LoadDocumentShowsThePageBetweenProcessingEventsAfterTheSoundRequests) {
  const std::string path =
      page("first.htm", "<bgsound src=\"music/Tune One.mid\" loop=3><p>Hello from the pane</p>");
  ASSERT_TRUE(pane.LoadDocument(path));

  EXPECT_TRUE(pane.toPlainText().contains("Hello from the pane"));
  EXPECT_EQ(events, (std::vector<std::string>{"processing on", "sound '' 0 terminate",
                                              "sound 'music/Tune One.mid' 3", "processing off"}));
  EXPECT_EQ(pane.CurrentDocument(), path);
  EXPECT_EQ(pane.HistoryCount(), 1);
  EXPECT_EQ(pane.HistoryIndex(), 0);
}

TEST_F(HtmlPaneWidgetTest, LoadDocumentFindsTheFileWhateverTheLetterCaseAndRefusesAMissingOne) {
  const std::string path = page("Mixed.htm", "<p>Case</p>");
  ASSERT_TRUE(pane.LoadDocument(folder.file("MIXED.HTM")));
  EXPECT_EQ(pane.CurrentDocument(), path);

  events.clear();
  EXPECT_FALSE(pane.LoadDocument(folder.file("absent.htm")));
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(pane.CurrentDocument(), path);
  EXPECT_EQ(pane.HistoryCount(), 1);
  EXPECT_TRUE(pane.toPlainText().contains("Case"));
}

TEST_F(HtmlPaneWidgetTest, ClickingALinkRaisesItsHrefExactlyAsWritten) {
  const std::vector<std::string> hrefs = {"con_com:load_main page2.htm", "C:\\Games\\x.exe",
                                          "file:///C|/a b/c.htm", "Page%20Two.htm"};
  std::string body;
  for (std::size_t i = 0; i < hrefs.size(); ++i)
    body += "<p><a href=\"" + hrefs[i] + "\">Link number " + std::to_string(i) + "</a></p>";
  const std::string path = page("links.htm", body);
  ASSERT_TRUE(pane.LoadDocument(path));

  for (std::size_t i = 0; i < hrefs.size(); ++i) {
    SCOPED_TRACE(hrefs[i]);
    clicks.clear();
    click(textPoint(QString("Link number %1").arg(i)));
    EXPECT_EQ(clicks, std::vector<std::string>{hrefs[i]});
    EXPECT_EQ(pane.CoveredLink(), hrefs[i]);
  }
  // Handled: the pane stays where it is.
  EXPECT_EQ(pane.CurrentDocument(), path);
  EXPECT_EQ(pane.HistoryCount(), 1);
}

TEST_F(HtmlPaneWidgetTest, ALinkIsActivatedByItsVisibleText) {
  const std::string path = page("named.htm",
                                "<p>See <a href=\"con_com:play a.wav\">the <b>first</b>\n  sound</a> and "
                                "<a href=\"other.htm\">Other</a>.</p>"
                                "<table><tr><td><a href=\"cc:exit now\">Leave</a></td></tr></table>");
  ASSERT_TRUE(pane.LoadDocument(path));
  std::vector<std::pair<std::string, std::string>> links;
  for (const auto& link : pane.TextLinks()) links.emplace_back(link.text, link.raw);
  EXPECT_EQ(
      links,
      (std::vector<std::pair<std::string, std::string>>{
          {"the first sound", "con_com:play a.wav"}, {"Other", "other.htm"}, {"Leave", "cc:exit now"}}));

  EXPECT_TRUE(pane.ActivateLinkByText("Leave"));
  EXPECT_EQ(clicks, std::vector<std::string>{"cc:exit now"});
  EXPECT_EQ(pane.CoveredLink(), "cc:exit now");
  EXPECT_FALSE(pane.ActivateLinkByText("Nowhere"));
  EXPECT_EQ(clicks.size(), 1u);
}

TEST_F(HtmlPaneWidgetTest, HoveringALinkRaisesCoveredOnAndOff) {
  ASSERT_TRUE(pane.LoadDocument(
      page("hover.htm", "<p>Plain words here</p><p><a href=\"snd:hover me\">Hover link</a></p>")));
  pane.setLinkCursor([](QWidget* viewport) { viewport->setCursor(Qt::CrossCursor); });
  moveTo(textPoint("Hover link"));
  EXPECT_EQ(pane.viewport()->cursor().shape(), Qt::CrossCursor);
  moveTo(textPoint("Plain words"));
  EXPECT_EQ(pane.viewport()->cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(covered, (std::vector<std::string>{"snd:hover me", ""}));
  EXPECT_EQ(pane.CoveredLink(), "snd:hover me");
}

TEST_F(HtmlPaneWidgetTest, TheGivenCursorsShowOverTextAndLinksElseThePanesOwnShapes) {
  ASSERT_TRUE(pane.LoadDocument(
      page("cursors.htm", "<p>Plain words here</p><p><a href=\"other.htm\">A link</a></p>")));
  const auto shape = [](Qt::CursorShape s) -> HtmlPaneWidget::CursorSetter {
    return [s](QWidget* viewport) { viewport->setCursor(s); };
  };
  struct Case {
    const char* name;
    bool selectable;
    HtmlPaneWidget::CursorSetter normal;
    HtmlPaneWidget::CursorSetter link;
    Qt::CursorShape overText;
    Qt::CursorShape overLink;
  };
  const Case cases[] = {
      {"own shapes", false, nullptr, nullptr, Qt::ArrowCursor, Qt::PointingHandCursor},
      {"own shapes, selectable text", true, nullptr, nullptr, Qt::IBeamCursor, Qt::PointingHandCursor},
      {"given cursors", false, shape(Qt::CrossCursor), shape(Qt::SizeAllCursor), Qt::CrossCursor,
       Qt::SizeAllCursor},
      {"given cursors, selectable text", true, shape(Qt::CrossCursor), shape(Qt::SizeAllCursor),
       Qt::CrossCursor, Qt::SizeAllCursor},
      {"a link cursor only", true, nullptr, shape(Qt::SizeAllCursor), Qt::IBeamCursor, Qt::SizeAllCursor},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pane.setTextSelectionAllowed(c.selectable);
    pane.setLinkCursor(c.link);
    pane.setNormalCursor(c.normal);
    EXPECT_EQ(pane.viewport()->cursor().shape(), c.overText) << "shown at once";
    moveTo(textPoint("Plain words"));
    EXPECT_EQ(pane.viewport()->cursor().shape(), c.overText);
    moveTo(textPoint("A link"));
    EXPECT_EQ(pane.viewport()->cursor().shape(), c.overLink);
    // Following a link the browser puts back the cursor it had before the link.
    click(textPoint("A link"));
    EXPECT_EQ(pane.viewport()->cursor().shape(), c.overLink) << "after the click";
    moveTo(textPoint("Plain words"));
    EXPECT_EQ(pane.viewport()->cursor().shape(), c.overText);
  }
  EXPECT_EQ(clicks.size(), std::size(cases));
}

TEST_F(HtmlPaneWidgetTest, KeysAndTheWheelScrollThePage) {
  ASSERT_TRUE(pane.LoadDocument(page("keys.htm", LongBody())));
  const int maximum = pane.verticalScrollBar()->maximum();
  ASSERT_GT(maximum, 0);
  pane.setFocus();
  EXPECT_EQ(pane.focusPolicy(), Qt::StrongFocus);

  key(Qt::Key_Down);
  const int afterArrow = pane.ScrollPosition();
  EXPECT_GT(afterArrow, 0);
  key(Qt::Key_PageDown);
  EXPECT_GT(pane.ScrollPosition(), afterArrow);
  key(Qt::Key_End);
  EXPECT_EQ(pane.ScrollPosition(), maximum);
  key(Qt::Key_PageUp);
  EXPECT_LT(pane.ScrollPosition(), maximum);
  key(Qt::Key_Home);
  EXPECT_EQ(pane.ScrollPosition(), 0);

  const QPoint at(50, 50);
  QWheelEvent wheel(QPointF(at), QPointF(pane.viewport()->mapToGlobal(at)), QPoint(), QPoint(0, -120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(pane.viewport(), &wheel);
  EXPECT_GT(pane.ScrollPosition(), 0);
}

TEST_F(HtmlPaneWidgetTest, IncludeDirectivesAskTheHandlerAndShowItsText) {
  std::vector<std::string> asked;
  pane.OnInclude = [&](HtmlPaneWidget::Sender sender, const std::string& command,
                       const std::vector<std::string>& params) {
    EXPECT_EQ(sender, &pane);
    asked.push_back(command);
    for (const auto& param : params) asked.push_back(param);
    return std::string("<b>Inserted words</b>");
  };
  ASSERT_TRUE(
      pane.LoadDocument(page("include.htm", "<p>Before <!--#Include file=\"part.htm\"--> after</p>")));
  EXPECT_EQ(asked, (std::vector<std::string>{"Include", "FILE=\"part.htm\""}));
  EXPECT_TRUE(pane.toPlainText().contains("Before Inserted words after"));
}

TEST_F(HtmlPaneWidgetTest, ReferencesAreExpandedAgainstTheCurrentDocument) {
  ASSERT_TRUE(pane.LoadDocument(page("sub/here.htm", "<p>Here</p>")));
  EXPECT_EQ(pane.ExpandReference(" pics/../img/a%20b.gif "), folder.file("sub/img/a b.gif"));
  EXPECT_EQ(pane.ReferenceToPath("file:///C|/mag/a%20b.gif"), "C:\\mag\\a b.gif");
}

TEST_F(HtmlPaneWidgetTest, VisitedLinksAreRememberedUpToTheMemory) {
  pane.setVisitedMemory(2);
  ASSERT_TRUE(
      pane.LoadDocument(page("visits.htm",
                             "<p><a href=\"one.htm\">First</a></p><p><a href=\"two.htm\">Second</a></p>"
                             "<p><a href=\"three.htm\">Third</a></p>")));
  for (const char* text : {"First", "Second", "Third"}) click(textPoint(text));
  EXPECT_FALSE(pane.isVisited("one.htm"));
  EXPECT_TRUE(pane.isVisited("two.htm"));
  EXPECT_TRUE(pane.isVisited("three.htm"));
}

TEST_F(HtmlPaneWidgetTest, KeyboardTabFocusesALinkAndEnterActivatesIt) {
  ASSERT_TRUE(pane.LoadDocument(
      page("keys.htm", "<p>Text</p><p><a href=\"first.htm\">One</a> <a href=\"second.htm\">Two</a></p>")));
  pane.setFocus();
  key(Qt::Key_Tab);
  key(Qt::Key_Tab);
  key(Qt::Key_Return);
  EXPECT_EQ(clicks, std::vector<std::string>{"second.htm"});
}

TEST_F(HtmlPaneWidgetTest, UnhandledLinksAreFollowedAndTheHistoryRemembersScrollPositions) {
  handleClicks = false;
  const std::string first = page("first.htm", "<p><a href=\"second.htm\">Go on</a></p>" + LongBody());
  const std::string second =
      page("second.htm", LongBody("<p><a name=\"end\">End mark</a></p><p><a href=\"#top\">Up</a></p>"));
  ASSERT_TRUE(pane.LoadDocument(first));
  click(textPoint("Go on"));

  EXPECT_EQ(pane.CurrentDocument(), second);
  EXPECT_EQ(pane.HistoryCount(), 2);
  EXPECT_EQ(pane.HistoryIndex(), 0);

  pane.setScrollPosition(150);
  ASSERT_EQ(pane.ScrollPosition(), 150);
  pane.setHistoryIndex(1);
  EXPECT_EQ(pane.CurrentDocument(), first);
  EXPECT_EQ(pane.HistoryIndex(), 1);
  EXPECT_TRUE(pane.toPlainText().contains("Go on"));
  EXPECT_EQ(pane.ScrollPosition(), 0);

  pane.setHistoryIndex(0);
  EXPECT_EQ(pane.CurrentDocument(), second);
  EXPECT_EQ(pane.ScrollPosition(), 150);

  for (const int invalid : {-1, 0, 2, 99}) {
    pane.setHistoryIndex(invalid);
    EXPECT_EQ(pane.HistoryIndex(), 0) << invalid;
    EXPECT_EQ(pane.CurrentDocument(), second) << invalid;
  }
}

TEST_F(HtmlPaneWidgetTest, LinksWithAnAnchorScrollToIt) {
  handleClicks = false;
  const std::string target = page("target.htm", LongBody("<p><a name=\"end\">End mark</a></p>"));
  const std::string start = page("start.htm", "<p><a href=\"target.htm#end\">To the end</a></p>" +
                                                  LongBody("<p><a name=\"bottom\">Bottom</a></p>") +
                                                  "<p><a href=\"#bottom\">Local jump</a></p>");
  ASSERT_TRUE(pane.LoadDocument(start));
  click(textPoint("To the end"));
  EXPECT_EQ(pane.CurrentDocument(), target);
  EXPECT_GT(pane.ScrollPosition(), 0);

  // An anchor of the same page scrolls without a new history entry.
  ASSERT_TRUE(pane.LoadDocument(start));
  const int count = pane.HistoryCount();
  pane.setScrollPosition(pane.verticalScrollBar()->maximum());
  click(textPoint("Local jump"));
  EXPECT_EQ(clicks.back(), "#bottom");
  EXPECT_EQ(pane.HistoryCount(), count);
  EXPECT_EQ(pane.CurrentDocument(), start);
  EXPECT_GT(pane.ScrollPosition(), 0);

  // LoadDocument takes the anchor after the path too.
  ASSERT_TRUE(pane.LoadDocument(target + "#end"));
  EXPECT_GT(pane.ScrollPosition(), 0);
}

TEST_F(HtmlPaneWidgetTest, ScrollPositionIsClampedToTheDocument) {
  ASSERT_TRUE(pane.LoadDocument(page("long.htm", LongBody())));
  const int maximum = pane.verticalScrollBar()->maximum();
  ASSERT_GT(maximum, 0);
  pane.setScrollPosition(-40);
  EXPECT_EQ(pane.ScrollPosition(), 0);
  pane.setScrollPosition(maximum + 5000);
  EXPECT_EQ(pane.ScrollPosition(), maximum);
  pane.setScrollPosition(30);
  EXPECT_EQ(pane.ScrollPosition(), 30);
}

// Panes are loaded and sent back in history while hidden; what they were told
// has to hold once they are shown.
TEST_F(HtmlPaneWidgetTest, AHiddenPaneScrollsAndKeepsItsFontOnceShown) {
  const std::string first = page("first.htm", LongBody());
  const std::string second = page("second.htm", LongBody("<p><a name=\"end\">End mark</a></p>"));
  struct Case {
    const char* what;
    std::function<void(HtmlPaneWidget&)> act;
    std::function<int(HtmlPaneWidget&)> expected;
  };
  const std::vector<Case> cases = {
      {"history back",
       [&](HtmlPaneWidget& p) {
         ASSERT_TRUE(p.LoadDocument(first));
         p.setScrollPosition(120);
         ASSERT_TRUE(p.LoadDocument(second));
         p.setHistoryIndex(1);
       },
       [](HtmlPaneWidget&) { return 120; }},
      {"beyond the end",
       [&](HtmlPaneWidget& p) {
         ASSERT_TRUE(p.LoadDocument(first));
         p.setScrollPosition(1000000);
       },
       [](HtmlPaneWidget& p) { return p.verticalScrollBar()->maximum(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HtmlPaneWidget hidden;
    hidden.resize(400, 300);
    c.act(hidden);
    hidden.show();
    EXPECT_GT(hidden.verticalScrollBar()->maximum(), 200);
    EXPECT_EQ(hidden.ScrollPosition(), c.expected(hidden));
    EXPECT_EQ(hidden.verticalScrollBar()->value(), hidden.ScrollPosition());
    EXPECT_EQ(hidden.document()->defaultFont().family(), "Arial");
    EXPECT_EQ(hidden.document()->defaultFont().pointSize(), 12);
  }

  HtmlPaneWidget hidden;
  hidden.resize(400, 300);
  ASSERT_TRUE(hidden.LoadDocument(second + "#end"));
  hidden.show();
  EXPECT_GT(hidden.ScrollPosition(), 0);
}

TEST_F(HtmlPaneWidgetTest, LoadDocumentLinesShowsTextWithoutDocumentOrHistory) {
  ASSERT_TRUE(pane.LoadDocument(page("before.htm", "<p>Before</p>")));
  pane.LoadDocumentLines({"<html><body>", "<p>Page not found</p>", "</body></html>"});
  EXPECT_TRUE(pane.toPlainText().contains("Page not found"));
  EXPECT_EQ(pane.CurrentDocument(), "");
  EXPECT_EQ(pane.HistoryCount(), 1);
  EXPECT_EQ(pane.HistoryIndex(), 0);
}

TEST_F(HtmlPaneWidgetTest, ImagesAreRequestedOncePerNameWithTheRawSrc) {
  images["pics/Logo One.png"] = PngBytes(30, 20);
  const std::string path = page("pictures.htm",
                                "<img src=\"pics/Logo One.png\"> <img src=\"pics/Logo One.png\">"
                                "<img src=\"gone.gif\"><img src=\"gone.gif\" width=40 height=30>");
  ASSERT_TRUE(pane.LoadDocument(path));

  std::sort(imageRequests.begin(), imageRequests.end());
  EXPECT_EQ(imageRequests, (std::vector<std::string>{"gone.gif", "pics/Logo One.png"}));
  const auto positions = imagePositions("pm:ref/");
  ASSERT_EQ(positions.size(), 4u);
  EXPECT_EQ(resourceAt(positions[0]).size(), QSize(30, 20));
  EXPECT_EQ(resourceAt(positions[1]).size(), QSize(30, 20));
  EXPECT_FALSE(resourceAt(positions[2]).isNull());  // a placeholder, not nothing
}

TEST_F(HtmlPaneWidgetTest, PicturesInTheFormatsOfOldPagesAreDecoded) {
  auto encoded = [](const char* format) {
    QImage image(7, 5, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
  };
  // Qt writes no GIF; this is a complete 1x1 one.
  static const char kGif[] =
      "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
      "!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02"
      "D\x01\x00;";
  images["a.gif"] = std::string(kGif, sizeof kGif - 1);
  images["b.jpg"] = encoded("JPEG");
  images["c.png"] = encoded("PNG");
  images["d.bmp"] = encoded("BMP");
  ASSERT_TRUE(pane.LoadDocument(
      page("formats.htm", "<img src=\"a.gif\"><img src=\"b.jpg\"><img src=\"c.png\"><img src=\"d.bmp\">")));
  const auto positions = imagePositions("pm:ref/");
  ASSERT_EQ(positions.size(), 4u);
  EXPECT_EQ(resourceAt(positions[0]).size(), QSize(1, 1));
  for (int i = 1; i < 4; ++i) EXPECT_EQ(resourceAt(positions[i]).size(), QSize(7, 5)) << i;
}

TEST_F(HtmlPaneWidgetTest, ImagesComeFromTheCacheWhenGoingBackInHistory) {
  struct Case {
    int cacheSize;
    int requestsForA;
  };
  for (const Case c : {Case{20, 1}, Case{1, 2}}) {
    SCOPED_TRACE(c.cacheSize);
    HtmlPaneWidget fresh;
    fresh.resize(400, 300);
    fresh.show();
    fresh.setImageCacheSize(c.cacheSize);
    std::vector<std::string> requests;
    fresh.OnImageRequest = [&](HtmlPaneWidget::Sender, const std::string& src, std::string& stream) {
      requests.push_back(src);
      stream = PngBytes(10, 10);
    };
    ASSERT_TRUE(fresh.LoadDocument(page("a.htm", "<img src=\"a.png\">")));
    ASSERT_TRUE(fresh.LoadDocument(page("b.htm", "<img src=\"b.png\">")));
    fresh.setHistoryIndex(1);
    ASSERT_EQ(fresh.CurrentDocument(), folder.file("a.htm"));
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "a.png"), c.requestsForA);
  }
}

TEST_F(HtmlPaneWidgetTest, MissingImagesAreAskedForAgainInTheNextDocument) {
  const std::string path = page("missing.htm", "<img src=\"none.gif\"><img src=\"none.gif\">");
  ASSERT_TRUE(pane.LoadDocument(path));
  ASSERT_TRUE(pane.LoadDocument(path));
  EXPECT_EQ(imageRequests, (std::vector<std::string>{"none.gif", "none.gif"}));
}

TEST_F(HtmlPaneWidgetTest, ImageMapAreasActAsLinks) {
  images["menu.png"] = PngBytes(100, 60);
  const std::string map =
      "<map name=\"menu\"><area shape=rect coords=\"0,0,50,60\" href=\"con_com:load_main left.htm\">"
      "<area shape=rect coords=\"50,0,100,60\" href=\"right page.htm\"></map>";
  // Drawn as it is, stretched by the page, and centred in a table cell further
  // down the page.
  struct Case {
    const char* before;
    const char* size;
    const char* after;
    int drawnHeight;
  };
  const Case cases[] = {
      {"<p>", "", "</p>", 60},
      {"<p>", " width=200 height=120", "</p>", 120},
      {"<table border=1 cellpadding=6><tr><td>Cell</td><td align=center width=300>", "", "</td></tr></table>",
       60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.before) + c.size);
    ASSERT_TRUE(pane.LoadDocument(page("map.htm", std::string("<p>Menu</p><p>Text above</p>") + c.before +
                                                      "<img src=\"menu.png\" usemap=\"#menu\"" + c.size +
                                                      ">" + c.after + map)));
    const auto positions = imagePositions("pm:ref/");
    ASSERT_EQ(positions.size(), 1u);
    clicks.clear();
    covered.clear();
    click(imagePoint(positions[0], 0.25, 0.5, c.drawnHeight));
    click(imagePoint(positions[0], 0.75, 0.5, c.drawnHeight));
    EXPECT_EQ(clicks, (std::vector<std::string>{"con_com:load_main left.htm", "right page.htm"}));

    moveTo(imagePoint(positions[0], 0.75, 0.5, c.drawnHeight));
    moveTo(textPoint("Menu"));
    ASSERT_GE(covered.size(), 2u);
    EXPECT_EQ(covered[covered.size() - 2], "right page.htm");
    EXPECT_EQ(covered.back(), "");
  }
}

TEST_F(HtmlPaneWidgetTest, ImageMapsWorkOnFloatingAndAlignedPictures) {
  images["menu.png"] = PngBytes(100, 60);
  const std::string map =
      "<map name=\"menu\"><area shape=rect coords=\"0,0,50,60\" href=\"cc:show cp\">"
      "<area shape=rect coords=\"50,0,100,60\" href=\"page2.htm\"></map>";
  const std::string words = " Words that flow beside the picture and go on for a while around it.";
  for (const char* align : {"left", "right"}) {
    SCOPED_TRACE(align);
    ASSERT_TRUE(
        pane.LoadDocument(page("float.htm", std::string("<p><img src=\"menu.png\" usemap=\"#menu\" align=") +
                                                align + ">" + words + "</p>" + map)));
    // The floating picture's frame is where the layout put it.
    QRectF rect;
    for (QTextFrame* frame : pane.document()->rootFrame()->childFrames())
      if (frame->frameFormat().position() != QTextFrameFormat::InFlow)
        rect = pane.document()->documentLayout()->frameBoundingRect(frame);
    ASSERT_FALSE(rect.isEmpty());
    clicks.clear();
    click(QPoint(static_cast<int>(rect.left() + rect.width() * 0.25), static_cast<int>(rect.center().y())));
    click(QPoint(static_cast<int>(rect.left() + rect.width() * 0.75), static_cast<int>(rect.center().y())));
    EXPECT_EQ(clicks, (std::vector<std::string>{"cc:show cp", "page2.htm"}));
  }
  ASSERT_TRUE(pane.LoadDocument(
      page("middle.htm", "<p>Menu <img src=\"menu.png\" usemap=\"#menu\" align=middle> here</p>" + map)));
  const auto positions = imagePositions("pm:ref/");
  ASSERT_EQ(positions.size(), 1u);
  QTextCursor before(pane.document());
  before.setPosition(positions[0]);
  const QTextLine line =
      pane.document()
          ->findBlock(positions[0])
          .layout()
          ->lineForTextPosition(positions[0] - pane.document()->findBlock(positions[0]).position());
  const QRect left = pane.cursorRect(before);
  const int middle = static_cast<int>(line.y() + line.height() / 2);
  clicks.clear();
  click(QPoint(left.left() + 75, middle));
  EXPECT_EQ(clicks, std::vector<std::string>{"page2.htm"});
}

TEST_F(HtmlPaneWidgetTest, TitlesAreShownAsHints) {
  pane.show();
  ASSERT_TRUE(pane.LoadDocument(
      page("hints.htm", "<p>Plain text <a href=\"cc:show cp\" title=\"Otevre jukebox\">Jukebox</a></p>")));
  auto hintAt = [&](QPoint at) {
    // A hint shown before fades out on a timer; start from none.
    QToolTip::hideText();
    QElapsedTimer waited;
    waited.start();
    while (QToolTip::isVisible() && waited.elapsed() < 5000)
      QApplication::processEvents(QEventLoop::AllEvents, 50);
    QHelpEvent help(QEvent::ToolTip, at, pane.viewport()->mapToGlobal(at));
    QApplication::sendEvent(pane.viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
  };
  EXPECT_EQ(hintAt(textPoint("Jukebox")), "Otevre jukebox");
  EXPECT_EQ(hintAt(textPoint("Plain")), "");

  // Areas of an image map carry hints of their own, with or without a link.
  images["menu.png"] = PngBytes(90, 30);
  ASSERT_TRUE(pane.LoadDocument(
      page("maphints.htm",
           "<p>Menu</p><p><img src=\"menu.png\" usemap=\"#m\" title=\"Whole menu\"></p><map name=\"m\">"
           "<area shape=rect coords=\"0,0,30,30\" href=\"a.htm\" title=\"Articles\">"
           "<area shape=rect coords=\"30,0,60,30\" nohref title=\"Nothing here\">"
           "<area shape=rect coords=\"60,0,90,30\" href=\"c.htm\"></map>")));
  const auto positions = imagePositions("pm:ref/");
  ASSERT_EQ(positions.size(), 1u);
  EXPECT_EQ(hintAt(imagePoint(positions[0], 0.15, 0.5, 30)), "Articles");
  EXPECT_EQ(hintAt(imagePoint(positions[0], 0.5, 0.5, 30)), "Nothing here");
  EXPECT_EQ(hintAt(imagePoint(positions[0], 0.85, 0.5, 30)), "Whole menu");

  pane.setHintsShown(false);
  EXPECT_EQ(hintAt(imagePoint(positions[0], 0.15, 0.5, 30)), "");
}

TEST_F(HtmlPaneWidgetTest, CheckboxTogglesAndRaisesObjectClickWithItsOnClick) {
  ASSERT_TRUE(pane.LoadDocument(
      page("form.htm",
           "<p>Form <input type=checkbox name=agree value=yes onclick=\"con_com:play click.wav\"></p>")));
  const auto positions = imagePositions("pm:form/");
  ASSERT_EQ(positions.size(), 1u);
  const QImage unchecked = resourceAt(positions[0]);

  click(imagePoint(positions[0], 0.5, 0.5, unchecked.height()));
  ASSERT_EQ(objectClicks.size(), 1u);
  EXPECT_EQ(objectClicks[0].kind, "checkbox");
  EXPECT_EQ(objectClicks[0].value, "yes");
  EXPECT_TRUE(objectClicks[0].checked);
  EXPECT_EQ(objectOnClicks[0], "con_com:play click.wav");
  EXPECT_NE(resourceAt(positions[0]), unchecked);

  click(imagePoint(positions[0], 0.5, 0.5, unchecked.height()));
  ASSERT_EQ(objectClicks.size(), 2u);
  EXPECT_FALSE(objectClicks[1].checked);
  EXPECT_EQ(resourceAt(positions[0]), unchecked);
  EXPECT_TRUE(clicks.empty());
}

TEST_F(HtmlPaneWidgetTest, RadioButtonsOfOneGroupExcludeEachOther) {
  ASSERT_TRUE(pane.LoadDocument(page("radio.htm",
                                     "<p>Pick <input type=radio name=r value=a checked>"
                                     " <input type=radio name=r value=b onclick=\"pick b\"></p>")));
  const auto positions = imagePositions("pm:form/");
  ASSERT_EQ(positions.size(), 2u);
  const QImage checked = resourceAt(positions[0]);
  const QImage unchecked = resourceAt(positions[1]);
  ASSERT_NE(checked, unchecked);

  click(imagePoint(positions[1], 0.5, 0.5, unchecked.height()));
  ASSERT_EQ(objectClicks.size(), 1u);
  EXPECT_EQ(objectClicks[0].value, "b");
  EXPECT_TRUE(objectClicks[0].checked);
  EXPECT_EQ(objectOnClicks[0], "pick b");
  EXPECT_EQ(resourceAt(positions[0]), unchecked);
  EXPECT_EQ(resourceAt(positions[1]), checked);
}

TEST_F(HtmlPaneWidgetTest, RightClickRaisesRightClickInsteadOfALinkOrMenu) {
  ASSERT_TRUE(pane.LoadDocument(page("right.htm", "<p><a href=\"other.htm\">A link</a></p>")));
  click(textPoint("A link"), Qt::RightButton);
  EXPECT_EQ(rightClicks, std::vector<std::string>{""});
  EXPECT_TRUE(clicks.empty());
}

TEST_F(HtmlPaneWidgetTest, BodyColoursDrawTextAndLinksAndVisitedLinks) {
  const std::string path = folder.write(
      "colours.htm",
      "<html><body text=\"#008000\" link=\"red\" vlink=\"0000aa\" alink=\"#ffcc00\"><p>Words</p>"
      "<p><a href=\"seen.htm\">Seen link</a> <a href=\"new.htm\">New link</a></p></body></html>");
  auto colourOf = [this](const QString& text) {
    QTextCursor cursor = pane.document()->find(text);
    cursor.setPosition(cursor.selectionStart() + 1);
    return cursor.charFormat().foreground().color();
  };
  ASSERT_TRUE(pane.LoadDocument(path));
  EXPECT_EQ(pane.palette().color(QPalette::Text), QColor("#008000"));
  EXPECT_EQ(colourOf("Seen link"), QColor("red"));

  // While the button is down on a link it is drawn in the active colour.
  send(QEvent::MouseButtonPress, textPoint("Seen link"), Qt::LeftButton);
  EXPECT_EQ(colourOf("Seen link"), QColor("#ffcc00"));
  EXPECT_EQ(colourOf("New link"), QColor("red"));
  send(QEvent::MouseButtonRelease, textPoint("Seen link"), Qt::LeftButton);
  EXPECT_EQ(clicks, std::vector<std::string>{"seen.htm"});
  EXPECT_EQ(colourOf("Seen link"), QColor("red"));
  ASSERT_TRUE(pane.LoadDocument(path));
  EXPECT_EQ(colourOf("Seen link"), QColor("#0000aa"));
  EXPECT_EQ(colourOf("New link"), QColor("red"));
}

}  // namespace
}  // namespace pagemoor
