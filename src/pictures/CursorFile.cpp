#include "pictures/CursorFile.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/ByteReader.h"

namespace pagemoor {
namespace {

// The part of bytes from offset on, at most size long; empty when offset is
// past the end. Directory sizes in the wild are often a little off, so a
// picture that claims more than the file holds gets what there is.
std::string_view Slice(std::string_view bytes, std::uint64_t offset, std::uint64_t size) {
  return ByteReader(bytes).from(offset).subAtMost(size).all();
}

// ------------------------------------------------------- DIB pictures -----

// The header of the device-independent bitmap inside an icon or cursor.
struct DibInfo {
  std::size_t headerSize = 0;
  int width = 0;
  int height = 0;  // of the picture, not the doubled height the header gives
  int bits = 0;
  std::size_t colours = 0;
};

std::optional<DibInfo> ReadDibInfo(std::string_view dib) {
  if (dib.size() < 40) return std::nullopt;
  DibInfo info;
  ByteReader r(dib);
  info.headerSize = r.u32le();
  const std::int32_t width = r.i32le();
  const std::int32_t doubleHeight = r.i32le();
  r.skip(2);  // planes
  info.bits = r.u16le();
  const std::uint32_t compression = r.u32le();
  r.skip(12);  // picture size and resolution
  const std::uint32_t used = r.u32le();
  if (info.headerSize < 40 || info.headerSize > dib.size()) return std::nullopt;
  // The height counts the colour picture and the mask below it.
  if (width <= 0 || doubleHeight < 2 || compression != 0) return std::nullopt;
  info.width = width;
  info.height = doubleHeight / 2;
  if (static_cast<std::int64_t>(info.width) * info.height > kMaxPicturePixels) return std::nullopt;
  switch (info.bits) {
    case 1:
    case 4:
    case 8:
      info.colours = used != 0 ? used : std::size_t{1} << info.bits;
      if (info.colours > 256) return std::nullopt;
      break;
    case 16:
    case 24:
    case 32:
      break;
    default:
      return std::nullopt;
  }
  return info;
}

std::size_t RowStride(int width, int bits) {
  return static_cast<std::size_t>((static_cast<std::int64_t>(width) * bits + 31) / 32 * 4);
}

// The colour picture (the "XOR" part) must be complete; the transparency
// mask (the "AND" part) may be short or missing, which reads as opaque, since
// some writers leave it out next to an alpha channel.
std::optional<RgbaImage> DecodeDib(std::string_view dib) {
  const std::optional<DibInfo> info = ReadDibInfo(dib);
  if (!info) return std::nullopt;
  const int w = info->width;
  const int h = info->height;
  const std::size_t paletteAt = info->headerSize;
  const std::size_t pixelsAt = paletteAt + info->colours * 4;
  const std::size_t stride = RowStride(w, info->bits);
  if (pixelsAt > dib.size() || stride > (dib.size() - pixelsAt) / static_cast<std::size_t>(h))
    return std::nullopt;
  const ByteReader palette = ByteReader(dib).at(paletteAt, info->colours * 4);
  const ByteReader mask = ByteReader(dib).from(pixelsAt + stride * static_cast<std::size_t>(h));
  const std::size_t maskStride = RowStride(w, 1);

  // Where the mask is cut short, its bits read as zero: opaque.
  const auto masked = [&](int x, int row) {
    const std::size_t at = maskStride * static_cast<std::size_t>(row) + static_cast<std::size_t>(x / 8);
    return ((mask.at(at, 1).u8() >> (7 - x % 8)) & 1) != 0;
  };

  RgbaImage image(w, h);
  bool anyAlpha = false;
  for (int row = 0; row < h; ++row) {
    // Rows are stored from the bottom up.
    ByteReader pixels = ByteReader(dib).at(pixelsAt + stride * static_cast<std::size_t>(row), stride);
    std::uint8_t* out = image.pixel(0, h - 1 - row);
    std::uint8_t byte = 0;
    for (int x = 0; x < w; ++x, out += 4) {
      std::uint8_t r = 0, g = 0, b = 0, a = 255;
      if (info->bits <= 8) {
        const int perByte = 8 / info->bits;
        if (x % perByte == 0) byte = pixels.u8();
        const int shift = 8 - info->bits * (x % perByte + 1);
        const std::size_t index = static_cast<std::size_t>((byte >> shift) & ((1 << info->bits) - 1));
        if (index < info->colours) {
          ByteReader colour = palette.at(index * 4, 4);
          b = colour.u8();
          g = colour.u8();
          r = colour.u8();
        }
      } else if (info->bits == 16) {
        const int v = pixels.u16le();
        const auto expand = [](int five) { return static_cast<std::uint8_t>((five << 3) | (five >> 2)); };
        r = expand((v >> 10) & 31);
        g = expand((v >> 5) & 31);
        b = expand(v & 31);
      } else {
        b = pixels.u8();
        g = pixels.u8();
        r = pixels.u8();
        if (info->bits == 32) {
          a = pixels.u8();
          anyAlpha = anyAlpha || a != 0;
        }
      }
      if (info->bits != 32 && masked(x, row)) {
        // Mask set over black is see-through. Over a colour it means "invert
        // the screen", which a picture cannot say; dark is what it looks like
        // over the light pages it is mostly shown on.
        a = (r | g | b) == 0 ? 0 : 255;
        r = g = b = 0;
      }
      out[0] = r;
      out[1] = g;
      out[2] = b;
      out[3] = a;
    }
  }
  // A 32-bit picture whose alpha is all zero comes from a writer that only
  // knew the mask.
  if (info->bits == 32 && !anyAlpha) {
    for (int row = 0; row < h; ++row)
      for (int x = 0; x < w; ++x) image.pixel(x, h - 1 - row)[3] = masked(x, row) ? 0 : 255;
  }
  return image;
}

// --------------------------------------------------------- .cur / .ico -----

constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1a\n";

std::optional<CursorImage> ReadIconFile(std::string_view bytes) {
  ByteReader r(bytes);
  const std::uint16_t reserved = r.u16le();
  const std::uint16_t type = r.u16le();
  const std::uint16_t declared = r.u16le();
  if (!r.ok() || reserved != 0 || (type != 1 && type != 2) || declared == 0) return std::nullopt;
  const bool cursor = type == 2;
  const std::size_t count = std::min<std::size_t>(declared, r.remaining() / 16);

  struct Candidate {
    std::string_view data;
    int hotX = 0, hotY = 0;
    int width = 0, height = 0, bits = 0;
    bool png = false;
  };
  std::vector<Candidate> candidates;
  for (std::size_t i = 0; i < count; ++i) {
    ByteReader entry = r.sub(16);
    Candidate c;
    const std::uint8_t width = entry.u8();
    const std::uint8_t height = entry.u8();
    c.width = width == 0 ? 256 : width;
    c.height = height == 0 ? 256 : height;
    entry.skip(2);  // colour count and a reserved byte
    // A cursor keeps its hot spot where an icon keeps planes and depth. An
    // icon shown as a cursor points with its centre.
    const std::uint16_t hotX = entry.u16le();
    const std::uint16_t hotY = entry.u16le();
    c.hotX = cursor ? hotX : -1;
    c.hotY = cursor ? hotY : -1;
    const std::uint32_t size = entry.u32le();
    c.data = Slice(bytes, entry.u32le(), size);
    if (c.data.starts_with(kPngSignature)) {
      c.png = true;
    } else if (const std::optional<DibInfo> info = ReadDibInfo(c.data)) {
      c.width = info->width;
      c.height = info->height;
      c.bits = info->bits;
    } else {
      continue;
    }
    candidates.push_back(c);
  }
  // The largest picture, then the deepest; a picture we decode beats a PNG.
  std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    if (a.png != b.png) return !a.png;
    const std::int64_t areaA = static_cast<std::int64_t>(a.width) * a.height;
    const std::int64_t areaB = static_cast<std::int64_t>(b.width) * b.height;
    if (areaA != areaB) return areaA > areaB;
    return a.bits > b.bits;
  });

