#include "viewer/DisplaySurface.h"

#include <algorithm>
#include <array>
#include <utility>

#include "common/IniLang.h"
#include "common/Strings.h"
#include "common/LogSink.h"
#include "platform/Dialogs.h"

namespace pagemoor {

namespace {

constexpr const char* kSource = "System";

int ToInt(const std::string& text) {
  return static_cast<int>(StrToIntDef(text, 0));
}

}  // namespace

std::string DisplayModeText(const DisplayMode& mode) {
  return std::to_string(mode.width) + "x" + std::to_string(mode.height) + "x" + std::to_string(mode.bits);
}

std::vector<DisplayMode> DisplaySurface::ShownModes() {
  return {{800, 600, 16}, {800, 600, 24}, {800, 600, 32}};
}

DisplaySurface::DisplaySurface(std::vector<DisplayMode> modes) {
  setDisplayModes(std::move(modes));
}

DisplaySurface::~DisplaySurface() = default;

void DisplaySurface::setDisplayModes(std::vector<DisplayMode> modes) {
  std::sort(modes.begin(), modes.end());
  m_modes = std::move(modes);
}

void DisplaySurface::Initialize() {
  Finalize();
  if (m_display.width <= 0 || m_display.height <= 0 || m_display.bits <= 0)
    throw DisplaySurfaceError("Invalid display mode " + DisplayModeText(m_display));
  if (m_presenter) m_presenter->enterFullScreen();
  m_active = m_display;
  m_initialized = true;
  ++m_initializeCount;
}

void DisplaySurface::Finalize() {
  if (!m_initialized) return;
  m_initialized = false;
  if (m_presenter) m_presenter->leaveFullScreen();
}

bool DesktopDisplayMode::ChangeTemporarily(int width, int height, int bits) {
  m_requested = {width, height, bits};
  // Only the design size can be shown: the window is scaled, not the display.
  if (!m_presenter || width != 800 || height != 600) return false;
  m_presenter->enterFullScreen();
  m_changed = true;
  return true;
}

void DesktopDisplayMode::Restore() {
  if (!m_changed) return;
  m_changed = false;
  if (m_presenter) m_presenter->leaveFullScreen();
}

std::optional<std::string> PickDisplayMode(const std::vector<DisplayMode>& modes) {
  static const std::array<std::string, 4> kWanted = {"800x600x32", "800x600x24", "800x600x16", "800x600x8"};
  for (auto it = modes.rbegin(); it != modes.rend(); ++it) {
    const std::string text = DisplayModeText(*it);
    if (std::find(kWanted.begin(), kWanted.end(), text) != kWanted.end()) return text;
  }
  return std::nullopt;
}

bool SelectDisplayMode(DisplaySurface& surface, DesktopDisplayMode& desktop, LogSink& log,
                       bool noDxParameter, bool launcherUseDX) {
  bool useDirectX = true;
  if (noDxParameter) useDirectX = false;
  if (!launcherUseDX) useDirectX = false;

  if (useDirectX) {
    // The first initialisation makes the mode list available.
    surface.Initialize();
    const std::optional<std::string> mode = PickDisplayMode(surface.DisplayModes());
    if (!mode) {
      ShowInfo(Translate("Nemohu zmenit rozliseni", "resolution_change_error"));
      return useDirectX;
    }
    log.Log(kSource, "Resolution: " + *mode);
    log.Log(kSource, "Using Direct-X");
    const std::size_t first = mode->find('x');
    const std::string width = mode->substr(0, first);
    const std::string rest = mode->substr(first + 1);
    const std::size_t second = rest.find('x');
    surface.setDisplayWidth(ToInt(width));
    surface.setDisplayHeight(ToInt(rest.substr(0, second)));
    surface.setDisplayBitCount(ToInt(rest.substr(second + 1)));
    surface.Initialize();
    return useDirectX;
  }

  // The lines are written whether the change worked or not, and a failing
  // change stops nothing.
  try {
    desktop.ChangeTemporarily(800, 600, 16);
  } catch (...) {
  }
  log.Log(kSource, "Resolution: 800x600x16");
  log.Log(kSource, "Not-Using Direct-X");
  return useDirectX;
}

}  // namespace pagemoor
