#include "viewer/DocumentServices.h"

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/Strings.h"

namespace pagemoor {

namespace {

// Text commands hand back at most this many characters.
constexpr long kIncludeTextLimit = 255;

// The value of an entry NAME="value": what follows the first "=".
std::string EntryValue(const std::string& entry) {
  const std::size_t equals = entry.find('=');
  return equals == std::string::npos ? std::string() : entry.substr(equals + 1);
}

std::string EntryName(const std::string& entry) {
  return entry.substr(0, entry.find('='));
}

// The file an "Include" names: its first entry must be FILE="name"; the name
// ends at the next double quotation mark.
std::string IncludedFileName(const std::vector<std::string>& params) {
  static constexpr std::string_view kFileMark = "FILE=\"";
  if (params.empty() || params.front().compare(0, kFileMark.size(), kFileMark) != 0) return {};
  std::string name = params.front().substr(kFileMark.size());
  name = name.substr(0, name.find('"'));
  return LeftChars(name, kIncludeTextLimit);
}

std::string IncludedFile(const std::vector<std::string>& params) {
  const std::string name = IncludedFileName(params);
  if (name.empty()) return {};
  // Relative names are taken from the current folder, as written.
  return ReadTextFile(name).value_or(std::string());
}

}  // namespace

bool PlaysAsSample(const std::string& path) {
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".wav") == 0;
}

std::string BuildSignature(const std::vector<std::string>& params, const std::string& contactsFile) {
  std::string user;
  for (const std::string& entry : params) {
    if (!SameText(EntryName(entry), "user")) continue;
    user = AsciiLower(ReplacedText(EntryValue(entry), "\"", "", true));
    break;
  }
  const std::string style = ReadIniValue(contactsFile, "common", "defaultsignaturestyle");
  std::string pattern = ReadIniDefault(contactsFile, user, "signature", style);
  for (const char* key : {"firstname", "lastname", "nickname", "position", "mail"}) {
    const std::string value = ReadIniValue(contactsFile, user, key);
    ReplaceText(pattern, std::string("%") + key + "%", value, true);
  }
  return pattern;
}

std::string IncludeText(const std::string& command, const std::vector<std::string>& params,
                        const std::string& contactsFile, const IncludeClock& clock) {
  std::string text;
  if (SameText(command, "Date")) {
    text = clock.date ? clock.date() : std::string();
  } else if (SameText(command, "Signature")) {
    if (!params.empty()) text = BuildSignature(params, contactsFile);
  } else if (SameText(command, "AppVersion")) {
    text = "Pagemoor version: " + std::to_string(AppVersion());
  } else if (SameText(command, "AppVer")) {
    text = std::to_string(AppVersion());
  } else if (SameText(command, "Time")) {
    text = clock.time ? clock.time() : std::string();
  } else if (SameText(command, "Include")) {
    // The whole file, of any length.
    return IncludedFile(params);
  }
  return LeftChars(text, kIncludeTextLimit);
}

}  // namespace pagemoor
