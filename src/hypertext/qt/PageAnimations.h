// The animated pictures of the page a pane shows. Each file that has more
// than one frame gets a player and one canvas, however often the page shows
// it; every new frame replaces the picture's resource in the document and
// repaints only the rectangles where the page draws it. The pictures rest
// while the pane is hidden and go with the page.
#pragma once

#include <QImage>
#include <QObject>
#include <QRectF>
#include <QUrl>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pictures/GifAnimation.h"

class QEvent;
class QTextDocument;
class QTextEdit;

namespace pagemoor {

class GifPlayer;

// Where the document draws the picture whose character is at position, in
// document coordinates: the line's place for an inline picture (on the
// baseline, or at the top or middle of its line as the page aligns it), the
// frame's for a floating one. Nothing when no picture is there.
std::optional<QRectF> PictureRectInDocument(QTextDocument* document, int position);

class PageAnimations : public QObject {
  Q_OBJECT

 public:
  // Lives as the pane's child and watches it being shown and hidden.
  explicit PageAnimations(QTextEdit* pane);
  ~PageAnimations() override;

  // The page goes: its players stop and go, and the document forgets the
  // frames it was given, so that a new page asks for its pictures afresh.
  void clear();

  // The picture known by key (its expanded path) decoded to these frames:
  // with two or more the page animates it, shown at url first, and the first
  // frame comes back. A still picture is not taken (nothing comes back).
  std::optional<QImage> adopt(const std::string& key, const QUrl& url, std::unique_ptr<GifAnimation>& frames);
  // The engine asks again for a picture the page animates, maybe at another
  // url: the frame shown now, and the url follows the animation from now on.
  // Nothing when the key does not animate.
  std::optional<QImage> showAgain(const std::string& key, const QUrl& url);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Animation {
    GifPlayer* player = nullptr;
    QImage canvas;               // the frame shown, handed to every url
    std::vector<QUrl> urls;      // where the page shows the file
    std::vector<int> positions;  // the pictures' characters, found when needed
  };

  void frameShown(Animation& animation);
  void findPositions(Animation& animation) const;
  void setPaused(bool paused);

  QTextEdit* m_pane;
  bool m_adopting = false;
  std::map<std::string, std::unique_ptr<Animation>> m_animations;
};

}  // namespace pagemoor
