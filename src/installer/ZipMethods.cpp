#include "installer/ZipMethods.h"

#include <zlib.h>

#include <algorithm>
#include <array>

namespace pagemoor {

namespace {

// Bits are taken from the low end of each byte first (shrunk and imploded
// data both pack them that way).
class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t> input)
      : m_p(input.data()), m_end(input.data() + input.size()) {}

  // Makes at least n (<= 32) bits available; false when the input ends first.
  bool need(int n) {
    while (m_count < n) {
      if (m_p == m_end) return false;
      m_bits |= static_cast<std::uint64_t>(*m_p++) << m_count;
      m_count += 8;
    }
    return true;
  }
  // The next n bits without taking them; missing bits at the end read as 0.
  std::uint32_t peek(int n) {
    need(n);
    return static_cast<std::uint32_t>(m_bits & ((std::uint64_t{1} << n) - 1));
  }
  int available() const { return m_count; }
  void skip(int n) {
    m_bits >>= n;
    m_count -= n;
  }
  // Call need(n) first.
  std::uint32_t take(int n) {
    const std::uint32_t v = static_cast<std::uint32_t>(m_bits & ((std::uint64_t{1} << n) - 1));
    skip(n);
    return v;
  }

 private:
  const std::uint8_t* m_p;
  const std::uint8_t* m_end;
  std::uint64_t m_bits = 0;
  int m_count = 0;
};

// Collects output in the decoder's block and hands full blocks to the sink.
// With a power-of-two block it doubles as the history window of imploded
// data, which only ever looks 8 KB back.
class BlockWriter {
 public:
  BlockWriter(std::vector<std::uint8_t>& buffer, ZipSink& sink)
      : m_buf(buffer.data()), m_size(buffer.size()), m_sink(sink) {}

  bool put(std::uint8_t byte) {
    m_buf[m_pos++] = byte;
    ++m_total;
    return m_pos < m_size || flush();
  }
  bool flush() {
    if (m_pos > 0 && !m_sink.write(m_buf, m_pos)) return false;
    m_flushed += m_pos;
    m_pos = 0;
    return true;
  }
  // Ends the decoding: what is still here goes to the sink, also after an
  // error in the data (it is all correct up to there).
  ZipDecodeResult finish(ZipDecodeStatus status) {
    if (status != ZipDecodeStatus::SinkFailed && !flush()) status = ZipDecodeStatus::SinkFailed;
    return {status, m_flushed};
  }
  // The byte `distance` positions back; 0 before the start of the output.
  std::uint8_t back(std::uint64_t distance) const {
    if (distance > m_total) return 0;
    return m_buf[(m_pos + m_size - distance) & (m_size - 1)];
  }
  std::uint64_t total() const { return m_total; }

 private:
  std::uint8_t* m_buf;
  std::size_t m_size;
  std::size_t m_pos = 0;
  std::uint64_t m_total = 0;    // bytes put
  std::uint64_t m_flushed = 0;  // bytes the sink took
  ZipSink& m_sink;
};

// --- Imploded data --------------------------------------------------------

// A Shannon-Fano code as imploded data stores it: the bit lengths come in
// symbol order, run-length packed, and the codes are handed out from the
// longest lengths upwards, so within one length the codes of a later symbol
// are smaller. A code arrives with its most significant bit first.
class ShannonFanoTree {
 public:
  // Reads the packed lengths of `symbols` symbols at `pos`: Truncated when
  // the input ends first, DataError when they make no usable code.
  ZipDecodeStatus read(std::span<const std::uint8_t> input, std::size_t& pos, int symbols) {
    if (pos >= input.size()) return ZipDecodeStatus::Truncated;
    const int packed = input[pos++] + 1;
    if (input.size() - pos < static_cast<std::size_t>(packed)) return ZipDecodeStatus::Truncated;
    std::array<std::uint8_t, 256> lengths{};
    int n = 0;
    for (int i = 0; i < packed; ++i) {
      const std::uint8_t b = input[pos++];
      const int length = (b & 0x0F) + 1;
      const int count = (b >> 4) + 1;
      if (n + count > symbols) return ZipDecodeStatus::DataError;
      for (int k = 0; k < count; ++k) lengths[n++] = static_cast<std::uint8_t>(length);
    }
    if (n != symbols || !build(lengths.data(), symbols)) return ZipDecodeStatus::DataError;
    return ZipDecodeStatus::Ok;
  }

  // The next symbol, or -1 when the bits match no code or run out.
  int decode(BitReader& in) const {
    const std::uint32_t bits = in.peek(16);
    std::uint32_t code = 0;
    for (int n = 1; n <= 16; ++n) {
      code = (code << 1) | ((bits >> (n - 1)) & 1);
      if (m_count[n] != 0 && code >= m_first[n] && code - m_first[n] < m_count[n]) {
        if (in.available() < n) return -1;
        in.skip(n);
        return m_symbols[m_offset[n] + (code - m_first[n])];
      }
    }
    return -1;
  }

