// The picture service's choice of reader: every format from its bytes
// whatever the name, TGA by its name, the rest to the registered reader.
#include "pictures/PictureDecoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pictures/PixelValues.h"
#include "support/LittleEndian.h"
#include "support/SolidGif.h"
#include "support/TinyPictures.h"

namespace pagemoor {
namespace {

using test::PixelAt;
using test::SolidJpeg;
using test::TinyPcx;
using test::TinyTga;
using test::Put16;
using test::Put32;

// A .cur (type 2) with one entry holding data: a DIB or a PNG.
std::string CursorFile(const std::string& data) {
  std::string out;
  Put16(out, 0);
  Put16(out, 2);
  Put16(out, 1);
  out += std::string("\x02\x02\x00\x00", 4);
  Put16(out, 1);  // hot spot
  Put16(out, 1);
  Put32(out, static_cast<std::uint32_t>(data.size()));
  Put32(out, 6 + 16);
  return out + data;
}

// A 2 x 2 32-bit DIB, every pixel opaque 0x336699, with a clear mask.
std::string CursorDib() {
  std::string dib;
  Put32(dib, 40);
  Put32(dib, 2);
  Put32(dib, 4);  // the colour picture and the mask
  Put16(dib, 1);
  Put16(dib, 32);
  for (int i = 0; i < 6; ++i) Put32(dib, 0);
  for (int i = 0; i < 4; ++i) Put32(dib, 0xFF336699);
  for (int i = 0; i < 2; ++i) Put32(dib, 0);
  return dib;
}

std::string ReadThirdParty(const std::string& name) {
  std::ifstream in(std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/" + name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

const std::string kPngSignature("\x89PNG\r\n\x1A\n", 8);

// Stands in for Qt's readers: a 5 x 3 picture for what starts with "FAKE" or
// the PNG signature, nothing for anything else; remembers what it was given.
class PictureDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_previous = SetPictureFallback([this](std::string_view bytes) -> std::optional<RgbaImage> {
      fallbackCalls.emplace_back(bytes);
      if (!bytes.starts_with("FAKE") && !bytes.starts_with(kPngSignature)) return std::nullopt;
      RgbaImage image(5, 3);
      image.pixel(0, 0)[0] = 0xAB;
      return image;
    });
  }
  void TearDown() override { SetPictureFallback(std::move(m_previous)); }

  std::vector<std::string> fallbackCalls;

 private:
  PictureFallback m_previous;
};

TEST_F(PictureDecoderTest, TheBytesChooseTheReaderWhateverTheNameAndTgaGoesByItsName) {
  const std::string jpeg = SolidJpeg(4, 2, 200, 30, 30);
  const std::string gif = test::SolidColourGif({2, 0}, 10);
  struct Case {
    const char* label;
    std::string bytes;
    const char* name;
    const char* format;  // nullptr: a failure
    int width, height;
    std::size_t fallbackCalls;
  };
  const std::vector<Case> cases = {
      {"JPEG", jpeg, "photo.jpg", "JPEG", 4, 2, 0},
      {"JPEG named as PNG", jpeg, "photo.png", "JPEG", 4, 2, 0},
      {"JPEG named as TGA", jpeg, "photo.tga", "JPEG", 4, 2, 0},
      {"GIF named as BMP", gif, "anim.bmp", "GIF", 3, 2, 0},
      {"GIF without a name", gif, "", "GIF", 3, 2, 0},
      {"PCX named as GIF", TinyPcx(), "pictures\\back.gif", "PCX", 2, 2, 0},
      {"cursor named as PNG", CursorFile(CursorDib()), "pointer.png", "cursor", 2, 2, 0},
      {"animated cursor named as GIF", ReadThirdParty("cursors/kimageformats-test.ani"), "busy.gif", "cursor", 32,
       32, 0},
      {"TGA", TinyTga(), "two.tga", "TGA", 2, 1, 0},
      {"TGA, upper-case extension in a folder", TinyTga(), "Pics/TWO.TGA", "TGA", 2, 1, 0},
      {"TGA with its footer under another name", TinyTga(true), "two.dat", "TGA", 2, 1, 0},
      // Without the name nothing says TGA: the registered reader gets it.
      {"TGA named as BMP", TinyTga(), "two.bmp", nullptr, 0, 0, 1},
      {"a .tga name claims bytes without a signature", "FAKE picture", "odd.tga", nullptr, 0, 0, 0},
      {"unknown bytes", "FAKE picture", "title.png", "other", 5, 3, 1},
      {"unknown bytes nobody reads", "just some text", "title.bmp", nullptr, 0, 0, 1},
      {"nothing", "", "title.png", nullptr, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fallbackCalls.clear();
    const PictureResult result = DecodePicture(c.bytes, c.name);
    EXPECT_EQ(fallbackCalls.size(), c.fallbackCalls);
    if (!c.format) {
      EXPECT_FALSE(result.ok());
      EXPECT_FALSE(result.error().empty());
      continue;
    }
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(result.picture().format, c.format);
    EXPECT_EQ(result.picture().image.width, c.width);
    EXPECT_EQ(result.picture().image.height, c.height);
    EXPECT_EQ(result.picture().frames, nullptr);
  }
}

TEST_F(PictureDecoderTest, EachReaderGivesItsPixels) {
  const auto decoded = [](const std::string& bytes, const char* name) {
    PictureResult result = DecodePicture(bytes, name);
    EXPECT_TRUE(result.ok()) << name << ": " << result.error();
    return result ? std::move(result.picture().image) : RgbaImage();
  };
  const RgbaImage jpeg = decoded(SolidJpeg(8, 8, 200, 30, 30), "a.jpg");
  ASSERT_FALSE(jpeg.empty());
  EXPECT_NEAR(jpeg.pixel(4, 4)[0], 200, 8);
  EXPECT_NEAR(jpeg.pixel(4, 4)[1], 30, 8);
  EXPECT_EQ(PixelAt(decoded(test::SolidColourGif({2, 0}, 10), "a.gif"), 1, 1), 0x0000FFFFu);  // the first frame: blue
  EXPECT_EQ(PixelAt(decoded(TinyPcx(), "a.pcx"), 1, 0), 0xFF0000FFu);
  EXPECT_EQ(PixelAt(decoded(TinyTga(), "a.tga"), 0, 0), 0x0000FFFFu);
  EXPECT_EQ(PixelAt(decoded(CursorFile(CursorDib()), "a.cur"), 1, 1), 0x336699FFu);
}

TEST_F(PictureDecoderTest, ACursorHoldingOnlyAPngGoesToTheRegisteredReader) {
  const std::string png = kPngSignature + "rest of the PNG";
  const PictureResult result = DecodePicture(CursorFile(png), "hand.cur");
  ASSERT_TRUE(result.ok()) << result.error();
  EXPECT_EQ(result.picture().format, "cursor");
  EXPECT_EQ(result.picture().image.width, 5);
  EXPECT_EQ(fallbackCalls, std::vector<std::string>{png});
}

TEST_F(PictureDecoderTest, WithoutARegisteredReaderOnlyOurFormatsAreRead) {
  SetPictureFallback({});
  struct Case {
    const char* label;
    std::string bytes;
    bool ok;
  };
  const std::vector<Case> cases = {
      {"unknown bytes", "FAKE picture", false},
      {"a cursor that holds a PNG", CursorFile(kPngSignature + "rest"), false},
      {"JPEG", SolidJpeg(2, 2, 0, 0, 0), true},
      {"PCX", TinyPcx(), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const PictureResult result = DecodePicture(c.bytes, "picture.xyz");
    EXPECT_EQ(result.ok(), c.ok);
    EXPECT_EQ(result.error().empty(), c.ok);
  }
}

// Every prefix of every format: no crash, and either a whole picture or a
// reason. A file with a signature stays with its reader when it is damaged:
// the registered reader never sees it.
TEST_F(PictureDecoderTest, CutAndDamagedFilesFailWithAReasonOrGiveAWholePicture) {
  struct Case {
    const char* name;
    std::string bytes;
    std::size_t signature;  // bytes that make the format; fewer go to the registered reader
  };
  // The first record (after the header, the screen and four colours) made
  // one no reader knows.
  std::string damagedGif = test::SolidColourGif({0, 1, 2}, 5);
  ASSERT_EQ(damagedGif[6 + 7 + 12], '!');
  damagedGif[6 + 7 + 12] = '\x07';
  const std::vector<Case> cases = {
      {"a.jpg", SolidJpeg(16, 16, 10, 200, 10), 2},
      {"a.gif", test::SolidColourGif({0, 1, 2}, 5), 6},
      {"a.gif", damagedGif, 6},
      {"a.pcx", TinyPcx(), 128},
      {"a.cur", CursorFile(CursorDib()), 6},
      {"a.ani", ReadThirdParty("cursors/kimageformats-test.ani"), 12},
      {"a.tga", TinyTga(), 0},
  };
  for (const Case& c : cases) {
    for (std::size_t length = 0; length <= c.bytes.size(); ++length) {
      SCOPED_TRACE(std::string(c.name) + " cut to " + std::to_string(length));
      fallbackCalls.clear();
      const PictureResult result = DecodePicture(std::string_view(c.bytes).substr(0, length), c.name);
      if (length >= c.signature) {
        EXPECT_TRUE(fallbackCalls.empty());
      }
      if (!result) {
        EXPECT_FALSE(result.error().empty());
        continue;
      }
      const RgbaImage& image = result.picture().image;
      ASSERT_FALSE(image.empty());
      EXPECT_EQ(image.pixels.size(), static_cast<std::size_t>(image.width) * image.height * 4);
    }
  }
  EXPECT_FALSE(DecodePicture(damagedGif, "a.gif").ok());
}

TEST_F(PictureDecoderTest, AllFramesGiveTheAnimationOrOneFrameForAStill) {
  PictureResult gif = DecodePicture(test::SolidColourGif({0, 1, 2}, 7), "anim.gif", {.frames = PictureFrames::All});
  ASSERT_TRUE(gif.ok()) << gif.error();
  ASSERT_NE(gif.picture().frames, nullptr);
  EXPECT_TRUE(gif.picture().image.empty());
  GifAnimation& frames = *gif.picture().frames;
  EXPECT_EQ(frames.frameCount(), 3);
  EXPECT_EQ(frames.delayMs(1), 70);
  EXPECT_EQ(PixelAt(frames.frame(2), 0, 0), 0x0000FFFFu);

  for (const auto& [bytes, name] : {std::pair{TinyPcx(), "back.pcx"}, std::pair{std::string("FAKE"), "a.png"}}) {
    SCOPED_TRACE(name);
    const PictureResult still = DecodePicture(bytes, name);
    PictureResult framed = DecodePicture(bytes, name, {.frames = PictureFrames::All});
    ASSERT_TRUE(still.ok() && framed.ok());
    ASSERT_NE(framed.picture().frames, nullptr);
    GifAnimation& one = *framed.picture().frames;
    EXPECT_EQ(one.frameCount(), 1);
    EXPECT_EQ(one.loopCount(), 1);
    EXPECT_EQ(one.width(), still.picture().image.width);
    EXPECT_EQ(one.frame(0).pixels, still.picture().image.pixels);
  }
}

TEST_F(PictureDecoderTest, APictureOverThePixelLimitFails) {
  struct Case {
    const char* name;
    std::string bytes;
    std::int64_t pixels;
  };
  const std::vector<Case> cases = {
      {"a.jpg", SolidJpeg(4, 2, 0, 0, 0), 8},
      {"a.gif", test::SolidColourGif({0}, 0), 6},
      {"a.pcx", TinyPcx(), 4},
      {"a.png", "FAKE", 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(DecodePicture(c.bytes, c.name, {.maxPixels = c.pixels}).ok());
    const PictureResult refused = DecodePicture(c.bytes, c.name, {.maxPixels = c.pixels - 1});
    EXPECT_FALSE(refused.ok());
    EXPECT_FALSE(refused.error().empty());
  }
}

}  // namespace
}  // namespace pagemoor
