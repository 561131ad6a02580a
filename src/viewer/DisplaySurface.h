// The display surface the viewer switches the screen with, and the desktop
// display-mode change used when the surface is not used.
//
// We never switch the real display mode: "initialising" the surface, or
// changing the desktop mode, presents the viewer full screen with its
// 800 x 600 design scaled to fit (ScreenPresenter). The surface offers the
// 800 x 600 modes we can show; tests give it other lists.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pagemoor {

class LogSink;

struct DisplayMode {
  int width = 0;
  int height = 0;
  int bits = 0;

  auto operator<=>(const DisplayMode&) const = default;
};

// "%dx%dx%d" of width, height and bits per pixel.
std::string DisplayModeText(const DisplayMode& mode);

// What a failed initialisation throws.
class DisplaySurfaceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The window that shows the magazine full screen, or as a window again.
class ScreenPresenter {
 public:
  virtual ~ScreenPresenter() = default;
  // May throw when there is no screen to take.
  virtual void enterFullScreen() = 0;
  virtual void leaveFullScreen() = 0;
};

class DisplaySurface {
 public:
  // 800 x 600 at 16, 24 and 32 bits per pixel.
  static std::vector<DisplayMode> ShownModes();

  // The modes are kept sorted by width, then height, then bits.
  explicit DisplaySurface(std::vector<DisplayMode> modes = ShownModes());
  ~DisplaySurface();
  DisplaySurface(const DisplaySurface&) = delete;
  DisplaySurface& operator=(const DisplaySurface&) = delete;

  // Not owned; may be null (then initialising changes nothing visible).
  void setPresenter(ScreenPresenter* presenter) { m_presenter = presenter; }
  ScreenPresenter* presenter() const { return m_presenter; }

  const std::vector<DisplayMode>& DisplayModes() const { return m_modes; }
  void setDisplayModes(std::vector<DisplayMode> modes);

  // The display to initialise at; the stored one is 800 x 600 x 16.
  int DisplayWidth() const { return m_display.width; }
  int DisplayHeight() const { return m_display.height; }
  int DisplayBitCount() const { return m_display.bits; }
  void setDisplayWidth(int width) { m_display.width = width; }
  void setDisplayHeight(int height) { m_display.height = height; }
  void setDisplayBitCount(int bits) { m_display.bits = bits; }

  // Finalises first when already initialised, then enters full screen at
  // the set display. Throws DisplaySurfaceError (or what the presenter
  // throws) and stays finalised on failure.
  void Initialize();
  // Leaves full screen; nothing when not initialised.
  void Finalize();
  bool Initialized() const { return m_initialized; }
  // The display the surface was last initialised at.
  const DisplayMode& activeMode() const { return m_active; }
  int initializeCount() const { return m_initializeCount; }

 private:
  std::vector<DisplayMode> m_modes;
  DisplayMode m_display{800, 600, 16};
  DisplayMode m_active;
  ScreenPresenter* m_presenter = nullptr;
  bool m_initialized = false;
  int m_initializeCount = 0;
};

// The desktop display mode, used when the surface is not: a temporary
// change (never stored as the user's setting) and its undoing.
class DesktopDisplayMode {
 public:
  void setPresenter(ScreenPresenter* presenter) { m_presenter = presenter; }

  // True when the window now shows the mode full screen. A presenter that
  // throws passes its exception on.
  bool ChangeTemporarily(int width, int height, int bits);
  // Back to the user's stored mode: the window leaves full screen.
  void Restore();
  bool changed() const { return m_changed; }
  const DisplayMode& requested() const { return m_requested; }

 private:
  ScreenPresenter* m_presenter = nullptr;
  DisplayMode m_requested;
  bool m_changed = false;
};

// The walk over the sorted modes from the last to the first: the first of
// "800x600x32", "800x600x24", "800x600x16" and "800x600x8" found.
std::optional<std::string> PickDisplayMode(const std::vector<DisplayMode>& modes);

// The display-mode selection of the start sequence; returns the use-DirectX
// flag. noDxParameter: the second command-line parameter is "/no_dx" (lower
// case); launcherUseDX: the launcher's DirectX option. The message about a
// missing mode goes through ShowInfo. Surface initialisation failures pass.
bool SelectDisplayMode(DisplaySurface& surface, DesktopDisplayMode& desktop, LogSink& log,
                       bool noDxParameter, bool launcherUseDX);

}  // namespace pagemoor
