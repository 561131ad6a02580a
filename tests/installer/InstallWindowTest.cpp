#include "installer/InstallWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/IniLang.h"
#include "common/Strings.h"
#include "installer/qt/DirectoryListBox.h"
#include "pictures/ImageWidget.h"
#include "platform/AnswerQueue.h"
#include "platform/HeadlessPlatform.h"
#include "platform/ScriptedPlatform.h"
#include "support/FakePlatform.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"
#include "support/LogConsole.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::TempFolder;
using Strings = std::vector<std::string>;
using Files = std::vector<std::pair<std::string, std::string>>;

const QColor kLime(0, 255, 0);
const std::string kFixtures = PAGEMOOR_THIRD_PARTY_DIR;

// Packs files (and symbolic links, stored as links) with Debian's zip.
void MakeZip(const TempFolder& t, const std::string& archive, const Files& files, const Files& links = {}) {
  static int staging = 0;
  const std::string folder = t.file("zip-staging-" + std::to_string(++staging) + "/");
  std::filesystem::create_directories(folder);
  for (const auto& [name, bytes] : files) t.write(folder.substr(t.path().size()) + name, bytes);
  for (const auto& [name, target] : links) std::filesystem::create_symlink(target, folder + name);
  std::filesystem::create_directories(std::filesystem::path(archive).parent_path());
  const std::string command = "cd '" + folder + "' && zip -q -r -X -y '" + archive + "' .";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// Escape pressed where the keyboard focus is: the key goes up to the window
// when the control leaves it.
void PressEscape(QWidget* focus) {
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(focus, &escape);
}

// Remembers the open dialog's settings, which the fake does not record.
class RecordingPlatform : public FakePlatform {
 public:
  std::optional<FileDialogResult> openFileDialog(const FileDialogOptions& options) override {
    openOptions.push_back(options);
    return FakePlatform::openFileDialog(options);
  }
  std::vector<FileDialogOptions> openOptions;
};

// A project in development mode, so the project folder is the test's folder.
class InstallWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetLanguageFile(nullptr);
    ClearIniCache();
  }

  // The reader picks the archive in the open dialog.
  void choose(TfrmInstall& window, const std::string& path) {
    fake.openAnswers.push_back(FileDialogResult{path, 1});
    window.btnFileClick();
  }
  void choose(const std::string& path) { choose(frm, path); }

  // A third-party test file copied into the test's folder under another name.
  std::string copyFixture(const std::string& fixture, const std::string& name) {
    const std::string path = t.file(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::filesystem::copy_file(kFixtures + "/" + fixture, path);
    return path;
  }

  // A fresh target folder, named without a trailing separator.
  std::string targetFolder() {
    const std::string folder = t.file("out");
    std::filesystem::create_directories(folder);
    frm.setFolder(folder);
    return folder;
  }

  Strings progressLines() const {
    Strings lines;
    for (int i = 0; i < frm.CheckListBox1()->count(); ++i)
      lines.push_back(frm.CheckListBox1()->item(i)->text().toStdString());
    return lines;
  }
  // The progress line that ends with the name, or nullptr.
  QListWidgetItem* progressLine(const std::string& nameEnd) const {
    for (int i = 0; i < frm.CheckListBox1()->count(); ++i)
      if (frm.CheckListBox1()->item(i)->text().toStdString().ends_with(nameEnd))
        return frm.CheckListBox1()->item(i);
    return nullptr;
  }
  int logCount(const std::string& line) const {
    return static_cast<int>(std::count(console.Lines().begin(), console.Lines().end(), line));
  }
  QPushButton* button(const char* name) const { return frm.findChild<QPushButton*>(name); }

  TempFolder t;
  test::ScopedCommandLine m_commandLine{t.path() + "MAG.EXE", {"/develope"}};
  RecordingPlatform fake;
  ScopedPlatform usePlatform{fake};
  test::LogConsole console;
  TfrmInstall frm{console.sink, PAGEMOOR_UNRAR_LIBRARY};
};

