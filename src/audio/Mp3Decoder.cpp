// MPEG audio through libmpg123, reading from the bytes in memory so that it
// can scan the whole file once (exact length, a seek index) and seek to the
// frame. Resampling is ours: libmpg123's own rate conversion is crude, and
// it only converts the frames of a joined file whose rate differs from the
// first frame's.
#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "audio/Decoder.h"
#include "common/ByteReader.h"

namespace pagemoor::audio {

namespace {

// libmpg123 finds "frames" in any data (eleven set bits are a sync word), so
// a file counts as MPEG audio only when this many frames follow one another,
// each where the header before it says, all of one kind. A shorter file
// counts when its chain of two frames or more runs to the end of the data.
constexpr int kFramesInARow = 4;

void InitMpg123Once() {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

struct FrameHeader {
  int version;  // bits of the header: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  int layer;    // bits of the header: 3 layer I, 2 layer II, 1 layer III
  int rateIndex;
  std::size_t length;
};

// The frame header at `at`, when it is one (free-format frames, whose length
// no header gives, are not taken).
std::optional<FrameHeader> ParseHeader(std::string_view b, std::size_t at) {
  ByteReader r = ByteReader(b).at(at, 4);
  const std::uint8_t h0 = r.u8();
  const std::uint8_t h1 = r.u8();
  const std::uint8_t h2 = r.u8();
  if (!r.ok() || h0 != 0xFF || (h1 & 0xE0) != 0xE0) return std::nullopt;
  const int version = (h1 >> 3) & 3;
  const int layer = (h1 >> 1) & 3;
  const int bitrateIndex = h2 >> 4;
  const int rateIndex = (h2 >> 2) & 3;
  const int padding = (h2 >> 1) & 1;
  if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
    return std::nullopt;
  static constexpr int kBitrates[2][3][15] = {
      // MPEG-1: layer I, II, III
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
      // MPEG-2 and 2.5: layer I, II, III
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
  static constexpr int kRates[3] = {44100, 48000, 32000};
  const bool mpeg1 = version == 3;
  const int rate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  const int layerNumber = 4 - layer;
  const long bitrate = kBitrates[mpeg1 ? 0 : 1][layerNumber - 1][bitrateIndex] * 1000L;
  std::size_t length;
  if (layerNumber == 1) {
    length = static_cast<std::size_t>((12 * bitrate / rate + padding) * 4);
  } else if (layerNumber == 3 && !mpeg1) {
    length = static_cast<std::size_t>(72 * bitrate / rate + padding);
  } else {
    length = static_cast<std::size_t>(144 * bitrate / rate + padding);
  }
  return FrameHeader{version, layer, rateIndex, length};
}

// Where the audio starts: after an ID3v2 tag, when there is one.
std::size_t AudioStart(std::string_view b) {
  ByteReader r(b);
  if (!r.tag("ID3")) return 0;
  r.skip(2);  // version
  const std::uint8_t flags = r.u8();
  std::uint32_t size = 0;
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t part = r.u8();
    if (part & 0x80) return 0;  // not a synchsafe size: not a tag
    size = (size << 7) | part;
  }
  if (!r.ok()) return 0;
  const std::size_t footer = (flags & 0x10) ? 10 : 0;
  return std::min<std::size_t>(b.size(), 10 + size + footer);
}

// The bytes without an ID3v1 tag at their end.
std::string_view WithoutId3v1Tag(std::string_view b) {
  if (b.size() >= 128 && b.substr(b.size() - 128, 3) == "TAG") b.remove_suffix(128);
  return b;
}

bool LooksLikeMpegAudio(std::string_view b) {
  b = WithoutId3v1Tag(b);
  for (std::size_t start = AudioStart(b); start + 4 <= b.size(); ++start) {
    const auto first = ParseHeader(b, start);
    if (!first) continue;
    int frames = 1;
    std::size_t next = start + first->length;
    while (frames < kFramesInARow && next < b.size()) {
      const auto h = ParseHeader(b, next);
      if (!h || h->version != first->version || h->layer != first->layer || h->rateIndex != first->rateIndex)
        break;
      ++frames;
      next += h->length;
    }
    if (frames >= kFramesInARow || (frames > 1 && next == b.size())) return true;
  }
  return false;
}

// True when the frames of the file do not all have one sample rate, as in
// MP3s joined from pieces made at different rates. The frames are followed
// from header to header; after data that is no frame the walk goes on at the
// next header that another one follows.
bool HasSeveralRates(std::string_view b) {
  b = WithoutId3v1Tag(b);
  auto chained = [&](std::size_t at) -> std::optional<FrameHeader> {
    const auto h = ParseHeader(b, at);
    if (!h || at + h->length > b.size()) return std::nullopt;
    if (at + h->length == b.size()) return h;
    const auto next = ParseHeader(b, at + h->length);
    if (!next || next->version != h->version || next->layer != h->layer) return std::nullopt;
    return h;
  };
  std::optional<std::pair<int, int>> rate;  // version and rate index of the first frame
  std::size_t at = AudioStart(b);
  while (at + 4 <= b.size()) {
    const auto h = chained(at);
    if (!h) {
      ++at;
      continue;
    }
    const std::pair<int, int> thisRate{h->version, h->rateIndex};
    if (!rate) rate = thisRate;
    if (*rate != thisRate) return true;
    at += h->length;
  }
  return false;
}

// The bytes as libmpg123 reads them through its handle callbacks.
struct MemoryReader {
  const std::string* bytes;
  off_t at = 0;

  static mpg123_ssize_t read(void* handle, void* buffer, std::size_t size) {
    auto* r = static_cast<MemoryReader*>(handle);
    const auto total = static_cast<off_t>(r->bytes->size());
    const auto n = static_cast<std::size_t>(std::min<off_t>(static_cast<off_t>(size), total - r->at));
    std::copy_n(r->bytes->data() + r->at, n, static_cast<char*>(buffer));
    r->at += static_cast<off_t>(n);
    return static_cast<mpg123_ssize_t>(n);
  }

  static off_t seek(void* handle, off_t offset, int whence) {
    auto* r = static_cast<MemoryReader*>(handle);
    const auto total = static_cast<off_t>(r->bytes->size());
    off_t to = whence == SEEK_SET ? offset : whence == SEEK_CUR ? r->at + offset : total + offset;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
    if (to < 0 || to > total) return -1;
    r->at = to;
    return to;
  }
};

class Mp3Decoder final : public ResampledDecoder {
 public:
  Mp3Decoder(std::unique_ptr<std::string> bytes, std::unique_ptr<MemoryReader> reader, mpg123_handle* handle,
             int rate, int channels, std::uint64_t frames, int outputRate)
      : ResampledDecoder(rate, outputRate, frames),
        m_bytes(std::move(bytes)),
        m_reader(std::move(reader)),
        m_handle(handle),
        m_channels(channels) {}

  ~Mp3Decoder() override { mpg123_delete(m_handle); }

 protected:
  std::size_t readSource(std::int16_t* out, std::size_t frames) override {
    // Mono decodes into the first half of out and spreads to both sides.
    std::size_t bytes = 0;
    for (;;) {
      const int rc =
          mpg123_read(m_handle, reinterpret_cast<unsigned char*>(out),
                      frames * static_cast<std::size_t>(m_channels) * sizeof(std::int16_t), &bytes);
      if (rc == MPG123_NEW_FORMAT) {
        updateChannels();
        if (bytes == 0) continue;
      }
      if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT) {
        if (bytes == 0) return 0;  // the end, or damage that stops decoding
      }
      break;
    }
    const std::size_t got = bytes / (sizeof(std::int16_t) * static_cast<std::size_t>(m_channels));
    if (m_channels == 1) {
      for (std::size_t i = got; i-- > 0;) {
        out[i * 2 + 1] = out[i];
        out[i * 2] = out[i];
      }
    }
    return got;
  }

  bool seekSource(std::uint64_t frame) override {
    return mpg123_seek(m_handle, static_cast<off_t>(frame), SEEK_SET) >= 0;
  }

 private:
  void updateChannels() {
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(m_handle, &rate, &channels, &encoding) == MPG123_OK &&
        (channels == 1 || channels == 2))
      m_channels = channels;
  }

