#include "hypertext/MarkupReader.h"

#include <algorithm>
#include <cstdint>

#include "common/Encoding.h"

namespace pagemoor::pagemodel {

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

namespace {

// Numeric references to 128-159 mean windows-1252 characters on old pages.
void AppendCodePoint(std::string& out, std::uint64_t cp) {
  if (cp >= 0x80 && cp < 0xA0) cp = Windows1252ToUnicode(static_cast<unsigned char>(cp));
  AppendUtf8(out, static_cast<char32_t>(cp));
}

}  // namespace

std::string DecodeEntities(std::string_view text, bool runningText) {
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

void TagReader::read(std::size_t pos, Tag& tag) {
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

bool StartsTag(std::string_view text, std::size_t lt) {
  if (lt + 1 >= text.size()) return false;
  if (IsLetter(text[lt + 1])) return true;
  return text[lt + 1] == '/' && lt + 2 < text.size() && IsLetter(text[lt + 2]);
}

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

}  // namespace pagemoor::pagemodel
