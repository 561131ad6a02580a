#include "viewer/LinkRules.h"

namespace pagemoor {

bool IsLocalLink(std::string_view /*src*/) {
  return false;
}

LocalLink SplitLocalLink(std::string_view /*src*/) {
  return {};
}

LinkKind LocalLinkKind(std::string_view /*expandedPath*/) {
  return LinkKind::Pane;
}

LinkKind SchemeLinkKind(std::string_view /*src*/) {
  return LinkKind::Pane;
}

}  // namespace pagemoor
