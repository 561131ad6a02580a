#include "mailer/Contacts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/IniFile.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::ScopedEnv;
using test::TempFolder;
using Strings = std::vector<std::string>;

class ContactsTest : public ::testing::Test {
 protected:
  void TearDown() override { ClearIniCache(); }

  // An address book with these lines (LF line ends).
  AddressBook book(const std::string& text) { return AddressBook(t.write("ini/contacts.ini", text)); }
  std::string fileText() {
    FlushIniWrites();
    return t.read("ini/contacts.ini");
  }

  TempFolder t;
};

TEST_F(ContactsTest, DisplayFillsEveryPlaceholderInAnyCaseAndInItsOrder) {
  const AddressBook b = book(
      "[common]\ncount=3\n"
      "mailersignaturestyle=%FirstName% %LASTNAME% (%nickName%), %Position% <%MAIL%> - %firstNAME%\n"
      "[1]\nfirstname=Jana\nlastname=Nováková\nnickname=Janka\nposition=redaktorka\nmail=jana@example.cz\n"
      // A field holding a later placeholder has it filled; an earlier one stays.
      "[2]\nfirstname=%mail%\nlastname=B\nnickname=C\nposition=D\nmail=%firstname%\n");
  EXPECT_EQ(b.DisplayOf(1), "Jana Nováková (Janka), redaktorka <jana@example.cz> - Jana");
  EXPECT_EQ(b.DisplayOf(2), "%firstname% B (C), D <%firstname%> - %firstname%");
  EXPECT_EQ(b.DisplayOf(3), "  (),  <> - ");
}