TEST_F(InstallWindowTest, WindowAndControls) {
  EXPECT_EQ(frm.objectName(), "frmInstall");
  EXPECT_EQ(frm.modalName(), "frmInstall");
  EXPECT_EQ(frm.modalCaption(), "Instalátor");
  EXPECT_EQ(frm.windowType(), Qt::Tool);
  for (Qt::WindowType hint : {Qt::CustomizeWindowHint, Qt::WindowTitleHint, Qt::WindowCloseButtonHint})
    EXPECT_TRUE(frm.windowFlags().testFlag(hint));
  // Qt adds the system-menu hint to any button hint by itself.
  for (Qt::WindowType hint : {Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint})
    EXPECT_FALSE(frm.windowFlags().testFlag(hint));
  EXPECT_EQ(frm.minimumSize(), QSize(495, 296));
  EXPECT_EQ(frm.maximumSize(), QSize(495, 296));
  EXPECT_EQ(frm.palette().color(QPalette::Window), QColor(Qt::black));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((frm.geometry().center() - screen.center()).manhattanLength(), 2);

  struct Control {
    const char* name;
    QRect geometry;
  };
  for (const Control& c :
       {Control{"imgBack", {0, 0, 495, 296}}, Control{"btnFile", {280, 8, 113, 25}},
        Control{"btnRozbalit", {408, 8, 73, 25}}, Control{"btnZavrit", {408, 52, 73, 25}},
        Control{"DCB1", {8, 104, 193, 19}},
        Control{"DLB1", {8, 136, 193, 153}}, Control{"CheckListBox1", {216, 104, 273, 185}}}) {
    SCOPED_TRACE(c.name);
    const QWidget* w = frm.findChild<QWidget*>(c.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), c.geometry);
  }
  EXPECT_NE(frm.findChild<ImageWidget*>("imgBack"), nullptr);
  EXPECT_NE(frm.findChild<DirectoryListBox*>("DLB1"), nullptr);

  struct Label {
    const char* name;
    QPoint at;
    const char* text;  // nullptr: not fixed
    QColor color;
  };
  for (const Label& l :
       {Label{"Label2", {16, 8}, "Jméno zvoleného souboru:", Qt::white}, Label{"lblName", {8, 32}, "", kLime},
        Label{"Label4", {16, 56}, "Cílová složka:", Qt::white}, Label{"lblFolder", {8, 80}, nullptr, kLime},
        Label{"Label1", {368, 80}, "Průběh rozbalování", Qt::white}}) {
    SCOPED_TRACE(l.name);
    const QLabel* label = frm.findChild<QLabel*>(l.name);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->pos(), l.at);
    if (l.text) {
      EXPECT_EQ(label->text(), QString::fromUtf8(l.text));
    }
    EXPECT_EQ(label->palette().color(QPalette::WindowText), l.color);
  }

  for (auto [name, caption] : {std::pair{"btnFile", "Zvolit Soubor"}, std::pair{"btnRozbalit", "Rozbalit"},
                               std::pair{"btnZavrit", "Zavřít"}}) {
    SCOPED_TRACE(name);
    const QPushButton* b = button(name);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->text(), QString::fromUtf8(caption));
    EXPECT_TRUE(b->isFlat());
    EXPECT_EQ(b->font().family(), "Arial");
    EXPECT_EQ(b->font().pixelSize(), 16);
    EXPECT_TRUE(b->font().bold());
    EXPECT_EQ(b->palette().color(QPalette::ButtonText), kLime);
  }

  // The target starts as the process's current folder, and the drive box
  // offers the root first.
  EXPECT_EQ(frm.folder(), std::filesystem::current_path().string());
  EXPECT_EQ(frm.lblFolder()->text().toStdString(), frm.folder());
  ASSERT_GE(frm.DCB1()->count(), 1);
  EXPECT_EQ(frm.DCB1()->itemText(0), "/");
  EXPECT_EQ(frm.CheckListBox1()->count(), 0);
}

TEST_F(InstallWindowTest, OpenDialogStartsInTheProjectsRarsFolder) {
  frm.btnFileClick();
  ASSERT_EQ(fake.openOptions.size(), 1u);
  EXPECT_EQ(fake.openOptions[0].caption, "Open archive");
  EXPECT_EQ(fake.openOptions[0].filter,
            "Archives (*.RAR;*.ZIP)|*.RAR;*.ZIP|RAR Archives (*.RAR)|*.RAR|ZIP Archives (*.ZIP)|*.ZIP");
  EXPECT_EQ(fake.openOptions[0].initialDir, t.path() + "rars");
  // Cancelled: nothing else happens.
  EXPECT_TRUE(frm.lblName()->text().isEmpty());
  EXPECT_TRUE(console.Lines().empty());
  EXPECT_TRUE(fake.callsOf("info").empty());
}

