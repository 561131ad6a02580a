#include "pictures/qt/QtPictures.h"

#include <climits>
#include <cstring>
#include <optional>

#include "pictures/PictureDecoder.h"

namespace pagemoor {

namespace {

std::optional<RgbaImage> ReadWithQt(std::string_view bytes) {
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  QImage image;
  // Qt's readers keep their own allocation limit (256 MB, the same as
  // kMaxPicturePixels of RGBA); DecodePicture checks the size again.
  if (!image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size())))
    return std::nullopt;
  image = image.convertToFormat(QImage::Format_RGBA8888);
  if (image.isNull()) return std::nullopt;
  RgbaImage rgba(image.width(), image.height());
  const auto rowBytes = static_cast<std::size_t>(image.width()) * 4;
  for (int y = 0; y < image.height(); ++y) std::memcpy(rgba.pixel(0, y), image.constScanLine(y), rowBytes);
  return rgba;
}

}  // namespace

void InstallQtPictureReader() {
  SetPictureFallback(ReadWithQt);
}

QImage ToQImage(const RgbaImage& rgba) {
  if (rgba.empty()) return {};
  const QImage view(rgba.pixels.data(), rgba.width, rgba.height, rgba.width * 4, QImage::Format_RGBA8888);
  // A copy: the decoder's buffer goes away (or, for an animation, is drawn
  // over by the next frame).
  return view.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage DecodePictureImage(std::string_view bytes, std::string_view nameHint) {
  const PictureResult result = DecodePicture(bytes, nameHint);
  return result ? ToQImage(result.picture().image) : QImage();
}

}  // namespace pagemoor
