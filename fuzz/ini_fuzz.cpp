// Any bytes as an INI file: reading, changing and writing it back must neither
// crash nor lose what it did not change.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/Encoding.h"
#include "common/IniDocument.h"

namespace {

// A name or value that survives every file: letters and digits only.
std::string plain(const std::string& s, const char* fallback) {
  std::string out;
  for (char c : s)
    if (std::isalnum(static_cast<unsigned char>(c))) out.push_back(c);
  return out.empty() ? fallback : out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  pagemoor::IniDocument doc(bytes);
  // Untouched, the document gives back its bytes exactly.
  if (doc.serialize() != bytes) std::abort();

  // Names and values taken from the input itself reach the odd corners.
  const std::string a = pagemoor::DecodeText(bytes.substr(0, size / 3));
  const std::string b = pagemoor::DecodeText(bytes.substr(size / 3, size / 3));
  for (const std::string& section : doc.sectionNames())
    for (const std::string& key : doc.keyNames(section)) (void)doc.value(section, key);
  (void)doc.value(a, b);
  doc.setValue(a, b, "value");
  doc.setValue("section", a, b);
  doc.removeKey(a, b);

  // What we wrote reads back the same, also after a round trip through bytes.
  const std::string key = plain(a, "key"), value = plain(b, "value");
  doc.setValue("section", key, value);
  if (doc.value("section", key) != value) std::abort();
  pagemoor::IniDocument again(doc.serialize());
  if (again.value("section", key) != value) std::abort();
  return 0;
}
