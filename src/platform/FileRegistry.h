// Registry values kept in a per-user INI file, so that what the system stores
// under HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE survives between runs.
//
// Each key is one section named ROOT\KEY\PATH (for example
// "HKEY_LOCAL_MACHINE\SOFTWARE\Tarnwick"), each value one line in it. Key and
// value names compare without regard to case. Every call reads the file anew
// and every change is written atomically, so two running instances see each
// other's values. A missing or unreadable file reads as empty; a file that
// cannot be written loses the change silently, as a registry write failure
// never stops the program.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/Platform.h"

namespace pagemoor {

class FileRegistry {
 public:
  // The per-user file: ConfigDir() + "registry.ini", found at the first use
  // (so a run that never touches the registry creates no folder).
  FileRegistry() = default;
  explicit FileRegistry(std::string file);

  static std::string defaultFile();
  // The file the values live in.
  std::string file() const;

  // The section name of a key: root, '\', then the key path without leading
  // or trailing separators ('/' is taken as '\').
  static std::string sectionName(std::string_view rootKey, std::string_view keyPath);

  // The value, or empty text when the key or the value is missing.
  std::string read(std::string_view rootKey, std::string_view keyPath, std::string_view valueName) const;
  // Line breaks in the value are stored as blanks.
  void write(std::string_view rootKey, std::string_view keyPath, std::string_view valueName,
             std::string_view value);
  void remove(std::string_view rootKey, std::string_view keyPath, std::string_view valueName);
  void createKey(std::string_view rootKey, std::string_view keyPath);
  bool keyExists(std::string_view rootKey, std::string_view keyPath) const;

 private:
  std::string m_file;  // empty: defaultFile()
};

// A platform whose registry values live in a FileRegistry: the base of the
// real platforms (the scripted one forwards to the platform it wraps).
class FileRegistryPlatform : public Platform {
 public:
  FileRegistryPlatform() = default;
  explicit FileRegistryPlatform(std::string registryFile) : m_registry(std::move(registryFile)) {}

  std::string readRegistryValue(const std::string& rootKey, const std::string& keyPath,
                                const std::string& valueName) override;
  void writeRegistryValue(const std::string& rootKey, const std::string& keyPath,
                          const std::string& valueName, const std::string& value) override;
  void deleteRegistryValue(const std::string& rootKey, const std::string& keyPath,
                           const std::string& valueName) override;
  void createRegistryKey(const std::string& rootKey, const std::string& keyPath) override;

 private:
  FileRegistry m_registry;
};

}  // namespace pagemoor
