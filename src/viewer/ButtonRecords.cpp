#include "viewer/ButtonRecords.h"

#include <climits>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/MagazineFolder.h"
#include "common/Strings.h"

namespace pagemoor {

namespace {

// A position or size: the value when it is an integer of the 32-bit range,
// else the fallback.
int IntOr(const std::string& text, int fallback) {
  long long value = 0;
  if (!TryParseInt(text, value) || value < INT_MIN || value > INT_MAX) return fallback;
  return static_cast<int>(value);
}

}  // namespace

std::vector<ButtonRecord> ReadButtonRecords(const std::string& iniFile) {
  std::vector<ButtonRecord> records;
  for (int n = 1; n <= kMaxButtons; ++n) {
    const std::string section = std::to_string(n);
    // Every key is read in this order, so the write-backs of missing keys
    // land in the file in the same order.
    std::string command = ReadIniValue(iniFile, section, "command");
    if (command.empty()) break;
    ButtonRecord record;
    record.command = std::move(command);
    record.file = MagazineFolder().pictures(ReadIniValue(iniFile, section, "file"));
    record.hint = ReadIniValue(iniFile, section, "hint");
    record.autosize = TextToBool(ReadIniDefault(iniFile, section, "autosize", "true"));
    record.stretch = TextToBool(ReadIniDefault(iniFile, section, "stretch", "false"));
    record.normal = TextToBool(ReadIniDefault(iniFile, section, "normal", "true"));
    // Unlike the positions, a cursor that is no number is an error.
    record.cursor = StrToInt(ReadIniDefault(iniFile, section, "cursor", "-21"));
    record.height = IntOr(ReadIniValue(iniFile, section, "height"), 10);
    record.width = IntOr(ReadIniValue(iniFile, section, "width"), 10);
    record.left = IntOr(ReadIniValue(iniFile, section, "left"), 10);
    record.top = IntOr(ReadIniValue(iniFile, section, "top"), 100);
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace pagemoor
