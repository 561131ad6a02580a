// Any bytes through the picture service, under any of the names a magazine
// gives its pictures: no crash, and either a whole picture (every frame of it
// when frames are asked for) or a reason. No fallback reader is registered,
// as in the core: bytes none of our readers claims must fail cleanly.
// The first byte chooses the name (low three bits) and whether every frame
// is wanted (top bit); the picture's bytes follow.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pictures/PictureDecoder.h"

namespace {

constexpr std::array<std::string_view, 8> kNames = {
    "", "picture.jpg", "picture.gif", "picture.pcx", "picture.tga", "pointer.cur", "busy.ani", "page.png"};

// A header may claim up to 8192 x 8192; JPEG and GIF are refused at this
// size before decoding, smaller pictures exercise the same code.
constexpr std::int64_t kMaxFuzzPixels = 2048LL * 2048;
constexpr std::int64_t kPixelBudget = 64LL * 1024 * 1024;

// PCX and TGA fill a picture of the size their header claims before reading
// its data; the limit is the same for every size, so large claims would only
// slow the search (as in pcx_fuzz and tga_fuzz).
bool ClaimsALargePicture(std::string_view bytes, std::string_view name) {
  const auto u16 = [&](std::size_t at) {
    return static_cast<std::int64_t>(static_cast<std::uint8_t>(bytes[at]) |
                                     (static_cast<std::uint8_t>(bytes[at + 1]) << 8));
  };
  if (bytes.size() >= 12 && bytes[0] == 0x0A && (u16(8) - u16(4) + 1) * (u16(10) - u16(6) + 1) > (1 << 18))
    return true;
  const bool tga = name.ends_with(".tga") || bytes.ends_with(std::string_view("TRUEVISION-XFILE.\0", 18));
  return tga && bytes.size() >= 16 && u16(12) * u16(14) > (1 << 18);
}

void CheckWhole(const pagemoor::RgbaImage& image) {
  if (image.empty() || image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * 4)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view name = kNames[data[0] & 7];
  const bool allFrames = (data[0] & 0x80) != 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  if (ClaimsALargePicture(bytes, name)) return 0;

  pagemoor::PictureRequest request;
  request.frames = allFrames ? pagemoor::PictureFrames::All : pagemoor::PictureFrames::First;
  request.maxPixels = kMaxFuzzPixels;
  pagemoor::PictureResult result = pagemoor::DecodePicture(bytes, name, request);
  if (!result) {
    if (result.error().empty()) std::abort();
    return 0;
  }
  pagemoor::DecodedPicture& picture = result.picture();
  if (!allFrames) {
    if (picture.frames) std::abort();
    CheckWhole(picture.image);
    return 0;
  }
  if (!picture.frames || !picture.image.empty()) std::abort();
  pagemoor::GifAnimation& frames = *picture.frames;
  if (frames.frameCount() < 1) std::abort();
  const std::int64_t pixels = static_cast<std::int64_t>(frames.width()) * frames.height();
  if (pixels < 1 || pixels > kMaxFuzzPixels) std::abort();
  const int count = static_cast<int>(
      std::min<std::int64_t>(frames.frameCount(), std::max<std::int64_t>(1, kPixelBudget / pixels / 2)));
  for (int i = 0; i < count; ++i) {
    const pagemoor::RgbaImage& frame = frames.frame(i);
    CheckWhole(frame);
    if (frame.width != frames.width() || frame.height != frames.height()) std::abort();
  }
  return 0;
}
