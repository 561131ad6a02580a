#include "common/IniDocument.h"

#include "common/Strings.h"

namespace pagemoor {

namespace {

std::string_view trimSpaceTab(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string_view trimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// A key line: anything but blank lines and comments. A line without "=" is a
// key without a value, as the profile functions read it.
bool keyOfLine(std::string_view text, std::string_view& key) {
  std::string_view t = trimLeft(text);
  if (t.empty() || t.front() == ';') return false;
  key = trimSpaceTab(t.substr(0, t.find('=')));
  return true;
}

// Names as the reader takes them from a line: a line break would split the
// line, and blanks around a name are not part of it.
std::string cleanName(std::string_view name);

// A name a line can hold so that reading it back gives the same name: a key
// must not begin like a section or a comment nor hold "=", a section name must
// not hold "]".
bool writableSection(std::string_view section) {
  return section.find(']') == std::string_view::npos;
}
bool writableKey(std::string_view key) {
  return !key.empty() && key.front() != '[' && key.front() != ';' && key.find('=') == std::string_view::npos;
}

std::string cleanName(std::string_view name) {
  return std::string(trimSpaceTab(LineBreaksToBlanks(name)));
}

}  // namespace

IniDocument::IniDocument(std::string bytes) {
  parse(bytes);
}

void IniDocument::parse(std::string_view bytes) {
  m_sections.clear();
  m_sectionIndex.clear();
  std::string_view body = WithoutBom(bytes);
  m_bom = std::string(bytes.substr(0, bytes.size() - body.size()));
  m_encoding = DetectEncoding(body);

  std::size_t crlf = 0, lf = 0, cr = 0;
  m_sections.emplace_back();
  std::size_t pos = 0;
  while (pos < body.size()) {
    std::size_t end = body.find_first_of("\r\n", pos);
    Line line;
    if (end == std::string_view::npos) {
      line.text = std::string(body.substr(pos));
      pos = body.size();
    } else {
      line.text = std::string(body.substr(pos, end - pos));
      if (body[end] == '\r' && end + 1 < body.size() && body[end + 1] == '\n') {
        line.ending = "\r\n";
        ++crlf;
      } else {
        line.ending = std::string(1, body[end]);
        ++(body[end] == '\n' ? lf : cr);
      }
      pos = end + line.ending.size();
    }
    std::string_view t = trimLeft(line.text);
    std::size_t close = t.empty() || t.front() != '[' ? std::string_view::npos : t.find(']');
    if (close != std::string_view::npos) {
      Section s;
      s.name = decode(trimSpaceTab(t.substr(1, close - 1)));
      s.header = std::move(line);
      m_sections.push_back(std::move(s));
    } else {
      m_sections.back().lines.push_back(std::move(line));
    }
  }
  m_lfOnly = lf > 0 && crlf == 0 && cr == 0;
  for (std::size_t i = 0; i < m_sections.size(); ++i) {
    indexSection(m_sections[i]);
    if (i > 0) m_sectionIndex.emplace(FoldCase(m_sections[i].name), i);
  }
}

void IniDocument::indexSection(Section& s) {
  s.keys.clear();
  s.lastKeyLine = 0;
  if (!s.header) return;  // lines before the first section belong to none
  for (std::size_t i = 0; i < s.lines.size(); ++i) {
    std::string_view key;
    if (!keyOfLine(s.lines[i].text, key)) continue;
    s.keys.emplace(FoldCase(decode(key)), i);
    s.lastKeyLine = i + 1;
  }
}

std::string IniDocument::decode(std::string_view raw) const {
  return m_encoding == TextEncoding::Utf8 ? std::string(raw) : Windows1250ToUtf8(raw);
}

std::string IniDocument::encode(std::string_view utf8) const {
  return EncodeText(utf8, m_encoding);
}

const std::string& IniDocument::newLineEnding() const {
  static const std::string crlf = "\r\n", lf = "\n";
  return m_lfOnly ? lf : crlf;
}

IniDocument::Section* IniDocument::findSection(std::string_view section) {
  auto it = m_sectionIndex.find(FoldCase(trimSpaceTab(section)));
  return it == m_sectionIndex.end() ? nullptr : &m_sections[it->second];
}

const IniDocument::Section* IniDocument::findSection(std::string_view section) const {
  auto it = m_sectionIndex.find(FoldCase(trimSpaceTab(section)));
  return it == m_sectionIndex.end() ? nullptr : &m_sections[it->second];
}

std::optional<std::string> IniDocument::value(std::string_view section, std::string_view key) const {
  const Section* s = findSection(section);
  if (!s) return std::nullopt;
  auto it = s->keys.find(FoldCase(trimSpaceTab(key)));
  if (it == s->keys.end()) return std::nullopt;
  std::string_view t = s->lines[it->second].text;
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::string();
  std::string_view v = trimSpaceTab(t.substr(eq + 1));
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return decode(v);
}

void IniDocument::terminateLastLine() {
  for (auto s = m_sections.rbegin(); s != m_sections.rend(); ++s) {
    Line* last = !s->lines.empty() ? &s->lines.back() : (s->header ? &*s->header : nullptr);
    if (!last) continue;
    if (last->ending.empty()) last->ending = newLineEnding();
    return;
  }
}

bool IniDocument::addSection(std::string_view sectionName) {
  const std::string section = cleanName(sectionName);
  if (!writableSection(section) || findSection(section)) return false;
  terminateLastLine();
  Section s;
  s.name = std::string(section);
  s.header = Line{"[" + encode(section) + "]", newLineEnding()};
  m_sections.push_back(std::move(s));
  m_sectionIndex.emplace(FoldCase(section), m_sections.size() - 1);
  return true;
}

bool IniDocument::setValue(std::string_view sectionName, std::string_view keyName, std::string_view value) {
  // A line break in a name or value would add lines, even sections, to the file.
  const std::string section = cleanName(sectionName);
  const std::string key = cleanName(keyName);
  if (!writableSection(section) || !writableKey(key)) return false;
  const std::string encodedValue = encode(LineBreaksToBlanks(value));
  addSection(section);
  Section& s = *findSection(section);
  const std::string folded = FoldCase(key);
  if (auto it = s.keys.find(folded); it != s.keys.end()) {
    Line& line = s.lines[it->second];
    std::size_t eq = line.text.find('=');
    std::string text =
        eq == std::string::npos ? line.text + "=" + encodedValue : line.text.substr(0, eq + 1) + encodedValue;
    if (text == line.text) return false;
    line.text = std::move(text);
    return true;
  }
  // After the section's last key: comments and blank lines that follow it
  // usually introduce the next section and stay with it.
  const std::size_t at = s.lastKeyLine;
  Line& before = at > 0 ? s.lines[at - 1] : *s.header;
  if (before.ending.empty()) before.ending = newLineEnding();
  s.lines.insert(s.lines.begin() + static_cast<std::ptrdiff_t>(at),
                 Line{encode(key) + "=" + encodedValue, newLineEnding()});
  s.keys.emplace(folded, at);
  s.lastKeyLine = at + 1;
  return true;
}

bool IniDocument::removeKey(std::string_view section, std::string_view key) {
  Section* s = findSection(section);
  if (!s) return false;
  auto it = s->keys.find(FoldCase(key));
  if (it == s->keys.end()) return false;
  s->lines.erase(s->lines.begin() + static_cast<std::ptrdiff_t>(it->second));
  indexSection(*s);
  return true;
}

bool IniDocument::hasSection(std::string_view section) const {
  return findSection(section) != nullptr;
}

std::vector<std::string> IniDocument::sectionNames() const {
  std::vector<std::string> names;
  for (std::size_t i = 1; i < m_sections.size(); ++i) {
    auto it = m_sectionIndex.find(FoldCase(m_sections[i].name));
    if (it != m_sectionIndex.end() && it->second == i) names.push_back(m_sections[i].name);
  }
  return names;
}

std::vector<std::string> IniDocument::keyNames(std::string_view section) const {
  std::vector<std::string> names;
  const Section* s = findSection(section);
  if (!s) return names;
  for (std::size_t i = 0; i < s->lines.size(); ++i) {
    std::string_view key;
    if (!keyOfLine(s->lines[i].text, key)) continue;
    auto it = s->keys.find(FoldCase(decode(key)));
    if (it != s->keys.end() && it->second == i) names.push_back(decode(key));
  }
  return names;
}

std::string IniDocument::serialize() const {
  std::size_t size = m_bom.size();
  for (const Section& s : m_sections) {
    if (s.header) size += s.header->text.size() + s.header->ending.size();
    for (const Line& l : s.lines) size += l.text.size() + l.ending.size();
  }
  std::string out;
  out.reserve(size);
  out += m_bom;
  for (const Section& s : m_sections) {
    if (s.header) out.append(s.header->text).append(s.header->ending);
    for (const Line& l : s.lines) out.append(l.text).append(l.ending);
  }
  return out;
}

}  // namespace pagemoor
