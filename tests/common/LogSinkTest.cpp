#include "common/LogSink.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pagemoor {
namespace {

using Lines = std::vector<std::string>;

LogSink::Subscriber Into(Lines& lines, const std::string& who = "") {
  return [&lines, who](std::string_view source, std::string_view text) {
    lines.push_back(who + std::string(source) + ": " + std::string(text));
  };
}

TEST(LogSink, LinesReachTheSubscribersOfTheMomentInOrder) {
  LogSink sink;
  Lines lines;
  sink.Log("System", "before anyone listens");  // goes nowhere
  EXPECT_FALSE(sink.hasSubscribers());
  {
    LogSink::Subscription first = sink.subscribe(Into(lines, "1 "));
    LogSink::Subscription second = sink.subscribe(Into(lines, "2 "));
    EXPECT_TRUE(first.active());
    sink.Log("Mailer", "SendMail");
    second.reset();
    EXPECT_FALSE(second.active());
    sink.Log("ZIP", "done");
  }
  EXPECT_FALSE(sink.hasSubscribers());
  sink.Log("System", "after everyone left");
  EXPECT_EQ(lines, (Lines{"1 Mailer: SendMail", "2 Mailer: SendMail", "1 ZIP: done"}));
}

TEST(LogSink, AMovedSubscriptionStaysOneSubscription) {
  LogSink sink;
  Lines lines;
  LogSink::Subscription held;
  {
    LogSink::Subscription made = sink.subscribe(Into(lines));
    held = std::move(made);
  }
  sink.Log("A", "once");
  held = sink.subscribe(Into(lines, "new "));  // the old one leaves
  sink.Log("B", "twice");
  EXPECT_EQ(lines, (Lines{"A: once", "new B: twice"}));
}

// A console destroyed by the command a line set off leaves while the line is
// handed round; whoever left hears nothing more of it.
TEST(LogSink, ASubscriberThatLeavesDuringALineHearsNoMoreOfIt) {
  struct Case {
    const char* name;
    bool firstRemovesSecond;
    Lines expected;
  };
  const Case cases[] = {
      {"the first removes the second", true, {"1 S: x", "1 S: y"}},
      {"the first removes itself", false, {"1 S: x", "2 S: x", "2 S: y"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogSink sink;
    Lines lines;
    std::optional<LogSink::Subscription> first, second;
    first = sink.subscribe([&](std::string_view source, std::string_view text) {
      lines.push_back("1 " + std::string(source) + ": " + std::string(text));
      if (c.firstRemovesSecond)
        second.reset();
      else
        first.reset();
    });
    second = sink.subscribe(Into(lines, "2 "));
    sink.Log("S", "x");
    sink.Log("S", "y");
    EXPECT_EQ(lines, c.expected);
  }
}

TEST(LogSink, ASubscriptionMayOutliveItsSink) {
  Lines lines;
  LogSink::Subscription left;
  {
    LogSink sink;
    left = sink.subscribe(Into(lines));
    sink.Log("S", "x");
  }
  EXPECT_FALSE(left.active());
  left.reset();
  EXPECT_EQ(lines, (Lines{"S: x"}));
}

// Every writer logs on the interface thread; a line from another one would
// race the console and its window, so it stops the program instead.
TEST(LogSinkDeathTest, ALineFromAnotherThreadStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  LogSink sink;
  EXPECT_DEATH(
      {
        std::thread other([&] { sink.Log("Audio", "from the device thread"); });
        other.join();
      },
      "a log line from a thread other than the interface thread");
}

}  // namespace
}  // namespace pagemoor
