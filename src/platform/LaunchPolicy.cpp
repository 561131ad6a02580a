#include "platform/LaunchPolicy.h"

#include <sys/stat.h>

#include "common/HostPaths.h"
#include "common/IniLang.h"
#include "common/Strings.h"
#include "platform/Platform.h"

namespace pagemoor {

namespace {

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

constexpr std::string_view kNotOurs = "Refused (not a file of the magazine): ";

}  // namespace

std::string UrlScheme(std::string_view text) {
  const std::size_t colon = text.find(':');
  // A drive letter is one letter; a scheme has at least two characters.
  if (colon == std::string_view::npos || colon < 2 || !IsAsciiLetter(text.front())) return {};
  for (std::size_t i = 1; i < colon; ++i) {
    const char c = text[i];
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.') return {};
  }
  return AsciiLower(text.substr(0, colon));
}

bool IsWebScheme(std::string_view scheme) {
  const std::string s = AsciiLower(scheme);
  return s == "http" || s == "https" || s == "mailto" || s == "ftp";
}

// Whether a file belongs to the magazine for starting or opening: only the
// project folder counts here, not the program folder that files a magazine
// reads may also come from.
std::optional<std::string> FileInsideFolder(std::string_view path, std::string_view folder) {
  if (path.empty() || folder.empty()) return std::nullopt;
  const std::optional<std::string> found = ResolveExisting(path);
  if (!found) return std::nullopt;
  const std::optional<std::string> file = RealPath(*found);
  const std::optional<std::string> root = RealPath(ResolveExisting(folder).value_or(HostPath(folder)));
  if (!file || !root) return std::nullopt;
  if (*file == *root || !IsWithinFolder(*file, *root)) return std::nullopt;
  struct stat info {};
  if (::stat(file->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return file;
}

ShellTarget ClassifyShellTarget(std::string_view target, std::string_view projectDir) {
  using Kind = ShellTarget::Kind;
  if (target.empty()) return {Kind::Refused, std::string(kNotOurs)};
  const std::string scheme = UrlScheme(target);
  if (IsWebScheme(scheme)) return {Kind::Web, std::string(target)};
  if (!scheme.empty())
    return {Kind::Refused, "Refused (only http, https, mailto and ftp addresses go out): " + std::string(target)};
  // A drive letter names no folder here.
  if (target.size() >= 2 && target[1] == ':') return {Kind::Refused, std::string(kNotOurs) + std::string(target)};
  const bool rooted = target.front() == '/' || target.front() == '\\';
  const std::string path = rooted ? std::string(target) : JoinPath(projectDir, target);
  if (std::optional<std::string> file = FileInsideFolder(path, projectDir)) return {Kind::File, *file};
  return {Kind::Refused, std::string(kNotOurs) + ShownPath(path)};
}

std::optional<std::string> LaunchPolicy::documentToOpen(std::string_view target, std::string_view projectDir) {
  ShellTarget sorted = ClassifyShellTarget(target, projectDir);
  switch (sorted.kind) {
    case ShellTarget::Kind::Web:
      return std::move(sorted.text);
    case ShellTarget::Kind::Refused:
      m_log("Shell", sorted.text);
      return std::nullopt;
    case ShellTarget::Kind::File:
      break;
  }
  const std::string question = FormatText(TranslateKey("confirm_open_document"), {sorted.text});
  if (!readerAllows(projectDir, sorted.text, question, sorted.text)) return std::nullopt;
  return std::move(sorted.text);
}

std::optional<std::string> LaunchPolicy::programToStart(std::string_view path, std::string_view parameters,
                                                        std::string_view projectDir) {
  const std::optional<std::string> program = FileInsideFolder(path, projectDir);
  if (!program) {
    m_log("Shell", std::string(kNotOurs) + ShownPath(path));
    return std::nullopt;
  }
  const std::string question =
      parameters.empty() ? FormatText(TranslateKey("confirm_start_program"), {*program})
                         : FormatText(TranslateKey("confirm_start_program_with_parameters"),
                                      {*program, std::string(parameters)});
  const std::string shown = parameters.empty() ? *program : *program + " " + std::string(parameters);
  if (!readerAllows(projectDir, *program, question, shown)) return std::nullopt;
  return program;
}

bool LaunchPolicy::readerAllows(std::string_view projectDir, const std::string& file, const std::string& question,
                                const std::string& shown) {
  const auto key = std::make_pair(IncludeTrailingSeparator(HostPath(projectDir)), file);
  if (const auto known = m_answers.find(key); known != m_answers.end()) {
    if (!known->second) m_log("Shell", "Not started, the reader said no: " + shown);
    return known->second;
  }
  const bool yes = platform().askYesNoDefaultNo(question);
  m_answers.emplace(key, yes);
  m_log("Shell", (yes ? "The reader allowed: " : "The reader refused: ") + shown);
  return yes;
}

}  // namespace pagemoor
