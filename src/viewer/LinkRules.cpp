#include "viewer/LinkRules.h"

#include <sys/stat.h>
#include <unistd.h>

#include "common/Strings.h"
#include "platform/LaunchPolicy.h"

namespace pagemoor {

namespace {

bool ContainsText(std::string_view capitals, std::string_view what) {
  return capitals.find(what) != std::string_view::npos;
}

// Characters /bin/sh takes literally in a word.
bool IsShellSafe(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '_':
    case '-':
    case '.':
    case '/':
    case ',':
    case ':':
    case '+':
    case '=':
    case '@':
    case '%':
      return true;
    default:
      return false;
  }
}

}  // namespace

bool IsLocalLink(std::string_view src) {
  const std::size_t colon = src.find(':');
  // The colon's position counted in characters from 1; no colon counts as 0.
  const bool noScheme = colon == std::string_view::npos || CharCount(src.substr(0, colon)) + 1 <= 2;
  return noScheme || ContainsText(AsciiUpper(src), "FILE:");
}

LocalLink SplitLocalLink(std::string_view src) {
  const std::string text = LeftChars(src, kLinkTextLimit);
  std::size_t p = text.find(' ');
  if (p == std::string::npos) p = text.find('?');
  if (p == std::string::npos) return {text, {}};
  return {text.substr(0, p), text.substr(p + 1)};
}

std::string LinkExtension(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return {};
  const std::size_t step = path.find_last_of("\\/:");
  if (step != std::string_view::npos && step > dot) return {};
  return AsciiUpper(path.substr(dot));
}

LinkKind LocalLinkKind(std::string_view expandedPath) {
  const std::string ext = LinkExtension(expandedPath);
  if (ext == ".WAV") return LinkKind::Wave;
  if (ext == ".EXE") return LinkKind::Program;
  if (ext == ".MID" || ext == ".AVI") return LinkKind::Media;
  return LinkKind::Pane;
}

LinkKind SchemeLinkKind(std::string_view src) {
  const std::string capitals = AsciiUpper(src);
  if (ContainsText(capitals, "MAILTO:")) return LinkKind::Mail;
  if (UrlScheme(src) == "http") return LinkKind::Web;
  if (ContainsText(capitals, "CON_COM:")) return LinkKind::Command;
  return LinkKind::Pane;
}

std::string ShellQuoted(std::string_view text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  out += '\'';
  return out;
}

std::string ShellWord(std::string_view text) {
  bool safe = !text.empty();
  for (const char c : text) safe = safe && IsShellSafe(c);
  return safe ? std::string(text) : ShellQuoted(text);
}

std::string ShellParameters(std::string_view parameters) {
  std::string out;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  auto finish = [&] {
    if (!inWord) return;
    if (!out.empty()) out += ' ';
    out += ShellWord(word);
    word.clear();
    inWord = false;
  };
  for (const char c : parameters) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;  // "" is an empty word
    } else if ((c == ' ' || c == '\t') && !quoted) {
      finish();
    } else {
      word += c;
      inWord = true;
    }
  }
  finish();
  return out;
}

std::string WineCommandLine(std::string_view programPath, std::string_view parameters) {
  return "wine " + ShellQuoted(programPath) + " " + ShellParameters(parameters);
}

std::optional<std::string> FindProgramOnPath(std::string_view name, std::string_view pathVariable) {
  if (name.empty()) return std::nullopt;
  std::size_t begin = 0;
  while (begin <= pathVariable.size()) {
    std::size_t end = pathVariable.find(':', begin);
    if (end == std::string_view::npos) end = pathVariable.size();
    std::string folder(pathVariable.substr(begin, end - begin));
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + std::string(name);
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    begin = end + 1;
  }
  return std::nullopt;
}

}  // namespace pagemoor