 private:
  bool build(const std::uint8_t* lengths, int symbols) {
    m_count.fill(0);
    for (int s = 0; s < symbols; ++s) ++m_count[lengths[s]];
    // Lengths 16 down to 1 take the code space from 0 upwards; a later symbol
    // comes first within its length.
    std::uint32_t code = 0;
    int offset = 0;
    for (int n = 16; n >= 1; --n) {
      m_offset[n] = static_cast<std::uint16_t>(offset);
      m_first[n] = code >> (16 - n);
      for (int s = symbols - 1; s >= 0; --s)
        if (lengths[s] == n) m_symbols[offset++] = static_cast<std::uint16_t>(s);
      code += static_cast<std::uint32_t>(m_count[n]) << (16 - n);
      if (code > 0x10000) return false;  // more codes than the space holds
    }
    return true;
  }

  std::array<std::uint16_t, 17> m_count{};
  std::array<std::uint32_t, 17> m_first{};
  std::array<std::uint16_t, 17> m_offset{};
  std::array<std::uint16_t, 256> m_symbols{};
};

}  // namespace

// --- Shrunk data ------------------------------------------------------------

// The string table of shrunk data: codes 0..255 are the bytes, 256 is the
// escape for the two control codes, 257..8191 are strings made of an earlier
// code plus one byte. A partial clear frees the strings nothing else builds
// on; freed codes are handed out again lowest first.
struct ZipDecoder::ShrinkTables {
  static constexpr int kCodes = 8192;
  static constexpr int kFirstFree = 257;

  std::array<std::uint16_t, kCodes> prefix{};
  std::array<std::uint8_t, kCodes> suffix{};
  std::array<bool, kCodes> used{};
  std::array<bool, kCodes> hasChild{};
  std::array<std::uint8_t, kCodes> stack{};  // one string, built backwards
  int nextFree = kFirstFree;

  void reset() {
    std::fill(used.begin(), used.begin() + kFirstFree, true);
    std::fill(used.begin() + kFirstFree, used.end(), false);
    for (int c = 0; c < 256; ++c) suffix[c] = static_cast<std::uint8_t>(c);
    nextFree = kFirstFree;
  }

  void advanceFree() {
    while (nextFree < kCodes && used[nextFree]) ++nextFree;
  }

  void partialClear() {
    std::fill(hasChild.begin(), hasChild.end(), false);
    for (int c = kFirstFree; c < kCodes; ++c)
      if (used[c]) hasChild[prefix[c]] = true;
    for (int c = kFirstFree; c < kCodes; ++c)
      if (used[c] && !hasChild[c]) used[c] = false;
    nextFree = kFirstFree;
    advanceFree();
  }

  // Builds the string of a used code at the end of `stack`; its start, or -1
  // when the chain loops (only damaged data makes one).
  int unwind(int code) {
    int at = kCodes;
    while (code >= kFirstFree) {
      if (at == 1) return -1;
      stack[--at] = suffix[code];
      code = prefix[code];
    }
    stack[--at] = static_cast<std::uint8_t>(code);
    return at;
  }
};

ZipDecodeResult ZipDecoder::unshrink(std::span<const std::uint8_t> input, std::uint64_t expectedSize,
                                     ZipSink& sink) {
  if (!m_shrink) m_shrink = std::make_unique<ShrinkTables>();
  ShrinkTables& t = *m_shrink;
  t.reset();
  BitReader in(input);
  BlockWriter out(m_buffer, sink);
  int codeSize = 9;
  int previous = -1;
  auto fail = [&](ZipDecodeStatus status) { return out.finish(status); };
  while (out.total() < expectedSize) {
    if (!in.need(codeSize)) return fail(ZipDecodeStatus::Truncated);
    const int code = static_cast<int>(in.take(codeSize));
    if (code == 256) {
      if (!in.need(codeSize)) return fail(ZipDecodeStatus::Truncated);
      const std::uint32_t control = in.take(codeSize);
      if (control == 1 && codeSize < 13) {
        ++codeSize;
      } else if (control == 2) {
        t.partialClear();
      } else {
        return fail(ZipDecodeStatus::DataError);
      }
      continue;
    }
    int start;
    int length;
    if (t.used[code]) {
      start = t.unwind(code);
      if (start < 0) return fail(ZipDecodeStatus::DataError);
      length = ShrinkTables::kCodes - start;
      if (previous >= 0 && t.nextFree < ShrinkTables::kCodes) {
        t.prefix[t.nextFree] = static_cast<std::uint16_t>(previous);
        t.suffix[t.nextFree] = t.stack[start];
        t.used[t.nextFree] = true;
        t.advanceFree();
      }
    } else {
      // The code being defined right now: the previous string plus its own
      // first byte.
      if (previous < 0 || code != t.nextFree) return fail(ZipDecodeStatus::DataError);
      start = t.unwind(previous);
      if (start < 1) return fail(ZipDecodeStatus::DataError);
      t.prefix[code] = static_cast<std::uint16_t>(previous);
      t.suffix[code] = t.stack[start];
      t.used[code] = true;
      t.advanceFree();
      // The string is the previous one plus its first byte: shift it down
      // one place and put that byte at the end.
      std::copy(t.stack.begin() + start, t.stack.end(), t.stack.begin() + start - 1);
      t.stack[ShrinkTables::kCodes - 1] = t.suffix[code];
      --start;
      length = ShrinkTables::kCodes - start;
    }
    const std::uint64_t left = expectedSize - out.total();
    if (static_cast<std::uint64_t>(length) > left) length = static_cast<int>(left);
    for (int i = 0; i < length; ++i)
      if (!out.put(t.stack[start + i])) return fail(ZipDecodeStatus::SinkFailed);
    previous = code;
  }
  return out.finish(ZipDecodeStatus::Ok);
}

