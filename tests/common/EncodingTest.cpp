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

TEST(Encoding, DeclaredCharsetTablesAgreeWithTheSystemConverter) {
  // Above 0x9F both sets are what their standards say; 0x80-0x9F is where
  // pages differ from the standards: windows-1252 fills it (the five bytes
  // it leaves undefined keep their C1 code), and a page declared ISO-8859-2
  // that uses it was written in windows-1250.
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string latin2 = DecodeDeclaredText(byte, "iso-8859-2");
    EXPECT_EQ(latin2, b >= 0xA0 ? iconvToUtf8("ISO-8859-2", byte) : Windows1250ToUtf8(byte)) << std::hex << b;
    const std::string expected1252 = iconvToUtf8("CP1252", byte);
    std::string c1;
    AppendUtf8(c1, static_cast<char32_t>(b));
    EXPECT_EQ(DecodeDeclaredText(byte, "windows-1252"), expected1252 == "<undefined>" ? c1 : expected1252)
        << std::hex << b;
    std::string viaChar;
    AppendUtf8(viaChar, Windows1252ToUnicode(static_cast<unsigned char>(b)));
    EXPECT_EQ(viaChar, DecodeDeclaredText(byte, "windows-1252")) << std::hex << b;
  }
  EXPECT_EQ(Windows1252ToUnicode('A'), U'A');
}

TEST(Encoding, DeclaredTextGoesByMarkThenLabelThenContent) {
  struct Case {
    std::string bytes;
    const char* label;
    const char* charset;
    std::string text;
  };
  const std::string cz1250 = "\xE8\x9A";  // čš in windows-1250, invalid UTF-8
  const std::string czUtf8 = "\xC4\x8D\xC5\xA1";
  const Case cases[] = {
      {czUtf8, "UTF-8", "utf-8", czUtf8},
      {cz1250, "Windows-1250", "windows-1250", czUtf8},
      {cz1250, "x-cp1250", "windows-1250", czUtf8},
      {"\x93hi\x94", "latin1", "windows-1252", "\xE2\x80\x9Chi\xE2\x80\x9D"},
      {"\x93hi\x94", "us-ascii", "windows-1252", "\xE2\x80\x9Chi\xE2\x80\x9D"},
      {"\xB9", "L2", "iso-8859-2", "\xC5\xA1"},
      // Declared UTF-8 that is not: each bad byte becomes U+FFFD.
      {"a" + cz1250 + "z", "utf8", "utf-8", "a\xEF\xBF\xBD\xEF\xBF\xBDz"},
      // No label, or one we do not know: the content decides.
      {cz1250, "", "windows-1250", czUtf8},
      {czUtf8, "", "utf-8", czUtf8},
      {cz1250, "x-unknown", "windows-1250", czUtf8},
      // A byte order mark wins over any label, and goes.
      {"\xEF\xBB\xBF" + czUtf8, "windows-1250", "utf-8", czUtf8},
      {"\xEF\xBB\xBF", "", "utf-8", ""},
  };
  for (const Case& c : cases) {
    std::string charset;
    EXPECT_EQ(DecodeDeclaredText(c.bytes, c.label, &charset), c.text) << c.label << ": " << c.bytes;
    EXPECT_EQ(charset, c.charset) << c.label << ": " << c.bytes;
  }
}

}  // namespace
}  // namespace pagemoor
