// PCX and TGA pictures written byte by byte in the tests, so each case shows
// the exact layout it checks.
#include "pictures/OtherPictures.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pictures/PixelValues.h"

namespace pagemoor {
namespace {

using test::Pixels;
using test::PixelsOf;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

void PutU16(std::string& s, std::size_t at, int v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

constexpr std::uint32_t kBlack = 0x000000FF;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;

// ---------------------------------------------------------------- PCX -----

struct PcxHeader {
  int bits = 8;
  int planes = 1;
  int width = 1;
  int height = 1;
  int bytesPerLine = 2;
  int version = 5;
  int encoding = 1;
  int xMin = 0;
  int yMin = 0;
  std::vector<std::array<int, 3>> palette{};  // the header's 16 colours
};

std::string Pcx(const PcxHeader& h, const std::string& data, const std::string& tail = "") {
  std::string out(128, '\0');
  out[0] = 0x0A;
  out[1] = static_cast<char>(h.version);
  out[2] = static_cast<char>(h.encoding);
  out[3] = static_cast<char>(h.bits);
  PutU16(out, 4, h.xMin);
  PutU16(out, 6, h.yMin);
  PutU16(out, 8, h.xMin + h.width - 1);
  PutU16(out, 10, h.yMin + h.height - 1);
  for (std::size_t i = 0; i < h.palette.size() && i < 16; ++i)
    for (std::size_t c = 0; c < 3; ++c) out[16 + i * 3 + c] = static_cast<char>(h.palette[i][c]);
  out[65] = static_cast<char>(h.planes);
  PutU16(out, 66, h.bytesPerLine);
  return out + data + tail;
}

// Sixteen colours that differ from the EGA defaults: colour i is (i*16, 255-i*16, i).
std::vector<std::array<int, 3>> SixteenColours() {
  std::vector<std::array<int, 3>> p;
  for (int i = 0; i < 16; ++i) p.push_back({i * 16, 255 - i * 16, i});
  return p;
}

std::uint32_t Sixteen(int i) {
  return static_cast<std::uint32_t>(i * 16) << 24 | static_cast<std::uint32_t>(255 - i * 16) << 16 |
         static_cast<std::uint32_t>(i) << 8 | 0xFF;
}

// The 256-colour palette at the end of the file: colour i is (i, 255-i, i/2).
std::string VgaPalette() {
  std::string out(1, '\x0C');
  for (int i = 0; i < 256; ++i) out += Bytes({i, 255 - i, i / 2});
  return out;
}

std::uint32_t Vga(int i) {
  return static_cast<std::uint32_t>(i) << 24 | static_cast<std::uint32_t>(255 - i) << 16 |
         static_cast<std::uint32_t>(i / 2) << 8 | 0xFF;
}

TEST(Pcx, DecodesEveryLayout) {
  struct Case {
    const char* name;
    PcxHeader header;
    std::string data;
    std::string tail;
    Pixels expected;
  };
  const Case cases[] = {
      // Bytes below 0xC0 stand for themselves; 0xC1 v is a run of one, the
      // way a value of 0xC0 or more has to be written.
      {"mono is black and white",
       {.bits = 1, .planes = 1, .width = 4, .height = 2, .bytesPerLine = 2, .palette = SixteenColours()},
       Bytes({0xA0, 0x00, 0x50, 0x00}),
       "",
       {kWhite, kBlack, kWhite, kBlack, kBlack, kWhite, kBlack, kWhite}},
      {"16 colours in four bit planes",
       {.bits = 1, .planes = 4, .width = 4, .height = 1, .bytesPerLine = 1, .palette = SixteenColours()},
       Bytes({0x50, 0x30, 0x50, 0x30}),
       "",
       {Sixteen(0), Sixteen(5), Sixteen(10), Sixteen(15)}},
      {"16 colours packed in nibbles",
       {.bits = 4, .planes = 1, .width = 3, .height = 1, .bytesPerLine = 2, .palette = SixteenColours()},
       Bytes({0x5A, 0xC1, 0xF0}),
       "",
       {Sixteen(5), Sixteen(10), Sixteen(15)}},
      {"4 colours from the header",
       {.bits = 2, .planes = 1, .width = 4, .height = 1, .bytesPerLine = 2, .palette = SixteenColours()},
       Bytes({0x1B, 0x00}),
       "",
       {Sixteen(0), Sixteen(1), Sixteen(2), Sixteen(3)}},
      {"256 colours from the end of the file",
       {.bits = 8, .planes = 1, .width = 2, .height = 2, .bytesPerLine = 2},
       Bytes({0x01, 0x02, 0x03, 0xC1, 0xFF}),
       VgaPalette(),
       {Vga(1), Vga(2), Vga(3), Vga(255)}},
      {"256 grey levels without a palette",
       {.bits = 8, .planes = 1, .width = 2, .height = 1, .bytesPerLine = 2},
       Bytes({0x10, 0xC1, 0xC8}),
       "",
       {0x101010FF, 0xC8C8C8FF}},
      {"24 bits in three planes",
       {.bits = 8, .planes = 3, .width = 2, .height = 1, .bytesPerLine = 2},
       Bytes({10, 20, 30, 40, 50, 60}),
       "",
       {0x0A1E32FF, 0x14283CFF}},
      {"alpha in a fourth plane",
       {.bits = 8, .planes = 4, .width = 2, .height = 1, .bytesPerLine = 2},
       Bytes({10, 20, 30, 40, 50, 60, 0xC1, 0xFF, 0x00}),
       "",
       {0x0A1E32FF, 0x14283C00}},
      {"unencoded lines",
       {.bits = 8, .planes = 1, .width = 2, .height = 1, .bytesPerLine = 2, .encoding = 0},
       Bytes({0xC2, 0x05}),
       "",
       {0xC2C2C2FF, 0x050505FF}},
      {"the window need not start at zero",
       {.bits = 8, .planes = 1, .width = 2, .height = 1, .bytesPerLine = 2, .xMin = 100, .yMin = 7},
       Bytes({0x10, 0x20}),
       "",
       {0x101010FF, 0x202020FF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<RgbaImage> image = DecodePcx(Pcx(c.header, c.data, c.tail));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, c.header.width);
    EXPECT_EQ(image->height, c.header.height);
    EXPECT_EQ(PixelsOf(*image), c.expected);
  }
}

TEST(Pcx, RunsCrossPlanesAndLines) {
  // A line of a 24-bit picture is all its red bytes, then green, then blue; a
  // run may go on from one plane into the next.
  const std::string planes = Pcx({.bits = 8, .planes = 3, .width = 4, .height = 1, .bytesPerLine = 4},
                                 Bytes({0xC6, 0x11, 0xC6, 0x22}));
  std::optional<RgbaImage> image = DecodePcx(planes);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(PixelsOf(*image), (Pixels{0x111122FF, 0x111122FF, 0x112222FF, 0x112222FF}));

  // Some writers also let a run go past the end of a line: five bytes of 0x40
  // fill the first line, its padding byte and the first pixel of the next.
  const std::string lines = Pcx({.bits = 8, .planes = 1, .width = 3, .height = 2, .bytesPerLine = 4},
                                Bytes({0xC5, 0x40, 0x50, 0x60, 0x99}));
  image = DecodePcx(lines);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(PixelsOf(*image),
            (Pixels{0x404040FF, 0x404040FF, 0x404040FF, 0x404040FF, 0x505050FF, 0x606060FF}));
}

TEST(Pcx, MissingHeaderPalettesFallBackToTheStandardColours) {
  struct Case {
    const char* name;
    PcxHeader header;
    std::string data;
    Pixels expected;
  };
  const Case cases[] = {
      // Version 3 means "no palette", whatever the field holds.
      {"version 3",
       {.bits = 4,
        .planes = 1,
        .width = 2,
        .height = 1,
        .bytesPerLine = 2,
        .version = 3,
        .palette = SixteenColours()},
       Bytes({0x1E, 0x00}),
       {0x0000AAFF, 0xFFFF55FF}},
      {"zeroed 16-colour palette",
       {.bits = 1, .planes = 4, .width = 1, .height = 1, .bytesPerLine = 1},
       Bytes({0x80, 0x00, 0x00, 0x80}),
       {0x5555FFFF}},
      {"zeroed CGA palette",
       {.bits = 2, .planes = 1, .width = 4, .height = 1, .bytesPerLine = 2},
       Bytes({0x1B, 0x00}),
       {kBlack, 0x55FFFFFF, 0xFF55FFFF, kWhite}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<RgbaImage> image = DecodePcx(Pcx(c.header, c.data));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(PixelsOf(*image), c.expected);
  }
}

TEST(Pcx, DataThatEndsEarlyLeavesTheRestBlack) {
  // Colour 0 of this palette is not black: the missing rows must not read as
  // colour 0, nor the palette as picture data.
  std::string palette = VgaPalette();
  palette[1] = '\xFF';
  palette[2] = 0;
  palette[3] = 0;
  struct Case {
    const char* name;
    std::string data;
    Pixels expected;
  };
  const Case cases[] = {
      {"after the first row", Bytes({0x01, 0x02}), {Vga(1), Vga(2), kBlack, kBlack, kBlack, kBlack}},
      {"inside a row", Bytes({0x01, 0x02, 0x03}), {Vga(1), Vga(2), Vga(3), kBlack, kBlack, kBlack}},
      {"run marker without its value", Bytes({0x01, 0xC5}), {Vga(1), kBlack, kBlack, kBlack, kBlack, kBlack}},
      {"no data at all", "", {kBlack, kBlack, kBlack, kBlack, kBlack, kBlack}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<RgbaImage> image =
        DecodePcx(Pcx({.bits = 8, .planes = 1, .width = 2, .height = 3, .bytesPerLine = 2}, c.data, palette));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(PixelsOf(*image), c.expected);
  }

  // A short 24-bit line: the pixels whose blue byte never came are black.
  const std::optional<RgbaImage> image = DecodePcx(
      Pcx({.bits = 8, .planes = 3, .width = 2, .height = 1, .bytesPerLine = 2}, Bytes({1, 2, 3, 4, 5})));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(PixelsOf(*image), (Pixels{0x010305FF, kBlack}));
}

TEST(Pcx, RefusesHeadersThatMakeNoSense) {
  const PcxHeader good{.bits = 8, .planes = 1, .width = 2, .height = 1, .bytesPerLine = 2};
  const std::string data = Bytes({1, 2});
  ASSERT_TRUE(DecodePcx(Pcx(good, data)).has_value());

  struct Case {
    const char* name;
    std::string bytes;
  };
  const auto with = [&](auto change) {
    PcxHeader h = good;
    change(h);
    return Pcx(h, data);
  };
  std::string notPcx = Pcx(good, data);
  notPcx[0] = 0x0B;
  std::string backwards = Pcx(good, data);
  PutU16(backwards, 8, 0);
  PutU16(backwards, 4, 5);
  const Case cases[] = {
      {"empty", ""},
      {"shorter than the header", Pcx(good, data).substr(0, 127)},
      {"other maker", notPcx},
      {"window ends before it starts", backwards},
      {"unknown encoding", with([](PcxHeader& h) { h.encoding = 2; })},
      {"unknown version", with([](PcxHeader& h) { h.version = 9; })},
      {"lines shorter than the width", with([](PcxHeader& h) { h.bytesPerLine = 1; })},
      {"no bytes per line", with([](PcxHeader& h) { h.bytesPerLine = 0; })},
      {"3 bits per pixel", with([](PcxHeader& h) { h.bits = 3; })},
      {"8 bits in 2 planes", with([](PcxHeader& h) { h.planes = 2; })},
      {"4 bits in 4 planes", with([](PcxHeader& h) {
         h.bits = 4;
         h.planes = 4;
       })},
      {"no planes", with([](PcxHeader& h) { h.planes = 0; })},
      {"larger than any picture", with([](PcxHeader& h) {
         h.width = 65535;
         h.height = 65535;
         h.bytesPerLine = 65535;
       })},
  };
  for (const Case& c : cases) EXPECT_FALSE(DecodePcx(c.bytes).has_value()) << c.name;
}

// ---------------------------------------------------------------- TGA -----

struct TgaHeader {
  int type = 2;
  int width = 2;
  int height = 1;
  int depth = 24;
  int descriptor = 0x20;  // top-down, so the data reads in the order of the expectations
  int mapType = 0;
  int mapFirst = 0;
  int mapLength = 0;
  int mapDepth = 0;
};

std::string Tga(const TgaHeader& h, const std::string& data, const std::string& map = "",
                const std::string& id = "") {
  std::string out(18, '\0');
  out[0] = static_cast<char>(id.size());
  out[1] = static_cast<char>(h.mapType);
  out[2] = static_cast<char>(h.type);
  PutU16(out, 3, h.mapFirst);
  PutU16(out, 5, h.mapLength);
  out[7] = static_cast<char>(h.mapDepth);
  PutU16(out, 12, h.width);
  PutU16(out, 14, h.height);
  out[16] = static_cast<char>(h.depth);
  out[17] = static_cast<char>(h.descriptor);
  return out + id + map + data;
}

TEST(Tga, DecodesEveryPixelKind) {
  struct Case {
    const char* name;
    TgaHeader header;
    std::string map;
    std::string data;
    Pixels expected;
  };
  const Case cases[] = {
      {"24-bit", {}, "", Bytes({0x30, 0x20, 0x10, 0x03, 0x02, 0x01}), {0x102030FF, 0x010203FF}},
      {"32-bit with alpha",
       {.depth = 32, .descriptor = 0x28},
       "",
       Bytes({0x30, 0x20, 0x10, 0x80, 3, 2, 1, 0}),
       {0x10203080, 0x01020300}},
      // Without alpha bits in the descriptor the fourth byte means nothing.
      {"32-bit without alpha bits",
       {.depth = 32},
       "",
       Bytes({0x30, 0x20, 0x10, 0x80, 3, 2, 1, 0}),
       {0x102030FF, 0x010203FF}},
      {"16-bit with an alpha bit",
       {.depth = 16, .descriptor = 0x21},
       "",
       Bytes({0x00, 0x7C, 0xE0, 0x83}),
       {0xFF000000, 0x00FF00FF}},
      {"16-bit without alpha bits",
       {.depth = 16},
       "",
       Bytes({0x00, 0x7C, 0xE0, 0x03}),
       {0xFF0000FF, 0x00FF00FF}},
      {"15-bit ignores the top bit",
       {.depth = 15},
       "",
       Bytes({0x1F, 0x00, 0x00, 0x80}),
       {0x0000FFFF, kBlack}},
      {"grey", {.type = 3, .depth = 8}, "", Bytes({0x00, 0x9A}), {kBlack, 0x9A9A9AFF}},
      {"grey with alpha",
       {.type = 3, .depth = 16, .descriptor = 0x28},
       "",
       Bytes({0x9A, 0x40, 0x10, 0xFF}),
       {0x9A9A9A40, 0x101010FF}},
      // Entries 2 and 3 of a map that starts at index 2; other indices are
      // outside it.
      {"mapped 24-bit entries",
       {.type = 1, .width = 4, .depth = 8, .mapType = 1, .mapFirst = 2, .mapLength = 2, .mapDepth = 24},
       Bytes({0x30, 0x20, 0x10, 0x03, 0x02, 0x01}),
       Bytes({3, 2, 1, 4}),
       {0x010203FF, 0x102030FF, kBlack, kBlack}},
      {"mapped 16-bit entries",
       {.type = 1, .depth = 8, .mapType = 1, .mapLength = 2, .mapDepth = 16},
       Bytes({0x00, 0x7C, 0x1F, 0x00}),
       Bytes({1, 0}),
       {0x0000FFFF, 0xFF0000FF}},
      {"mapped 32-bit entries with alpha",
       {.type = 1, .depth = 8, .descriptor = 0x28, .mapType = 1, .mapLength = 2, .mapDepth = 32},
       Bytes({0x30, 0x20, 0x10, 0x80, 3, 2, 1, 0xFF}),
       Bytes({0, 1}),
       {0x10203080, 0x010203FF}},
      {"16-bit indices",
       {.type = 1, .depth = 16, .mapType = 1, .mapFirst = 300, .mapLength = 1, .mapDepth = 24},
       Bytes({0x30, 0x20, 0x10}),
       Bytes({0x2C, 0x01, 0x2D, 0x01}),
       {0x102030FF, kBlack}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<RgbaImage> image = DecodeTga(Tga(c.header, c.data, c.map));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, c.header.width);
    EXPECT_EQ(image->height, c.header.height);
    EXPECT_EQ(PixelsOf(*image), c.expected);
  }
}

TEST(Tga, RunLengthPacketsCrossLineEnds) {
  struct Case {
    const char* name;
    TgaHeader header;
    std::string map;
    std::string data;
    Pixels expected;
  };
  const std::uint32_t r = 0xFF0000FF, g = 0x00FF00FF, b = 0x0000FFFF;
  const Case cases[] = {
      // A run of four fills the first line and starts the second; two raw
      // pixels end it.
      {"true colour",
       {.type = 10, .width = 3, .height = 2},
       "",
       Bytes({0x83, 0, 0, 0xFF, 0x01, 0, 0xFF, 0, 0xFF, 0, 0}),
       {r, r, r, r, g, b}},
      // Raw packets may cross too, and a run longer than the rest of the
      // picture stops at its end.
      {"grey",
       {.type = 11, .width = 2, .height = 2, .depth = 8},
       "",
       Bytes({0x02, 0x10, 0x20, 0x30, 0xFF, 0x40}),
       {0x101010FF, 0x202020FF, 0x303030FF, 0x404040FF}},
      {"mapped",
       {.type = 9, .width = 2, .height = 2, .depth = 8, .mapType = 1, .mapLength = 2, .mapDepth = 24},
       Bytes({0, 0, 0xFF, 0xFF, 0, 0}),
       Bytes({0x82, 0, 0x00, 1}),
       {r, r, r, b}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<RgbaImage> image = DecodeTga(Tga(c.header, c.data, c.map));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(PixelsOf(*image), c.expected);
  }
}

TEST(Tga, OriginBitsPlaceTheFirstPixel) {
  // Four grey pixels 1, 2, 3, 4 in file order; the descriptor says where the
  // first one goes.
  struct Case {
    int descriptor;
    std::array<int, 4> expected;  // grey levels, rows from the top
  };
  const Case cases[] = {
      {0x00, {3, 4, 1, 2}},  // bottom-up, the default
      {0x20, {1, 2, 3, 4}},  // top-down
      {0x10, {4, 3, 2, 1}},  // bottom-up, right to left
      {0x30, {2, 1, 4, 3}},  // top-down, right to left
  };
  for (const Case& c : cases) {
    const std::optional<RgbaImage> image = DecodeTga(Tga(
        {.type = 3, .width = 2, .height = 2, .depth = 8, .descriptor = c.descriptor}, Bytes({1, 2, 3, 4})));
    ASSERT_TRUE(image.has_value());
    Pixels expected;
    for (int v : c.expected) expected.push_back(static_cast<std::uint32_t>(v * 0x01010100u | 0xFF));
    EXPECT_EQ(PixelsOf(*image), expected) << "descriptor " << c.descriptor;
  }
}

TEST(Tga, SkipsTheIdFieldAndAnUnusedColourMap) {
  const std::optional<RgbaImage> image =
      DecodeTga(Tga({.mapType = 1, .mapLength = 2, .mapDepth = 24}, Bytes({0x30, 0x20, 0x10, 3, 2, 1}),
                    Bytes({9, 9, 9, 8, 8, 8}), "made by hand"));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(PixelsOf(*image), (Pixels{0x102030FF, 0x010203FF}));
}

TEST(Tga, AlphaThatIsZeroEverywhereMeansOpaque) {
  // Writers that set alpha bits but never wrote alpha would make the
  // picture vanish.
  const std::optional<RgbaImage> image =
      DecodeTga(Tga({.depth = 32, .descriptor = 0x28}, Bytes({0x30, 0x20, 0x10, 0, 3, 2, 1, 0})));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(PixelsOf(*image), (Pixels{0x102030FF, 0x010203FF}));
}

TEST(Tga, ShortDataLeavesTheRestBlack) {
  struct Case {
    const char* name;
    TgaHeader header;
    std::string data;
  };
  const Case cases[] = {
      {"raw", {.width = 2, .height = 2}, Bytes({0xFF, 0xFF, 0xFF, 0xFF})},
      {"run header without its pixel",
       {.type = 10, .width = 2, .height = 2},
       Bytes({0x00, 0xFF, 0xFF, 0xFF, 0x81})},
      {"raw packet cut short", {.type = 10, .width = 2, .height = 2}, Bytes({0x03, 0xFF, 0xFF, 0xFF, 0xFF})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<RgbaImage> image = DecodeTga(Tga(c.header, c.data));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(PixelsOf(*image), (Pixels{kWhite, kBlack, kBlack, kBlack}));
  }
}

TEST(Tga, RefusesWhatItCannotRead) {
  struct Case {
    const char* name;
    TgaHeader header;
    std::string map;
  };
  const Case cases[] = {
      {"no picture", {.type = 0}, ""},
      {"unknown type", {.type = 4}, ""},
      {"compressed unknown type", {.type = 12}, ""},
      {"mapped without a map", {.type = 1, .depth = 8}, ""},
      {"mapped with 24-bit indices",
       {.type = 1, .depth = 24, .mapType = 1, .mapLength = 1, .mapDepth = 24},
       Bytes({0, 0, 0})},
      {"map entries of 8 bits",
       {.type = 1, .depth = 8, .mapType = 1, .mapLength = 1, .mapDepth = 8},
       Bytes({0})},
      {"map longer than the file",
       {.type = 1, .depth = 8, .mapType = 1, .mapLength = 200, .mapDepth = 24},
       Bytes({0, 0, 0})},
      {"unknown map type", {.mapType = 2}, ""},
      {"true colour of 8 bits", {.depth = 8}, ""},
      {"grey of 24 bits", {.type = 3, .depth = 24}, ""},
      {"no width", {.width = 0}, ""},
      {"no height", {.height = 0}, ""},
      {"larger than any picture", {.width = 65535, .height = 65535}, ""},
  };
  for (const Case& c : cases)
    EXPECT_FALSE(DecodeTga(Tga(c.header, Bytes({1, 2, 3, 4, 5, 6}), c.map)).has_value()) << c.name;
  EXPECT_FALSE(DecodeTga(Tga({}, "").substr(0, 17)).has_value());
}

// ------------------------------------------------------ Cut files -----

// Every cut of a picture gives nothing (the header or colour map is not all
// there) or a picture of the full size in which each pixel is either the
// whole file's or the black of data that ran out. A cut copy of its own, so
// a read past the cut is a read past the buffer, which the sanitizer builds
// catch.
TEST(CutPictures, EveryCutFailsCleanlyOrLeavesTheRestBlack) {
  struct Case {
    const char* name;
    std::optional<RgbaImage> (*decode)(std::string_view);
    std::string bytes;
    std::size_t headerSize;  // cuts before this give nothing
    bool coloursAtTheEnd;    // a cut takes them away: only the size is kept
  };
  PcxHeader vga;
  vga.width = 3;
  vga.height = 2;
  vga.bytesPerLine = 4;
  PcxHeader planar{
      .bits = 1, .planes = 4, .width = 9, .height = 2, .bytesPerLine = 2, .palette = SixteenColours()};
  PcxHeader trueColour{.bits = 8, .planes = 3, .width = 2, .height = 2, .bytesPerLine = 2, .encoding = 0};
  TgaHeader mapped{.type = 9,
                   .width = 3,
                   .height = 2,
                   .depth = 16,
                   .mapType = 1,
                   .mapFirst = 2,
                   .mapLength = 3,
                   .mapDepth = 24};
  TgaHeader rgba{.width = 2, .height = 2, .depth = 32, .descriptor = 0x28};
  TgaHeader grey{.type = 11, .width = 4, .height = 1, .depth = 16, .descriptor = 0x28};
  const Case cases[] = {
      {"PCX 256 colours", DecodePcx, Pcx(vga, Bytes({0xC3, 7, 9, 0, 0xC2, 1, 2, 3})) + VgaPalette(), 128,
       true},
      {"PCX 4 planes", DecodePcx,
       Pcx(planar, Bytes({0xC2, 0xAA, 0xC2, 0x55, 0xC2, 0xF0, 0xC2, 0x0F, 1, 2, 3, 4, 5, 6, 7, 8})), 128,
       false},
      {"PCX true colour", DecodePcx, Pcx(trueColour, Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})), 128,
       false},
      {"TGA mapped, run-length", DecodeTga,
       Tga(mapped, Bytes({0x81, 2, 0, 0x83, 3, 0, 4, 0, 2, 0, 3, 0}), Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9}),
           "id"),
       18 + 2 + 9, false},
      {"TGA with alpha", DecodeTga, Tga(rgba, Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})),
       18, false},
      {"TGA grey, run-length", DecodeTga, Tga(grey, Bytes({0x01, 10, 20, 30, 40, 0x81, 50, 60})), 18, false},
  };
  for (const Case& c : cases) {
    const std::optional<RgbaImage> whole = c.decode(c.bytes);
    ASSERT_TRUE(whole.has_value()) << c.name;
    const Pixels wholePixels = PixelsOf(*whole);
    for (std::size_t cut = 0; cut < c.bytes.size(); ++cut) {
      const std::string prefix = c.bytes.substr(0, cut);
      const std::optional<RgbaImage> picture = c.decode(prefix);
      if (cut < c.headerSize) {
        EXPECT_FALSE(picture.has_value()) << c.name << " " << cut;
        continue;
      }
      ASSERT_TRUE(picture.has_value()) << c.name << " " << cut;
      ASSERT_EQ(picture->width, whole->width) << c.name << " " << cut;
      ASSERT_EQ(picture->height, whole->height) << c.name << " " << cut;
      if (c.coloursAtTheEnd) continue;
      const Pixels pixels = PixelsOf(*picture);
      for (std::size_t i = 0; i < pixels.size(); ++i)
        EXPECT_TRUE(pixels[i] == wholePixels[i] || pixels[i] == kBlack) << c.name << " " << cut << " " << i;
    }
  }
}

}  // namespace
}  // namespace pagemoor
