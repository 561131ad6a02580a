#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "MailDecoding.h"
#include "mailer/MimeText.h"
#include "mailer/UUProcessor.h"

namespace pagemoor {
namespace {

using test::DecodeBase64;
using test::DecodeEncodedWords;
using test::DecodeQuotedPrintable;
using test::SplitCrLf;

const std::string kCzech = "Příliš žluťoučký kůň úpěl ďábelské ódy";

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

TEST(Base64, EncodesTheStandardVectorsAndHighBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"\xff\xfe\xfd", "//79"},
      {std::string("\0\0", 2), "AAA="},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(TQzUUProcessor::EncodeBase64(in), out) << in;
}

TEST(Base64, MimeLinesCarry45BytesIn60Characters) {
  for (std::size_t size : {0u, 1u, 44u, 45u, 46u, 90u, 1000u}) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) bytes += static_cast<char>(i * 7 + 3);
    const std::string lines = TQzUUProcessor::EncodeMimeLines(bytes);
    EXPECT_EQ(DecodeBase64(lines), bytes) << size;
    std::size_t lineCount = 0;
    for (std::size_t at = 0; at < lines.size(); ++lineCount) {
      const std::size_t end = lines.find("\r\n", at);
      ASSERT_NE(end, std::string::npos);
      const bool last = end + 2 == lines.size();
      if (!last) {
        EXPECT_EQ(end - at, 60u) << size;
      }
      EXPECT_LE(end - at, 60u);
      at = end + 2;
    }
    EXPECT_EQ(lineCount, (size + 44) / 45) << size;
  }
}

TEST(MimeText, TypedValuesCannotBreakTheirLine) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // text, as a header value, as a command argument
      {"plain", "plain", "plain"}, {"a\r\nBcc: x@y", "a Bcc: x@y", "aBcc: x@y"},
      {"a\n\n\rb", "a b", "ab"},   {"\r\nRCPT TO:<x@y>", " RCPT TO:<x@y>", "RCPT TO:<x@y>"},
      {"end\n", "end ", "end"},
  };
  for (const auto& [text, header, argument] : cases) {
    EXPECT_EQ(CleanHeaderValue(text), header);
    EXPECT_EQ(CleanCommandArgument(text), argument);
  }
}

TEST(MimeText, BodyLinesSplitAtEveryBreakInsideAnEntry) {
  const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
      {{"one", "", "two"}, {"one", "", "two"}},
      {{"a\nb"}, {"a", "b"}},
      {{"a\r\nb\rc"}, {"a", "b", "c"}},
      {{"ends\r\n", "next"}, {"ends", "next"}},  // its own line end is not another line
      {{"ends\n\n"}, {"ends", ""}},
      {{"\n"}, {""}},
      {{}, {}},
  };
  for (const auto& [entries, lines] : cases) EXPECT_EQ(BodyLines(entries), lines);
}

TEST(MimeText, DotStuffingAndLongLines) {
  EXPECT_EQ(DotStuffed("."), "..");
  EXPECT_EQ(DotStuffed(".hidden"), "..hidden");
  EXPECT_EQ(DotStuffed("a."), "a.");
  EXPECT_EQ(DotStuffed(""), "");

  EXPECT_EQ(BreakLine(""), std::vector<std::string>{""});
  EXPECT_EQ(BreakLine(std::string(998, 'x')), std::vector<std::string>{std::string(998, 'x')});
  const std::string longLine = std::string(998, 'a') + std::string(998, 'b') + "cd";
  EXPECT_EQ(BreakLine(longLine),
            (std::vector<std::string>{std::string(998, 'a'), std::string(998, 'b'), "cd"}));
}