// --- Imploded data ----------------------------------------------------------

ZipDecodeResult ZipDecoder::explode(std::uint16_t flags, std::span<const std::uint8_t> input,
                                    std::uint64_t expectedSize, ZipSink& sink) {
  const bool bigWindow = (flags & 0x02) != 0;
  const bool literalTree = (flags & 0x04) != 0;
  const int lowDistanceBits = bigWindow ? 7 : 6;
  const int minMatch = literalTree ? 3 : 2;

  ZipDecodeResult result;
  ShannonFanoTree literals;
  ShannonFanoTree lengths;
  ShannonFanoTree distances;
  std::size_t pos = 0;
  if (literalTree) result.status = literals.read(input, pos, 256);
  if (result.status == ZipDecodeStatus::Ok) result.status = lengths.read(input, pos, 64);
  if (result.status == ZipDecodeStatus::Ok) result.status = distances.read(input, pos, 64);
  if (result.status != ZipDecodeStatus::Ok) return result;

  BitReader in(input.subspan(pos));
  BlockWriter out(m_buffer, sink);
  auto fail = [&](ZipDecodeStatus status) { return out.finish(status); };
  // A symbol that matches no code: at the end of the input the data is cut
  // short, elsewhere it is damaged.
  auto badSymbol = [&](BitReader& bits) {
    return fail(bits.need(16) ? ZipDecodeStatus::DataError : ZipDecodeStatus::Truncated);
  };
  while (out.total() < expectedSize) {
    if (!in.need(1)) return fail(ZipDecodeStatus::Truncated);
    if (in.take(1) != 0) {
      int byte;
      if (literalTree) {
        byte = literals.decode(in);
        if (byte < 0) return badSymbol(in);
      } else {
        if (!in.need(8)) return fail(ZipDecodeStatus::Truncated);
        byte = static_cast<int>(in.take(8));
      }
      if (!out.put(static_cast<std::uint8_t>(byte))) return fail(ZipDecodeStatus::SinkFailed);
      continue;
    }
    if (!in.need(lowDistanceBits)) return fail(ZipDecodeStatus::Truncated);
    const std::uint32_t low = in.take(lowDistanceBits);
    const int high = distances.decode(in);
    if (high < 0) return badSymbol(in);
    const std::uint64_t distance = ((static_cast<std::uint32_t>(high) << lowDistanceBits) | low) + 1;
    int length = lengths.decode(in);
    if (length < 0) return badSymbol(in);
    if (length == 63) {
      if (!in.need(8)) return fail(ZipDecodeStatus::Truncated);
      length += static_cast<int>(in.take(8));
    }
    std::uint64_t count = static_cast<std::uint64_t>(length + minMatch);
    count = std::min(count, expectedSize - out.total());
    for (std::uint64_t i = 0; i < count; ++i)
      if (!out.put(out.back(distance))) return fail(ZipDecodeStatus::SinkFailed);
  }
  return out.finish(ZipDecodeStatus::Ok);
}

// --- Deflated data ----------------------------------------------------------

struct ZipDecoder::Inflater {
  z_stream stream{};
  bool ready = false;
  ~Inflater() {
    if (ready) inflateEnd(&stream);
  }
};

