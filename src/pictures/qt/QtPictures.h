// The interface layer's side of the picture service: Qt's image readers as
// the reader for what the pictures library does not claim (PNG, BMP, icons
// and whatever else Qt reads), and decoded pictures as QImages for the
// controls and the pane.
#pragma once

#include <QImage>
#include <string_view>

#include "pictures/RgbaImage.h"

namespace pagemoor {

// Registers Qt's readers as the picture fallback (SetPictureFallback). The
// program does it at start-up, as do the test and benchmark programs that
// make windows.
void InstallQtPictureReader();

// A copy in the format painting wants (premultiplied ARGB32); a null image
// for an empty picture.
QImage ToQImage(const RgbaImage& rgba);

// DecodePicture's first frame as a QImage; a null image when it fails.
QImage DecodePictureImage(std::string_view bytes, std::string_view nameHint);

}  // namespace pagemoor
