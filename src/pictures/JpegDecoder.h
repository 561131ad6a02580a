// JPEG files (baseline and progressive) through libjpeg.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "pictures/RgbaImage.h"

namespace pagemoor {

// The picture, or nothing when the bytes are no JPEG or are damaged beyond
// use. Never prints and never ends the program. A file that ends early gives
// the part decoded before the end (libjpeg fills in the rest), as readers
// expect of a partly damaged picture.
std::optional<RgbaImage> DecodeJpeg(std::string_view bytes);

// The same with a lower size limit than kMaxPicturePixels, for callers that
// must bound their work.
std::optional<RgbaImage> DecodeJpeg(std::string_view bytes, std::int64_t maxPixels);

}  // namespace pagemoor
