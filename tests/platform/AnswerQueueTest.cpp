#include "platform/AnswerQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace pagemoor {
namespace {

std::vector<std::string> Texts(AnswerQueue queue) {
  std::vector<std::string> out;
  while (!queue.empty()) out.push_back(queue.take().text);
  return out;
}

struct ListCase {
  const char* list;
  std::vector<std::string> answers;
};

class AnswerListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(AnswerListTest, SplitsTrimsAndUnescapes) {
  EXPECT_EQ(Texts(AnswerQueue(GetParam().list)), GetParam().answers);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, AnswerListTest,
    ::testing::Values(ListCase{"", {}}, ListCase{" , ,, ", {}}, ListCase{"yes", {"yes"}},
                      ListCase{"yes,no,ok", {"yes", "no", "ok"}},
                      ListCase{"  yes ,\tno\t, text:two words  ", {"yes", "no", "text:two words"}},
                      ListCase{"text:a\\,b,ok", {"text:a,b", "ok"}},
                      ListCase{"text:back\\\\,ok", {"text:back\\", "ok"}},
                      // Escaped backslash then an escaped comma: three characters, one answer.
                      ListCase{"text:\\\\\\,x", {"text:\\,x"}},
                      // Other backslashes stay, so Windows paths need no escaping.
                      ListCase{"file:C:\\temp\\a.txt", {"file:C:\\temp\\a.txt"}},
                      ListCase{"text:ends with\\", {"text:ends with\\"}},
                      ListCase{"yes,,no,", {"yes", "no"}}));

TEST(AnswerTest, WordIsLowerCaseAndValueIsEverythingAfterTheFirstColon) {
  const Answer a = Answer::parse("  File:C:\\Dir\\x:y.TXT ");
  EXPECT_EQ(a.word, "file");
  ASSERT_TRUE(a.value.has_value());
  EXPECT_EQ(*a.value, "C:\\Dir\\x:y.TXT");
  EXPECT_EQ(a.text, "File:C:\\Dir\\x:y.TXT");
  EXPECT_TRUE(a.is("file"));

  const Answer plain = Answer::parse("YES");
  EXPECT_EQ(plain.word, "yes");
  EXPECT_FALSE(plain.value.has_value());

  const Answer emptyValue = Answer::parse("text:");
  EXPECT_EQ(emptyValue.word, "text");
  EXPECT_EQ(emptyValue.value, std::string());
}

TEST(AnswerQueueTest, FrontPopAndTakeWalkTheQueueAndAreSafeWhenEmpty) {
  AnswerQueue queue("project:Spring issue, nodx, close");
  ASSERT_EQ(queue.size(), 3u);
  EXPECT_TRUE(queue.front().is("project"));
  EXPECT_EQ(queue.front().value, "Spring issue");
  EXPECT_EQ(queue.size(), 3u) << "front() must not consume";

  queue.pop();
  EXPECT_EQ(queue.take().word, "nodx");
  EXPECT_EQ(queue.take().word, "close");
  EXPECT_TRUE(queue.empty());

  EXPECT_EQ(queue.front().word, "");
  EXPECT_EQ(queue.take().word, "");
  queue.pop();
  EXPECT_TRUE(queue.empty());

  queue.push("  text:later ");
  queue.push("   ");
  ASSERT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue.front().value, "later");
}

TEST(AnswerQueueTest, FromEnvironmentReadsTheAnswersVariable) {
  {
    test::ScopedEnv env(kAnswersVariable, "yes, text:a\\, b");
    EXPECT_EQ(Texts(AnswerQueue::fromEnvironment()), (std::vector<std::string>{"yes", "text:a, b"}));
  }
  {
    test::ScopedEnv env(kAnswersVariable, nullptr);
    EXPECT_TRUE(AnswerQueue::fromEnvironment().empty());
  }
  {
    // A long script is not cut short like other environment values.
    std::string many;
    for (int i = 0; i < 300; ++i) many += "ok,";
    test::ScopedEnv env(kAnswersVariable, many.c_str());
    EXPECT_EQ(AnswerQueue::fromEnvironment().size(), 300u);
  }
}

}  // namespace
}  // namespace pagemoor
