#include "hypertext/PageBuilder.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/Strings.h"
#include "hypertext/ImageMaps.h"
#include "hypertext/MarkupReader.h"
#include "hypertext/PageNesting.h"

namespace pagemoor::pagemodel {

namespace {

bool IsSoundFile(std::string_view src) {
  src = TrimSpaces(src);
  for (std::string_view ext :
       {".wav", ".mid", ".midi", ".mp3", ".mod", ".xm", ".s3m", ".it", ".mtm", ".mo3", ".ogg"})
    if (src.size() > ext.size() && StartsLower(src, src.size() - ext.size(), ext)) return true;
  return false;
}

int ParseLoop(const Attribute* loop) {
  if (!loop) return 1;
  if (!loop->hasValue) return -1;  // a bare LOOP repeats
  const std::string value = LowerCopy(TrimSpaces(DecodeEntities(loop->value)));
  if (value == "infinite" || value == "true") return -1;
  long long count = 0;
  if (!TryParseInt(value, count)) return 1;
  if (count < 0) return -1;
  return static_cast<int>(std::min<long long>(count, 1 << 30));
}

int ParseNumber(std::string_view text) {
  long long value = 0;
  if (!TryParseInt(TrimSpaces(text), value)) return 0;
  return static_cast<int>(std::clamp<long long>(value, 0, 1 << 30));
}

class PageBuilder {
 public:
  explicit PageBuilder(std::string_view text) : m_text(text), m_reader(text) {}

  PreparedPage build() {
    m_page.html.reserve(m_text.size() + m_text.size() / 8);
    std::size_t pos = 0;
    while (pos < m_text.size()) {
      const std::size_t lt = m_text.find('<', pos);
      const std::size_t stop = lt == npos ? m_text.size() : lt;
      text(m_text.substr(pos, stop - pos));
      if (lt == npos) break;
      pos = markup(lt);
    }
    if (m_select) finishSelect();
    applyMapPatches();
    return std::move(m_page);
  }

 private:
  enum class Action { Replace, Remove, UseMap };
  struct Rewrite {
    std::string_view attribute;  // lower case
    Action action;
    std::string value;  // Replace: the new value
    bool done = false;
  };
  // A usemap written before its map may have been read: placed at the end.
  struct MapPatch {
    std::size_t at;             // in html
    std::string attribute;      // its name as written
    std::string map;            // the name it asks for
    std::size_t reference;      // the image's src reference, or npos
    std::size_t srcEnd = npos;  // in html: just after the image's src token, npos when it has none
  };
  struct OpenSelect {
    FormControl control;
    std::string align;
    bool optionOpen = false;
    std::string optionText;
    std::ptrdiff_t selected = -1;
  };

  void text(std::string_view chunk) {
    if (m_select) {
      if (m_select->optionOpen) m_select->optionText.append(chunk);
      return;
    }
    m_nesting.text(chunk.size(), m_page.html);
    m_page.html.append(chunk);
  }

  void verbatim(std::size_t begin, std::size_t end) {
    if (!m_select) m_page.html.append(m_text.substr(begin, end - begin));
  }

  // Returns where reading goes on.
  std::size_t markup(std::size_t lt) {
    const std::size_t n = m_text.size();
    if (StartsLower(m_text, lt, "<!--")) {
      const std::size_t close = m_text.find("-->", lt + 4);
      const std::size_t end = close == npos ? n : close + 3;
      verbatim(lt, end);
      return end;
    }
    if (lt + 1 < n && (m_text[lt + 1] == '!' || m_text[lt + 1] == '?')) {
      const std::size_t gt = m_reader.next('>', lt);
      const std::size_t end = gt == npos ? n : gt + 1;
      verbatim(lt, end);
      return end;
    }
    if (!StartsTag(m_text, lt)) {
      text("<");
      return lt + 1;
    }
    m_reader.read(lt, m_tag);
    if (m_select && selectTag(m_tag)) return m_tag.end;
    return handle(m_tag);
  }

  // How the engine sees an opening tag: not at all (we take it out), as an
  // element without content, or as one that holds what follows it.
  enum class Shape { Gone, Empty, Holder };

