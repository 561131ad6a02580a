#include "hypertext/HtmlPaneWidget.h"

#include <QAbstractTextDocumentLayout>
#include <QContextMenuEvent>
#include <QFont>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextObjectInterface>
#include <QToolTip>
#include <algorithm>
#include <cctype>

#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/MagazineFiles.h"
#include "hypertext/References.h"
#include "hypertext/qt/PageAnimations.h"
#include "pictures/PictureDecoder.h"
#include "pictures/qt/QtPictures.h"

namespace pagemoor {

namespace {

QString ToQString(const std::string& text) {
  return QString::fromStdString(text);
}

std::string ToLower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Old pages write colours as names, "#RRGGBB" or often bare "RRGGBB".
QColor HtmlColor(const std::string& text) {
  if (text.empty()) return {};
  QColor color(ToQString(text));
  if (!color.isValid() && text.size() == 6 &&
      std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; }))
    color = QColor(ToQString("#" + text));
  return color;
}

// The map index an image's token carries ("pm:ref/N#pm-map-M"): the page
// builder puts it there for an image whose map it found.
std::optional<std::size_t> MapIndexOf(const QString& name) {
  const qsizetype at = name.indexOf(QStringLiteral("#pm-map-"));
  if (at < 0) return std::nullopt;
  bool ok = false;
  const qulonglong index = name.mid(at + 8).toULongLong(&ok);
  if (!ok) return std::nullopt;
  return static_cast<std::size_t>(index);
}

std::string WithoutFragment(const QString& name) {
  const qsizetype at = name.indexOf(QLatin1Char('#'));
  return (at < 0 ? name : name.left(at)).toStdString();
}

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

}  // namespace

HtmlPaneWidget::HtmlPaneWidget(QWidget* parent)
    : QTextBrowser(parent), m_animations(new PageAnimations(this)) {
  setOpenLinks(false);
  setOpenExternalLinks(false);
  setContextMenuPolicy(Qt::DefaultContextMenu);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
  document()->setUndoRedoEnabled(false);
  setTextSelectionAllowed(m_selectionAllowed);
  connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    const std::string raw = rawForUrl(url);
    if (!raw.empty()) activate(raw);
  });
  connect(this, qOverload<const QUrl&>(&QTextBrowser::highlighted), this, [this](const QUrl& url) {
    m_hoverFromTarget = false;
    setCovered(url.isEmpty() ? std::string() : rawForUrl(url));
  });
  applyLookToDocument();
}

HtmlPaneWidget::~HtmlPaneWidget() = default;

// --- Loading ------------------------------------------------------------

bool HtmlPaneWidget::LoadDocument(const std::string& path) {
  // "page.htm#part": the anchor is split off only when the whole text names
  // no file, since a '#' is a legal character of a file name.
  std::string file;
  std::string anchor;
  if (auto found = ResolveExisting(path); found && FileExists(*found)) {
    file = *found;
  } else if (const auto hash = path.rfind('#'); hash != std::string::npos) {
    auto part = ResolveExisting(path.substr(0, hash));
    if (!part || !FileExists(*part)) return false;
    file = *part;
    anchor = path.substr(hash + 1);
  } else {
    return false;
  }
  const auto bytes = ReadMagazineFile(file, FileKind::Text);
  if (!bytes) return false;

  rememberScrollOfShownDocument();
  showPage(DecodePage(*bytes), file, anchor, std::nullopt, true);
  return true;
}

// Leaving a document: its history entry keeps where the reader was.
void HtmlPaneWidget::rememberScrollOfShownDocument() {
  if (!m_currentDocument.empty() && m_history.index() >= 0) m_history.rememberScroll(ScrollPosition());
}

void HtmlPaneWidget::LoadDocumentLines(const std::vector<std::string>& lines) {
  rememberScrollOfShownDocument();
  std::string html;
  for (const auto& line : lines) {
    html += line;
    html += '\n';
  }
  showPage(html, std::string(), std::string(), std::nullopt, false);
}

