// Small GIFs of solid frames written with giflib, for the tests of the
// picture readers and of the controls that animate them.
#pragma once

#include <gif_lib.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace pagemoor::test {

struct SolidFrame {
  int colour;   // palette index: 0 red, 1 green, 2 blue, 3 white
  int delayCs;  // hundredths of a second
};

inline int AppendGifBytes(GifFileType* gif, const GifByteType* bytes, int n) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(n));
  return n;
}

// A 3 x 2 GIF of solid frames; loop: the NETSCAPE loop count (0 for ever),
// none for no loop extension.
inline std::string SolidGif(const std::vector<SolidFrame>& frames, std::optional<int> loop = std::nullopt) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, AppendGifBytes, &error);
  GifColorType colours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  ColorMapObject* map = GifMakeMapObject(4, colours);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, 3, 2, 2, 0, map);
  if (loop) {
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
    const unsigned char count[] = {1, static_cast<unsigned char>(*loop & 0xFF), static_cast<unsigned char>(*loop >> 8)};
    EGifPutExtensionBlock(gif, 3, count);
    EGifPutExtensionTrailer(gif);
  }
  for (const SolidFrame& f : frames) {
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, f.delayCs, NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(EGifGCBToExtension(&control, extension)),
                     extension);
    EGifPutImageDesc(gif, 0, 0, 3, 2, false, nullptr);
    GifPixelType row[3] = {static_cast<GifPixelType>(f.colour), static_cast<GifPixelType>(f.colour),
                           static_cast<GifPixelType>(f.colour)};
    EGifPutLine(gif, row, 3);
    EGifPutLine(gif, row, 3);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// Every frame in one colour from the list, each shown for delayCs.
inline std::string SolidColourGif(const std::vector<int>& colours, int delayCs,
                                  std::optional<int> loop = std::nullopt) {
  std::vector<SolidFrame> frames;
  for (int colour : colours) frames.push_back({colour, delayCs});
  return SolidGif(frames, loop);
}

}  // namespace pagemoor::test
