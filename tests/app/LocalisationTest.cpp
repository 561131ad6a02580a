#include "app/qt/Localisation.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "common/IniLang.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;

QString q(const char* text) {
  return QString::fromUtf8(text);
}

template <typename T>
T* named(QObject* parent, const char* name) {
  T* o = nullptr;
  if constexpr (std::is_base_of_v<QWidget, T>)
    o = new T(qobject_cast<QWidget*>(parent));
  else
    o = new T(parent);
  o->setObjectName(name);
  return o;
}

// A small window with one control of each kind the localisation knows.
struct TestWindow {
  TestWindow() {
    window->setObjectName("frmTest");
    window->setWindowTitle("Okno");
    QWidget* w = window.get();
    title = named<QLabel>(w, "lblTitle");
    title->setText("Nadpis");
    title->setToolTip("Napoveda");
    ok = named<QPushButton>(w, "btnOk");
    ok->setText("OK");
    memo = named<QPlainTextEdit>(w, "memInfo");
    memo->setPlainText("prvni\ndruhy\ntreti");
    group = named<QGroupBox>(w, "rgMode");
    group->setTitle("Rezim");
    for (const char* text : {"Jeden", "Dva"}) radios.push_back(new QRadioButton(q(text), group));
    combo = named<QComboBox>(w, "cbSize");
    combo->addItems({"Maly", "Velky"});
    edit = named<QLineEdit>(w, "edtName");
    edit->setText("jmeno");
  }
  std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
  QLabel* title;
  QPushButton* ok;
  QPlainTextEdit* memo;
  QGroupBox* group;
  std::vector<QRadioButton*> radios;
  QComboBox* combo;
  QLineEdit* edit;
};

class LocalisationTest : public ::testing::Test {
 protected:
  // The template written for these windows, read back as a localisation file.
  std::string fill(const std::vector<QWidget*>& windows,
                   const std::vector<MessageKey>& messages = MessageKeys()) {
    EXPECT_TRUE(FillCustomIni(windows, messages));
    return t.read("Custom.ini");
  }

  TempFolder t;
  test::ScopedCommandLine m_commandLine{t.path() + "MAG.EXE"};
};

TEST_F(LocalisationTest, ApplySetsCaptionsHintsLinesAndItems) {
  TestWindow f;
  const LanguageFile file(
      "[frmTest]\n"
      "frmTest.Caption=Muj casopis\n"
      "frmTest.lblTitle.Caption=Title\n"
      "FRMTEST.LBLTITLE.HINT=Help\n"       // names are case-blind
      "frmTest.btnOk.Caption=\n"           // empty: unchanged
      "frmTest.memInfo.lines[0]=fsdef\n"   // the marker for "leave it"
      "frmTest.memInfo.lines[1]=\n"        // empty: empties the line
      "frmTest.memInfo.Lines[2]=third\n"   // as the template writes it
      "frmTest.memInfo.lines[3]=fourth\n"  // no such line: not added
      "frmTest.rgMode.Caption=Mode\n"
      "frmTest.rgMode.items[1]=Two\n"
      "frmTest.rgMode.items[2]=Three\n"
      "frmTest.cbSize.items[0]=Small\n"
      "frmTest.cbSize.items[1]=\n"
      "frmTest.cbSize.items[2]=Huge\n"
      "frmTest.edtName.Caption=not a caption\n"  // an edit has no caption
      "[frmOther]\n"
      "frmTest.btnOk.Caption=wrong section\n");
  ApplyLanguage({f.window.get()}, &file);

  EXPECT_EQ(f.window->windowTitle(), "Muj casopis");
  EXPECT_EQ(f.title->text(), "Title");
  EXPECT_EQ(f.title->toolTip(), "Help");
  EXPECT_EQ(f.ok->text(), "OK");
  EXPECT_EQ(f.memo->toPlainText(), "prvni\n\nthird");
  EXPECT_EQ(f.group->title(), "Mode");
  EXPECT_EQ(f.radios[0]->text(), "Jeden");
  EXPECT_EQ(f.radios[1]->text(), "Two");
  ASSERT_EQ(f.combo->count(), 2);
  EXPECT_EQ(f.combo->itemText(0), "Small");
  EXPECT_EQ(f.combo->itemText(1), "Velky");
  EXPECT_EQ(f.edit->text(), "jmeno");
}

TEST_F(LocalisationTest, WindowCaption) {
  struct Case {
    const char* file;
    const char* expected;
  };
  const Case cases[] = {
      {"[frmMain]\nfrmMain.Caption=Muj casopis\n", "Muj casopis"},
      {"[frmMain]\nfrmMain.Caption=\n", "Pagemoor"},
      {"[frmMain]\n", "Pagemoor"},
      {"[Misc]\nfrmMain.Caption=Muj casopis\n", "Pagemoor"},
  };
  for (const Case& c : cases) {
    QWidget window;
    window.setObjectName("frmMain");
    window.setWindowTitle("Pagemoor");
    const LanguageFile file(c.file);
    ApplyLanguage({&window}, &file);
    EXPECT_EQ(window.windowTitle(), q(c.expected)) << c.file;
  }
}