void HtmlPaneWidget::setHistoryIndex(int index) {
  if (index == m_history.index() || !m_history.entry(index)) return;
  rememberScrollOfShownDocument();
  const PaneHistory::Entry* entry = m_history.setIndex(index);
  if (!entry) return;
  const PaneHistory::Entry target = *entry;
  const auto bytes = ReadMagazineFile(target.document, FileKind::Text);
  showPage(DecodePage(bytes.value_or(std::string())), target.document, std::string(), target.scrollPosition,
           false);
}

void HtmlPaneWidget::showPage(const std::string& html, const std::string& documentPath,
                              const std::string& anchor, std::optional<int> scroll, bool record) {
  if (OnProcessing) OnProcessing(this, true);

  IncludeHandler include;
  if (OnInclude) {
    include = [this](const std::string& command, const std::vector<std::string>& params) {
      return OnInclude(this, command, params);
    };
  }
  // The page and its document are current before the engine sees the text:
  // it asks for pictures while it lays out, and the answer depends on both.
  m_page = PreparePage(html, include);
  m_currentDocument = documentPath;
  m_failedImages.clear();
  m_documentImages.clear();
  m_animations->clear();
  m_pressed = Target{};
  m_activeFragments.clear();
  clearLinkFocus();
  m_pendingScroll.reset();
  // Whatever the mouse was over belongs to the page that goes.
  m_hover.clear();
  m_hoverFromTarget = false;

  if (OnSoundRequest) {
    OnSoundRequest(this, std::string(), 0, true);
    for (const auto& sound : m_page.sounds) OnSoundRequest(this, sound.src, sound.loop, false);
  }

  applyLookToDocument();
  layOutWhileHidden();
  setHtml(ToQString(m_page.html));
  markVisitedAnchors();
  settleLayout(scroll.value_or(0));
  if (scroll)
    setScrollPosition(*scroll);
  else if (!anchor.empty())
    scrollToAnchor(ToQString(anchor));
  else
    verticalScrollBar()->setValue(0);
  if (record) m_history.documentLoaded(documentPath);

  if (OnProcessing) OnProcessing(this, false);
}

// The text edit gives its document a width only when it is shown. Panes are
// loaded, laid out and sent back in history while hidden too, so a hidden
// pane lays its page out at the width it has now; showing it lays it out again
// at the final width.
void HtmlPaneWidget::layOutWhileHidden() {
  if (isVisible()) return;
  ensurePolished();
  document()->setTextWidth(viewport()->width());
}

// The engine lays a page out lazily: what is asked for at once, the rest a
// piece at a time from a timer, announcing the size it has reached and letting
// the text edit fit its scroll range only then. A page is shown as soon as its
// first screen is laid out; scrolling and clamping need the range down to the
// position asked for, so the layout is taken that far and announced at once.
// Hit-testing a point lays the page out down to it.
void HtmlPaneWidget::settleLayout(int depth) {
  QAbstractTextDocumentLayout* layout = document()->documentLayout();
  const int bottom = depth < 0 ? 0 : depth;
  layout->hitTest(QPointF(0, static_cast<qreal>(bottom) + viewport()->height()), Qt::FuzzyHit);
  emit layout->documentSizeChanged(QSizeF());
}

// The engine ignores <body text link vlink>: the page's colours, else the
// pane's, go into the default style sheet and the palette before the text.
void HtmlPaneWidget::applyLookToDocument() {
  const QColor pageText = HtmlColor(m_page.body.text);
  const QColor pageLink = HtmlColor(m_page.body.link);
  const QColor pageVisited = HtmlColor(m_page.body.vlink);
  const QColor text = pageText.isValid() ? pageText : m_textColor;
  m_pageLinkColor = pageLink.isValid() ? pageLink : m_linkColor;
  m_pageVisitedColor = pageVisited.isValid() ? pageVisited : m_visitedColor;

  QPalette pal = palette();
  pal.setColor(QPalette::Text, text);
  pal.setColor(QPalette::Link, m_pageLinkColor);
  pal.setColor(QPalette::LinkVisited, m_pageVisitedColor);
  pal.setColor(QPalette::Base, m_backgroundColor);
  setPalette(pal);

  // The widget's font, not only the document's: the text edit hands the
  // widget's font to the document whenever that font changes.
  const QFont defaultFont(m_defaultFont, m_fontPointSize);
  if (font() != defaultFont) setFont(defaultFont);
  document()->setDefaultFont(defaultFont);
  document()->setDefaultStyleSheet(
      QStringLiteral("body { color: %1; } a { color: %2; } "
                     "pre, tt, code, kbd, samp, xmp, listing, plaintext { font-family: \"%3\"; }")
          .arg(text.name(), m_pageLinkColor.name(), m_fixedFont));
}

