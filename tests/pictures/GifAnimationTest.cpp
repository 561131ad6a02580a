#include "pictures/GifAnimation.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace pagemoor {
namespace {

const std::string kThirdPartyGif = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/gif/";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

using Rgb = std::array<std::uint8_t, 3>;
using Rgba = std::array<std::uint8_t, 4>;

constexpr Rgba kClear = {0, 0, 0, 0};
constexpr Rgba kBlack = {0, 0, 0, 255};
constexpr Rgba kWhite = {255, 255, 255, 255};
constexpr Rgba kRed = {255, 0, 0, 255};
constexpr Rgba kGreen = {0, 255, 0, 255};
constexpr Rgba kBlue = {0, 0, 255, 255};

Rgba at(const RgbaImage& image, int x, int y) {
  const std::uint8_t* p = image.pixel(x, y);
  return {p[0], p[1], p[2], p[3]};
}

// The canvas as rows of letters, one per pixel, so that a failing test shows
// the whole picture: . clear, K black, W white, R red, G green, B blue, ? other.
std::string picture(const RgbaImage& image) {
  std::string s;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const Rgba p = at(image, x, y);
      s += p == kClear   ? '.'
           : p == kBlack ? 'K'
           : p == kWhite ? 'W'
           : p == kRed   ? 'R'
           : p == kGreen ? 'G'
           : p == kBlue  ? 'B'
                         : '?';
    }
    s += '\n';
  }
  return s;
}

// Writes GIF files block by block, down to the broken ones. The pixels are
// coded without compression: a clear code before every 254 literal codes
// keeps the code width at 9 bits.
class GifWriter {
 public:
  explicit GifWriter(int width, int height,
                     std::vector<Rgb> colours = {kRgbRed, kRgbGreen, kRgbBlue, kRgbWhite}) {
    m_bytes = "GIF89a";
    word(width);
    word(height);
    m_bytes += static_cast<char>(colours.empty() ? 0 : 0x80 | tableBits(colours.size()));
    m_bytes += '\0';  // background
    m_bytes += '\0';  // aspect
    table(colours);
  }

  GifWriter& loop(int count, const char* application = "NETSCAPE2.0", int subBlock = 1) {
    m_bytes += "\x21\xFF\x0B";
    m_bytes += application;
    m_bytes += '\x03';
    m_bytes += static_cast<char>(subBlock);
    word(count);
    m_bytes += '\0';
    return *this;
  }

  GifWriter& control(int disposal, int delayCs, int transparent = -1) {
    m_bytes += "\x21\xF9\x04";
    m_bytes += static_cast<char>((disposal << 2) | (transparent >= 0 ? 1 : 0));
    word(delayCs);
    m_bytes += static_cast<char>(transparent >= 0 ? transparent : 0);
    m_bytes += '\0';
    return *this;
  }

  // pixels: one letter per pixel, row by row, the digit giving the colour index.
  GifWriter& image(int left, int top, int width, int height, const std::string& pixels,
                   std::vector<Rgb> localColours = {}, bool interlaced = false) {
    m_bytes += ',';
    word(left);
    word(top);
    word(width);
    word(height);
    m_bytes += static_cast<char>((localColours.empty() ? 0 : 0x80 | tableBits(localColours.size())) |
                                 (interlaced ? 0x40 : 0));
    table(localColours);
    std::vector<int> order;
    if (interlaced) {
      for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int row = start; row < height; row += step) order.push_back(row);
    } else {
      for (int row = 0; row < height; ++row) order.push_back(row);
    }
    std::vector<int> codes;
    int sinceClear = 254;
    for (int row : order) {
      for (int x = 0; x < width; ++x) {
        if (sinceClear == 254) codes.push_back(256), sinceClear = 0;
        codes.push_back(pixels.at(static_cast<std::size_t>(row * width + x)) - '0');
        ++sinceClear;
      }
    }
    codes.push_back(257);
    std::string data;
    unsigned bits = 0, count = 0;
    for (int code : codes) {
      bits |= static_cast<unsigned>(code) << count;
      count += 9;
      for (; count >= 8; count -= 8, bits >>= 8) data += static_cast<char>(bits & 0xFF);
    }
    if (count) data += static_cast<char>(bits & 0xFF);
    m_bytes += '\x08';
    for (std::size_t i = 0; i < data.size(); i += 255) {
      const std::string block = data.substr(i, 255);
      m_bytes += static_cast<char>(block.size());
      m_bytes += block;
    }
    m_bytes += '\0';
    return *this;
  }

  GifWriter& raw(const std::string& bytes) {
    m_bytes += bytes;
    return *this;
  }

  // The file so far without the trailer, to cut it anywhere.
  const std::string& body() const { return m_bytes; }
  std::string bytes() const { return m_bytes + ';'; }

  static constexpr Rgb kRgbRed = {255, 0, 0}, kRgbGreen = {0, 255, 0}, kRgbBlue = {0, 0, 255},
                       kRgbWhite = {255, 255, 255}, kRgbBlack = {0, 0, 0};

 private:
  void word(int v) {
    m_bytes += static_cast<char>(v & 0xFF);
    m_bytes += static_cast<char>((v >> 8) & 0xFF);
  }
  static int tableBits(std::size_t n) {
    int bits = 0;
    while ((std::size_t{2} << bits) < n) ++bits;
    return bits;
  }
  void table(std::vector<Rgb> colours) {
    if (colours.empty()) return;
    colours.resize(std::size_t{2} << tableBits(colours.size()), kRgbBlack);
    for (const Rgb& c : colours)
      for (std::uint8_t v : c) m_bytes += static_cast<char>(v);
  }

  std::string m_bytes;
};

