// ZIP reading from arbitrary bytes: the directory of the bytes taken as an
// archive, every entry's data run through its decoder, and the bytes
// themselves run through each decoder (imploded with all four flag
// combinations). No crash, no hang, blocks within bounds, no output beyond
// the declared size, every entry's data inside the bytes.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "installer/ZipDirectory.h"
#include "installer/ZipMethods.h"

namespace {

using namespace pagemoor;

// A declared size may be anything up to 2^64; the work per input is capped so
// that the fuzzer keeps its pace.
constexpr std::uint64_t kMaxOutput = 1 << 20;
constexpr std::size_t kMaxEntries = 64;

struct CheckingSink : ZipSink {
  std::uint64_t total = 0;
  uLong crc = 0;
  bool write(const std::uint8_t* data, std::size_t size) override {
    if (size == 0 || size > kZipBlockSize) std::abort();
    total += size;
    crc = crc32(crc, data, static_cast<uInt>(size));
    return true;
  }
};

void Decode(ZipDecoder& decoder, int method, std::uint16_t flags, std::span<const std::uint8_t> input,
            std::uint64_t expected) {
  CheckingSink sink;
  const ZipDecodeResult r = decoder.decode(method, flags, input, expected, sink);
  if (r.written != sink.total || r.written > expected) std::abort();
  if (r.status == ZipDecodeStatus::Ok && r.written != expected) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ZipDecoder decoder;

  const ZipDirectory dir = ReadZipDirectory(bytes);
  if (dir.status == ZipDirectoryStatus::Ok) {
    for (std::size_t i = 0; i < std::min(dir.entries.size(), kMaxEntries); ++i) {
      const ZipEntry& e = dir.entries[i];
      (void)e.isFolder();
      (void)e.isSymlink();
      const auto found = LocateZipEntryData(bytes, e);
      if (!found) continue;
      if (found->data() < bytes.data() || found->data() + found->size() > bytes.data() + bytes.size())
        std::abort();
      if (e.isEncrypted() || !IsSupportedZipMethod(e.method)) continue;
      const std::span<const std::uint8_t> input(reinterpret_cast<const std::uint8_t*>(found->data()),
                                                found->size());
      Decode(decoder, e.method, e.flags, input, std::min(e.uncompressedSize, kMaxOutput));
    }
  }

  const std::span<const std::uint8_t> raw(data, size);
  const std::uint64_t expected = std::min<std::uint64_t>(kMaxOutput, 64 * 1024);
  Decode(decoder, kZipStored, 0, raw, size);
  Decode(decoder, kZipShrunk, 0, raw, expected);
  for (const std::uint16_t flags : {0, 2, 4, 6}) Decode(decoder, kZipImploded, flags, raw, expected);
  Decode(decoder, kZipDeflated, 0, raw, expected);
  return 0;
}
