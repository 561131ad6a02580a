#include "mailer/ExStringList.h"

#include <algorithm>
#include <cctype>

namespace pagemoor {

namespace {

// The name of a line: the text before the first ':' (the whole line without one).
std::string_view NameOf(std::string_view line) {
  const std::size_t colon = line.find(':');
  return colon == std::string_view::npos ? line : line.substr(0, colon);
}

// Compares names as upper-case ASCII, each followed by ':'. With the colon
// in the key, the order of names is the order of whole lines compared the
// same way, so a list kept in line order can be searched by name.
int CompareNames(std::string_view a, std::string_view b) {
  const std::size_t n = std::max(a.size(), b.size()) + 1;
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = i < a.size() ? std::toupper(static_cast<unsigned char>(a[i])) : (i == a.size() ? ':' : -1);
    const int cb = i < b.size() ? std::toupper(static_cast<unsigned char>(b[i])) : (i == b.size() ? ':' : -1);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == -1) break;
  }
  return 0;
}

}  // namespace

int TExStringList::IndexOfName(std::string_view name) const {
  if (Sorted) {
    std::size_t lo = 0;
    std::size_t hi = Lines.size();
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      const int c = CompareNames(NameOf(Lines[mid]), name);
      if (c == 0) return static_cast<int>(mid);
      if (c < 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    return -1;
  }
  for (std::size_t i = 0; i < Lines.size(); ++i)
    if (CompareNames(NameOf(Lines[i]), name) == 0) return static_cast<int>(i);
  return -1;
}

void TExStringList::SetValue(std::string_view name, std::string_view value) {
  const int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Lines.erase(Lines.begin() + index);
    return;
  }
  std::string line = std::string(name) + ": " + std::string(value);
  if (index >= 0) {
    Lines[static_cast<std::size_t>(index)] = std::move(line);
  } else if (Sorted) {
    // Keep the order the halving search relies on.
    const auto at = std::lower_bound(
        Lines.begin(), Lines.end(), name,
        [](const std::string& l, std::string_view n) { return CompareNames(NameOf(l), n) < 0; });
    Lines.insert(at, std::move(line));
  } else {
    Lines.push_back(std::move(line));
  }
}

}  // namespace pagemoor
