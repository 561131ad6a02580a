#include "common/Application.h"

namespace pagemoor {

namespace {

std::string& title() {
  static std::string t = "Pagemoor";
  return t;
}

}  // namespace

const std::string& ApplicationTitle() {
  return title();
}

void SetApplicationTitle(std::string_view t) {
  title() = std::string(t);
}

}  // namespace pagemoor
