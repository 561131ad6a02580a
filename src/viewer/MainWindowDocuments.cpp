#include "viewer/MainWindow.h"

#include "jukebox/JukeboxWindow.h"
#include "viewer/DocumentServices.h"

// What the panes ask the viewer for: pictures, sounds, included text.

namespace pagemoor {

void TfrmMain::PlaySoundFile(const std::string& path) {
  if (!m_jukebox) return;
  if (PlaysAsSample(path))
    m_jukebox->jukebox().PlaySample(path);
  else
    m_jukebox->jukebox().PlayFile(path);
}
void TfrmMain::htmlMainImageRequest(Sender sender, const std::string& SRC, std::string& stream) {
  imageRequest(paneOf(sender), SRC, stream);
}
void TfrmMain::htmlLeftImageRequest(Sender sender, const std::string& SRC, std::string& stream) {
  imageRequest(paneOf(sender), SRC, stream);
}
void TfrmMain::htmlTopImageRequest(Sender sender, const std::string& SRC, std::string& stream) {
  imageRequest(paneOf(sender), SRC, stream);
}
void TfrmMain::imageRequest(HtmlPaneWidget* /*pane*/, const std::string& /*SRC*/, std::string& /*stream*/) {}
void TfrmMain::htmlMainSoundRequest(Sender /*sender*/, const std::string& /*SRC*/, int /*Loop*/, bool /*Terminate*/) {}
std::string TfrmMain::htmlMainInclude(Sender /*sender*/, const std::string& /*Command*/,
                                      const std::vector<std::string>& /*Params*/) {
  return {};
}
void TfrmMain::htmlLeftProcessing(Sender /*sender*/, bool /*ProcessingOn*/) {}

}  // namespace pagemoor
