#include "hypertext/qt/PageAnimations.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFragment>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextObjectInterface>
#include <algorithm>

#include "pictures/qt/GifPlayer.h"
#include "pictures/qt/QtPictures.h"

namespace pagemoor {

namespace {

QTextCharFormat FormatAt(QTextDocument* document, int position) {
  const QTextBlock block = document->findBlock(position);
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    if (position >= fragment.position() && position < fragment.position() + fragment.length())
      return fragment.charFormat();
  }
  return {};
}

// A floating picture (align=left or right) is laid out in a frame of its own,
// anchored right after the picture's character; inside table cells too.
std::optional<QRectF> FloatingRect(QTextDocument* document, QTextFrame* frame, int position) {
  for (QTextFrame* child : frame->childFrames()) {
    const QTextFrameFormat::Position placement = child->frameFormat().position();
    if ((placement == QTextFrameFormat::FloatLeft || placement == QTextFrameFormat::FloatRight) &&
        child->firstPosition() - 1 == position)
      return document->documentLayout()->frameBoundingRect(child);
    if (auto inner = FloatingRect(document, child, position)) return inner;
  }
  return std::nullopt;
}

}  // namespace

std::optional<QRectF> PictureRectInDocument(QTextDocument* document, int position) {
  const QTextCharFormat format = FormatAt(document, position);
  if (!format.isImageFormat()) return std::nullopt;
  if (auto floating = FloatingRect(document, document->rootFrame(), position)) return floating;

  QAbstractTextDocumentLayout* layout = document->documentLayout();
  QTextObjectInterface* images = layout->handlerForObject(QTextFormat::ImageObject);
  const QTextBlock block = document->findBlock(position);
  if (!images || !block.isValid() || !block.layout()) return std::nullopt;
  const QTextLayout* textLayout = block.layout();
  const int inBlock = position - block.position();
  const QTextLine line = textLayout->lineForTextPosition(inBlock);
  if (!line.isValid()) return std::nullopt;
  const QPointF origin = layout->blockBoundingRect(block).topLeft();
  const QSizeF size = images->intrinsicSize(document, position, format);
  // Inline images stand on the baseline unless the page aligns them to the
  // top or the middle of their line.
  qreal top = line.y() + line.ascent() - size.height();
  if (format.verticalAlignment() == QTextCharFormat::AlignTop)
    top = line.y();
  else if (format.verticalAlignment() == QTextCharFormat::AlignMiddle)
    top = line.y() + (line.height() - size.height()) / 2;
  return QRectF(origin.x() + line.cursorToX(inBlock), origin.y() + top, size.width(), size.height());
}

PageAnimations::PageAnimations(QTextEdit* pane) : QObject(pane), m_pane(pane) {
  pane->installEventFilter(this);
}

PageAnimations::~PageAnimations() = default;

void PageAnimations::clear() {
  QTextDocument* document = m_pane->document();
  for (const auto& [key, animation] : m_animations) {
    // An invalid resource is no resource: the document asks the pane again.
    for (const QUrl& url : animation->urls)
      document->addResource(QTextDocument::ImageResource, url, QVariant());
    delete animation->player;
  }
  m_animations.clear();
}

std::optional<QImage> PageAnimations::adopt(const std::string& key, const QUrl& url,
                                            std::unique_ptr<GifAnimation>& frames) {
  if (!frames || frames->frameCount() < 2) return std::nullopt;
  auto animation = std::make_unique<Animation>();
  Animation* shown = animation.get();
  shown->player = new GifPlayer(this);
  shown->urls.push_back(url);
  m_animations[key] = std::move(animation);
  connect(shown->player, &GifPlayer::frameShown, this, [this, shown] { frameShown(*shown); });
  shown->player->setPaused(!m_pane->isVisible());
  m_adopting = true;
  shown->player->setFrames(std::move(frames));
  m_adopting = false;
  shown->player->setAnimate(true);
  return shown->canvas;
}

std::optional<QImage> PageAnimations::showAgain(const std::string& key, const QUrl& url) {
  const auto found = m_animations.find(key);
  if (found == m_animations.end()) return std::nullopt;
  Animation& animation = *found->second;
  if (std::find(animation.urls.begin(), animation.urls.end(), url) == animation.urls.end()) {
    animation.urls.push_back(url);
    animation.positions.clear();
  }
  return animation.canvas;
}

void PageAnimations::frameShown(Animation& animation) {
  // One canvas for every place the file is shown: the document's resources
  // share the image's pixels.
  animation.canvas = ToQImage(animation.player->canvas());
  QTextDocument* document = m_pane->document();
  // The first frame goes back to the engine from adopt, while it is still
  // reading the page; the resources stand in only for the frames after it.
  if (m_adopting) return;
  for (const QUrl& url : animation.urls)
    document->addResource(QTextDocument::ImageResource, url, animation.canvas);
  if (animation.positions.empty()) findPositions(animation);
  const QPointF scroll(m_pane->horizontalScrollBar()->value(), m_pane->verticalScrollBar()->value());
  for (const int position : animation.positions) {
    if (const auto rect = PictureRectInDocument(document, position))
      m_pane->viewport()->update(rect->translated(-scroll).toAlignedRect());
  }
}

void PageAnimations::findPositions(Animation& animation) const {
  QTextDocument* document = m_pane->document();
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      const QTextCharFormat format = fragment.charFormat();
      if (!format.isImageFormat()) continue;
      const QUrl name(format.toImageFormat().name());
      if (std::find(animation.urls.begin(), animation.urls.end(), name) == animation.urls.end()) continue;
      for (int i = 0; i < fragment.length(); ++i) animation.positions.push_back(fragment.position() + i);
    }
  }
}

bool PageAnimations::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_pane && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
    setPaused(event->type() == QEvent::Hide);
  return QObject::eventFilter(watched, event);
}

void PageAnimations::setPaused(bool paused) {
  for (const auto& [key, animation] : m_animations) animation->player->setPaused(paused);
}

}  // namespace pagemoor
