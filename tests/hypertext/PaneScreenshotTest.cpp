// Old-style pages rendered by a pane, compared with stored pictures of how
// they looked when they were right. A change in the rendering shows up here.
//
// After an intended change, look at the new pictures and store them:
//   PAGEMOOR_UPDATE_GOLDEN=1 build/tests/hypertext/hypertext_widget_tests --gtest_filter='PaneScreenshot*'
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "hypertext/HtmlPaneWidget.h"

namespace pagemoor {
namespace {

const std::string kPages = std::string(PAGEMOOR_FIXTURES_DIR) + "/hypertext/pages/";
const std::string kGolden = std::string(PAGEMOOR_FIXTURES_DIR) + "/hypertext/golden/";

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

QImage render(const std::string& page) {
  HtmlPaneWidget pane;
  pane.OnImageRequest = [&pane](HtmlPaneWidget::Sender, const std::string& src, std::string& stream) {
    stream = readBytes(pane.ExpandReference(src));
  };
  pane.resize(360, 240);
  pane.LoadDocument(kPages + page);
  pane.show();
  return pane.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The share of pixels that differ by more than a small amount in any channel;
// font smoothing may move a few.
double differingShare(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return 1.0;
  long differing = 0;
  for (int y = 0; y < a.height(); ++y) {
    const QRgb* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
    const QRgb* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
    for (int x = 0; x < a.width(); ++x) {
      if (std::abs(qRed(pa[x]) - qRed(pb[x])) > 40 || std::abs(qGreen(pa[x]) - qGreen(pb[x])) > 40 ||
          std::abs(qBlue(pa[x]) - qBlue(pb[x])) > 40)
        ++differing;
    }
  }
  return static_cast<double>(differing) / (a.width() * a.height());
}

class PaneScreenshot : public ::testing::TestWithParam<const char*> {};

TEST_P(PaneScreenshot, LooksAsStored) {
  const std::string page = GetParam();
  const std::string name = page.substr(0, page.find('.'));
  const QImage actual = render(page);
  const QString golden = QString::fromStdString(kGolden + name + ".png");
  if (std::getenv("PAGEMOOR_UPDATE_GOLDEN")) {
    ASSERT_TRUE(actual.save(golden));
    GTEST_SKIP() << "stored " << golden.toStdString();
  }
  const QImage expected(golden);
  ASSERT_FALSE(expected.isNull()) << "no stored picture " << golden.toStdString();
  const double share = differingShare(actual, expected.convertToFormat(QImage::Format_RGB32));
  if (share > 0.002) {
    const QString out = QDir::currentPath() + "/" + QString::fromStdString(name) + ".actual.png";
    actual.save(out);
    ADD_FAILURE() << name << ": " << share * 100 << "% of the pixels differ; the rendering is in "
                  << out.toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, PaneScreenshot,
                         ::testing::Values("colors.htm", "tables.htm", "images.htm", "forms.htm",
                                           "czech.htm"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string n = info.param;
                           return n.substr(0, n.find('.'));
                         });

}  // namespace
}  // namespace pagemoor