// Visited links keep a colour of their own unless the page coloured them.
void HtmlPaneWidget::markVisitedAnchors() {
  if (m_visited.empty() || m_pageVisitedColor == m_pageLinkColor) return;
  QTextCursor cursor(document());
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      const QTextCharFormat format = fragment.charFormat();
      if (!format.isAnchor() || !m_visited.count(rawForUrl(QUrl(format.anchorHref())))) continue;
      if (format.hasProperty(QTextFormat::ForegroundBrush) && format.foreground().color() != m_pageLinkColor)
        continue;
      QTextCharFormat visited;
      visited.setForeground(m_pageVisitedColor);
      cursor.setPosition(fragment.position());
      cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
      cursor.mergeCharFormat(visited);
    }
  }
}

void HtmlPaneWidget::rememberVisited(const std::string& raw) {
  if (m_visitedMemory <= 0 || !m_visited.insert(raw).second) return;
  m_visitedOrder.push_back(raw);
  while (static_cast<int>(m_visitedOrder.size()) > m_visitedMemory) {
    m_visited.erase(m_visitedOrder.front());
    m_visitedOrder.pop_front();
  }
}

// --- Positions and references ---------------------------------------------

int HtmlPaneWidget::ScrollPosition() const {
  return m_pendingScroll ? *m_pendingScroll : verticalScrollBar()->value();
}

void HtmlPaneWidget::setScrollPosition(int position) {
  settleLayout(position);
  // The scroll bar clamps to 0 .. document height - pane height.
  verticalScrollBar()->setValue(position);
  // Showing a hidden pane lays its page out again and scrolls it on its own.
  if (isVisible())
    m_pendingScroll.reset();
  else
    m_pendingScroll = verticalScrollBar()->value();
}

std::string HtmlPaneWidget::ExpandReference(std::string_view reference) const {
  return ::pagemoor::ExpandReference(reference, m_currentDocument, m_page.base);
}

std::string HtmlPaneWidget::ReferenceToPath(std::string_view reference) const {
  return ::pagemoor::ReferenceToPath(reference);
}

std::string HtmlPaneWidget::rawForUrl(const QUrl& url) const {
  const auto index = ReferenceIndex(WithoutFragment(url.toString()));
  if (!index || *index >= m_page.references.size()) return {};
  return m_page.references[*index].raw;
}

// --- Links ----------------------------------------------------------------

void HtmlPaneWidget::setCovered(const std::string& raw) {
  if (raw == m_hover) return;
  m_hover = raw;
  if (!raw.empty()) m_coveredLink = raw;
  if (OnHotSpotCovered) OnHotSpotCovered(this, raw);
}

void HtmlPaneWidget::activate(const std::string& raw) {
  m_coveredLink = raw;
  rememberVisited(raw);
  bool handled = false;
  if (OnHotSpotClick) OnHotSpotClick(this, raw, handled);
  if (!handled) followLink(raw);
}

std::vector<HtmlPaneWidget::TextLink> HtmlPaneWidget::TextLinks() const {
  std::vector<TextLink> links;
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    QString href;
    QString text;
    auto flush = [&] {
      const QString shown = text.remove(QChar::ObjectReplacementCharacter).simplified();
      if (!href.isEmpty() && !shown.isEmpty()) links.push_back({shown.toStdString(), rawForUrl(QUrl(href))});
      href.clear();
      text.clear();
    };
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      const QTextCharFormat format = fragment.charFormat();
      const QString fragmentHref = format.isAnchor() ? format.anchorHref() : QString();
      if (fragmentHref != href) flush();
      href = fragmentHref;
      if (!href.isEmpty()) text += fragment.text();
    }
    flush();
  }
  return links;
}

