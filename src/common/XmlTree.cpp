#include "common/XmlTree.h"

#include <utility>

#include "common/Strings.h"

namespace pagemoor {

namespace {

constexpr std::string_view kCDataOpen = "<![CDATA[";
constexpr std::string_view kCDataClose = "]]>";
constexpr std::string_view kLineEnd = "\r\n";

std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (std::size_t hit; (hit = text.find(find, pos)) != std::string_view::npos; pos = hit + find.size()) {
    out.append(text, pos, hit - pos);
    out.append(replacement);
  }
  out.append(text, pos);
  return out;
}

std::size_t CountOf(std::string_view text, std::string_view find) {
  std::size_t n = 0;
  for (std::size_t pos = text.find(find); pos != std::string_view::npos;
       pos = text.find(find, pos + find.size()))
    ++n;
  return n;
}

// Inside a tag or a run of text a line break or a tab means no more than a
// blank; what the file's layout put around it means nothing at all.
std::string Flatten(std::string_view raw) {
  std::string text = TrimControls(raw);
  if (text.find_first_of("\r\t") == std::string::npos) return text;
  return TrimControls(ReplaceAll(ReplaceAll(text, "\r\n", " "), "\t", " "));
}

// A CDATA value is kept on one line so that the value of an element never
// holds a line break; the writer puts the breaks and tabs back.
std::string CDataFromText(std::string_view content) {
  return ReplaceAll(ReplaceAll(content, "\r\n", "\\n "), "\t", "\\t ");
}

std::string CDataToText(std::string_view value) {
  return ReplaceAll(ReplaceAll(value, "\\n ", "\r\n"), "\\t ", "\t");
}

bool StartsCData(std::string_view text, std::size_t pos) {
  if (text.size() - pos < kCDataOpen.size()) return false;
  for (std::size_t i = 0; i < kCDataOpen.size(); ++i) {
    char c = text[pos + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kCDataOpen[i]) return false;
  }
  return true;
}

// Calls sink(kind, text) for each token in order. Every search moves forward
// only, and once a '<' has no '>' after it no later one can have one either,
// so garbage costs linear time.
template <typename Sink>
void Tokenize(std::string_view text, Sink&& sink) {
  std::size_t pos = 0;
  bool noTagEndLeft = false;
  while (pos < text.size()) {
    const std::size_t lt = text.find('<', pos);
    std::string run = Flatten(text.substr(pos, lt == std::string_view::npos ? lt : lt - pos));
    if (!run.empty()) sink(XmlTokenKind::Text, std::move(run));
    if (lt == std::string_view::npos) return;

    if (StartsCData(text, lt)) {
      const std::size_t start = lt + kCDataOpen.size();
      const std::size_t end = text.find(kCDataClose, start);
      // An unterminated section takes the rest of the text rather than losing it.
      if (end == std::string_view::npos) {
        sink(XmlTokenKind::CData, CDataFromText(text.substr(start)));
        return;
      }
      sink(XmlTokenKind::CData, CDataFromText(text.substr(start, end - start)));
      pos = end + kCDataClose.size();
      continue;
    }

    const std::size_t gt = noTagEndLeft ? std::string_view::npos : text.find('>', lt + 1);
    if (gt == std::string_view::npos) {
      noTagEndLeft = true;
      pos = lt + 1;
      continue;
    }
    std::string tag = Flatten(text.substr(lt + 1, gt - lt - 1));
    XmlTokenKind kind = XmlTokenKind::OpenTag;
    if (!tag.empty() && tag.front() == '/')
      kind = XmlTokenKind::CloseTag;
    else if (!tag.empty() && tag.back() == '/')
      kind = XmlTokenKind::EmptyTag;
    sink(kind, std::move(tag));
    pos = gt + 1;
  }
}

XmlTree::Id AddFromTag(XmlTree& tree, XmlTree::Id parent, std::string_view tag) {
  const std::size_t blank = tag.find(' ');
  const XmlTree::Id id = tree.addChild(parent, tag.substr(0, blank));
  if (blank == std::string_view::npos) return id;
  std::size_t pos = blank;
  while (pos < tag.size()) {
    const std::size_t eq = tag.find('=', pos);
    if (eq == std::string_view::npos) break;
    const std::size_t open = tag.find('"', eq + 1);
    if (open == std::string_view::npos) break;
    const std::size_t close = tag.find('"', open + 1);
    if (close == std::string_view::npos) break;
    tree.appendAttribute(id, TrimControls(tag.substr(pos, eq - pos)), tag.substr(open + 1, close - open - 1));
    pos = close + 1;
  }
  return id;
}

struct StringOut {
  std::string text;
  void append(std::string_view s) { text.append(s); }
  void indent(std::size_t depth) { text.append(2 * depth, ' '); }
  void cdata(std::string_view value) { text.append(CDataToText(value)); }
};

struct CountingOut {
  std::size_t size = 0;
  void append(std::string_view s) { size += s.size(); }
  void indent(std::size_t depth) { size += 2 * depth; }
  // "\n " turns into two characters and "\t " into one; the two never overlap.
  void cdata(std::string_view value) {
    size += value.size() - CountOf(value, "\\n ") - 2 * CountOf(value, "\\t ");
  }
};

// Depth first with an explicit stack: the depth of a document is up to
// whoever wrote the file.
template <typename Out>
void Emit(const XmlTree& tree, Out& out) {
  auto start = [&](const XmlElement& e, std::size_t depth) {
    out.indent(depth);
    out.append("<");
    out.append(e.name);
    for (const XmlAttribute& a : e.attributes) {
      out.append(" ");
      out.append(a.name);
      out.append("=\"");
      out.append(a.value);
      out.append("\"");
    }
    if (e.children.empty() && e.value.empty()) {
      out.append(" />");
      out.append(kLineEnd);
      return false;
    }
    out.append(">");
    out.append(kLineEnd);
    if (!e.value.empty()) {
      out.indent(depth + 1);
      if (e.cdata) {
        out.append(kCDataOpen);
        out.cdata(e.value);
        out.append(kCDataClose);
      } else {
        out.append(e.value);
      }
      out.append(kLineEnd);
    }
    return true;
  };

  struct Frame {
    XmlTree::Id id;
    std::size_t next;
  };
  // The root's frame only lists the top-level elements; the root itself has
  // no text of its own.
  std::vector<Frame> open{{XmlTree::kRoot, 0}};
  while (!open.empty()) {
    Frame& top = open.back();
    const XmlElement& e = tree.element(top.id);
    const std::size_t depth = open.size() - 1;
    if (top.next < e.children.size()) {
      const XmlTree::Id child = e.children[top.next++];
      if (start(tree.element(child), depth)) open.push_back({child, 0});
      continue;
    }
    open.pop_back();
    if (depth == 0) continue;
    out.indent(depth - 1);
    out.append("</");
    out.append(e.name);
    out.append(">");
    out.append(kLineEnd);
  }
}

// Calls f(segment) for each non-empty segment until it returns false. An
// empty name would come out as a tag the reader takes for something else.
template <typename F>
void ForEachSegment(std::string_view path, F&& f) {
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view segment = path.substr(0, slash);
    if (!segment.empty() && !f(segment)) return;
    if (slash == std::string_view::npos) return;
    path.remove_prefix(slash + 1);
  }
}

}  // namespace

