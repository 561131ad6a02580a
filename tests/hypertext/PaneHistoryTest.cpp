#include "hypertext/PaneHistory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pagemoor {
namespace {

std::vector<std::string> Documents(const PaneHistory& history) {
  std::vector<std::string> out;
  for (int i = 0; i < history.count(); ++i) out.push_back(history.entry(i)->document);
  return out;
}

TEST(PaneHistory, EmptyHistoryIgnoresEverything) {
  PaneHistory history(5);
  history.rememberScroll(10);
  EXPECT_EQ(history.count(), 0);
  EXPECT_EQ(history.index(), -1);
  EXPECT_EQ(history.entry(0), nullptr);
  EXPECT_EQ(history.setIndex(0), nullptr);
  EXPECT_EQ(history.index(), -1);
}

TEST(PaneHistory, NewestFirstWithinTheLimit) {
  PaneHistory history(3);
  for (const char* document : {"/a.htm", "/b.htm", "/c.htm", "/d.htm"}) history.documentLoaded(document);
  EXPECT_EQ(Documents(history), (std::vector<std::string>{"/d.htm", "/c.htm", "/b.htm"}));
  EXPECT_EQ(history.index(), 0);

  PaneHistory single(0);
  single.documentLoaded("/a.htm");
  single.documentLoaded("/b.htm");
  EXPECT_EQ(Documents(single), (std::vector<std::string>{"/b.htm"}));
}

TEST(PaneHistory, LoadingFromAnOlderEntryDropsTheNewerOnes) {
  PaneHistory history(10);
  for (const char* document : {"/a.htm", "/b.htm", "/c.htm", "/d.htm"}) history.documentLoaded(document);
  ASSERT_NE(history.setIndex(2), nullptr);  // b
  history.documentLoaded("/e.htm");
  EXPECT_EQ(Documents(history), (std::vector<std::string>{"/e.htm", "/b.htm", "/a.htm"}));
  EXPECT_EQ(history.index(), 0);

  // The same document again is a new entry like any other.
  history.documentLoaded("/e.htm");
  EXPECT_EQ(Documents(history), (std::vector<std::string>{"/e.htm", "/e.htm", "/b.htm", "/a.htm"}));
}

TEST(PaneHistory, SetIndexIgnoresInvalidValues) {
  PaneHistory history(10);
  for (const char* document : {"/a.htm", "/b.htm", "/c.htm"}) history.documentLoaded(document);
  ASSERT_NE(history.setIndex(1), nullptr);
  for (int invalid : {-1, -100, 3, 1000, 1}) {
    EXPECT_EQ(history.setIndex(invalid), nullptr) << invalid;
    EXPECT_EQ(history.index(), 1) << invalid;
  }
  EXPECT_EQ(history.count(), 3);
  const PaneHistory::Entry* entry = history.setIndex(2);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->document, "/a.htm");
  EXPECT_EQ(history.index(), 2);
}

TEST(PaneHistory, LoweringTheLimitDropsTheOldest) {
  PaneHistory h(5);
  for (const char* d : {"/a", "/b", "/c", "/d"}) h.documentLoaded(d);
  h.setIndex(3);  // "/a" shown
  h.setLimit(2);
  EXPECT_EQ(h.count(), 2);
  EXPECT_EQ(h.entry(0)->document, "/d");
  EXPECT_EQ(h.entry(1)->document, "/c");
  EXPECT_EQ(h.index(), 1);
  h.setLimit(0);
  EXPECT_EQ(h.limit(), 1);
  EXPECT_EQ(h.count(), 1);
  EXPECT_EQ(h.index(), 0);
}

TEST(PaneHistory, ScrollPositionsBelongToTheirEntries) {
  PaneHistory history(10);
  history.documentLoaded("/a.htm");
  history.rememberScroll(120);
  history.documentLoaded("/b.htm");
  EXPECT_EQ(history.entry(0)->scrollPosition, 0);
  history.rememberScroll(40);

  const PaneHistory::Entry* a = history.setIndex(1);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->scrollPosition, 120);
  history.rememberScroll(7);
  const PaneHistory::Entry* b = history.setIndex(0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->scrollPosition, 40);
  EXPECT_EQ(history.entry(1)->scrollPosition, 7);
}

}  // namespace
}  // namespace pagemoor
