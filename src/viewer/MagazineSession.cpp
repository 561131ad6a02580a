#include "viewer/MagazineSession.h"

#include "common/Application.h"
#include "common/CommandLine.h"
#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/IniLang.h"
#include "common/MagazineFolder.h"
#include "common/Strings.h"
#include "console/ScriptRunner.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "viewer/Shutdown.h"

// The command set and the start sequence.

namespace pagemoor {

namespace {

constexpr const char* kSystem = "System";

using Handler = void (*)(MagazineSession&, Sender, const std::string&);

struct CommandRow {
  const char* name;
  const char* description;
  Handler handler;
};

// The command language, in the order of registration (and of the list
// command's boxes). The console adds its own list command after these.
const CommandRow kCommands[] = {
    {"show", "Zobrazí okno zadané jako parametr",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdShow(p); }},
    {"install", "Zobrazí instalátor a zadá rozbalit soubor obsažený v parametru",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdInstall(p); }},
    {"message", "Zobrazí zprávu s textem v parametru",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdMessage(p); }},
    {"run_script", "Spustí dávkový skript příkazů",
     [](MagazineSession& s, Sender sender, const std::string& p) { s.cmdRunScript(sender, p); }},
    {"load_main", "Načte soubor zadaný jako parametr do hlavního textového pole",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdLoad(Pane::Main, p); }},
    {"load_left", "Načte soubor zadaný jako parametr do levého textového pole",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdLoad(Pane::Left, p); }},
    {"load_top", "Načte soubor zadaný jako parametr do horního textového pole",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdLoad(Pane::Top, p); }},
    {"exit", "Ukončí program, parametr. Použijte parametr NOW pro okamžité opuštění bez dotazu",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdExit(p); }},
    {"slideshow", "Spustí slideshow obrázků zadaných jako parametr",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdSlideShow(p); }},
    {"play", "Přehraje zvuk nebo hudbu zadanou jako parametr",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdPlay(p); }},
    {"minimize", "Minimalizuje aplikaci",
     [](MagazineSession& s, Sender, const std::string&) { s.cmdMinimize(); }},
    {"show_desktop", "Ukáže desktop",
     [](MagazineSession& s, Sender, const std::string&) { s.cmdShowDesktop(); }},
    {"toggle_console", "Přepne Konzoli",
     [](MagazineSession& s, Sender, const std::string&) { s.cmdToggleConsole(); }},
    {"go_back_left", "Přesune v levé komponentě na předchozí dokument",
     [](MagazineSession& s, Sender, const std::string&) { s.cmdGoBack(Pane::Left); }},
    {"go_back_top", "Přesune v horní komponentě na předchozí dokument",
     [](MagazineSession& s, Sender, const std::string&) { s.cmdGoBack(Pane::Top); }},
    {"go_back_main", "Přesune v hlavní komponentě na předchozí dokument",
     [](MagazineSession& s, Sender, const std::string&) { s.cmdGoBack(Pane::Main); }},
    {"shell_execute", "Otevře soubor zadaný v parametru ve windowsích",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdShellExecute(p); }},
    {"fill_custom_ini", "Vyplní ini soubor údaji pro lokalizaci",
     [](MagazineSession& s, Sender, const std::string&) { s.cmdFillCustomIni(); }},
    {"reset_buttons", "Načte znova všechny tlačítka z INI souboru",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdResetButtons(p); }},
    {"load_top_image", "Načte obrázek titulku",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdLoadTopImage(p); }},
    {"show_top_image", "Ukáže/skryje obrázek titulku",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdShowTopImage(p); }},
    {"load_desktop", "Načte obrázek plochy",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdLoadDesktop(p); }},
    {"reset_main", "Nahraje nastavení textového pole MAIN na hodnoty ze souboru",
     [](MagazineSession& s, Sender, const std::string& p) { s.setUpPane(Pane::Main, p); }},
    {"reset_left", "Nahraje nastavení textového pole LEFT na hodnoty ze souboru",
     [](MagazineSession& s, Sender, const std::string& p) { s.setUpPane(Pane::Left, p); }},
    {"reset_top", "Nahraje nastavení textového pole TOP na hodnoty ze souboru",
     [](MagazineSession& s, Sender, const std::string& p) { s.setUpPane(Pane::Top, p); }},
    {"load_music_list", "Nahraje seznam skladeb do jukeboxu",
     [](MagazineSession& s, Sender, const std::string& p) { s.cmdLoadMusicList(p); }},
};

