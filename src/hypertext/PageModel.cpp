#include "hypertext/PageModel.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <unordered_map>

#include "common/Encoding.h"
#include "common/Strings.h"
#include "hypertext/PageNesting.h"

namespace pagemoor {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// ---------------------------------------------------------------------------
// Characters

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// lower must be lower case ASCII.
bool StartsLower(std::string_view text, std::size_t pos, std::string_view lower) {
  if (pos > text.size() || text.size() - pos < lower.size()) return false;
  for (std::size_t i = 0; i < lower.size(); ++i)
    if (Lower(text[pos + i]) != lower[i]) return false;
  return true;
}

bool EqualsLower(std::string_view text, std::string_view lower) {
  return text.size() == lower.size() && StartsLower(text, 0, lower);
}

std::size_t FindLower(std::string_view text, std::size_t pos, std::string_view lower) {
  for (; pos < text.size(); ++pos) {
    const char first[] = {lower[0], IsLetter(lower[0]) ? static_cast<char>(lower[0] - 'a' + 'A') : lower[0]};
    pos = text.find_first_of(std::string_view(first, 2), pos);
    if (pos == npos) return npos;
    if (StartsLower(text, pos, lower)) return pos;
  }
  return npos;
}

std::string LowerCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// ---------------------------------------------------------------------------
// Character sets

// ISO-8859-2 from 0xA0 on (below that it is ASCII).
constexpr std::array<char16_t, 96> kLatin2High = {
    0x00A0, 0x0104, 0x02D8, 0x0141, 0x00A4, 0x013D, 0x015A, 0x00A7, 0x00A8, 0x0160, 0x015E, 0x0164,
    0x0179, 0x00AD, 0x017D, 0x017B, 0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7,
    0x00B8, 0x0161, 0x015F, 0x0165, 0x017A, 0x02DD, 0x017E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102,
    0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170,
    0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3,
    0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};

// windows-1252 at 0x80-0x9F; the five unassigned bytes keep their C1 code.
constexpr std::array<char16_t, 32> kWindows1252Low = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

enum class Codec { Utf8, Windows1250, Latin2, Windows1252 };

struct CharsetLabel {
  std::string_view label;
  Codec codec;
};

// Browsers read a page declared iso-8859-1 or us-ascii as windows-1252, and
// pages written on Windows rely on it (curly quotes, dashes at 0x80-0x9F).
constexpr std::array<CharsetLabel, 23> kCharsetLabels = {{
    {"utf-8", Codec::Utf8},
    {"utf8", Codec::Utf8},
    {"unicode-1-1-utf-8", Codec::Utf8},
    {"windows-1250", Codec::Windows1250},
    {"cp1250", Codec::Windows1250},
    {"x-cp1250", Codec::Windows1250},
    {"iso-8859-2", Codec::Latin2},
    {"iso8859-2", Codec::Latin2},
    {"iso_8859-2", Codec::Latin2},
    {"latin2", Codec::Latin2},
    {"l2", Codec::Latin2},
    {"csisolatin2", Codec::Latin2},
    {"iso-8859-1", Codec::Windows1252},
    {"iso8859-1", Codec::Windows1252},
    {"iso_8859-1", Codec::Windows1252},
    {"latin1", Codec::Windows1252},
    {"l1", Codec::Windows1252},
    {"windows-1252", Codec::Windows1252},
    {"cp1252", Codec::Windows1252},
    {"x-cp1252", Codec::Windows1252},
    {"us-ascii", Codec::Windows1252},
    {"ascii", Codec::Windows1252},
    {"ansi_x3.4-1968", Codec::Windows1252},
}};

const char* CodecName(Codec codec) {
  switch (codec) {
    case Codec::Utf8:
      return "utf-8";
    case Codec::Windows1250:
      return "windows-1250";
    case Codec::Latin2:
      return "iso-8859-2";
    case Codec::Windows1252:
      return "windows-1252";
  }
  return "utf-8";
}

// Invalid sequences become U+FFFD, one per byte that starts no character.
std::string RepairedUtf8(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t start = pos;
    char32_t cp;
    if (NextCodePoint(bytes, pos, cp)) {
      out.append(bytes.substr(start, pos - start));
    } else {
      AppendUtf8(out, 0xFFFD);
    }
  }
  return out;
}

