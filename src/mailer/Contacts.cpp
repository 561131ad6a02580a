#include "mailer/Contacts.h"

#include <limits>
#include <optional>
#include <utility>

#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/IniDocument.h"
#include "common/IniFile.h"
#include "common/Strings.h"

namespace pagemoor {

namespace {

constexpr const char* kCommon = "common";

// The placeholders in the order they are filled: a field that itself holds a
// later placeholder gets that one filled too, as magazines have always seen it.
constexpr const char* kFields[] = {"firstname", "lastname", "nickname", "position", "mail"};

// A setting of the mailer: the environment first, then the user's mailer.ini.
// The settings file is only read: a missing key is not written back into the
// reader's own configuration.
std::string MailerSetting(const char* variable, const char* key, const char* fallback) {
  std::string value = TrimBlanks(GetEnvVar(variable));
  if (!value.empty()) return value;
  const std::string file = ConfigDir() + "mailer.ini";
  if (FileExists(file)) {
    if (std::optional<std::string> bytes = ReadFileBytes(file)) {
      value = TrimBlanks(IniDocument(std::move(*bytes)).value("mailer", key).value_or(std::string()));
      if (!value.empty()) return value;
    }
  }
  return fallback;
}

}  // namespace

AddressBook::AddressBook(std::string iniFile) : m_file(std::move(iniFile)) {}

int AddressBook::Count() const {
  const std::string text = ReadIniDefault(m_file, kCommon, "count", "1");
  long long value = 1;
  if (!TryParseInt(text, value) || value < std::numeric_limits<int>::min() ||
      value > std::numeric_limits<int>::max())
    return 1;
  return static_cast<int>(value);
}

std::string AddressBook::DisplayOf(int n) const {
  std::string display = ReadIniValue(m_file, kCommon, "mailersignaturestyle");
  const std::string section = std::to_string(n);
  for (const char* field : kFields)
    ReplaceText(display, "%" + std::string(field) + "%", ReadIniValue(m_file, section, field), true);
  return display;
}

std::string AddressBook::MailOf(const std::string& display, const std::string& fallback) const {
  std::string mail = fallback;
  const int count = Count();
  for (int n = 1; n <= count; ++n) {
    const std::string section = std::to_string(n);
    if (TrimBlanks(ReadIniValue(m_file, section, "firstname")).empty()) continue;
    if (SameText(DisplayOf(n), display)) mail = ReadIniValue(m_file, section, "mail");
  }
  return mail;
}

std::vector<std::string> AddressBook::ListEntries() const {
  std::vector<std::string> entries;
  // The blank contact is read (and its missing keys written back) only once
  // some contact shows anything.
  std::optional<std::string> blank;
  const int count = Count();
  for (int n = 1; n <= count; ++n) {
    std::string display = TrimBlanks(DisplayOf(n));
    if (display.empty()) continue;
    if (!blank) blank = DisplayOf(0);
    if (display != *blank) entries.push_back(std::move(display));
  }
  return entries;
}

std::string DefaultSmtpServer() {
  return MailerSetting("PAGEMOOR_SMTP_SERVER", "server", "localhost");
}

std::string DefaultMailAddress() {
  return MailerSetting("PAGEMOOR_MAIL_ADDRESS", "default_address", "postmaster@localhost");
}

}  // namespace pagemoor