// Thrown by a command that ended the reading while other commands (a script)
// were running around it: it unwinds them, so no later line of a script runs
// after the end. The outermost command swallows it.
struct ReadingEnded {};

void Message(const char* key) {
  ShowInfo(TranslateKey(key));
}

const char* SourceOf(Pane pane) {
  switch (pane) {
    case Pane::Main:
      return "Main";
    case Pane::Left:
      return "Left";
    case Pane::Top:
      return "Top";
  }
  return "";
}

}  // namespace

MagazineSession::MagazineSession(ViewerScreen& screen, LogSink& log, SessionConsole console)
    : m_screen(screen),
      m_log(log),
      m_console(std::move(console)),
      m_launchPolicy([this](std::string_view source, std::string_view text) { m_log.Log(source, text); }) {}

MagazineSession::~MagazineSession() = default;

void MagazineSession::setScripts(std::unique_ptr<ScriptRunner> scripts) {
  m_scripts = std::move(scripts);
}

const std::vector<std::string>& MagazineSession::errorPage() {
  static const std::vector<std::string> page = {
      "<html>",
      "<head><title>Error</title></head>",
      "<body bgcolor=\"#000000\" text=\"#FFFFFF\" link=\"#FF0000\" vlink=\"#FF0000\" alink=\"#FF0000\">",
      "<p align=\"center\"><font color=\"#FFFF00\"><b><u>PAGEMOOR ERROR</u></b></font></p>",
      "<p>Program nebyl schopen načíst požadovaný soubor. Soubor chybí, nebo není v podporovaném "
      "textovém či HTML formátu.</p>",
      "<p align=\"center\"><a href=\"con_com:exit now\">Opustit Program</a></p>",
      "</body>",
      "</html>",
  };
  return page;
}

// --- The command table ---

void MagazineSession::registerCommands() {
  for (const CommandRow& row : kCommands) {
    console().AddCommand(row.name, row.description,
                         [this, handler = row.handler](Sender sender, const std::string& params) {
                           runCommand([&] { handler(*this, sender, params); });
                         });
  }
}

void MagazineSession::runCommand(const std::function<void()>& handler) {
  // A line that reaches the console after the reading ended does nothing.
  if (!m_console.live()) return;
  struct Depth {
    int& depth;
    explicit Depth(int& d) : depth(d) { ++depth; }
    ~Depth() { --depth; }
  } depth(m_commandDepth);
  try {
    handler();
  } catch (const ReadingEnded&) {
    if (m_commandDepth > 1) throw;
    return;
  }
  if (!m_console.live() && m_commandDepth > 1) throw ReadingEnded{};
}

void MagazineSession::dispatch(const std::string& line) {
  if (!m_console.live()) return;
  console().Dispatch(line);
}

void MagazineSession::cmdShow(const std::string& params) {
  const std::string name = AsciiLower(params);
  ViewerWindow window;
  if (name == "cp") {
    window = ViewerWindow::Jukebox;
  } else if (name == "credits") {
    window = ViewerWindow::Credits;
  } else if (name == "install") {
    window = ViewerWindow::Installer;
  } else if (name == "mailer") {
    window = ViewerWindow::Mailer;
  } else if (name.empty()) {
    Message("not_enough_parameters");
    return;
  } else {
    ShowInfo(FormatText(TranslateKey("bad_parameter_for_show"), {name}));
    return;
  }
  m_screen.showWindowModally(window);
}

void MagazineSession::cmdInstall(const std::string& params) {
  const std::string name = AsciiLower(params);
  if (name.empty()) {
    Message("not_enough_parameters");
    return;
  }
  if (!m_screen.hasWindow(ViewerWindow::Installer)) return;
  // The archive as it lies on disk: a path in capitals, or with the
  // magazine's backslash, names no file here.
  const std::string path = MagazineFolder().rars(name);
  if (FileExists(path)) m_screen.setInstallerArchive(ShownPath(path));
  m_screen.showWindowModally(ViewerWindow::Installer);
}

void MagazineSession::cmdMessage(const std::string& params) {
  ShowInfo(params);
}

void MagazineSession::cmdRunScript(Sender sender, const std::string& params) {
  if (m_scripts) m_scripts->cmdRun_Script(sender, params);
}

void MagazineSession::runScript(const std::string& name) {
  if (m_scripts) m_scripts->RunScript(name);
}

void MagazineSession::cmdLoad(Pane pane, const std::string& params) {
  m_log.Log(SourceOf(pane), "Loading " + params);
  const std::string path = MagazineFolder().texts(AsciiLower(params));
  changePane(pane, [this, pane, path] {
    // The error page first: a page that cannot be shown leaves it in the pane.
    m_screen.showPageLines(pane, errorPage());
    if (FileExists(path)) m_screen.showPageFile(pane, path);
  });
}

