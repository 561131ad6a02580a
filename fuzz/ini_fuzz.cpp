// Any bytes as an INI file: reading, changing and writing it back must neither
// crash nor lose what it did not change.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/IniDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  pagemoor::IniDocument doc(bytes);
  // Untouched, the document gives back its bytes exactly.
  if (doc.serialize() != bytes) std::abort();

  // Names and values taken from the input itself reach the odd corners.
  const std::string a = bytes.substr(0, size / 3);
  const std::string b = bytes.substr(size / 3, size / 3);
  for (const std::string& section : doc.sectionNames()) {
    for (const std::string& key : doc.keyNames(section)) (void)doc.value(section, key);
  }
  (void)doc.value(a, b);
  doc.setValue(a, b, "value");
  doc.setValue("section", a, b);
  doc.setValue("section", a, b);
  auto v = doc.value("section", a);
  (void)v;
  doc.removeKey(a, b);

  // What we wrote reads back the same after a round trip through bytes.
  pagemoor::IniDocument again(doc.serialize());
  if (again.value("section", a) != doc.value("section", a)) std::abort();
  return 0;
}
