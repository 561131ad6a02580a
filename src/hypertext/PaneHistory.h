// The documents a pane has shown, newest at index 0.
#pragma once

#include <string>
#include <vector>

namespace pagemoor {

class PaneHistory {
 public:
  explicit PaneHistory(int limit) : m_limit(limit < 1 ? 1 : limit) {}

  struct Entry {
    std::string document;  // full path
    int scrollPosition = 0;
  };

  // A document was loaded: entries newer than the one shown are dropped, the
  // new one becomes index 0, the oldest beyond the limit go.
  void documentLoaded(const std::string& document);
  // Remembers the scroll position of the entry shown (before leaving it).
  void rememberScroll(int position);

  // A new limit drops the oldest entries beyond it; when the entry shown is
  // among them, the oldest one kept counts as shown.
  void setLimit(int limit);
  int limit() const { return m_limit; }

  int count() const { return static_cast<int>(m_entries.size()); }
  int index() const { return m_index; }  // the entry shown; -1 before the first document
  // Another valid index: it becomes the one shown and its entry is returned;
  // invalid values (and the index already shown) give nullptr.
  const Entry* setIndex(int index);
  const Entry* entry(int index) const;

 private:
  std::vector<Entry> m_entries;  // index 0 = newest
  int m_index = -1;
  int m_limit;
};

}  // namespace pagemoor
