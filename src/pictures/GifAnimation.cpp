#include "pictures/GifAnimation.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace pagemoor {

namespace {

// What the file says about one frame, read once when the file is opened; its
// pixels are decoded again whenever the frame is drawn.
struct FrameInfo {
  std::size_t offset = 0;  // of the image descriptor (the ',')
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int delayCs = 0;  // hundredths of a second
  int disposal = 0;
  int transparent = -1;
  bool localColorMap = false;
  bool interlaced = false;
};

constexpr int kDisposeBackground = 2;
constexpr int kDisposePrevious = 3;

// giflib reads through this. To decode one frame on its own, the reader
// serves the file's header (signature, screen, global colour table) and then
// jumps to the frame's descriptor, so giflib sees a file of that one frame.
struct Source {
  std::string_view bytes;
  std::size_t pos = 0;
  std::size_t headerEnd = 0;
  std::size_t resumeAt = 0;
  bool jumpPending = false;
};

int readSource(GifFileType* gif, GifByteType* out, int len) {
  auto* s = static_cast<Source*>(gif->UserData);
  int done = 0;
  while (done < len) {
    if (s->jumpPending && s->pos >= s->headerEnd) {
      s->pos = s->resumeAt;
      s->jumpPending = false;
    }
    const std::size_t limit = s->jumpPending ? s->headerEnd : s->bytes.size();
    if (s->pos >= limit) break;
    const std::size_t n = std::min(static_cast<std::size_t>(len - done), limit - s->pos);
    std::memcpy(out + done, s->bytes.data() + s->pos, n);
    s->pos += n;
    done += static_cast<int>(n);
  }
  return done;
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

GifHandle openGif(Source* source) {
  int error = 0;
  return GifHandle(DGifOpen(source, readSource, &error));
}

bool isLoopExtension(const GifByteType* block) {
  if (!block || block[0] != 11) return false;
  return std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0;
}

struct Rect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool empty() const { return x0 >= x1 || y0 >= y1; }
};

class StreamedGifAnimation final : public GifAnimation {
 public:
  StreamedGifAnimation(std::string bytes, int width, int height, std::size_t headerEnd, int loopCount,
                       std::vector<FrameInfo> frames)
      : m_bytes(std::move(bytes)),
        m_width(width),
        m_height(height),
        m_headerEnd(headerEnd),
        m_loopCount(loopCount),
        m_frames(std::move(frames)) {}

  int width() const override { return m_width; }
  int height() const override { return m_height; }
  int frameCount() const override { return static_cast<int>(m_frames.size()); }
  int loopCount() const override { return m_loopCount; }
  int delayMs(int index) const override {
    if (index < 0 || index >= frameCount()) return 0;
    return m_frames[static_cast<std::size_t>(index)].delayCs * 10;
  }

  const RgbaImage& frame(int index) override {
    index = std::clamp(index, 0, frameCount() - 1);
    if (m_canvas.empty() || index < m_current) {
      // Going back means building the canvas again from the first frame:
      // every frame may leave something behind for the next.
      m_canvas = RgbaImage(m_width, m_height);
      m_current = -1;
    }
    while (m_current < index) {
      if (m_current >= 0) dispose(m_frames[static_cast<std::size_t>(m_current)]);
      ++m_current;
      draw(m_frames[static_cast<std::size_t>(m_current)]);
    }
    return m_canvas;
  }

 private:
  Rect visible(const FrameInfo& f) const {
    return {std::min(f.left, m_width), std::min(f.top, m_height), std::min(f.left + f.width, m_width),
            std::min(f.top + f.height, m_height)};
  }

