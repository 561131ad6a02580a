#include "pictures/PictureDecoder.h"

#include <array>
#include <utility>

#include "common/HostPaths.h"
#include "common/Strings.h"
#include "pictures/CursorFile.h"
#include "pictures/JpegDecoder.h"
#include "pictures/OtherPictures.h"

namespace pagemoor {

PictureResult PictureResult::Success(DecodedPicture picture) {
  PictureResult result;
  result.m_picture = std::move(picture);
  return result;
}

PictureResult PictureResult::Failure(std::string reason) {
  PictureResult result;
  result.m_error = std::move(reason);
  return result;
}

namespace {

PictureFallback& Fallback() {
  static PictureFallback fallback;
  return fallback;
}

// A still picture where the caller wants frames: one frame, shown once.
class StillFrames final : public GifAnimation {
 public:
  explicit StillFrames(RgbaImage image) : m_image(std::move(image)) {}
  int width() const override { return m_image.width; }
  int height() const override { return m_image.height; }
  int frameCount() const override { return 1; }
  int loopCount() const override { return 1; }
  int delayMs(int) const override { return 0; }
  const RgbaImage& frame(int) override { return m_image; }

 private:
  RgbaImage m_image;
};

bool TooLarge(std::int64_t width, std::int64_t height, const PictureRequest& request) {
  return width * height > request.maxPixels;
}

std::string TooLargeReason(std::string_view format) {
  return std::string(format) + ": the picture is larger than allowed";
}

PictureResult Still(std::string_view format, std::optional<RgbaImage> image, const PictureRequest& request) {
  if (!image || image->empty()) return PictureResult::Failure(std::string(format) + ": damaged or unsupported data");
  if (TooLarge(image->width, image->height, request)) return PictureResult::Failure(TooLargeReason(format));
  DecodedPicture picture;
  picture.format = std::string(format);
  if (request.frames == PictureFrames::All)
    picture.frames = std::make_unique<StillFrames>(std::move(*image));
  else
    picture.image = std::move(*image);
  return PictureResult::Success(std::move(picture));
}

std::uint8_t Byte(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes[at]);
}

// ------------------------------------------------------------ sniffers -----

bool IsJpeg(std::string_view bytes, std::string_view) {
  return bytes.size() >= 2 && Byte(bytes, 0) == 0xFF && Byte(bytes, 1) == 0xD8;
}

bool IsGif(std::string_view bytes, std::string_view) {
  return bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a");
}

// One signature byte is little to go on, so the header's version, encoding
// and depth must be ones a PCX writer uses: a TGA whose ID is ten bytes long
// also starts with 0x0A.
bool IsPcx(std::string_view bytes, std::string_view) {
  if (bytes.size() < 128 || Byte(bytes, 0) != 0x0A) return false;
  const int bits = Byte(bytes, 3);
  return Byte(bytes, 1) <= 5 && Byte(bytes, 2) <= 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
}

// Cursors, still and animated. Icons (type 1) are left to the registered
// reader, which shows them as the image control always did.
bool IsCursor(std::string_view bytes, std::string_view) {
  if (bytes.size() >= 12 && bytes.starts_with("RIFF") && bytes.substr(8, 4) == "ACON") return true;
  return bytes.size() >= 6 && Byte(bytes, 0) == 0 && Byte(bytes, 1) == 0 && Byte(bytes, 2) == 2 &&
         Byte(bytes, 3) == 0 && (Byte(bytes, 4) | Byte(bytes, 5)) != 0;
}

// A TGA file starts with no signature, so only its name says what it is;
// version 2 files end with one, which is enough whatever the name.
bool IsTga(std::string_view bytes, std::string_view ext) {
  constexpr std::string_view kFooter("TRUEVISION-XFILE.\0", 18);
  return ext == ".tga" || (bytes.size() >= 26 && bytes.ends_with(kFooter));
}

// ------------------------------------------------------------ decoders -----

PictureResult DecodeJpegPicture(std::string_view bytes, const PictureRequest& request) {
  return Still("JPEG", DecodeJpeg(bytes, request.maxPixels), request);
}

PictureResult DecodeGifPicture(std::string_view bytes, const PictureRequest& request) {
  std::unique_ptr<GifAnimation> gif = GifAnimation::Open(std::string(bytes));
  if (!gif) return PictureResult::Failure("GIF: no frame could be read");
  if (TooLarge(gif->width(), gif->height(), request)) return PictureResult::Failure(TooLargeReason("GIF"));
  DecodedPicture picture;
  picture.format = "GIF";
  if (request.frames == PictureFrames::All)
    picture.frames = std::move(gif);
  else
    picture.image = gif->frame(0);
  return PictureResult::Success(std::move(picture));
}

PictureResult DecodePcxPicture(std::string_view bytes, const PictureRequest& request) {
  return Still("PCX", DecodePcx(bytes), request);
}

PictureResult DecodeTgaPicture(std::string_view bytes, const PictureRequest& request) {
  return Still("TGA", DecodeTga(bytes), request);
}

// The picture a cursor shows first. Newer files may hold it only as PNG,
// which the registered reader decodes.
PictureResult DecodeCursorPicture(std::string_view bytes, const PictureRequest& request) {
  std::optional<CursorAnimation> cursor = ReadCursorFile(bytes);
  if (!cursor) return PictureResult::Failure("cursor: damaged or unsupported data");
  // ReadCursorFile checks every step against the frames and gives at least one.
  const std::size_t first = cursor->steps.empty() ? 0 : static_cast<std::size_t>(cursor->steps.front().frame);
  CursorImage& shown = cursor->frames[first];
  if (!shown.image.empty()) return Still("cursor", std::move(shown.image), request);
  if (!Fallback()) return PictureResult::Failure("cursor: its picture is a PNG and no reader for it is registered");
  return Still("cursor", Fallback()(shown.png), request);
}

struct Sniffer {
  bool (*claims)(std::string_view bytes, std::string_view ext);
  PictureResult (*decode)(std::string_view bytes, const PictureRequest& request);
};

// In order; the first that claims the bytes decodes them, and its failure is
// the answer (the next reader would only misread them). TGA comes last of
// ours because it goes by the name alone: bytes with a signature are what
// their signature says, whatever the file is called.
constexpr std::array<Sniffer, 5> kSniffers = {{
    {IsJpeg, DecodeJpegPicture},
    {IsGif, DecodeGifPicture},
    {IsPcx, DecodePcxPicture},
    {IsCursor, DecodeCursorPicture},
    {IsTga, DecodeTgaPicture},
}};

}  // namespace

PictureResult DecodePicture(std::string_view bytes, std::string_view nameHint, const PictureRequest& request) {
  if (bytes.empty()) return PictureResult::Failure("the file is empty");
  const std::string ext = AsciiLower(ExtractFileExt(nameHint));
  for (const Sniffer& sniffer : kSniffers)
    if (sniffer.claims(bytes, ext)) return sniffer.decode(bytes, request);
  if (!Fallback()) return PictureResult::Failure("unknown picture format and no other reader registered");
  std::optional<RgbaImage> other = Fallback()(bytes);
  if (!other) return PictureResult::Failure("no reader knows this picture");
  return Still("other", std::move(other), request);
}

PictureFallback SetPictureFallback(PictureFallback fallback) {
  return std::exchange(Fallback(), std::move(fallback));
}

}  // namespace pagemoor
