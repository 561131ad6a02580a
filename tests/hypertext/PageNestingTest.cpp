// Pages that would keep the layout engine busy for minutes: nested far too
// deep, tables inside tables, more elements than it lays out in seconds. The
// page model leaves tags out and keeps the text; ordinary pages that never
// close their paragraphs, items or cells keep every tag.
#include "hypertext/PageNesting.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "hypertext/PageModel.h"
#include "support/PageText.h"

namespace pagemoor {
namespace {

std::size_t Count(std::string_view text, std::string_view needle) {
  std::size_t n = 0;
  for (std::size_t at = text.find(needle); at != std::string_view::npos;
       at = text.find(needle, at + needle.size()))
    ++n;
  return n;
}

using test::Nested;
using test::Repeat;

constexpr std::size_t kHostile = 100000;

TEST(PageNesting, HostileNestingKeepsItsTextAndLosesTheTagsTooDeep) {
  struct Case {
    const char* name;
    std::string html;
    const char* tag;                          // an opening tag to count in the result
    std::size_t kept;                         // how many of it stay
    const char* closing;                      // its closing tag
    std::optional<std::size_t> closingsKept;  // how many of those stay
  };
  const Case cases[] = {
      {"div", Nested("<div>", "</div>", kHostile, "x") + "after", "<div>", kMaxPageNesting, "</div>",
       kMaxPageNesting},
      {"bold", Nested("<b>", "</b>", kHostile, "x") + "after", "<b>", kMaxPageNesting, "</b>",
       kMaxPageNesting},
      {"list", Nested("<ul>", "</ul>", kHostile, "<li>x") + "after", "<ul>", kMaxPageNesting, "</ul>",
       kMaxPageNesting},
      // An item under a list left out follows the item it would be in, as
      // the engine sees it: the items pile up side by side in the innermost
      // list kept, which takes no more than its share.
      {"list items", Nested("<ul><li>", "</li></ul>", kHostile, "x") + "after", "<li>",
       kMaxPageNesting / 2 + kMaxListItems - 1, "</ul>", std::nullopt},
      {"long list", "<ul>" + Repeat("<li>x", 3 * kMaxListItems) + "</ul>after", "<li>", kMaxListItems,
       "</ul>", 1},
      {"table", Nested("<table><tr><td>", "</td></tr></table>", kHostile / 5, "x") + "after", "<table>",
       kMaxTableNesting, "</table>", kMaxTableNesting},
      // Rows and cells of a table left out go with it, closed or not.
      {"table cells", Nested("<table><tr><td>", "</td></tr></table>", kHostile / 5, "x") + "after", "<td>",
       kMaxTableNesting, "</td>", kMaxTableNesting},
      {"unclosed tables", Repeat("<table><tr><td>", kHostile / 5) + "x" + "after", "<table>",
       kMaxTableNesting, "</table>", 0},
      {"unclosed font", Repeat("<font color=red>", kHostile) + "x" + "after", "<font", kMaxPageNesting,
       "</font>", 0},
      {"unknown tags", Repeat("<zz>", kHostile) + "x" + "after", "<zz>", kMaxPageNesting, "</zz>", 0},
      // Cells are closed by the next cell only within their row: a cell that
      // holds a bold word and the next cell stay side by side.
      {"cells inside bold", "<table><tr>" + Repeat("<td><b>", kHostile) + "x" + "after", "<td>", kHostile,
       "</td>", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = std::chrono::steady_clock::now();
    const PreparedPage page = PreparePage(c.html);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    std::printf("%s: %zu bytes prepared in %lld ms\n", c.name, c.html.size(), static_cast<long long>(ms));
    if (std::string_view(c.name) != "cells inside bold") {
      EXPECT_EQ(Count(page.html, c.tag), c.kept);
    } else {
      // A long row: the page runs out of budget, never of depth.
      EXPECT_GT(Count(page.html, c.tag), kMaxPageNesting);
    }
    if (c.closingsKept) {
      EXPECT_EQ(Count(page.html, c.closing), *c.closingsKept);
    }
    EXPECT_NE(page.html.find("x"), std::string::npos);
    EXPECT_TRUE(page.html.ends_with("after"));
  }
}

TEST(PageNesting, PagesThatLeaveElementsOpenKeepEveryTag) {
  // What old pages do all the time: the engine closes these itself, so they
  // never count as deeper. 1,000 of each is far past the depth limit.
  constexpr std::size_t kMany = 1000;
  struct Case {
    const char* name;
    std::string html;
    const char* tag;
  };
  const Case cases[] = {
      {"paragraphs", Repeat("<p>text", kMany), "<p>"},
      {"paragraphs with bold left open", Repeat("<p><b><i>text", kMany), "<i>"},
      {"list items", "<ul>" + Repeat("<li>item", kMany) + "</ul>", "<li>"},
      {"cells", "<table><tr>" + Repeat("<td>cell", kMany) + "</table>", "<td>"},
      {"rows", "<table>" + Repeat("<tr><td>cell", kMany) + "</table>", "<tr>"},
      {"cells without rows", "<table>" + Repeat("<td>cell", kMany) + "</table>", "<td>"},
      {"lone cells", Repeat("<td>cell", kMany), "<td>"},
      {"rows in a body", "<table><tbody>" + Repeat("<tr><td><font>cell", kMany) + "</table>", "<font>"},
      {"definitions", "<dl>" + Repeat("<dt>term<dd>meaning", kMany) + "</dl>", "<dd>"},
      {"line breaks and pictures", Repeat("line<br><img alt=picture><hr>", kMany), "<br>"},
      {"closed elements", Repeat("<div><b>text</b></div>", kMany), "<b>"},
      // A layout of the time: tables four deep, fonts in every cell.
      {"layout tables",
       Repeat(Nested("<table width=100%><tr><td><font face=Arial>", "</font></td></tr></table>", 4,
                     "<p>text<br>more"),
              kMany / 10),
       "<table width"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PreparedPage page = PreparePage(c.html);
    EXPECT_EQ(page.html, c.html);
    EXPECT_GE(Count(page.html, c.tag), kMany / 10);
  }
}

TEST(PageNesting, ClosingTagsMatchTheElementsTheEngineHasOpen) {
  struct Case {
    const char* html;
    const char* expected;
  };
  const Case cases[] = {
      // Nothing open of that name: the engine ignores it, and so it goes.
      {"a</b>b</font>c", "abc"},
      // It closes what is open inside it too.
      {"<div><b>a</div><p>b</p>", "<div><b>a</div><p>b</p>"},
      // A paragraph ends the one before, so its closing tag is a stray.
      {"<p>a<p>b</p></p>c", "<p>a<p>b</p>c"},
      // Taken out here, so their closing tags are strays too.
      {"<select><option>a</select></select><form></form><textarea>t</textarea></textarea>",
       "<img src=\"pm:form/0\"><img src=\"pm:form/1\">"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.html);
    EXPECT_EQ(PreparePage(c.html).html, c.expected);
  }
}

TEST(PageNesting, APagePastItsBudgetEndsItsTablesAndKeepsItsText) {
  struct Case {
    const char* name;
    std::string html;
  };
  const Case cases[] = {
      {"flat", Repeat("<b>x</b>", kPageLayoutBudget + 1000)},
      {"deep tables", Nested("<table><tr><td>", "</td></tr></table>", kMaxTableNesting,
                             Repeat("<p>x</p>", kPageLayoutBudget / 100))},
      {"text in deep tables", Repeat("<table><tr><td>", kMaxTableNesting) +
                                  Repeat("x", kPageLayoutBudget * kTextBytesPerUnit / 100) + "<b>y</b>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PreparedPage page = PreparePage(c.html);
    // Every table opened is closed again, and not one more.
    EXPECT_EQ(Count(page.html, "<table>"), Count(page.html, "</table>"));
    const auto openingTags = [](std::string_view html) { return Count(html, "<") - Count(html, "</"); };
    EXPECT_LT(openingTags(page.html), openingTags(c.html));
    EXPECT_EQ(Count(page.html, "x"), Count(c.html, "x"));
    // What comes after the tables were closed has no tags.
    const std::size_t lastClose = page.html.rfind("</table>");
    if (lastClose != std::string::npos) {
      EXPECT_EQ(page.html.find('<', lastClose + 1), std::string::npos);
    }
  }
  // The tables end before the text that would have gone past the budget.
  const PreparedPage text = PreparePage(cases[2].html);
  EXPECT_TRUE(text.html.starts_with(Repeat("<table><tr><td>", kMaxTableNesting) +
                                    Repeat("</table>", kMaxTableNesting)));
}

TEST(PageNesting, WhatIsLeftOutOfAFullPageIsNotRead) {
  // Past the budget, scripts, style sheets and form controls go whole: their
  // content is no text of the page. Links go without their references.
  const std::string full = Repeat("<b>x</b>", kPageLayoutBudget + 10);
  const PreparedPage page = PreparePage(full +
                                        "<script>var a = '<b>';</script><style>p {}</style>"
                                        "<textarea>value</textarea><a href=\"x.htm\">link</a>");
  EXPECT_TRUE(page.html.ends_with("xxxxxlink"));
  EXPECT_TRUE(page.references.empty());
  EXPECT_TRUE(page.controls.empty());
}

}  // namespace
}  // namespace pagemoor