  void dispose(const FrameInfo& f) {
    const Rect r = visible(f);
    if (r.empty()) return;
    const std::size_t rowBytes = static_cast<std::size_t>(r.x1 - r.x0) * 4;
    if (f.disposal == kDisposeBackground) {
      // Browsers clear to transparent rather than to the background colour,
      // and authors made their animations for browsers.
      for (int y = r.y0; y < r.y1; ++y) std::memset(m_canvas.pixel(r.x0, y), 0, rowBytes);
    } else if (f.disposal == kDisposePrevious && !m_saved.empty()) {
      for (int y = r.y0; y < r.y1; ++y)
        std::memcpy(m_canvas.pixel(r.x0, y), m_saved.data() + static_cast<std::size_t>(y - r.y0) * rowBytes,
                    rowBytes);
    }
  }

  void draw(const FrameInfo& f) {
    const Rect r = visible(f);
    m_saved.clear();
    if (r.empty()) return;
    if (f.disposal == kDisposePrevious) {
      // Only the part this frame covers can change before it is disposed of.
      const std::size_t rowBytes = static_cast<std::size_t>(r.x1 - r.x0) * 4;
      m_saved.resize(rowBytes * static_cast<std::size_t>(r.y1 - r.y0));
      for (int y = r.y0; y < r.y1; ++y)
        std::memcpy(m_saved.data() + static_cast<std::size_t>(y - r.y0) * rowBytes, m_canvas.pixel(r.x0, y),
                    rowBytes);
    }

    Source source{m_bytes, 0, m_headerEnd, f.offset, true};
    GifHandle gif = openGif(&source);
    if (!gif) return;
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR || type != IMAGE_DESC_RECORD_TYPE) return;
    if (DGifGetImageHeader(gif.get()) == GIF_ERROR) return;

    const std::array<std::uint32_t, 256> palette = paletteOf(*gif, f.transparent);
    m_line.resize(static_cast<std::size_t>(f.width));
    static constexpr int kPassStart[] = {0, 4, 2, 1};
    static constexpr int kPassStep[] = {8, 8, 4, 2};
    const int passes = f.interlaced ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
      const int start = f.interlaced ? kPassStart[pass] : 0;
      const int step = f.interlaced ? kPassStep[pass] : 1;
      for (int row = start; row < f.height; row += step) {
        const int y = f.top + row;
        // Below the canvas in the last pass, nothing more will show.
        if (y >= r.y1 && pass == passes - 1) return;
        // A frame cut short keeps the rows decoded before the cut.
        if (DGifGetLine(gif.get(), m_line.data(), f.width) == GIF_ERROR) return;
        if (y >= r.y1) continue;
        std::uint8_t* out = m_canvas.pixel(r.x0, y);
        for (int x = r.x0; x < r.x1; ++x, out += 4) {
          const std::uint32_t colour = palette[m_line[static_cast<std::size_t>(x - f.left)]];
          if (colour != kSkip) std::memcpy(out, &colour, 4);
        }
      }
    }
  }

  // RGBA in memory order; the transparent index is kSkip, an otherwise
  // impossible value (every real entry is opaque).
  static constexpr std::uint32_t kSkip = 0;

  static std::uint32_t packed(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const std::uint8_t rgba[4] = {r, g, b, 255};
    std::uint32_t v;
    std::memcpy(&v, rgba, 4);
    return v;
  }

  static std::array<std::uint32_t, 256> paletteOf(const GifFileType& gif, int transparent) {
    std::array<std::uint32_t, 256> palette;
    // An index beyond the colour table shows black.
    palette.fill(packed(0, 0, 0));
    const ColorMapObject* map = gif.Image.ColorMap ? gif.Image.ColorMap : gif.SColorMap;
    if (map && map->Colors) {
      const int count = std::min(map->ColorCount, 256);
      for (int i = 0; i < count; ++i)
        palette[static_cast<std::size_t>(i)] =
            packed(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
    } else {
      // No colour table anywhere: the GIF89a document recommends black and
      // white as the first two entries; the rest are greys.
      for (int i = 0; i < 256; ++i) {
        const auto grey = static_cast<std::uint8_t>(i == 1 ? 255 : i);
        palette[static_cast<std::size_t>(i)] = packed(grey, grey, grey);
      }
    }
    if (transparent >= 0 && transparent < 256) palette[static_cast<std::size_t>(transparent)] = kSkip;
    return palette;
  }

  std::string m_bytes;
  int m_width;
  int m_height;
  std::size_t m_headerEnd;
  int m_loopCount;
  std::vector<FrameInfo> m_frames;

  RgbaImage m_canvas;
  int m_current = -1;
  // The part of the canvas under the frame shown, while its disposal is
  // "restore previous".
  std::vector<std::uint8_t> m_saved;
  std::vector<GifPixelType> m_line;
};

}  // namespace

