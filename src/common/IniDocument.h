// An INI profile file held in memory with the semantics of Windows profile
// files, keeping everything it does not change byte for byte.
//
// - Section and key names are compared without regard to case (ASCII and the
//   Latin letters with diacritics).
// - Values are returned without surrounding blanks and tabs, and without the
//   quotation marks when the whole value stands in single or double quotes.
// - Of duplicate sections and keys the first wins.
// - A new key goes after the last key of its section (right after the header
//   when the section has none); a new section goes at the end of the file.
// - Comment lines (";"), unknown lines, line ends and the file's encoding
//   (UTF-8 or windows-1250) stay as they are; new lines end in CR LF unless
//   the file uses LF throughout.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/Encoding.h"

namespace pagemoor {

class IniDocument {
 public:
  IniDocument() = default;
  // Parses file bytes (any bytes are accepted).
  explicit IniDocument(std::string bytes);

  // The value of key in section (UTF-8), or nothing when the section or the
  // key is missing.
  std::optional<std::string> value(std::string_view section, std::string_view key) const;

  // Sets the value, adding the key or the section when missing. Line breaks in
  // names and value become blanks, blanks around names go. A name that no line
  // can hold (a key beginning with "[" or ";" or holding "=", a section name
  // holding "]") is refused. Returns false when the document did not change.
  bool setValue(std::string_view section, std::string_view key, std::string_view value);

  // Removes the key's line; false when there was none.
  bool removeKey(std::string_view section, std::string_view key);

  bool hasSection(std::string_view section) const;
  // Adds an empty section when missing; false when it existed.
  bool addSection(std::string_view section);

  // Section names in file order (first occurrences), and a section's key names
  // in file order.
  std::vector<std::string> sectionNames() const;
  std::vector<std::string> keyNames(std::string_view section) const;

  // The file bytes.
  std::string serialize() const;

  TextEncoding encoding() const { return m_encoding; }

 private:
  struct Line {
    std::string text;    // raw bytes without the line end
    std::string ending;  // "\r\n", "\n", "\r" or "" (last line without one)
  };
  struct Section {
    std::string name;            // decoded, as written
    std::optional<Line> header;  // none for the lines before the first section
    std::vector<Line> lines;
    std::unordered_map<std::string, std::size_t> keys;  // folded key -> line index (first wins)
    std::size_t lastKeyLine = 0;                        // index + 1 of the last key line (0: none)
  };

  void parse(std::string_view bytes);
  Section* findSection(std::string_view section);
  const Section* findSection(std::string_view section) const;
  void indexSection(Section& s);
  std::string encode(std::string_view utf8) const;
  std::string decode(std::string_view raw) const;
  const std::string& newLineEnding() const;
  void terminateLastLine();

  std::vector<Section> m_sections;  // m_sections[0] holds the lines before any section
  std::unordered_map<std::string, std::size_t> m_sectionIndex;  // folded name -> index (first wins)
  TextEncoding m_encoding = TextEncoding::Utf8;
  bool m_lfOnly = false;
  std::string m_bom;
};

}  // namespace pagemoor