  Shape shapeOf(const Tag& tag) {
    const std::string& name = tag.name;
    if (name == "map" || name == "form" || name == "base" || name == "bgsound") return Shape::Gone;
    if (name == "area" && m_openMap != npos) return Shape::Gone;
    if (name == "embed" && tag.has("src") && IsSoundFile(DecodeEntities(tag.value("src"))))
      return Shape::Gone;
    if (name == "input") {
      return LowerCopy(TrimSpaces(DecodeEntities(tag.value("type")))) == "hidden" ? Shape::Gone
                                                                                  : Shape::Empty;
    }
    // Form controls become pictures; scripts, style sheets and a title are
    // read to their end here.
    static constexpr std::string_view kEmpty[] = {"img",      "br",     "hr",     "meta", "select",
                                                  "textarea", "button", "script", "style"};
    if (std::find(std::begin(kEmpty), std::end(kEmpty), name) != std::end(kEmpty)) return Shape::Empty;
    if (name == "title") return titleEnd(tag) == npos ? Shape::Holder : Shape::Empty;
    return Shape::Holder;
  }

  // Where reading goes on when the engine is not to see the tag: past the
  // whole element for those whose content is no text of the page.
  std::size_t leaveOut(const Tag& tag) {
    const std::string& name = tag.name;
    if (name == "textarea") return elementEnd(tag, "</textarea").second;
    if (name == "button") return elementEnd(tag, "</button").second;
    if (name == "script") return elementEnd(tag, "</script").second;
    if (name == "style") return elementEnd(tag, "</style").second;
    if (name == "title") {
      const std::size_t close = titleEnd(tag);
      if (close != npos) return m_reader.read(close).end;
    }
    return tag.end;
  }

  std::size_t handle(const Tag& tag) {
    const std::string& name = tag.name;
    if (tag.closing) {
      if (name == "map") {
        m_openMap = npos;
      } else if (name != "form" && m_nesting.close(name)) {
        verbatim(tag.begin, tag.end);
      }
      return tag.end;
    }
    const Shape shape = shapeOf(tag);
    if (shape != Shape::Gone && !m_nesting.open(name, shape == Shape::Empty, m_page.html))
      return leaveOut(tag);
    if (name == "a" || name == "frame" || name == "iframe") {
      references(tag, {{name == "a" ? "href" : "src", ReferenceKind::Link}});
    } else if (name == "img") {
      image(tag);
    } else if (name == "body") {
      body(tag);
    } else if (name == "table" || name == "td" || name == "th" || name == "tr") {
      references(tag, {{"background", ReferenceKind::Background}});
    } else if (name == "area") {
      area(tag);
    } else if (name == "map") {
      m_openMap = m_page.maps.size();
      m_page.maps.push_back(ImageMap{std::string(MapName(DecodeEntities(tag.value("name")))), {}});
    } else if (name == "bgsound") {
      sound(tag);
    } else if (name == "embed") {
      if (IsSoundFile(DecodeEntities(tag.value("src"))) && tag.has("src")) {
        sound(tag);
      } else {
        verbatim(tag.begin, tag.end);
      }
    } else if (name == "base") {
      if (m_page.base.empty() && tag.has("href")) m_page.base = DecodeEntities(tag.value("href"));
    } else if (name == "input") {
      input(tag);
    } else if (name == "select") {
      startSelect(tag);
    } else if (name == "textarea") {
      return textarea(tag);
    } else if (name == "button") {
      return button(tag);
    } else if (name == "title") {
      return title(tag);
    } else if (name == "script" || name == "style") {
      return rawText(tag);
    } else if (name != "form") {
      verbatim(tag.begin, tag.end);
    }
    return tag.end;
  }

  std::string addReference(ReferenceKind kind, std::string_view value) {
    m_page.references.push_back(PageReference{kind, DecodeEntities(value)});
    return ReferenceToken(m_page.references.size() - 1);
  }