std::unique_ptr<GifAnimation> GifAnimation::Open(std::string bytes) {
  Source source{bytes};
  GifHandle gif = openGif(&source);
  if (!gif) return nullptr;
  // A damaged header must not make us allocate a canvas of gigabytes.
  if (static_cast<std::int64_t>(gif->SWidth) * gif->SHeight > kMaxPicturePixels) return nullptr;
  const std::size_t headerEnd = source.pos;

  std::vector<FrameInfo> frames;
  int loopCount = 1;
  bool loopSeen = false;
  FrameInfo pending;  // what the last graphic control block said for the next frame
  bool done = false;
  // Reading stops at the trailer or at the first thing that cannot be read;
  // the frames before it stay.
  while (!done) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) break;
    if (type == IMAGE_DESC_RECORD_TYPE) {
      FrameInfo f = pending;
      pending = FrameInfo();
      f.offset = source.pos - 1;
      if (DGifGetImageHeader(gif.get()) == GIF_ERROR) break;
      const GifImageDesc& d = gif->Image;
      f.left = d.Left;
      f.top = d.Top;
      f.width = d.Width;
      f.height = d.Height;
      f.interlaced = d.Interlace;
      f.localColorMap = d.ColorMap != nullptr;
      // The pixels are skipped here without decoding them. A frame whose
      // data starts is kept even when the file ends inside it.
      int codeSize = 0;
      GifByteType* block = nullptr;
      if (DGifGetCode(gif.get(), &codeSize, &block) == GIF_ERROR) break;
      frames.push_back(f);
      while (block && !done) done = DGifGetCodeNext(gif.get(), &block) == GIF_ERROR;
    } else if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) break;
      const bool loopExtension = code == APPLICATION_EXT_FUNC_CODE && isLoopExtension(block);
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
        pending.disposal = (block[1] >> 2) & 7;
        if (pending.disposal > kDisposePrevious) pending.disposal = 0;
        pending.delayCs = block[2] | (block[3] << 8);
        pending.transparent = (block[1] & 1) ? block[4] : -1;
      } else if (code == PLAINTEXT_EXT_FUNC_CODE) {
        // A graphic control block before a text block belongs to the text.
        pending = FrameInfo();
      }
      while (block && !done) {
        done = DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR;
        // Sub-block 1 holds the loop count; sub-block 2 (a buffer size) is not ours.
        if (!done && loopExtension && !loopSeen && block && block[0] >= 3 && block[1] == 1) {
          loopCount = block[2] | (block[3] << 8);
          loopSeen = true;
        }
      }
    } else {
      break;
    }
  }
  if (frames.empty()) return nullptr;

  int width = gif->SWidth;
  int height = gif->SHeight;
  // Some writers leave the logical screen at 0; the first frame shows where
  // the picture is.
  if (width <= 0) width = frames.front().left + frames.front().width;
  if (height <= 0) height = frames.front().top + frames.front().height;
  if (width <= 0 || height <= 0 || static_cast<std::int64_t>(width) * height > kMaxPicturePixels)
    return nullptr;
  gif.reset();
  return std::make_unique<StreamedGifAnimation>(std::move(bytes), width, height, headerEnd, loopCount,
                                                std::move(frames));
}

}  // namespace pagemoor
