#include "pictures/Slideshow.h"

#include <optional>
#include <utility>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/IniLang.h"
#include "common/MagazineFolder.h"
#include "common/Strings.h"
#include "platform/Dialogs.h"

namespace pagemoor {

namespace {

std::string MainIni() {
  return MagazineFolder().ini("main.ini");
}

// The file as found on the host, for a player that may not look without
// regard to case; a folder (what an empty name gives) counts as missing.
std::string ExistingFile(const std::string& path) {
  if (!FileExists(path)) return {};
  return ResolveExisting(path).value_or(path);
}

}  // namespace

void Slideshow::setNames(std::vector<std::string> names) {
  m_names = std::move(names);
  m_view.listChanged(m_names);
  // Clearing a list box drops its selection.
  if (m_names.empty()) setPosition(-1);
}

void Slideshow::setPosition(int index) {
  m_position = index;
  m_view.positionChanged(index);
}

std::string Slideshow::captionOf(const std::string& name) const {
  return ReadIniValue(MainIni(), "pictures", name);
}

std::string Slideshow::existingPicture(const std::string& name) const {
  // The path as the show names it: LoadPicture finds the file whatever the
  // case, and logs the name as the list has it.
  const std::string path = MagazineFolder().pictures(name);
  return FileExists(path) ? path : std::string();
}

void Slideshow::playClick() {
  const std::string sound = ReadIniValue(MagazineFolder().ini("sounds.ini"), "start", "link_click");
  const std::string path = ExistingFile(MagazineFolder().sounds(sound));
  if (!path.empty() && PlaySoundFile) PlaySoundFile(path);
}

void Slideshow::cmdSlideShow(Sender, const std::string& params) {
  const std::string param = AsciiLower(params);
  if (param.empty()) {
    ShowInfo(FormatText(TranslateKey("bad_parameter_for_slideshow"), {param}));
    return;
  }

  setNames({});
  m_log.Log("Slideshow", param);

  std::vector<std::string> names;
  if (FirstWord(param) != "file") {
    const std::string separator = ReadIniDefault(MainIni(), "start", "string_separator", "|");
    names = SplitText(param, separator);
    // Blanks and separators alone name no picture; an empty show would be a
    // black screen waiting for a click, so nothing is shown.
    bool anyName = false;
    for (const std::string& n : names) anyName = anyName || !n.empty();
    if (!anyName) {
      m_log.Log("Slideshow", "No pictures in: " + param);
      return;
    }
  } else {
    const std::string rest = param.size() > 5 ? param.substr(5) : std::string();
    const std::optional<std::string> text = ReadTextFile(MagazineFolder().scripts(FirstWord(rest)));
    if (!text) return;
    names = SplitLines(*text);
    // The show ends on the click made at the last entry without showing it;
    // this entry lets the file's last line be shown too.
    names.emplace_back(" ");
  }
  setNames(std::move(names));

  m_view.setCaptionLine(captionOf(m_names.front()));
  // A file that cannot be shown is as good as missing: the no-data picture,
  // not the last show's picture, goes with this caption.
  if (const std::string path = existingPicture(m_names.front()); path.empty() || !m_view.ShowPicture(path)) {
    // Centred like any picture shown: otherwise it stays where the last show
    // left the control until the first click.
    m_view.showNoData();
    m_view.CenterPicture();
  }

  setPosition(0);
  if (m_names.size() > 2) setPosition(1);

  m_view.showModal();
}

void Slideshow::imgBackClick() {
  m_view.CenterPicture();
  playClick();

  const int p = m_position;
  const long long count = static_cast<long long>(m_names.size());
  // The end test (the last entry is the position). A position off the list
  // (an empty list has -1) ends the show the same way instead of reading
  // past the list.
  if (p < 0 || p + 1LL >= count) {
    endShow();
    return;
  }

  const std::string& name = m_names[static_cast<std::size_t>(p)];
  m_view.setCaptionLine(captionOf(name));
  // Otherwise the previous slide would stay under this one's caption.
  if (const std::string path = existingPicture(name); path.empty() || !m_view.loadPicture(path))
    m_view.showNoData();
  m_view.CenterPicture();
  setPosition(p + 1);
}

void Slideshow::endShow() {
  m_view.setCaptionLine("");
  setNames({});
  m_view.clearPicture();
  m_view.closeWindow();
}

}  // namespace pagemoor