std::unique_ptr<GifAnimation> open(const std::string& bytes) {
  return GifAnimation::Open(bytes);
}

// ---- The gif-test-suite files: each NAME.conf lists the expected frames
// with their delays and their pixels as raw RGBA.

using Conf = std::map<std::string, std::map<std::string, std::string>>;

Conf readConf(const std::string& path) {
  Conf conf;
  std::ifstream in(path);
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const auto eq = line.find(" = ");
    if (eq != std::string::npos) conf[section][line.substr(0, eq)] = line.substr(eq + 3);
  }
  return conf;
}

std::vector<std::string> split(const std::string& list) {
  std::vector<std::string> out;
  std::stringstream s(list);
  for (std::string item; std::getline(s, item, ',');) out.push_back(item);
  return out;
}

struct SuiteCase {
  const char* name;
  // Our loop count: the NETSCAPE value, 1 without the extension.
  int loopCount;
  // Images in the file before the frames the description lists.
  int leadingFrames = 0;
};

class GifTestSuite : public ::testing::TestWithParam<SuiteCase> {};

TEST_P(GifTestSuite, FramesMatchTheExpectedPixels) {
  const std::string folder = kThirdPartyGif + "gif-test-suite/";
  const SuiteCase& c = GetParam();
  Conf conf = readConf(folder + c.name + ".conf");
  ASSERT_FALSE(conf["config"].empty()) << c.name;
  const auto gif = open(readFile(folder + conf["config"]["input"]));
  ASSERT_TRUE(gif) << c.name;
  const int width = std::stoi(conf["config"]["width"]);
  const int height = std::stoi(conf["config"]["height"]);
  EXPECT_EQ(gif->width(), width);
  EXPECT_EQ(gif->height(), height);
  EXPECT_EQ(gif->loopCount(), c.loopCount);
  const std::vector<std::string> frames = split(conf["config"]["frames"]);
  ASSERT_EQ(gif->frameCount(), c.leadingFrames + static_cast<int>(frames.size()));

  // Forwards, then backwards, which builds the canvas again each time.
  std::vector<int> order;
  for (int i = 0; i < static_cast<int>(frames.size()); ++i) order.push_back(i);
  for (int i = static_cast<int>(frames.size()) - 1; i >= 0; --i) order.push_back(i);
  for (int i : order) {
    const auto& section = conf[frames[static_cast<std::size_t>(i)]];
    const int index = c.leadingFrames + i;
    const int delayCs = section.count("delay") ? std::stoi(section.at("delay")) : 0;
    EXPECT_EQ(gif->delayMs(index), delayCs * 10) << c.name << " frame " << i;
    const std::string expected = readFile(folder + section.at("pixels"));
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(width) * height * 4);
    const RgbaImage& canvas = gif->frame(index);
    ASSERT_EQ(canvas.width, width);
    ASSERT_EQ(canvas.height, height);
    EXPECT_EQ(std::string(canvas.pixels.begin(), canvas.pixels.end()), expected) << c.name << " frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Gif, GifTestSuite,
                         ::testing::Values(SuiteCase{"animation", 0}, SuiteCase{"animation-speed", 0},
                                           SuiteCase{"animation-zero-delays", 0},
                                           SuiteCase{"gif87a-animation", 1}, SuiteCase{"dispose-none", 0},
                                           SuiteCase{"dispose-keep", 0},
                                           SuiteCase{"dispose-restore-background", 0},
                                           // Starts with a black image the description leaves out.
                                           SuiteCase{"dispose-restore-previous", 0, 1},
                                           SuiteCase{"interlace", 1}, SuiteCase{"local-color-table", 1},
                                           SuiteCase{"no-global-color-table", 1}, SuiteCase{"transparent", 1},
                                           SuiteCase{"loop-once", 1}),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

TEST(GifAnimation, RealAnimationWithTransparencyAndDisposal) {
  const std::string path = kThirdPartyGif + "gdkpixbuf-test-animation.gif";
  const auto gif = open(readFile(path));
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->width(), 17);
  EXPECT_EQ(gif->height(), 17);
  ASSERT_EQ(gif->frameCount(), 10);
  EXPECT_EQ(gif->loopCount(), 0);
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(gif->delayMs(i), 100);
    const RgbaImage& f = gif->frame(i);
    int clear = 0;
    for (std::size_t p = 3; p < f.pixels.size(); p += 4) clear += f.pixels[p] == 0;
    EXPECT_GT(clear, 0) << "frame " << i;
    EXPECT_LT(clear, 17 * 17) << "frame " << i;
    frames.push_back(f.pixels);
  }
  EXPECT_NE(frames[0], frames[1]);
  // Back to the start and forwards again: the same pictures.
  for (int i : {3, 0, 9, 4}) EXPECT_EQ(gif->frame(i).pixels, frames[static_cast<std::size_t>(i)]) << i;
}

