#include "viewer/MainWindow.h"

#include <QLabel>
#include <QPointer>
#include <exception>

#include "app/qt/Localisation.h"
#include "common/HostPaths.h"
#include "common/IniLang.h"
#include "common/Strings.h"
#include "console/ConsoleWindow.h"
#include "console/DebugBox2.h"
#include "hypertext/HtmlPaneWidget.h"
#include "installer/InstallWindow.h"
#include "jukebox/JukeboxWindow.h"
#include "mailer/MailerWindow.h"
#include "pictures/CreditsWindow.h"
#include "pictures/ImageWidget.h"
#include "pictures/PictureViewerWindow.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "platform/qt/QtText.h"
#include "viewer/qt/ScaledScreen.h"

// The command set: the table and its handlers.

namespace pagemoor {

namespace {

using Handler = void (TfrmMain::*)(Sender, const std::string&);

struct CommandRow {
  const char* name;
  const char* description;
  Handler handler;
};

// The command language, in the order of registration (and of the list
// command's boxes). The console adds its own list command after these.
const CommandRow kCommands[] = {
    {"show", "Zobrazí okno zadané jako parametr", &TfrmMain::CmdShow},
    {"install", "Zobrazí instalátor a zadá rozbalit soubor obsažený v parametru", &TfrmMain::cmdInstall},
    {"message", "Zobrazí zprávu s textem v parametru", &TfrmMain::cmdMessage},
    {"run_script", "Spustí dávkový skript příkazů", &TfrmMain::cmdRun_Script},
    {"load_main", "Načte soubor zadaný jako parametr do hlavního textového pole", &TfrmMain::cmdLoad_Main},
    {"load_left", "Načte soubor zadaný jako parametr do levého textového pole", &TfrmMain::cmdLoad_Left},
    {"load_top", "Načte soubor zadaný jako parametr do horního textového pole", &TfrmMain::cmdLoad_Top},
    {"exit", "Ukončí program, parametr. Použijte parametr NOW pro okamžité opuštění bez dotazu",
     &TfrmMain::cmdExit},
    {"slideshow", "Spustí slideshow obrázků zadaných jako parametr", &TfrmMain::cmdSlideShow},
    {"play", "Přehraje zvuk nebo hudbu zadanou jako parametr", &TfrmMain::cmdPlay},
    {"minimize", "Minimalizuje aplikaci", &TfrmMain::cmdMinimize},
    {"show_desktop", "Ukáže desktop", &TfrmMain::cmdShowDesktop},
    {"toggle_console", "Přepne Konzoli", &TfrmMain::cmdToggle_Console},
    {"go_back_left", "Přesune v levé komponentě na předchozí dokument", &TfrmMain::cmdLeft_Go_Back},
    {"go_back_top", "Přesune v horní komponentě na předchozí dokument", &TfrmMain::cmdTop_Go_Back},
    {"go_back_main", "Přesune v hlavní komponentě na předchozí dokument", &TfrmMain::cmdMain_Go_Back},
    {"shell_execute", "Otevře soubor zadaný v parametru ve windowsích", &TfrmMain::cmdShell_Execute},
    {"fill_custom_ini", "Vyplní ini soubor údaji pro lokalizaci", &TfrmMain::cmdFillCustomIni},
    {"reset_buttons", "Načte znova všechny tlačítka z INI souboru", &TfrmMain::cmdReset_Buttons},
    {"load_top_image", "Načte obrázek titulku", &TfrmMain::cmdLoad_TopImage},
    {"show_top_image", "Ukáže/skryje obrázek titulku", &TfrmMain::cmdShow_TopImage},
    {"load_desktop", "Načte obrázek plochy", &TfrmMain::cmdLoad_Desktop},
    {"reset_main", "Nahraje nastavení textového pole MAIN na hodnoty ze souboru", &TfrmMain::cmdSetUpMain},
    {"reset_left", "Nahraje nastavení textového pole LEFT na hodnoty ze souboru", &TfrmMain::cmdSetUpLeft},
    {"reset_top", "Nahraje nastavení textového pole TOP na hodnoty ze souboru", &TfrmMain::cmdSetUpTop},
    {"load_music_list", "Nahraje seznam skladeb do jukeboxu", &TfrmMain::cmdLoad_MusicList},
};

// Thrown by a command that ended the reading while other commands (a script)
// were running around it: it unwinds them, so no later line of a script runs
// after the end. The outermost command swallows it.
struct ReadingEnded {};

void Message(const char* key) {
  ShowInfo(TranslateKey(key));
}

// Moves a pane one document back in its history; at the oldest nothing happens.
void GoBack(HtmlPaneWidget* pane) {
  const int older = pane->HistoryIndex() + 1;
  if (older < pane->HistoryCount()) pane->setHistoryIndex(older);
}

}  // namespace

void TfrmMain::setWindows(const ViewerWindows& windows) {
  m_windows = windows;
  // Their click sounds play as the viewer plays every sound.
  const QPointer<TfrmMain> self(this);
  auto play = [self](const std::string& path) {
    if (self) self->PlaySoundFile(path);
  };
  if (m_windows.pictureViewer) {
    m_windows.pictureViewer->setPlaySoundFile(play);
    m_windows.pictureViewer->setLinkCursor(cursorSlot(kLinkCursor).cursor());
  }
  if (m_windows.installer) m_windows.installer->setPlaySoundFile(play);
}

void TfrmMain::registerCommands() {
  for (const CommandRow& row : kCommands) {
    Console().AddCommand(row.name, row.description,
                         [this, handler = row.handler](Sender sender, const std::string& params) {
                           runCommand(handler, sender, params);
                         });
  }
}

void TfrmMain::runCommand(void (TfrmMain::*handler)(Sender, const std::string&), Sender sender,
                          const std::string& params) {
  // A line that reaches the console after the reading ended does nothing.
  if (!m_console) return;
  struct Depth {
    int& depth;
    explicit Depth(int& d) : depth(d) { ++depth; }
    ~Depth() { --depth; }
  } depth(m_commandDepth);
  try {
    (this->*handler)(sender, params);
  } catch (const ReadingEnded&) {
    if (m_commandDepth > 1) throw;
    return;
  }
  if (!m_console && m_commandDepth > 1) throw ReadingEnded{};
}

void TfrmMain::CmdShow(Sender /*sender*/, const std::string& params) {
  const std::string name = AsciiLower(params);
  ModalWindow* window = nullptr;
  if (name == "cp") {
    window = m_jukebox.data();
  } else if (name == "credits") {
    window = m_windows.credits;
  } else if (name == "install") {
    window = m_windows.installer;
  } else if (name == "mailer") {
    window = m_windows.mailer;
  } else if (name.empty()) {
    Message("not_enough_parameters");
    return;
  } else {
    ShowInfo(FormatText(TranslateKey("bad_parameter_for_show"), {name}));
    return;
  }
  if (window) platform().showModal(*window);
}

void TfrmMain::cmdInstall(Sender /*sender*/, const std::string& params) {
  const std::string name = AsciiLower(params);
  if (name.empty()) {
    Message("not_enough_parameters");
    return;
  }
  if (!m_windows.installer) return;
  // The archive as it lies on disk: a path in capitals, or with the
  // magazine's backslash, names no file here.
  const std::string path = ProjectDir() + "rars\\" + name;
  if (FileExists(path)) m_windows.installer->lblName()->setText(ToQt(ShownPath(path)));
  platform().showModal(*m_windows.installer);
}

void TfrmMain::cmdMessage(Sender /*sender*/, const std::string& params) {
  ShowInfo(params);
}

void TfrmMain::cmdRun_Script(Sender sender, const std::string& params) {
  m_scripts->cmdRun_Script(sender, params);
}

void TfrmMain::loadPage(HtmlPaneWidget* pane, const char* source, const std::string& params) {
  m_log.Log(source, "Loading " + params);
  // The error page first: a page that cannot be shown leaves it in the pane.
  pane->LoadDocumentLines(errorPage());
  const std::string path = ProjectDir() + "texts\\" + AsciiLower(params);
  if (FileExists(path)) pane->LoadDocument(path);
}

void TfrmMain::cmdLoad_Main(Sender /*sender*/, const std::string& params) {
  loadPage(m_htmlMain, "Main", params);
}
void TfrmMain::cmdLoad_Left(Sender /*sender*/, const std::string& params) {
  loadPage(m_htmlLeft, "Left", params);
}
void TfrmMain::cmdLoad_Top(Sender /*sender*/, const std::string& params) {
  loadPage(m_htmlTop, "Top", params);
}

void TfrmMain::cmdExit(Sender /*sender*/, const std::string& params) {
  m_shutdown->ExitProgram(AsciiLower(params) != "now");
}

void TfrmMain::cmdSlideShow(Sender sender, const std::string& params) {
  if (m_windows.pictureViewer) m_windows.pictureViewer->cmdSlideShow(sender, params);
}

void TfrmMain::cmdPlay(Sender /*sender*/, const std::string& params) {
  const std::string name = AsciiLower(params);
  m_log.Log("Sound", "Playing " + params);
  m_log.Log("Sound", "Play " + name);
  PlaySoundFile(ProjectDir() + "sounds\\" + name);
}

void TfrmMain::cmdMinimize(Sender /*sender*/, const std::string& /*params*/) {
  // What the reader sees: the full-screen presentation when there is one.
  if (m_scaled)
    m_scaled->showMinimized();
  else
    showMinimized();
}

void TfrmMain::cmdShowDesktop(Sender /*sender*/, const std::string& /*params*/) {
  for (HtmlPaneWidget* pane : {m_htmlMain, m_htmlLeft, m_htmlTop}) pane->setVisible(true);
}

void TfrmMain::cmdToggle_Console(Sender /*sender*/, const std::string& /*params*/) {
  Console().setVisible(!Console().Visible());
}

void TfrmMain::cmdLeft_Go_Back(Sender /*sender*/, const std::string& /*params*/) {
  GoBack(m_htmlLeft);
}
void TfrmMain::cmdTop_Go_Back(Sender /*sender*/, const std::string& /*params*/) {
  GoBack(m_htmlTop);
}
void TfrmMain::cmdMain_Go_Back(Sender /*sender*/, const std::string& /*params*/) {
  GoBack(m_htmlMain);
}

void TfrmMain::cmdShell_Execute(Sender /*sender*/, const std::string& params) {
  m_log.Log("Shell", "Execute " + params);
  if (params.empty()) {
    m_log.Log("Shell", "Not enough parameters for EXECUTE");
    Message("not_enough_parameters_for_shell_execute");
    return;
  }
  // Asked before minimising: a refused target leaves the reading as it was.
  const std::optional<std::string> document = m_launchPolicy.documentToOpen(params, ProjectDir());
  if (!document) return;
  cmdMinimize(nullptr, {});
  // The desktop's answer is not looked at: a target nothing opens is no error here.
  platform().openDocument(*document);
}

void TfrmMain::cmdFillCustomIni(Sender /*sender*/, const std::string& /*params*/) {
  m_log.Log("Shell", "Fill Custom INI");
  std::vector<QWidget*> windows = {this};
  for (QWidget* window : m_localised)
    if (window) windows.push_back(window);
  try {
    FillCustomIni(windows);
  } catch (const std::exception&) {
    // A localisation file that cannot be written leaves the reading as it was.
  }
}

void TfrmMain::cmdLoad_TopImage(Sender /*sender*/, const std::string& params) {
  const std::string path = ProjectDir() + "pictures\\" + params;
  if (!FileExists(path)) return;
  try {
    LoadPicture(path, *m_imgTop, m_log);
  } catch (const std::exception&) {
    // A title picture that cannot be shown leaves the old one.
  }
}

void TfrmMain::cmdShow_TopImage(Sender /*sender*/, const std::string& params) {
  m_imgTop->setVisible(TextToBool(params));
}

void TfrmMain::cmdLoad_Desktop(Sender /*sender*/, const std::string& params) {
  const std::string path = ProjectDir() + "pictures\\" + params;
  if (FileExists(path)) LoadPicture(path, *m_imgDesktop, m_log);
}

void TfrmMain::cmdSetUpMain(Sender /*sender*/, const std::string& params) {
  SetUpPane(m_htmlMain, params);
}
void TfrmMain::cmdSetUpLeft(Sender /*sender*/, const std::string& params) {
  SetUpPane(m_htmlLeft, params);
}
void TfrmMain::cmdSetUpTop(Sender /*sender*/, const std::string& params) {
  SetUpPane(m_htmlTop, params);
}

void TfrmMain::cmdLoad_MusicList(Sender /*sender*/, const std::string& params) {
  m_log.Log("Sound", "LoadList (" + params + ")");
  const std::string path = ProjectDir() + "ini\\" + params;
  if (!m_jukebox || !FileExists(path)) return;
  // Reads the list, replaces the jukebox's paths with it and rebuilds the titles.
  m_jukebox->jukebox().LoadPlaylistFile(ResolveExisting(path).value_or(path));
}

void TfrmMain::RunScript(const std::string& name) {
  m_scripts->RunScript(name);
}

}  // namespace pagemoor