TEST_F(LocalisationTest, MissingWindowsAndMissingFileAreSkipped) {
  TestWindow f;
  const LanguageFile file("[frmTest]\nfrmTest.Caption=Preklad\n");
  ApplyLanguage({nullptr, f.window.get(), nullptr}, &file);
  EXPECT_EQ(f.window->windowTitle(), "Preklad");

  TestWindow untouched;
  ApplyLanguage({untouched.window.get()}, nullptr);
  EXPECT_EQ(untouched.window->windowTitle(), "Okno");
  EXPECT_EQ(untouched.memo->toPlainText(), "prvni\ndruhy\ntreti");
}

TEST_F(LocalisationTest, MarkedControlsActAsTheirKind) {
  QWidget window;
  window.setObjectName("frmTest");
  auto* memoList = named<QListWidget>(&window, "lstMemo");
  memoList->setProperty("pagemoorKind", "memo");
  memoList->addItems({"a", "b"});
  auto* comboList = named<QListWidget>(&window, "lstCombo");
  comboList->setProperty("pagemoorKind", "combo");
  comboList->addItems({"x", "y"});
  auto* labelEdit = named<QLineEdit>(&window, "edtLabel");
  labelEdit->setProperty("pagemoorKind", "label");
  labelEdit->setText("popisek");
  // A group box marked as a memo has lines only: no caption, no items.
  auto* box = named<QGroupBox>(&window, "grpMemo");
  box->setProperty("pagemoorKind", "memo");
  box->setTitle("titulek");
  new QRadioButton("volba", box);
  auto* buttons = named<QButtonGroup>(&window, "rgButtons");
  for (const char* text : {"prvni", "druha"}) buttons->addButton(new QRadioButton(q(text), &window));

  const LanguageFile file(
      "[frmTest]\n"
      "frmTest.lstMemo.lines[1]=B\n"
      "frmTest.lstMemo.items[0]=not an item\n"
      "frmTest.lstCombo.items[0]=X\n"
      "frmTest.lstCombo.lines[1]=not a line\n"
      "frmTest.edtLabel.Caption=label\n"
      "frmTest.grpMemo.Caption=no caption\n"
      "frmTest.grpMemo.items[0]=no item\n"
      "frmTest.rgButtons.items[1]=second\n"
      "frmTest.rgButtons.Hint=no hint\n");
  ApplyLanguage({&window}, &file);

  EXPECT_EQ(memoList->item(0)->text(), "a");
  EXPECT_EQ(memoList->item(1)->text(), "B");
  EXPECT_EQ(comboList->item(0)->text(), "X");
  EXPECT_EQ(comboList->item(1)->text(), "y");
  EXPECT_EQ(labelEdit->text(), "label");
  EXPECT_EQ(box->title(), "titulek");
  EXPECT_EQ(buttons->buttons()[0]->text(), "prvni");
  EXPECT_EQ(buttons->buttons()[1]->text(), "second");
}

TEST_F(LocalisationTest, ComponentsAreNamedDescendantsInCreationOrder) {
  QWidget window;
  auto* panel = named<QWidget>(&window, "pnlTop");
  named<QLabel>(panel, "lblInner");
  new QLabel("unnamed", &window);
  named<QTimer>(&window, "Timer1");
  named<QPlainTextEdit>(&window, "memo");  // its viewport is Qt's, not ours
  auto* dialog = named<QDialog>(&window, "dlgOwn");
  named<QLabel>(dialog, "lblOfDialog");
  named<QLabel>(&window, "lblLast");

  std::vector<std::string> names;
  for (QObject* o : WindowComponents(&window)) names.push_back(o->objectName().toStdString());
  EXPECT_EQ(names, (std::vector<std::string>{"pnlTop", "lblInner", "Timer1", "memo", "lblLast"}));
}

