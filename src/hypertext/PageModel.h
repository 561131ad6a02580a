// The page model in front of the layout engine: reads a page's bytes, decodes
// them, expands include directives, and rewrites what the engine does not
// handle, keeping what the page wrote exactly as it was written.
//
// Every reference (href, src, background, usemap, bgsound/embed src) is
// recorded raw and replaced by a token the engine hands back unchanged, so
// "con_com:load_main page2.htm", "C:\x.exe" or "file:///C|/..." reach the
// viewer as written. Form controls become inline images drawn by the pane;
// client-side image maps are kept for hit-testing.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hypertext/ImageMaps.h"

namespace pagemoor {

// --- Character set ------------------------------------------------------

// The page's text as UTF-8: its own <meta charset> / http-equiv wins; without
// one, valid UTF-8 stays, anything else is windows-1250. charset receives the
// name used ("utf-8", "windows-1250", ...).
std::string DecodePage(std::string_view bytes, std::string* charset = nullptr);

// --- Include directives -------------------------------------------------

// <!--#Name NAME="value" ...-->: the command as written and its parameters,
// each as NAME="value" with the name in capitals.
using IncludeHandler =
    std::function<std::string(const std::string& command, const std::vector<std::string>& params)>;

// --- What a prepared page holds ------------------------------------------

enum class ReferenceKind { Link, Image, Background, UseMap, Sound };

struct PageReference {
  ReferenceKind kind;
  std::string raw;  // the attribute's value as written (entities decoded)
  int map = -1;     // Image: the index in maps of the map its usemap names, -1 when none
};

struct SoundRequestInfo {
  std::string src;  // raw
  int loop = 1;     // LOOP attribute: -1 for "infinite"/"-1", else its number (1 when absent)
};

struct FormControl {
  std::string kind;  // checkbox, radio, button, submit, reset, text, password, select, textarea
  std::string name;
  std::string value;
  bool checked = false;
  std::string onclick;               // raw ONCLICK text
  std::vector<std::string> options;  // select: the option texts
  int size = 0;                      // text: SIZE; textarea: COLS
  int rows = 0;                      // textarea: ROWS
};

struct BodyColors {
  std::string text, link, vlink, alink, bgcolor;  // as written ("#RRGGBB" or a name); empty when absent
};

struct PreparedPage {
  // The page for the engine (UTF-8). References are replaced by tokens:
  //   href="pm:ref/N"  src="pm:ref/N"  background="pm:ref/N"  usemap="#pm-map-M"
  // and each form control by <img src="pm:form/K" ...>, where N indexes
  // references, M maps and K controls. The engine forgets usemap but hands
  // an image's name back whole, so an image whose map was found carries the
  // map in its src as well: src="pm:ref/N#pm-map-M". <bgsound> and sound
  // <embed> are removed.
  std::string html;
  std::vector<PageReference> references;
  std::vector<SoundRequestInfo> sounds;
  std::vector<ImageMap> maps;
  std::vector<FormControl> controls;
  BodyColors body;
  std::string base;  // <base href>, raw; empty when none
  std::string title;
};

// Rewrites decoded page text. include is asked for every directive of the
// page (not for directives in the text it returns); may be empty.
PreparedPage PreparePage(std::string_view html, const IncludeHandler& include = {});

// The token forms used in PreparedPage::html.
std::string ReferenceToken(std::size_t index);  // "pm:ref/N"
std::string FormToken(std::size_t index);       // "pm:form/K"
// The index in a token, or nothing for any other text.
std::optional<std::size_t> ReferenceIndex(std::string_view token);
std::optional<std::size_t> FormIndex(std::string_view token);

}  // namespace pagemoor