bool HtmlPaneWidget::ActivateLinkByText(std::string_view text) {
  const std::string wanted =
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).simplified().toStdString();
  for (const TextLink& link : TextLinks()) {
    if (link.text != wanted || link.raw.empty()) continue;
    activate(link.raw);
    return true;
  }
  return false;
}

void HtmlPaneWidget::followLink(const std::string& raw) {
  const std::string link = Trimmed(raw);
  const auto hash = link.find('#');
  const std::string target = Trimmed(link.substr(0, hash));
  const std::string anchor = hash == std::string::npos ? std::string() : link.substr(hash + 1);
  if (target.empty()) {
    if (!anchor.empty()) scrollToAnchor(ToQString(anchor));
    return;
  }
  const std::string path = ExpandReference(target);
  LoadDocument(anchor.empty() ? path : path + "#" + anchor);
}

// --- Images under the mouse -----------------------------------------------

std::optional<HtmlPaneWidget::ImageHit> HtmlPaneWidget::imageAt(const QPoint& viewportPos) const {
  QAbstractTextDocumentLayout* layout = document()->documentLayout();
  const QPointF scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
  const QPointF docPoint = QPointF(viewportPos) + scroll;
  // A floating picture (align=left or right) is laid out in a frame of its
  // own, anchored right after the picture's character; text hit-testing does
  // not find it, its frame does.
  if (auto floating = floatingImageAt(document()->rootFrame(), docPoint)) {
    floating->rect.translate(-scroll);
    return floating;
  }

  const int hit = layout->hitTest(docPoint, Qt::FuzzyHit);
  if (hit < 0) return std::nullopt;

  // The hit position is the character boundary nearest the point, so the
  // image may be the character after it or the one before.
  for (const int position : {hit, hit - 1}) {
    if (position < 0) continue;
    const QTextBlock block = document()->findBlock(position);
    if (!block.isValid()) continue;
    QTextCharFormat format;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (position >= fragment.position() && position < fragment.position() + fragment.length()) {
        format = fragment.charFormat();
        break;
      }
    }
    if (!format.isImageFormat()) continue;
    const auto rect = PictureRectInDocument(document(), position);
    if (!rect || !rect->contains(docPoint)) continue;
    return ImageHit{position, format.toImageFormat(), rect->translated(-scroll)};
  }
  return std::nullopt;
}

std::optional<HtmlPaneWidget::ImageHit> HtmlPaneWidget::floatingImageAt(QTextFrame* frame,
                                                                        const QPointF& docPoint) const {
  for (QTextFrame* child : frame->childFrames()) {
    const QTextFrameFormat::Position placement = child->frameFormat().position();
    if (placement == QTextFrameFormat::FloatLeft || placement == QTextFrameFormat::FloatRight) {
      const QRectF rect = document()->documentLayout()->frameBoundingRect(child);
      const int position = child->firstPosition() - 1;
      if (position >= 0 && rect.contains(docPoint)) {
        QTextCursor cursor(document());
        cursor.setPosition(position + 1);
        const QTextCharFormat format = cursor.charFormat();
        if (format.isImageFormat()) return ImageHit{position, format.toImageFormat(), rect};
      }
    }
    // Pictures float inside table cells too.
    if (auto inner = floatingImageAt(child, docPoint)) return inner;
  }
  return std::nullopt;
}

HtmlPaneWidget::Target HtmlPaneWidget::targetAt(const QPoint& viewportPos) const {
  Target target;
  const auto hit = imageAt(viewportPos);
  if (!hit) return target;
  const QString name = hit->format.name();
  if (const auto control = FormIndex(name.toStdString()); control && *control < m_page.controls.size()) {
    target.kind = Target::Kind::Control;
    target.control = *control;
    target.position = hit->position;
    return target;
  }
  const auto mapIndex = MapIndexOf(name);
  if (!mapIndex || *mapIndex >= m_page.maps.size()) return target;

  // Areas are in the picture's own pixels; the page may draw it larger or smaller.
  const QVariant resource = document()->resource(QTextDocument::ImageResource, QUrl(name));
  const QImage image = resource.value<QImage>();
  const QPointF inside = QPointF(viewportPos) - hit->rect.topLeft();
  double x = inside.x();
  double y = inside.y();
  if (!image.isNull() && hit->rect.width() > 0 && hit->rect.height() > 0) {
    x = x * image.width() / hit->rect.width();
    y = y * image.height() / hit->rect.height();
  }
  const MapArea* area = MapAreaAt(m_page.maps[*mapIndex], static_cast<int>(x), static_cast<int>(y));
  if (!area) return target;
  // An area without a link is no target but may still carry a hint.
  target.hint = area->title;
  if (area->href.empty()) return target;
  target.kind = Target::Kind::MapArea;
  target.href = area->href;
  target.position = hit->position;
  return target;
}

