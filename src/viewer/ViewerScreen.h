// What the magazine's session asks of the screen: the three hypertext panes,
// the two pictures, the image buttons, the cursors, the scroll timers, the
// other windows and the sound. The session (MagazineSession) decides; the
// screen only shows. The magazine window implements it with Qt widgets, the
// session's tests with a recording fake.
#pragma once

#include <string>
#include <vector>

#include "viewer/ButtonRecords.h"

namespace pagemoor {

// The three hypertext panes.
enum class Pane { Main, Left, Top };
inline constexpr Pane kPanes[] = {Pane::Main, Pane::Left, Pane::Top};

// The title picture over the panes and the desktop picture under them.
enum class Picture { Top, Desktop };

// How a control is docked in the window's client area.
enum class PaneAlign { None, Top, Bottom, Left, Right, Client };

// Where a pane asks to be: its edge (or none) and the rectangle it asks for.
struct PanePlacement {
  bool visible = false;
  PaneAlign align = PaneAlign::None;
  int left = 1, top = 1, width = 1, height = 1;
};

// The windows a command shows modally.
enum class ViewerWindow { Jukebox, Credits, Installer, Mailer };

// The timers that scroll a pane while the mouse rests on a scroll control.
enum class ScrollTimer { MainUp, MainDown, LeftUp, LeftDown };

class ViewerScreen {
 public:
  virtual ~ViewerScreen() = default;

  // --- Panes ---
  // Shows these lines as the pane's page (no history entry).
  virtual void showPageLines(Pane pane, const std::vector<std::string>& lines) = 0;
  // Loads a page file into the pane; false when it could not be shown.
  virtual bool showPageFile(Pane pane, const std::string& path) = 0;
  virtual void setPaneVisible(Pane pane, bool visible) = 0;
  // Docks and shows or hides the pane, then lays the window out again.
  virtual void placePane(Pane pane, const PanePlacement& placement) = 0;
  // The pane's history: index 0 the newest document.
  virtual int historyIndex(Pane pane) const = 0;
  virtual int historyCount(Pane pane) const = 0;
  virtual void setHistoryIndex(Pane pane, int index) = 0;
  // The file the pane shows; empty for lines.
  virtual std::string currentDocument(Pane pane) const = 0;
  // A reference on the pane's page as a full host path.
  virtual std::string expandReference(Pane pane, const std::string& reference) const = 0;
  // The link the mouse was over last.
  virtual std::string coveredLink(Pane pane) const = 0;
  virtual int scrollPosition(Pane pane) const = 0;
  virtual void setScrollPosition(Pane pane, int position) = 0;

  // --- Pictures ---
  // Loads a picture file; may throw when the file is no picture.
  virtual void loadPicture(Picture picture, const std::string& path) = 0;
  virtual void setPictureVisible(Picture picture, bool visible) = 0;

  // --- Image buttons: number n is records[n - 1] ---
  virtual void createButtons(const std::vector<ButtonRecord>& records) = 0;
  // Takes every button away; a button whose own handler is running goes
  // once that handler has returned.
  virtual void destroyButtons() = 0;
  virtual void setButtonFrame(int number, int frame) = 0;

  // --- Cursors ---
  // The system's shapes in every slot again.
  virtual void resetCursors() = 0;
  // A cursor file into a slot; a file that is no cursor leaves the slot.
  virtual void loadCursor(int slot, const std::string& path) = 0;
  // Puts the slots' cursors on the controls.
  virtual void applyCursors() = 0;

  // --- Scrolling ---
  virtual void startScrollTimer(ScrollTimer timer) = 0;
  virtual void stopScrollTimers() = 0;

  // --- Sound and the jukebox (nothing happens without a jukebox) ---
  // asSample: over the music; otherwise on the music channel.
  virtual void playSound(const std::string& path, bool asSample) = 0;
  virtual void loadMusicList(const std::string& path) = 0;
  // The start sequence's last step: the jukebox's sounds and its timer.
  virtual void startJukebox() = 0;
  // Minimised and restored: the music stops, and plays again.
  virtual void pauseMusic() = 0;
  virtual void resumeMusic() = 0;

  // --- Windows ---
  // Shows the window modally; nothing when it is not there.
  virtual void showWindowModally(ViewerWindow window) = 0;
  virtual bool hasWindow(ViewerWindow window) const = 0;
  // The archive the installer offers.
  virtual void setInstallerArchive(const std::string& shownPath) = 0;
  virtual void startSlideShow(const std::string& params) = 0;
  virtual void minimise() = 0;
  virtual void setTitle(const std::string& title) = 0;
  virtual void setConsoleButtonVisible(bool visible) = 0;
  virtual void showThinking(const std::string& text) = 0;
  virtual void hideThinking() = 0;

  // --- Localisation ---
  // Translates the windows with the language file just set.
  virtual void applyLanguage() = 0;
  // Writes the windows' texts into the localisation file; false when it failed.
  virtual bool fillCustomIni() = 0;

  // --- State the window mirrors (its hidden labels) ---
  virtual void hoverSoundArmedChanged(bool armed) = 0;
  virtual void buttonUnderMouseChanged(int number) = 0;
};

}  // namespace pagemoor
