#include "common/ByteReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

namespace pagemoor {
namespace {

constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

// Eight bytes whose order shows in every value read from them.
const std::string kBytes("\x01\x02\x03\x04\x05\x06\x07\x88", 8);

TEST(ByteReaderTest, NumbersInBothByteOrdersAndWhereTheyEnd) {
  struct Case {
    const char* name;
    std::function<std::uint64_t(ByteReader&)> read;
    std::uint64_t value;
    std::uint64_t width;
  } cases[] = {
      {"u8", [](ByteReader& r) { return r.u8(); }, 0x01, 1},
      {"u16le", [](ByteReader& r) { return r.u16le(); }, 0x0201, 2},
      {"u32le", [](ByteReader& r) { return r.u32le(); }, 0x04030201, 4},
      {"u64le", [](ByteReader& r) { return r.u64le(); }, 0x8807060504030201, 8},
      {"u16be", [](ByteReader& r) { return r.u16be(); }, 0x0102, 2},
      {"u32be", [](ByteReader& r) { return r.u32be(); }, 0x01020304, 4},
  };
  for (const Case& c : cases) {
    // Every length from nothing to all eight bytes: the value where it fits,
    // zero and a failed reader where it does not.
    for (std::size_t length = 0; length <= kBytes.size(); ++length) {
      ByteReader r(std::string_view(kBytes).substr(0, length));
      const std::uint64_t v = c.read(r);
      const bool fits = c.width <= length;
      EXPECT_EQ(r.ok(), fits) << c.name << " " << length;
      EXPECT_EQ(v, fits ? c.value : 0) << c.name << " " << length;
      EXPECT_EQ(r.position(), fits ? c.width : 0) << c.name << " " << length;
    }
  }
  ByteReader r(std::string_view("\xff\xff\xff\xff", 4));
  EXPECT_EQ(r.i32le(), -1);
}

TEST(ByteReaderTest, AFailureIsStickyForEveryKindOfRead) {
  // After one read past the end, a read that would fit gives nothing, and
  // nothing moves: the parser's single ok() at the end still sees the fault.
  struct Case {
    const char* name;
    std::function<bool(ByteReader&)> readFits;  // true when it gave something
  } cases[] = {
      {"u8", [](ByteReader& r) { return r.u8() != 0; }},
      {"u16le", [](ByteReader& r) { return r.u16le() != 0; }},
      {"u32be", [](ByteReader& r) { return r.u32be() != 0; }},
      {"bytes", [](ByteReader& r) { return !r.bytes(1).empty(); }},
      {"tag", [](ByteReader& r) { return r.tag("\x01"); }},
      {"skip", [](ByteReader& r) { return r.skip(1); }},
      {"seek", [](ByteReader& r) { return r.seek(0); }},
      {"sub", [](ByteReader& r) { return r.sub(1).ok(); }},
      {"subAtMost", [](ByteReader& r) { return r.subAtMost(1).ok(); }},
      {"at", [](ByteReader& r) { return r.at(0, 1).ok(); }},
      {"from", [](ByteReader& r) { return r.from(0).ok(); }},
      {"rest", [](ByteReader& r) { return !r.rest().empty(); }},
  };
  for (const Case& c : cases) {
    ByteReader fresh(kBytes);
    EXPECT_TRUE(c.readFits(fresh)) << c.name << " works on a fresh reader";
    ByteReader r(kBytes);
    r.skip(2);
    r.u64le();  // six bytes left: fails
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(c.readFits(r)) << c.name;
    EXPECT_FALSE(r.ok()) << c.name;
    EXPECT_EQ(r.position(), 2u) << c.name;
  }
  ByteReader told(kBytes);
  told.fail();
  EXPECT_EQ(told.u8(), 0);
  EXPECT_FALSE(told.ok());
}

TEST(ByteReaderTest, PositionsSkipsAndSeeksUpToTheEndButNotPastIt) {
  struct Case {
    const char* name;
    std::function<void(ByteReader&)> move;
    bool ok;
    std::uint64_t position;
  } cases[] = {
      {"skip to the end", [](ByteReader& r) { r.skip(8); }, true, 8},
      {"skip one past", [](ByteReader& r) { r.skip(9); }, false, 0},
      {"seek to the end", [](ByteReader& r) { r.seek(8); }, true, 8},
      {"seek one past", [](ByteReader& r) { r.seek(9); }, false, 0},
      {"seek back", [](ByteReader& r) { r.skip(6), r.seek(1); }, true, 1},
      // Sizes and offsets from a file are 64-bit: none of them may wrap the
      // position round to somewhere inside the bytes.
      {"skip 2^64-1", [](ByteReader& r) { r.skip(kMax64); }, false, 0},
      {"skip 2^64-1 from inside", [](ByteReader& r) { r.skip(3), r.skip(kMax64 - 1); }, false, 3},
      {"seek 2^64-1", [](ByteReader& r) { r.seek(kMax64); }, false, 0},
      {"seek 2^32", [](ByteReader& r) { r.seek(std::uint64_t{1} << 32); }, false, 0},
      {"block of 2^64-1", [](ByteReader& r) { r.bytes(kMax64); }, false, 0},
      {"nothing to read at the end", [](ByteReader& r) { r.skip(8), r.skip(0), r.bytes(0); }, true, 8},
  };
  for (const Case& c : cases) {
    ByteReader r(kBytes);
    c.move(r);
    EXPECT_EQ(r.ok(), c.ok) << c.name;
    EXPECT_EQ(r.position(), c.position) << c.name;
    EXPECT_EQ(r.remaining(), 8 - c.position) << c.name;
  }
}

TEST(ByteReaderTest, BlocksAndTags) {
  ByteReader r(std::string_view("RIFF\x04\0\0\0WAVE", 12));
  EXPECT_TRUE(r.tag("RIFF"));
  EXPECT_EQ(r.u32le(), 4u);
  EXPECT_FALSE(r.tag("AVI "));  // another tag is no failure...
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.remaining(), 0u);
  EXPECT_FALSE(r.tag("X"));  // ...running out is
  EXPECT_FALSE(r.ok());