// ---- Files written here, each showing one rule.

TEST(GifAnimation, WithoutAnyColourTableBlackWhiteAndGreys) {
  const auto gif = open(GifWriter(4, 1, {}).image(0, 0, 4, 1, "0125").bytes());
  ASSERT_TRUE(gif);
  const RgbaImage& f = gif->frame(0);
  EXPECT_EQ(at(f, 0, 0), kBlack);
  EXPECT_EQ(at(f, 1, 0), kWhite);
  EXPECT_EQ(at(f, 2, 0), (Rgba{2, 2, 2, 255}));
  EXPECT_EQ(at(f, 3, 0), (Rgba{5, 5, 5, 255}));
}

TEST(GifAnimation, LocalTableWinsAndIndicesBeyondTheTableShowBlack) {
  // Global table: red, green, blue, white. Frame 2 has its own two colours.
  const auto gif = open(GifWriter(3, 1)
                            .image(0, 0, 3, 1, "012")
                            .image(0, 0, 3, 1, "017", {GifWriter::kRgbWhite, GifWriter::kRgbBlue})
                            .bytes());
  ASSERT_TRUE(gif);
  EXPECT_EQ(picture(gif->frame(0)), "RGB\n");
  EXPECT_EQ(picture(gif->frame(1)), "WBK\n");
}

struct ComposeCase {
  const char* name;
  std::string file;
  std::vector<std::string> frames;  // each canvas as picture() shows it
};

class GifCompose : public ::testing::TestWithParam<ComposeCase> {};

