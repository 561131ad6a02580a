#include "pictures/OtherPictures.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/ByteOrder.h"

namespace pagemoor {
namespace {

bool PictureSizeAllowed(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width * height <= kMaxPicturePixels;
}

void SetPixel(RgbaImage& image, int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b,
              std::uint8_t a = 255) {
  std::uint8_t* p = image.pixel(x, y);
  p[0] = r;
  p[1] = g;
  p[2] = b;
  p[3] = a;
}

// Opaque black everywhere: what the reader of a short file sees where the data
// ran out.
RgbaImage BlackImage(int width, int height) {
  RgbaImage image(width, height);
  for (std::size_t i = 3; i < image.pixels.size(); i += 4) image.pixels[i] = 255;
  return image;
}

// ---------------------------------------------------------------- PCX -----

using Palette = std::vector<std::array<std::uint8_t, 3>>;

constexpr std::size_t kPcxHeaderSize = 128;
constexpr std::size_t kPcxPaletteSize = 769;  // 0x0C marker and 256 RGB triples

// The 16 colours of the EGA/VGA text modes: what a 16-colour PCX means when
// its header carries no palette.
const Palette& EgaPalette() {
  static const Palette palette = {
      {0x00, 0x00, 0x00}, {0x00, 0x00, 0xAA}, {0x00, 0xAA, 0x00}, {0x00, 0xAA, 0xAA},
      {0xAA, 0x00, 0x00}, {0xAA, 0x00, 0xAA}, {0xAA, 0x55, 0x00}, {0xAA, 0xAA, 0xAA},
      {0x55, 0x55, 0x55}, {0x55, 0x55, 0xFF}, {0x55, 0xFF, 0x55}, {0x55, 0xFF, 0xFF},
      {0xFF, 0x55, 0x55}, {0xFF, 0x55, 0xFF}, {0xFF, 0xFF, 0x55}, {0xFF, 0xFF, 0xFF}};
  return palette;
}

Palette HeaderPalette(std::string_view b, std::size_t count) {
  Palette palette(count);
  for (std::size_t i = 0; i < count; ++i)
    palette[i] = {U8(b, 16 + i * 3), U8(b, 17 + i * 3), U8(b, 18 + i * 3)};
  return palette;
}

bool AllSame(const Palette& palette) {
  return std::all_of(palette.begin(), palette.end(), [&](const auto& c) { return c == palette[0]; });
}

// 2 to 16 colours from the header. Version 3 files say "no palette" outright
// and older writers left the field zeroed: a 16-colour (or planar) picture
// then means the EGA colours, a 4-colour one the CGA cyan/magenta/white set.
Palette PcxSmallPalette(std::string_view b, std::size_t count, bool cga) {
  Palette palette = HeaderPalette(b, count);
  const bool absent = U8(b, 1) == 3 || AllSame(cga ? palette : HeaderPalette(b, 16));
  if (!absent) return palette;
  if (cga) return {{0, 0, 0}, {0x55, 0xFF, 0xFF}, {0xFF, 0x55, 0xFF}, {0xFF, 0xFF, 0xFF}};
  return Palette(EgaPalette().begin(), EgaPalette().begin() + static_cast<std::ptrdiff_t>(count));
}

// Unpacks the run-length stream one scan line at a time. A run may carry on
// past the end of a line (some writers do that), so the rest of it is kept
// for the next line.
class PcxLineReader {
 public:
  PcxLineReader(std::string_view data, bool rle) : m_data(data), m_rle(rle) {}

  // Fills line and says how many bytes of it the data held; the missing ones
  // are zero.
  std::size_t read(std::vector<std::uint8_t>& line) {
    std::size_t filled = 0;
    while (filled < line.size()) {
      if (m_runLeft > 0) {
        const std::size_t n = std::min(m_runLeft, line.size() - filled);
        std::memset(line.data() + filled, m_runValue, n);
        filled += n;
        m_runLeft -= n;
        continue;
      }
      if (m_pos >= m_data.size()) break;
      const std::uint8_t byte = U8(m_data, m_pos++);
      if (m_rle && byte >= 0xC0) {
        if (m_pos >= m_data.size()) break;
        m_runLeft = byte & 0x3F;
        m_runValue = U8(m_data, m_pos++);
      } else {
        line[filled++] = byte;
      }
    }
    std::fill(line.begin() + static_cast<std::ptrdiff_t>(filled), line.end(), 0);
    return filled;
  }

