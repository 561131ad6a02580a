// One picture file shown by the three controls that show pictures: the image
// control (LoadPicture), the GIF picture control and a page in the hypertext
// pane. They share one decoder, so they show the same pixels, also for the
// files where Qt's JPEG reader and ours used to disagree.
#include <gtest/gtest.h>

// jpeglib.h uses FILE and size_t without including their headers.
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include <QImage>
#include <QTextDocument>
#include <QUrl>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/LogSink.h"
#include "hypertext/HtmlPaneWidget.h"
#include "pictures/GifImageWidget.h"
#include "pictures/ImageWidget.h"
#include "support/TempFolder.h"
#include "support/TinyPictures.h"

namespace pagemoor {
namespace {

enum class Kind { Progressive, AdobeCmyk };

// A 64 x 48 picture of stripes and gradients, so that every block differs.
std::string Encode(Kind kind) {
  const int components = kind == Kind::AdobeCmyk ? 4 : 3;
  test::JpegSpec spec(64, 48);
  spec.components = components;
  spec.colorSpace = kind == Kind::AdobeCmyk ? JCS_CMYK : JCS_RGB;
  spec.quality = 90;
  spec.progressive = kind == Kind::Progressive;
  return test::WriteJpeg(spec, [&](int y, JSAMPLE* row) {
    for (int x = 0; x < 64; ++x)
      for (int c = 0; c < components; ++c)
        row[x * components + c] = static_cast<JSAMPLE>((x * 7 + y * 3 + c * 50) & 0xFF);
  });
}

// A progressive file that ends inside a Huffman table between two scans,
// as a download cut short leaves it. The scans before the cut hold a
// picture; Qt's reader gave up on it, ours shows it.
std::string CutInsideATableBetweenScans() {
  const std::string whole = Encode(Kind::Progressive);
  const std::size_t firstScan = whole.find("\xFF\xDA");
  const std::size_t laterTable = whole.find("\xFF\xC4", firstScan);
  EXPECT_NE(laterTable, std::string::npos);
  return whole.substr(0, laterTable + 5);
}

std::string ReadThirdParty(const std::string& name) {
  std::ifstream in(std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/" + name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

QImage Comparable(const QImage& image) {
  return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

TEST(SamePictureEverywhere, AJpegShowsTheSamePixelsInTheImageControlTheGifControlAndAPage) {
  struct Case {
    const char* label;
    std::string bytes;
    QSize size;
  };
  const std::vector<Case> cases = {
      {"progressive, cut inside a table between scans", CutInsideATableBetweenScans(), QSize(64, 48)},
      // Qt rounded the inverted inks differently, one step off in most pixels.
      {"Adobe CMYK", Encode(Kind::AdobeCmyk), QSize(64, 48)},
      {"progressive with EXIF", ReadThirdParty("jpeg/progressive-valid.2.jpeg"), QSize(400, 400)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test::TempFolder folder;
    const std::string path = folder.write("picture.jpg", c.bytes);

    LogSink log;
    ImageWidget image;
    LoadPicture(path, image, log);
    ASSERT_TRUE(image.hasPicture());
    const QImage control = Comparable(image.picture());
    EXPECT_EQ(control.size(), c.size);

    GifImageWidget gif;
    ASSERT_TRUE(gif.LoadFromFile(path));
    EXPECT_EQ(gif.FrameCount(), 1);
    EXPECT_TRUE(Comparable(gif.picture()) == control) << "the GIF control differs";

    HtmlPaneWidget pane;
    pane.resize(500, 500);
    pane.show();
    pane.OnImageRequest = [&](HtmlPaneWidget::Sender, const std::string& src, std::string& stream) {
      if (src == "picture.jpg") stream = c.bytes;
    };
    ASSERT_TRUE(pane.LoadDocument(folder.write("page.htm", "<html><body><img src=\"picture.jpg\"></body></html>")));
    // The page's only reference is the picture's.
    const QImage page =
        Comparable(pane.document()->resource(QTextDocument::ImageResource, QUrl("pm:ref/0")).value<QImage>());
    EXPECT_EQ(page.size(), c.size);
    EXPECT_TRUE(page == control) << "the page differs";
  }
}

}  // namespace
}  // namespace pagemoor