// --- Mouse ----------------------------------------------------------------

void HtmlPaneWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  if (event->button() == Qt::LeftButton) {
    m_pressed = targetAt(event->position().toPoint());
    if (m_pressed.kind != Target::Kind::None) {
      event->accept();
      return;
    }
    setActiveLink(anchorAt(event->position().toPoint()));
  }
  QTextBrowser::mousePressEvent(event);
}

// The engine knows no active link: the link under a left press takes the
// page's alink colour until the button is let go.
void HtmlPaneWidget::setActiveLink(const QString& href) {
  QTextCursor cursor(document());
  for (const ActiveFragment& fragment : m_activeFragments) {
    cursor.setPosition(fragment.position);
    cursor.setPosition(fragment.position + fragment.length, QTextCursor::KeepAnchor);
    cursor.setCharFormat(fragment.format);
  }
  m_activeFragments.clear();
  const QColor active = HtmlColor(m_page.body.alink);
  if (href.isEmpty() || !active.isValid()) return;
  // Each link of a page has a token of its own, so its fragments are found by it.
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (fragment.charFormat().anchorHref() != href) continue;
      m_activeFragments.push_back({fragment.position(), fragment.length(), fragment.charFormat()});
    }
  }
  QTextCharFormat format;
  format.setForeground(active);
  for (const ActiveFragment& fragment : m_activeFragments) {
    cursor.setPosition(fragment.position);
    cursor.setPosition(fragment.position + fragment.length, QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(format);
  }
}

void HtmlPaneWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    if (OnRightClick) OnRightClick(this, std::string());
    return;
  }
  // The link's own colour comes back before the click may load another page.
  if (event->button() == Qt::LeftButton && !m_activeFragments.empty()) setActiveLink(QString());
  if (event->button() == Qt::LeftButton && m_pressed.kind != Target::Kind::None) {
    const Target pressed = m_pressed;
    m_pressed = Target{};
    event->accept();
    const Target released = targetAt(event->position().toPoint());
    if (released.kind != pressed.kind) return;
    if (pressed.kind == Target::Kind::MapArea && released.href == pressed.href) {
      activate(pressed.href);
    } else if (pressed.kind == Target::Kind::Control && released.control == pressed.control) {
      clickControl(pressed.control, pressed.position);
    }
    return;
  }
  QTextBrowser::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) showCursor(overLinkAt(event->position().toPoint()));
}

void HtmlPaneWidget::mouseMoveEvent(QMouseEvent* event) {
  QTextBrowser::mouseMoveEvent(event);
  const QPoint pos = event->position().toPoint();
  const Target target = targetAt(pos);
  if (target.kind == Target::Kind::MapArea) {
    m_hoverFromTarget = true;
    setCovered(target.href);
  } else if (m_hoverFromTarget) {
    m_hoverFromTarget = false;
    setCovered(std::string());
  }
  showCursor(target.kind != Target::Kind::None || !anchorAt(pos).isEmpty());
}

bool HtmlPaneWidget::overLinkAt(const QPoint& viewportPos) const {
  return targetAt(viewportPos).kind != Target::Kind::None || !anchorAt(viewportPos).isEmpty();
}

