#include <cstdlib>

#include "common/Application.h"
#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/MagazineFiles.h"
#include "common/MagazineFolder.h"
#include "common/Strings.h"
#include "hypertext/PageModel.h"
#include "hypertext/References.h"
#include "platform/Platform.h"
#include "viewer/DocumentServices.h"
#include "viewer/LinkRules.h"
#include "viewer/MagazineSession.h"

// Links, right clicks, hover sounds, console keys, timer scrolling, what the
// panes ask for, and the image buttons.
//
// A button's command may destroy every button, the clicked one included
// ("reset_buttons" on a button): the screen keeps the clicked control until
// its handler has returned, and a number no longer among the records does
// nothing here.

namespace pagemoor {

namespace {

// Pixels per timer tick.
constexpr int kScrollStep = 1;

// Replaces the bytes only when the file is there and can be read.
void LoadExisting(const std::string& path, std::string& stream) {
  if (!FileExists(path)) return;
  if (std::optional<std::string> bytes = ReadMagazineFile(path, FileKind::Picture))
    stream = std::move(*bytes);
}

}  // namespace

// --- Links ---

void MagazineSession::hotSpotClick(std::optional<Pane> pane, const std::string& src, bool& handled) {
  inPaneEvent(pane, [&] {
    // Every link clicks, whatever it then does.
    playConfiguredSound("sounds.ini", "link_click");
    handled = false;

    if (IsLocalLink(src)) {
      const LocalLink link = SplitLocalLink(src);
      const std::string expanded =
          pane ? m_screen.expandReference(*pane, link.filePart) : ExpandReference(link.filePart, {});
      const std::string path = LeftChars(expanded, kLinkTextLimit);
      switch (LocalLinkKind(path)) {
        case LinkKind::Wave:
          handled = true;
          playSoundFile(path);
          break;
        case LinkKind::Program:
          handled = true;
          startWindowsProgram(path, link.parameters);
          break;
        case LinkKind::Media:
          handled = true;
          openForMagazine(path);
          break;
        default:
          // Pages and anchors: the pane follows the link itself.
          break;
      }
      return;
    }

    switch (SchemeLinkKind(src)) {
      case LinkKind::Mail:
        // The address is only logged; the mailer opens with its usual fields.
        m_log.Log("Mailer", "Link: " + AsciiUpper(src));
        m_screen.showWindowModally(ViewerWindow::Mailer);
        handled = true;
        break;
      case LinkKind::Web:
        openForMagazine(src);
        handled = true;
        break;
      case LinkKind::Command:
        handled = true;
        dispatch(src);
        break;
      default:
        break;
    }
  });
}

void MagazineSession::startWindowsProgram(const std::string& path, const std::string& parameters) {
  // Windows programs run through Wine, in their own folder.
  const char* searchPath = std::getenv("PATH");
  if (!FindProgramOnPath("wine", searchPath ? searchPath : "")) {
    m_log.Log("Shell", "Wine is not installed: cannot start " + ShownPath(path));
    return;
  }
  // Only a program of the magazine, and only once the reader said yes.
  const std::optional<std::string> program = m_launchPolicy.programToStart(path, parameters, ProjectDir());
  if (!program) return;
  platform().startProgram(WineCommandLine(*program, parameters), ExtractFilePath(*program));
}

bool MagazineSession::openForMagazine(const std::string& target) {
  const std::optional<std::string> document = m_launchPolicy.documentToOpen(target, ProjectDir());
  if (!document) return false;
  // The desktop's answer is not looked at: a target nothing opens is no error here.
  platform().openDocument(*document);
  return true;
}

// --- Hover sound ---

void MagazineSession::setHoverArmed(bool armed) {
  m_hoverArmed = armed;
  m_screen.hoverSoundArmedChanged(armed);
}

void MagazineSession::hotSpotCovered() {
  // Onto a link and off it alike.
  playHoverSound();
}

void MagazineSession::consoleButtonMouseMove() {
  playHoverSound();
}

void MagazineSession::playHoverSound() {
  if (!m_hoverArmed) return;
  setHoverArmed(false);
  playConfiguredSound("main.ini", "link_on_move");
}

void MagazineSession::desktopMouseMove() {
  setHoverArmed(true);
  stopScrolling();
  resetStateButtons();
}

void MagazineSession::resetStateButtons() {
  for (int n = 1; n <= buttonCount(); ++n)
    if (buttonRecord(n)->normal) m_screen.setButtonFrame(n, 1);
}

// --- Going back ---

void MagazineSession::rightClick(std::optional<Pane> pane) {
  if (!pane) return;
  inPaneEvent(pane, [&] {
    const MagazineFolder folder;
    const bool canGoBack = m_screen.historyIndex(*pane) < m_screen.historyCount(*pane) - 1;
    std::string path = folder.sounds(ReadIniValue(folder.ini("sounds.ini"), "start", "back_click"));
    if (!canGoBack) path = folder.sounds(ReadIniValue(folder.ini("main.ini"), "start", "back_click_error"));
    if (FileExists(path)) playSoundFile(path);

    const char* fallback = *pane == Pane::Main   ? "go_back_main"
                           : *pane == Pane::Left ? "go_back_left"
                                                 : "go_back_top";
    // The page's own command, by its file name; the error page has none.
    const std::string command = ReadIniDefault(folder.ini("main.ini"), "right_click",
                                               ExtractFileName(m_screen.currentDocument(*pane)), fallback);
    dispatch(command);
  });
}

// --- Form objects ---

void MagazineSession::objectClick(const FormControl& control, const std::string& onClick) {
  if (onClick.empty()) return;
  std::string text = onClick;
  if (onClick == "display") {
    if (control.kind == "checkbox")
      text = control.value + " is " + (control.checked ? "checked" : "unchecked");
    else if (control.kind == "radio")
      text = control.value + " is checked";
    else
      return;
  }
  platform().showMessage(ApplicationTitle(), text);
}

// --- Keys and the console button ---

void MagazineSession::keyPress(char32_t key) {
  if (IsConsoleKey(key) && m_console.live()) console().setVisible(true);
}

void MagazineSession::keyUp() {
  stopScrolling();
}

void MagazineSession::consoleButtonClick() {
  setHoverArmed(false);
  playConfiguredSound("sounds.ini", "link_click");
  if (m_console.live()) console().setVisible(!console().Visible());
}

// --- Timer scrolling ---

void MagazineSession::stopScrolling() {
  m_scrollSelector = 0;
  m_screen.stopScrollTimers();
}

void MagazineSession::startScroll(ScrollTimer timer) {
  const bool main = timer == ScrollTimer::MainUp || timer == ScrollTimer::MainDown;
  m_scrollSelector = main ? 1 : 2;
  m_screen.startScrollTimer(timer);
}

void MagazineSession::scrollTick(ScrollTimer timer) {
  const bool main = timer == ScrollTimer::MainUp || timer == ScrollTimer::MainDown;
  const bool up = timer == ScrollTimer::MainUp || timer == ScrollTimer::LeftUp;
  // Only the pane the last scroll control started; a key released stops all.
  if (m_scrollSelector != (main ? 1 : 2)) return;
  const Pane pane = main ? Pane::Main : Pane::Left;
  m_screen.setScrollPosition(pane, m_screen.scrollPosition(pane) + (up ? -kScrollStep : kScrollStep));
}

// --- What the panes ask for ---

void MagazineSession::playSoundFile(const std::string& path) {
  m_screen.playSound(path, PlaysAsSample(path));
}

void MagazineSession::imageRequest(std::optional<Pane> pane, const std::string& src, std::string& stream) {
  stream.clear();
  if (!pane) return;
  // Beside the page first; the project's pictures folder wins when it has the picture too.
  LoadExisting(m_screen.expandReference(*pane, src), stream);
  LoadExisting(MagazineFolder().pictures(ReferenceToPath(src)), stream);
}

void MagazineSession::soundRequest(std::optional<Pane> pane, const std::string& src) {
  if (!pane) return;
  // An empty SRC (a new document) names the page's folder: nothing plays, nothing stops.
  const std::string path = m_screen.expandReference(*pane, src);
  if (FileExists(path)) playSoundFile(path);
}

std::string MagazineSession::include(const std::string& command, const std::vector<std::string>& params) {
  return IncludeText(command, params, MagazineFolder().ini("contacts.ini"), m_clock);
}

void MagazineSession::processing(std::optional<Pane> pane) {
  if (!pane) return;
  const std::string text = m_screen.coveredLink(*pane);
  const char* source = *pane == Pane::Main ? "Main" : *pane == Pane::Left ? "Left" : "Top";
  if (!text.empty()) m_log.Log(source, text);
}

// --- Image buttons ---

void MagazineSession::createButtons(const std::string& fileName) {
  m_log.Log("System", "Creating Buttons ...");
  // Normally done by the reset already; never leaves controls without records.
  destroyButtons();
  // A cursor that is no number throws here, before any control exists.
  m_buttonRecords = ReadButtonRecords(MagazineFolder().ini(fileName));
  if (!m_buttonRecords.empty()) m_screen.createButtons(m_buttonRecords);
}

void MagazineSession::destroyButtons() {
  m_buttonRecords.clear();
  m_screen.destroyButtons();
}

void MagazineSession::buttonMouseMove(int n) {
  const ButtonRecord* record = buttonRecord(n);
  if (!record) return;
  m_buttonUnderMouse = n;
  m_screen.buttonUnderMouseChanged(n);
  if (record->normal) m_screen.setButtonFrame(n, 2);
  for (int i = 1; i <= buttonCount(); ++i)
    if (i != n && buttonRecord(i)->normal) m_screen.setButtonFrame(i, 1);
}

void MagazineSession::buttonMouseDown(int n) {
  const ButtonRecord* record = buttonRecord(n);
  if (record && record->normal) m_screen.setButtonFrame(n, 3);
}

void MagazineSession::buttonMouseUp(int n) {
  // After a click whose command destroyed the buttons there is nothing to light.
  if (!buttonRecord(n)) return;
  buttonMouseMove(n);
  platform().processEvents();
}

void MagazineSession::buttonClick(int n) {
  const ButtonRecord* record = buttonRecord(n);
  if (!record) return;
  if (record->normal) m_screen.setButtonFrame(n, 3);
  setHoverArmed(false);
  playConfiguredSound("sounds.ini", "link_click");
  // A copy: the command may destroy the buttons and their records.
  const std::string command = record->command;
  dispatch(command);
}

const ButtonRecord* MagazineSession::buttonRecord(int n) const {
  return n >= 1 && n <= buttonCount() ? &m_buttonRecords[static_cast<std::size_t>(n - 1)] : nullptr;
}

// --- Helpers ---

void MagazineSession::playConfiguredSound(const char* iniFile, const char* key) {
  // A missing key names the sounds folder itself, which is no file.
  const MagazineFolder folder;
  const std::string path = folder.sounds(ReadIniValue(folder.ini(iniFile), "start", key));
  if (FileExists(path)) playSoundFile(path);
}

}  // namespace pagemoor
