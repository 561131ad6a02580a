#include "mailer/MimeText.h"

#include <algorithm>
#include <optional>

#include "mailer/UUProcessor.h"

namespace pagemoor {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsLineBreak(char c) {
  return c == '\r' || c == '\n';
}

// Bytes of the UTF-8 sequence starting at `at`; an invalid or cut sequence
// counts one byte, so odd input still goes out whole.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t n = 1;
  if (lead >= 0xF0 && lead < 0xF8)
    n = 4;
  else if (lead >= 0xE0)
    n = lead < 0xF0 ? 3 : 1;
  else if (lead >= 0xC0)
    n = 2;
  if (at + n > text.size()) return 1;
  for (std::size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
  return n;
}

// Length of a base64 encoded word for `bytes` bytes of text.
std::size_t EncodedWordLength(std::size_t bytes) {
  return 12 + (bytes + 2) / 3 * 4;  // "=?UTF-8?B?" + text + "?="
}

// Folding keeps lines to this length where the text lets it.
constexpr std::size_t kFoldedLine = 78;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The length of the last line of a folded header line.
std::size_t LastLineLength(std::string_view text) {
  const std::size_t fold = text.rfind("\r\n");
  return fold == std::string_view::npos ? text.size() : text.size() - fold - 2;
}

// 7-bit text folded before blanks (CR LF put in front of a blank, which
// unfolding takes out again), lines kept to 78 characters where the words let
// it. Nothing when a word is too long for a line of 998.
std::optional<std::string> FoldAtBlanks(std::string_view text, std::size_t used) {
  std::string out;
  std::size_t line = used;  // the length of the line being filled
  bool lineHasText = false;
  std::size_t at = 0;
  while (at < text.size()) {
    // A piece: the blanks before a word and the word.
    std::size_t end = at;
    while (end < text.size() && IsBlank(text[end])) ++end;
    const bool hasWord = end < text.size();
    while (end < text.size() && !IsBlank(text[end])) ++end;
    const std::string_view piece = text.substr(at, end - at);
    if (lineHasText && hasWord && IsBlank(piece.front()) && line + piece.size() > kFoldedLine) {
      out += "\r\n";
      line = 0;
    }
    out += piece;
    line += piece.size();
    lineHasText = true;
    if (line > kMaxSmtpLine) return std::nullopt;
    at = end;
  }
  return out;
}

}  // namespace

bool IsSevenBit(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 128; });
}

std::string CleanHeaderValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (IsLineBreak(text[i])) {
      while (i < text.size() && IsLineBreak(text[i])) ++i;
      out += ' ';
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::string CleanCommandArgument(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (!IsLineBreak(c)) out += c;
  return out;
}

std::vector<std::string> BodyLines(const std::vector<std::string>& entries) {
  std::vector<std::string> lines;
  for (std::string_view entry : entries) {
    if (entry.ends_with("\r\n"))
      entry.remove_suffix(2);
    else if (!entry.empty() && IsLineBreak(entry.back()))
      entry.remove_suffix(1);
    std::string line;
    for (std::size_t i = 0; i < entry.size(); ++i) {
      if (!IsLineBreak(entry[i])) {
        line += entry[i];
        continue;
      }
      if (entry[i] == '\r' && i + 1 < entry.size() && entry[i + 1] == '\n') ++i;
      lines.push_back(std::move(line));
      line.clear();
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string DotStuffed(std::string_view line) {
  if (line.starts_with('.')) return "." + std::string(line);
  return std::string(line);
}

std::vector<std::string> BreakLine(std::string_view line, std::size_t limit) {
  std::vector<std::string> pieces;
  do {
    const std::size_t n = std::min(limit, line.size());
    pieces.emplace_back(line.substr(0, n));
    line.remove_prefix(n);
  } while (!line.empty());
  return pieces;
}

std::vector<std::string> QuotedPrintableLines(std::string_view line) {
  // Each byte as it is written: itself or "=XX".
  std::vector<std::string> tokens;
  tokens.reserve(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    const bool blank = c == ' ' || c == '\t';
    const bool last = i + 1 == line.size();
    if ((c >= 33 && c <= 126 && c != '=') || (blank && !last))
      tokens.emplace_back(1, static_cast<char>(c));
    else
      tokens.push_back(std::string{'=', kHex[c >> 4], kHex[c & 15]});
  }
  std::size_t restLength = 0;
  for (const std::string& t : tokens) restLength += t.size();

  std::vector<std::string> lines;
  std::string current;
  for (const std::string& t : tokens) {
    // The last line may use all 76 characters; one that goes on keeps one for "=".
    if (current.size() + restLength > kMaxQuotedPrintableLine &&
        current.size() + t.size() > kMaxQuotedPrintableLine - 1) {
      lines.push_back(current + "=");
      current.clear();
    }
    current += t;
    restLength -= t.size();
  }
  lines.push_back(std::move(current));
  return lines;
}

std::string EncodeHeaderText(std::string_view text, std::size_t used) {
  if (IsSevenBit(text)) {
    if (used + text.size() <= kMaxSmtpLine) return std::string(text);
    if (std::optional<std::string> folded = FoldAtBlanks(text, used)) return std::move(*folded);
    // A word too long for any line: encoded words can be cut anywhere.
  }
  std::string out;
  std::size_t room = kMaxQuotedPrintableLine > used ? kMaxQuotedPrintableLine - used : 0;
  std::size_t at = 0;
  while (at < text.size()) {
    // As many whole characters as fit on this line (at least one).
    std::size_t end = at + SequenceLength(text, at);
    while (end < text.size()) {
      const std::size_t next = end + SequenceLength(text, end);
      if (EncodedWordLength(next - at) > room) break;
      end = next;
    }
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + TQzUUProcessor::EncodeBase64(text.substr(at, end - at)) + "?=";
    at = end;
    room = kMaxQuotedPrintableLine - 1;  // a folded line starts with a blank
  }
  return out;
}

std::string EncodeDisplayName(std::string_view name, std::size_t used) {
  const std::size_t first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string(name);
  const std::size_t last = name.find_last_not_of(' ');
  const std::string_view words = name.substr(first, last + 1 - first);
  std::string out(name.substr(0, first));
  if (!IsSevenBit(words)) {
    out += EncodeHeaderText(words, used + first);
  } else if (words.find_first_of("()<>[]:;@\\,.\"") == std::string_view::npos ||
             (words.size() >= 2 && words.front() == '"' && words.back() == '"')) {
    out += words;  // an atom, or quoted already
  } else {
    out += '"';
    for (char c : words) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    out += '"';
  }
  out += name.substr(last + 1);
  return out;
}

std::string EncodeAddressEntry(std::string_view entry) {
  const std::size_t open = entry.find('<');
  if (open == std::string_view::npos) return std::string(entry);
  return EncodeDisplayName(entry.substr(0, open), 0) + std::string(entry.substr(open));
}

std::string AddressListLine(std::string_view name, const std::vector<std::string>& entries) {
  std::string line(name);
  std::size_t total = line.size();
  for (const std::string& e : entries) total += e.size() + 1;
  const bool fold = total > kMaxSmtpLine + 1;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) {
      line += ',';
      if (fold && LastLineLength(line) + entries[i].size() > kFoldedLine) line += "\r\n ";
    }
    line += entries[i];
  }
  return line;
}

}  // namespace pagemoor
