#include "viewer/ButtonRecords.h"

namespace pagemoor {

std::vector<ButtonRecord> ReadButtonRecords(const std::string& /*iniFile*/) {
  return {};
}

}  // namespace pagemoor
