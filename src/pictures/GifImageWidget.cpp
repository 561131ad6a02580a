#include "pictures/GifImageWidget.h"

#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/MagazineFiles.h"
#include "pictures/PictureDecoder.h"
#include "pictures/qt/QtPictures.h"

namespace pagemoor {

GifImageWidget::GifImageWidget(QWidget* parent) : ImageWidget(parent), m_player(this) {
  connect(&m_player, &GifPlayer::frameShown, this, [this] { setPicture(ToQImage(m_player.canvas())); });
}

GifImageWidget::~GifImageWidget() = default;

bool GifImageWidget::LoadFromFile(const std::string& path) {
  std::optional<std::string> bytes = ReadMagazineFile(HostPath(path), FileKind::Picture);
  return load(bytes ? *bytes : std::string_view(), path);
}

bool GifImageWidget::LoadFromBytes(std::string bytes) {
  return load(bytes, {});
}

bool GifImageWidget::load(std::string_view bytes, std::string_view nameHint) {
  // Any picture the image control shows shows here too, a still one as a
  // single frame.
  PictureResult decoded = DecodePicture(bytes, nameHint, {.frames = PictureFrames::All});
  m_player.setFrames(decoded ? std::move(decoded.picture().frames) : nullptr);
  if (m_player.frameCount() == 0) {
    clearPicture();
    return false;
  }
  return true;
}

void GifImageWidget::setFrame(int n) {
  m_player.setFrame(n);
}

void GifImageWidget::setAnimate(bool on) {
  m_player.setAnimate(on);
}

}  // namespace pagemoor