TEST_P(GifCompose, Canvases) {
  const ComposeCase& c = GetParam();
  const auto gif = open(c.file);
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->frameCount(), static_cast<int>(c.frames.size()));
  for (int i = 0; i < gif->frameCount(); ++i)
    EXPECT_EQ(picture(gif->frame(i)), c.frames[static_cast<std::size_t>(i)]) << "frame " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Gif, GifCompose,
    ::testing::Values(
        ComposeCase{
            "TransparentPixelsLeaveTheCanvasAlone",
            GifWriter(3, 1).image(0, 0, 3, 1, "000").control(0, 0, 1).image(0, 0, 3, 1, "121").bytes(),
            {"RRR\n", "RBR\n"}},
        // Before the first frame the canvas is transparent.
        ComposeCase{
            "UncoveredCanvasIsTransparent", GifWriter(3, 2).image(1, 1, 1, 1, "2").bytes(), {"...\n.B.\n"}},
        ComposeCase{"RestoreToBackgroundClearsOnlyTheFrameToTransparent",
                    GifWriter(3, 2)
                        .image(0, 0, 3, 2, "111111")
                        .control(2, 0)
                        .image(1, 0, 1, 1, "0")
                        .image(2, 0, 1, 1, "2")
                        .bytes(),
                    {"GGG\nGGG\n", "GRG\nGGG\n", "G.B\nGGG\n"}},
        ComposeCase{"RestorePreviousPutsBackWhatWasUnder",
                    GifWriter(3, 1)
                        .image(0, 0, 3, 1, "111")
                        .control(3, 0)
                        .image(0, 0, 2, 1, "00")
                        .control(3, 0)
                        .image(1, 0, 2, 1, "22")
                        .image(0, 0, 1, 1, "3")
                        .bytes(),
                    {"GGG\n", "RRG\n", "GBB\n", "WGG\n"}},
        ComposeCase{"RestorePreviousOnTheFirstFrameGivesTheEmptyCanvas",
                    GifWriter(2, 1).control(3, 0).image(0, 0, 2, 1, "00").image(1, 0, 1, 1, "2").bytes(),
                    {"RR\n", ".B\n"}},
        ComposeCase{"KeepAndUnknownDisposalsLeaveTheFrame",
                    GifWriter(2, 1)
                        .control(1, 0)
                        .image(0, 0, 1, 1, "0")
                        .control(7, 0)
                        .image(1, 0, 1, 1, "1")
                        .image(1, 0, 1, 1, "2")
                        .bytes(),
                    {"R.\n", "RG\n", "RB\n"}},
        ComposeCase{"FramesOutsideTheScreenAreClipped",
                    GifWriter(3, 2)
                        .image(1, 1, 3, 2, "012012")
                        .image(5, 0, 2, 2, "3333")
                        .control(2, 0)
                        .image(2, 0, 4, 4, "3333333333333333")
                        .image(0, 0, 1, 1, "2")
                        .bytes(),
                    {"...\n.RG\n", "...\n.RG\n", "..W\n.RW\n", "B..\n.R.\n"}},
        ComposeCase{"InterlacedRowsLandInPlace",
                    GifWriter(1, 9).image(0, 0, 1, 9, "012301230", {}, true).bytes(),
                    {"R\nG\nB\nW\nR\nG\nB\nW\nR\n"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GifAnimation, AFileCutShortKeepsTheFramesBeforeTheCut) {
  // Red, then a green top row, then blue, each frame 2 x 300: 680 bytes of
  // pixel data in sub-blocks of 255, 255 and 170.
  GifWriter writer(2, 300);
  const std::size_t header = writer.body().size();
  writer.image(0, 0, 2, 300, std::string(600, '0'));
  const std::size_t first = writer.body().size();
  writer.image(0, 0, 2, 1, "11");
  const std::size_t second = writer.body().size();
  writer.image(0, 0, 2, 300, std::string(600, '2'));
  const std::string file = writer.body();
  // Into a frame's pixels: descriptor, code size, a full sub-block, 100
  // bytes of the next: about half the frame's rows.
  const std::size_t halfFrame = 10 + 1 + 256 + 1 + 100;

  struct Cut {
    const char* where;
    std::size_t size;
    int frames;
  };
  for (const Cut& cut :
       {Cut{"after the header", header, 0}, Cut{"inside the first descriptor", header + 5, 0},
        Cut{"inside the first frame's pixels", header + halfFrame, 1},
        Cut{"inside the second descriptor", first + 5, 1}, Cut{"before the trailer", second, 2},
        Cut{"no trailer", file.size(), 3}, Cut{"inside the third frame's pixels", second + halfFrame, 3}}) {
    const auto gif = open(file.substr(0, cut.size));
    if (cut.frames == 0) {
      EXPECT_FALSE(gif) << cut.where;
      continue;
    }
    ASSERT_TRUE(gif) << cut.where;
    EXPECT_EQ(gif->frameCount(), cut.frames) << cut.where;
    for (int i = 0; i < gif->frameCount(); ++i) gif->frame(i);
  }

  // The cut frame: its first rows are drawn, below them the frames before show.
  const auto gif = open(file.substr(0, second + halfFrame));
  ASSERT_TRUE(gif);
  const RgbaImage& last = gif->frame(2);
  EXPECT_EQ(at(last, 0, 0), kBlue);
  EXPECT_EQ(at(last, 1, 100), kBlue);
  EXPECT_EQ(at(last, 0, 200), kRed);
  EXPECT_EQ(at(last, 1, 299), kRed);
  const auto firstOnly = open(file.substr(0, header + halfFrame));
  ASSERT_TRUE(firstOnly);
  EXPECT_EQ(at(firstOnly->frame(0), 0, 100), kRed);
  EXPECT_EQ(at(firstOnly->frame(0), 0, 200), kClear);
}

TEST(GifAnimation, LoopCountFromTheApplicationExtension) {
  struct Case {
    const char* name;
    std::string extension;
    int loopCount;
  };
  const auto withLoop = [](int count, const char* app = "NETSCAPE2.0", int subBlock = 1) {
    return GifWriter(1, 1).loop(count, app, subBlock).body().substr(GifWriter(1, 1).body().size());
  };
  for (const Case& c : {Case{"none", "", 1}, Case{"for ever", withLoop(0), 0}, Case{"three", withLoop(3), 3},
                        Case{"most", withLoop(65535), 65535}, Case{"ANIMEXTS", withLoop(5, "ANIMEXTS1.0"), 5},
                        // A buffer-size sub-block says nothing about loops.
                        Case{"buffer only", withLoop(4, "NETSCAPE2.0", 2), 1},
                        Case{"another application", withLoop(4, "XMP DataXMP"), 1},
                        Case{"first wins", withLoop(2) + withLoop(7), 2}}) {
    const auto gif = open(GifWriter(1, 1).raw(c.extension).image(0, 0, 1, 1, "0").bytes());
    ASSERT_TRUE(gif) << c.name;
    EXPECT_EQ(gif->loopCount(), c.loopCount) << c.name;
  }
}

TEST(GifAnimation, DelaysBelongToTheNextFrameOnly) {
  const auto gif = open(GifWriter(1, 1)
                            .control(0, 7)
                            .image(0, 0, 1, 1, "0")
                            .image(0, 0, 1, 1, "1")
                            .raw(std::string("\x21\xFE\x02hi\x00", 6))  // a comment between
                            .control(0, 65535)
                            .image(0, 0, 1, 1, "2")
                            .bytes());
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->frameCount(), 3);
  EXPECT_EQ(gif->delayMs(0), 70);
  EXPECT_EQ(gif->delayMs(1), 0);
  EXPECT_EQ(gif->delayMs(2), 655350);
  EXPECT_EQ(gif->delayMs(3), 0);
  EXPECT_EQ(gif->delayMs(-1), 0);
}

TEST(GifAnimation, FrameNumbersOutsideTheRangeGiveTheNearestFrame) {
  const auto gif = open(GifWriter(1, 1).image(0, 0, 1, 1, "0").image(0, 0, 1, 1, "1").bytes());
  ASSERT_TRUE(gif);
  EXPECT_EQ(picture(gif->frame(5)), "G\n");
  EXPECT_EQ(picture(gif->frame(-3)), "R\n");
}

TEST(GifAnimation, ScreenOfNoSizeTakesTheFirstFramesExtent) {
  const auto gif =
      open(GifWriter(0, 0).image(1, 2, 2, 1, "01").image(0, 0, 4, 4, std::string(16, '2')).bytes());
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->width(), 3);
  EXPECT_EQ(gif->height(), 3);
  EXPECT_EQ(picture(gif->frame(0)), "...\n...\n.RG\n");
  EXPECT_EQ(picture(gif->frame(1)), "BBB\nBBB\nBBB\n");
}