std::string DecodeSingleByte(std::string_view bytes, Codec codec) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out.push_back(c);
    } else if (b < 0xA0) {
      if (codec == Codec::Windows1252) {
        AppendUtf8(out, kWindows1252Low[b - 0x80]);
      } else {
        // ISO-8859-2 has only invisible controls here; a page that uses these
        // bytes was written in windows-1250 (š, ť, ž at 0x9A, 0x9D, 0x9E).
        out += Windows1250ToUtf8(std::string_view(&c, 1));
      }
    } else {
      AppendUtf8(out, codec == Codec::Latin2 ? kLatin2High[b - 0xA0] : b);
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// Entities

// Numeric references to 128-159 mean windows-1252 characters on old pages.
void AppendCodePoint(std::string& out, std::uint64_t cp) {
  if (cp >= 0x80 && cp < 0xA0) cp = kWindows1252Low[cp - 0x80];
  AppendUtf8(out, static_cast<char32_t>(cp));
}

// Decodes &amp; &lt; &gt; &quot; &#NN; &#xNN; (and &nbsp; in running text);
// anything else, and a reference without its ';', stays as written.
std::string DecodeEntities(std::string_view text, bool runningText = false) {
  if (text.find('&') == npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  constexpr std::size_t kLongest = 12;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out.push_back(text[i]);
      continue;
    }
    const std::size_t semicolon = text.substr(i + 1, kLongest).find(';');
    if (semicolon == npos || semicolon == 0) {
      out.push_back('&');
      continue;
    }
    const std::string_view name = text.substr(i + 1, semicolon);
    bool decoded = true;
    if (name[0] == '#') {
      const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
      const std::string_view digits = name.substr(hex ? 2 : 1);
      std::uint64_t cp = 0;
      decoded = !digits.empty();
      for (char c : digits) {
        int digit = -1;
        if (IsDigit(c)) digit = c - '0';
        if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) decoded = false;
        cp = cp * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit < 0 ? 0 : digit);
      }
      if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) decoded = false;
      if (decoded) AppendCodePoint(out, cp);
    } else if (EqualsLower(name, "amp")) {
      out.push_back('&');
    } else if (EqualsLower(name, "lt")) {
      out.push_back('<');
    } else if (EqualsLower(name, "gt")) {
      out.push_back('>');
    } else if (EqualsLower(name, "quot")) {
      out.push_back('"');
    } else if (runningText && EqualsLower(name, "nbsp")) {
      AppendUtf8(out, 0xA0);
    } else {
      decoded = false;
    }
    if (decoded) {
      i += semicolon + 1;
    } else {
      out.push_back('&');
    }
  }
  return out;
}

// Text as a reader sees it: entities decoded, white space collapsed.
std::string VisibleText(std::string_view raw) {
  const std::string decoded = DecodeEntities(raw, true);
  std::string out;
  out.reserve(decoded.size());
  bool space = false;
  for (char c : decoded) {
    if (IsSpace(c)) {
      space = !out.empty();
      continue;
    }
    if (space) out.push_back(' ');
    space = false;
    out.push_back(c);
  }
  return out;
}

