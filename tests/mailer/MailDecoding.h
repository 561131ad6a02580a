// Decoders for checking what the mail client encodes: written apart from the
// encoders, so a test compares against an independent reading.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pagemoor::test {

// The lines of CR LF text (a last line without its end included).
inline std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  if (at < text.size()) lines.push_back(text.substr(at));
  return lines;
}

// Base64 with line breaks and "=" fill skipped; anything else stops it.
inline std::string DecodeBase64(std::string_view text) {
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    int v;
    if (c >= 'A' && c <= 'Z')
      v = c - 'A';
    else if (c >= 'a' && c <= 'z')
      v = c - 'a' + 26;
    else if (c >= '0' && c <= '9')
      v = c - '0' + 52;
    else if (c == '+')
      v = 62;
    else if (c == '/')
      v = 63;
    else if (c == '\r' || c == '\n' || c == '=')
      continue;
    else
      return "<bad base64>";
    bits = bits << 6 | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>(bits >> count & 0xFF);
    }
  }
  return out;
}

// Quoted-printable lines ending in CR LF: "=XX" escapes and soft breaks.
inline std::string DecodeQuotedPrintable(std::string_view text) {
  const auto hex = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      out += text[i];
    } else if (text.substr(i + 1, 2) == "\r\n") {
      i += 2;
    } else if (i + 2 < text.size()) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    }
  }
  return out;
}

// "=?UTF-8?B?...?=" words, the folding between them dropped.
inline std::string DecodeEncodedWords(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    const std::size_t start = text.find("=?UTF-8?B?");
    if (start == std::string_view::npos) return out + std::string(text);
    std::string_view before = text.substr(0, start);
    if (before.find_first_not_of("\r\n ") != std::string_view::npos || out.empty()) out += before;
    const std::size_t end = text.find("?=", start + 10);
    out += DecodeBase64(text.substr(start + 10, end - start - 10));
    text.remove_prefix(end + 2);
  }
  return out;
}

}  // namespace pagemoor::test
