#include "platform/FileRegistry.h"

#include <utility>

#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/IniDocument.h"
#include "common/Strings.h"

namespace pagemoor {

namespace {

IniDocument Load(const std::string& file) {
  std::optional<std::string> bytes = ReadFileBytes(file);
  return bytes ? IniDocument(std::move(*bytes)) : IniDocument();
}

void Store(const std::string& file, const IniDocument& doc) {
  (void)WriteFileAtomic(file, doc.serialize());
}

// The INI file trims blanks around a value and strips quotes that enclose all
// of it. A registry value is kept exactly, so such a value gets one more pair
// of quotes, which the reader takes off again.
std::string Protected(std::string_view raw) {
  // An INI line holds one line of text.
  std::string value = LineBreaksToBlanks(raw);
  if (value.empty()) return value;
  const char first = value.front();
  const char last = value.back();
  const bool blankEnd = first == ' ' || first == '\t' || last == ' ' || last == '\t';
  const bool quoted = value.size() >= 2 && first == last && (first == '"' || first == '\'');
  if (!blankEnd && !quoted) return value;
  return "\"" + value + "\"";
}

}  // namespace

FileRegistry::FileRegistry(std::string file) : m_file(std::move(file)) {}

std::string FileRegistry::defaultFile() {
  return ConfigDir() + "registry.ini";
}

std::string FileRegistry::file() const {
  return m_file.empty() ? defaultFile() : m_file;
}

std::string FileRegistry::sectionName(std::string_view rootKey, std::string_view keyPath) {
  std::string path(keyPath);
  for (char& c : path)
    if (c == '/') c = '\\';
  const std::size_t begin = path.find_first_not_of('\\');
  if (begin == std::string::npos) return std::string(rootKey);
  const std::size_t end = path.find_last_not_of('\\');
  return std::string(rootKey) + "\\" + path.substr(begin, end - begin + 1);
}

std::string FileRegistry::read(std::string_view rootKey, std::string_view keyPath,
                               std::string_view valueName) const {
  return Load(file()).value(sectionName(rootKey, keyPath), valueName).value_or(std::string());
}

void FileRegistry::write(std::string_view rootKey, std::string_view keyPath, std::string_view valueName,
                         std::string_view value) {
  const std::string path = file();
  IniDocument doc = Load(path);
  if (doc.setValue(sectionName(rootKey, keyPath), valueName, Protected(value))) Store(path, doc);
}

void FileRegistry::remove(std::string_view rootKey, std::string_view keyPath, std::string_view valueName) {
  const std::string path = file();
  IniDocument doc = Load(path);
  if (doc.removeKey(sectionName(rootKey, keyPath), valueName)) Store(path, doc);
}

void FileRegistry::createKey(std::string_view rootKey, std::string_view keyPath) {
  const std::string path = file();
  IniDocument doc = Load(path);
  if (doc.addSection(sectionName(rootKey, keyPath))) Store(path, doc);
}

bool FileRegistry::keyExists(std::string_view rootKey, std::string_view keyPath) const {
  return Load(file()).hasSection(sectionName(rootKey, keyPath));
}

std::string FileRegistryPlatform::readRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                                    const std::string& valueName) {
  return m_registry.read(rootKey, keyPath, valueName);
}

void FileRegistryPlatform::writeRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                              const std::string& valueName, const std::string& value) {
  m_registry.write(rootKey, keyPath, valueName, value);
}

void FileRegistryPlatform::deleteRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                               const std::string& valueName) {
  m_registry.remove(rootKey, keyPath, valueName);
}

void FileRegistryPlatform::createRegistryKey(const std::string& rootKey, const std::string& keyPath) {
  m_registry.createKey(rootKey, keyPath);
}

}  // namespace pagemoor
