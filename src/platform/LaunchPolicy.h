// What a magazine may hand to the desktop, and the reader's say in it.
//
// A magazine comes from anyone, yet its links and commands may start a program
// or open a document with the desktop's default program. Web and mail
// addresses go out as they always did. A file of the magazine is opened or
// started only after the reader said yes, once per file in a reading. Anything
// else (another scheme, a file outside the project folder) never goes out.
//
// The windows ask through the platform's Yes/No box whose default is No, so a
// scripted run with no answer left and a reader who presses Enter start nothing.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace pagemoor {

// The scheme of a URL as RFC 3986 writes it (a letter, then letters, digits,
// "+", "-" or ".", then ":"), in lower case; empty when the text starts with
// none. One letter before the colon is a drive ("C:\..."), not a scheme.
std::string UrlScheme(std::string_view text);

// The schemes that go to the desktop without a question: http, https, mailto
// and ftp (compared in lower case).
bool IsWebScheme(std::string_view scheme);

// The regular file `path` names, when it lies inside `folder` once ".." steps
// and symbolic links are followed: its real host path. Found without regard to
// letter case, as every magazine file is. Nothing when there is no such file or
// it lies elsewhere.
std::optional<std::string> FileInsideFolder(std::string_view path, std::string_view folder);

// A magazine's request to the desktop, sorted.
struct ShellTarget {
  enum class Kind {
    Web,      // an address of a web scheme: goes out as it was given
    File,     // a regular file inside the project folder: goes out after a yes
    Refused,  // never goes out
  };
  Kind kind = Kind::Refused;
  // Web: the address unchanged; File: the file's real host path; Refused: why,
  // for the log.
  std::string text;
};

// Sorts `target` by its real scheme: a web scheme is an address; another
// scheme is refused; a text without one (one letter before the colon included)
// is a file name, relative to projectDir unless it starts at the root.
ShellTarget ClassifyShellTarget(std::string_view target, std::string_view projectDir);

class LaunchPolicy {
 public:
  // Writes one line to the reading's log ("Shell" lines).
  using LogFunction = std::function<void(std::string_view source, std::string_view text)>;

  explicit LaunchPolicy(LogFunction log) : m_log(std::move(log)) {}

  // What to hand to Platform::openDocument for `target` (a shell command's
  // parameter, a media link's path, a web link): the address, or the file once
  // the reader allowed it; nothing when it must not go out.
  std::optional<std::string> documentToOpen(std::string_view target, std::string_view projectDir);

  // A program file of the magazine about to start with `parameters` (as the
  // magazine wrote them): its real host path once the reader allowed it;
  // nothing otherwise.
  std::optional<std::string> programToStart(std::string_view path, std::string_view parameters,
                                            std::string_view projectDir);

 private:
  // The reader's answer for this file of this project: asked the first time
  // (and logged), remembered after that for the rest of the reading.
  bool readerAllows(std::string_view projectDir, const std::string& file, const std::string& question,
                    const std::string& shown);

  LogFunction m_log;
  std::map<std::pair<std::string, std::string>, bool> m_answers;  // (project, file) -> yes
};

}  // namespace pagemoor
