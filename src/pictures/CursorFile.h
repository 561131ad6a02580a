// Windows cursor files: .cur (and .ico) and animated .ani (RIFF ACON).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pictures/RgbaImage.h"

namespace pagemoor {

struct CursorImage {
  RgbaImage image;
  int hotX = 0;
  int hotY = 0;
  // Newer icon files may store a picture as PNG, which the core does not
  // decode. When a file offers nothing else, image stays empty and png holds
  // the compressed picture for a reader that can decode it (the Qt side).
  std::string png;
};

struct CursorAnimation {
  // The distinct pictures of the cursor (one for a .cur).
  std::vector<CursorImage> frames;
  // The order they are shown in, each with its time on screen; one step for a
  // still cursor. Frame indices are checked against frames.
  struct Step {
    int frame = 0;
    int delayMs = 0;
  };
  std::vector<Step> steps;

  bool animated() const { return steps.size() > 1; }
};

// Recognises the kind by content, not by the file's extension. Nothing when
// the bytes are no cursor or hold no usable picture.
std::optional<CursorAnimation> ReadCursorFile(std::string_view bytes);

}  // namespace pagemoor