TEST_F(InstallWindowTest, OnlyZipAndRarNamesAreTakenWhateverTheirCase) {
  struct Case {
    const char* chosen;
    bool taken;
  };
  const Case cases[] = {
      {"/magazin/rars/ARCHIV.ZIP", true},
      {"/magazin/rars/obrazky.Rar", true},
      {"/magazin/cteni.zip", true},
      {"/magazin/notes.txt", false},
      {"/magazin/zip", false},
      {"/magazin/a.zip.bak", false},
      {"/magazin.rar/readme", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen);
    console.AddLine("-");
    const auto logBefore = console.Lines().size();
    fake.calls.clear();
    frm.lblName()->setText("/before.zip");
    choose(c.chosen);
    const Strings logged(console.Lines().begin() + static_cast<long>(logBefore), console.Lines().end());
    if (c.taken) {
      EXPECT_EQ(frm.lblName()->text().toStdString(), c.chosen);
      EXPECT_TRUE(logged.empty());
      EXPECT_TRUE(fake.callsOf("info").empty());
    } else {
      EXPECT_EQ(frm.lblName()->text(), "/before.zip");
      EXPECT_EQ(logged, Strings{std::string("RAR: Error: File \"") + c.chosen + "\" is not a valid archive"});
      EXPECT_EQ(fake.textsOf("info"), Strings{"Spatny RAR soubor"});
    }
  }
}

TEST_F(InstallWindowTest, RefusalMessageIsAFormatForTheFileName) {
  SetLanguageFile(std::make_unique<LanguageFile>("[Misc]\ninvalid_rar_archive=Soubor %s neni archiv\n"));
  choose("/magazin/notes.txt");
  EXPECT_EQ(fake.textsOf("info"), Strings{"Soubor /magazin/notes.txt neni archiv"});
}

TEST_F(InstallWindowTest, ExtractNeedsAnArchiveAndAFolder) {
  struct Case {
    const char* name;
    const char* folder;
  };
  for (const Case& c : {Case{"", "/tmp"}, Case{"/magazin/a.zip", ""}, Case{"", ""}}) {
    SCOPED_TRACE(std::string(c.name) + "|" + c.folder);
    console.AddLine("-");
    fake.calls.clear();
    frm.lblName()->setText(c.name);
    frm.lblFolder()->setText(c.folder);
    frm.btnRozbalitClick();
    EXPECT_EQ(console.Lines().back(), "Installer: Extract failed: No folder/file selected");
    EXPECT_EQ(fake.textsOf("info"), Strings{"Nezvolen soubor nebo slozka"});
    EXPECT_EQ(frm.CheckListBox1()->count(), 0);
  }

  // Any other kind of name does nothing at all.
  console.AddLine("-");
  fake.calls.clear();
  frm.lblName()->setText("/magazin/readme.txt");
  frm.setFolder(t.path());
  frm.btnRozbalitClick();
  EXPECT_EQ(console.Lines().back(), "-");
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(InstallWindowTest, ZipIsUnpackedIntoTheFolderNamedWithoutTrailingSeparator) {
  const std::string archive = t.file("rars/Magazin.zip");
  MakeZip(t, archive, {{"readme.txt", "Ahoj"}, {"docs/Guide.txt", "Návod"}});
  const std::string target = targetFolder();
  EXPECT_EQ(frm.lblFolder()->text().toStdString(), target);
  choose(archive);
  EXPECT_EQ(frm.lblName()->text().toStdString(), archive);

  frm.btnRozbalitClick();
  EXPECT_EQ(t.read("out/readme.txt"), "Ahoj");
  EXPECT_EQ(t.read("out/docs/Guide.txt"), "Návod");
  EXPECT_FALSE(std::filesystem::exists(t.file("outreadme.txt")));
  EXPECT_EQ(progressLines(), (Strings{"Unziping MAGAZIN.ZIP to " + target, "Please wait ...",
                                      "Files Succesfully unZiped"}));
  for (int i = 0; i < frm.CheckListBox1()->count(); ++i) {
    EXPECT_TRUE(frm.CheckListBox1()->item(i)->flags() & Qt::ItemIsUserCheckable);
    EXPECT_EQ(frm.CheckListBox1()->item(i)->checkState(), Qt::Unchecked);
  }
  EXPECT_EQ(console.Lines(), (Strings{"ZIP: Extract " + archive + " to " + target,
                                      "ZIP: Files succesfully unZiped"}));
  EXPECT_EQ(fake.textsOf("info"), Strings{"Rozbalovani Dokonceno"});
  EXPECT_FALSE(frm.extracting());
  EXPECT_TRUE(button("btnRozbalit")->isEnabled());
}

// The "install" command names the archive in capitals; a file that is no
// archive at all is not reported as unpacked.
TEST_F(InstallWindowTest, AnArchiveNamedInCapitalsIsFoundAndAnUnreadableOneIsNoSuccess) {
  const std::string archive = t.file("rars/Bonus.zip");
  MakeZip(t, archive, {{"readme.txt", "Ahoj"}});
  const std::string target = targetFolder();
  frm.lblName()->setText(QString::fromStdString(AsciiUpper(archive)));
  frm.btnRozbalitClick();
  EXPECT_EQ(t.read("out/readme.txt"), "Ahoj");
  EXPECT_EQ(fake.textsOf("info"), Strings{"Rozbalovani Dokonceno"});

  fake.calls.clear();
  const std::size_t before = console.Lines().size();
  t.write("rars/broken.zip", "this is no archive");
  frm.lblName()->setText(QString::fromStdString(t.file("rars/broken.zip")));
  frm.btnRozbalitClick();
  const Strings lines(console.Lines().begin() + static_cast<std::ptrdiff_t>(before), console.Lines().end());
  EXPECT_EQ(lines,
            (Strings{"ZIP: Extract " + t.file("rars/broken.zip") + " to " + target,
                     "ZIP: Extract failed (-2)"}));
  EXPECT_EQ(fake.textsOf("info"), Strings{"Spatny RAR soubor"});
  EXPECT_EQ(progressLines().back(), "Extract failed");
}

TEST_F(InstallWindowTest, RefusedZipEntriesAreLogged) {
  const std::string archive = t.file("rars/links.zip");
  MakeZip(t, archive, {{"kept.txt", "ok"}}, {{"passwd", "/etc/passwd"}});
  targetFolder();
  choose(archive);
  frm.btnRozbalitClick();
  EXPECT_EQ(t.read("out/kept.txt"), "ok");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(t.file("out/passwd"))));
  // Between the opening and the closing line: the refused link.
  ASSERT_GE(console.Lines().size(), 3u);
  EXPECT_TRUE(console.Lines()[1].starts_with("ZIP: ")) << console.Lines()[1];
  EXPECT_EQ(console.Lines().back(), "ZIP: Files succesfully unZiped");
  EXPECT_EQ(fake.textsOf("info"), Strings{"Rozbalovani Dokonceno"});
}

