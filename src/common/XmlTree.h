// The element tree behind the XML settings store, with its own reader and
// writer of XML text.
//
// The reader understands what the writer produces (and survives anything
// else); it is not a general XML parser: no entities are decoded, closing tags
// are not matched by name, and declarations, comments or processing
// instructions are read as opening tags of elements.
//
// Elements live in one vector and refer to each other by index, so neither a
// deep document nor its destruction ever recurses.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pagemoor {

struct XmlAttribute {
  std::string name;
  std::string value;

  bool operator==(const XmlAttribute&) const = default;
};

struct XmlElement {
  std::string name;
  std::vector<XmlAttribute> attributes;
  // A CDATA value keeps its line ends as "\n " and its tabs as "\t ".
  std::string value;
  bool cdata = false;
  std::size_t parent = static_cast<std::size_t>(-1);
  std::vector<std::size_t> children;
};

class XmlTree {
 public:
  using Id = std::size_t;
  static constexpr Id kRoot = 0;
  static constexpr Id kNone = static_cast<Id>(-1);

  // A document with nothing but its unnamed root.
  XmlTree();

  std::size_t size() const { return m_elements.size(); }
  const XmlElement& element(Id id) const { return m_elements[id]; }
  const XmlElement& root() const { return m_elements[kRoot]; }

  // Appends a child element.
  Id addChild(Id parent, std::string_view name);

  // The first child with exactly this name, or kNone.
  Id child(Id parent, std::string_view name) const;

  // Follows a path of element names separated by '/' from the root, taking
  // the first child of each name (exact case); empty segments are skipped.
  // find() gives kNone where a step is missing; walk() appends what is
  // missing, so afterwards the whole path exists. A path without a name
  // gives the root.
  Id find(std::string_view path) const;
  Id walk(std::string_view path);

  // The value of the first attribute of that name (exact case), or nullptr.
  const std::string* attribute(Id id, std::string_view name) const;
  // Replaces the first attribute of that name, or appends one.
  void setAttribute(Id id, std::string_view name, std::string_view value);
  void appendAttribute(Id id, std::string_view name, std::string_view value);

  void setValue(Id id, std::string_view value, bool cdata);

 private:
  std::vector<XmlElement> m_elements;
};

enum class XmlTokenKind { Text, CData, OpenTag, CloseTag, EmptyTag };

// Text: trimmed, line ends and tabs made blanks. CData: the section's content
// with line ends as "\n " and tabs as "\t ". Tags: the text between '<' and
// '>', line ends and tabs made blanks, trimmed, the '/' markers kept.
struct XmlToken {
  XmlTokenKind kind;
  std::string text;

  bool operator==(const XmlToken&) const = default;
};

std::vector<XmlToken> TokenizeXml(std::string_view text);

// Builds the tree from XML text. Any input gives a tree.
XmlTree ParseXml(std::string_view text);

// The document as XML text: CR LF line ends, two blanks of indent per level.
// The root's own name, attributes and value are not part of it.
std::string WriteXml(const XmlTree& tree);

// The length WriteXml would produce, without producing it. The indent grows
// with the depth, so a deeply nested document writes out far larger than it
// reads in; callers use this to refuse such output before building it.
std::size_t WrittenXmlSize(const XmlTree& tree);

}  // namespace pagemoor
