// How a clicked link is told apart: a local file (played, started, or left to
// the pane by its extension) or a scheme (mail, web, console command), and how
// a Windows program named by a link is started on this host.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pagemoor {

enum class LinkKind {
  Pane,     // left to the pane (pages, anchors, unknown schemes)
  Wave,     // local ".WAV": played
  Program,  // local ".EXE": started with its parameters
  Media,    // local ".MID" / ".AVI": handed to the media player
  Mail,     // "MAILTO:" anywhere
  Web,      // the scheme "http", in any letter case
  Command,  // "CON_COM:" anywhere: run through the console
};

// Links, file parts and expanded paths are cut to this many characters.
inline constexpr long kLinkTextLimit = 255;

// The local-file split of a link: the link cut to 255 characters, then the
// file part before the first blank (without a blank: before the first "?")
// and the parameters after it. Without either, the whole text is the file.
struct LocalLink {
  std::string filePart;
  std::string parameters;
};

// True when the link counts as a local file: its first ":" is at most the
// second character (no colon, or a drive letter), or "FILE:" occurs anywhere
// in its capitals.
bool IsLocalLink(std::string_view src);
LocalLink SplitLocalLink(std::string_view src);
// The extension of a path in capitals, with its dot: from the last "." when
// that dot follows every folder step ("\", "/") and ":"; empty otherwise.
std::string LinkExtension(std::string_view path);
// The kind of a local link by the extension of its expanded path.
LinkKind LocalLinkKind(std::string_view expandedPath);
// The kind of a link that is not local, tested in this order: "MAILTO:"
// anywhere in its capitals, its own scheme being http, "CON_COM:" anywhere in
// its capitals. Only the web test reads the real scheme: the link goes out to
// the desktop, and "x-evil://run?http:" must not go out as a web address.
LinkKind SchemeLinkKind(std::string_view src);

// --- Starting programs ---

// The text in single quotes for /bin/sh (a quote in it written '\'').
std::string ShellQuoted(std::string_view text);
// The text as one word for /bin/sh: unchanged when it holds only characters
// the shell takes literally, else in single quotes.
std::string ShellWord(std::string_view text);
// A program's parameters as a shell command line gives them to it: split into
// words at blanks and tabs, double quotes grouping (and removed), as the
// program would have split its command line; each word made a shell word, so
// nothing in a magazine's link reaches the shell as syntax. Words are joined
// with one blank.
std::string ShellParameters(std::string_view parameters);
// The command line that starts a Windows program through Wine: "wine", the
// program's host path in single quotes, a blank, and the parameters (the blank
// is there even without parameters).
std::string WineCommandLine(std::string_view programPath, std::string_view parameters);
// The first executable file of that name in the folders of pathVariable (a
// PATH value: folders separated by ":", an empty entry the current folder).
std::optional<std::string> FindProgramOnPath(std::string_view name, std::string_view pathVariable);

}  // namespace pagemoor
