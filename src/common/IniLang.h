// Localised messages: the localisation file and the message lookup.
//
// Every message shown to the reader has a key and a built-in Czech default.
// A localisation file beside the program ("ini\lang.ini") can replace the
// messages (section "Misc") and the texts of the windows (a section per
// window).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagemoor {

// The localisation file in memory. Lines are taken as they stand, without
// trimming; empty lines and lines beginning with ";" are ignored; "[name]"
// opens a section; other lines are entries, name before the first "=" and the
// value after it, unchanged. Names compare without regard to case and the
// first of equal names counts. The file is UTF-8 or windows-1250.
class LanguageFile {
 public:
  explicit LanguageFile(std::string_view bytes);

  std::optional<std::string> value(std::string_view section, std::string_view name) const;
  std::string read(std::string_view section, std::string_view name, std::string_view defaultText) const;

  std::vector<std::string> sectionNames() const;

 private:
  struct Section {
    std::string name;
    std::map<std::string, std::string> entries;  // folded name -> value
  };
  std::vector<Section> m_sections;
  std::map<std::string, std::size_t> m_index;  // folded section name -> index
};

// ProgramDir + relativePath; the loaded file, or nullptr when it does not exist.
std::unique_ptr<LanguageFile> LoadLanguageFile(std::string_view relativePath);

// The localisation file the messages come from (none until the viewer loads it).
void SetLanguageFile(std::unique_ptr<LanguageFile> file);
const LanguageFile* CurrentLanguageFile();

// The message for key: the default while no localisation file is loaded,
// otherwise the file's text for the key in section "Misc" (empty when the file
// lacks it), with each "*|*" made a line break.
std::string Translate(std::string_view defaultText, std::string_view key);

// Translate with the built-in default of a key from the message table.
std::string TranslateKey(std::string_view key);

struct MessageKey {
  std::string_view key;
  std::string_view defaultText;
};

// Every message key the program uses, with its built-in Czech default.
const std::vector<MessageKey>& MessageKeys();

// The built-in default of a key, or empty for an unknown key.
std::string_view DefaultMessage(std::string_view key);

}  // namespace pagemoor