  // Writes the tag again with the listed attributes changed; later
  // occurrences of a changed attribute go, so the engine cannot see them.
  void emitTag(const Tag& tag, std::string_view name, std::vector<Rewrite>& rewrites) {
    std::string& out = m_page.html;
    out += '<';
    out += name;
    for (const Attribute& a : tag.attributes) {
      const std::string_view written = m_text.substr(a.begin, a.name.size());
      auto rewrite = std::find_if(rewrites.begin(), rewrites.end(),
                                  [&](const Rewrite& r) { return r.attribute == a.name; });
      if (rewrite != rewrites.end()) {
        if (rewrite->done) continue;
        rewrite->done = true;
        if (rewrite->action == Action::Replace) {
          out += ' ';
          out += written;
          out += "=\"";
          out += rewrite->value;
          if (rewrite->attribute == "src") m_srcEnd = out.size();
          out += '"';
        } else if (rewrite->action == Action::UseMap) {
          m_patches.push_back(MapPatch{out.size(), std::string(written),
                                       std::string(MapName(DecodeEntities(a.value))), m_imageReference});
        }
        continue;
      }
      out += ' ';
      out += written;
      if (a.hasValue) {
        out += "=\"";
        for (char c : a.value) {
          if (c == '"') {
            out += "&quot;";
          } else {
            out += c;
          }
        }
        out += '"';
      }
    }
    out += '>';
  }

  std::string_view writtenName(const Tag& tag) const {
    return m_text.substr(tag.begin + 1, tag.nameEnd - tag.begin - 1);
  }

  void references(const Tag& tag, std::initializer_list<std::pair<std::string_view, ReferenceKind>> wanted,
                  std::vector<Rewrite> rewrites = {}, std::string_view name = {}) {
    for (const auto& [attribute, kind] : wanted)
      if (const Attribute* a = tag.find(attribute))
        rewrites.push_back(Rewrite{attribute, Action::Replace, addReference(kind, a->value)});
    if (rewrites.empty()) {
      verbatim(tag.begin, tag.end);
    } else {
      emitTag(tag, name.empty() ? writtenName(tag) : name, rewrites);
    }
  }

  void image(const Tag& tag) {
    std::vector<Rewrite> rewrites;
    m_imageReference = npos;
    if (const Attribute* src = tag.find("src")) {
      rewrites.push_back(Rewrite{"src", Action::Replace, addReference(ReferenceKind::Image, src->value)});
      m_imageReference = m_page.references.size() - 1;
    }
    if (const Attribute* usemap = tag.find("usemap")) {
      addReference(ReferenceKind::UseMap, usemap->value);
      rewrites.push_back(Rewrite{"usemap", Action::UseMap, {}});
    }
    const std::size_t patches = m_patches.size();
    m_srcEnd = npos;
    references(tag, {{"background", ReferenceKind::Background}}, std::move(rewrites));
    if (m_patches.size() > patches) m_patches.back().srcEnd = m_srcEnd;
  }

  void body(const Tag& tag) {
    BodyColors& colors = m_page.body;
    // A page with a second <body> keeps what the first one said.
    const std::pair<std::string_view, std::string*> fields[] = {{"text", &colors.text},
                                                                {"link", &colors.link},
                                                                {"vlink", &colors.vlink},
                                                                {"alink", &colors.alink},
                                                                {"bgcolor", &colors.bgcolor}};
    for (const auto& [attribute, field] : fields)
      if (field->empty()) *field = std::string(TrimSpaces(tag.value(attribute)));
    references(tag, {{"background", ReferenceKind::Background}});
  }

  void area(const Tag& tag) {
    if (m_openMap == npos) {
      references(tag, {{"href", ReferenceKind::Link}});
      return;
    }
    MapArea area;
    area.shape = ParseShape(tag.value("shape"));
    area.coords = ParseCoords(tag.value("coords"));
    if (!tag.has("nohref")) area.href = DecodeEntities(tag.value("href"));
    area.title = DecodeEntities(tag.has("title") ? tag.value("title") : tag.value("alt"));
    m_page.maps[m_openMap].areas.push_back(std::move(area));
  }

  void sound(const Tag& tag) {
    const Attribute* src = tag.find("src");
    if (!src) return;
    SoundRequestInfo info;
    info.src = DecodeEntities(src->value);
    info.loop = ParseLoop(tag.find("loop"));
    m_page.references.push_back(PageReference{ReferenceKind::Sound, info.src});
    m_page.sounds.push_back(std::move(info));
  }