// The browser puts its own arrow, pointing hand or I-beam on the viewport as
// the mouse crosses a link or one is followed; the pane's cursors go on after it.
void HtmlPaneWidget::showCursor(bool overLink) {
  const CursorSetter& show = overLink ? m_linkCursor : m_normalCursor;
  if (show) {
    show(viewport());
  } else if (overLink) {
    viewport()->setCursor(Qt::PointingHandCursor);
  } else {
    viewport()->setCursor(m_selectionAllowed ? Qt::IBeamCursor : Qt::ArrowCursor);
  }
}

void HtmlPaneWidget::showEvent(QShowEvent* event) {
  // The page was laid out for a pane of no size; the base class scrolls to a
  // pending anchor, which needs the real range.
  settleLayout(m_pendingScroll.value_or(verticalScrollBar()->value()));
  QTextBrowser::showEvent(event);
  if (m_pendingScroll) {
    const int position = *m_pendingScroll;
    m_pendingScroll.reset();
    verticalScrollBar()->setValue(position);
  }
}

bool HtmlPaneWidget::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QTextBrowser::viewportEvent(event);
  auto* help = static_cast<QHelpEvent*>(event);
  QString hint;
  if (m_hintsShown) {
    const QPointF docPoint =
        QPointF(help->pos()) + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    if (const Target target = targetAt(help->pos()); !target.hint.empty()) {
      hint = ToQString(target.hint);
    } else if (auto floating = floatingImageAt(document()->rootFrame(), docPoint)) {
      hint = floating->format.toolTip();
    } else if (const int hit = document()->documentLayout()->hitTest(docPoint, Qt::ExactHit); hit >= 0) {
      // The format of the character at the point is the one before the
      // cursor placed after it.
      QTextCursor cursor(document());
      cursor.setPosition(hit + 1);
      hint = cursor.charFormat().toolTip();
    }
  }
  if (hint.isEmpty())
    QToolTip::hideText();
  else
    QToolTip::showText(help->globalPos(), hint, viewport());
  return true;
}

void HtmlPaneWidget::leaveEvent(QEvent* event) {
  if (m_hoverFromTarget) {
    m_hoverFromTarget = false;
    setCovered(std::string());
  }
  QTextBrowser::leaveEvent(event);
}

// The right button belongs to the viewer (it goes back), not to a menu.
void HtmlPaneWidget::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
}

// --- Form controls --------------------------------------------------------

void HtmlPaneWidget::clickControl(std::size_t index, int position) {
  FormControl& control = m_page.controls[index];
  std::vector<std::size_t> changed;
  const std::string kind = ToLower(control.kind);
  if (kind == "checkbox") {
    control.checked = !control.checked;
    changed.push_back(index);
  } else if (kind == "radio" && !control.checked) {
    for (std::size_t i = 0; i < m_page.controls.size(); ++i) {
      FormControl& other = m_page.controls[i];
      if (i != index && other.checked && ToLower(other.kind) == "radio" && other.name == control.name) {
        other.checked = false;
        changed.push_back(i);
      }
    }
    control.checked = true;
    changed.push_back(index);
  }
  for (const std::size_t i : changed)
    document()->addResource(QTextDocument::ImageResource, QUrl(ToQString(FormToken(i))),
                            controlImage(m_page.controls[i]));
  if (!changed.empty()) {
    document()->markContentsDirty(position, 1);
    viewport()->update();
  }
  if (!control.onclick.empty() && OnObjectClick) {
    const FormControl clicked = control;  // the handler may load another page
    OnObjectClick(this, clicked, clicked.onclick);
  }
}