ZipDecodeResult ZipDecoder::inflate(std::span<const std::uint8_t> input, std::uint64_t expectedSize,
                                    ZipSink& sink) {
  ZipDecodeResult result;
  if (!m_inflater) m_inflater = std::make_unique<Inflater>();
  z_stream& z = m_inflater->stream;
  if (!m_inflater->ready) {
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
      result.status = ZipDecodeStatus::DataError;
      return result;
    }
    m_inflater->ready = true;
  } else {
    inflateReset(&z);
  }
  // zlib counts in 32 bits: a huge input goes in in pieces.
  constexpr std::size_t kMaxIn = std::size_t{1} << 30;
  const std::uint8_t* next = input.data();
  std::size_t left = input.size();
  z.avail_in = 0;
  for (;;) {
    if (z.avail_in == 0 && left > 0) {
      const std::size_t n = std::min(left, kMaxIn);
      z.next_in = const_cast<Bytef*>(next);
      z.avail_in = static_cast<uInt>(n);
      next += n;
      left -= n;
    }
    // One byte more than the declared size may come out, so a stream that
    // goes on is caught without writing the excess.
    std::size_t room = m_buffer.size();
    const std::uint64_t wanted = expectedSize - result.written;
    if (wanted < room - 1) room = static_cast<std::size_t>(wanted) + 1;
    z.next_out = m_buffer.data();
    z.avail_out = static_cast<uInt>(room);
    const int rc = ::inflate(&z, Z_NO_FLUSH);
    const std::size_t produced = room - z.avail_out;
    if (produced > wanted) {
      result.status = ZipDecodeStatus::TooLong;
      return result;
    }
    if (produced > 0) {
      if (!sink.write(m_buffer.data(), produced)) {
        result.status = ZipDecodeStatus::SinkFailed;
        return result;
      }
      result.written += produced;
    }
    if (rc == Z_STREAM_END) {
      if (result.written != expectedSize) result.status = ZipDecodeStatus::TooShort;
      return result;
    }
    if (rc == Z_OK) continue;
    // No progress: the next piece of a huge input, or the end of it.
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && left > 0) continue;
    result.status =
        rc == Z_BUF_ERROR && z.avail_in == 0 ? ZipDecodeStatus::Truncated : ZipDecodeStatus::DataError;
    return result;
  }
}

// --- Stored data and dispatch -------------------------------------------------

ZipDecodeResult ZipDecoder::unstore(std::span<const std::uint8_t> input, std::uint64_t expectedSize,
                                    ZipSink& sink) {
  ZipDecodeResult result;
  const std::uint64_t n = std::min<std::uint64_t>(input.size(), expectedSize);
  while (result.written < n) {
    const std::size_t block =
        static_cast<std::size_t>(std::min<std::uint64_t>(n - result.written, kZipBlockSize));
    if (!sink.write(input.data() + result.written, block)) {
      result.status = ZipDecodeStatus::SinkFailed;
      return result;
    }
    result.written += block;
  }
  if (input.size() < expectedSize) result.status = ZipDecodeStatus::Truncated;
  if (input.size() > expectedSize) result.status = ZipDecodeStatus::TooLong;
  return result;
}

ZipDecoder::ZipDecoder() : m_buffer(kZipBlockSize) {}
ZipDecoder::~ZipDecoder() = default;

ZipDecodeResult ZipDecoder::decode(int method, std::uint16_t flags, std::span<const std::uint8_t> input,
                                   std::uint64_t expectedSize, ZipSink& sink) {
  switch (method) {
    case kZipStored:
      return unstore(input, expectedSize, sink);
    case kZipShrunk:
      return unshrink(input, expectedSize, sink);
    case kZipImploded:
      return explode(flags, input, expectedSize, sink);
    case kZipDeflated:
      return inflate(input, expectedSize, sink);
    default: {
      ZipDecodeResult result;
      result.status = ZipDecodeStatus::UnsupportedMethod;
      return result;
    }
  }
}

bool IsSupportedZipMethod(int method) {
  return method == kZipStored || method == kZipShrunk || method == kZipImploded || method == kZipDeflated;
}

const char* DescribeZipDecodeStatus(ZipDecodeStatus status) {
  switch (status) {
    case ZipDecodeStatus::Ok:
      return "ok";
    case ZipDecodeStatus::UnsupportedMethod:
      return "unsupported method";
    case ZipDecodeStatus::DataError:
      return "data error";
    case ZipDecodeStatus::Truncated:
      return "truncated data";
    case ZipDecodeStatus::TooLong:
      return "more data than declared";
    case ZipDecodeStatus::TooShort:
      return "less data than declared";
    case ZipDecodeStatus::SinkFailed:
      return "write error";
  }
  return "error";
}

ZipDecodeResult DecodeZipData(int method, std::uint16_t flags, std::span<const std::uint8_t> input,
                              std::uint64_t expectedSize, ZipSink& sink) {
  ZipDecoder decoder;
  return decoder.decode(method, flags, input, expectedSize, sink);
}

}  // namespace pagemoor