void MagazineSession::cmdGoBack(Pane pane) {
  changePane(pane, [this, pane] {
    // One document back in the pane's history; at the oldest nothing happens.
    const int older = m_screen.historyIndex(pane) + 1;
    if (older < m_screen.historyCount(pane)) m_screen.setHistoryIndex(pane, older);
  });
}

void MagazineSession::cmdExit(const std::string& params) {
  if (m_shutdown) m_shutdown->ExitProgram(AsciiLower(params) != "now");
}

void MagazineSession::cmdSlideShow(const std::string& params) {
  m_screen.startSlideShow(params);
}

void MagazineSession::cmdPlay(const std::string& params) {
  const std::string name = AsciiLower(params);
  m_log.Log("Sound", "Playing " + params);
  m_log.Log("Sound", "Play " + name);
  playSoundFile(MagazineFolder().sounds(name));
}

void MagazineSession::cmdMinimize() {
  m_screen.minimise();
}

void MagazineSession::cmdShowDesktop() {
  for (Pane pane : kPanes) m_screen.setPaneVisible(pane, true);
}

void MagazineSession::cmdToggleConsole() {
  if (m_console.live()) console().setVisible(!console().Visible());
}

void MagazineSession::cmdShellExecute(const std::string& params) {
  m_log.Log("Shell", "Execute " + params);
  if (params.empty()) {
    m_log.Log("Shell", "Not enough parameters for EXECUTE");
    Message("not_enough_parameters_for_shell_execute");
    return;
  }
  // Asked before minimising: a refused target leaves the reading as it was.
  const std::optional<std::string> document = m_launchPolicy.documentToOpen(params, ProjectDir());
  if (!document) return;
  cmdMinimize();
  // The desktop's answer is not looked at: a target nothing opens is no error here.
  platform().openDocument(*document);
}

void MagazineSession::cmdFillCustomIni() {
  m_log.Log("Shell", "Fill Custom INI");
  // A localisation file that cannot be written leaves the reading as it was.
  m_screen.fillCustomIni();
}

void MagazineSession::cmdLoadTopImage(const std::string& params) {
  const std::string path = MagazineFolder().pictures(params);
  if (!FileExists(path)) return;
  try {
    m_screen.loadPicture(Picture::Top, path);
  } catch (const std::exception&) {
    // A title picture that cannot be shown leaves the old one.
  }
}

void MagazineSession::cmdShowTopImage(const std::string& params) {
  m_screen.setPictureVisible(Picture::Top, TextToBool(params));
}

void MagazineSession::cmdLoadDesktop(const std::string& params) {
  const std::string path = MagazineFolder().pictures(params);
  if (FileExists(path)) m_screen.loadPicture(Picture::Desktop, path);
}

void MagazineSession::cmdLoadMusicList(const std::string& params) {
  m_log.Log("Sound", "LoadList (" + params + ")");
  const std::string path = MagazineFolder().ini(params);
  if (!m_screen.hasWindow(ViewerWindow::Jukebox) || !FileExists(path)) return;
  // Reads the list, replaces the jukebox's paths with it and rebuilds the titles.
  m_screen.loadMusicList(ResolveExisting(path).value_or(path));
}

void MagazineSession::cmdResetButtons(const std::string& params) {
  if (!FileExists(MagazineFolder().ini(params))) return;
  m_log.Log(kSystem, "Reset Buttons (" + params + ")");
  m_log.Log(kSystem, "Destroy Buttons");
  destroyButtons();
  createButtons(params);
  m_log.Log(kSystem, "Reset Complete");
}

void MagazineSession::setUpPane(Pane pane, const std::string& fileName) {
  const bool main = pane == Pane::Main;
  const bool top = pane == Pane::Top;
  const char* section = main ? "html_main" : top ? "html_top" : "html_left";
  const std::string file = MagazineFolder().ini(fileName);
  auto read = [&](const char* key, const char* fallback) {
    return AsciiLower(ReadIniDefault(file, section, key, fallback));
  };
  auto number = [&](const char* key) { return static_cast<int>(StrToIntDef(read(key, "1"), 1)); };

  PanePlacement placement;
  placement.visible = TextToBool(read("visible", main ? "true" : "false"));
  const std::string align = read("align", main ? "none" : top ? "top" : "left");
  placement.align = PaneAlign::Client;
  if (align == "none") placement.align = PaneAlign::None;
  if (align == "top") placement.align = PaneAlign::Top;
  if (align == "bottom") placement.align = PaneAlign::Bottom;
  if (align == "left") placement.align = PaneAlign::Left;
  if (align == "right") placement.align = PaneAlign::Right;
  placement.left = number("left");
  placement.top = number("top");
  placement.width = number("width");
  placement.height = number("height");
  m_screen.placePane(pane, placement);
}

