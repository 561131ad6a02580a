// TExStringList: header lines "Name: value" with a lookup by name (any case).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pagemoor {

class TExStringList {
 public:
  std::vector<std::string> Lines;
  bool Sorted = false;

  // The index of the line whose name (before the first ':') equals `name`
  // ignoring case; -1 when none (a halving search when Sorted).
  int IndexOfName(std::string_view name) const;
  // A non-empty value replaces the line of that name or is appended as
  // "name: value"; an empty value removes the line.
  void SetValue(std::string_view name, std::string_view value);
  void Clear() { Lines.clear(); }
};

}  // namespace pagemoor