TEST_F(InstallWindowTest, DamagedRarFileStaysUntickedAndTheRestIsUnpacked) {
  const std::string archive = copyFixture("rar/Rar4.damaged-crc.rar", "rars/Rar4.damaged-crc.rar");
  const std::string target = targetFolder();
  choose(archive);
  frm.btnRozbalitClick();

  EXPECT_EQ(fake.textsOf("info"),
            Strings{"Error 12 - Špatný kontrolní součet. Data jsou pravděpodobně poškozena"});
  struct Line {
    const char* nameEnd;
    Qt::CheckState state;
  };
  for (const Line& l :
       {Line{"test.exe", Qt::Checked}, Line{"test.jpg", Qt::Unchecked}, Line{"тест.txt", Qt::Checked}}) {
    SCOPED_TRACE(l.nameEnd);
    const QListWidgetItem* line = progressLine(l.nameEnd);
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->flags() & Qt::ItemIsUserCheckable);
    EXPECT_EQ(line->checkState(), l.state);
  }
  EXPECT_TRUE(FileExists(target + "/exe/test.exe"));
  EXPECT_EQ(std::filesystem::file_size(target + "/тест.txt"), 15498u);

  ASSERT_FALSE(console.Lines().empty());
  EXPECT_EQ(console.Lines().front(), "RAR: Extract RAR4.DAMAGED-CRC.RAR to " + target);
  // Upper case touches ASCII letters only.
  EXPECT_EQ(logCount("RAR: Extracting тест.TXT"), 1);
  EXPECT_EQ(logCount("RAR: Error 12 - " + TRAR::ErrorTextEnglish(12)), 1);
  EXPECT_EQ(logCount("RAR: Extract Failed"), 1);
  EXPECT_GE(logCount("RAR: Extract Successfull"), 2);
}

