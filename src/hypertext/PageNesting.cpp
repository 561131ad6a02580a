#include "hypertext/PageNesting.h"

#include <algorithm>
#include <array>

namespace pagemoor {

namespace {

// Names the rules below refer to, by their fixed ids.
enum Known : int {
  kTable,
  kTr,
  kTd,
  kTh,
  kThead,
  kTbody,
  kTfoot,
  kCaption,
  kP,
  kLi,
  kUl,
  kOl,
  kDd,
  kDt,
  kDl,
  kHead,
  kBody
};
constexpr std::array<std::string_view, 17> kKnownNames = {"table", "tr",      "td", "th",   "thead", "tbody",
                                                          "tfoot", "caption", "p",  "li",   "ul",    "ol",
                                                          "dd",    "dt",      "dl", "head", "body"};

// Elements the engine lays out in the line, which a new paragraph closes on
// its way to the paragraph they are in. Names it does not know it also treats
// so, but they are left off: the walk stops at them and counts deeper.
constexpr std::array<std::string_view, 21> kInlineNames = {
    "a", "b",    "big",   "cite", "code",   "dfn", "em",  "font", "i", "kbd", "nobr",
    "s", "samp", "small", "span", "strong", "sub", "sup", "tt",   "u", "var"};
constexpr int kFirstInline = static_cast<int>(kKnownNames.size());
constexpr std::size_t kInlineWalk = 32;

bool IsTablePart(int id) {
  return id == kTr || id == kTd || id == kTh || id == kThead || id == kTbody || id == kTfoot ||
         id == kCaption;
}

}  // namespace

PageNesting::PageNesting() {
  for (std::string_view name : kKnownNames) idOf(name);
  for (std::string_view name : kInlineNames) idOf(name);
}

int PageNesting::idOf(std::string_view name) {
  const auto [it, added] = m_ids.try_emplace(std::string(name), static_cast<int>(m_ids.size()));
  if (added) {
    m_open.push_back(0);
    m_dropped.push_back(0);
  }
  return it->second;
}

int PageNesting::knownId(std::string_view name) const {
  const auto it = m_ids.find(std::string(name));
  return it == m_ids.end() ? -1 : it->second;
}

std::size_t PageNesting::tables() const {
  return m_open[kTable];
}

std::ptrdiff_t PageNesting::nearest(std::initializer_list<int> ids) const {
  if (std::none_of(ids.begin(), ids.end(), [this](int id) { return isOpen(id); })) return -1;
  for (std::size_t i = m_stack.size(); i > 0; --i)
    if (std::find(ids.begin(), ids.end(), m_stack[i - 1]) != ids.end())
      return static_cast<std::ptrdiff_t>(i - 1);
  return -1;
}

void PageNesting::parentOf(int id, std::size_t& keep, std::size_t& implied) const {
  keep = m_stack.size();
  implied = 0;
  const auto above = [&](std::ptrdiff_t at) {
    if (at >= 0) keep = static_cast<std::size_t>(at) + 1;
  };
  switch (id) {
    case kP:
      // A paragraph ends the paragraph it would fall into, and the inline
      // elements left open in that one.
      // The walk is short: a paragraph under more inline elements than
      // that counts as inside the one before, which is the deeper guess.
      if (!isOpen(kP)) break;
      for (std::size_t i = m_stack.size(); i > 0 && i + kInlineWalk > m_stack.size(); --i) {
        const int open = m_stack[i - 1];
        if (open == kP) {
          keep = i - 1;
          break;
        }
        if (open < kFirstInline || open >= kFirstInline + static_cast<int>(kInlineNames.size())) break;
      }
      break;
    case kLi:
      if (!m_stack.empty() && m_stack.back() == kLi) keep = m_stack.size() - 1;
      break;
    case kTd:
    case kTh:
      // A cell outside any table gets a table and a row of its own; inside
      // one it goes into the nearest row. (Without a row the engine puts it
      // at the top of the page; the table is the deeper guess.)
      if (!isOpen(kTable)) {
        implied = 2;
      } else {
        above(nearest({kTr, kTable}));
      }
      break;
    case kTr:
      if (!isOpen(kTable)) {
        implied = 1;
      } else {
        above(nearest({kTable, kThead, kTbody, kTfoot}));
      }
      break;
    case kThead:
    case kTbody:
    case kTfoot:
    case kCaption:
      above(nearest({kTable}));
      break;
    case kDd:
      above(nearest({kDt, kDl}));
      break;
    case kDt:
      above(nearest({kDl}));
      break;
    case kBody:
      if (!m_stack.empty() && m_stack.back() == kHead) keep = m_stack.size() - 1;
      break;
    default:
      break;
  }
}

void PageNesting::push(int id) {
  m_stack.push_back(id);
  ++m_open[static_cast<std::size_t>(id)];
  if (id == kUl || id == kOl) m_items.push_back(0);
}

void PageNesting::popTo(std::size_t size) {
  while (m_stack.size() > size) {
    const int id = m_stack.back();
    --m_open[static_cast<std::size_t>(id)];
    if (id == kUl || id == kOl) m_items.pop_back();
    m_stack.pop_back();
  }
}

std::size_t PageNesting::weight() const {
  return std::size_t{1} << std::min(tables(), kMaxTableNesting);
}

bool PageNesting::spend(std::size_t units, std::string& out) {
  if (m_past) return false;
  if (units <= kPageLayoutBudget - m_spent) {
    m_spent += units;
    return true;
  }
  // The rest of the page is laid out once, outside every table: each closing
  // tag ends the nearest table with everything open inside it.
  m_past = true;
  for (std::size_t i = tables(); i > 0; --i) out += "</table>";
  popTo(0);
  return false;
}

void PageNesting::leaveOut(int id) {
  ++m_dropped[static_cast<std::size_t>(id)];
}

bool PageNesting::open(std::string_view name, bool empty, std::string& out) {
  if (m_past) return false;
  if (empty) return spend(weight(), out);
  // What is left out costs the engine nothing, so it costs no budget: the
  // closing tags of a page nested far too deep still close what was kept.
  // A name met for the first time is learnt only when the element is kept,
  // which the budget bounds.
  int id = knownId(name);
  // The rows and cells of a table left out go with it; their text stays in
  // the cell around them.
  if (IsTablePart(id) && m_dropped[kTable] > 0) {
    leaveOut(id);
    return false;
  }
  std::size_t keep = 0, implied = 0;
  parentOf(id, keep, implied);
  const bool tooDeep = keep + implied + 1 > kMaxPageNesting;
  const bool tooManyTables = id == kTable && tables() >= kMaxTableNesting;
  // Items outside any list are counted together.
  std::size_t& items = m_items.empty() ? m_looseItems : m_items.back();
  const bool tooManyItems = id == kLi && items >= kMaxListItems;
  if (tooDeep || tooManyTables || tooManyItems) {
    if (id >= 0) leaveOut(id);
    return false;
  }
  // The element is laid out inside the tables open now.
  if (!spend(weight(), out)) return false;
  if (id < 0) id = idOf(name);
  if (id == kLi) ++items;
  popTo(keep);
  if (implied == 2) push(kTable);
  if (implied >= 1) push(implied == 2 ? kTr : kTable);
  push(id);
  return true;
}

bool PageNesting::close(std::string_view name) {
  if (m_past) return false;
  const int id = knownId(name);
  if (id < 0) return false;
  if (m_dropped[static_cast<std::size_t>(id)] > 0) {
    --m_dropped[static_cast<std::size_t>(id)];
    // No table left out is open any more: rows and cells count again.
    if (id == kTable && m_dropped[kTable] == 0)
      for (int part : {kTr, kTd, kTh, kThead, kTbody, kTfoot, kCaption})
        m_dropped[static_cast<std::size_t>(part)] = 0;
    return false;
  }
  // A closing tag that matches nothing open is ignored by the engine too.
  if (!isOpen(id)) return false;
  std::size_t at = m_stack.size();
  while (m_stack[at - 1] != id) --at;
  popTo(at - 1);
  return true;
}

void PageNesting::text(std::size_t bytes, std::string& out) {
  if (m_past || bytes == 0) return;
  spend((bytes + kTextBytesPerUnit - 1) / kTextBytesPerUnit * weight(), out);
}

}  // namespace pagemoor
