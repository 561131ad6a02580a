#include "mailer/ExStringList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace pagemoor {
namespace {

TEST(ExStringList, FindsTheNameBeforeTheFirstColonInAnyCase) {
  TExStringList list;
  list.Lines = {"From: a<a@x>", "Subject: re: news", "X-Mailer: Pagemoor", "subject: second", "Date"};
  struct Case {
    const char* name;
    int index;
  };
  const Case cases[] = {
      {"From", 0},     {"FROM", 0}, {"subject", 1},  // the first of two
      {"x-mailer", 2}, {"Date", 4}, {"Subj", -1},   {"Subject: re", -1}, {"re", -1}, {"", -1}, {"To", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(list.IndexOfName(c.name), c.index) << c.name;
}

TEST(ExStringList, SetValueReplacesAppendsAndRemoves) {
  TExStringList list;
  list.SetValue("Subject", "one");
  list.SetValue("To", "a@x");
  list.SetValue("SUBJECT", "two");  // same line, new name spelling and value
  EXPECT_EQ(list.Lines, (std::vector<std::string>{"SUBJECT: two", "To: a@x"}));
  list.SetValue("subject", "");
  list.SetValue("Reply-To", "");  // nothing to remove
  EXPECT_EQ(list.Lines, (std::vector<std::string>{"To: a@x"}));
}

// A sorted list keeps its order through SetValue and is searched by halving;
// names that are prefixes of others ("Content" / "Content-Type") and names
// with characters below ':' must still be found.
TEST(ExStringList, SortedListStaysInOrderAndFindsEveryName) {
  const std::vector<std::string> names = {"Subject",   "content-type", "To", "Content", "X-Mailer",
                                          "A",         "Content-Id",   "b",  "CC",      "Date",
                                          "Content_x", "Mime-Version"};
  TExStringList list;
  list.Sorted = true;
  for (const std::string& n : names) list.SetValue(n, "v " + n);

  const auto upper = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  EXPECT_TRUE(
      std::is_sorted(list.Lines.begin(), list.Lines.end(),
                     [&](const std::string& a, const std::string& b) { return upper(a) < upper(b); }));
  ASSERT_EQ(list.Lines.size(), names.size());
  for (const std::string& n : names) {
    const int i = list.IndexOfName(n);
    ASSERT_GE(i, 0) << n;
    EXPECT_EQ(list.Lines[static_cast<std::size_t>(i)], n + ": v " + n);
    EXPECT_EQ(list.IndexOfName(upper(n)), i);
  }
  EXPECT_EQ(list.IndexOfName("Content-"), -1);
  EXPECT_EQ(list.IndexOfName("Zzz"), -1);
}

}  // namespace
}  // namespace pagemoor