  std::unique_ptr<std::string> m_bytes;
  std::unique_ptr<MemoryReader> m_reader;
  mpg123_handle* m_handle;
  int m_channels;
};

}  // namespace

std::unique_ptr<Decoder> OpenMp3(std::string bytes, int outputRate) {
  if (outputRate <= 0 || !LooksLikeMpegAudio(bytes)) return nullptr;
  InitMpg123Once();
  int error = MPG123_OK;
  mpg123_handle* handle = mpg123_new(nullptr, &error);
  if (!handle) return nullptr;
  auto owned = std::make_unique<std::string>(std::move(bytes));
  auto reader = std::make_unique<MemoryReader>(MemoryReader{owned.get()});
  auto fail = [&] {
    mpg123_delete(handle);
    return nullptr;
  };
  // 16-bit output at the file's own rate and channels, whatever they are.
  const long* rates = nullptr;
  std::size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  if (mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0) != MPG123_OK ||
      mpg123_format_none(handle) != MPG123_OK)
    return fail();
  for (std::size_t i = 0; i < rateCount; ++i)
    mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_replace_reader_handle(handle, &MemoryReader::read, &MemoryReader::seek, nullptr) != MPG123_OK ||
      mpg123_open_handle(handle, reader.get()) != MPG123_OK)
    return fail();
  // The full scan gives the exact length (and the seek index) even for a
  // file without a header frame that states it.
  if (mpg123_scan(handle) != MPG123_OK) return fail();
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  if (mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || rate > 192000 ||
      (channels != 1 && channels != 2) || encoding != MPG123_ENC_SIGNED_16)
    return fail();
  off_t length = mpg123_length(handle);
  if (HasSeveralRates(*owned)) {
    // Every frame comes out at the first frame's rate: the library converts
    // the others, where they would otherwise play at the wrong speed and
    // pitch. Its length counts each frame at its own rate, so the length is
    // what one pass of decoding gives.
    if (mpg123_format_none(handle) != MPG123_OK ||
        mpg123_format(handle, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK)
      return fail();
    std::vector<unsigned char> scratch(65536);
    off_t samples = 0;
    int outChannels = channels;
    for (;;) {
      std::size_t bytes = 0;
      const int rc = mpg123_read(handle, scratch.data(), scratch.size(), &bytes);
      samples += static_cast<off_t>(bytes / (sizeof(std::int16_t) * static_cast<std::size_t>(outChannels)));
      if (rc == MPG123_NEW_FORMAT) {
        long r = 0;
        int c = 0;
        int e = 0;
        if (mpg123_getformat(handle, &r, &c, &e) == MPG123_OK && (c == 1 || c == 2)) outChannels = c;
        continue;
      }
      if (rc != MPG123_OK) break;
    }
    length = samples;
    if (mpg123_seek(handle, 0, SEEK_SET) < 0) return fail();
  }
  if (length <= 0) return fail();
  return std::make_unique<Mp3Decoder>(std::move(owned), std::move(reader), handle, static_cast<int>(rate),
                                      channels, static_cast<std::uint64_t>(length), outputRate);
}

}  // namespace pagemoor::audio
