#include "installer/ZipMethods.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/FileIo.h"
#include "installer/ZipDirectory.h"
#include "support/OutsideTools.h"
#include "support/TempFolder.h"
#include "support/ZlibBytes.h"

namespace pagemoor {
namespace {

// Collects what a decoder hands over; can refuse the n-th block.
struct Collect : ZipSink {
  std::string bytes;
  std::size_t blocks = 0;
  std::size_t largest = 0;
  std::size_t failAt = 0;  // 1-based block number that fails; 0: none

  bool write(const std::uint8_t* data, std::size_t size) override {
    ++blocks;
    if (blocks == failAt) return false;
    largest = std::max(largest, size);
    bytes.append(reinterpret_cast<const char*>(data), size);
    return true;
  }
};

std::span<const std::uint8_t> Bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Bits from the low end of each byte first, as shrunk and imploded data pack
// them.
class BitWriter {
 public:
  void put(std::uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i) {
      if (m_used == 0) m_out += '\0';
      if ((value >> i) & 1) m_out.back() = static_cast<char>(m_out.back() | (1 << m_used));
      m_used = (m_used + 1) & 7;
    }
  }
  // A code whose most significant bit goes first.
  void putCode(std::uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) put((code >> i) & 1, 1);
  }
  std::string& bytes() { return m_out; }

 private:
  std::string m_out;
  int m_used = 0;
};

// Text from a small alphabet: strings repeat often enough to be found, and
// differ often enough to fill a string table.
std::string PseudoText(std::size_t size, std::uint32_t seed) {
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245 + 12345;
    out += "abcdefgh  \n"[(seed >> 16) % 11];
  }
  return out;
}

std::string RawDeflate(std::string_view data) {
  return test::RawDeflate(data, 6);
}

// --- Shrinking, as the decoder reads it back --------------------------------
//
// A string table like the decoder's: the string of the code just sent plus
// the next byte is added right after sending, so the decoder, one code
// behind, adds the same string at the same code. A partial clear (forced
// every `clearEvery` additions, and whenever the table is full) frees the
// strings nothing builds on; the code size grows only when a code needs it.
struct Shrunk {
  std::string bytes;
  int clears = 0;
  int widenings = 0;
};

Shrunk Shrink(std::string_view input, int clearEvery) {
  constexpr int kCodes = 8192;
  Shrunk result;
  BitWriter out;
  std::vector<int> prefix(kCodes, 0);
  std::vector<bool> used(kCodes, false);
  std::unordered_map<int, int> table;  // prefix * 256 + byte -> code
  std::vector<int> keyOf(kCodes, -1);
  int codeSize = 9;
  int nextFree = 257;
  int added = 0;
  auto send = [&](int code) {
    while (code >= (1 << codeSize)) {
      out.put(256, codeSize);
      out.put(1, codeSize);
      ++codeSize;
      ++result.widenings;
    }
    out.put(static_cast<std::uint32_t>(code), codeSize);
  };
  auto clear = [&] {
    out.put(256, codeSize);
    out.put(2, codeSize);
    ++result.clears;
    std::vector<bool> hasChild(kCodes, false);
    for (int c = 257; c < kCodes; ++c)
      if (used[c]) hasChild[prefix[c]] = true;
    for (int c = 257; c < kCodes; ++c) {
      if (used[c] && !hasChild[c]) {
        used[c] = false;
        table.erase(keyOf[c]);
      }
    }
    nextFree = 257;
    while (nextFree < kCodes && used[nextFree]) ++nextFree;
  };
  auto add = [&](int p, int byte) {
    if (nextFree >= kCodes) return;
    prefix[nextFree] = p;
    used[nextFree] = true;
    keyOf[nextFree] = p * 256 + byte;
    table[keyOf[nextFree]] = nextFree;
    while (nextFree < kCodes && used[nextFree]) ++nextFree;
  };
  if (input.empty()) return result;
  int w = static_cast<unsigned char>(input[0]);
  for (std::size_t i = 1; i < input.size(); ++i) {
    const int c = static_cast<unsigned char>(input[i]);
    const auto found = table.find(w * 256 + c);
    if (found != table.end()) {
      w = found->second;
      continue;
    }
    send(w);
    if (nextFree >= kCodes || (clearEvery > 0 && ++added % clearEvery == 0)) clear();
    add(w, c);
    w = c;
  }
  send(w);
  result.bytes = out.bytes();
  return result;
}

