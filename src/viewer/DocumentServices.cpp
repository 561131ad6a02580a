#include "viewer/DocumentServices.h"

namespace pagemoor {

bool PlaysAsSample(const std::string& /*path*/) {
  return false;
}

std::string BuildSignature(const std::vector<std::string>& /*params*/, const std::string& /*contactsFile*/) {
  return {};
}

std::string IncludeText(const std::string& /*command*/, const std::vector<std::string>& /*params*/,
                        const std::string& /*contactsFile*/, const IncludeClock& /*clock*/) {
  return {};
}

}  // namespace pagemoor
