#include "common/XmlIni.h"

#include <optional>
#include <utility>

#include "common/Encoding.h"
#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/MagazineFiles.h"
#include "common/Strings.h"

namespace pagemoor {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// A playlist of a few hundred entries writes out to some tens of kilobytes.
// Far beyond that lies a file of garbage nesting whose indent would grow
// without bound; such a file is left as it is.
constexpr std::size_t kMaxWrittenBytes = std::size_t{64} << 20;

struct LoadedFile {
  XmlTree tree;
  TextEncoding encoding = TextEncoding::Utf8;
  bool bom = false;
};

// The reader expects lines joined by CR LF whatever the file used.
std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out.append("\r\n");
    } else if (c == '\n') {
      out.append("\r\n");
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// A missing file is an empty document; nothing means the file is there but
// cannot be read, and then it must not be replaced by what little we know.
std::optional<LoadedFile> Load(std::string_view file) {
  LoadedFile loaded;
  const std::optional<std::string> path = ResolveExisting(file);
  if (!path) return loaded;
  const std::optional<std::string> bytes = ReadMagazineFile(*path, FileKind::Text);
  if (!bytes) return std::nullopt;
  const std::string_view content = WithoutBom(*bytes);
  loaded.bom = content.size() != bytes->size();
  loaded.tree = ParseXml(WithCrLf(DecodeText(content, loaded.encoding)));
  return loaded;
}

bool Save(std::string_view file, const LoadedFile& loaded, std::string& error) {
  const std::string target = ResolveForWrite(file);
  if (WrittenXmlSize(loaded.tree) > kMaxWrittenBytes) {
    error = target + ": document too large to write";
    return false;
  }
  std::string bytes = loaded.bom ? std::string(kBom) : std::string();
  bytes += EncodeText(WriteXml(loaded.tree), loaded.encoding);
  return WriteFileAtomic(target, bytes, &error);
}

bool NamesElement(std::string_view elementPath) {
  return elementPath.find_first_not_of('/') != std::string_view::npos;
}

void ExpandPlaceholders(std::string& text) {
  ReplaceText(text, "{ad}", ProgramDir(), true);
  ReplaceText(text, "{cd}", CurrentDriveRoot(), true);
}

}  // namespace

std::string EncodeXmlValue(std::string_view value) {
  std::string text(value);
  ReplaceText(text, "&amp;", "&", true);
  ReplaceText(text, "&", "&amp;", true);
  ReplaceText(text, "<", "&lt;", true);
  ReplaceText(text, ">", "&gt;", true);
  ReplaceText(text, "\"", "&quot;", true);
  ExpandPlaceholders(text);
  return text;
}

std::string DecodeXmlValue(std::string_view stored) {
  std::string text(stored);
  ReplaceText(text, "|", "\r\n", true);
  text = TrimBlanks(text);
  ReplaceText(text, "&lt;", "<", true);
  ReplaceText(text, "&gt;", ">", true);
  ReplaceText(text, "&quot;", "\"", true);
  ReplaceText(text, "&amp;", "&", true);
  ExpandPlaceholders(text);
  return text;
}

bool XmlTreeWriteValue(XmlTree& tree, std::string_view elementPath, std::string_view attribute,
                       std::string_view value) {
  // The root is never written out, so an attribute there would be lost.
  if (!NamesElement(elementPath)) return false;
  tree.setAttribute(tree.walk(elementPath), attribute, EncodeXmlValue(value));
  return true;
}

std::string XmlTreeReadValue(XmlTree& tree, std::string_view elementPath, std::string_view attribute,
                             std::string_view defaultValue, bool& changed) {
  changed = false;
  if (!NamesElement(elementPath)) return DecodeXmlValue(defaultValue);
  const XmlTree::Id id = tree.walk(elementPath);
  if (const std::string* stored = tree.attribute(id, attribute)) return DecodeXmlValue(*stored);
  // The default goes in as given, so the file shows what the caller asked for.
  tree.appendAttribute(id, attribute, defaultValue);
  changed = true;
  return DecodeXmlValue(defaultValue);
}

void XmlWriteValue(std::string_view file, std::string_view elementPath, std::string_view attribute,
                   std::string_view value) {
  std::optional<LoadedFile> loaded = Load(file);
  if (!loaded) throw XmlWriteError(std::string(file) + ": cannot be read");
  if (!XmlTreeWriteValue(loaded->tree, elementPath, attribute, value))
    throw XmlWriteError(std::string(file) + ": no element given for the attribute " + std::string(attribute));
  std::string error;
  if (!Save(file, *loaded, error)) throw XmlWriteError(error);
}

std::string XmlReadValue(std::string_view file, std::string_view elementPath, std::string_view attribute,
                         std::string_view defaultValue) {
  std::optional<LoadedFile> loaded = Load(file);
  if (!loaded) return DecodeXmlValue(defaultValue);
  bool changed = false;
  std::string result = XmlTreeReadValue(loaded->tree, elementPath, attribute, defaultValue, changed);
  if (changed) {
    std::string ignored;
    Save(file, *loaded, ignored);
  }
  return result;
}

}  // namespace pagemoor