std::string WithoutTags(std::string_view html) {
  std::string out;
  out.reserve(html.size());
  bool inTag = false;
  for (char c : html) {
    if (c == '<') inTag = true;
    if (!inTag) out.push_back(c);
    if (c == '>') inTag = false;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Tags

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
  void read(std::size_t pos, Tag& tag) {
    const std::string_view t = m_text;
    const std::size_t n = t.size();
    tag.attributes.clear();
    tag.closing = false;
    tag.begin = pos;
    std::size_t i = pos + 1;
    if (i < n && t[i] == '/') {
      tag.closing = true;
      ++i;
    }
    const std::size_t nameBegin = i;
    while (i < n && !IsSpace(t[i]) && t[i] != '>' && t[i] != '/') ++i;
    tag.name = LowerCopy(t.substr(nameBegin, i - nameBegin));
    tag.nameEnd = i;
    for (;;) {
      while (i < n && (IsSpace(t[i]) || t[i] == '/')) ++i;
      if (i >= n) {
        tag.end = n;
        break;
      }
      if (t[i] == '>') {
        tag.end = i + 1;
        break;
      }
      Attribute a;
      a.begin = i;
      ++i;  // a name may start with '=' or a quote
      while (i < n && !IsSpace(t[i]) && t[i] != '=' && t[i] != '>' && t[i] != '/') ++i;
      a.name = LowerCopy(t.substr(a.begin, i - a.begin));
      std::size_t j = i;
      while (j < n && IsSpace(t[j])) ++j;
      if (j < n && t[j] == '=') {
        ++j;
        while (j < n && IsSpace(t[j])) ++j;
        a.hasValue = true;
        if (j < n && (t[j] == '"' || t[j] == '\'')) {
          const std::size_t close = next(t[j], j + 1);
          if (close != npos) {
            a.value = t.substr(j + 1, close - j - 1);
            i = close + 1;
          } else {
            const std::size_t gt = next('>', j + 1);
            const std::size_t stop = gt == npos ? n : gt;
            a.value = t.substr(j + 1, stop - j - 1);
            i = stop;
          }
        } else {
          const std::size_t valueBegin = j;
          while (j < n && !IsSpace(t[j]) && t[j] != '>') ++j;
          a.value = t.substr(valueBegin, j - valueBegin);
          i = j;
        }
      }
      tag.attributes.push_back(std::move(a));
    }
  }

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

bool StartsTag(std::string_view text, std::size_t lt) {
  if (lt + 1 >= text.size()) return false;
  if (IsLetter(text[lt + 1])) return true;
  return text[lt + 1] == '/' && lt + 2 < text.size() && IsLetter(text[lt + 2]);
}

// The charset a <meta> in the first few KB declares, empty when none does.
std::string DeclaredCharset(std::string_view bytes) {
  constexpr std::size_t kLookAt = 8192;
  const std::size_t limit = std::min(bytes.size(), kLookAt);
  TagReader reader(bytes);
  std::size_t pos = 0;
  while (pos < limit) {
    const std::size_t lt = bytes.find('<', pos);
    if (lt == npos || lt >= limit) break;
    if (StartsLower(bytes, lt, "<!--")) {
      const std::size_t close = bytes.find("-->", lt + 4);
      if (close == npos) break;
      pos = close + 3;
      continue;
    }
    if (!StartsTag(bytes, lt)) {
      pos = lt + 1;
      continue;
    }
    const Tag tag = reader.read(lt);
    pos = tag.end;
    if (tag.name != "meta" || tag.closing) continue;
    if (const Attribute* a = tag.find("charset")) {
      std::string_view name = TrimSpaces(a->value);
      while (!name.empty() && name.back() == '/') name.remove_suffix(1);  // <meta charset=utf-8/>
      if (!name.empty()) return std::string(name);
    }
    const std::string_view content = tag.value("content");
    std::size_t at = FindLower(content, 0, "charset");
    if (at == npos) continue;
    at += 7;
    while (at < content.size() && IsSpace(content[at])) ++at;
    if (at >= content.size() || content[at] != '=') continue;
    ++at;
    while (at < content.size() && (IsSpace(content[at]) || content[at] == '"' || content[at] == '\'')) ++at;
    std::size_t stop = at;
    while (stop < content.size() && !IsSpace(content[stop]) && content[stop] != ';' && content[stop] != '"' &&
           content[stop] != '\'')
      ++stop;
    if (stop > at) return std::string(content.substr(at, stop - at));
  }
  return {};
}

// ---------------------------------------------------------------------------
// Include directives

bool ParseDirective(std::string_view body, std::string& command, std::vector<std::string>& params) {
  if (body.size() < 2 || body[0] != '#' || !IsLetter(body[1])) return false;
  std::size_t i = 1;
  while (i < body.size() && IsLetter(body[i])) ++i;
  if (i < body.size() && !IsSpace(body[i])) return false;
  command = std::string(body.substr(1, i - 1));
  const std::size_t n = body.size();
  while (i < n) {
    while (i < n && IsSpace(body[i])) ++i;
    if (i >= n) break;
    const std::size_t nameBegin = i;
    while (i < n && !IsSpace(body[i]) && body[i] != '=') ++i;
    const std::string_view name = body.substr(nameBegin, i - nameBegin);
    std::string_view value;
    std::size_t j = i;
    while (j < n && IsSpace(body[j])) ++j;
    if (j < n && body[j] == '=') {
      ++j;
      while (j < n && IsSpace(body[j])) ++j;
      if (j < n && (body[j] == '"' || body[j] == '\'')) {
        const char quote = body[j];
        std::size_t close = body.find(quote, j + 1);
        if (close == npos) close = n;
        value = body.substr(j + 1, close - j - 1);
        i = close == n ? n : close + 1;
      } else {
        const std::size_t valueBegin = j;
        while (j < n && !IsSpace(body[j])) ++j;
        value = body.substr(valueBegin, j - valueBegin);
        i = j;
      }
    }
    if (name.empty()) {  // a stray '=': nothing to name
      i = std::max(i, nameBegin + 1);
      continue;
    }
    std::string param = AsciiUpper(name);
    param += "=\"";
    param.append(value);
    param += '"';
    params.push_back(std::move(param));
  }
  return true;
}

// Directives are replaced before the page is read as HTML, so what a handler
// returns is read like the rest of the page but never looked at for
// directives again.
std::string ExpandIncludes(std::string_view html, const IncludeHandler& include) {
  std::string out;
  out.reserve(html.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t open = html.find("<!--", pos);
    const std::size_t close = open == npos ? npos : html.find("-->", open + 4);
    if (close == npos) {
      out.append(html.substr(pos));
      return out;
    }
    out.append(html.substr(pos, open - pos));
    std::string command;
    std::vector<std::string> params;
    if (ParseDirective(html.substr(open + 4, close - open - 4), command, params)) {
      if (include) out += include(command, params);
    } else {
      out.append(html.substr(open, close + 3 - open));
    }
    pos = close + 3;
  }
}

// ---------------------------------------------------------------------------
// Attribute values

bool IsSoundFile(std::string_view src) {
  src = TrimSpaces(src);
  for (std::string_view ext :
       {".wav", ".mid", ".midi", ".mp3", ".mod", ".xm", ".s3m", ".it", ".mtm", ".mo3", ".ogg"})
    if (src.size() > ext.size() && StartsLower(src, src.size() - ext.size(), ext)) return true;
  return false;
}

int ParseLoop(const Attribute* loop) {
  if (!loop) return 1;
  if (!loop->hasValue) return -1;  // a bare LOOP repeats
  const std::string value = LowerCopy(TrimSpaces(DecodeEntities(loop->value)));
  if (value == "infinite" || value == "true") return -1;
  long long count = 0;
  if (!TryParseInt(value, count)) return 1;
  if (count < 0) return -1;
  return static_cast<int>(std::min<long long>(count, 1 << 30));
}

int ParseNumber(std::string_view text) {
  long long value = 0;
  if (!TryParseInt(TrimSpaces(text), value)) return 0;
  return static_cast<int>(std::clamp<long long>(value, 0, 1 << 30));
}

// Integers separated by commas, blanks or anything else; a fraction is cut.
std::vector<int> ParseCoords(std::string_view text) {
  constexpr int kLargest = 1000000000;
  std::vector<int> coords;
  std::size_t i = 0;
  while (i < text.size()) {
    const bool sign = (text[i] == '-' || text[i] == '+') && i + 1 < text.size() && IsDigit(text[i + 1]);
    if (!sign && !IsDigit(text[i])) {
      ++i;
      continue;
    }
    const bool negative = text[i] == '-';
    if (sign) ++i;
    long long value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
      value = std::min<long long>(value * 10 + (text[i] - '0'), kLargest);
    if (i + 1 < text.size() && text[i] == '.' && IsDigit(text[i + 1]))
      for (++i; i < text.size() && IsDigit(text[i]); ++i) {
      }
    coords.push_back(static_cast<int>(negative ? -value : value));
  }
  return coords;
}

MapArea::Shape ParseShape(std::string_view text) {
  const std::string shape = LowerCopy(TrimSpaces(text));
  if (shape == "circle" || shape == "circ") return MapArea::Shape::Circle;
  if (shape == "poly" || shape == "polygon") return MapArea::Shape::Poly;
  if (shape == "default") return MapArea::Shape::Default;
  return MapArea::Shape::Rect;
}

std::string_view MapName(std::string_view usemap) {
  const std::size_t hash = usemap.rfind('#');
  return hash == npos ? TrimSpaces(usemap) : TrimSpaces(usemap.substr(hash + 1));
}

// ---------------------------------------------------------------------------
// The page

class PageBuilder {
 public:
  explicit PageBuilder(std::string_view text) : m_text(text), m_reader(text) {}

  PreparedPage build() {
    m_page.html.reserve(m_text.size() + m_text.size() / 8);
    std::size_t pos = 0;
    while (pos < m_text.size()) {
      const std::size_t lt = m_text.find('<', pos);
      const std::size_t stop = lt == npos ? m_text.size() : lt;
      text(m_text.substr(pos, stop - pos));
      if (lt == npos) break;
      pos = markup(lt);
    }
    if (m_select) finishSelect();
    applyMapPatches();
    return std::move(m_page);
  }

 private:
  enum class Action { Replace, Remove, UseMap };
  struct Rewrite {
    std::string_view attribute;  // lower case
    Action action;
    std::string value;  // Replace: the new value
    bool done = false;
  };
  // A usemap written before its map may have been read: placed at the end.
  struct MapPatch {
    std::size_t at;         // in html
    std::string attribute;  // its name as written
    std::string map;        // the name it asks for
    std::size_t reference;  // the image's src reference, or npos
  };
  struct OpenSelect {
    FormControl control;
    std::string align;
    bool optionOpen = false;
    std::string optionText;
    std::ptrdiff_t selected = -1;
  };

  void text(std::string_view chunk) {
    if (m_select) {
      if (m_select->optionOpen) m_select->optionText.append(chunk);
      return;
    }
    m_nesting.text(chunk.size(), m_page.html);
    m_page.html.append(chunk);
  }

  void verbatim(std::size_t begin, std::size_t end) {
    if (!m_select) m_page.html.append(m_text.substr(begin, end - begin));
  }

  // Returns where reading goes on.
  std::size_t markup(std::size_t lt) {
    const std::size_t n = m_text.size();
    if (StartsLower(m_text, lt, "<!--")) {
      const std::size_t close = m_text.find("-->", lt + 4);
      const std::size_t end = close == npos ? n : close + 3;
      verbatim(lt, end);
      return end;
    }
    if (lt + 1 < n && (m_text[lt + 1] == '!' || m_text[lt + 1] == '?')) {
      const std::size_t gt = m_reader.next('>', lt);
      const std::size_t end = gt == npos ? n : gt + 1;
      verbatim(lt, end);
      return end;
    }
    if (!StartsTag(m_text, lt)) {
      text("<");
      return lt + 1;
    }
    m_reader.read(lt, m_tag);
    if (m_select && selectTag(m_tag)) return m_tag.end;
    return handle(m_tag);
  }

  // How the engine sees an opening tag: not at all (we take it out), as an
  // element without content, or as one that holds what follows it.
  enum class Shape { Gone, Empty, Holder };

  Shape shapeOf(const Tag& tag) {
    const std::string& name = tag.name;
    if (name == "map" || name == "form" || name == "base" || name == "bgsound") return Shape::Gone;
    if (name == "area" && m_openMap != npos) return Shape::Gone;
    if (name == "embed" && tag.has("src") && IsSoundFile(DecodeEntities(tag.value("src"))))
      return Shape::Gone;
    if (name == "input") {
      return LowerCopy(TrimSpaces(DecodeEntities(tag.value("type")))) == "hidden" ? Shape::Gone
                                                                                  : Shape::Empty;
    }
    // Form controls become pictures; scripts, style sheets and a title are
    // read to their end here.
    static constexpr std::string_view kEmpty[] = {"img",      "br",     "hr",     "meta", "select",
                                                  "textarea", "button", "script", "style"};
    if (std::find(std::begin(kEmpty), std::end(kEmpty), name) != std::end(kEmpty)) return Shape::Empty;
    if (name == "title") return titleEnd(tag) == npos ? Shape::Holder : Shape::Empty;
    return Shape::Holder;
  }

  // Where reading goes on when the engine is not to see the tag: past the
  // whole element for those whose content is no text of the page.
  std::size_t leaveOut(const Tag& tag) {
    const std::string& name = tag.name;
    if (name == "textarea") return elementEnd(tag, "</textarea").second;
    if (name == "button") return elementEnd(tag, "</button").second;
    if (name == "script") return elementEnd(tag, "</script").second;
    if (name == "style") return elementEnd(tag, "</style").second;
    if (name == "title") {
      const std::size_t close = titleEnd(tag);
      if (close != npos) return m_reader.read(close).end;
    }
    return tag.end;
  }

  std::size_t handle(const Tag& tag) {
    const std::string& name = tag.name;
    if (tag.closing) {
      if (name == "map") {
        m_openMap = npos;
      } else if (name != "form" && m_nesting.close(name)) {
        verbatim(tag.begin, tag.end);
      }
      return tag.end;
    }
    const Shape shape = shapeOf(tag);
    if (shape != Shape::Gone && !m_nesting.open(name, shape == Shape::Empty, m_page.html))
      return leaveOut(tag);
    if (name == "a" || name == "frame" || name == "iframe") {
      references(tag, {{name == "a" ? "href" : "src", ReferenceKind::Link}});
    } else if (name == "img") {
      image(tag);
    } else if (name == "body") {
      body(tag);
    } else if (name == "table" || name == "td" || name == "th" || name == "tr") {
      references(tag, {{"background", ReferenceKind::Background}});
    } else if (name == "area") {
      area(tag);
    } else if (name == "map") {
      m_openMap = m_page.maps.size();
      m_page.maps.push_back(ImageMap{std::string(MapName(DecodeEntities(tag.value("name")))), {}});
    } else if (name == "bgsound") {
      sound(tag);
    } else if (name == "embed") {
      if (IsSoundFile(DecodeEntities(tag.value("src"))) && tag.has("src")) {
        sound(tag);
      } else {
        verbatim(tag.begin, tag.end);
      }
    } else if (name == "base") {
      if (m_page.base.empty() && tag.has("href")) m_page.base = DecodeEntities(tag.value("href"));
    } else if (name == "input") {
      input(tag);
    } else if (name == "select") {
      startSelect(tag);
    } else if (name == "textarea") {
      return textarea(tag);
    } else if (name == "button") {
      return button(tag);
    } else if (name == "title") {
      return title(tag);
    } else if (name == "script" || name == "style") {
      return rawText(tag);
    } else if (name != "form") {
      verbatim(tag.begin, tag.end);
    }
    return tag.end;
  }

  std::string addReference(ReferenceKind kind, std::string_view value) {
    m_page.references.push_back(PageReference{kind, DecodeEntities(value)});
    return ReferenceToken(m_page.references.size() - 1);
  }

  // Writes the tag again with the listed attributes changed; later
  // occurrences of a changed attribute go, so the engine cannot see them.
  void emitTag(const Tag& tag, std::string_view name, std::vector<Rewrite>& rewrites) {
    std::string& out = m_page.html;
    out += '<';
    out += name;
    for (const Attribute& a : tag.attributes) {
      const std::string_view written = m_text.substr(a.begin, a.name.size());
      auto rewrite = std::find_if(rewrites.begin(), rewrites.end(),
                                  [&](const Rewrite& r) { return r.attribute == a.name; });
      if (rewrite != rewrites.end()) {
        if (rewrite->done) continue;
        rewrite->done = true;
        if (rewrite->action == Action::Replace) {
          out += ' ';
          out += written;
          out += "=\"";
          out += rewrite->value;
          out += '"';
        } else if (rewrite->action == Action::UseMap) {
          m_patches.push_back(MapPatch{out.size(), std::string(written),
                                       std::string(MapName(DecodeEntities(a.value))), m_imageReference});
        }
        continue;
      }
      out += ' ';
      out += written;
      if (a.hasValue) {
        out += "=\"";
        for (char c : a.value) {
          if (c == '"') {
            out += "&quot;";
          } else {
            out += c;
          }
        }
        out += '"';
      }
    }
    out += '>';
  }

  std::string_view writtenName(const Tag& tag) const {
    return m_text.substr(tag.begin + 1, tag.nameEnd - tag.begin - 1);
  }

  void references(const Tag& tag, std::initializer_list<std::pair<std::string_view, ReferenceKind>> wanted,
                  std::vector<Rewrite> rewrites = {}, std::string_view name = {}) {
    for (const auto& [attribute, kind] : wanted)
      if (const Attribute* a = tag.find(attribute))
        rewrites.push_back(Rewrite{attribute, Action::Replace, addReference(kind, a->value)});
    if (rewrites.empty()) {
      verbatim(tag.begin, tag.end);
    } else {
      emitTag(tag, name.empty() ? writtenName(tag) : name, rewrites);
    }
  }

  void image(const Tag& tag) {
    std::vector<Rewrite> rewrites;
    m_imageReference = npos;
    if (const Attribute* src = tag.find("src")) {
      rewrites.push_back(Rewrite{"src", Action::Replace, addReference(ReferenceKind::Image, src->value)});
      m_imageReference = m_page.references.size() - 1;
    }
    if (const Attribute* usemap = tag.find("usemap")) {
      addReference(ReferenceKind::UseMap, usemap->value);
      rewrites.push_back(Rewrite{"usemap", Action::UseMap, {}});
    }
    references(tag, {{"background", ReferenceKind::Background}}, std::move(rewrites));
  }

  void body(const Tag& tag) {
    BodyColors& colors = m_page.body;
    // A page with a second <body> keeps what the first one said.
    const std::pair<std::string_view, std::string*> fields[] = {{"text", &colors.text},
                                                                {"link", &colors.link},
                                                                {"vlink", &colors.vlink},
                                                                {"alink", &colors.alink},
                                                                {"bgcolor", &colors.bgcolor}};
    for (const auto& [attribute, field] : fields)
      if (field->empty()) *field = std::string(TrimSpaces(tag.value(attribute)));
    references(tag, {{"background", ReferenceKind::Background}});
  }

  void area(const Tag& tag) {
    if (m_openMap == npos) {
      references(tag, {{"href", ReferenceKind::Link}});
      return;
    }
    MapArea area;
    area.shape = ParseShape(tag.value("shape"));
    area.coords = ParseCoords(tag.value("coords"));
    if (!tag.has("nohref")) area.href = DecodeEntities(tag.value("href"));
    area.title = DecodeEntities(tag.has("title") ? tag.value("title") : tag.value("alt"));
    m_page.maps[m_openMap].areas.push_back(std::move(area));
  }

  void sound(const Tag& tag) {
    const Attribute* src = tag.find("src");
    if (!src) return;
    SoundRequestInfo info;
    info.src = DecodeEntities(src->value);
    info.loop = ParseLoop(tag.find("loop"));
    m_page.references.push_back(PageReference{ReferenceKind::Sound, info.src});
    m_page.sounds.push_back(std::move(info));
  }

  FormControl control(const Tag& tag, std::string kind) {
    FormControl c;
    c.kind = std::move(kind);
    c.name = DecodeEntities(tag.value("name"));
    c.value = DecodeEntities(tag.value("value"));
    c.checked = tag.has("checked");
    c.onclick = DecodeEntities(tag.value("onclick"));
    c.size = ParseNumber(tag.value("size"));
    return c;
  }

  static std::string alignOf(const Tag& tag) {
    const Attribute* align = tag.find("align");
    if (!align) return {};
    std::string out = " align=\"";
    for (char c : align->value)
      if (c != '"') out += c;
    out += '"';
    return out;
  }

  void emitControl(FormControl control, const std::string& align) {
    m_page.html += "<img src=\"";
    m_page.html += FormToken(m_page.controls.size());
    m_page.html += '"';
    m_page.html += align;
    m_page.html += '>';
    m_page.controls.push_back(std::move(control));
  }

  void input(const Tag& tag) {
    std::string type = LowerCopy(TrimSpaces(DecodeEntities(tag.value("type"))));
    if (type == "hidden") return;
    if (type == "image") {
      // Drawn by the engine as the picture it is.
      references(tag, {{"src", ReferenceKind::Image}}, {Rewrite{"type", Action::Remove, {}}}, "img");
      return;
    }
    static constexpr std::string_view kKinds[] = {"checkbox", "radio", "button",  "submit",
                                                  "reset",    "text",  "password"};
    if (std::find(std::begin(kKinds), std::end(kKinds), type) == std::end(kKinds)) type = "text";
    emitControl(control(tag, std::move(type)), alignOf(tag));
  }

  void startSelect(const Tag& tag) {
    m_select = std::make_unique<OpenSelect>();
    m_select->control = control(tag, "select");
    m_select->control.value.clear();
    m_select->control.checked = false;
    m_select->align = alignOf(tag);
  }

  void closeOption() {
    if (!m_select->optionOpen) return;
    m_select->control.options.push_back(VisibleText(m_select->optionText));
    m_select->optionText.clear();
    m_select->optionOpen = false;
  }

  void finishSelect() {
    closeOption();
    FormControl& c = m_select->control;
    if (!c.options.empty()) {
      const auto selected =
          m_select->selected < 0 ? std::size_t{0} : static_cast<std::size_t>(m_select->selected);
      c.value = c.options[selected];
    }
    std::unique_ptr<OpenSelect> select = std::move(m_select);
    emitControl(std::move(select->control), select->align);
  }

  // Inside <select> only options count. Another control or the end of the
  // form closes a select that lacks its </select>, as browsers do.
  bool selectTag(const Tag& tag) {
    const std::string& name = tag.name;
    if (name == "option") {
      closeOption();
      if (!tag.closing) {
        m_select->optionOpen = true;
        if (m_select->selected < 0 && tag.has("selected"))
          m_select->selected = static_cast<std::ptrdiff_t>(m_select->control.options.size());
      }
      return true;
    }
    if (name == "select" && tag.closing) {
      finishSelect();
      return true;
    }
    if ((!tag.closing && (name == "select" || name == "input" || name == "textarea")) ||
        (tag.closing && name == "form")) {
      finishSelect();
      return false;
    }
    return true;
  }

  // The end of an element whose content is not markup: its closing tag, or
  // the end of the text. Returns {content end, where reading goes on}.
  std::pair<std::size_t, std::size_t> elementEnd(const Tag& tag, std::string_view closing) {
    const std::size_t close = FindLower(m_text, tag.end, closing);
    if (close == npos) return {m_text.size(), m_text.size()};
    return {close, m_reader.read(close).end};
  }

  std::size_t textarea(const Tag& tag) {
    const auto [contentEnd, next] = elementEnd(tag, "</textarea");
    FormControl c = control(tag, "textarea");
    std::string value = DecodeEntities(m_text.substr(tag.end, contentEnd - tag.end), true);
    // The line break right after the start tag belongs to the markup.
    if (value.starts_with("\r\n")) {
      value.erase(0, 2);
    } else if (value.starts_with('\n') || value.starts_with('\r')) {
      value.erase(0, 1);
    }
    c.value = std::move(value);
    c.checked = false;
    c.size = ParseNumber(tag.value("cols"));
    c.rows = ParseNumber(tag.value("rows"));
    emitControl(std::move(c), alignOf(tag));
    return next;
  }

  std::size_t button(const Tag& tag) {
    const auto [contentEnd, next] = elementEnd(tag, "</button");
    FormControl c = control(tag, "button");
    c.value = VisibleText(WithoutTags(m_text.substr(tag.end, contentEnd - tag.end)));
    c.checked = false;
    emitControl(std::move(c), alignOf(tag));
    return next;
  }

  // Where the title's closing tag starts, npos when none follows.
  std::size_t titleEnd(const Tag& tag) {
    // Once no "</title" follows, none follows any later <title> either: a
    // page full of them is not searched to its end again for every one.
    const std::size_t close = tag.end >= m_noTitleEndFrom ? npos : FindLower(m_text, tag.end, "</title");
    if (close == npos) m_noTitleEndFrom = std::min(m_noTitleEndFrom, tag.end);
    return close;
  }

  std::size_t title(const Tag& tag) {
    const std::size_t close = titleEnd(tag);
    if (close == npos) {  // no end: not a title, the text stays readable
      verbatim(tag.begin, tag.end);
      return tag.end;
    }
    if (m_page.title.empty()) m_page.title = VisibleText(m_text.substr(tag.end, close - tag.end));
    const std::size_t end = m_reader.read(close).end;
    verbatim(tag.begin, end);
    return end;
  }

  // Scripts and style sheets are copied untouched: their "<" are no tags.
  std::size_t rawText(const Tag& tag) {
    const auto [contentEnd, next] = elementEnd(tag, tag.name == "script" ? "</script" : "</style");
    (void)contentEnd;
    verbatim(tag.begin, next);
    return next;
  }

  void applyMapPatches() {
    if (m_patches.empty()) return;
    // The first map of a name is the one images use.
    std::unordered_map<std::string, std::size_t> names;
    names.reserve(m_page.maps.size());
    for (std::size_t i = 0; i < m_page.maps.size(); ++i) names.emplace(FoldCase(m_page.maps[i].name), i);
    std::string html;
    html.reserve(m_page.html.size() + m_patches.size() * 24);
    std::size_t copied = 0;
    for (const MapPatch& patch : m_patches) {
      html.append(m_page.html, copied, patch.at - copied);
      copied = patch.at;
      const auto found = names.find(FoldCase(patch.map));
      if (found == names.end()) continue;
      const std::size_t index = found->second;
      html += ' ';
      html += patch.attribute;
      html += "=\"#pm-map-";
      html += std::to_string(index);
      html += '"';
      if (patch.reference != npos) m_page.references[patch.reference].map = static_cast<int>(index);
    }
    html.append(m_page.html, copied);
    m_page.html = std::move(html);
  }

  std::string_view m_text;
  TagReader m_reader;
  PreparedPage m_page;
  std::vector<MapPatch> m_patches;
  std::size_t m_openMap = npos;
  std::size_t m_imageReference = npos;
  std::unique_ptr<OpenSelect> m_select;
  Tag m_tag;  // the tag being read; its storage serves every tag of the page
  std::size_t m_noTitleEndFrom = npos;
  PageNesting m_nesting;
};

bool PointInPolygon(const std::vector<int>& coords, long long x, long long y) {
  const std::size_t points = coords.size() / 2;
  if (points < 3) return false;
  bool inside = false;
  for (std::size_t i = 0, j = points - 1; i < points; j = i++) {
    const long long xi = coords[2 * i], yi = coords[2 * i + 1];
    const long long xj = coords[2 * j], yj = coords[2 * j + 1];
    if ((yi > y) == (yj > y)) continue;
    // x < xi + (xj - xi) * (y - yi) / (yj - yi), without dividing.
    const long long left = (x - xi) * (yj - yi);
    const long long right = (xj - xi) * (y - yi);
    if (yj > yi ? left < right : left > right) inside = !inside;
  }
  return inside;
}

bool Contains(const MapArea& area, int px, int py) {
  const std::vector<int>& c = area.coords;
  const long long x = px, y = py;
  switch (area.shape) {
    case MapArea::Shape::Rect:
      return c.size() >= 4 && x >= std::min(c[0], c[2]) && x <= std::max(c[0], c[2]) &&
             y >= std::min(c[1], c[3]) && y <= std::max(c[1], c[3]);
    case MapArea::Shape::Circle: {
      if (c.size() < 3 || c[2] < 0) return false;
      const long long dx = x - c[0], dy = y - c[1], r = c[2];
      // Outside the bounding square first: the squares of far points overflow.
      if (dx > r || dx < -r || dy > r || dy < -r) return false;
      return dx * dx + dy * dy <= r * r;
    }
    case MapArea::Shape::Poly:
      return PointInPolygon(c, x, y);
    case MapArea::Shape::Default:
      return true;
  }
  return false;
}

std::optional<std::size_t> TokenIndex(std::string_view token, std::string_view prefix) {
  if (!token.starts_with(prefix)) return std::nullopt;
  const std::string_view digits = token.substr(prefix.size());
  // Only the form the tokens are written in: no sign, no leading zero.
  if (digits.empty() || digits.size() > 18 || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
  std::size_t index = 0;
  for (char c : digits) {
    if (!IsDigit(c)) return std::nullopt;
    index = index * 10 + static_cast<std::size_t>(c - '0');
  }
  return index;
}

}  // namespace

std::string DecodePage(std::string_view bytes, std::string* charset) {
  Codec codec = Codec::Utf8;
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  // A byte order mark leaves no doubt, whatever a <meta> copied from
  // another page says.
  if (bytes.starts_with(kBom)) {
    bytes.remove_prefix(kBom.size());
  } else {
    const std::string declared = LowerCopy(DeclaredCharset(bytes));
    const auto known = std::find_if(kCharsetLabels.begin(), kCharsetLabels.end(),
                                    [&](const CharsetLabel& l) { return l.label == declared; });
    if (known != kCharsetLabels.end()) {
      codec = known->codec;
    } else {
      codec = IsValidUtf8(bytes) ? Codec::Utf8 : Codec::Windows1250;
    }
  }
  if (charset) *charset = CodecName(codec);
  switch (codec) {
    case Codec::Utf8:
      return RepairedUtf8(bytes);
    case Codec::Windows1250:
      return Windows1250ToUtf8(bytes);
    case Codec::Latin2:
    case Codec::Windows1252:
      return DecodeSingleByte(bytes, codec);
  }
  return {};
}

PreparedPage PreparePage(std::string_view html, const IncludeHandler& include) {
  const std::string expanded = ExpandIncludes(html, include);
  return PageBuilder(expanded).build();
}

const MapArea* MapAreaAt(const ImageMap& map, int x, int y) {
  for (const MapArea& area : map.areas)
    if (Contains(area, x, y)) return &area;
  return nullptr;
}

std::optional<std::string> HitTestMap(const ImageMap& map, int x, int y) {
  const MapArea* area = MapAreaAt(map, x, y);
  // An area without a link still covers what lies below it.
  if (!area || area->href.empty()) return std::nullopt;
  return area->href;
}

std::string ReferenceToken(std::size_t index) {
  return "pm:ref/" + std::to_string(index);
}
std::string FormToken(std::size_t index) {
  return "pm:form/" + std::to_string(index);
}

std::optional<std::size_t> ReferenceIndex(std::string_view token) {
  return TokenIndex(token, "pm:ref/");
}
std::optional<std::size_t> FormIndex(std::string_view token) {
  return TokenIndex(token, "pm:form/");
}

}  // namespace pagemoor