TEST(Unshrink, ReadsBackWhatTheStringTableWrote) {
  std::string allBytes;
  for (int i = 0; i < 256; ++i) allBytes += static_cast<char>(i);
  const struct {
    const char* what;
    std::string input;
    int clearEvery;
    bool clears;
  } cases[] = {
      {"one byte", "x", 0, false},
      {"a long run (codes used as they are made)", std::string(200000, 'a'), 0, false},
      {"every byte value", allBytes + allBytes + allBytes, 0, false},
      {"a full table, cleared", PseudoText(400000, 1), 0, true},
      {"clears before the table is full", PseudoText(100000, 2), 300, true},
      {"clears all the time", PseudoText(30000, 3), 7, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Shrunk shrunk = Shrink(c.input, c.clearEvery);
    EXPECT_EQ(shrunk.clears > 0, c.clears);
    Collect sink;
    const ZipDecodeResult r = DecodeZipData(kZipShrunk, 0, Bytes(shrunk.bytes), c.input.size(), sink);
    EXPECT_EQ(r.status, ZipDecodeStatus::Ok);
    EXPECT_EQ(r.written, c.input.size());
    EXPECT_TRUE(sink.bytes == c.input);
    EXPECT_LE(sink.largest, kZipBlockSize);
  }
}

TEST(Unshrink, RefusesCodesThatAreNotDefined) {
  const struct {
    const char* what;
    std::vector<int> codes;
  } cases[] = {
      {"a string code first", {300}},
      {"a code beyond the next free one", {'a', 'b', 259}},
      {"an unknown control code", {'a', 256, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BitWriter out;
    for (int code : c.codes) out.put(static_cast<std::uint32_t>(code), 9);
    out.put(0, 16);
    Collect sink;
    EXPECT_EQ(DecodeZipData(kZipShrunk, 0, Bytes(out.bytes()), 100, sink).status, ZipDecodeStatus::DataError);
  }
}

// --- Imploding with flat trees ------------------------------------------------
//
// Every length, distance and literal symbol gets a code of the same length;
// the code values then run backwards (the last symbol gets code 0).

struct Op {
  int distance = 0;  // 0: a literal
  int length = 0;
  char byte = 0;
};

std::string Implode(std::uint16_t flags, const std::vector<Op>& ops) {
  const bool bigWindow = (flags & 2) != 0;
  const bool literalTree = (flags & 4) != 0;
  const int lowBits = bigWindow ? 7 : 6;
  const int minMatch = literalTree ? 3 : 2;
  BitWriter out;
  if (literalTree) {
    out.bytes() += '\x0F';                   // 16 packed bytes follow
    out.bytes() += std::string(16, '\xF7');  // 16 symbols of length 8 each
  }
  for (int tree = 0; tree < 2; ++tree) {
    out.bytes() += '\x03';
    out.bytes() += std::string(4, '\xF5');  // 4 x 16 symbols of length 6
  }
  for (const Op& op : ops) {
    if (op.distance == 0) {
      out.put(1, 1);
      const auto byte = static_cast<unsigned char>(op.byte);
      if (literalTree)
        out.putCode(255 - byte, 8);
      else
        out.put(byte, 8);
      continue;
    }
    out.put(0, 1);
    const int d = op.distance - 1;
    out.put(static_cast<std::uint32_t>(d & ((1 << lowBits) - 1)), lowBits);
    out.putCode(static_cast<std::uint32_t>(63 - (d >> lowBits)), 6);
    const int length = op.length - minMatch;
    out.putCode(static_cast<std::uint32_t>(63 - std::min(length, 63)), 6);
    if (length >= 63) out.put(static_cast<std::uint32_t>(length - 63), 8);
  }
  return out.bytes();
}

std::string Apply(const std::vector<Op>& ops) {
  std::string out;
  for (const Op& op : ops) {
    if (op.distance == 0) {
      out += op.byte;
      continue;
    }
    for (int i = 0; i < op.length; ++i) {
      const std::size_t at = out.size();
      out += at < static_cast<std::size_t>(op.distance) ? '\0' : out[at - op.distance];
    }
  }
  return out;
}

TEST(Explode, HandlesBothWindowsWithAndWithoutALiteralTree) {
  for (const std::uint16_t flags : {0, 2, 4, 6}) {
    SCOPED_TRACE(flags);
    const int minMatch = (flags & 4) ? 3 : 2;
    const int window = (flags & 2) ? 8192 : 4096;
    std::vector<Op> ops = {{5, minMatch + 1, 0}};  // before the start: zeros
    for (char c : std::string("Hello, imploded world!\n\xff\x80")) ops.push_back({0, 0, c});
    for (int i = 0; i < window; ++i) ops.push_back({0, 0, static_cast<char>('a' + i % 23)});
    ops.push_back({window, minMatch, 0});                 // the whole window back
    ops.push_back({window, minMatch + 62, 0});            // the longest without the extra byte
    ops.push_back({1, minMatch + 63, 0});                 // the extra byte, 0
    ops.push_back({window - 1, minMatch + 63 + 255, 0});  // the longest of all
    for (int i = 0; i < 3000; ++i) ops.push_back({3 + i % 700, minMatch + 200, 0});  // past a block
    const std::string expected = Apply(ops);
    ASSERT_GT(expected.size(), 2 * kZipBlockSize);
    const std::string packed = Implode(flags, ops);

    Collect sink;
    const ZipDecodeResult r = DecodeZipData(kZipImploded, flags, Bytes(packed), expected.size(), sink);
    EXPECT_EQ(r.status, ZipDecodeStatus::Ok);
    EXPECT_TRUE(sink.bytes == expected);
    EXPECT_LE(sink.largest, kZipBlockSize);

    // The same data read with the other flag bits makes no sense.
    Collect wrong;
    DecodeZipData(kZipImploded, flags ^ 4, Bytes(packed), expected.size(), wrong);
    EXPECT_FALSE(wrong.bytes == expected);
  }
}

TEST(Explode, RefusesTreesThatDoNotFit) {
  const struct {
    const char* what;
    std::string data;
    ZipDecodeStatus status;
  } cases[] = {
      {"nothing", "", ZipDecodeStatus::Truncated},
      {"packed lengths cut short", "\x03\xF5\xF5", ZipDecodeStatus::Truncated},
      {"too few symbols", std::string("\x02\xF5\xF5\xF5") + "\x03\xF5\xF5\xF5\xF5",
       ZipDecodeStatus::DataError},
      {"too many symbols", std::string("\x04\xF5\xF5\xF5\xF5\xF5") + "\x03\xF5\xF5\xF5\xF5",
       ZipDecodeStatus::DataError},
      {"more codes than fit", std::string("\x03\xF4\xF5\xF5\xF5") + "\x03\xF5\xF5\xF5\xF5",
       ZipDecodeStatus::DataError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Collect sink;
    EXPECT_EQ(DecodeZipData(kZipImploded, 0, Bytes(c.data), 100, sink).status, c.status);
    EXPECT_TRUE(sink.bytes.empty());
  }
}

// --- Deflated and stored data ---------------------------------------------------

TEST(Inflate, StreamsInBlocksAndHoldsTheDataToItsDeclaredSize) {
  const std::string text = PseudoText(1500000, 9);
  const std::string packed = RawDeflate(text);
  Collect sink;
  ZipDecodeResult r = DecodeZipData(kZipDeflated, 0, Bytes(packed), text.size(), sink);
  EXPECT_EQ(r.status, ZipDecodeStatus::Ok);
  EXPECT_TRUE(sink.bytes == text);
  EXPECT_GT(sink.blocks, text.size() / kZipBlockSize);
  EXPECT_LE(sink.largest, kZipBlockSize);

  const struct {
    const char* what;
    std::string data;
    std::uint64_t declared;
    ZipDecodeStatus status;
  } cases[] = {
      {"declared one byte short", packed, text.size() - 1, ZipDecodeStatus::TooLong},
      {"declared nothing", packed, 0, ZipDecodeStatus::TooLong},
      {"declared one byte more", packed, text.size() + 1, ZipDecodeStatus::TooShort},
      {"cut short", packed.substr(0, packed.size() - 10), text.size(), ZipDecodeStatus::Truncated},
      {"no data", "", text.size(), ZipDecodeStatus::Truncated},
      {"not deflate", std::string(100, '\xFF'), text.size(), ZipDecodeStatus::DataError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Collect s;
    r = DecodeZipData(kZipDeflated, 0, Bytes(c.data), c.declared, s);
    EXPECT_EQ(r.status, c.status);
    EXPECT_LE(s.bytes.size(), c.declared);
    EXPECT_EQ(r.written, s.bytes.size());
    EXPECT_TRUE(text.starts_with(s.bytes));
  }
}

TEST(Unstore, CopiesInBlocksAndComparesTheSizes) {
  const std::string data = PseudoText(600000, 4);
  Collect sink;
  EXPECT_EQ(DecodeZipData(kZipStored, 0, Bytes(data), data.size(), sink).status, ZipDecodeStatus::Ok);
  EXPECT_TRUE(sink.bytes == data);
  EXPECT_LE(sink.largest, kZipBlockSize);
  Collect shorter;
  EXPECT_EQ(DecodeZipData(kZipStored, 0, Bytes(data), data.size() + 1, shorter).status,
            ZipDecodeStatus::Truncated);
  Collect longer;
  EXPECT_EQ(DecodeZipData(kZipStored, 0, Bytes(data), data.size() - 1, longer).status,
            ZipDecodeStatus::TooLong);
  EXPECT_EQ(longer.bytes.size(), data.size() - 1);
}

// --- The encoders above against Debian's unzip ----------------------------------

struct Packed {
  std::string name;
  int method;
  std::uint16_t flags;
  std::string packed;
  std::string plain;
};

void Put(std::string& s, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(i < 8 ? (v >> (8 * i)) & 0xFF : 0);
}

std::string PackZip(const std::vector<Packed>& entries) {
  std::string out;
  std::string central;
  for (const Packed& e : entries) {
    const std::uint32_t crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(e.plain.data()), static_cast<uInt>(e.plain.size())));
    std::string fields;
    for (int v : {10, int{e.flags}, e.method, 0, 0x5A8C}) Put(fields, static_cast<std::uint64_t>(v), 2);
    Put(fields, crc, 4);
    Put(fields, e.packed.size(), 4);
    Put(fields, e.plain.size(), 4);
    Put(fields, e.name.size(), 2);
    Put(fields, 0, 2);
    Put(central, 0x02014b50, 4);
    Put(central, 10, 2);
    central += fields;
    Put(central, 0, 10);  // comment length, disk, attributes
    Put(central, out.size(), 4);
    central += e.name;
    Put(out, 0x04034b50, 4);
    out += fields;
    out += e.name;
    out += e.packed;
  }
  const std::size_t directory = out.size();
  out += central;
  Put(out, 0x06054b50, 4);
  Put(out, 0, 4);
  Put(out, entries.size(), 2);
  Put(out, entries.size(), 2);
  Put(out, central.size(), 4);
  Put(out, directory, 4);
  Put(out, 0, 2);
  return out;
}

// The round trips above only show that the decoders agree with our own idea
// of the formats; unzip shows that the idea is right (partial clears, the
// implode variants no real file of ours has, distances before the start).
TEST(ZipEncodersForTests, AgreeWithUnzip) {
  test::TempFolder temp;
  const std::string text = PseudoText(300000, 6);
  std::vector<Packed> entries = {
      {"full.txt", kZipShrunk, 0, Shrink(text, 0).bytes, text},
      {"often.txt", kZipShrunk, 0, Shrink(text.substr(0, 20000), 7).bytes, text.substr(0, 20000)},
  };
  const std::vector<Op> ops = {{5, 4, 0}, {0, 0, 'A'}, {0, 0, 'B'}, {2, 70, 0}, {60, 300, 0}, {0, 0, 'C'}};
  for (const std::uint16_t flags : {0, 2, 4, 6})
    entries.push_back(
        {"imploded" + std::to_string(flags), kZipImploded, flags, Implode(flags, ops), Apply(ops)});
  std::string expected;
  for (const Packed& e : entries) expected += e.plain;
  const std::string archive = temp.write("encoded.zip", PackZip(entries));

  REQUIRE_OUTSIDE_TOOL(test::HaveProgram("unzip"), "unzip is not installed");
  FILE* p = popen(("unzip -p '" + archive + "' 2>/dev/null").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[65536];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  EXPECT_EQ(pclose(p), 0);
  EXPECT_EQ(out.size(), expected.size());
  EXPECT_TRUE(out == expected);
}

// --- Every method -------------------------------------------------------------

struct Sample {
  int method;
  std::uint16_t flags;
  std::string packed;
  std::string plain;
};

std::vector<Sample> Samples() {
  const std::string text = PseudoText(700000, 5);
  std::vector<Op> ops;
  for (char c : text.substr(0, 1000)) ops.push_back({0, 0, c});
  for (int i = 0; i < 3000; ++i) ops.push_back({1 + i % 997, 250, 0});
  return {
      {kZipStored, 0, text, text},
      {kZipShrunk, 0, Shrink(text, 0).bytes, text},
      {kZipImploded, 6, Implode(6, ops), Apply(ops)},
      {kZipDeflated, 0, RawDeflate(text), text},
  };
}

TEST(ZipDecoder, StopsWhenTheSinkFailsAndGoesOnWithTheNextEntry) {
  ZipDecoder decoder;
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.method);
    Collect failing;
    failing.failAt = 2;
    const ZipDecodeResult r = decoder.decode(s.method, s.flags, Bytes(s.packed), s.plain.size(), failing);
    EXPECT_EQ(r.status, ZipDecodeStatus::SinkFailed);
    EXPECT_EQ(failing.blocks, 2u);
    // The same decoder starts afresh.
    Collect sink;
    EXPECT_EQ(decoder.decode(s.method, s.flags, Bytes(s.packed), s.plain.size(), sink).status,
              ZipDecodeStatus::Ok);
    EXPECT_TRUE(sink.bytes == s.plain);
  }
  Collect none;
  EXPECT_EQ(decoder.decode(9, 0, Bytes("data"), 4, none).status, ZipDecodeStatus::UnsupportedMethod);
  EXPECT_FALSE(IsSupportedZipMethod(9));
}

// Real streams of every method, cut anywhere: an error or the right bytes,
// never more than declared.
TEST(ZipDecoder, CutStreamsFailCleanly) {
  const char* archives[] = {"SHRUNK.ZIP", "imploding-4Kdict-2trees.zip", "imploding-8Kdict-3trees.zip",
                            "bla.zip"};
  ZipDecoder decoder;
  for (const char* name : archives) {
    SCOPED_TRACE(name);
    const auto bytes = ReadFileBytes(std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/zip/" + name);
    ASSERT_TRUE(bytes);
    const ZipDirectory dir = ReadZipDirectory(*bytes);
    ASSERT_EQ(dir.status, ZipDirectoryStatus::Ok);
    const ZipEntry& e = dir.entries.front();
    const auto data = LocateZipEntryData(*bytes, e);
    ASSERT_TRUE(data);
    Collect whole;
    ASSERT_EQ(decoder.decode(e.method, e.flags, Bytes(*data), e.uncompressedSize, whole).status,
              ZipDecodeStatus::Ok);
    for (std::size_t cut = 0; cut < data->size(); ++cut) {
      Collect sink;
      const ZipDecodeResult r =
          decoder.decode(e.method, e.flags, Bytes(data->substr(0, cut)), e.uncompressedSize, sink);
      EXPECT_TRUE(whole.bytes.starts_with(sink.bytes)) << cut;
      EXPECT_EQ(r.written, sink.bytes.size()) << cut;
      if (cut < data->size() / 2) {
        EXPECT_NE(r.status, ZipDecodeStatus::Ok) << cut;
      }
      if (r.status == ZipDecodeStatus::Ok) {
        EXPECT_EQ(sink.bytes, whole.bytes) << cut;
      }
    }
  }
}

}  // namespace
}  // namespace pagemoor
