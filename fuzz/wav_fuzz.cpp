// WAV reading from arbitrary bytes: open, read everything, seek to the
// middle and read again. No crash, no leak, no hang; a read never gives more
// than asked, the position follows the reads, and the frames after the seek
// are the ones the first pass gave there.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/Decoder.h"

namespace {

// A file at a very low rate turns into many frames at the output rate; the
// work per input is capped so that the fuzzer keeps its pace.
constexpr std::size_t kMaxFrames = 1 << 18;
constexpr std::size_t kBlock = 1000;
constexpr std::size_t kAfterSeek = 4096;

std::vector<std::int16_t> readUpTo(pagemoor::audio::Decoder& d, std::size_t limit) {
  std::vector<std::int16_t> all;
  std::vector<std::int16_t> buf(kBlock * 2);
  while (all.size() / 2 < limit) {
    const std::size_t want = std::min(kBlock, limit - all.size() / 2);
    const std::size_t got = d.read(buf.data(), want);
    if (got > want) std::abort();
    all.insert(all.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(got * 2));
    if (got < want) break;
  }
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto d = pagemoor::audio::OpenWav(std::string(reinterpret_cast<const char*>(data), size), 44100);
  if (!d) return 0;
  const std::uint64_t length = d->lengthFrames();
  const auto first = readUpTo(*d, kMaxFrames);
  const std::size_t got = first.size() / 2;
  if (d->positionFrames() != got || got > length) std::abort();
  // A WAV's length is exact: the first pass ends at it unless the cap stopped it.
  if (got < kMaxFrames && got != length) std::abort();

  const std::uint64_t middle = std::min<std::uint64_t>(length, got) / 2;
  if (!d->seek(middle) || d->positionFrames() != middle) std::abort();
  const auto again = readUpTo(*d, kAfterSeek);
  const std::size_t overlap = std::min(again.size(), first.size() - static_cast<std::size_t>(middle) * 2);
  if (!std::equal(again.begin(), again.begin() + static_cast<std::ptrdiff_t>(overlap),
                  first.begin() + static_cast<std::ptrdiff_t>(middle * 2)))
    std::abort();
  return 0;
}
