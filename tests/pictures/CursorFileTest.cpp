// Cursor and icon files built in memory, plus real cursor files made by
// others.
#include "pictures/CursorFile.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pictures/PixelValues.h"

namespace pagemoor {
namespace {

using test::Pixels;
using test::PixelsOf;
using test::PixelAt;

void AppendU16(std::string& s, std::uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void AppendU32(std::string& s, std::uint32_t v) {
  AppendU16(s, v & 0xFFFF);
  AppendU16(s, v >> 16);
}

// A picture the way an icon file stores it: header, palette, colour rows and
// mask rows, both from the bottom up and padded to four bytes.
struct Dib {
  int width = 1;
  int height = 1;
  int bits = 8;
  std::vector<std::uint32_t> palette{};  // 0xRRGGBB
  // Rows from the top: palette indices up to 8 bits, the stored 16-bit
  // value, 0xRRGGBB for 24 bits, 0xAARRGGBB for 32.
  std::vector<std::uint32_t> pixels{};
  std::vector<int> mask{};  // 1 = mask bit set, rows from the top; empty = all clear
  bool withMask = true;
  int compression = 0;
};

std::string DibBytes(const Dib& d) {
  std::string out;
  AppendU32(out, 40);
  AppendU32(out, static_cast<std::uint32_t>(d.width));
  AppendU32(out, static_cast<std::uint32_t>(d.height * 2));
  AppendU16(out, 1);
  AppendU16(out, static_cast<std::uint32_t>(d.bits));
  AppendU32(out, static_cast<std::uint32_t>(d.compression));
  for (int i = 0; i < 3; ++i) AppendU32(out, 0);
  AppendU32(out, static_cast<std::uint32_t>(d.palette.size()));
  AppendU32(out, 0);
  for (std::uint32_t c : d.palette) AppendU32(out, c);  // B, G, R, 0 in the file
  const auto rows = [&](int bits, auto valueAt) {
    const std::size_t stride = static_cast<std::size_t>((d.width * bits + 31) / 32 * 4);
    for (int y = d.height - 1; y >= 0; --y) {
      std::string row(stride, '\0');
      for (int x = 0; x < d.width; ++x) {
        const std::uint32_t v = valueAt(x, y);
        if (bits < 8) {
          const int bit = x * bits;
          row[static_cast<std::size_t>(bit / 8)] |= static_cast<char>(v << (8 - bits - bit % 8));
        } else {
          for (int b = 0; b < bits / 8; ++b)
            row[static_cast<std::size_t>(x * bits / 8 + b)] = static_cast<char>((v >> (8 * b)) & 0xFF);
        }
      }
      out += row;
    }
  };
  rows(d.bits, [&](int x, int y) { return d.pixels[static_cast<std::size_t>(y * d.width + x)]; });
  if (d.withMask) {
    rows(1, [&](int x, int y) {
      return d.mask.empty() ? 0u
                            : static_cast<std::uint32_t>(d.mask[static_cast<std::size_t>(y * d.width + x)]);
    });
  }
  return out;
}

// A picture filled with one palette colour that tells the entries apart.
Dib Plain(int width, int height, int bits, std::uint32_t colour) {
  Dib d{.width = width, .height = height, .bits = bits};
  if (bits <= 8) {
    d.palette = {colour};
    d.pixels.assign(static_cast<std::size_t>(width * height), 0);
  } else {
    d.pixels.assign(static_cast<std::size_t>(width * height), bits == 32 ? (0xFF000000u | colour) : colour);
  }
  return d;
}

struct Entry {
  std::string data;
  int hotX = 0;
  int hotY = 0;
  int width = 0;  // as the directory says; 256 is written as 0
  int height = 0;
  std::int64_t sizeDelta = 0;  // how far the directory's size is off
};

std::string IconFile(int type, const std::vector<Entry>& entries) {
  std::string out;
  AppendU16(out, 0);
  AppendU16(out, static_cast<std::uint32_t>(type));
  AppendU16(out, static_cast<std::uint32_t>(entries.size()));
  std::size_t offset = 6 + 16 * entries.size();
  for (const Entry& e : entries) {
    out.push_back(static_cast<char>(e.width & 0xFF));
    out.push_back(static_cast<char>(e.height & 0xFF));
    out.push_back(0);
    out.push_back(0);
    AppendU16(out, static_cast<std::uint32_t>(e.hotX));
    AppendU16(out, static_cast<std::uint32_t>(e.hotY));
    AppendU32(out, static_cast<std::uint32_t>(static_cast<std::int64_t>(e.data.size()) + e.sizeDelta));
    AppendU32(out, static_cast<std::uint32_t>(offset));
    offset += e.data.size();
  }
  for (const Entry& e : entries) out += e.data;
  return out;
}

std::string Cursor(const Dib& dib, int hotX = 0, int hotY = 0) {
  return IconFile(2, {{DibBytes(dib), hotX, hotY, dib.width, dib.height}});
}

const RgbaImage& OnlyImage(const std::optional<CursorAnimation>& cursor) {
  static const RgbaImage none;
  if (!cursor || cursor->frames.size() != 1) {
    ADD_FAILURE() << "expected one picture";
    return none;
  }
  return cursor->frames[0].image;
}

constexpr std::uint32_t kClear = 0x00000000;
constexpr std::uint32_t kBlack = 0x000000FF;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;

// --------------------------------------------------------- .cur / .ico -----

TEST(CursorFile, DecodesEveryDepth) {
  struct Case {
    const char* name;
    Dib dib;
    Pixels expected;
  };
  std::vector<std::uint32_t> sixteen;
  for (std::uint32_t i = 0; i < 16; ++i) sixteen.push_back(i * 16 << 16 | (255 - i * 16));
  const auto fromSixteen = [](std::uint32_t i) { return i * 16 << 24 | (255 - i * 16) << 8 | 0xFF; };
  // Three pixels wide, so every row needs padding.
  const Case cases[] = {
      // The mask makes black see-through; over a colour it stands for
      // inverted screen, shown dark.
      {"1 bit",
       {.width = 3,
        .height = 2,
        .bits = 1,
        .palette = {0x000000, 0xFFFFFF},
        .pixels = {0, 1, 1, 1, 0, 0},
        .mask = {1, 0, 1, 0, 0, 0}},
       {kClear, kWhite, kBlack, kWhite, kBlack, kBlack}},
      {"4 bits",
       {.width = 3, .height = 2, .bits = 4, .palette = sixteen, .pixels = {0, 7, 15, 3, 9, 1}},
       {fromSixteen(0), fromSixteen(7), fromSixteen(15), fromSixteen(3), fromSixteen(9), fromSixteen(1)}},
      // A short palette: indices past it are black.
      {"8 bits",
       {.width = 3,
        .height = 2,
        .bits = 8,
        .palette = {0xFF0000, 0x00FF00, 0x0000FF},
        .pixels = {0, 1, 2, 2, 1, 200}},
       {0xFF0000FF, 0x00FF00FF, 0x0000FFFF, 0x0000FFFF, 0x00FF00FF, kBlack}},
      {"16 bits",
       {.width = 3, .height = 2, .bits = 16, .pixels = {0x7C00, 0x03E0, 0x001F, 0x0000, 0x7FFF, 0x4210}},
       {0xFF0000FF, 0x00FF00FF, 0x0000FFFF, kBlack, kWhite, 0x848484FF}},
      {"24 bits",
       {.width = 3,
        .height = 2,
        .bits = 24,
        .pixels = {0x102030, 0x000000, 0x405060, 0xA0B0C0, 1, 2},
        .mask = {0, 1, 1, 0, 0, 0}},
       {0x102030FF, kClear, kBlack, 0xA0B0C0FF, 0x000001FF, 0x000002FF}},
      // With alpha the mask is not looked at.
      {"32 bits",
       {.width = 3,
        .height = 2,
        .bits = 32,
        .pixels = {0xFF102030, 0x80405060, 0x00000000, 0x01000000, 0xFFFFFFFF, 0x7F010203},
        .mask = {1, 1, 1, 1, 1, 1}},
       {0x102030FF, 0x40506080, kClear, 0x00000001, kWhite, 0x0102037F}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<CursorAnimation> cursor = ReadCursorFile(Cursor(c.dib));
    ASSERT_TRUE(cursor.has_value());
    EXPECT_EQ(cursor->steps.size(), 1u);
    EXPECT_FALSE(cursor->animated());
    const RgbaImage& image = OnlyImage(cursor);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(PixelsOf(image), c.expected);
  }
}

TEST(CursorFile, ThirtyTwoBitsWithoutAlphaUseTheMask) {
  const Dib dib{.width = 2, .height = 1, .bits = 32, .pixels = {0x00102030, 0x00405060}, .mask = {0, 1}};
  EXPECT_EQ(PixelsOf(OnlyImage(ReadCursorFile(Cursor(dib)))), (Pixels{0x102030FF, 0x40506000}));
}

TEST(CursorFile, AMissingMaskMeansOpaque) {
  Dib dib = Plain(2, 2, 24, 0x000000);
  dib.withMask = false;
  EXPECT_EQ(PixelsOf(OnlyImage(ReadCursorFile(Cursor(dib)))), (Pixels{kBlack, kBlack, kBlack, kBlack}));
}

TEST(CursorFile, TakesTheLargestThenTheDeepestPicture) {
  const std::string file = IconFile(2, {{DibBytes(Plain(16, 16, 32, 0x111111)), 1, 1, 16, 16},
                                        {DibBytes(Plain(32, 32, 4, 0x444444)), 4, 4, 32, 32},
                                        {DibBytes(Plain(32, 32, 8, 0x888888)), 8, 9, 32, 32},
                                        {DibBytes(Plain(24, 24, 24, 0x242424)), 2, 2, 24, 24}});
  const std::optional<CursorAnimation> cursor = ReadCursorFile(file);
  const RgbaImage& image = OnlyImage(cursor);
  ASSERT_EQ(image.width, 32);
  EXPECT_EQ(image.height, 32);
  EXPECT_EQ(PixelAt(image, 5, 5), 0x888888FFu);
  EXPECT_EQ(cursor->frames[0].hotX, 8);
  EXPECT_EQ(cursor->frames[0].hotY, 9);
}

TEST(CursorFile, AnUnreadableEntryGivesWayToTheNextBest) {
  std::string broken = DibBytes(Plain(32, 32, 8, 0x888888));
  broken.resize(broken.size() / 2);  // colour rows cut off
  const std::string file =
      IconFile(2, {{broken, 1, 1, 32, 32}, {DibBytes(Plain(16, 16, 8, 0x161616)), 2, 3, 16, 16}});
  const std::optional<CursorAnimation> cursor = ReadCursorFile(file);
  EXPECT_EQ(PixelAt(OnlyImage(cursor), 0, 0), 0x161616FFu);
  EXPECT_EQ(cursor->frames[0].hotY, 3);
}

TEST(CursorFile, PngPicturesAreKeptForTheQtSide) {
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "not decoded here";
  // A picture the core decodes wins over a larger PNG.
  std::optional<CursorAnimation> cursor = ReadCursorFile(
      IconFile(2, {{png, 100, 100, 0, 0}, {DibBytes(Plain(16, 16, 8, 0x161616)), 2, 3, 16, 16}}));
  ASSERT_TRUE(cursor.has_value());
  EXPECT_EQ(cursor->frames[0].image.width, 16);
  EXPECT_TRUE(cursor->frames[0].png.empty());

  // With nothing else the PNG is handed on, hot spot and all; a width of 0 in
  // the directory means 256.
  cursor = ReadCursorFile(IconFile(2, {{png, 200, 300, 0, 48}}));
  ASSERT_TRUE(cursor.has_value());
  ASSERT_EQ(cursor->frames.size(), 1u);
  EXPECT_TRUE(cursor->frames[0].image.empty());
  EXPECT_EQ(cursor->frames[0].png, png);
  EXPECT_EQ(cursor->frames[0].hotX, 200);
  EXPECT_EQ(cursor->frames[0].hotY, 47);
}

TEST(CursorFile, HotSpots) {
  struct Case {
    const char* name;
    int type;
    int hotX, hotY;
    int expectedX, expectedY;
  };
  const Case cases[] = {
      {"cursor", 2, 3, 5, 3, 5},
      {"cursor pointing past its picture", 2, 40, 7, 9, 7},
      // An icon keeps planes and depth where a cursor keeps its hot spot; it
      // points with its centre.
      {"icon", 1, 1, 32, 5, 4},
  };
  for (const Case& c : cases) {
    const std::string file = IconFile(c.type, {{DibBytes(Plain(10, 8, 8, 0x123456)), c.hotX, c.hotY, 10, 8}});
    const std::optional<CursorAnimation> cursor = ReadCursorFile(file);
    ASSERT_TRUE(cursor.has_value()) << c.name;
    EXPECT_EQ(cursor->frames[0].hotX, c.expectedX) << c.name;
    EXPECT_EQ(cursor->frames[0].hotY, c.expectedY) << c.name;
  }
}

TEST(CursorFile, ADirectorySizeThatIsTooLargeStillReads) {
  const std::string file = IconFile(2, {{DibBytes(Plain(4, 4, 8, 0x123456)), 0, 0, 4, 4, 5000}});
  EXPECT_EQ(PixelAt(OnlyImage(ReadCursorFile(file)), 3, 3), 0x123456FFu);
}

TEST(CursorFile, RefusesWhatIsNoCursor) {
  const std::string good = Cursor(Plain(4, 4, 8, 0x123456));
  ASSERT_TRUE(ReadCursorFile(good).has_value());
  const auto patched = [&](std::size_t at, char value) {
    std::string s = good;
    s[at] = value;
    return s;
  };
  std::string cut = DibBytes(Plain(4, 4, 8, 0x123456));
  cut.resize(40 + 4 + 8);  // header, palette and half the colour rows
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"text", "This is not a cursor at all."},
      {"reserved word set", patched(0, 1)},
      {"type 3", patched(2, 3)},
      {"no entries", patched(4, 0)},
      {"directory only", good.substr(0, 22)},
      {"picture past the end", patched(21, 0x7F)},
      {"depth of 3 bits", patched(22 + 14, 3)},
      {"run-length compressed", patched(22 + 16, 1)},
      {"negative width", patched(22 + 7, '\x80')},
      {"colour rows cut short", IconFile(2, {{cut, 0, 0, 4, 4}})},
      {"a palette of 257 colours", patched(22 + 33, 1)},
  };
  for (const Case& c : cases) EXPECT_FALSE(ReadCursorFile(c.bytes).has_value()) << c.name;
}

// ---------------------------------------------------------------- .ani -----

std::string Chunk(std::string_view id, std::string_view data, std::int64_t sizeDelta = 0) {
  std::string out(id);
  AppendU32(out, static_cast<std::uint32_t>(static_cast<std::int64_t>(data.size()) + sizeDelta));
  out += data;
  if (data.size() % 2) out.push_back('\0');
  return out;
}

std::string Numbers(std::initializer_list<std::uint32_t> values) {
  std::string out;
  for (std::uint32_t v : values) AppendU32(out, v);
  return out;
}

std::string Anih(std::uint32_t frames, std::uint32_t steps, std::uint32_t jifRate, std::uint32_t flags = 1) {
  return Chunk("anih", Numbers({36, frames, steps, 0, 0, 0, 0, jifRate, flags}));
}

std::string Frames(const std::vector<std::uint32_t>& colours) {
  std::string list = "fram";
  for (std::size_t i = 0; i < colours.size(); ++i)
    list += Chunk("icon", Cursor(Plain(4, 4, 8, colours[i]), static_cast<int>(i), 0));
  return Chunk("LIST", list);
}

std::string Ani(const std::string& chunks) {
  std::string out = "RIFF";
  AppendU32(out, static_cast<std::uint32_t>(4 + chunks.size()));
  return out + "ACON" + chunks;
}

using Steps = std::vector<std::pair<int, int>>;  // frame, delay in ms

Steps StepsOf(const CursorAnimation& a) {
  Steps out;
  for (const CursorAnimation::Step& s : a.steps) out.emplace_back(s.frame, s.delayMs);
  return out;
}

TEST(AnimatedCursorFile, StepsComeFromSequenceAndRates) {
  struct Case {
    const char* name;
    std::string file;
    Steps expected;
  };
  const std::string frames = Frames({0x111111, 0x222222});
  const Case cases[] = {
      // A rate of 0 jiffies would spin: it lasts one.
      {"sequence and rates",
       Ani(Anih(2, 4, 6, 3) + Chunk("rate", Numbers({1, 2, 3, 0})) + Chunk("seq ", Numbers({1, 0, 1, 1})) +
           frames),
       {{1, 16}, {0, 33}, {1, 50}, {1, 16}}},
      {"frames in order at the header's rate", Ani(Anih(2, 2, 6) + frames), {{0, 100}, {1, 100}}},
      {"a header rate of zero", Ani(Anih(2, 2, 0) + frames), {{0, 16}, {1, 16}}},
      {"rates without a sequence",
       Ani(Anih(2, 2, 6) + Chunk("rate", Numbers({30, 60})) + frames),
       {{0, 500}, {1, 1000}}},
      {"fewer rates than steps",
       Ani(Anih(2, 3, 12, 3) + Chunk("rate", Numbers({30})) + Chunk("seq ", Numbers({0, 1, 0})) + frames),
       {{0, 500}, {1, 200}, {0, 200}}},
      // The header's step count limits a longer sequence.
      {"sequence longer than the steps",
       Ani(Anih(2, 2, 6, 3) + Chunk("seq ", Numbers({1, 1, 0, 0})) + frames),
       {{1, 100}, {1, 100}}},
      // Steps showing a frame that is not there are dropped.
      {"sequence pointing past the frames",
       Ani(Anih(2, 3, 6, 3) + Chunk("seq ", Numbers({0, 7, 1})) + frames),
       {{0, 100}, {1, 100}}},
      {"chunks after the frames", Ani(frames + Anih(2, 2, 6)), {{0, 100}, {1, 100}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<CursorAnimation> cursor = ReadCursorFile(c.file);
    ASSERT_TRUE(cursor.has_value());
    ASSERT_EQ(cursor->frames.size(), 2u);
    EXPECT_EQ(PixelAt(cursor->frames[1].image, 0, 0), 0x222222FFu);
    EXPECT_EQ(cursor->frames[1].hotX, 1);
    EXPECT_EQ(StepsOf(*cursor), c.expected);
    EXPECT_TRUE(cursor->animated());
  }
}

TEST(AnimatedCursorFile, ReadsPastChunksOfOddOrWrongSize) {
  struct Case {
    const char* name;
    std::string before;  // chunks ahead of anih
  };
  const std::string info = "INFO" + Chunk("INAM", "Odd") + Chunk("IART", "Someone");
  const Case cases[] = {
      {"odd sizes are padded", Chunk("LIST", info) + Chunk("junk", "abc")},
      // A list that claims more than it holds puts the next header early,
      // one that claims less puts it late.
      {"size two too large", Chunk("LIST", info, 2)},
      {"size two too small", Chunk("LIST", info, -2)},
      {"size far too large", Chunk("LIST", info, 40)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<CursorAnimation> cursor =
        ReadCursorFile(Ani(c.before + Anih(2, 2, 6) + Chunk("rate", Numbers({6, 12})) + Frames({1, 2})));
    ASSERT_TRUE(cursor.has_value());
    EXPECT_EQ(StepsOf(*cursor), (Steps{{0, 100}, {1, 200}}));
  }

  // The RIFF size is not trusted either.
  std::string file = Ani(Anih(2, 2, 6) + Frames({1, 2}));
  file[4] = 20;
  file[5] = file[6] = file[7] = 0;
  const std::optional<CursorAnimation> cursor = ReadCursorFile(file);
  ASSERT_TRUE(cursor.has_value());
  EXPECT_EQ(cursor->frames.size(), 2u);
}

TEST(AnimatedCursorFile, OneFrameOneStepIsStill) {
  const std::optional<CursorAnimation> cursor = ReadCursorFile(Ani(Anih(1, 1, 6) + Frames({1})));
  ASSERT_TRUE(cursor.has_value());
  EXPECT_FALSE(cursor->animated());
  EXPECT_EQ(cursor->steps.size(), 1u);
}

TEST(AnimatedCursorFile, RefusesBrokenAnimations) {
  const std::string frames = Frames({1, 2});
  const struct {
    const char* name;
    std::string file;
  } cases[] = {
      {"no header", Ani(frames)},
      {"header too short", Ani(Chunk("anih", Numbers({36, 2, 2})) + frames)},
      {"no frames", Ani(Anih(2, 2, 6))},
      {"a frame that is no cursor", Ani(Anih(2, 2, 6) + Chunk("LIST", "fram" + Chunk("icon", "garbage")))},
      {"every step past the frames", Ani(Anih(2, 2, 6, 3) + Chunk("seq ", Numbers({5, 9})) + frames)},
      {"other RIFF form", "RIFF\x04\0\0\0WAVE" + Anih(2, 2, 6) + frames},
      {"only the RIFF header", Ani("")},
  };
  for (const auto& c : cases) EXPECT_FALSE(ReadCursorFile(c.file).has_value()) << c.name;
}

// ------------------------------------------------------------ fixtures -----

const std::filesystem::path kCursors = std::filesystem::path(PAGEMOOR_THIRD_PARTY_DIR) / "cursors";

std::string ReadFixture(const std::string& name) {
  std::ifstream in(kCursors / name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(CursorFixtures, StillCursors) {
  struct Probe {
    int x, y;
    std::uint32_t rgba;
  };
  struct Case {
    const char* name;
    int width, height, hotX, hotY;
    std::vector<Probe> probes;
  };
  const Case cases[] = {
      {"sdl2image-sample.cur",
       23,
       42,
       1,
       24,
       {{0, 0, 0xFC0201FF}, {22, 41, 0x359832FF}, {1, 24, 0xA04718FF}}},
      {"npp-drag.cur", 32, 32, 12, 11, {{0, 0, kClear}, {4, 1, kBlack}, {5, 2, kWhite}}},
      {"npp-drag_out.cur", 32, 32, 1, 1, {{0, 0, kClear}, {1, 1, 0xCECECEFF}, {2, 12, kWhite}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<CursorAnimation> cursor = ReadCursorFile(ReadFixture(c.name));
    ASSERT_TRUE(cursor.has_value());
    const RgbaImage& image = OnlyImage(cursor);
    EXPECT_EQ(image.width, c.width);
    EXPECT_EQ(image.height, c.height);
    EXPECT_EQ(cursor->frames[0].hotX, c.hotX);
    EXPECT_EQ(cursor->frames[0].hotY, c.hotY);
    for (const Probe& p : c.probes) EXPECT_EQ(PixelAt(image, p.x, p.y), p.rgba) << p.x << "," << p.y;
  }
}

TEST(CursorFixtures, AnimationWithAnInfoListOfWrongSize) {
  // Its INFO list claims two bytes more than it holds; "anih" and everything
  // after it are only found by looking near where the list says it ends.
  const std::optional<CursorAnimation> cursor = ReadCursorFile(ReadFixture("kimageformats-test.ani"));
  ASSERT_TRUE(cursor.has_value());
  ASSERT_EQ(cursor->frames.size(), 3u);
  EXPECT_EQ(StepsOf(*cursor), (Steps{{0, 166}, {1, 333}, {2, 166}, {1, 166}}));
  for (const CursorImage& frame : cursor->frames) {
    EXPECT_EQ(frame.image.width, 32);
    EXPECT_EQ(frame.image.height, 32);
    EXPECT_EQ(frame.image.pixel(0, 0)[3], 0) << "corner is see-through";
  }
  // The frames differ: the centre is a different grey in each.
  EXPECT_EQ(PixelAt(cursor->frames[0].image, 16, 15), 0x929292FFu);
  EXPECT_EQ(PixelAt(cursor->frames[1].image, 16, 15), 0x4D4D4DFFu);
  EXPECT_EQ(PixelAt(cursor->frames[2].image, 16, 15), 0x868686FFu);
}

// Every cut of a cursor file gives nothing or pictures that are whole in
// what they show: a hot spot inside the picture, steps naming real frames.
// A cut copy of its own, so a read past the cut is a read past the buffer,
// which the sanitizer builds catch.
TEST(CursorTruncation, EveryCutFailsCleanlyOrGivesAUsableCursor) {
  Dib mono = Plain(5, 3, 1, 0xFFFFFF);
  Dib sixteen = Plain(3, 2, 4, 0x00FF00);
  Dib deep = Plain(4, 4, 32, 0x123456);
  Dib highColour = Plain(2, 2, 16, 0x7C00);
  const std::vector<std::string> files = {
      IconFile(1, {{DibBytes(mono), 0, 0, 5, 3},
                   {DibBytes(sixteen), 0, 0, 3, 2},
                   {DibBytes(deep), 0, 0, 4, 4},
                   {DibBytes(highColour), 0, 0, 2, 2}}),
      Cursor(Plain(4, 4, 24, 0xABCDEF), 3, 2),
      Ani(Anih(2, 3, 10) + Chunk("rate", Numbers({1, 2, 3})) + Chunk("seq ", Numbers({1, 0, 1})) +
          Frames({0x112233, 0x445566})),
      ReadFixture("sdl2image-sample.cur"),
      ReadFixture("npp-drag.cur"),
      ReadFixture("kimageformats-test.ani"),
  };
  for (std::size_t f = 0; f < files.size(); ++f) {
    ASSERT_TRUE(ReadCursorFile(files[f]).has_value()) << f;
    for (std::size_t cut = 0; cut < files[f].size(); ++cut) {
      const std::string prefix = files[f].substr(0, cut);
      const std::optional<CursorAnimation> cursor = ReadCursorFile(prefix);
      if (!cursor) continue;
      ASSERT_FALSE(cursor->frames.empty()) << f << " " << cut;
      ASSERT_FALSE(cursor->steps.empty()) << f << " " << cut;
      for (const CursorImage& frame : cursor->frames) {
        ASSERT_FALSE(frame.image.empty()) << f << " " << cut;
        EXPECT_TRUE(frame.hotX >= 0 && frame.hotX < frame.image.width) << f << " " << cut;
        EXPECT_TRUE(frame.hotY >= 0 && frame.hotY < frame.image.height) << f << " " << cut;
      }
      for (const CursorAnimation::Step& step : cursor->steps)
        EXPECT_LT(static_cast<std::size_t>(step.frame), cursor->frames.size()) << f << " " << cut;
    }
  }
}

}  // namespace
}  // namespace pagemoor