  ByteReader b(kBytes);
  EXPECT_EQ(b.bytes(3), "\x01\x02\x03");
  EXPECT_EQ(b.rest(), std::string_view(kBytes).substr(3));
  EXPECT_EQ(b.bytes(6), "");
  EXPECT_FALSE(b.ok());
  EXPECT_EQ(b.all(), kBytes);
}

TEST(ByteReaderTest, ChunksAreReadersOfTheirOwnAndCannotClaimMoreThanIsLeft) {
  struct Case {
    const char* name;
    std::function<ByteReader(ByteReader&)> chunk;
    bool parentOk;
    std::uint64_t parentPosition;
    bool chunkOk;
    std::string chunkBytes;
  } cases[] = {
      {"sub", [](ByteReader& r) { return r.sub(3); }, true, 5, true, "\x03\x04\x05"},
      {"sub of all that is left", [](ByteReader& r) { return r.sub(6); }, true, 8, true, kBytes.substr(2)},
      {"sub claiming one more", [](ByteReader& r) { return r.sub(7); }, false, 2, false, ""},
      {"sub claiming 2^64-1", [](ByteReader& r) { return r.sub(kMax64); }, false, 2, false, ""},
      {"subAtMost within", [](ByteReader& r) { return r.subAtMost(2); }, true, 4, true, "\x03\x04"},
      {"subAtMost beyond", [](ByteReader& r) { return r.subAtMost(kMax64); }, true, 8, true,
       kBytes.substr(2)},
      {"at", [](ByteReader& r) { return r.at(6, 2); }, true, 2, true, "\x07\x88"},
      {"at reaching past", [](ByteReader& r) { return r.at(6, 3); }, true, 2, false, ""},
      {"at with a wrapping size", [](ByteReader& r) { return r.at(1, kMax64); }, true, 2, false, ""},
      {"at past the end", [](ByteReader& r) { return r.at(9, 0); }, true, 2, false, ""},
      {"from", [](ByteReader& r) { return r.from(7); }, true, 2, true, "\x88"},
      {"from the end", [](ByteReader& r) { return r.from(8); }, true, 2, true, ""},
      {"from past the end", [](ByteReader& r) { return r.from(9); }, true, 2, false, ""},
  };
  for (const Case& c : cases) {
    ByteReader r(kBytes);
    r.skip(2);
    ByteReader chunk = c.chunk(r);
    EXPECT_EQ(r.ok(), c.parentOk) << c.name;
    EXPECT_EQ(r.position(), c.parentPosition) << c.name;
    EXPECT_EQ(chunk.ok(), c.chunkOk) << c.name;
    EXPECT_EQ(chunk.all(), c.chunkBytes) << c.name;
  }
}

TEST(ByteReaderTest, AChunkEndsAtItsOwnEndAndFailsAlone) {
  ByteReader r(kBytes);
  ByteReader chunk = r.sub(4);
  EXPECT_EQ(chunk.position(), 0u);  // positions count from the chunk's start
  EXPECT_EQ(chunk.u16le(), 0x0201);
  EXPECT_EQ(chunk.u32le(), 0u);  // the parent's bytes go on, the chunk's do not
  EXPECT_FALSE(chunk.ok());
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.u32le(), 0x88070605u);
  // A chunk of a chunk is bounded by both.
  ByteReader outer(kBytes);
  ByteReader inner = outer.sub(6).sub(4);
  EXPECT_EQ(inner.at(2, 3).ok(), false);
  EXPECT_EQ(inner.from(2).all(), "\x03\x04");
}

}  // namespace
}  // namespace pagemoor