TEST(QuotedPrintable, EscapesWhatIsNotPlainText) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"plain text.", {"plain text."}},
      {"", {""}},
      {"a=b", {"a=3Db"}},
      {"trailing ", {"trailing=20"}},
      {"tab\t", {"tab=09"}},
      {"in side\tok", {"in side\tok"}},
      {"Příliš žluťoučký kůň", {"P=C5=99=C3=ADli=C5=A1 =C5=BElu=C5=A5ou=C4=8Dk=C3=BD k=C5=AF=C5=88"}},
      {"bell\x07", {"bell=07"}},
      {std::string(76, 'a'), {std::string(76, 'a')}},
      {std::string(77, 'a'), {std::string(75, 'a') + "=", "aa"}},
      // an escape is never cut by a soft break
      {std::string(74, 'a') + "é", {std::string(74, 'a') + "=", "=C3=A9"}},
      {std::string(75, 'a') + " ", {std::string(75, 'a') + "=", "=20"}},
  };
  for (const auto& [line, lines] : cases) EXPECT_EQ(QuotedPrintableLines(line), lines) << line;
}

TEST(QuotedPrintable, LongTextComesBackWithShortLines) {
  std::string text;
  for (int i = 0; i < 12; ++i) text += kCzech + " = " + std::to_string(i) + " ";
  const std::vector<std::string> lines = QuotedPrintableLines(text);
  EXPECT_GT(lines.size(), 5u);
  for (const std::string& l : lines) EXPECT_LE(l.size(), kMaxQuotedPrintableLine) << l;
  EXPECT_EQ(DecodeQuotedPrintable(Joined(lines)), text + "\r\n");
}

TEST(EncodedWords, SevenBitHeaderTextStaysAsItIs) {
  EXPECT_EQ(EncodeHeaderText("Hello, world", 9), "Hello, world");
  EXPECT_EQ(EncodeHeaderText("", 9), "");
  EXPECT_EQ(EncodeHeaderText("Příliš žluťoučký kůň", 9),
            "=?UTF-8?B?UMWZw61sacWhIMW+bHXFpW91xI1rw70ga8WvxYg=?=");
}

TEST(EncodedWords, LongTextIsFoldedIntoWholeCharacters) {
  std::string text;
  for (int i = 0; i < 5; ++i) text += kCzech + " ";
  for (std::size_t used : {0u, 9u, 40u, 70u}) {
    const std::string encoded = EncodeHeaderText(text, used);
    EXPECT_EQ(DecodeEncodedWords(encoded), text) << used;
    std::size_t lineStart = 0;
    bool first = true;
    while (lineStart <= encoded.size()) {
      std::size_t end = encoded.find("\r\n", lineStart);
      if (end == std::string::npos) end = encoded.size();
      const std::string line = encoded.substr(lineStart, end - lineStart);
      if (!(first && used >= 60)) {
        EXPECT_LE(line.size() + (first ? used : 0), 76u) << line;
      }
      if (!first) {
        EXPECT_EQ(line.substr(0, 11), " =?UTF-8?B?");
      }
      // Each word alone is valid UTF-8 text: no character is cut in two.
      const std::size_t open = line.find("=?UTF-8?B?");
      const std::string word = DecodeBase64(line.substr(open + 10, line.size() - open - 12));
      const auto lead = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; };
      EXPECT_TRUE(lead(word.front())) << line;
      first = false;
      lineStart = end + 2;
    }
  }
}

std::string Unfolded(std::string value, const std::string& fold = "\r\n") {
  for (std::size_t at; (at = value.find(fold)) != std::string::npos;) value.erase(at, fold.size());
  return value;
}

TEST(HeaderFolding, LongSevenBitTextIsFoldedBeforeBlanks) {
  std::string words;
  for (int i = 0; i < 200; ++i) words += (i % 7 == 0 ? "  word" : " word") + std::to_string(i);
  const struct {
    std::string text;
    bool folded;
  } cases[] = {
      {std::string(989, 'a'), false},  // with "Subject: " exactly 998
      {std::string(980, 'a') + " " + std::string(8, 'b'), false},
      {std::string(600, 'a') + " " + std::string(600, 'b'), true},
      {"  " + words.substr(0, 1200), true},
      {words, true},
  };
  for (const auto& c : cases) {
    const std::string encoded = EncodeHeaderText(c.text, 9);
    if (!c.folded) {
      EXPECT_EQ(encoded, c.text);
      continue;
    }
    EXPECT_EQ(Unfolded(encoded), c.text);
    const std::vector<std::string> lines = SplitCrLf(encoded);
    EXPECT_GT(lines.size(), 1u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_LE(lines[i].size() + (i == 0 ? 9 : 0), 998u);
      if (i > 0) {
        EXPECT_TRUE(lines[i].front() == ' ' && lines[i].find_first_not_of(' ') != std::string::npos);
      }
    }
    if (c.text == words) {
      for (const std::string& l : lines) EXPECT_LE(l.size(), 78u) << l;
    }
  }
}