  for (const Candidate& c : candidates) {
    CursorImage result;
    if (c.png) {
      result.png = std::string(c.data);
    } else if (std::optional<RgbaImage> image = DecodeDib(c.data)) {
      result.image = std::move(*image);
    } else {
      continue;
    }
    const int w = result.image.empty() ? c.width : result.image.width;
    const int h = result.image.empty() ? c.height : result.image.height;
    result.hotX = std::clamp(c.hotX < 0 ? w / 2 : c.hotX, 0, w - 1);
    result.hotY = std::clamp(c.hotY < 0 ? h / 2 : c.hotY, 0, h - 1);
    return result;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------- .ani -----

struct Chunk {
  std::string_view id;
  std::string_view data;
};

using IdList = std::span<const std::string_view>;
constexpr std::array<std::string_view, 4> kTopLevelIds = {"anih", "rate", "seq ", "LIST"};
constexpr std::array<std::string_view, 1> kFrameListIds = {"icon"};

bool IsOneOf(std::string_view id, IdList ids) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

bool IsPrintableId(std::string_view id) {
  return std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// The chunks of a RIFF region, word-aligned. Real files get sizes wrong (an
// INFO list that claims two bytes more than it holds is common), which puts
// the next header somewhere else than the size says. So a header that cannot
// be right (a strange id, or an unknown chunk larger than what is left)
// starts a search for the first known id after the previous chunk's header,
// up to a little past where the size pointed; that finds the real next chunk
// whether the size was too large or too small. Every chunk found starts after
// the one before, so the walk ends, and the searches together read the region
// about once.
std::vector<Chunk> ReadChunks(std::string_view region, IdList known) {
  constexpr std::size_t kSearchAhead = 64;
  std::vector<Chunk> chunks;
  std::size_t pos = 0;
  std::size_t searchFrom = 0;
  while (region.size() >= 8 && pos <= region.size() - 8) {
    ByteReader head = ByteReader(region).at(pos, 8);
    const std::string_view id = head.bytes(4);
    const std::uint64_t size = head.u32le();
    const std::uint64_t rest = region.size() - pos - 8;
    if (!IsOneOf(id, known) && !(IsPrintableId(id) && size <= rest)) {
      const std::size_t last = std::min(pos + kSearchAhead, region.size() - 8);
      std::size_t at = searchFrom;
      while (at <= last && !IsOneOf(region.substr(at, 4), known)) ++at;
      if (at > last) break;
      pos = at;
      continue;
    }
    chunks.push_back({id, Slice(region, pos + 8, size)});
    searchFrom = pos + 8;
    const std::uint64_t next = pos + 8 + size + (size & 1);
    if (next > region.size()) break;
    pos = static_cast<std::size_t>(next);
  }
  return chunks;
}

std::vector<std::uint32_t> ReadNumbers(std::string_view data) {
  ByteReader r(data);
  std::vector<std::uint32_t> numbers(data.size() / 4);
  for (std::uint32_t& n : numbers) n = r.u32le();
  return numbers;
}

int JiffiesToMs(std::uint32_t jiffies) {
  // A rate of zero would spin; one jiffy is the shortest a cursor ever showed.
  const std::uint64_t ms = std::max<std::uint64_t>(jiffies, 1) * 1000 / 60;
  return static_cast<int>(std::min<std::uint64_t>(ms, INT_MAX));
}

std::optional<CursorAnimation> ReadAnimatedCursor(std::string_view bytes) {
  // The RIFF size is not trusted either: real files get it wrong, so the
  // chunks run to the end of the bytes.
  std::optional<std::string_view> header;
  std::optional<std::vector<std::uint32_t>> rates, sequence;
  std::vector<std::string_view> frameData;
  for (const Chunk& chunk : ReadChunks(bytes.substr(12), kTopLevelIds)) {
    if (chunk.id == "anih" && chunk.data.size() >= 36) {
      header = chunk.data;
    } else if (chunk.id == "rate") {
      rates = ReadNumbers(chunk.data);
    } else if (chunk.id == "seq ") {
      sequence = ReadNumbers(chunk.data);
    } else if (chunk.id == "LIST" && chunk.data.starts_with("fram")) {
      for (const Chunk& frame : ReadChunks(chunk.data.substr(4), kFrameListIds))
        if (frame.id == "icon") frameData.push_back(frame.data);
    } else if (chunk.id == "icon") {
      frameData.push_back(chunk.data);  // a writer that forgot the list
    }
  }
  if (!header || frameData.empty()) return std::nullopt;
  ByteReader fields(*header);
  fields.skip(8);  // its size and the number of frames
  const std::uint32_t declaredSteps = fields.u32le();
  fields.skip(16);  // picture size, depth and planes: each frame has its own
  const std::uint32_t defaultRate = fields.u32le();

  CursorAnimation animation;
  for (std::string_view data : frameData) {
    std::optional<CursorImage> frame = ReadIconFile(data);
    // One unreadable frame would shift every index after it.
    if (!frame) return std::nullopt;
    animation.frames.push_back(std::move(*frame));
  }

  // Without a sequence the frames play in order, one step each.
  std::size_t stepCount = sequence ? sequence->size() : animation.frames.size();
  if (declaredSteps > 0) stepCount = std::min<std::size_t>(stepCount, declaredSteps);
  for (std::size_t i = 0; i < stepCount; ++i) {
    const std::uint32_t frame = sequence ? (*sequence)[i] : static_cast<std::uint32_t>(i);
    if (frame >= animation.frames.size()) continue;  // a step showing nothing is dropped
    const std::uint32_t jiffies = rates && i < rates->size() ? (*rates)[i] : defaultRate;
    animation.steps.push_back({static_cast<int>(frame), JiffiesToMs(jiffies)});
  }
  if (animation.steps.empty()) return std::nullopt;
  return animation;
}

}  // namespace

std::optional<CursorAnimation> ReadCursorFile(std::string_view bytes) {
  ByteReader riff(bytes);
  if (riff.tag("RIFF") && riff.skip(4) && riff.tag("ACON")) return ReadAnimatedCursor(bytes);
  std::optional<CursorImage> image = ReadIconFile(bytes);
  if (!image) return std::nullopt;
  CursorAnimation still;
  still.frames.push_back(std::move(*image));
  still.steps.push_back({0, 0});
  return still;
}

}  // namespace pagemoor
