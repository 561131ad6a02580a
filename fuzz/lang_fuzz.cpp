// Any bytes as a localisation file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/IniLang.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  auto file = std::make_unique<pagemoor::LanguageFile>(bytes);
  for (const std::string& section : file->sectionNames()) (void)file->value(section, section);
  pagemoor::SetLanguageFile(std::move(file));
  for (const pagemoor::MessageKey& m : pagemoor::MessageKeys()) (void)pagemoor::TranslateKey(m.key);
  (void)pagemoor::Translate("default", bytes.substr(0, 16));
  pagemoor::SetLanguageFile(nullptr);
  return 0;
}
