// Arbitrary bytes through the XML settings store, in memory only: read them
// as a document, write the tree out and read that again, then look a value up
// and store one the way the playlist code does.
//
// Whatever the input, the writer's output of a tree whose names it can
// express must read back as the same tree.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/XmlIni.h"
#include "common/XmlTree.h"

namespace {

using pagemoor::XmlElement;
using pagemoor::XmlTree;

// Output beyond this is skipped: deep nesting makes the indent grow with the
// square of the input.
constexpr std::size_t kMaxWritten = std::size_t{4} << 20;

void Fail(const char* what) {
  std::fprintf(stderr, "xml_fuzz: %s\n", what);
  std::abort();
}

// A name the writer puts out so that the reader takes it back unchanged. The
// reader trims tags and takes the name up to the first blank, so an empty
// name, a trailing '/' (an empty-element tag) or a control character at the
// end would change on the way; "![CDATA[" would open a section.
bool Expressible(std::string_view name) {
  if (name.empty() || name.back() == '/') return false;
  for (unsigned char c : name)
    if (c <= ' ') return false;
  constexpr std::string_view kCData = "![CDATA[";
  if (name.size() >= kCData.size()) {
    bool same = true;
    for (std::size_t i = 0; i < kCData.size() && same; ++i) {
      char c = name[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      same = c == kCData[i];
    }
    if (same) return false;
  }
  return true;
}

bool AllExpressible(const XmlTree& tree) {
  for (XmlTree::Id id = 1; id < tree.size(); ++id)
    if (!Expressible(tree.element(id).name)) return false;
  return true;
}

bool SameElements(const XmlTree& a, const XmlTree& b) {
  std::vector<std::pair<XmlTree::Id, XmlTree::Id>> pending{{XmlTree::kRoot, XmlTree::kRoot}};
  while (!pending.empty()) {
    const auto [ia, ib] = pending.back();
    pending.pop_back();
    const XmlElement& ea = a.element(ia);
    const XmlElement& eb = b.element(ib);
    if (ia != XmlTree::kRoot) {
      if (ea.name != eb.name || ea.attributes != eb.attributes || ea.value != eb.value) return false;
      // An empty CDATA section is written as no value at all.
      if (!ea.value.empty() && ea.cdata != eb.cdata) return false;
    }
    if (ea.children.size() != eb.children.size()) return false;
    for (std::size_t i = 0; i < ea.children.size(); ++i) pending.emplace_back(ea.children[i], eb.children[i]);
  }
  return true;
}

// A path to the first element at each level, the way callers address items;
// it ends before a name that a path cannot hold.
std::string FirstPath(const XmlTree& tree, std::size_t maxDepth) {
  std::string path;
  XmlTree::Id id = XmlTree::kRoot;
  for (std::size_t depth = 0; depth < maxDepth && !tree.element(id).children.empty(); ++depth) {
    id = tree.element(id).children.front();
    const std::string& name = tree.element(id).name;
    if (name.empty() || name.find('/') != std::string::npos) break;
    if (!path.empty()) path += '/';
    path += name;
  }
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  XmlTree tree = pagemoor::ParseXml(input);

  const std::size_t expectedSize = pagemoor::WrittenXmlSize(tree);
  if (expectedSize <= kMaxWritten) {
    const std::string written = pagemoor::WriteXml(tree);
    if (written.size() != expectedSize) Fail("WrittenXmlSize differs from WriteXml");
    const XmlTree reread = pagemoor::ParseXml(written);
    if (AllExpressible(tree)) {
      if (!SameElements(tree, reread)) Fail("written document reads back differently");
      if (pagemoor::WriteXml(reread) != written) Fail("second write differs");
    }
  }

  // Look up an attribute on an existing path and on one taken from the input,
  // then store a value made of input bytes and find it again.
  const std::string existing = FirstPath(tree, 8);
  const std::string_view fromInput = input.substr(0, input.find('\n')).substr(0, 64);
  bool changed = false;
  const std::size_t before = tree.size();
  if (!existing.empty() && tree.find(existing) == XmlTree::kNone) Fail("existing path not found");
  pagemoor::XmlTreeReadValue(tree, existing, "value", "", changed);
  if (tree.size() != before) Fail("reading an existing path created elements");
  pagemoor::XmlTreeReadValue(tree, fromInput, "value", input.substr(0, 32), changed);

  const std::string_view value = input.substr(size / 2, 48);
  if (pagemoor::XmlTreeWriteValue(tree, fromInput, "value", value)) {
    const XmlTree::Id id = tree.find(fromInput);
    const std::string* stored = id == XmlTree::kNone ? nullptr : tree.attribute(id, "value");
    if (!stored || *stored != pagemoor::EncodeXmlValue(value)) Fail("stored value not found");
    pagemoor::XmlTreeReadValue(tree, fromInput, "value", "", changed);
    if (changed) Fail("stored value read as missing");
  }
  return 0;
}
