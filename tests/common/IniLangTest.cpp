#include "common/IniLang.h"

#include <gtest/gtest.h>

#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;

class Localisation : public ::testing::Test {
 protected:
  void TearDown() override { SetLanguageFile(nullptr); }
  void load(const std::string& bytes) {
    t.write("ini/lang.ini", bytes);
    auto file = LoadLanguageFile("ini\\lang.ini");
    ASSERT_NE(file, nullptr);
    SetLanguageFile(std::move(file));
  }
  TempFolder t;
  test::ScopedCommandLine m_commandLine{t.path() + "MAG.EXE"};
};

TEST_F(Localisation, WithoutAFileEveryMessageIsItsDefault) {
  EXPECT_EQ(LoadLanguageFile("ini\\lang.ini"), nullptr);
  EXPECT_EQ(Translate("Spatny prikaz konzole", "bad_console_command"), "Spatny prikaz konzole");
  EXPECT_EQ(TranslateKey("bad_console_command"), "Spatny prikaz konzole");
}

TEST_F(Localisation, LineBreakMarkers) {
  load(
      "[Misc]\r\n"
      "bad_console_command=Neznamy prikaz*|*Zkuste list\r\n"
      "lead=*|*text\r\n"
      "middle=*|*mid*|*last\r\n"
      "trail=text*|*\r\n"
      "double=a*|**|*b\r\n"
      "plain=no markers\r\n");
  struct Case {
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"bad_console_command", "Neznamy prikaz\r\nZkuste list"},
      {"lead", "\r\ntext"},
      {"middle", "mid\r\nlast"},
      {"trail", "text\r\n"},
      {"double", "a\r\n\r\nb"},
      {"plain", "no markers"},
      {"extract_complete", ""},  // a loaded file without the key gives empty text
  };
  for (const Case& c : cases) EXPECT_EQ(TranslateKey(c.key), c.expected) << c.key;
}

TEST_F(Localisation, FileFormat) {
  load(
      "orphan=before any section\n"
      "[frmMain]\n"
      "frmMain.Caption=Muj casopis\n"
      "FRMMAIN.CAPTION=second loses\n"
      " frmMain.Hint = spaced \n"
      "; frmMain.Comment=ignored\n"
      "frmMain.Memo.Lines[0]=\n"
      "no equals sign\n"
      "[Misc]\n"
      "mail_send_success=Odesl\xE1no!\n");  // windows-1250
  const LanguageFile* f = CurrentLanguageFile();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->value("FRMMAIN", "frmmain.caption"), "Muj casopis");
  EXPECT_EQ(f->value("frmMain", " frmMain.Hint "), " spaced ");  // blanks belong to name and value
  EXPECT_EQ(f->value("frmMain", "frmMain.Hint"), std::nullopt);
  EXPECT_EQ(f->value("frmMain", "; frmMain.Comment"), std::nullopt);
  EXPECT_EQ(f->value("frmMain", "frmMain.memo.lines[0]"), "");
  EXPECT_EQ(f->value("frmMain", "orphan"), std::nullopt);
  EXPECT_EQ(f->read("frmMain", "frmMain.Memo.Lines[1]", "fsdef"), "fsdef");
  EXPECT_EQ(TranslateKey("mail_send_success"), "Odesláno!");
}

TEST_F(Localisation, Utf8FileWithByteOrderMark) {
  load("\xEF\xBB\xBF[Misc]\nscript_file_not_found=Skript nenalezen – zkontrolujte název\n");
  EXPECT_EQ(TranslateKey("script_file_not_found"), "Skript nenalezen – zkontrolujte název");
}

TEST(MessageTable, EveryKeyHasItsCzechDefault) {
  EXPECT_EQ(DefaultMessage("invalid_rar_archive"), "Spatny RAR soubor");
  EXPECT_EQ(DefaultMessage("no_file/folder_selected"), "Nezvolen soubor nebo slozka");
  EXPECT_EQ(DefaultMessage("not_enough_parameters"), "Nedostatek parametru prikazu.");
  EXPECT_EQ(DefaultMessage("resolution_change_error"), "Nemohu zmenit rozliseni");
  EXPECT_EQ(DefaultMessage("unknown"), "");
}

}  // namespace
}  // namespace pagemoor
