#include "viewer/DocumentServices.h"

namespace pagemoor {

bool PlaysAsSample(const std::string& path) {
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".wav") == 0;
}

std::string BuildSignature(const std::vector<std::string>& /*params*/, const std::string& /*contactsFile*/) {
  return {};
}

std::string IncludeText(const std::string& /*command*/, const std::vector<std::string>& /*params*/,
                        const std::string& /*contactsFile*/, const IncludeClock& /*clock*/) {
  return {};
}

}  // namespace pagemoor
