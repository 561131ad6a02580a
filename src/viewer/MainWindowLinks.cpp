#include "viewer/MainWindow.h"

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
  return false;
}
HtmlPaneWidget* TfrmMain::paneOf(Sender /*sender*/) const {
  return nullptr;
}
void TfrmMain::playConfiguredSound(const char* /*iniFile*/, const char* /*key*/) {}

}  // namespace pagemoor
