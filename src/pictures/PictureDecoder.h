// One way from a picture file's bytes to a picture, for every control that
// shows one: the image control, the GIF picture control and the hypertext
// pane. The bytes decide the format (JPEG, GIF, PCX, a cursor); the name only
// says TGA, which has no signature. What none of our readers claims goes to
// the reader the interface layer registers (Qt's, for PNG, BMP and the rest),
// so the same bytes give the same picture wherever a magazine shows them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pictures/GifAnimation.h"
#include "pictures/RgbaImage.h"

namespace pagemoor {

// What a caller wants of an animated picture: the first frame as a still
// (the image control, a page), or every frame with its timing (the GIF
// picture control).
enum class PictureFrames { First, All };

struct PictureRequest {
  PictureFrames frames = PictureFrames::First;
  // Pictures with more pixels fail. JPEG and GIF are refused before they are
  // decoded; the other formats keep their own limit of kMaxPicturePixels.
  std::int64_t maxPixels = kMaxPicturePixels;
};

struct DecodedPicture {
  // "JPEG", "GIF", "PCX", "TGA", "cursor", or "other" for the registered reader.
  std::string format;
  // With PictureFrames::First: the picture, an animation's first frame.
  RgbaImage image;
  // With PictureFrames::All: the frames (a still picture is one frame that
  // loops once); image is then empty, the frames hold the pixels.
  std::unique_ptr<GifAnimation> frames;
};

// A decoded picture or the reason there is none. Readers never see the
// reason: callers log what they logged before and fall back as they did.
class PictureResult {
 public:
  static PictureResult Success(DecodedPicture picture);
  static PictureResult Failure(std::string reason);

  bool ok() const { return m_picture.has_value(); }
  explicit operator bool() const { return ok(); }
  DecodedPicture& picture() { return *m_picture; }
  const DecodedPicture& picture() const { return *m_picture; }
  const std::string& error() const { return m_error; }

 private:
  std::optional<DecodedPicture> m_picture;
  std::string m_error;
};

// nameHint is the file name or reference the bytes came from (a host path,
// a page's src, or nothing); only its extension is looked at.
PictureResult DecodePicture(std::string_view bytes, std::string_view nameHint, const PictureRequest& request = {});

// The reader for bytes no format of ours claims, and for the PNG pictures
// inside cursor files. Nothing when it cannot read them.
using PictureFallback = std::function<std::optional<RgbaImage>(std::string_view bytes)>;

// Registers the fallback (an empty one removes it) and returns the one it
// replaces, so a test can put that back. Registered once at start-up, on the
// interface thread, before the first picture is decoded.
PictureFallback SetPictureFallback(PictureFallback fallback);

}  // namespace pagemoor
