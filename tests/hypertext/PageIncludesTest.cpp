// Include directives, through the page model: what the handler is asked
// and how what it returns is read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hypertext/PageModel.h"

namespace pagemoor {
namespace {

struct Call {
  std::string command;
  std::vector<std::string> params;
  bool operator==(const Call&) const = default;
};

TEST(PageIncludes, IncludeDirectivesAskTheHandler) {
  std::vector<Call> calls;
  const IncludeHandler include = [&](const std::string& command, const std::vector<std::string>& params) {
    calls.push_back({command, params});
    return "[" + command + "]";
  };
  const PreparedPage page = PreparePage(
      "a<!--#Date-->b<!--#Include file=\"part.htm\" Mode=fast x='q r' y -->c"
      "<!-- plain --><!--#123--><!-- #Time--><!--#Date:x-->",
      include);
  EXPECT_EQ(page.html, "a[Date]b[Include]c<!-- plain --><!--#123--><!-- #Time--><!--#Date:x-->");
  const std::vector<Call> expected = {
      {"Date", {}},
      {"Include", {"FILE=\"part.htm\"", "MODE=\"fast\"", "X=\"q r\"", "Y=\"\""}},
  };
  EXPECT_EQ(calls, expected);
}

TEST(PageIncludes, InsertedTextIsReadAsHtmlButNotExpandedAgain) {
  int calls = 0;
  const IncludeHandler include = [&](const std::string&, const std::vector<std::string>&) {
    ++calls;
    return std::string("<!--#Date--><a href=\"in.htm\"><bgsound src=s.wav>");
  };
  const PreparedPage page = PreparePage("<p><!--#Signature user=Ann--></a>", include);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(page.html, "<p><!--#Date--><a href=\"pm:ref/0\"></a>");
  ASSERT_EQ(page.references.size(), 2u);
  EXPECT_EQ(page.references[0].raw, "in.htm");
  ASSERT_EQ(page.sounds.size(), 1u);
  EXPECT_EQ(page.sounds[0].src, "s.wav");

  // Without a handler a directive leaves nothing behind.
  EXPECT_EQ(PreparePage("a<!--#Date-->b").html, "ab");
}

}  // namespace
}  // namespace pagemoor
