#include "viewer/MainWindow.h"

#include <QLabel>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "hypertext/HtmlPaneWidget.h"

// Links, right clicks, hover sounds, console keys and timer scrolling.

namespace pagemoor {

void TfrmMain::htmlMainHotSpotClick(Sender /*sender*/, const std::string& /*SRC*/, bool& Handled) {
  Handled = false;
}
void TfrmMain::htmlMainHotSpotCovered(Sender /*sender*/, const std::string& /*SRC*/) {}
void TfrmMain::htmlMainRightClick(Sender /*sender*/, const std::string& /*Parameters*/) {}
void TfrmMain::htmlMainObjectClick(Sender /*sender*/, const FormControl& /*Obj*/, const std::string& /*OnClick*/) {}
void TfrmMain::htmlMainKeyPress(char32_t /*key*/) {}
void TfrmMain::FormKeyUp() {}
void TfrmMain::imgDesktopMouseMove() {}
void TfrmMain::btnConsoleClick() {}
void TfrmMain::btnConsoleMouseMove() {}
void TfrmMain::tmrMainUpTimer() {}
void TfrmMain::tmrMainDownTimer() {}
void TfrmMain::tmrLeftUpTimer() {}
void TfrmMain::tmrLeftDownTimer() {}
void TfrmMain::StartScrollMainUp() {}
void TfrmMain::StartScrollMainDown() {}
void TfrmMain::StartScrollLeftUp() {}
void TfrmMain::StartScrollLeftDown() {}
bool TfrmMain::hoverSoundArmed() const {
  return m_sndLabel->text() == QLatin1String("1");
}

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
