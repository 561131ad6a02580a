// Animated GIFs inside a page, in a pane under the offscreen platform: what
// the pane paints before and after a frame, which part of it is repainted,
// and that the frames stop with the page and rest while the pane is hidden.
#include "hypertext/qt/PageAnimations.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QImage>
#include <QList>
#include <QMetaObject>
#include <QPaintEvent>
#include <QRegion>
#include <map>
#include <string>
#include <vector>

#include "hypertext/HtmlPaneWidget.h"
#include "pictures/qt/GifPlayer.h"
#include "support/QtPump.h"
#include "support/SolidGif.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255);

// Red then green for ever; the picture is 3 x 2 and the pages draw it larger
// so that it covers a good many pixels. The tests step the frames themselves,
// so the file's own timer must not step them too: 10 s a frame, except for
// the test of that timer.
const std::string kRedGreen = test::SolidColourGif({0, 1}, 1000, 0);
const std::string kFastRedGreen = test::SolidColourGif({0, 1}, 5, 0);

// The viewport's paint events, as regions.
class PaintRecorder : public QObject {
 public:
  explicit PaintRecorder(QWidget* viewport) { viewport->installEventFilter(this); }
  QRegion painted;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
    return false;
  }
};

std::vector<QPoint> PixelsOf(const QImage& image, const QColor& colour) {
  std::vector<QPoint> found;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) == colour) found.emplace_back(x, y);
  return found;
}

class PageAnimationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pane.resize(400, 300);
    pane.OnImageRequest = [this](HtmlPaneWidget::Sender, const std::string& src, std::string& stream) {
      ++requests[src];
      if (auto it = pictures.find(src); it != pictures.end()) stream = it->second;
    };
    pictures["anim.gif"] = kRedGreen;
    pictures["blue.gif"] = test::SolidColourGif({2}, 5, 0);
    pane.show();
  }

  std::string page(const std::string& name, const std::string& body) {
    return folder.write(name, "<html><body>" + body + "</body></html>");
  }
  QImage shot() { return pane.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  QList<GifPlayer*> players() { return pane.findChildren<GifPlayer*>(); }
  // Every player's next frame, now instead of after its delay, painted.
  void nextFrames() {
    for (GifPlayer* player : players()) player->tick();
    QCoreApplication::processEvents();
  }

  test::TempFolder folder;
  HtmlPaneWidget pane;
  std::map<std::string, std::string> pictures;
  std::map<std::string, int> requests;
};

TEST_F(PageAnimationsTest, TheNextFrameRepaintsOnlyThePicturesWhereverThePageDrawsThem) {
  const std::string big = "src=\"anim.gif\" width=30 height=20";
  struct Case {
    const char* name;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"inline", "<p>Before <img " + big + "> after</p>"},
      {"top of its line", "<p>Before <img " + big + " align=top> after</p>"},
      {"middle of its line", "<p>Before <img " + big + " align=middle> after</p>"},
      {"floating left", "<p><img " + big + " align=left>Text beside the picture</p>"},
      {"floating right", "<p><img " + big + " align=right>Text beside the picture</p>"},
      {"in a table cell", "<table border=1><tr><td>Cell</td><td><img " + big + "></td></tr></table>"},
      {"twice",
       "<p><img " + big + "> and <img " + big + "></p><p>once more <img " + big + " align=right></p>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(pane.LoadDocument(page("p.htm", c.body)));
    ASSERT_TRUE(test::PumpUntil([&] { return !PixelsOf(shot(), kRed).empty(); }));
    // One player for the file however often the page shows it.
    ASSERT_EQ(players().size(), 1);
    const QImage before = shot();
    const std::vector<QPoint> red = PixelsOf(before, kRed);

    QRegion painted;
    // Loading and grabbing leave whole-pane paints behind; they go first.
    ASSERT_TRUE(test::PumpUntil([&] {
      PaintRecorder idle(pane.viewport());
      QCoreApplication::processEvents();
      return idle.painted.isEmpty();
    }));
    {
      PaintRecorder recorder(pane.viewport());
      nextFrames();
      painted = recorder.painted;
    }
    const QImage after = shot();
    EXPECT_EQ(PixelsOf(after, kGreen), red);
    EXPECT_TRUE(PixelsOf(after, kRed).empty());
    // Nothing else on the page changed...
    for (int y = 0; y < before.height(); ++y)
      for (int x = 0; x < before.width(); ++x)
        if (before.pixelColor(x, y) != kRed) {
          ASSERT_EQ(after.pixelColor(x, y), before.pixelColor(x, y)) << x << "," << y;
        }
    // ... and only the pictures were repainted for the frame.
    for (const QPoint& p : red) ASSERT_TRUE(painted.contains(p)) << p.x() << "," << p.y();
    int paintedPixels = 0;
    for (const QRect& r : painted) paintedPixels += r.width() * r.height();
    EXPECT_LT(paintedPixels, pane.viewport()->width() * pane.viewport()->height() / 4);
  }
}

