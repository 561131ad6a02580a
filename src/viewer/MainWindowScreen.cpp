#include <QLabel>
#include <QTimer>
#include <QToolButton>

#include "app/ThinkingBoxWindow.h"
#include "app/qt/Localisation.h"
#include "common/HostPaths.h"
#include "common/IniLang.h"
#include "console/DebugBox2.h"
#include "hypertext/HtmlPaneWidget.h"
#include "installer/InstallWindow.h"
#include "jukebox/JukeboxWindow.h"
#include "mailer/MailerWindow.h"
#include "pictures/CreditsWindow.h"
#include "pictures/GifImageWidget.h"
#include "pictures/ImageWidget.h"
#include "pictures/PictureViewerWindow.h"
#include "platform/Platform.h"
#include "platform/qt/QtText.h"
#include "viewer/MainWindow.h"
#include "viewer/qt/ScaledScreen.h"

// What the session shows, drawn with the window's widgets.

namespace pagemoor {

// --- Panes ---

HtmlPaneWidget* TfrmMain::paneWidget(Pane pane) const {
  return pane == Pane::Main ? m_htmlMain : pane == Pane::Left ? m_htmlLeft : m_htmlTop;
}

std::optional<Pane> TfrmMain::paneOf(Sender sender) const {
  for (Pane pane : kPanes)
    if (sender == static_cast<const void*>(paneWidget(pane))) return pane;
  return std::nullopt;
}

void TfrmMain::htmlMainHotSpotClick(Sender sender, const std::string& SRC, bool& Handled) {
  m_session->hotSpotClick(paneOf(sender), SRC, Handled);
}

void TfrmMain::showPageLines(Pane pane, const std::vector<std::string>& lines) {
  paneWidget(pane)->LoadDocumentLines(lines);
}
bool TfrmMain::showPageFile(Pane pane, const std::string& path) {
  return paneWidget(pane)->LoadDocument(path);
}
void TfrmMain::setPaneVisible(Pane pane, bool visible) {
  paneWidget(pane)->setVisible(visible);
  if (pane == Pane::Main && visible) focusMainPane();
}
void TfrmMain::placePane(Pane pane, const PanePlacement& placement) {
  HtmlPaneWidget* control = paneWidget(pane);
  control->setVisible(placement.visible);
  m_dock->dock(control, ToDockSide(placement.align),
               QRect(placement.left, placement.top, placement.width, placement.height));
  if (pane == Pane::Main && placement.visible) focusMainPane();
}
int TfrmMain::historyIndex(Pane pane) const {
  return paneWidget(pane)->HistoryIndex();
}
int TfrmMain::historyCount(Pane pane) const {
  return paneWidget(pane)->HistoryCount();
}
void TfrmMain::setHistoryIndex(Pane pane, int index) {
  paneWidget(pane)->setHistoryIndex(index);
}
std::string TfrmMain::currentDocument(Pane pane) const {
  return paneWidget(pane)->CurrentDocument();
}
std::string TfrmMain::expandReference(Pane pane, const std::string& reference) const {
  return paneWidget(pane)->ExpandReference(reference);
}
std::string TfrmMain::coveredLink(Pane pane) const {
  return paneWidget(pane)->CoveredLink();
}
int TfrmMain::scrollPosition(Pane pane) const {
  return paneWidget(pane)->ScrollPosition();
}
void TfrmMain::setScrollPosition(Pane pane, int position) {
  paneWidget(pane)->setScrollPosition(position);
}

// --- Pictures ---

void TfrmMain::loadPicture(Picture picture, const std::string& path) {
  LoadPicture(path, picture == Picture::Top ? *m_imgTop : *m_imgDesktop, m_log);
}
void TfrmMain::setPictureVisible(Picture picture, bool visible) {
  (picture == Picture::Top ? m_imgTop : m_imgDesktop)->setVisible(visible);
}

// --- Image buttons ---

void TfrmMain::createButtons(const std::vector<ButtonRecord>& records) {
  m_buttons->create(records);
}
void TfrmMain::destroyButtons() {
  m_buttons->destroy();
}
void TfrmMain::setButtonFrame(int number, int frame) {
  if (GifImageWidget* control = button(number)) control->setFrame(frame);
}
GifImageWidget* TfrmMain::button(int n) const {
  return m_buttons->control(n);
}

// --- Cursors ---

CursorSlot TfrmMain::cursorSlot(int slot) const {
  const auto it = m_cursors.find(slot);
  return it == m_cursors.end() ? CursorSlot() : it->second;
}

void TfrmMain::resetCursors() {
  // The system's slots, as the toolkit draws them.
  m_cursors = {{0, CursorSlot(Qt::ArrowCursor)},
               {-2, CursorSlot(Qt::ArrowCursor)},
               {-11, CursorSlot(Qt::WaitCursor)},
               {-21, CursorSlot(Qt::PointingHandCursor)},
               {1, CursorSlot(Qt::PointingHandCursor)}};
  m_cursors[kNormalCursor] = cursorSlot(0);
  m_cursors[kLinkCursor] = cursorSlot(-21);
  m_cursors[kHourglassCopy] = cursorSlot(-11);
}

void TfrmMain::loadCursor(int slot, const std::string& path) {
  const auto resolved = ResolveExisting(path);
  if (!resolved) return;
  std::shared_ptr<AnimatedCursor> cursor = AnimatedCursor::fromFile(*resolved);
  // A file that is no cursor leaves the slot as it was.
  if (cursor && cursor->isValid()) m_cursors[slot] = CursorSlot(std::move(cursor));
}

void TfrmMain::applyCursors() {
  cursorSlot(kNormalCursor).applyTo(this);
  cursorSlot(-2).applyTo(m_imgTop);
  cursorSlot(-2).applyTo(m_imgDesktop);
  cursorSlot(-21).applyTo(m_btnConsole);
  // The panes show the project's cursors over their text and links; where the
  // project has none, their own shapes (the I-beam over selectable text).
  const auto paneCursor = [this](int slot) -> HtmlPaneWidget::CursorSetter {
    const CursorSlot cursor = cursorSlot(slot);
    if (!cursor.isFile()) return nullptr;
    return [cursor](QWidget* viewport) { cursor.applyTo(viewport); };
  };
  m_htmlMain->setNormalCursor(paneCursor(0));
  m_htmlLeft->setNormalCursor(paneCursor(-2));
  m_htmlTop->setNormalCursor(paneCursor(-2));
  for (HtmlPaneWidget* pane : {m_htmlMain, m_htmlLeft, m_htmlTop}) pane->setLinkCursor(paneCursor(1));
}

// --- Scroll timers ---

void TfrmMain::startScrollTimer(ScrollTimer timer) {
  QTimer* timers[] = {m_tmrMainUp, m_tmrMainDown, m_tmrLeftUp, m_tmrLeftDown};
  timers[static_cast<int>(timer)]->start();
}
void TfrmMain::stopScrollTimers() {
  for (QTimer* timer : {m_tmrMainUp, m_tmrMainDown, m_tmrLeftUp, m_tmrLeftDown}) timer->stop();
}

// --- Sound and the jukebox ---

void TfrmMain::playSound(const std::string& path, bool asSample) {
  if (!m_jukebox) return;
  if (asSample)
    m_jukebox->jukebox().PlaySample(path);
  else
    m_jukebox->jukebox().PlayFile(path);
}
void TfrmMain::loadMusicList(const std::string& path) {
  if (m_jukebox) m_jukebox->jukebox().LoadPlaylistFile(path);
}
void TfrmMain::startJukebox() {
  if (!m_jukebox) return;
  m_jukebox->jukebox().tbSoundsChange();
  m_jukebox->jukebox().setTimer1Enabled(true);
}
void TfrmMain::pauseMusic() {
  if (m_jukebox) m_jukebox->jukebox().ZastavitClick();
}
void TfrmMain::resumeMusic() {
  if (m_jukebox) m_jukebox->jukebox().PlayRandom();
}

// --- Windows ---

ModalWindow* TfrmMain::modalWindow(ViewerWindow window) const {
  switch (window) {
    case ViewerWindow::Jukebox:
      return m_jukebox.data();
    case ViewerWindow::Credits:
      return m_windows.credits;
    case ViewerWindow::Installer:
      return m_windows.installer;
    case ViewerWindow::Mailer:
      return m_windows.mailer;
  }
  return nullptr;
}
void TfrmMain::showWindowModally(ViewerWindow window) {
  if (ModalWindow* shown = modalWindow(window)) platform().showModal(*shown);
}
bool TfrmMain::hasWindow(ViewerWindow window) const {
  return modalWindow(window) != nullptr;
}
void TfrmMain::setInstallerArchive(const std::string& shownPath) {
  if (m_windows.installer) m_windows.installer->lblName()->setText(ToQt(shownPath));
}
void TfrmMain::startSlideShow(const std::string& params) {
  if (m_windows.pictureViewer) m_windows.pictureViewer->cmdSlideShow(nullptr, params);
}
void TfrmMain::minimise() {
  // What the reader sees: the full-screen presentation when there is one.
  if (m_scaled)
    m_scaled->showMinimized();
  else
    showMinimized();
}
void TfrmMain::setTitle(const std::string& title) {
  setWindowTitle(ToQt(title));
  if (m_scaled) m_scaled->setWindowTitle(ToQt(title));
}
void TfrmMain::setConsoleButtonVisible(bool visible) {
  m_btnConsole->setVisible(visible);
}
void TfrmMain::showThinking(const std::string& text) {
  if (m_thinking) m_thinking->ShowThinking(nullptr, text);
}
void TfrmMain::hideThinking() {
  if (m_thinking) m_thinking->HideThinking();
}

// --- Localisation ---

void TfrmMain::applyLanguage() {
  std::vector<QWidget*> windows = {this};
  windows.insert(windows.end(), m_localised.begin(), m_localised.end());
  ApplyLanguage(windows, CurrentLanguageFile());
}
bool TfrmMain::fillCustomIni() {
  std::vector<QWidget*> windows = {this};
  for (QWidget* window : m_localised)
    if (window) windows.push_back(window);
  try {
    return FillCustomIni(windows);
  } catch (const std::exception&) {
    return false;
  }
}

// --- The hidden labels mirror the session's state ---

void TfrmMain::hoverSoundArmedChanged(bool armed) {
  m_sndLabel->setText(armed ? QStringLiteral("1") : QStringLiteral("0"));
}
void TfrmMain::buttonUnderMouseChanged(int number) {
  m_lblAC->setText(QString::number(number));
}

}  // namespace pagemoor
