#include "viewer/MainWindow.h"

#include <QLabel>
#include <QTimer>
#include <cstdlib>

#include "common/Application.h"
#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/Strings.h"
#include "console/DebugBox2.h"
#include "hypertext/HtmlPaneWidget.h"
#include "hypertext/References.h"
#include "mailer/MailerWindow.h"
#include "pictures/GifImageWidget.h"
#include "platform/Platform.h"
#include "viewer/LinkRules.h"

// Links, right clicks, hover sounds, console keys and timer scrolling.

namespace pagemoor {

namespace {

// Pixels per timer tick.
constexpr int kScrollStep = 1;

}  // namespace

// --- Links ---

void TfrmMain::htmlMainHotSpotClick(Sender sender, const std::string& SRC, bool& Handled) {
  // Every link clicks, whatever it then does.
  playConfiguredSound("sounds.ini", "link_click");
  Handled = false;

  if (IsLocalLink(SRC)) {
    const LocalLink link = SplitLocalLink(SRC);
    const HtmlPaneWidget* pane = paneOf(sender);
    const std::string expanded =
        pane ? pane->ExpandReference(link.filePart) : ExpandReference(link.filePart, {});
    const std::string path = LeftChars(expanded, kLinkTextLimit);
    switch (LocalLinkKind(path)) {
      case LinkKind::Wave:
        Handled = true;
        PlaySoundFile(path);
        break;
      case LinkKind::Program:
        Handled = true;
        startWindowsProgram(path, link.parameters);
        break;
      case LinkKind::Media:
        Handled = true;
        openForMagazine(path);
        break;
      default:
        // Pages and anchors: the pane follows the link itself.
        break;
    }
    return;
  }

  switch (SchemeLinkKind(SRC)) {
    case LinkKind::Mail:
      // The address is only logged; the mailer opens with its usual fields.
      m_log.Log("Mailer", "Link: " + AsciiUpper(SRC));
      if (m_windows.mailer) platform().showModal(*m_windows.mailer);
      Handled = true;
      break;
    case LinkKind::Web:
      openForMagazine(SRC);
      Handled = true;
      break;
    case LinkKind::Command:
      Handled = true;
      runConsoleLine(SRC);
      break;
    default:
      break;
  }
}

void TfrmMain::startWindowsProgram(const std::string& path, const std::string& parameters) {
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

bool TfrmMain::openForMagazine(const std::string& target) {
  const std::optional<std::string> document = m_launchPolicy.documentToOpen(target, ProjectDir());
  if (!document) return false;
  // The desktop's answer is not looked at: a target nothing opens is no error here.
  platform().openDocument(*document);
  return true;
}

// --- Hover sound ---

void TfrmMain::htmlMainHotSpotCovered(Sender /*sender*/, const std::string& /*SRC*/) {
  // Onto a link and off it alike.
  playHoverSound();
}

void TfrmMain::btnConsoleMouseMove() {
  playHoverSound();
}

void TfrmMain::playHoverSound() {
  if (!hoverSoundArmed()) return;
  m_sndLabel->setText(QStringLiteral("0"));
  playConfiguredSound("main.ini", "link_on_move");
}

void TfrmMain::imgDesktopMouseMove() {
  m_sndLabel->setText(QStringLiteral("1"));
  stopScrolling();
  resetStateButtons();
}

void TfrmMain::resetStateButtons() {
  for (int n = 1; n <= buttonCount(); ++n) {
    const ButtonRecord* record = buttonRecord(n);
    GifImageWidget* control = button(n);
    if (record && control && record->normal) control->setFrame(1);
  }
}

bool TfrmMain::hoverSoundArmed() const {
  return m_sndLabel->text() == QLatin1String("1");
}

// --- Going back ---

void TfrmMain::htmlMainRightClick(Sender sender, const std::string& /*Parameters*/) {
  HtmlPaneWidget* pane = paneOf(sender);
  if (!pane) return;
  const bool canGoBack = pane->HistoryIndex() < pane->HistoryCount() - 1;
  const std::string sounds = ProjectDir() + "sounds\\";
  std::string path = sounds + ReadIniValue(ProjectDir() + "ini\\sounds.ini", "start", "back_click");
  if (!canGoBack) path = sounds + ReadIniValue(ProjectDir() + "ini\\main.ini", "start", "back_click_error");
  if (FileExists(path)) PlaySoundFile(path);

  const std::string name = AsciiLower(pane->objectName().toStdString());
  const char* fallback = name == "htmlmain"   ? "go_back_main"
                         : name == "htmlleft" ? "go_back_left"
                         : name == "htmltop"  ? "go_back_top"
                                              : nullptr;
  if (!fallback) return;
  // The page's own command, by its file name; the error page has none.
  const std::string command = ReadIniDefault(ProjectDir() + "ini\\main.ini", "right_click",
                                             ExtractFileName(pane->CurrentDocument()), fallback);
  runConsoleLine(command);
}

// --- Form objects ---

void TfrmMain::htmlMainObjectClick(Sender /*sender*/, const FormControl& Obj, const std::string& OnClick) {
  if (OnClick.empty()) return;
  std::string text = OnClick;
  if (OnClick == "display") {
    if (Obj.kind == "checkbox")
      text = Obj.value + " is " + (Obj.checked ? "checked" : "unchecked");
    else if (Obj.kind == "radio")
      text = Obj.value + " is checked";
    else
      return;
  }
  platform().showMessage(ApplicationTitle(), text);
}

// --- Keys and the console button ---

void TfrmMain::htmlMainKeyPress(char32_t key) {
  if (IsConsoleKey(key) && hasConsole()) Console().setVisible(true);
}

void TfrmMain::FormKeyUp() {
  stopScrolling();
}

void TfrmMain::btnConsoleClick() {
  m_sndLabel->setText(QStringLiteral("0"));
  playConfiguredSound("sounds.ini", "link_click");
  if (hasConsole()) Console().setVisible(!Console().Visible());
}

// --- Timer scrolling ---

void TfrmMain::stopScrolling() {
  m_scrollSelector = 0;
  for (QTimer* timer : {m_tmrMainUp, m_tmrMainDown, m_tmrLeftUp, m_tmrLeftDown}) timer->stop();
}

void TfrmMain::tmrMainUpTimer() {
  if (m_scrollSelector == 1) m_htmlMain->setScrollPosition(m_htmlMain->ScrollPosition() - kScrollStep);
}

void TfrmMain::tmrMainDownTimer() {
  if (m_scrollSelector == 1) m_htmlMain->setScrollPosition(m_htmlMain->ScrollPosition() + kScrollStep);
}

void TfrmMain::tmrLeftUpTimer() {
  if (m_scrollSelector == 2) m_htmlLeft->setScrollPosition(m_htmlLeft->ScrollPosition() - kScrollStep);
}

void TfrmMain::tmrLeftDownTimer() {
  if (m_scrollSelector == 2) m_htmlLeft->setScrollPosition(m_htmlLeft->ScrollPosition() + kScrollStep);
}

void TfrmMain::StartScrollMainUp() {
  m_scrollSelector = 1;
  m_tmrMainUp->start();
}

void TfrmMain::StartScrollMainDown() {
  m_scrollSelector = 1;
  m_tmrMainDown->start();
}

void TfrmMain::StartScrollLeftUp() {
  m_scrollSelector = 2;
  m_tmrLeftUp->start();
}

void TfrmMain::StartScrollLeftDown() {
  m_scrollSelector = 2;
  m_tmrLeftDown->start();
}

// --- Helpers ---

HtmlPaneWidget* TfrmMain::paneOf(Sender sender) const {
  for (HtmlPaneWidget* pane : {m_htmlMain, m_htmlLeft, m_htmlTop})
    if (sender == static_cast<const void*>(pane)) return pane;
  return nullptr;
}

void TfrmMain::playConfiguredSound(const char* iniFile, const char* key) {
  // A missing key names the sounds folder itself, which is no file.
  const std::string path =
      ProjectDir() + "sounds\\" + ReadIniValue(ProjectDir() + "ini\\" + iniFile, "start", key);
  if (FileExists(path)) PlaySoundFile(path);
}

}  // namespace pagemoor
