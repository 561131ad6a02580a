#include "pictures/OtherPictures.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/ByteReader.h"

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

// count RGB triples; those the bytes do not hold are black.
Palette ReadPalette(std::string_view bytes, std::size_t count) {
  ByteReader r(bytes);
  Palette palette(count);
  for (auto& colour : palette) colour = {r.u8(), r.u8(), r.u8()};
  return palette;
}

bool AllSame(const Palette& palette) {
  return std::all_of(palette.begin(), palette.end(), [&](const auto& c) { return c == palette[0]; });
}

// 2 to 16 colours from the header. Version 3 files say "no palette" outright
// and older writers left the field zeroed: a 16-colour (or planar) picture
// then means the EGA colours, a 4-colour one the CGA cyan/magenta/white set.
Palette PcxSmallPalette(std::string_view headerPalette, int version, std::size_t count, bool cga) {
  Palette palette = ReadPalette(headerPalette, count);
  const bool absent = version == 3 || AllSame(cga ? palette : ReadPalette(headerPalette, 16));
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
      if (m_data.remaining() == 0) break;
      const std::uint8_t byte = m_data.u8();
      if (m_rle && byte >= 0xC0) {
        if (m_data.remaining() == 0) break;
        m_runLeft = byte & 0x3F;
        m_runValue = m_data.u8();
      } else {
        line[filled++] = byte;
      }
    }
    std::fill(line.begin() + static_cast<std::ptrdiff_t>(filled), line.end(), 0);
    return filled;
  }

 private:
  ByteReader m_data;
  bool m_rle;
  std::size_t m_runLeft = 0;
  std::uint8_t m_runValue = 0;
};

}  // namespace

std::optional<RgbaImage> DecodePcx(std::string_view bytes) {
  ByteReader header(bytes);
  const int manufacturer = header.u8();
  const int version = header.u8();
  const int encoding = header.u8();
  const int bits = header.u8();
  const int xMin = header.u16le(), yMin = header.u16le(), xMax = header.u16le(), yMax = header.u16le();
  header.skip(4);  // resolution
  const std::string_view headerPalette = header.bytes(48);
  header.skip(1);
  const int planes = header.u8();
  const std::int64_t bytesPerLine = header.u16le();
  if (!header.ok() || bytes.size() < kPcxHeaderSize) return std::nullopt;
  // Encoding 0 is not ZSoft's own, but a few writers stored lines raw and said so.
  if (manufacturer != 0x0A || version > 5 || encoding > 1) return std::nullopt;
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
    const bool hasPalette = bytes.size() >= kPcxHeaderSize + kPcxPaletteSize &&
                            ByteReader(bytes).at(bytes.size() - kPcxPaletteSize, 1).u8() == 0x0C;
    if (hasPalette) {
      const std::size_t at = bytes.size() - kPcxPaletteSize;
      palette = ReadPalette(bytes.substr(at + 1), 256);
      data = bytes.substr(kPcxHeaderSize, at - kPcxHeaderSize);
    } else {
      palette.resize(256);
      for (std::size_t i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        palette[i] = {v, v, v};
      }
    }
  } else if (planar1 && planes > 1) {
    palette = PcxSmallPalette(headerPalette, version, std::size_t{1} << planes, false);
  } else if (packed) {
    palette = PcxSmallPalette(headerPalette, version, std::size_t{1} << bits, bits == 2);
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

struct TgaColour {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

// One stored value (a pixel or a colour map entry) of the given depth, in
// the file's little-endian BGR(A) order.
TgaColour ReadTgaColour(ByteReader p, int depth, bool useAlpha) {
  TgaColour c;
  switch (depth) {
    case 15:
    case 16: {
      const int v = p.u16le();
      const auto expand = [](int five) { return static_cast<std::uint8_t>((five << 3) | (five >> 2)); };
      c.r = expand((v >> 10) & 31);
      c.g = expand((v >> 5) & 31);
      c.b = expand(v & 31);
      if (depth == 16 && useAlpha) c.a = (v & 0x8000) ? 255 : 0;
      break;
    }
    case 24:
    case 32:
      c.b = p.u8();
      c.g = p.u8();
      c.r = p.u8();
      if (depth == 32 && useAlpha) c.a = p.u8();
      break;
    default:
      break;
  }
  return c;
}

}  // namespace

std::optional<RgbaImage> DecodeTga(std::string_view bytes) {
  ByteReader body(bytes);
  const std::size_t idLength = body.u8();
  const int mapType = body.u8();
  const int type = body.u8();
  const std::size_t mapFirst = body.u16le();
  const std::size_t mapLength = body.u16le();
  const int mapDepth = body.u8();
  body.skip(4);  // the origin on screen
  const int width = body.u16le();
  const int height = body.u16le();
  const int depth = body.u8();
  const int descriptor = body.u8();
  if (!body.ok()) return std::nullopt;
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

  body.skip(idLength);
  std::vector<TgaColour> map;
  if (mapType == 1) {
    const std::size_t entryBytes = static_cast<std::size_t>(mapDepth + 7) / 8;
    ByteReader entries = body.sub(mapLength * entryBytes);
    map.resize(mapLength);
    for (TgaColour& entry : map) entry = ReadTgaColour(entries.sub(entryBytes), mapDepth, useAlpha);
  }
  if (!body.ok()) return std::nullopt;

  const int pixelBytes = (depth + 7) / 8;
  // Turns one stored pixel into a colour; index values outside the colour map
  // come out black.
  const auto convert = [&](ByteReader p) {
    if (kind == 1) {
      const std::size_t index = depth == 8 ? p.u8() : p.u16le();
      if (index < mapFirst || index - mapFirst >= map.size()) return TgaColour{};
      return map[index - mapFirst];
    }
    if (kind == 3) {
      const std::uint8_t grey = p.u8();
      TgaColour c{grey, grey, grey, 255};
      if (depth == 16 && useAlpha) c.a = p.u8();
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
  const auto px = static_cast<std::size_t>(pixelBytes);
  std::size_t n = 0;
  // Packets may run on across line ends, so the stream is one run of pixels.
  // Where the data runs out, the rest of the picture stays black.
  while (n < total) {
    if (!rle) {
      if (!body.canRead(px)) break;
      put(n++, convert(body.sub(px)));
      continue;
    }
    if (body.remaining() == 0) break;
    const std::uint8_t head = body.u8();
    const std::size_t count = std::min<std::size_t>((head & 0x7F) + 1, total - n);
    if (head & 0x80) {
      if (!body.canRead(px)) break;
      const TgaColour c = convert(body.sub(px));
      for (std::size_t i = 0; i < count; ++i) put(n++, c);
    } else {
      for (std::size_t i = 0; i < count && body.canRead(px); ++i) put(n++, convert(body.sub(px)));
      if (!body.canRead(px)) break;
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
