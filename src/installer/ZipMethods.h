// The decoders of the ZIP reader: stored (0), shrunk (1), imploded (6) and
// deflated (8, through zlib).
//
// A decoder reads one entry's compressed bytes from memory and hands the
// output to a sink in blocks of at most kZipBlockSize bytes, so nothing is
// ever allocated from a size the archive declares. Shrunk and imploded data
// carry no end mark: they are decoded until the declared size is reached.
// Deflated data has one, and output beyond the declared size is an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace pagemoor {

// The largest block a sink is handed at once.
inline constexpr std::size_t kZipBlockSize = 256 * 1024;

// ZIP method numbers we decode.
inline constexpr int kZipStored = 0;
inline constexpr int kZipShrunk = 1;
inline constexpr int kZipImploded = 6;
inline constexpr int kZipDeflated = 8;

bool IsSupportedZipMethod(int method);

// Receives the decoded bytes; false stops the decoding (a write failed).
class ZipSink {
 public:
  virtual ~ZipSink() = default;
  virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
};

enum class ZipDecodeStatus {
  Ok,
  UnsupportedMethod,
  DataError,  // the compressed bytes make no sense
  Truncated,  // they end before the declared size is reached
  TooLong,    // the data goes on beyond the declared size
  TooShort,   // the data ends (with its end mark) before the declared size
  SinkFailed,
};

struct ZipDecodeResult {
  ZipDecodeStatus status = ZipDecodeStatus::Ok;
  std::uint64_t written = 0;  // bytes handed to the sink
};

// A short text for messages ("data error", "truncated data", ...).
const char* DescribeZipDecodeStatus(ZipDecodeStatus status);

// Decodes entries one after another; keeps its buffers and the zlib stream
// between entries, so an archive of many small files does not allocate per
// entry. Not thread-safe.
class ZipDecoder {
 public:
  ZipDecoder();
  ~ZipDecoder();
  ZipDecoder(const ZipDecoder&) = delete;
  ZipDecoder& operator=(const ZipDecoder&) = delete;

  // `flags` is the entry's general-purpose flag word (imploded data takes its
  // window size and tree count from bits 1 and 2).
  ZipDecodeResult decode(int method, std::uint16_t flags, std::span<const std::uint8_t> input,
                         std::uint64_t expectedSize, ZipSink& sink);

 private:
  ZipDecodeResult unstore(std::span<const std::uint8_t> input, std::uint64_t expectedSize, ZipSink& sink);
  ZipDecodeResult unshrink(std::span<const std::uint8_t> input, std::uint64_t expectedSize, ZipSink& sink);
  ZipDecodeResult explode(std::uint16_t flags, std::span<const std::uint8_t> input,
                          std::uint64_t expectedSize, ZipSink& sink);
  ZipDecodeResult inflate(std::span<const std::uint8_t> input, std::uint64_t expectedSize, ZipSink& sink);

  std::vector<std::uint8_t> m_buffer;  // output block; the history window of imploded data
  struct ShrinkTables;
  std::unique_ptr<ShrinkTables> m_shrink;
  struct Inflater;
  std::unique_ptr<Inflater> m_inflater;
};

// One entry's data with a decoder of its own (tests, fuzzing).
ZipDecodeResult DecodeZipData(int method, std::uint16_t flags, std::span<const std::uint8_t> input,
                              std::uint64_t expectedSize, ZipSink& sink);

}  // namespace pagemoor
