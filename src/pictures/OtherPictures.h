// Picture formats of old magazines that Qt does not read: PCX and TGA.
#pragma once

#include <optional>
#include <string_view>

#include "pictures/RgbaImage.h"

namespace pagemoor {

// ZSoft PCX: 1, 2, 4 and 8 bits per pixel (palette) and 24-bit (three planes),
// run-length encoded. Nothing for anything else or damaged data.
std::optional<RgbaImage> DecodePcx(std::string_view bytes);

// Truevision TGA: colour-mapped, true-colour (15/16/24/32 bit) and grey,
// plain or run-length encoded, either origin. Nothing for anything else.
std::optional<RgbaImage> DecodeTga(std::string_view bytes);

}  // namespace pagemoor
