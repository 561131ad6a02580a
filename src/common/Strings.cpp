#include "common/Strings.h"

#include <array>
#include <charconv>
#include <cstdint>

#include "common/Encoding.h"

namespace pagemoor {

namespace {

bool isControlOrBlank(unsigned char c) {
  return c <= 32;
}

// Byte offset of the n-th code point (or the end).
std::size_t offsetOfChar(std::string_view text, std::size_t n) {
  std::size_t pos = 0;
  char32_t cp;
  while (n > 0 && pos < text.size()) {
    NextCodePoint(text, pos, cp);
    --n;
  }
  return pos;
}

// Upper case of a code point for comparisons. Lower and upper forms have the
// same UTF-8 length in every range handled here.
char32_t foldCodePoint(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c < 0x80) return c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~char32_t{1};
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
  return c;
}

}  // namespace

std::string TrimBlanks(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  return std::string(text.substr(b, e - b));
}

std::string TrimControls(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && isControlOrBlank(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && isControlOrBlank(static_cast<unsigned char>(text[e - 1]))) --e;
  return std::string(text.substr(b, e - b));
}

std::string LeftChars(std::string_view text, long n) {
  if (n <= 0) return {};
  return std::string(text.substr(0, offsetOfChar(text, static_cast<std::size_t>(n))));
}

std::string RightChars(std::string_view text, long n) {
  std::size_t count = CharCount(text);
  if (n < 0) n = 0;
  if (static_cast<std::size_t>(n) >= count) return std::string(text);
  return std::string(text.substr(offsetOfChar(text, count - static_cast<std::size_t>(n))));
}

std::string FirstWord(std::string_view text) {
  std::size_t p = text.find(' ');
  if (p == std::string_view::npos) return std::string(text);
  return std::string(text.substr(0, p));
}

void ReplaceText(std::string& text, std::string_view find, std::string_view replacement, bool all) {
  if (find.empty() || text.empty()) return;
  const std::string upperText = FoldCase(text);
  const std::string upperFind = FoldCase(find);
  std::string out;
  std::size_t rest = 0;
  for (;;) {
    std::size_t hit = upperText.find(upperFind, rest);
    if (hit == std::string::npos) break;
    out.append(text, rest, hit - rest);
    out.append(replacement);
    rest = hit + upperFind.size();
    if (!all) break;
  }
  if (rest == 0 && out.empty()) return;  // nothing matched
  out.append(text, rest, std::string::npos);
  text = std::move(out);
}

std::string ReplacedText(std::string_view text, std::string_view find, std::string_view replacement,
                         bool all) {
  std::string s(text);
  ReplaceText(s, find, replacement, all);
  return s;
}

std::vector<std::string> SplitText(std::string_view text, std::string_view separator) {
  std::vector<std::string> list;
  if (separator.empty()) {
    if (!TrimControls(text).empty()) list.emplace_back(text);
    return list;
  }
  std::size_t p;
  while ((p = text.find(separator)) != std::string_view::npos) {
    list.push_back(TrimControls(text.substr(0, p)));
    text.remove_prefix(p + separator.size());
  }
  if (!TrimControls(text).empty()) list.emplace_back(text);
  return list;
}

std::string LineBreaksToBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    out.push_back(c == '\r' || c == '\n' ? ' ' : c);
  }
  return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
    if (pos < text.size()) ++pos;
  }
  return lines;
}

bool TextToBool(std::string_view text) {
  static constexpr std::array<std::string_view, 8> kYes = {"TRUE", "YES",    "1",     "ANO",
                                                           "OK",   "PRAVDA", "DOBRE", "ON"};
  const std::string upper = AsciiUpper(text);
  for (auto yes : kYes)
    if (upper == yes) return true;
  return false;
}

PathParts SplitPath(std::string_view path) {
  std::size_t p = path.find_last_of("\\/");
  if (p == std::string_view::npos) return {"", std::string(path)};
  return {std::string(path.substr(0, p + 1)), std::string(path.substr(p + 1))};
}

std::string AsciiLower(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

std::string AsciiUpper(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

std::string FoldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    unsigned char b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80) {
      out.push_back(b >= 'a' && b <= 'z' ? static_cast<char>(b - 32) : static_cast<char>(b));
      ++pos;
      continue;
    }
    std::size_t start = pos;
    char32_t cp;
    if (!NextCodePoint(text, pos, cp)) {
      out.append(text.substr(start, pos - start));  // invalid bytes stay as they are
      continue;
    }
    char32_t folded = foldCodePoint(cp);
    if (folded == cp)
      out.append(text.substr(start, pos - start));
    else
      AppendUtf8(out, folded);
  }
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return FoldCase(a) == FoldCase(b);
}

bool StartsWithText(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

bool EndsWithText(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && SameText(text.substr(text.size() - suffix.size()), suffix);
}

bool TryParseInt(std::string_view text, long long& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  long long v = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || ptr != text.data() + text.size()) return false;
  value = v;
  return true;
}

long long StrToIntDef(std::string_view text, long long fallback) {
  long long v;
  return TryParseInt(text, v) ? v : fallback;
}

int StrToInt(std::string_view text) {
  long long v = 0;
  if (!TryParseInt(text, v) || v < INT32_MIN || v > INT32_MAX)
    throw ConvertError("'" + std::string(text) + "' is not a valid integer value");
  return static_cast<int>(v);
}

std::string EscapeControls(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0f];
    }
  }
  return out;
}

std::string FormatText(std::string_view format, const std::vector<std::string>& args) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c == '%' && i + 1 < format.size()) {
      char spec = format[i + 1];
      if (spec == '%') {
        out.push_back('%');
        ++i;
        continue;
      }
      if ((spec == 's' || spec == 'd') && next < args.size()) {
        out.append(args[next++]);
        ++i;
        continue;
      }
    }
    out.push_back(c);
  }
  return out;
}

std::size_t CharCount(std::string_view text) {
  std::size_t pos = 0, n = 0;
  char32_t cp;
  while (pos < text.size()) {
    NextCodePoint(text, pos, cp);
    ++n;
  }
  return n;
}

// Code points, ASCII letters folded to lower case.
static std::u32string FoldedCodePoints(std::string_view text) {
  std::u32string out;
  std::size_t pos = 0;
  char32_t cp = 0;
  while (pos < text.size()) {
    if (!NextCodePoint(text, pos, cp)) cp = static_cast<unsigned char>(text[pos - 1]);
    if (cp >= 'A' && cp <= 'Z') cp += 'a' - 'A';
    out.push_back(cp);
  }
  return out;
}

// '*' takes any run of characters, '?' one character.
static bool WildcardCodePoints(const std::u32string& name, const std::u32string& mask) {
  std::size_t n = 0;
  std::size_t m = 0;
  std::size_t starMask = std::u32string::npos;
  std::size_t starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::u32string::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

// A DOS mask: as a wildcard, and a mask that ends in ".*" also takes names
// without any dot ("*.*" takes every name, "readme.*" takes "README").
bool MatchesDosMask(std::string_view fileName, std::string_view mask) {
  if (mask.empty()) return true;
  const std::u32string name = FoldedCodePoints(fileName);
  const std::u32string m = FoldedCodePoints(mask);
  if (WildcardCodePoints(name, m)) return true;
  return m.ends_with(U".*") && name.find(U'.') == std::u32string::npos &&
         WildcardCodePoints(name, m.substr(0, m.size() - 2));
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  return WildcardCodePoints(FoldedCodePoints(name), FoldedCodePoints(mask));
}

}  // namespace pagemoor