 private:
  std::string_view m_data;
  bool m_rle;
  std::size_t m_pos = 0;
  std::size_t m_runLeft = 0;
  std::uint8_t m_runValue = 0;
};

}  // namespace

std::optional<RgbaImage> DecodePcx(std::string_view bytes) {
  if (bytes.size() < kPcxHeaderSize) return std::nullopt;
  const int version = U8(bytes, 1);
  const int encoding = U8(bytes, 2);
  const int bits = U8(bytes, 3);
  const int planes = U8(bytes, 65);
  const std::int64_t bytesPerLine = U16(bytes, 66);
  // Encoding 0 is not ZSoft's own, but a few writers stored lines raw and said so.
  if (U8(bytes, 0) != 0x0A || version > 5 || encoding > 1) return std::nullopt;
  const int xMin = U16(bytes, 4), yMin = U16(bytes, 6), xMax = U16(bytes, 8), yMax = U16(bytes, 10);
  if (xMax < xMin || yMax < yMin) return std::nullopt;
  const std::int64_t width = xMax - xMin + 1;
  const std::int64_t height = yMax - yMin + 1;
  if (!PictureSizeAllowed(width, height)) return std::nullopt;

  const bool planar1 = bits == 1 && planes >= 1 && planes <= 4;
  const bool packed = (bits == 2 || bits == 4 || bits == 8) && planes == 1;
  const bool trueColour = bits == 8 && (planes == 3 || planes == 4);
  if (!planar1 && !packed && !trueColour) return std::nullopt;
  if (bytesPerLine * 8 < width * bits) return std::nullopt;

  std::string_view data = bytes.substr(kPcxHeaderSize);
  Palette palette;
  if (bits == 8 && planes == 1) {
    // The 256 colours follow the picture data, behind a 0x0C marker; a file
    // without them is grey.
    const bool hasPalette =
        bytes.size() >= kPcxHeaderSize + kPcxPaletteSize && U8(bytes, bytes.size() - kPcxPaletteSize) == 0x0C;
    if (hasPalette) {
      const std::size_t at = bytes.size() - kPcxPaletteSize;
      palette.resize(256);
      for (std::size_t i = 0; i < 256; ++i)
        palette[i] = {U8(bytes, at + 1 + i * 3), U8(bytes, at + 2 + i * 3), U8(bytes, at + 3 + i * 3)};
      data = bytes.substr(kPcxHeaderSize, at - kPcxHeaderSize);
    } else {
      palette.resize(256);
      for (std::size_t i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        palette[i] = {v, v, v};
      }
    }
  } else if (planar1 && planes > 1) {
    palette = PcxSmallPalette(bytes, std::size_t{1} << planes, false);
  } else if (packed) {
    palette = PcxSmallPalette(bytes, std::size_t{1} << bits, bits == 2);
  } else if (planar1) {
    // A mono file's header palette is zeroed as often as not: black and white
    // is what it always means.
    palette = {{0, 0, 0}, {255, 255, 255}};
  }

  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  RgbaImage image = BlackImage(w, h);
  const auto stride = static_cast<std::size_t>(bytesPerLine);
  std::vector<std::uint8_t> line(stride * static_cast<std::size_t>(planes));
  PcxLineReader reader(data, encoding == 1);
  // A pixel is shown only when the data held its byte in the last plane;
  // where the data ran out the picture stays black.
  const std::size_t lastPlane = stride * static_cast<std::size_t>(planes - 1);
  for (int y = 0; y < h; ++y) {
    const std::size_t filled = reader.read(line);
    for (int x = 0; x < w; ++x) {
      const auto ux = static_cast<std::size_t>(x);
      if (lastPlane + ux * static_cast<std::size_t>(bits) / 8 >= filled) break;
      if (trueColour) {
        SetPixel(image, x, y, line[ux], line[stride + ux], line[2 * stride + ux],
                 planes == 4 ? line[3 * stride + ux] : 255);
        continue;
      }
      std::size_t index = 0;
      if (planar1) {
        for (int p = 0; p < planes; ++p) {
          const std::uint8_t byte = line[static_cast<std::size_t>(p) * stride + ux / 8];
          index |= static_cast<std::size_t>((byte >> (7 - x % 8)) & 1) << p;
        }
      } else {
        const int perByte = 8 / bits;
        const std::uint8_t byte = line[ux / static_cast<std::size_t>(perByte)];
        const int shift = 8 - bits * (x % perByte + 1);
        index = static_cast<std::size_t>((byte >> shift) & ((1 << bits) - 1));
      }
      const auto& c = palette[index];
      SetPixel(image, x, y, c[0], c[1], c[2]);
    }
    if (filled < line.size()) break;
  }
  return image;
}

// ---------------------------------------------------------------- TGA -----

namespace {

constexpr std::size_t kTgaHeaderSize = 18;

struct TgaColour {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

// One stored value (a pixel or a colour map entry) of the given depth, in
// the file's little-endian BGR(A) order.
TgaColour ReadTgaColour(const std::uint8_t* p, int depth, bool useAlpha) {
  TgaColour c;
  switch (depth) {
    case 15:
    case 16: {
      const int v = p[0] | (p[1] << 8);
      const auto expand = [](int five) { return static_cast<std::uint8_t>((five << 3) | (five >> 2)); };
      c.r = expand((v >> 10) & 31);
      c.g = expand((v >> 5) & 31);
      c.b = expand(v & 31);
      if (depth == 16 && useAlpha) c.a = (v & 0x8000) ? 255 : 0;
      break;
    }
    case 24:
    case 32:
      c.b = p[0];
      c.g = p[1];
      c.r = p[2];
      if (depth == 32 && useAlpha) c.a = p[3];
      break;
    default:
      break;
  }
  return c;
}

}  // namespace

std::optional<RgbaImage> DecodeTga(std::string_view bytes) {
  if (bytes.size() < kTgaHeaderSize) return std::nullopt;
  const std::size_t idLength = U8(bytes, 0);
  const int mapType = U8(bytes, 1);
  const int type = U8(bytes, 2);
  const std::size_t mapFirst = U16(bytes, 3);
  const std::size_t mapLength = U16(bytes, 5);
  const int mapDepth = U8(bytes, 7);
  const int width = U16(bytes, 12);
  const int height = U16(bytes, 14);
  const int depth = U8(bytes, 16);
  const int descriptor = U8(bytes, 17);
  const bool useAlpha = (descriptor & 0x0F) != 0;
  const bool rightToLeft = (descriptor & 0x10) != 0;
  const bool topDown = (descriptor & 0x20) != 0;

  const int kind = type & ~8;  // 1 mapped, 2 true colour, 3 grey; +8 means run-length encoded
  const bool rle = (type & 8) != 0;
  if (type != kind && type != (kind | 8)) return std::nullopt;
  if (kind < 1 || kind > 3 || mapType > 1) return std::nullopt;
  if (kind == 1 && (mapType != 1 || (depth != 8 && depth != 16) || mapLength == 0)) return std::nullopt;
  if (kind == 2 && depth != 15 && depth != 16 && depth != 24 && depth != 32) return std::nullopt;
  if (kind == 3 && depth != 8 && depth != 16) return std::nullopt;
  if (mapType == 1 && mapDepth != 15 && mapDepth != 16 && mapDepth != 24 && mapDepth != 32)
    return std::nullopt;
  if (!PictureSizeAllowed(width, height)) return std::nullopt;

  std::size_t pos = kTgaHeaderSize + idLength;
  std::vector<TgaColour> map;
  if (mapType == 1) {
    const std::size_t entryBytes = static_cast<std::size_t>(mapDepth + 7) / 8;
    if (pos > bytes.size() || mapLength * entryBytes > bytes.size() - pos) return std::nullopt;
    map.resize(mapLength);
    for (std::size_t i = 0; i < mapLength; ++i)
      map[i] = ReadTgaColour(reinterpret_cast<const std::uint8_t*>(bytes.data() + pos + i * entryBytes),
                             mapDepth, useAlpha);
    pos += mapLength * entryBytes;
  }
  if (pos > bytes.size()) return std::nullopt;

  const int pixelBytes = (depth + 7) / 8;
  // Turns one stored pixel into a colour; index values outside the colour map
  // come out black.
  const auto convert = [&](const std::uint8_t* p) {
    if (kind == 1) {
      const std::size_t index = depth == 8 ? p[0] : static_cast<std::size_t>(p[0] | (p[1] << 8));
      if (index < mapFirst || index - mapFirst >= map.size()) return TgaColour{};
      return map[index - mapFirst];
    }
    if (kind == 3) {
      TgaColour c{p[0], p[0], p[0], 255};
      if (depth == 16 && useAlpha) c.a = p[1];
      return c;
    }
    return ReadTgaColour(p, depth, useAlpha);
  };

  RgbaImage image = BlackImage(width, height);
  const std::size_t total = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const auto put = [&](std::size_t n, const TgaColour& c) {
    const int x0 = static_cast<int>(n % static_cast<std::size_t>(width));
    const int y0 = static_cast<int>(n / static_cast<std::size_t>(width));
    SetPixel(image, rightToLeft ? width - 1 - x0 : x0, topDown ? y0 : height - 1 - y0, c.r, c.g, c.b, c.a);
  };
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t end = bytes.size();
  const auto px = static_cast<std::size_t>(pixelBytes);
  std::size_t n = 0;
  // Packets may run on across line ends, so the stream is one run of pixels.
  while (n < total) {
    if (!rle) {
      if (end - pos < px) break;
      put(n++, convert(data + pos));
      pos += px;
      continue;
    }
    if (pos >= end) break;
    const std::uint8_t head = data[pos++];
    const std::size_t count = std::min<std::size_t>((head & 0x7F) + 1, total - n);
    if (head & 0x80) {
      if (end - pos < px) break;
      const TgaColour c = convert(data + pos);
      pos += px;
      for (std::size_t i = 0; i < count; ++i) put(n++, c);
    } else {
      for (std::size_t i = 0; i < count && end - pos >= px; ++i, pos += px) put(n++, convert(data + pos));
      if (end - pos < px) break;
    }
  }

  // Some writers set alpha bits in the descriptor but leave every alpha at
  // zero; an invisible picture is never what they meant.
  if (useAlpha) {
    bool anyAlpha = false;
    for (std::size_t i = 3; i < image.pixels.size() && !anyAlpha; i += 4) anyAlpha = image.pixels[i] != 0;
    if (!anyAlpha)
      for (std::size_t i = 3; i < image.pixels.size(); i += 4) image.pixels[i] = 255;
  }
  return image;
}

}  // namespace pagemoor
