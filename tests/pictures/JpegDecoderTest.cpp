#include "pictures/JpegDecoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/TinyPictures.h"

namespace pagemoor {
namespace {

const std::string kThirdPartyJpeg = std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/jpeg/";
const std::string kOwnFixtures = std::string(PAGEMOOR_FIXTURES_DIR) + "/pictures/";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

using Rgb = std::array<int, 3>;

// Four 16 x 16 blocks side by side; the test reads their centres, away from
// the edges where compression blurs one colour into the next.
constexpr int kWidth = 64;
constexpr int kHeight = 16;
const std::array<Rgb, 4> kColours = {{{230, 20, 20}, {20, 200, 40}, {30, 40, 220}, {200, 150, 60}}};
const std::array<int, 4> kGreys = {0, 85, 170, 255};

enum class Stored { Grey, YCbCr, AdobeCmyk, CmykWithoutMarker, AdobeYcck };

struct EncodeCase {
  const char* name;
  Stored stored;
  bool progressive;
};

// The test picture compressed with libjpeg as the given kind of file.
std::string encode(Stored stored, bool progressive) {
  const bool grey = stored == Stored::Grey;
  const bool cmyk =
      stored == Stored::AdobeCmyk || stored == Stored::CmykWithoutMarker || stored == Stored::AdobeYcck;
  const int components = grey ? 1 : cmyk ? 4 : 3;
  test::JpegSpec spec(kWidth, kHeight);
  spec.components = components;
  spec.colorSpace = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
  spec.progressive = progressive;
  spec.tune = [stored](jpeg_compress_struct& cinfo) {
    if (stored == Stored::AdobeYcck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
    if (stored == Stored::CmykWithoutMarker) cinfo.write_Adobe_marker = FALSE;
  };
  return test::WriteJpeg(spec, [&](int, JSAMPLE* row) {
    for (int x = 0; x < kWidth; ++x) {
      const int block = x / 16;
      const Rgb c = kColours[static_cast<std::size_t>(block)];
      JSAMPLE* p = &row[x * components];
      if (grey) {
        p[0] = static_cast<JSAMPLE>(kGreys[static_cast<std::size_t>(block)]);
      } else if (cmyk) {
        // Inverted values as Photoshop writes them, 255 = no ink; the same
        // without the Adobe marker.
        p[0] = static_cast<JSAMPLE>(c[0]);
        p[1] = static_cast<JSAMPLE>(c[1]);
        p[2] = static_cast<JSAMPLE>(c[2]);
        p[3] = 255;
      } else {
        for (int i = 0; i < 3; ++i) p[i] = static_cast<JSAMPLE>(c[static_cast<std::size_t>(i)]);
      }
    }
  });
}

class JpegRoundTrip : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(JpegRoundTrip, DecodesToTheColoursThatWereEncoded) {
  const EncodeCase& c = GetParam();
  const auto image = DecodeJpeg(encode(c.stored, c.progressive));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width, kWidth);
  ASSERT_EQ(image->height, kHeight);
  ASSERT_EQ(image->pixels.size(), static_cast<std::size_t>(kWidth) * kHeight * 4);
  for (int block = 0; block < 4; ++block) {
    const std::uint8_t* p = image->pixel(block * 16 + 8, 8);
    Rgb expected = kColours[static_cast<std::size_t>(block)];
    if (c.stored == Stored::Grey) expected.fill(kGreys[static_cast<std::size_t>(block)]);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(p[i], expected[static_cast<std::size_t>(i)], 10) << "block " << block << " channel " << i;
    EXPECT_EQ(p[3], 255);
  }
}

INSTANTIATE_TEST_SUITE_P(Jpeg, JpegRoundTrip,
                         ::testing::Values(EncodeCase{"Baseline", Stored::YCbCr, false},
                                           EncodeCase{"Progressive", Stored::YCbCr, true},
                                           EncodeCase{"Greyscale", Stored::Grey, false},
                                           EncodeCase{"ProgressiveGreyscale", Stored::Grey, true},
                                           EncodeCase{"AdobeCmyk", Stored::AdobeCmyk, false},
                                           EncodeCase{"CmykWithoutAdobeMarker", Stored::CmykWithoutMarker,
                                                      false},
                                           EncodeCase{"AdobeYcck", Stored::AdobeYcck, false},
                                           EncodeCase{"ProgressiveAdobeYcck", Stored::AdobeYcck, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegDecoder, AFileThatEndsEarlyKeepsTheRowsBeforeTheEnd) {
  // A tall picture, red above and blue below, cut a quarter of the way
  // into its data: the top rows are there and the rest is filled in.
  test::JpegSpec spec(16, 256);
  spec.quality = 0;
  const std::string whole = test::WriteJpeg(spec, [](int y, JSAMPLE* row) {
    for (int x = 0; x < 16; ++x) {
      row[x * 3] = y < 128 ? 255 : 0;
      row[x * 3 + 1] = 0;
      row[x * 3 + 2] = y < 128 ? 0 : 255;
    }
  });

  const std::size_t scan = whole.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  const auto image = DecodeJpeg(std::string_view(whole).substr(0, scan + (whole.size() - scan) / 4));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 16);
  EXPECT_EQ(image->height, 256);
  const std::uint8_t* top = image->pixel(8, 8);
  EXPECT_GT(top[0], 240);
  EXPECT_LT(top[2], 15);
  EXPECT_EQ(image->pixel(8, 255)[3], 255);
}

// Real files made by other programs.
struct FixtureCase {
  const char* file;
  int width;
  int height;
  bool grey;
};

class JpegFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(JpegFixture, DecodesToItsSize) {
  const FixtureCase& c = GetParam();
  const std::string bytes = readFile(kThirdPartyJpeg + c.file);
  ASSERT_FALSE(bytes.empty()) << c.file;
  const auto image = DecodeJpeg(bytes);
  ASSERT_TRUE(image) << c.file;
  EXPECT_EQ(image->width, c.width);
  EXPECT_EQ(image->height, c.height);
  bool allOpaque = true, allGrey = true;
  int distinct = 0;
  std::array<bool, 256> seen{};
  for (std::size_t i = 0; i < image->pixels.size(); i += 4) {
    const std::uint8_t* p = &image->pixels[i];
    allOpaque = allOpaque && p[3] == 255;
    allGrey = allGrey && p[0] == p[1] && p[1] == p[2];
    if (!seen[p[1]]) ++distinct, seen[p[1]] = true;
  }
  EXPECT_TRUE(allOpaque);
  EXPECT_EQ(allGrey, c.grey);
  // A picture, not one flat fill.
  EXPECT_GT(distinct, 16);
}

INSTANTIATE_TEST_SUITE_P(Jpeg, JpegFixture,
                         ::testing::Values(FixtureCase{"baseline-valid.1.jpeg", 400, 400, false},
                                           FixtureCase{"progressive-valid.2.jpeg", 400, 400, false},
                                           FixtureCase{"grayscale-cat.jpg", 512, 512, true},
                                           // Cut short, four components.
                                           FixtureCase{"premature-end.jpg", 256, 256, false}),
                         [](const auto& info) {
                           std::string name = info.param.file;
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

TEST(JpegDecoder, BrokenFilesGiveNothing) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"no bytes", ""},
      {"text", "this is no picture"},
      {"start marker only", "\xFF\xD8"},
      {"start and end markers", "\xFF\xD8\xFF\xD9"},
      {"jpeg-empty.jpg", readFile(kOwnFixtures + "jpeg-empty.jpg")},
      {"jpeg-garbage-after-soi.jpg", readFile(kOwnFixtures + "jpeg-garbage-after-soi.jpg")},
      // Tables and frame header, cut before the scan.
      {"jpeg-header-only.jpg", readFile(kOwnFixtures + "jpeg-header-only.jpg")},
      // Cut right after the scan header: not one byte of picture data.
      {"jpeg-scan-header-only.jpg", readFile(kOwnFixtures + "jpeg-scan-header-only.jpg")},
      // A valid small file whose frame header claims 60000 x 60000.
      {"jpeg-huge-dimensions.jpg", readFile(kOwnFixtures + "jpeg-huge-dimensions.jpg")},
  };
  for (const auto& [name, bytes] : cases) {
    ::testing::internal::CaptureStderr();
    const auto image = DecodeJpeg(bytes);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(image) << name;
    EXPECT_EQ(printed, "") << name;
  }
}

TEST(JpegDecoder, AProgressiveFileCutBetweenItsScansKeepsTheScansRead) {
  // Cut inside each marker segment that follows the first scan in turn: the
  // tables of a later scan never arrive complete, the first scans stand.
  const std::string whole = encode(Stored::YCbCr, true);
  const std::size_t secondScan = whole.find("\xFF\xDA", whole.find("\xFF\xDA") + 2);
  ASSERT_NE(secondScan, std::string::npos);
  const std::size_t tablesBefore = whole.rfind("\xFF\xC4", secondScan);
  for (std::size_t cut : {secondScan + 1, secondScan + 5, tablesBefore + 3, tablesBefore + 10}) {
    const auto image = DecodeJpeg(std::string_view(whole).substr(0, cut));
    ASSERT_TRUE(image) << cut;
    // The first scan holds the blocks' average colours (libjpeg smooths
    // between them): red, green and blue still lead in their blocks.
    for (int block = 0; block < 3; ++block) {
      const std::uint8_t* p = image->pixel(block * 16 + 8, 8);
      for (int i = 0; i < 3; ++i) {
        if (i == block) continue;
        EXPECT_GT(p[block], p[i] + 60) << "cut " << cut << " block " << block;
      }
    }
  }
}

TEST(JpegDecoder, ALowerLimitRefusesBiggerPictures) {
  const std::string bytes = encode(Stored::YCbCr, false);
  EXPECT_FALSE(DecodeJpeg(bytes, kWidth * kHeight - 1));
  EXPECT_TRUE(DecodeJpeg(bytes, kWidth * kHeight));
}

TEST(JpegDecoder, DamagedDataIsDecodedSilently) {
  // libjpeg warns about a file that ends early or has corrupt data; the
  // warnings go nowhere.
  std::string bytes = encode(Stored::YCbCr, false);
  ::testing::internal::CaptureStderr();
  const auto cut = DecodeJpeg(std::string_view(bytes).substr(0, bytes.size() - 40));
  bytes[bytes.size() - 30] = '\xFF';
  bytes[bytes.size() - 29] = '\x00';
  bytes[bytes.size() - 28] = '\x13';
  const auto corrupt = DecodeJpeg(bytes);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(cut);
  EXPECT_TRUE(corrupt);
}

}  // namespace
}  // namespace pagemoor
