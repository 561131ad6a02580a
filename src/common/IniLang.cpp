#include "common/IniLang.h"

#include "common/Encoding.h"
#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/MagazineFiles.h"
#include "common/Strings.h"

namespace pagemoor {

namespace {

std::unique_ptr<LanguageFile>& currentFile() {
  static std::unique_ptr<LanguageFile> file;
  return file;
}

}  // namespace

LanguageFile::LanguageFile(std::string_view bytes) {
  const std::string text = DecodeText(WithoutBom(bytes));
  Section* current = nullptr;
  for (const std::string& textLine : SplitLines(text)) {
    std::string_view line = textLine;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      std::string name(line.substr(1, line.size() - 2));
      std::string folded = FoldCase(name);
      auto it = m_index.find(folded);
      if (it == m_index.end()) {
        m_sections.push_back({name, {}});
        it = m_index.emplace(folded, m_sections.size() - 1).first;
      }
      // A repeated section adds its entries to the first one; earlier entries still win.
      current = &m_sections[it->second];
      continue;
    }
    if (!current) continue;  // lines before the first section
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    current->entries.emplace(FoldCase(line.substr(0, eq)), std::string(line.substr(eq + 1)));
  }
}

std::optional<std::string> LanguageFile::value(std::string_view section, std::string_view name) const {
  auto s = m_index.find(FoldCase(section));
  if (s == m_index.end()) return std::nullopt;
  const auto& entries = m_sections[s->second].entries;
  auto e = entries.find(FoldCase(name));
  if (e == entries.end()) return std::nullopt;
  return e->second;
}

std::string LanguageFile::read(std::string_view section, std::string_view name,
                               std::string_view defaultText) const {
  auto v = value(section, name);
  return v ? *v : std::string(defaultText);
}

std::vector<std::string> LanguageFile::sectionNames() const {
  std::vector<std::string> names;
  for (const Section& s : m_sections) names.push_back(s.name);
  return names;
}

std::unique_ptr<LanguageFile> LoadLanguageFile(std::string_view relativePath) {
  const std::string path = ExcludeTrailingSeparator(ProgramDir()) + "/" + std::string(relativePath);
  auto bytes = ReadMagazineFile(path, FileKind::Text);
  if (!bytes) return nullptr;
  return std::make_unique<LanguageFile>(*bytes);
}

void SetLanguageFile(std::unique_ptr<LanguageFile> file) {
  currentFile() = std::move(file);
}

const LanguageFile* CurrentLanguageFile() {
  return currentFile().get();
}

std::string Translate(std::string_view defaultText, std::string_view key) {
  const LanguageFile* file = CurrentLanguageFile();
  if (!file) return std::string(defaultText);
  const std::string value = file->read("Misc", key, "");
  static constexpr std::string_view kMarker = "*|*";
  if (value.find(kMarker) == std::string::npos) return value;

  // Empty leading pieces leave no line break; the last piece always follows one.
  std::string result;
  std::string_view rest = value;
  std::size_t p;
  while ((p = rest.find(kMarker)) != std::string_view::npos) {
    std::string_view piece = rest.substr(0, p);
    if (result.empty())
      result = std::string(piece);
    else
      result.append("\r\n").append(piece);
    rest.remove_prefix(p + kMarker.size());
  }
  result.append("\r\n").append(rest);
  return result;
}

const std::vector<MessageKey>& MessageKeys() {
  static const std::vector<MessageKey> keys = {
      {"invalid_rar_archive", "Spatny RAR soubor"},
      {"no_file/folder_selected", "Nezvolen soubor nebo slozka"},
      {"extract_complete", "Rozbalovani Dokonceno"},
      // Our own: an extraction stopped by its bounds.
      {"not_enough_disk_space", "Nedostatek mista na disku: %s"},
      {"hostile_archive", "Archiv %s odmitnut: rozbalil by se do prilis velkeho objemu dat"},
      {"mail_send_failure", "Zprava Neodeslana!"},
      {"mail_send_success", "Zprava Odeslana!"},
      {"not_enough_parameters_for_shell_execute", "Malo parametru pro SHELL_EXECUTE"},
      {"resolution_change_error", "Nemohu zmenit rozliseni"},
      {"script_file_not_found", "Skript nenalezen"},
      {"bad_parameter_for_show", "Spatny parametr prikazu SHOW"},
      {"not_enough_parameters", "Nedostatek parametru prikazu."},
      {"bad_parameter_for_slideshow", "Spatny parametr prikazu SLIDESHOW"},
      {"bad_console_command", "Spatny prikaz konzole"},
      // Our own: a script that runs itself without end.
      {"script_nesting_too_deep", "Prilis mnoho vnorenych skriptu: %s"},
      // Our own: the reader's yes before a magazine starts its program or
      // opens its file with the desktop's program.
      {"confirm_start_program", "Casopis chce spustit program %s. Povolit?"},
      {"confirm_start_program_with_parameters", "Casopis chce spustit program %s s parametry %s. Povolit?"},
      {"confirm_open_document", "Casopis chce otevrit soubor %s programem, ktery k nemu patri. Povolit?"},
  };
  return keys;
}

std::string_view DefaultMessage(std::string_view key) {
  for (const MessageKey& m : MessageKeys())
    if (m.key == key) return m.defaultText;
  return {};
}

std::string TranslateKey(std::string_view key) {
  return Translate(DefaultMessage(key), key);
}

}  // namespace pagemoor