TEST(HeaderFolding, AWordTooLongForALineGoesAsEncodedWords) {
  const std::string text = "see " + std::string(1200, 'x') + " here";
  const std::string encoded = EncodeHeaderText(text, 9);
  EXPECT_TRUE(encoded.starts_with("=?UTF-8?B?"));
  EXPECT_EQ(DecodeEncodedWords(encoded), text);
  for (const std::string& l : SplitCrLf(encoded)) EXPECT_LE(l.size(), 76u);
}

TEST(HeaderFolding, ALongAddressListIsFoldedAfterItsCommas) {
  EXPECT_EQ(AddressListLine("To: ", {"a@x.cz", "Bee <b@x.cz>"}), "To: a@x.cz,Bee <b@x.cz>");
  std::vector<std::string> entries;
  std::string plain = "To: ";
  for (int i = 0; i < 60; ++i) {
    entries.push_back("Reader Number " + std::to_string(i) + " <reader" + std::to_string(i) + "@x.cz>");
    plain += (i ? "," : "") + entries.back();
  }
  const std::string line = AddressListLine("To: ", entries);
  EXPECT_EQ(Unfolded(line, "\r\n "), plain);
  for (const std::string& l : SplitCrLf(line)) {
    EXPECT_LE(l.size(), 78u) << l;
    EXPECT_FALSE(l.ends_with(' '));
  }
}

TEST(EncodedWords, OnlyTheNameOfARecipientIsEncoded) {
  EXPECT_EQ(EncodeAddressEntry("Jan Novák <jan@x.cz>"), "=?UTF-8?B?SmFuIE5vdsOhaw==?= <jan@x.cz>");
  EXPECT_EQ(EncodeAddressEntry("Jan Novak <jan@x.cz>"), "Jan Novak <jan@x.cz>");
  EXPECT_EQ(EncodeAddressEntry("jan@x.cz"), "jan@x.cz");
  EXPECT_EQ(EncodeAddressEntry("<jan@x.cz>"), "<jan@x.cz>");
}

// A name that would end the address list or the phrase early goes in quotes.
TEST(EncodedWords, NamesWithSpecialCharactersAreQuoted) {
  const std::pair<const char*, const char*> cases[] = {
      {"Lee, Ann <ann@x.cz>", "\"Lee, Ann\" <ann@x.cz>"},
      {"J. R. Smith <jr@x.cz>", "\"J. R. Smith\" <jr@x.cz>"},
      {"Redakce: Zpravodaj <r@x.cz>", "\"Redakce: Zpravodaj\" <r@x.cz>"},
      {"Ann \"Nan\" Lee <a@x.cz>", "\"Ann \\\"Nan\\\" Lee\" <a@x.cz>"},
      {"\"Lee, Ann\" <ann@x.cz>", "\"Lee, Ann\" <ann@x.cz>"},
      {"  Ann Lee <a@x.cz>", "  Ann Lee <a@x.cz>"},
  };
  for (const auto& [entry, expected] : cases) EXPECT_EQ(EncodeAddressEntry(entry), expected) << entry;
  EXPECT_EQ(EncodeDisplayName("Lee, Ann", 6), "\"Lee, Ann\"");
  EXPECT_EQ(EncodeDisplayName("Reader", 6), "Reader");
}

}  // namespace
}  // namespace pagemoor