TEST(GifAnimation, UnreadableFilesGiveNothing) {
  const std::string fixture = kThirdPartyGif + "fail-invalid.1.gif";
  std::vector<std::pair<std::string, std::string>> cases = {
      {"no bytes", ""},
      {"text", "this is no picture"},
      {"signature only", "GIF89a"},
      {"no frames", GifWriter(2, 2).bytes()},
      {"screen too big", GifWriter(65535, 65535).image(0, 0, 1, 1, "0").bytes()},
      {"screen one column over 8192 x 8192", GifWriter(8193, 8192).image(0, 0, 1, 1, "0").bytes()},
      // Descriptor of a 65535 x 65535 frame, then one byte of pixel data.
      {"screen of no size, first frame too big",
       GifWriter(0, 0).raw(std::string(",\0\0\0\0\xFF\xFF\xFF\xFF\0\x08\x01\x00\x00;", 15)).body()},
      {"screen of no size, empty first frame", GifWriter(0, 0).image(0, 0, 0, 0, "").bytes()},
      {"unknown block before any frame", GifWriter(1, 1).raw("\x07").image(0, 0, 1, 1, "0").bytes()},
  };
  if (std::filesystem::exists(fixture)) cases.emplace_back("46565 x 23539 with junk", readFile(fixture));
  for (const auto& [name, bytes] : cases) EXPECT_FALSE(open(bytes)) << name;
}

TEST(GifAnimation, AFrameOfNoSizeCountsButDrawsNothing) {
  const auto gif = open(GifWriter(2, 1).image(0, 0, 2, 1, "01").image(0, 0, 0, 0, "").bytes());
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->frameCount(), 2);
  EXPECT_EQ(picture(gif->frame(1)), "RG\n");
}

}  // namespace
}  // namespace pagemoor
