// GIF files (still and animated) through giflib.
#pragma once

#include <memory>
#include <string>

#include "pictures/RgbaImage.h"

namespace pagemoor {

// A GIF file's frames, composited on demand. Only the file's bytes, the
// frames' descriptions and the canvas being built are held, never every
// full frame: a long animation costs little more than one picture.
class GifAnimation {
 public:
  // Reads the file's logical screen and frame descriptions. Null when not a
  // single frame can be read or the screen is larger than kMaxPicturePixels.
  // A file cut short keeps the frames before the cut, and the frame it cuts
  // through keeps the rows that arrived. A screen of 0 size takes the first
  // frame's extent; frames reaching outside the screen are clipped.
  static std::unique_ptr<GifAnimation> Open(std::string bytes);

  virtual ~GifAnimation() = default;

  // The logical screen.
  virtual int width() const = 0;
  virtual int height() const = 0;
  virtual int frameCount() const = 0;
  // NETSCAPE loop count: 0 = forever; 1 when the file has no loop extension.
  virtual int loopCount() const = 0;
  // The frame's delay in milliseconds as the file gives it (0-based index).
  virtual int delayMs(int index) const = 0;
  // The whole canvas while frame `index` (0-based; outside the range, the
  // nearest frame) is shown, transparency and the earlier frames' disposal
  // applied. The canvas starts transparent, and "restore to background"
  // clears to transparent as browsers do. Going forward one frame at a time
  // is cheap; going back starts again from the first frame. The reference
  // stays valid until the next call.
  virtual const RgbaImage& frame(int index) = 0;
};

}  // namespace pagemoor