  FormControl control(const Tag& tag, std::string kind) {
    FormControl c;
    c.kind = std::move(kind);
    c.name = DecodeEntities(tag.value("name"));
    c.value = DecodeEntities(tag.value("value"));
    c.checked = tag.has("checked");
    c.onclick = DecodeEntities(tag.value("onclick"));
    c.size = ParseNumber(tag.value("size"));
    return c;
  }

  static std::string alignOf(const Tag& tag) {
    const Attribute* align = tag.find("align");
    if (!align) return {};
    std::string out = " align=\"";
    for (char c : align->value)
      if (c != '"') out += c;
    out += '"';
    return out;
  }

  void emitControl(FormControl control, const std::string& align) {
    m_page.html += "<img src=\"";
    m_page.html += FormToken(m_page.controls.size());
    m_page.html += '"';
    m_page.html += align;
    m_page.html += '>';
    m_page.controls.push_back(std::move(control));
  }

  void input(const Tag& tag) {
    std::string type = LowerCopy(TrimSpaces(DecodeEntities(tag.value("type"))));
    if (type == "hidden") return;
    if (type == "image") {
      // Drawn by the engine as the picture it is.
      references(tag, {{"src", ReferenceKind::Image}}, {Rewrite{"type", Action::Remove, {}}}, "img");
      return;
    }
    static constexpr std::string_view kKinds[] = {"checkbox", "radio", "button",  "submit",
                                                  "reset",    "text",  "password"};
    if (std::find(std::begin(kKinds), std::end(kKinds), type) == std::end(kKinds)) type = "text";
    emitControl(control(tag, std::move(type)), alignOf(tag));
  }

  void startSelect(const Tag& tag) {
    m_select = std::make_unique<OpenSelect>();
    m_select->control = control(tag, "select");
    m_select->control.value.clear();
    m_select->control.checked = false;
    m_select->align = alignOf(tag);
  }

  void closeOption() {
    if (!m_select->optionOpen) return;
    m_select->control.options.push_back(VisibleText(m_select->optionText));
    m_select->optionText.clear();
    m_select->optionOpen = false;
  }

  void finishSelect() {
    closeOption();
    FormControl& c = m_select->control;
    if (!c.options.empty()) {
      const auto selected =
          m_select->selected < 0 ? std::size_t{0} : static_cast<std::size_t>(m_select->selected);
      c.value = c.options[selected];
    }
    std::unique_ptr<OpenSelect> select = std::move(m_select);
    emitControl(std::move(select->control), select->align);
  }

  // Inside <select> only options count. Another control or the end of the
  // form closes a select that lacks its </select>, as browsers do.
  bool selectTag(const Tag& tag) {
    const std::string& name = tag.name;
    if (name == "option") {
      closeOption();
      if (!tag.closing) {
        m_select->optionOpen = true;
        if (m_select->selected < 0 && tag.has("selected"))
          m_select->selected = static_cast<std::ptrdiff_t>(m_select->control.options.size());
      }
      return true;
    }
    if (name == "select" && tag.closing) {
      finishSelect();
      return true;
    }
    if ((!tag.closing && (name == "select" || name == "input" || name == "textarea")) ||
        (tag.closing && name == "form")) {
      finishSelect();
      return false;
    }
    return true;
  }

  // The end of an element whose content is not markup: its closing tag, or
  // the end of the text. Returns {content end, where reading goes on}.
  std::pair<std::size_t, std::size_t> elementEnd(const Tag& tag, std::string_view closing) {
    const std::size_t close = FindLower(m_text, tag.end, closing);
    if (close == npos) return {m_text.size(), m_text.size()};
    return {close, m_reader.read(close).end};
  }

  std::size_t textarea(const Tag& tag) {
    const auto [contentEnd, next] = elementEnd(tag, "</textarea");
    FormControl c = control(tag, "textarea");
    std::string value = DecodeEntities(m_text.substr(tag.end, contentEnd - tag.end), true);
    // The line break right after the start tag belongs to the markup.
    if (value.starts_with("\r\n")) {
      value.erase(0, 2);
    } else if (value.starts_with('\n') || value.starts_with('\r')) {
      value.erase(0, 1);
    }
    c.value = std::move(value);
    c.checked = false;
    c.size = ParseNumber(tag.value("cols"));
    c.rows = ParseNumber(tag.value("rows"));
    emitControl(std::move(c), alignOf(tag));
    return next;
  }

