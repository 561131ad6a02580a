// Our strings are UTF-8 std::string; Qt's are QString. One way across.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace pagemoor {

inline QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace pagemoor