TEST_F(ContactsTest, CountDefaultsToOneForMissingAndNonNumericValues) {
  struct Case {
    const char* line;  // the count line of section common, or none
    int count;
  };
  const Case cases[] = {
      {"", 1},         {"count=abc\n", 1}, {"count=3\n", 3},   {"count= 2 \n", 2},
      {"count=\n", 1}, {"count=2x\n", 1},  {"count=-1\n", -1}, {"count=99999999999\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(book(std::string("[common]\n") + c.line + "mailersignaturestyle=x\n").Count(), c.count);
  }
}

TEST_F(ContactsTest, MissingCountIsWrittenBack) {
  const AddressBook b = book("[common]\nmailersignaturestyle=%mail%\n[1]\nmail=a@b.cz\n");
  EXPECT_EQ(b.ListEntries(), Strings{"a@b.cz"});
  const std::string text = fileText();
  EXPECT_NE(text.find("count=1"), std::string::npos) << text;
  // Every field the display read is written back with one blank.
  EXPECT_NE(text.find("firstname= "), std::string::npos) << text;
}

TEST_F(ContactsTest, WithoutAPatternNoContactIsListed) {
  const AddressBook b = book(
      "[common]\ncount=2\n"
      "[1]\nfirstname=Jana\nmail=jana@example.cz\n"
      "[2]\nfirstname=Petr\nmail=petr@example.cz\n");
  EXPECT_EQ(b.DisplayOf(1), "");
  EXPECT_EQ(b.ListEntries(), Strings{});
}

TEST_F(ContactsTest, ListShowsTrimmedDisplaysInContactOrderButNotTheBlankContact) {
  const AddressBook b = book(
      "[common]\ncount=7\nmailersignaturestyle=%firstname% %lastname%\n"
      "[0]\nfirstname=Nikdo\nlastname=Nikdovic\n"
      "[1]\nfirstname=Petr\nlastname=Zeman\n"
      "[2]\nfirstname=Nikdo\nlastname=Nikdovic\n"  // displays as the blank contact: not shown
      "[3]\nlastname=Adam\n"                       // " Adam": shown trimmed
      "[4]\n"                                      // " ": nothing to show
      "[5]\nfirstname=Petr\nlastname=Zeman\n"
      "[6]\nfirstname=nikdo\nlastname=Nikdovic\n"  // the blank rule compares exactly
      "[7]\nfirstname=X\n");
  EXPECT_EQ(b.ListEntries(), (Strings{"Petr Zeman", "Adam", "Petr Zeman", "nikdo Nikdovic", "X"}));
}

TEST_F(ContactsTest, BlankContactIsComparedUntrimmed) {
  // Section 0 displays as "Nikdo " (with the blank); a contact displaying as
  // "Nikdo " is shown as "Nikdo", which differs from it.
  const AddressBook b = book(
      "[common]\ncount=1\nmailersignaturestyle=%firstname% %lastname%\n"
      "[0]\nfirstname=Nikdo\n"
      "[1]\nfirstname=Nikdo\n");
  EXPECT_EQ(b.DisplayOf(0), "Nikdo ");
  EXPECT_EQ(b.ListEntries(), Strings{"Nikdo"});
}

TEST_F(ContactsTest, MailOfTakesTheLastMatchAnyCaseAndSkipsContactsWithoutFirstName) {
  const AddressBook b = book(
      "[common]\ncount=5\nmailersignaturestyle=%nickname%\n"
      "[1]\nfirstname=Jana\nnickname=Redakce\nmail=first@example.cz\n"
      "[2]\nfirstname=Petr\nnickname=Ctenar\nmail=petr@example.cz\n"
      "[3]\nfirstname=Eva\nnickname=REDAKCE\nmail=last@example.cz\n"
      "[4]\nfirstname= \nnickname=Redakce\nmail=nameless@example.cz\n"
      "[5]\nnickname=Bezejmenny\nmail=skipped@example.cz\n");
  // Equal displays are both listed; the later contact's address wins.
  EXPECT_EQ(b.ListEntries(), (Strings{"Redakce", "Ctenar", "REDAKCE", "Redakce", "Bezejmenny"}));
  struct Case {
    const char* display;
    const char* mail;
  };
  const Case cases[] = {
      {"Redakce", "last@example.cz"},        {"redakce", "last@example.cz"}, {"Ctenar", "petr@example.cz"},
      {"Bezejmenny", "fallback@example.cz"},  // listed, but it has no first name
      {"Nikdo", "fallback@example.cz"},      {"", "fallback@example.cz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.display);
    EXPECT_EQ(b.MailOf(c.display, "fallback@example.cz"), c.mail);
  }
}

TEST_F(ContactsTest, MailerSettingsComeFromTheEnvironmentThenTheFileThenDefaults) {
  struct Case {
    const char* server;   // PAGEMOOR_SMTP_SERVER, nullptr: unset
    const char* address;  // PAGEMOOR_MAIL_ADDRESS
    const char* file;     // mailer.ini, nullptr: none
    const char* wantServer;
    const char* wantAddress;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, "localhost", "postmaster@localhost"},
      {nullptr, nullptr, "[mailer]\nserver=smtp.example.cz\ndefault_address=redakce@example.cz\n",
       "smtp.example.cz", "redakce@example.cz"},
      {"mail.env.cz", "env@example.cz",
       "[mailer]\nserver=smtp.example.cz\ndefault_address=redakce@example.cz\n", "mail.env.cz",
       "env@example.cz"},
      {"", nullptr, "[mailer]\nserver=smtp.example.cz\n", "smtp.example.cz", "postmaster@localhost"},
      {nullptr, nullptr, "[other]\nserver=smtp.example.cz\n", "localhost", "postmaster@localhost"},
      {nullptr, nullptr, "[mailer]\nserver=\ndefault_address=  \n", "localhost", "postmaster@localhost"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file ? c.file : "no file");
    TempFolder config;
    ScopedEnv home("XDG_CONFIG_HOME", config.path().c_str());
    ScopedEnv server("PAGEMOOR_SMTP_SERVER", c.server);
    ScopedEnv address("PAGEMOOR_MAIL_ADDRESS", c.address);
    if (c.file) config.write("pagemoor/mailer.ini", c.file);
    EXPECT_EQ(DefaultSmtpServer(), c.wantServer);
    EXPECT_EQ(DefaultMailAddress(), c.wantAddress);
    // The reader's settings file is never written.
    EXPECT_EQ(config.read("pagemoor/mailer.ini"), c.file ? c.file : "<missing>");
  }
}

}  // namespace
}  // namespace pagemoor
