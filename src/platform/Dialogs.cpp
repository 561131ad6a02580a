#include "platform/Dialogs.h"

#include <utility>

#include "common/Strings.h"
#include "platform/Platform.h"

namespace pagemoor {

namespace {

// Only the interface thread shows messages, so the table has no lock.
std::vector<std::string>& NumberedMessages() {
  static std::vector<std::string> table;
  return table;
}

// The stored entry for the number, storing the default when it is the next
// free one; the default itself when the number cannot be stored.
std::string NumberedEntry(int number, const std::string& defaultText) {
  std::vector<std::string>& table = NumberedMessages();
  if (number < 1) return defaultText;
  const auto index = static_cast<std::size_t>(number - 1);
  if (index < table.size()) return table[index];
  if (index == table.size()) table.push_back(defaultText);
  return defaultText;
}

struct RegistryAddress {
  std::string keyPath;
  std::string valueName;
};

// SplitPath leaves the separator on the folder; the platform wants the key's
// path alone.
RegistryAddress SplitRegistryPath(const std::string& path) {
  PathParts parts = SplitPath(path);
  if (!parts.folder.empty()) parts.folder.pop_back();
  return {std::move(parts.folder), std::move(parts.name)};
}

}  // namespace

void ShowInfo(const std::string& text) {
  platform().showInfo(text);
}

bool AskYesNo(const std::string& text) {
  return platform().askYesNo(text);
}

void ShowNumberedMessage(int number, const std::string& defaultText) {
  ShowInfo(NumberedEntry(number, defaultText));
}

void ShowNumberedMessage(int number, const std::string& defaultText,
                         const std::vector<std::string>& formatArgs) {
  ShowInfo(FormatText(NumberedEntry(number, defaultText), formatArgs));
}

void ResetNumberedMessages() {
  NumberedMessages().clear();
}

std::string ReadRegString(const std::string& rootKey, const std::string& path) {
  const RegistryAddress address = SplitRegistryPath(path);
  Platform& p = platform();
  p.createRegistryKey(rootKey, address.keyPath);
  return p.readRegistryValue(rootKey, address.keyPath, address.valueName);
}

void DeleteRegValue(const std::string& rootKey, const std::string& path) {
  const RegistryAddress address = SplitRegistryPath(path);
  Platform& p = platform();
  p.createRegistryKey(rootKey, address.keyPath);
  p.deleteRegistryValue(rootKey, address.keyPath, address.valueName);
}

void WriteRegString(const std::string& rootKey, const std::string& path, const std::string& value) {
  const RegistryAddress address = SplitRegistryPath(path);
  platform().writeRegistryValue(rootKey, address.keyPath, address.valueName, value);
}

}  // namespace pagemoor
