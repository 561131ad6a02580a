// How a clicked link is told apart: a local file (played, started, or left to
// the pane by its extension) or a scheme (mail, web, console command).
#pragma once

#include <string>
#include <string_view>

namespace pagemoor {

enum class LinkKind {
  Pane,       // left to the pane (pages, anchors, unknown schemes)
  Wave,       // local ".WAV": played
  Program,    // local ".EXE": started with its parameters
  Media,      // local ".MID" / ".AVI": handed to the media player
  Mail,       // "MAILTO:" anywhere
  Web,        // "HTTP:" anywhere
  Command,    // "CON_COM:" anywhere: run through the console
};

// The local-file split of a link: the file part and the parameters after the
// first blank (else after the first "?"). Both cut as the rules say.
struct LocalLink {
  std::string filePart;
  std::string parameters;
};

// True when the link counts as a local file: no scheme of two or more
// letters, or "FILE:" anywhere in its capitals.
bool IsLocalLink(std::string_view src);
LocalLink SplitLocalLink(std::string_view src);
// The kind of a local link by the extension of its expanded path.
LinkKind LocalLinkKind(std::string_view expandedPath);
// The kind of a link that is not local.
LinkKind SchemeLinkKind(std::string_view src);

}  // namespace pagemoor
