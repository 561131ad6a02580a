#include "viewer/MainWindow.h"

#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/MagazineFiles.h"
#include "common/Strings.h"
#include "console/DebugBox2.h"
#include "hypertext/HtmlPaneWidget.h"
#include "jukebox/JukeboxWindow.h"
#include "viewer/DocumentServices.h"
#include "viewer/qt/LocalTime.h"

// What the panes ask the viewer for: pictures, sounds, included text.

namespace pagemoor {

namespace {

// Replaces the bytes only when the file is there and can be read.
void LoadExisting(const std::string& path, std::string& stream) {
  if (!FileExists(path)) return;
  if (std::optional<std::string> bytes = ReadMagazineFile(path, FileKind::Picture))
    stream = std::move(*bytes);
}

}  // namespace

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

void TfrmMain::imageRequest(HtmlPaneWidget* pane, const std::string& SRC, std::string& stream) {
  stream.clear();
  if (!pane) return;
  // Beside the page first; the project's pictures folder wins when it has the picture too.
  LoadExisting(pane->ExpandReference(SRC), stream);
  LoadExisting(ProjectDir() + "pictures\\" + pane->ReferenceToPath(SRC), stream);
}

void TfrmMain::htmlMainSoundRequest(Sender sender, const std::string& SRC, int /*Loop*/, bool /*Terminate*/) {
  const HtmlPaneWidget* pane = paneOf(sender);
  if (!pane) return;
  // An empty SRC (a new document) names the page's folder: nothing plays, nothing stops.
  const std::string path = pane->ExpandReference(SRC);
  if (FileExists(path)) PlaySoundFile(path);
}

std::string TfrmMain::htmlMainInclude(Sender /*sender*/, const std::string& Command,
                                      const std::vector<std::string>& Params) {
  return IncludeText(Command, Params, ProjectDir() + "ini\\contacts.ini", {ShortDateText, LongTimeText});
}

void TfrmMain::htmlLeftProcessing(Sender sender, bool /*ProcessingOn*/) {
  const HtmlPaneWidget* pane = paneOf(sender);
  if (!pane) return;
  const std::string name = AsciiLower(pane->objectName().toStdString());
  const char* source = name == "htmlmain"   ? "Main"
                       : name == "htmlleft" ? "Left"
                       : name == "htmltop"  ? "Top"
                                            : "";
  const std::string& text = pane->CoveredLink();
  if (*source != '\0' && !text.empty()) m_log.Log(source, text);
}

}  // namespace pagemoor