TEST_F(InstallWindowTest, FileThatIsNoRarGivesOneErrorAndNothingElse) {
  const std::string archive = copyFixture("zip/bla.zip", "rars/fake.rar");
  targetFolder();
  choose(archive);
  frm.btnRozbalitClick();
  EXPECT_EQ(fake.textsOf("info"), Strings{"Error 13 - " + TRAR::ErrorTextCzech(13)});
  EXPECT_EQ(logCount("RAR: Error 13 - " + TRAR::ErrorTextEnglish(13)), 1);
  EXPECT_EQ(frm.CheckListBox1()->count(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(t.file("out")));
}

TEST_F(InstallWindowTest, MissingRarLibraryIsError50) {
  TfrmInstall noLibrary(console.sink, t.file("nowhere/libpagemoor-unrar.so"));
  EXPECT_FALSE(noLibrary.RAR1().LoadedDLL());
  const std::string archive = copyFixture("rar/Rar4.rar", "rars/Rar4.rar");
  std::filesystem::create_directories(t.file("out"));
  noLibrary.setFolder(t.file("out"));
  choose(noLibrary, archive);
  noLibrary.btnRozbalitClick();
  EXPECT_EQ(logCount("RAR: Error 50 - UNRAR.dll not found"), 1);
  EXPECT_EQ(fake.textsOf("info"), Strings{"Error 50 - UNRAR.dll nenalezen"});
  EXPECT_TRUE(std::filesystem::is_empty(t.file("out")));
}

// Both extractors let window events run: nothing may start a second
// extraction or close the window meanwhile.
TEST_F(InstallWindowTest, ButtonsAndClosingAreBlockedWhileAnExtractionRuns) {
  struct Seen {
    bool extracting = false;
    bool fileEnabled = true;
    bool extractEnabled = true;
    bool closeEnabled = true;
    bool closed = true;
    bool escapeClosed = true;
  };
  const std::string zip = t.file("rars/small.zip");
  MakeZip(t, zip, {{"a.txt", "a"}});
  const std::string rar = copyFixture("rar/Rar4.rar", "rars/Rar4.rar");

  for (const std::string& archive : {zip, rar}) {
    SCOPED_TRACE(archive);
    frm.show();
    std::filesystem::remove_all(t.file("out"));
    targetFolder();
    choose(archive);
    const auto opensBefore = fake.callsOf("open").size();
    std::vector<Seen> seen;
    auto look = [&] {
      Seen s;
      s.extracting = frm.extracting();
      s.fileEnabled = button("btnFile")->isEnabled();
      s.extractEnabled = button("btnRozbalit")->isEnabled();
      s.closeEnabled = button("btnZavrit")->isEnabled();
      s.closed = frm.close();
      PressEscape(frm.CheckListBox1());
      s.escapeClosed = !frm.isVisible();
      // Neither handler starts anything now.
      frm.btnRozbalitClick();
      frm.btnFileClick();
      seen.push_back(s);
    };
    auto rarHandler = frm.RAR1().OnExtracting;
    frm.RAR1().OnExtracting = [&](TRAR& sender, const RARHeaderData& header) {
      look();
      rarHandler(sender, header);
    };
    frm.Unzip1().OnReport = [&](const UnzipReport&) { look(); };
    const auto logBefore = static_cast<long>(console.Lines().size());
    frm.btnRozbalitClick();
    frm.RAR1().OnExtracting = rarHandler;
    frm.Unzip1().OnReport = nullptr;

    ASSERT_FALSE(seen.empty());
    for (const Seen& s : seen) {
      EXPECT_TRUE(s.extracting);
      EXPECT_FALSE(s.fileEnabled);
      EXPECT_FALSE(s.extractEnabled);
      EXPECT_FALSE(s.closeEnabled);
      EXPECT_FALSE(s.closed);
      EXPECT_FALSE(s.escapeClosed);
    }
    EXPECT_TRUE(frm.isVisible());
    EXPECT_EQ(fake.callsOf("open").size(), opensBefore);
    const auto opening = std::count_if(
        console.Lines().begin() + logBefore, console.Lines().end(), [](const std::string& line) {
          return line.starts_with("ZIP: Extract /") || line.starts_with("RAR: Extract R");
        });
    EXPECT_EQ(opening, 1);
    EXPECT_FALSE(frm.extracting());
    EXPECT_TRUE(button("btnFile")->isEnabled());
    EXPECT_TRUE(button("btnRozbalit")->isEnabled());
    EXPECT_TRUE(button("btnZavrit")->isEnabled());
    EXPECT_TRUE(frm.close());
    EXPECT_FALSE(frm.isVisible());
  }
}

TEST_F(InstallWindowTest, ButtonsComeBackWhenTheExtractionThrows) {
  const std::string archive = t.file("rars/small.zip");
  MakeZip(t, archive, {{"a.txt", "a"}});
  targetFolder();
  choose(archive);
  console.OnAdd = [this](Sender) {
    if (console.Lines().back().starts_with("ZIP: Extract ")) throw std::runtime_error("log full");
  };
  EXPECT_THROW(frm.btnRozbalitClick(), std::runtime_error);
  EXPECT_FALSE(frm.extracting());
  EXPECT_TRUE(button("btnFile")->isEnabled());
  EXPECT_TRUE(button("btnRozbalit")->isEnabled());

  // A click does not let the failure through Qt's event handling.
  EXPECT_NO_THROW(button("btnRozbalit")->click());
  EXPECT_EQ(console.Lines().back(), "Installer: Extract failed: log full");
  EXPECT_TRUE(button("btnRozbalit")->isEnabled());
}

TEST_F(InstallWindowTest, ClickSoundOnBothButtonsAndOnClosing) {
  t.write("ini/sounds.ini", "[start]\r\nlink_click=click.wav\r\n");
  t.write("sounds/Click.WAV", "RIFF");
  Strings played;
  frm.setPlaySoundFile([&](const std::string& path) { played.push_back(path); });
  frm.btnFileClick();
  frm.btnRozbalitClick();
  frm.show();
  frm.close();
  EXPECT_EQ(played, Strings(3, t.path() + "sounds/Click.WAV"));

  played.clear();
  ClearIniCache();
  t.write("ini/sounds.ini", "[start]\r\nlink_click=gone.wav\r\n");
  frm.btnFileClick();
  EXPECT_TRUE(played.empty());
}

// Without a window manager there is no frame to close the window with: its
// own button and Escape, wherever the focus is, end the modal showing as the
// frame's close button does, with the click sound.
TEST_F(InstallWindowTest, ZavritAndEscapeCloseTheWindowAsItsFrameDoes) {
  t.write("ini/sounds.ini", "[start]\r\nlink_click=click.wav\r\n");
  t.write("sounds/click.wav", "RIFF");
  Strings played;
  frm.setPlaySoundFile([&](const std::string& path) { played.push_back(path); });
  struct Way {
    const char* name;
    std::function<void()> close;
  };
  const Way ways[] = {
      {"the frame", [this] { frm.close(); }},
      {"btnZavrit", [this] { button("btnZavrit")->click(); }},
      {"Escape to the window", [this] { PressEscape(&frm); }},
      {"Escape in the folder list", [this] { PressEscape(frm.findChild<DirectoryListBox*>("DLB1")); }},
      {"Escape in the drive box", [this] { PressEscape(frm.DCB1()); }},
      {"Escape in the progress list", [this] { PressEscape(frm.CheckListBox1()); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    played.clear();
    bool shown = false;
    bool closed = false;
    QTimer::singleShot(0, &frm, [&] {
      shown = frm.isVisible();
      way.close();
      closed = !frm.isVisible();
      if (!closed) frm.close();  // the showing must end either way
    });
    EXPECT_EQ(frm.execModal(), 0);
    EXPECT_TRUE(shown);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(frm.isVisible());
    EXPECT_EQ(played, Strings{t.path() + "sounds/click.wav"});
  }

  // Escape with a modifier is some other key.
  frm.show();
  QKeyEvent shiftEscape(QEvent::KeyPress, Qt::Key_Escape, Qt::ShiftModifier);
  QApplication::sendEvent(&frm, &shiftEscape);
  EXPECT_TRUE(frm.isVisible());
  frm.close();
}

TEST_F(InstallWindowTest, ClosingHidesAndKeepsTheChoices) {
  const std::string target = targetFolder();
  choose("/magazin/rars/cteni.zip");
  QTimer::singleShot(0, &frm, [this] { frm.close(); });
  EXPECT_EQ(frm.execModal(), 0);
  EXPECT_FALSE(frm.isVisible());
  EXPECT_EQ(frm.lblName()->text(), "/magazin/rars/cteni.zip");
  EXPECT_EQ(frm.folder(), target);
  EXPECT_EQ(frm.lblFolder()->text().toStdString(), target);
}

TEST_F(InstallWindowTest, FolderListDrivesTheTargetAndTheDriveBoxMovesIt) {
  std::filesystem::create_directories(t.file("Cíl/Hry"));
  frm.setFolder(t.file("cíl/hry"));  // found whatever the case
  EXPECT_EQ(frm.folder(), t.file("Cíl/Hry"));
  EXPECT_EQ(frm.lblFolder()->text().toStdString(), t.file("Cíl/Hry"));

  emit frm.DCB1()->activated(0);
  EXPECT_EQ(frm.folder(), "/");
  EXPECT_EQ(frm.lblFolder()->text(), "/");
  EXPECT_EQ(frm.DCB1()->currentIndex(), 0);
}

// Headless runs: btnFile (its dialog takes the next answer), folder:PATH,
// btnRozbalit (its boxes take theirs), then close.
TEST_F(InstallWindowTest, ScriptedRunChoosesUnpacksAndCloses) {
  const std::string archive = t.file("rars/Magazin.zip");
  MakeZip(t, archive, {{"readme.txt", "Ahoj"}});
  std::filesystem::create_directories(t.file("out"));
  HeadlessPlatform headless;
  std::ostringstream err;
  ScriptedPlatform scripted(
      headless,
      AnswerQueue("btnFile, file:" + archive + ", folder:" + t.file("out") + ", btnRozbalit, ok, close, yes"),
      err);
  ScopedPlatform use(scripted);
  TfrmInstall window(console.sink, PAGEMOOR_UNRAR_LIBRARY);
  EXPECT_EQ(platform().showModal(window), 0);
  EXPECT_EQ(t.read("out/readme.txt"), "Ahoj");
  EXPECT_EQ(window.lblName()->text().toStdString(), archive);
  EXPECT_EQ(
      err.str(),
      "[ui] modal: frmInstall: Instalátor\n"
      "[ui] open: Open archive: Archives (*.RAR;*.ZIP)|*.RAR;*.ZIP|RAR Archives (*.RAR)|*.RAR|ZIP Archives "
      "(*.ZIP)|*.ZIP\n"
      "[ui] info: Information: Rozbalovani Dokonceno\n");
  AnswerQueue& queue = *scripted.scriptedAnswers();
  ASSERT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue.front().word, "yes");
}

TEST_F(InstallWindowTest, ScriptedRunLeavesOtherAnswersAndReportsMissingFolders) {
  struct Case {
    const char* answers;
    Strings remaining;
  };
  const Case cases[] = {
      {"", {}},
      {"yes", {"yes"}},
      {"close, yes", {"yes"}},
      {"folder:/no/such/folder, no", {"no"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers);
    HeadlessPlatform headless;
    std::ostringstream err;
    ScriptedPlatform scripted(headless, AnswerQueue(c.answers), err);
    ScopedPlatform use(scripted);
    test::LogConsole log;
    TfrmInstall window(log.sink, PAGEMOOR_UNRAR_LIBRARY);
    const std::string before = window.folder();
    EXPECT_EQ(platform().showModal(window), 0);
    EXPECT_EQ(window.folder(), before);
    Strings remaining;
    AnswerQueue& queue = *scripted.scriptedAnswers();
    while (!queue.empty()) remaining.push_back(queue.take().word);
    EXPECT_EQ(remaining, c.remaining);
    if (std::string(c.answers).starts_with("folder")) {
      EXPECT_EQ(log.Lines(), Strings{"Installer: Folder not found: /no/such/folder"});
    }
  }
}

// --- The folder list ---

void sendDoubleClick(QListWidget& list, int row) {
  const QPoint at = list.visualItemRect(list.item(row)).center();
  QWidget* viewport = list.viewport();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                            QEvent::MouseButtonRelease}) {
    QMouseEvent e(type, QPointF(at), viewport->mapToGlobal(QPointF(at)), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &e);
  }
}

class DirectoryListBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"tree/beta", "tree/Alpha", "tree/gamma", "tree/.hidden", "tree/Alpha/inner"})
      std::filesystem::create_directories(t.file(folder));
    t.write("tree/file.txt", "not a folder");
    QObject::connect(&box, &DirectoryListBox::folderChanged,
                     [this](const QString& f) { changes.push_back(f.toStdString()); });
    box.resize(193, 400);
    box.show();
  }

  Strings texts() const {
    Strings lines;
    for (int i = 0; i < box.count(); ++i) lines.push_back(box.item(i)->text().toStdString());
    return lines;
  }
  int rowOf(const std::string& text) const {
    for (int i = 0; i < box.count(); ++i)
      if (box.item(i)->text().toStdString() == text) return i;
    return -1;
  }
  int level(int row) const { return box.item(row)->data(DirectoryListBox::kLevelRole).toInt(); }

  TempFolder t;
  DirectoryListBox box;
  Strings changes;
};

