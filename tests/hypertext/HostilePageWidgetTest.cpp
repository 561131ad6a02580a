// Pages written to stall the program, shown by the real pane on the offscreen
// platform. Unbounded, each of them kept the layout engine busy for minutes to
// an hour; bounded by the page model, each is shown in a moment. The bound
// below is generous on purpose: it tells a hang from a page, not fast from slow.
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "hypertext/HtmlPaneWidget.h"
#include "hypertext/PageNesting.h"
#include "support/PageText.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::Nested;
using test::Repeat;

TEST(HostilePage, ThePaneShowsEveryHostilePageInBoundedTime) {
  constexpr std::size_t kLevels = 100000;
  constexpr auto kBound = std::chrono::seconds(10);
  struct Case {
    const char* name;
    std::string body;
  };
  const Case cases[] = {
      {"nested div", Nested("<div>", "</div>", kLevels, "deep")},
      {"nested bold", Nested("<b>", "</b>", kLevels, "deep")},
      {"nested lists", Nested("<ul><li>", "</li></ul>", kLevels, "deep")},
      {"nested tables", Nested("<table><tr><td>", "</td></tr></table>", kLevels / 5, "deep")},
      {"unclosed fonts", Repeat("<font size=2>", kLevels) + "deep"},
      {"unclosed tables", Repeat("<table><tr><td>", kLevels / 5) + "deep"},
      {"flat elements", Repeat("<b>x</b> ", 3 * kLevels) + "deep"},
      {"text in deep tables",
       Repeat("<table><tr><td>", kMaxTableNesting) + Repeat("lorem ipsum ", kLevels) + "deep"},
      {"paragraphs in deep tables",
       Repeat("<table><tr><td>", kMaxTableNesting) + Repeat("<p>x</p>", kLevels) + "deep"},
  };
  test::TempFolder folder;
  HtmlPaneWidget pane;
  pane.resize(800, 600);
  pane.show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.write("hostile.htm", "<html><body>" + c.body + " after</body></html>");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(pane.LoadDocument(path));
    QApplication::processEvents();
    pane.grab();  // painted too, not only laid out
    const auto took = std::chrono::steady_clock::now() - start;
    std::printf("%s: %zu bytes shown in %lld ms\n", c.name, c.body.size(),
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    EXPECT_LT(took, kBound);
    EXPECT_TRUE(pane.toPlainText().contains(QStringLiteral("deep")));
    EXPECT_TRUE(pane.toPlainText().contains(QStringLiteral("after")));
  }
}

}  // namespace
}  // namespace pagemoor
