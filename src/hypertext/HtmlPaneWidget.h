// A hypertext pane: shows one page of a magazine through QTextBrowser, with
// the page model in front of it. The layout engine only ever sees tokens
// ("pm:ref/N", "pm:form/K"); every event hands the viewer the reference as the
// page wrote it, and the pane never reads a picture itself: it asks.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRectF>
#include <QString>
#include <QTextBrowser>
#include <QTextFormat>
#include <QUrl>
#include <QVariant>
#include <deque>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "hypertext/PageModel.h"
#include "hypertext/PaneHistory.h"

class QContextMenuEvent;
class QKeyEvent;
class QTextFrame;
class QMouseEvent;
class QShowEvent;

namespace pagemoor {

class PageAnimations;

class HtmlPaneWidget : public QTextBrowser {
  Q_OBJECT

 public:
  // Handlers tell panes apart by this pointer: the pane itself.
  using Sender = const void*;

  // --- Events -------------------------------------------------------------
  // A link or image-map area was activated; leaving Handled false lets the
  // pane follow it itself.
  std::function<void(Sender, const std::string& SRC, bool& Handled)> OnHotSpotClick;
  // The mouse moved onto a link (its text) or off it (empty).
  std::function<void(Sender, const std::string& SRC)> OnHotSpotCovered;
  // The handler puts the picture file's bytes into stream; empty means missing.
  std::function<void(Sender, const std::string& SRC, std::string& stream)> OnImageRequest;
  std::function<void(Sender, const std::string& SRC, int Loop, bool Terminate)> OnSoundRequest;
  // The text to insert for an include directive.
  std::function<std::string(Sender, const std::string& Command, const std::vector<std::string>& Params)>
      OnInclude;
  std::function<void(Sender, const FormControl& Obj, const std::string& OnClick)> OnObjectClick;
  std::function<void(Sender, const std::string& Parameters)> OnRightClick;
  std::function<void(Sender, bool ProcessingOn)> OnProcessing;

  explicit HtmlPaneWidget(QWidget* parent = nullptr);
  ~HtmlPaneWidget() override;
  HtmlPaneWidget(const HtmlPaneWidget&) = delete;
  HtmlPaneWidget& operator=(const HtmlPaneWidget&) = delete;

  // --- Operations ---------------------------------------------------------
  // Shows the file (found case-insensitively) and makes it the newest history
  // entry; "#name" after the path scrolls to that anchor. False, with nothing
  // changed, when the file cannot be read.
  bool LoadDocument(const std::string& path);
  // Shows HTML given as lines; no file, no history entry.
  void LoadDocumentLines(const std::vector<std::string>& lines);

  // Full path of the document shown; empty while lines are shown.
  const std::string& CurrentDocument() const { return m_currentDocument; }
  int HistoryCount() const { return m_history.count(); }
  int HistoryIndex() const { return m_history.index(); }
  // Another valid index shows that document at its remembered scroll
  // position; anything else is ignored.
  void setHistoryIndex(int index);

  // Vertical scroll position in pixels; set values are clamped (in a hidden
  // pane when it is shown).
  int ScrollPosition() const;
  void setScrollPosition(int position);

  // The raw text of the link most recently covered or clicked.
  const std::string& CoveredLink() const { return m_coveredLink; }

  // Relative to the current document, or to the page's base when it has one.
  std::string ExpandReference(std::string_view reference) const;
  std::string ReferenceToPath(std::string_view reference) const;

  // The text links of the document shown, in document order: the words the
  // reader sees (blanks simplified) and the reference as the page wrote it.
  struct TextLink {
    std::string text;
    std::string raw;
  };
  std::vector<TextLink> TextLinks() const;
  // Activates the first text link showing exactly this text, as a click on
  // it would (scripted runs). False when the document shows no such link.
  bool ActivateLinkByText(std::string_view text);

  // The keyboard's link (HtmlPaneWidgetKeys.cpp). Tab and Shift+Tab step
  // through the links of the page (not the areas of its image maps), round
  // from the last to the first, marking the one they are on and scrolling it
  // into view; Enter follows it as a click would. Backspace and Alt+Left
  // raise OnRightClick, as the right button does. The link the keyboard is
  // on, as the page wrote it (empty for none):
  std::string FocusedLink() const;
  // Steps the keyboard to the next (or previous) link; false when the page
  // shows none.
  bool FocusNextLink(bool forward);

  // --- Settings -----------------------------------------------------------
  // Take effect from the next document shown (colours and fonts) or at once
  // (the rest).
  void setHistoryLimit(int documents);
  void setVisitedMemory(int links);
  void setImageCacheSize(int images);
  void setDefaultFontFamily(const QString& family);
  void setFixedFontFamily(const QString& family);
  void setDefaultFontPointSize(int points);
  void setDefaultTextColor(const QColor& color);
  void setVisitedLinkColor(const QColor& color);
  void setBackgroundColor(const QColor& color);
  void setTextSelectionAllowed(bool allowed);
  void setScrollBarsShown(bool shown);
  // Puts a cursor on the pane's viewport. The viewer's cursors may be animated
  // files, which keep stepping the widget they are put on, so the pane hands
  // the viewport over instead of taking a QCursor.
  using CursorSetter = std::function<void(QWidget* viewport)>;
  // The cursor over the page and the one over its links and map areas. Where
  // none is set the pane shows the arrow (the I-beam where text can be
  // selected) and the pointing hand. The page's cursor is shown at once.
  void setNormalCursor(CursorSetter show);
  void setLinkCursor(CursorSetter show);
  // Hints: the TITLE of a link, picture or text under the mouse, as a tooltip.
  void setHintsShown(bool shown) { m_hintsShown = shown; }