TEST_F(DirectoryListBoxTest, StepsFromTheRootThenSubfoldersSortedWithoutCase) {
  const std::string tree = t.file("tree");
  ASSERT_TRUE(box.setFolder(tree + "/"));
  EXPECT_EQ(box.folder(), tree);
  EXPECT_EQ(changes, Strings{tree});

  const Strings lines = texts();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines.front(), "/");
  EXPECT_EQ(Strings(lines.end() - 4, lines.end()), (Strings{"tree", "Alpha", "beta", "gamma"}));
  // One line per step of the path.
  const auto steps = static_cast<int>(std::count(tree.begin(), tree.end(), '/'));
  EXPECT_EQ(static_cast<int>(lines.size()), 1 + steps + 3);
  EXPECT_EQ(box.folderAt(0), "/");
  EXPECT_EQ(box.folderAt(rowOf("tree")), tree);
  EXPECT_EQ(box.folderAt(rowOf("beta")), tree + "/beta");
  EXPECT_EQ(box.currentRow(), rowOf("tree"));
  for (int row = 1; row <= steps; ++row) EXPECT_EQ(level(row), level(row - 1) + 1);
  EXPECT_EQ(level(rowOf("Alpha")), level(rowOf("tree")) + 1);
  EXPECT_EQ(level(rowOf("gamma")), level(rowOf("tree")) + 1);
}

