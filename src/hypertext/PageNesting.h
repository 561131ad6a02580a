// What the layout engine would make of a page's tags, kept just far enough to
// bound its work before it sees the page.
//
// The engine's cost grows with the square of the nesting depth (its style and
// layout code walk every element's ancestors: 2,000 nested <div> take
// seconds, 100,000 an hour), doubles with every table around an element (a
// table lays its cells out at least twice to find their widths: 20 nested
// tables with one word in them take seconds), and grows faster than the
// number of elements on a flat page (300,000 <b> take 14 s). A page that goes
// past any limit below still shows all its text; only tags are left out.
//
// The model follows the engine's own rules for tags a page leaves open (a
// <p> ends the <p> before it, a <td> the cell before it, an <li> the item it
// is in), so a page that never closes its paragraphs or cells does not count
// as ever deeper. Where it cannot tell what the engine does, it counts deeper,
// never shallower.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pagemoor {

// Elements open at once. Old pages nest 10–20 deep (layout tables with fonts
// in their cells); 256 levels lay out in a few milliseconds.
inline constexpr std::size_t kMaxPageNesting = 256;
// Tables inside tables. Magazine layouts nest 3–5; at 8 the doubling makes a
// cell's content cost 256 times its weight, which the budget below absorbs.
inline constexpr std::size_t kMaxTableNesting = 8;
// The engine's work a page may ask for: an element costs 1 unit and every 32
// bytes of text 1, each doubled for every table around it. 30,000 units are
// about a second of layout and painting in the pane on a slow machine: a
// flat page of 30,000 elements, or 1 MB of text, or 110 paragraphs inside 8
// nested tables, or 3,700 inside 3. A page past it keeps its text but loses
// its remaining tags, and its open tables are closed so the rest lies
// outside them.
inline constexpr std::size_t kPageLayoutBudget = 30000;
inline constexpr std::size_t kTextBytesPerUnit = 32;
// Items of one list: the engine numbers each item by counting the ones
// before it, so a list costs the square of its length (4,000 items 0.2 s,
// 16,000 items 7 s). 2,000 items take a few tens of milliseconds; the items
// past them are left out and their text runs on in the last one.
inline constexpr std::size_t kMaxListItems = 2000;

class PageNesting {
 public:
  PageNesting();

  // An opening tag the engine would see (lower-case name). empty: the engine
  // gives it no content (a picture, a line break, a form control drawn as a
  // picture). False: the tag is to be left out. May append closing tags to
  // out, to go before whatever comes next.
  bool open(std::string_view name, bool empty, std::string& out);
  // A closing tag. False: the tag is to be left out (it closes an element
  // that was left out, nothing open, or the page is past its budget).
  bool close(std::string_view name);
  // Text of that many bytes is about to be appended; may append closing
  // tags to out first.
  void text(std::size_t bytes, std::string& out);

  // What the model holds now (tests).
  std::size_t depth() const { return m_stack.size(); }
  std::size_t tables() const;
  bool pastBudget() const { return m_past; }

 private:
  int idOf(std::string_view name);
  int knownId(std::string_view name) const;
  bool isOpen(int id) const {
    return id >= 0 && static_cast<std::size_t>(id) < m_open.size() && m_open[id] > 0;
  }
  // The index in m_stack of the nearest open element among ids, or -1.
  std::ptrdiff_t nearest(std::initializer_list<int> ids) const;
  // How many open elements stay when id opens, and how many the engine
  // would add above them first (the table and row it makes for a lone cell).
  void parentOf(int id, std::size_t& keep, std::size_t& implied) const;
  void push(int id);
  void popTo(std::size_t size);
  std::size_t weight() const;
  // Spends units; false (and the page is past its budget) when they are not there.
  bool spend(std::size_t units, std::string& out);
  void leaveOut(int id);

  std::unordered_map<std::string, int> m_ids;
  std::vector<int> m_stack;            // ids of the open elements, outermost first
  std::vector<std::size_t> m_open;     // per id: how many m_stack holds
  std::vector<std::size_t> m_dropped;  // per id: left out and not yet closed
  std::vector<std::size_t> m_items;    // per open list, innermost last: its items so far
  std::size_t m_looseItems = 0;        // items outside any list
  std::size_t m_spent = 0;
  bool m_past = false;
};

}  // namespace pagemoor