  std::size_t button(const Tag& tag) {
    const auto [contentEnd, next] = elementEnd(tag, "</button");
    FormControl c = control(tag, "button");
    c.value = VisibleText(WithoutTags(m_text.substr(tag.end, contentEnd - tag.end)));
    c.checked = false;
    emitControl(std::move(c), alignOf(tag));
    return next;
  }

  // Where the title's closing tag starts, npos when none follows.
  std::size_t titleEnd(const Tag& tag) {
    // Once no "</title" follows, none follows any later <title> either: a
    // page full of them is not searched to its end again for every one.
    const std::size_t close = tag.end >= m_noTitleEndFrom ? npos : FindLower(m_text, tag.end, "</title");
    if (close == npos) m_noTitleEndFrom = std::min(m_noTitleEndFrom, tag.end);
    return close;
  }

  std::size_t title(const Tag& tag) {
    const std::size_t close = titleEnd(tag);
    if (close == npos) {  // no end: not a title, the text stays readable
      verbatim(tag.begin, tag.end);
      return tag.end;
    }
    if (m_page.title.empty()) m_page.title = VisibleText(m_text.substr(tag.end, close - tag.end));
    const std::size_t end = m_reader.read(close).end;
    verbatim(tag.begin, end);
    return end;
  }

  // Scripts and style sheets are copied untouched: their "<" are no tags.
  std::size_t rawText(const Tag& tag) {
    const auto [contentEnd, next] = elementEnd(tag, tag.name == "script" ? "</script" : "</style");
    (void)contentEnd;
    verbatim(tag.begin, next);
    return next;
  }

  void applyMapPatches() {
    if (m_patches.empty()) return;
    // The first map of a name is the one images use.
    std::unordered_map<std::string, std::size_t> names;
    names.reserve(m_page.maps.size());
    for (std::size_t i = 0; i < m_page.maps.size(); ++i) names.emplace(FoldCase(m_page.maps[i].name), i);
    // The engine forgets usemap (it is written all the same), so the map
    // travels where the engine keeps it: as the fragment of the image's
    // token, which it hands back whole with the picture ("pm:ref/N#pm-map-M").
    // Both go into the same tag, in the order they stand there.
    struct Insert {
      std::size_t at;
      std::string text;
    };
    std::vector<Insert> inserts;
    inserts.reserve(2 * m_patches.size());
    for (const MapPatch& patch : m_patches) {
      const auto found = names.find(FoldCase(patch.map));
      if (found == names.end()) continue;
      const std::size_t index = found->second;
      const std::string token = "#pm-map-" + std::to_string(index);
      Insert usemap{patch.at, ' ' + patch.attribute + "=\"" + token + '"'};
      if (patch.srcEnd != npos && patch.srcEnd < patch.at) inserts.push_back(Insert{patch.srcEnd, token});
      inserts.push_back(std::move(usemap));
      if (patch.srcEnd != npos && patch.srcEnd > patch.at) inserts.push_back(Insert{patch.srcEnd, token});
      if (patch.reference != npos) m_page.references[patch.reference].map = static_cast<int>(index);
    }
    if (inserts.empty()) return;
    std::string html;
    html.reserve(m_page.html.size() + inserts.size() * 24);
    std::size_t copied = 0;
    for (const Insert& insert : inserts) {
      html.append(m_page.html, copied, insert.at - copied);
      copied = insert.at;
      html += insert.text;
    }
    html.append(m_page.html, copied);
    m_page.html = std::move(html);
  }

  std::string_view m_text;
  TagReader m_reader;
  PreparedPage m_page;
  std::vector<MapPatch> m_patches;
  std::size_t m_openMap = npos;
  std::size_t m_imageReference = npos;
  std::size_t m_srcEnd = npos;  // in html: after the src token last written
  std::unique_ptr<OpenSelect> m_select;
  Tag m_tag;  // the tag being read; its storage serves every tag of the page
  std::size_t m_noTitleEndFrom = npos;
  PageNesting m_nesting;
};

}  // namespace

PreparedPage BuildPage(std::string_view text) {
  return PageBuilder(text).build();
}

}  // namespace pagemoor::pagemodel