QImage HtmlPaneWidget::controlImage(const FormControl& control) const {
  const std::string kind = ToLower(control.kind);
  const QFontMetrics metrics(font());
  const QStyle* st = style();
  QString text;
  QSize size;
  if (kind == "checkbox") {
    size = QSize(st->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this),
                 st->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this));
  } else if (kind == "radio") {
    size = QSize(st->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, this),
                 st->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, nullptr, this));
  } else if (kind == "button" || kind == "submit" || kind == "reset") {
    text = ToQString(control.value);
    if (text.isEmpty() && kind != "button")
      text = kind == "submit" ? QStringLiteral("Submit") : QStringLiteral("Reset");
    size = QSize(metrics.horizontalAdvance(text) + 16, metrics.height() + 8);
  } else if (kind == "text" || kind == "password") {
    text = ToQString(control.value);
    if (kind == "password") text = QString(text.size(), QChar(0x2022));
    size =
        QSize(metrics.averageCharWidth() * (control.size > 0 ? control.size : 20) + 8, metrics.height() + 6);
  } else if (kind == "select") {
    text = ToQString(!control.value.empty() || control.options.empty() ? control.value
                                                                       : control.options.front());
    int widest = metrics.horizontalAdvance(text);
    for (const auto& option : control.options)
      widest = std::max(widest, metrics.horizontalAdvance(ToQString(option)));
    size = QSize(widest + metrics.height() + 16, metrics.height() + 6);
  } else if (kind == "textarea") {
    text = ToQString(control.value);
    size = QSize(metrics.averageCharWidth() * (control.size > 0 ? control.size : 20) + 8,
                 metrics.lineSpacing() * (control.rows > 0 ? control.rows : 2) + 6);
  } else {
    QImage nothing(1, 1, QImage::Format_ARGB32_Premultiplied);
    nothing.fill(Qt::transparent);
    return nothing;
  }
  size = size.expandedTo(QSize(1, 1));

  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setFont(font());
  const QRect rect = image.rect();
  if (kind == "checkbox" || kind == "radio") {
    QStyleOptionButton option;
    option.initFrom(this);
    option.rect = rect;
    option.state |= QStyle::State_Enabled | (control.checked ? QStyle::State_On : QStyle::State_Off);
    st->drawPrimitive(kind == "checkbox" ? QStyle::PE_IndicatorCheckBox : QStyle::PE_IndicatorRadioButton,
                      &option, &painter, this);
  } else if (kind == "button" || kind == "submit" || kind == "reset") {
    QStyleOptionButton option;
    option.initFrom(this);
    option.rect = rect;
    option.state |= QStyle::State_Enabled | QStyle::State_Raised;
    option.text = text;
    st->drawControl(QStyle::CE_PushButton, &option, &painter, this);
  } else if (kind == "select") {
    QStyleOptionComboBox option;
    option.initFrom(this);
    option.rect = rect;
    option.state |= QStyle::State_Enabled;
    option.editable = false;
    option.currentText = text;
    st->drawComplexControl(QStyle::CC_ComboBox, &option, &painter, this);
    st->drawControl(QStyle::CE_ComboBoxLabel, &option, &painter, this);
  } else {
    QStyleOptionFrame option;
    option.initFrom(this);
    option.rect = rect;
    option.state |= QStyle::State_Enabled | QStyle::State_Sunken;
    option.lineWidth = st->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    option.midLineWidth = 0;
    painter.fillRect(rect, palette().color(QPalette::Base));
    st->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
    painter.setPen(palette().color(QPalette::Text));
    const QRect inner = rect.adjusted(4, 3, -4, -3);
    if (kind == "textarea")
      painter.drawText(inner, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    else
      painter.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter, text);
  }
  return image;
}

// --- Pictures ---------------------------------------------------------------

QVariant HtmlPaneWidget::loadResource(int type, const QUrl& name) {
  // Never the engine's own file loading: every picture comes from the viewer.
  const std::string token = WithoutFragment(name.toString());
  if (const auto control = FormIndex(token)) {
    if (*control < m_page.controls.size()) return controlImage(m_page.controls[*control]);
    return missingImage();
  }
  if (type != QTextDocument::ImageResource) return {};
  const auto index = ReferenceIndex(token);
  if (!index || *index >= m_page.references.size()) return missingImage();
  return requestImage(m_page.references[*index].raw, name);
}

QImage HtmlPaneWidget::requestImage(const std::string& raw, const QUrl& url) {
  const std::string key = ExpandReference(raw);
  if (auto frame = m_animations->showAgain(key, url)) return *frame;
  if (const auto known = m_documentImages.find(key); known != m_documentImages.end()) return known->second;
  if (m_failedImages.count(raw)) return missingImage();
  if (const QImage* cached = cachedImage(key)) {
    m_documentImages.emplace(key, *cached);
    return *cached;
  }
  std::string stream;
  if (OnImageRequest) OnImageRequest(this, raw, stream);
  // The picture service the image controls use: the same bytes give the same
  // picture in a page as on the window, and a GIF animates as it does on a
  // button.
  PictureResult decoded = DecodePicture(stream, raw, {.frames = PictureFrames::All});
  if (!decoded) {
    m_failedImages.insert(raw);
    return missingImage();
  }
  std::unique_ptr<GifAnimation>& frames = decoded.picture().frames;
  if (auto first = m_animations->adopt(key, url, frames)) return *first;
  const QImage image = ToQImage(frames->frame(0));
  cacheImage(key, image);
  m_documentImages.emplace(key, image);
  return image;
}