TEST_F(PageAnimationsTest, FramesFollowTheFileTimingWithoutBeingTicked) {
  pictures["anim.gif"] = kFastRedGreen;
  ASSERT_TRUE(pane.LoadDocument(page("p.htm", "<p><img src=\"anim.gif\" width=30 height=20></p>")));
  ASSERT_EQ(players().size(), 1);
  EXPECT_EQ(players().front()->pendingDelayMs(), 50);
  EXPECT_TRUE(test::PumpUntil([&] { return !PixelsOf(shot(), kRed).empty(); }));
  EXPECT_TRUE(
      test::PumpUntil([&] { return PixelsOf(shot(), kRed).empty() && !PixelsOf(shot(), kGreen).empty(); }));
  EXPECT_TRUE(test::PumpUntil([&] { return !PixelsOf(shot(), kRed).empty(); }));
}

TEST_F(PageAnimationsTest, StillPicturesAndBrokenOnesDoNotAnimate) {
  pictures["broken.gif"] = "GIF89a and nothing else";
  ASSERT_TRUE(pane.LoadDocument(page(
      "p.htm", "<img src=\"blue.gif\" width=30 height=20><img src=\"broken.gif\"><img src=\"none.gif\">")));
  QCoreApplication::processEvents();
  EXPECT_FALSE(PixelsOf(shot(), kBlue).empty());
  EXPECT_TRUE(players().empty());
}

TEST_F(PageAnimationsTest, TheFramesStopWithThePageAndRestWhileThePaneIsHidden) {
  const std::string animated = page("anim.htm", "<p><img src=\"anim.gif\" width=30 height=20></p>");
  const std::string still = page("still.htm", "<p><img src=\"blue.gif\"></p>");
  ASSERT_TRUE(pane.LoadDocument(animated));
  ASSERT_EQ(players().size(), 1);
  nextFrames();
  ASSERT_EQ(players().front()->frame(), 2);

  pane.hide();
  EXPECT_EQ(players().front()->pendingDelayMs(), -1);
  pane.show();
  EXPECT_EQ(players().front()->frame(), 2) << "shown again, it goes on from where it was";
  EXPECT_EQ(players().front()->pendingDelayMs(), 10000);

  ASSERT_TRUE(pane.LoadDocument(still));
  EXPECT_TRUE(players().empty());
  QCoreApplication::processEvents();
  EXPECT_FALSE(PixelsOf(shot(), kBlue).empty());

  // Back on the page, the picture animates again from its first frame; a page
  // loaded while hidden waits for the pane to be shown.
  pane.hide();
  pane.setHistoryIndex(1);
  ASSERT_EQ(pane.CurrentDocument(), animated);
  ASSERT_EQ(players().size(), 1);
  EXPECT_EQ(players().front()->pendingDelayMs(), -1);
  pane.show();
  EXPECT_EQ(players().front()->frame(), 1);
  EXPECT_EQ(players().front()->pendingDelayMs(), 10000);
  ASSERT_TRUE(test::PumpUntil([&] { return !PixelsOf(shot(), kRed).empty(); }));
  nextFrames();
  EXPECT_FALSE(PixelsOf(shot(), kGreen).empty());
}

TEST_F(PageAnimationsTest, ANewPageAtTheSameTokensShowsItsOwnPictures) {
  // The pages' pictures are known to the document by their order on the
  // page: the second page's first picture must not be the first page's frame.
  ASSERT_TRUE(pane.LoadDocument(page("a.htm", "<img src=\"anim.gif\" width=30 height=20>")));
  nextFrames();
  ASSERT_TRUE(pane.LoadDocument(page("b.htm", "<img src=\"blue.gif\" width=30 height=20>")));
  QCoreApplication::processEvents();
  const QImage shown = shot();
  EXPECT_FALSE(PixelsOf(shown, kBlue).empty());
  EXPECT_TRUE(PixelsOf(shown, kGreen).empty());
  EXPECT_TRUE(PixelsOf(shown, kRed).empty());
}

TEST_F(PageAnimationsTest, ALongAnimationHoldsOneCanvasNotEveryFrame) {
  // 200 frames: the pane's only copy of the picture is the frame shown, the
  // same pixels wherever the page shows it.
  std::vector<int> colours;
  for (int i = 0; i < 200; ++i) colours.push_back(i % 3);
  pictures["long.gif"] = test::SolidColourGif(colours, 1000, 0);
  ASSERT_TRUE(pane.LoadDocument(page("p.htm", "<img src=\"long.gif\"> <img src=\"long.gif\">")));
  nextFrames();
  std::vector<qint64> keys;
  for (const QString& token : {QStringLiteral("pm:ref/0"), QStringLiteral("pm:ref/1")}) {
    const QImage image = pane.document()->resource(QTextDocument::ImageResource, QUrl(token)).value<QImage>();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(3, 2));
    keys.push_back(image.cacheKey());
  }
  EXPECT_EQ(keys[0], keys[1]);
  EXPECT_EQ(requests["long.gif"], 1);
}

}  // namespace
}  // namespace pagemoor