TEST_F(DirectoryListBoxTest, DoubleClickAndEnterOpenALine) {
  box.setFolder(t.file("tree"));
  changes.clear();
  sendDoubleClick(box, rowOf("Alpha"));
  EXPECT_EQ(box.folder(), t.file("tree/Alpha"));
  EXPECT_EQ(changes, Strings{t.file("tree/Alpha")});
  EXPECT_EQ(texts().back(), "inner");

  // Enter on the line of a step goes back up.
  box.setCurrentRow(rowOf("tree"));
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&box, &enter);
  EXPECT_EQ(box.folder(), t.file("tree"));
  EXPECT_EQ(changes, (Strings{t.file("tree/Alpha"), t.file("tree")}));
}

TEST_F(DirectoryListBoxTest, FolderIsFoundWithoutCaseAndOnlyWhenItExists) {
  ASSERT_TRUE(box.setFolder(t.file("TREE/ALPHA/Inner")));
  EXPECT_EQ(box.folder(), t.file("tree/Alpha/inner"));
  changes.clear();
  for (const std::string& missing :
       {t.file("tree/delta"), t.file("tree/file.txt"), std::string("/no/such"), std::string()}) {
    SCOPED_TRACE(missing);
    EXPECT_FALSE(box.setFolder(missing));
    EXPECT_EQ(box.folder(), t.file("tree/Alpha/inner"));
  }
  EXPECT_TRUE(changes.empty());

  // Setting the current folder again reads it anew but changes nothing.
  EXPECT_TRUE(box.setFolder(t.file("tree/Alpha/inner/")));
  EXPECT_TRUE(changes.empty());
}

