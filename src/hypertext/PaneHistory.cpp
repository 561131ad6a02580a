#include "hypertext/PaneHistory.h"

namespace pagemoor {

void PaneHistory::documentLoaded(const std::string& document) {
  // Going somewhere new from an older entry forgets the entries that were
  // newer than it, as a browser's forward list goes.
  if (m_index > 0) m_entries.erase(m_entries.begin(), m_entries.begin() + m_index);
  m_entries.insert(m_entries.begin(), Entry{document, 0});
  if (static_cast<int>(m_entries.size()) > m_limit) m_entries.resize(static_cast<std::size_t>(m_limit));
  m_index = 0;
}

void PaneHistory::setLimit(int limit) {
  m_limit = limit < 1 ? 1 : limit;
  if (count() > m_limit) m_entries.resize(static_cast<std::size_t>(m_limit));
  if (m_index >= count()) m_index = count() - 1;
}

void PaneHistory::rememberScroll(int position) {
  if (m_index >= 0 && m_index < count())
    m_entries[static_cast<std::size_t>(m_index)].scrollPosition = position;
}

const PaneHistory::Entry* PaneHistory::setIndex(int index) {
  if (index < 0 || index >= count() || index == m_index) return nullptr;
  m_index = index;
  return &m_entries[static_cast<std::size_t>(index)];
}

const PaneHistory::Entry* PaneHistory::entry(int index) const {
  if (index < 0 || index >= count()) return nullptr;
  return &m_entries[static_cast<std::size_t>(index)];
}

}  // namespace pagemoor
