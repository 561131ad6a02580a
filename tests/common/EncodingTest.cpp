#include "common/Encoding.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <fstream>
#include <sstream>

namespace pagemoor {
namespace {

// The C library's converter as the reference for the code page tables.
std::string iconvToUtf8(const char* from, std::string_view bytes) {
  iconv_t cd = iconv_open("UTF-8", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no iconv>";
  std::string in(bytes), out(bytes.size() * 4 + 4, '\0');
  char* inp = in.data();
  char* outp = out.data();
  size_t inLeft = in.size(), outLeft = out.size();
  size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return "<undefined>";
  out.resize(out.size() - outLeft);
  return out;
}

std::string readFixture(const std::string& name) {
  std::ifstream in(std::string(PAGEMOOR_THIRD_PARTY_DIR) + "/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Encoding, CodePageTablesAgreeWithTheSystemConverter) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    std::string byte(1, static_cast<char>(b));
    std::string expected1250 = iconvToUtf8("CP1250", byte);
    if (expected1250 != "<undefined>") {
      EXPECT_EQ(Windows1250ToUtf8(byte), expected1250) << std::hex << b;
    }
    std::string expected852 = iconvToUtf8("CP852", byte);
    if (expected852 != "<undefined>") {
      EXPECT_EQ(Cp852ToUtf8(byte), expected852) << std::hex << b;
    }
  }
}

TEST(Encoding, EveryWindows1250ByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 1; b <= 0xFF; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToWindows1250(Windows1250ToUtf8(all)), all);
}

TEST(Encoding, DecodeTextKeepsUtf8AndDecodesWindows1250) {
  TextEncoding e;
  EXPECT_EQ(DecodeText("kůň", e), "kůň");
  EXPECT_EQ(e, TextEncoding::Utf8);
  EXPECT_EQ(DecodeText("k\xF9\xF2", e), "kůň");
  EXPECT_EQ(e, TextEncoding::Windows1250);
  EXPECT_EQ(DecodeText("plain"), "plain");
}

TEST(Encoding, RealCzechTextInBothEncodings) {
  const std::string cp1250 = readFixture("text/fortunes-cs-cimrman.cp1250.txt");
  const std::string utf8 = readFixture("text/fortunes-cs-cimrman.utf8.txt");
  ASSERT_FALSE(cp1250.empty());
  ASSERT_FALSE(utf8.empty());
  EXPECT_FALSE(IsValidUtf8(cp1250));
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(DecodeText(cp1250), utf8);
  EXPECT_EQ(DecodeText(utf8), utf8);
  EXPECT_EQ(EncodeText(utf8, TextEncoding::Windows1250), cp1250);
}

TEST(Encoding, Utf8Validation) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
  for (const char* bad :
       {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\x80", "\xE2\x82"})
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
}

TEST(Encoding, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToWindows1250("a€ž\xE2\x98\x83"), "a\x80\x9E?");
  EXPECT_EQ(Utf8ToWindows1250("bad\xC3"), "bad?");
}

TEST(Encoding, ByteOrderMark) {
  EXPECT_EQ(WithoutBom("\xEF\xBB\xBF[a]"), "[a]");
  EXPECT_EQ(WithoutBom("[a]"), "[a]");
}

}  // namespace
}  // namespace pagemoor