// A framed box with a red cross; the page's width and height stretch it.
QImage HtmlPaneWidget::missingImage() const {
  QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setPen(Qt::gray);
  painter.drawRect(0, 0, 15, 15);
  painter.setPen(QPen(Qt::red, 2));
  painter.drawLine(4, 4, 11, 11);
  painter.drawLine(11, 4, 4, 11);
  return image;
}

const QImage* HtmlPaneWidget::cachedImage(const std::string& key) {
  for (auto it = m_imageCache.begin(); it != m_imageCache.end(); ++it) {
    if (it->first != key) continue;
    m_imageCache.splice(m_imageCache.begin(), m_imageCache, it);
    return &m_imageCache.front().second;
  }
  return nullptr;
}

void HtmlPaneWidget::cacheImage(const std::string& key, const QImage& image) {
  if (m_imageCacheSize <= 0) return;
  m_imageCache.emplace_front(key, image);
  while (static_cast<int>(m_imageCache.size()) > m_imageCacheSize) m_imageCache.pop_back();
}

// --- Settings ---------------------------------------------------------------

void HtmlPaneWidget::setHistoryLimit(int documents) {
  m_history.setLimit(documents);
  m_historyLimit = m_history.limit();
}

void HtmlPaneWidget::setVisitedMemory(int links) {
  m_visitedMemory = std::max(0, links);
  while (static_cast<int>(m_visitedOrder.size()) > m_visitedMemory) {
    m_visited.erase(m_visitedOrder.front());
    m_visitedOrder.pop_front();
  }
}

void HtmlPaneWidget::setImageCacheSize(int images) {
  m_imageCacheSize = std::max(0, images);
  while (static_cast<int>(m_imageCache.size()) > m_imageCacheSize) m_imageCache.pop_back();
}

void HtmlPaneWidget::setDefaultFontFamily(const QString& family) {
  m_defaultFont = family;
}
void HtmlPaneWidget::setFixedFontFamily(const QString& family) {
  m_fixedFont = family;
}
void HtmlPaneWidget::setDefaultFontPointSize(int points) {
  m_fontPointSize = std::max(1, points);
}
void HtmlPaneWidget::setDefaultTextColor(const QColor& color) {
  m_textColor = color;
}
void HtmlPaneWidget::setVisitedLinkColor(const QColor& color) {
  m_visitedColor = color;
}

void HtmlPaneWidget::setBackgroundColor(const QColor& color) {
  m_backgroundColor = color;
  QPalette pal = palette();
  pal.setColor(QPalette::Base, color);
  setPalette(pal);
}

void HtmlPaneWidget::setTextSelectionAllowed(bool allowed) {
  m_selectionAllowed = allowed;
  Qt::TextInteractionFlags flags = Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard;
  if (allowed) flags |= Qt::TextSelectableByMouse;
  setTextInteractionFlags(flags);
  // Without keyboard selection the arrows, Page Up/Down, Home and End scroll.
  setFocusPolicy(Qt::StrongFocus);
  showCursor(false);
}

void HtmlPaneWidget::setScrollBarsShown(bool shown) {
  const Qt::ScrollBarPolicy policy = shown ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
  setVerticalScrollBarPolicy(policy);
  setHorizontalScrollBarPolicy(policy);
}

void HtmlPaneWidget::setNormalCursor(CursorSetter show) {
  m_normalCursor = std::move(show);
  showCursor(false);
}

void HtmlPaneWidget::setLinkCursor(CursorSetter show) {
  m_linkCursor = std::move(show);
}

}  // namespace pagemoor