// --- Start ---

void MagazineSession::setUpCursors() {
  m_screen.resetCursors();
  const MagazineFolder folder;
  const std::string ini = folder.ini("cursors.ini");
  const std::string normal = folder.cursors(ReadIniValue(ini, "cursors", "normal_cursor"));
  const std::string link = folder.cursors(ReadIniValue(ini, "cursors", "link_cursor"));
  // A missing key names the folder itself, which is no file.
  const bool haveNormal = FileExists(normal);
  const bool haveLink = FileExists(link);
  if (haveNormal) m_screen.loadCursor(kNormalCursor, normal);
  if (haveLink) m_screen.loadCursor(kLinkCursor, link);
  if (haveNormal) m_screen.loadCursor(0, normal);
  if (haveNormal) m_screen.loadCursor(-2, normal);
  if (haveLink) m_screen.loadCursor(1, link);
  if (haveLink) m_screen.loadCursor(-21, link);
  m_screen.applyCursors();
}

void MagazineSession::start() {
  m_screen.showThinking("Initializing ...");

  const std::string project = IsDevelopMode() ? ChangeFileExt(ParamStr(0), ".UNP") : m_launcher.project;
  const std::string title = ReadIniValue(project, "uniproject", "name");
  SetApplicationTitle(title);

  for (Pane pane : kPanes) m_screen.showPageLines(pane, errorPage());
  m_screen.setTitle(title);

  m_log.Log(kSystem, "Console Initialization Completed");
  m_log.Log(kSystem, "Starting Main ...");
  m_log.Log(kSystem, "Starting \"" + title + "\"");

  selectDisplayMode();

  // The whole start command, and whatever it starts, runs before the rest.
  const std::string mainIni = MagazineFolder().ini("main.ini");
  dispatch(ReadIniValue(mainIni, "start", "start_command"));

  if (std::unique_ptr<LanguageFile> language = LoadLanguageFile("ini\\lang.ini")) {
    SetLanguageFile(std::move(language));
    m_screen.applyLanguage();
  }
  m_screen.setConsoleButtonVisible(
      TextToBool(ReadIniDefault(mainIni, "start", "btnconsole_visible", "true")));
  m_screen.startJukebox();
  // The screen-wide cursor override stays at the default: every control shows its own.
  m_screen.hideThinking();
}

void MagazineSession::selectDisplayMode() {
  m_useDirectX = true;
  const bool noDx = AsciiLower(ParamStr(2)) == "/no_dx";
  m_useDirectX = pagemoor::SelectDisplayMode(m_surface, m_desktop, m_log, noDx, m_launcher.useDirectX);
}

void MagazineSession::desktopProgress(int percent) {
  const bool done = percent >= 100;
  for (Pane pane : kPanes) m_screen.setPaneVisible(pane, done);
}

void MagazineSession::minimised() {
  m_log.Log(kSystem, "Minimize");
  m_screen.pauseMusic();
}

void MagazineSession::restored() {
  m_screen.resumeMusic();
  m_log.Log(kSystem, "Restore");
}

// --- Pane changes while a pane's event is handled ---

void MagazineSession::inPaneEvent(std::optional<Pane> pane, const std::function<void()>& handler) {
  if (pane) m_panesInEvent.push_back(*pane);
  std::exception_ptr failure;
  try {
    handler();
  } catch (...) {
    failure = std::current_exception();
  }
  if (pane) m_panesInEvent.pop_back();
  if (m_panesInEvent.empty()) runDeferred();
  if (failure) std::rethrow_exception(failure);
}

void MagazineSession::changePane(Pane pane, std::function<void()> change) {
  for (Pane busy : m_panesInEvent) {
    if (busy == pane) {
      m_deferred.push_back(std::move(change));
      return;
    }
  }
  change();
}

void MagazineSession::runDeferred() {
  while (!m_deferred.empty()) {
    const std::function<void()> change = std::move(m_deferred.front());
    m_deferred.pop_front();
    // A reading that ended meanwhile shows nothing more.
    if (m_console.live()) change();
  }
}

}  // namespace pagemoor