XmlTree::XmlTree() {
  m_elements.emplace_back();
}

XmlTree::Id XmlTree::addChild(Id parent, std::string_view name) {
  const Id id = m_elements.size();
  XmlElement& e = m_elements.emplace_back();
  e.name = name;
  e.parent = parent;
  m_elements[parent].children.push_back(id);
  return id;
}

XmlTree::Id XmlTree::child(Id parent, std::string_view name) const {
  for (Id c : m_elements[parent].children)
    if (m_elements[c].name == name) return c;
  return kNone;
}

XmlTree::Id XmlTree::find(std::string_view path) const {
  Id current = kRoot;
  ForEachSegment(path, [&](std::string_view segment) {
    current = child(current, segment);
    return current != kNone;
  });
  return current;
}

XmlTree::Id XmlTree::walk(std::string_view path) {
  Id current = kRoot;
  ForEachSegment(path, [&](std::string_view segment) {
    const Id next = child(current, segment);
    current = next != kNone ? next : addChild(current, segment);
    return true;
  });
  return current;
}

const std::string* XmlTree::attribute(Id id, std::string_view name) const {
  for (const XmlAttribute& a : m_elements[id].attributes)
    if (a.name == name) return &a.value;
  return nullptr;
}

void XmlTree::setAttribute(Id id, std::string_view name, std::string_view value) {
  for (XmlAttribute& a : m_elements[id].attributes) {
    if (a.name == name) {
      a.value = value;
      return;
    }
  }
  appendAttribute(id, name, value);
}

void XmlTree::appendAttribute(Id id, std::string_view name, std::string_view value) {
  m_elements[id].attributes.push_back({std::string(name), std::string(value)});
}

void XmlTree::setValue(Id id, std::string_view value, bool cdata) {
  m_elements[id].value = value;
  m_elements[id].cdata = cdata;
}

std::vector<XmlToken> TokenizeXml(std::string_view text) {
  std::vector<XmlToken> tokens;
  Tokenize(text, [&](XmlTokenKind kind, std::string&& s) { tokens.push_back({kind, std::move(s)}); });
  return tokens;
}

XmlTree ParseXml(std::string_view text) {
  XmlTree tree;
  XmlTree::Id current = XmlTree::kRoot;
  Tokenize(text, [&](XmlTokenKind kind, std::string&& s) {
    switch (kind) {
      case XmlTokenKind::OpenTag:
        current = AddFromTag(tree, current, s);
        break;
      case XmlTokenKind::EmptyTag:
        s.pop_back();  // the '/'; <br/> is named "br"
        AddFromTag(tree, current, s);
        break;
      case XmlTokenKind::CloseTag:
        // Names are not compared: a closing tag just ends the current element.
        // One too many leaves us at the root rather than above it.
        if (current != XmlTree::kRoot) current = tree.element(current).parent;
        break;
      case XmlTokenKind::Text:
        tree.setValue(current, s, false);
        break;
      case XmlTokenKind::CData:
        tree.setValue(current, s, true);
        break;
    }
  });
  return tree;
}

std::string WriteXml(const XmlTree& tree) {
  StringOut out;
  out.text.reserve(WrittenXmlSize(tree));
  Emit(tree, out);
  return std::move(out.text);
}

std::size_t WrittenXmlSize(const XmlTree& tree) {
  CountingOut out;
  Emit(tree, out);
  return out.size;
}

}  // namespace pagemoor
