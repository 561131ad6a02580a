// JPEG files (baseline and progressive) through libjpeg.
#pragma once

#include <optional>
#include <string_view>

#include "pictures/RgbaImage.h"

namespace pagemoor {

// The picture, or nothing when the bytes are no JPEG or are damaged beyond
// use. Never prints and never ends the program.
std::optional<RgbaImage> DecodeJpeg(std::string_view bytes);

}  // namespace pagemoor