  int historyLimit() const { return m_historyLimit; }
  int visitedMemory() const { return m_visitedMemory; }
  int imageCacheSize() const { return m_imageCacheSize; }
  bool isVisited(const std::string& raw) const { return m_visited.count(raw) != 0; }

 protected:
  QVariant loadResource(int type, const QUrl& name) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void leaveEvent(QEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Tab stays in the pane: it moves among the page's links, never to the
  // next control.
  bool focusNextPrevChild(bool next) override;

 private:
  // What lies under a point of the viewport that the engine does not know as
  // a link: an image-map area or a form control.
  struct Target {
    enum class Kind { None, MapArea, Control } kind = Kind::None;
    std::string href;         // MapArea: the area's raw href
    std::size_t control = 0;  // Control: index into m_page.controls
    int position = -1;        // the image's character in the document
    std::string hint;         // the map area's TITLE
  };

  // A piece of the pressed link, with the format it had before.
  struct ActiveFragment {
    int position = 0;
    int length = 0;
    QTextCharFormat format;
  };

  // The characters of one link, from start up to end (exclusive).
  struct LinkRun {
    int start = 0;
    int end = 0;
    QString href;  // the engine's token
  };

  struct ImageHit {
    int position = -1;
    QTextImageFormat format;
    QRectF rect;  // viewport coordinates, as drawn
  };

  // scroll: the position to show (history), else the anchor's, else the top.
  // record: the document becomes the newest history entry.
  void rememberScrollOfShownDocument();
  void showPage(const std::string& html, const std::string& documentPath, const std::string& anchor,
                std::optional<int> scroll, bool record);
  void layOutWhileHidden();
  void settleLayout(int depth);
  void setActiveLink(const QString& href);
  void applyLookToDocument();
  void markVisitedAnchors();
  void rememberVisited(const std::string& raw);
  std::string rawForUrl(const QUrl& url) const;
  void setCovered(const std::string& raw);
  void activate(const std::string& raw);
  void followLink(const std::string& raw);
  bool overLinkAt(const QPoint& viewportPos) const;
  void showCursor(bool overLink);
  std::vector<LinkRun> linkRuns() const;
  void markFocusedLink();
  void clearLinkFocus();

  std::optional<ImageHit> imageAt(const QPoint& viewportPos) const;
  // docPoint in document coordinates; the hit's rect too.
  std::optional<ImageHit> floatingImageAt(QTextFrame* frame, const QPointF& docPoint) const;
  Target targetAt(const QPoint& viewportPos) const;
  void clickControl(std::size_t index, int position);

  // url: where the engine shows the picture, which an animation updates.
  QImage requestImage(const std::string& raw, const QUrl& url);
  QImage controlImage(const FormControl& control) const;
  QImage missingImage() const;
  void cacheImage(const std::string& key, const QImage& image);
  const QImage* cachedImage(const std::string& key);

  static constexpr int kDefaultHistoryLimit = 500;

  PreparedPage m_page;
  PaneHistory m_history{kDefaultHistoryLimit};
  std::string m_currentDocument;
  std::string m_coveredLink;
  std::string m_hover;                            // what the mouse is over now, raw; empty for nothing
  bool m_hoverFromTarget = false;                 // m_hover came from a map area, not from the engine
  std::optional<int> m_pendingScroll;             // set while hidden, applied when shown
  Target m_pressed;                               // map area or control under the last left press
  std::vector<ActiveFragment> m_activeFragments;  // the pressed text link, drawn in alink
  std::optional<LinkRun> m_focusedLink;           // the keyboard's link

  // Missing pictures of the document shown, asked for once.
  std::unordered_set<std::string> m_failedImages;
  // Pictures of the document shown, by expanded path, so one name is asked
  // for once whatever the cache size.
  std::unordered_map<std::string, QImage> m_documentImages;
  // The animated pictures of the document shown; the pane's child. Not in
  // the cache below, which holds still pictures.
  PageAnimations* m_animations;
  // Decoded pictures across documents, most recently used first.
  std::list<std::pair<std::string, QImage>> m_imageCache;

  std::deque<std::string> m_visitedOrder;  // oldest first
  std::unordered_set<std::string> m_visited;

  int m_historyLimit = kDefaultHistoryLimit;
  int m_visitedMemory = 5000;
  int m_imageCacheSize = 20;
  QString m_defaultFont = QStringLiteral("Arial");
  QString m_fixedFont = QStringLiteral("Courier New");
  int m_fontPointSize = 12;
  QColor m_textColor = Qt::black;
  QColor m_visitedColor = Qt::blue;
  QColor m_linkColor = Qt::blue;
  QColor m_backgroundColor = Qt::white;
  QColor m_pageVisitedColor;  // the page's vlink, else m_visitedColor
  QColor m_pageLinkColor;
  CursorSetter m_normalCursor;
  CursorSetter m_linkCursor;
  bool m_selectionAllowed = false;
  bool m_hintsShown = true;
};

}  // namespace pagemoor