TEST_F(LocalisationTest, TemplateOfAWindow) {
  TestWindow f;
  QWidget* w = f.window.get();
  f.memo->setPlainText("prvni\ndruhy\nmemInfo\npo jmenu");
  named<QLabel>(w, "Label1")->setText("Label1");
  named<QLabel>(w, "lblDash")->setText("-");
  named<QLabel>(w, "lblEmpty");
  auto* outPanel = named<QLabel>(w, "outPanel");
  outPanel->setText("hidden");
  outPanel->setToolTip("hidden");
  named<QLabel>(outPanel, "lblInOut")->setText("inside");  // only the out control itself is left out
  named<QLabel>(w, "OutCase")->setText("upper");
  auto* inner = named<QGroupBox>(f.group, "rgInner");  // its radio button is its own item, not rgMode's
  new QRadioButton("Vnitrni", inner);
  QWidget sameName;
  sameName.setObjectName("frmSame");
  sameName.setWindowTitle("frmSame");

  const std::string bytes = fill({f.window.get(), nullptr, &sameName});
  const LanguageFile out(bytes);
  const auto at = [&](const char* key) { return out.value("frmTest", key); };
  EXPECT_EQ(at("frmTest.Caption"), "Okno");
  EXPECT_EQ(at("frmTest.lblTitle.Caption"), "Nadpis");
  EXPECT_EQ(at("frmTest.lblTitle.Hint"), "Napoveda");
  EXPECT_EQ(at("frmTest.btnOk.Caption"), "OK");
  EXPECT_EQ(at("frmTest.btnOk.Hint"), std::nullopt);
  EXPECT_EQ(at("frmTest.rgMode.Caption"), "Rezim");
  EXPECT_EQ(at("frmTest.lblInOut.Caption"), "inside");
  EXPECT_EQ(at("frmTest.OutCase.Caption"), "upper");
  for (const char* absent :
       {"frmTest.Label1.Caption", "frmTest.lblDash.Caption", "frmTest.lblEmpty.Caption",
        "frmTest.outPanel.Caption", "frmTest.outPanel.Hint", "frmTest.edtName.Caption",
        "frmTest.memInfo.Lines[2]", "frmTest.memInfo.Lines[3]", "frmTest.rgMode.Items[2]"})
    EXPECT_EQ(at(absent), std::nullopt) << absent;
  EXPECT_FALSE(out.value("frmSame", "frmSame.Caption"));

  // Lines and items keep the capital the template has always used.
  for (const char* line :
       {"frmTest.memInfo.Lines[0]=prvni", "frmTest.memInfo.Lines[1]=druhy", "frmTest.rgMode.Items[0]=Jeden",
        "frmTest.rgMode.Items[1]=Dva", "frmTest.rgInner.Items[0]=Vnitrni", "frmTest.cbSize.Items[0]=Maly",
        "frmTest.cbSize.Items[1]=Velky"})
    EXPECT_NE(bytes.find(line), std::string::npos) << line;
}

TEST_F(LocalisationTest, TemplateMessagesFromTheMessageTable) {
  const LanguageFile builtIn(fill({}));
  for (const MessageKey& m : MessageKeys()) EXPECT_EQ(builtIn.value("Misc", m.key), m.defaultText) << m.key;

  const std::vector<MessageKey> messages = {
      {"two_lines", "prvni\r\ndruhy"},
      {"lf_only", "a\nb\n"},
      {"two_lines", "the first of a key counts"},
  };
  const LanguageFile lines(fill({}, messages));
  EXPECT_EQ(lines.value("Misc", "two_lines"), "prvni*|*druhy");
  EXPECT_EQ(lines.value("Misc", "lf_only"), "a*|*b*|*");
}

TEST_F(LocalisationTest, TemplateKeepsEntriesItDoesNotWrite) {
  t.write("Custom.ini",
          "[frmTest]\r\n"
          "frmTest.lblTitle.Caption=stary\r\n"
          "frmTest.byHand=kept\r\n"
          "[frmCredits]\r\n"
          "frmCredits.Caption=Autori\r\n");
  TestWindow f;
  const LanguageFile out(fill({f.window.get()}));
  EXPECT_EQ(out.value("frmTest", "frmTest.lblTitle.Caption"), "Nadpis");
  EXPECT_EQ(out.value("frmTest", "frmTest.byHand"), "kept");
  EXPECT_EQ(out.value("frmCredits", "frmCredits.Caption"), "Autori");
}

// The template read back as a localisation file gives a window the texts of
// the window it was written from.
TEST_F(LocalisationTest, TemplateAppliesBackToTheWindow) {
  TestWindow source;
  source.window->setWindowTitle("Zdroj");
  source.title->setText("Prelozeny");
  source.memo->setPlainText("jedna\ndva\ntri");
  source.radios[1]->setText("Druha");
  source.combo->setItemText(1, "Obri");
  const LanguageFile file(fill({source.window.get()}));

  TestWindow target;
  ApplyLanguage({target.window.get()}, &file);
  EXPECT_EQ(target.window->windowTitle(), "Zdroj");
  EXPECT_EQ(target.title->text(), "Prelozeny");
  EXPECT_EQ(target.memo->toPlainText(), "jedna\ndva\ntri");
  EXPECT_EQ(target.radios[1]->text(), "Druha");
  EXPECT_EQ(target.combo->itemText(1), "Obri");
}

}  // namespace
}  // namespace pagemoor