TEST_F(DirectoryListBoxTest, FolderRemovedSinceTheListWasReadIsDropped) {
  box.setFolder(t.file("tree"));
  changes.clear();
  std::filesystem::remove(t.file("tree/gamma"));
  box.openRow(rowOf("gamma"));
  EXPECT_EQ(box.folder(), t.file("tree"));
  EXPECT_TRUE(changes.empty());
  EXPECT_EQ(rowOf("gamma"), -1);
}

TEST_F(DirectoryListBoxTest, RootShowsOneLineThenItsFolders) {
  ASSERT_TRUE(box.setFolder("/"));
  EXPECT_EQ(box.folder(), "/");
  ASSERT_GE(box.count(), 2);
  EXPECT_EQ(box.item(0)->text(), "/");
  EXPECT_EQ(box.currentRow(), 0);
  EXPECT_EQ(level(1), 1);
  EXPECT_EQ(box.folderAt(1), "/" + box.item(1)->text().toStdString());
}

TEST(ReaderVolumesTest, RootHomeThenRemovableAndMountedVolumes) {
  const char* mounts =
      "sysfs /sys sysfs rw,nosuid 0 0\n"
      "proc /proc proc rw 0 0\n"
      "/dev/sda1 / ext4 rw 0 0\n"
      "/dev/sdb1 /media/jana/USB\\040DISK vfat rw 0 0\n"
      "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
      "/dev/sdc1 /mnt ext4 rw 0 0\n"
      "server:/share /mnt/net nfs4 rw 0 0\n"
      "/dev/sdd1 /run/media/jana/Data ntfs3 rw 0 0\n"
      "tmpfs /run tmpfs rw 0 0\n"
      "systemd-1 /mnt/auto autofs rw 0 0\n"
      "binfmt_misc /media/binfmt binfmt_misc rw 0 0\n"
      "/dev/sde1 /mediaextra ext4 rw 0 0\n"
      "/dev/sdb1 /media/jana/USB\\040DISK vfat rw 0 0\n"
      "/dev/sdf1 /home/jana ext4 rw 0 0\n"
      "broken line\n";
  const Strings roots = ReaderVolumes(mounts, "/home/jana/");
  EXPECT_EQ(roots, (Strings{"/", "/home/jana", "/media/jana/USB DISK", "/media/cdrom", "/mnt", "/mnt/net",
                            "/run/media/jana/Data"}));
  EXPECT_EQ(ReaderVolumes("", ""), Strings{"/"});
  EXPECT_EQ(ReaderVolumes("", "/"), Strings{"/"});

  struct Case {
    const char* folder;
    int volume;
  };
  for (const Case& c : {Case{"/", 0}, Case{"/usr/share", 0}, Case{"/home/jana", 1}, Case{"/home/jana/hry", 1},
                        Case{"/home/janaX", 0}, Case{"/media/jana/USB DISK/x", 2}, Case{"/mnt/other", 4},
                        Case{"/mnt/net/a", 5}, Case{"/mntx", 0}}) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(VolumeOf(roots, c.folder), c.volume);
  }
}

}  // namespace
}  // namespace pagemoor
