#include "pictures/TitlerScroll.h"

#include <limits>

namespace pagemoor {

bool TitlerScroll::setStep(int step) {
  if (step <= 0 || step == m_step) return false;
  m_step = step;
  return true;
}

void TitlerScroll::tick() {
  // The timer also runs while the window is hidden, when nothing paints and
  // so nothing restarts the roll; the offset must not wrap to a negative
  // value in the meantime.
  if (m_offset > std::numeric_limits<int>::max() - m_step)
    m_offset = std::numeric_limits<int>::max();
  else
    m_offset += m_step;
}

int TitlerScroll::restartIfPast(int lineHeight, int lineCount, int controlHeight) {
  const long long blockEnd = static_cast<long long>(lineHeight) * lineCount + controlHeight;
  if (blockEnd < m_offset) m_offset = 0;
  return m_offset;
}

TitlerRect TitlerScroll::textRect(int controlWidth, int controlHeight, int clientBottom, int offset) {
  return TitlerRect{2, controlHeight - offset, controlWidth - 3, clientBottom - 1};
}

}  // namespace pagemoor
