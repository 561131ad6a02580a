// Reading a page's markup the way old browsers did: ASCII letter case,
// entities, tags with quoted, single-quoted or bare values. The page builder,
// the include directives and the search for a declared charset read with it.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pagemoor::pagemodel {

constexpr std::size_t npos = std::string_view::npos;

// ---- Characters ----

inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
inline bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
inline char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// lower must be lower case ASCII.
inline bool StartsLower(std::string_view text, std::size_t pos, std::string_view lower) {
  if (pos > text.size() || text.size() - pos < lower.size()) return false;
  for (std::size_t i = 0; i < lower.size(); ++i)
    if (Lower(text[pos + i]) != lower[i]) return false;
  return true;
}

inline bool EqualsLower(std::string_view text, std::string_view lower) {
  return text.size() == lower.size() && StartsLower(text, 0, lower);
}

std::size_t FindLower(std::string_view text, std::size_t pos, std::string_view lower);
std::string LowerCopy(std::string_view text);
std::string_view TrimSpaces(std::string_view text);

// ---- Entities ----

// Decodes &amp; &lt; &gt; &quot; &#NN; &#xNN; (and &nbsp; in running text);
// anything else, and a reference without its ';', stays as written.
// Numeric references to 128-159 mean windows-1252 characters on old pages.
std::string DecodeEntities(std::string_view text, bool runningText = false);
// Text as a reader sees it: entities decoded, white space collapsed.
std::string VisibleText(std::string_view raw);
std::string WithoutTags(std::string_view html);

// ---- Tags ----

struct Attribute {
  std::string name;  // lower case
  std::string_view value;
  bool hasValue = false;
  std::size_t begin = 0;  // where its name starts
};

struct Tag {
  std::string name;  // lower case
  bool closing = false;
  std::size_t begin = 0, nameEnd = 0, end = 0;
  std::vector<Attribute> attributes;

  // The first occurrence counts, as in browsers.
  const Attribute* find(std::string_view lowerName) const {
    for (const Attribute& a : attributes)
      if (a.name == lowerName) return &a;
    return nullptr;
  }
  bool has(std::string_view lowerName) const { return find(lowerName) != nullptr; }
  std::string_view value(std::string_view lowerName) const {
    const Attribute* a = find(lowerName);
    return a ? a->value : std::string_view();
  }
};

// Reads tags the way old browsers did: quoted, single-quoted or bare values,
// any letter case, a tag ends at '>' or the end of the text. A quote that is
// never closed ends at the next '>'.
class TagReader {
 public:
  explicit TagReader(std::string_view text) : m_text(text) {}

  // The tag whose '<' is at pos.
  Tag read(std::size_t pos) {
    Tag tag;
    read(pos, tag);
    return tag;
  }

  // The same into a tag whose storage is used again.
  void read(std::size_t pos, Tag& tag);

  // The next c at or after from. Tags are read front to back, so the last
  // answer for each character is remembered: a page full of unclosed quotes
  // does not search the rest of the text again for every one of them.
  std::size_t next(char c, std::size_t from) {
    const int slot = c == '"' ? 0 : c == '\'' ? 1 : 2;
    Cached& cached = m_cache[static_cast<std::size_t>(slot)];
    if (cached.valid && cached.from <= from && (cached.at == npos || cached.at >= from)) return cached.at;
    cached = Cached{true, from, m_text.find(c, from)};
    return cached.at;
  }

 private:
  struct Cached {
    bool valid = false;
    std::size_t from = 0;
    std::size_t at = npos;
  };
  std::string_view m_text;
  std::array<Cached, 3> m_cache{};
};

// Whether the '<' at lt opens a tag (a letter or '/' and a letter follow).
bool StartsTag(std::string_view text, std::size_t lt);

// The charset a <meta> in the first few KB declares, empty when none does.
std::string DeclaredCharset(std::string_view bytes);

}  // namespace pagemoor::pagemodel
