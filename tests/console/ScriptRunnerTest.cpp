#include "console/ScriptRunner.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/FakePlatform.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::TempFolder;

// A project in development mode, so the project folder is the test's folder.
class Scripts : public ::testing::Test {
 protected:
  void SetUp() override {
    console.subscribeTo(sink);
    for (const char* name : {"load_main", "play"})
      console.AddCommand(name, "",
                         [this, name](Sender, const std::string& p) { ran.push_back(name + (" " + p)); });
    console.AddCommand("fail", "", [this](Sender, const std::string&) {
      ran.push_back("fail");
      throw std::runtime_error("broken");
    });
    console.AddCommand("run_script", "",
                       [this](Sender s, const std::string& p) { runner.cmdRun_Script(s, p); });
    console.OnBadCommand = [this](Sender, const std::string& c, const std::string&) {
      ran.push_back("bad " + c);
    };
  }

  // The log without the folder part of the script lines.
  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    for (std::string l : console.Lines()) {
      if (auto p = l.find(t.path()); p != std::string::npos) l.erase(p, t.path().size());
      lines.push_back(l);
    }
    return lines;
  }

  TempFolder t;
  test::ScopedCommandLine m_commandLine{t.path() + "MAG.EXE", {"/develope"}};
  FakePlatform fake;
  ScopedPlatform usePlatform{fake};
  LogSink sink;
  TDebugBox2 console;
  ScriptRunner runner{sink, [this](const std::string& line) { console.Execute(line); }};
  std::vector<std::string> ran;
};

TEST_F(Scripts, LinesRunInOrderAndCommentsAreSkipped) {
  t.write("scripts/start.txt",
          "load_main a.htm\r\n; a comment\r\n\r\n play x\rcon_com:play%20click.wav\nnosuch 1");
  console.Execute("run_script START.TXT");
  EXPECT_EQ(ran, (std::vector<std::string>{"load_main a.htm", "play click.wav", "bad nosuch"}));
  EXPECT_EQ(log(),
            (std::vector<std::string>{"System: Running Script SCRIPTS/start.txt", "System: Ending Script"}));
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(Scripts, EmptyScriptAndMissingScript) {
  t.write("scripts/empty.txt", "");
  console.Execute("run_script empty.txt");
  console.Execute("run_script missing.txt");
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(log(), (std::vector<std::string>{
                       "System: Running Script SCRIPTS/empty.txt", "System: Ending Script",
                       "System: Running Script SCRIPTS/missing.txt", "System: Ending Script"}));
  EXPECT_EQ(fake.textsOf("info"), std::vector<std::string>{"Skript nenalezen"});
}

TEST_F(Scripts, NoNameShowsTheMessageAndLogsNothing) {
  console.Execute("run_script");
  EXPECT_EQ(fake.textsOf("info"), std::vector<std::string>{"Nedostatek parametru prikazu."});
  EXPECT_TRUE(console.Lines().empty());
}

TEST_F(Scripts, NestedScriptRunsCompletelyBeforeTheNextLine) {
  t.write("scripts/outer.txt", "play 1\nrun_script inner.txt\nplay 3\n");
  t.write("scripts/inner.txt", "play 2\n");
  console.Execute("run_script outer.txt");
  EXPECT_EQ(ran, (std::vector<std::string>{"play 1", "play 2", "play 3"}));
  EXPECT_EQ(log(), (std::vector<std::string>{"System: Running Script SCRIPTS/outer.txt",
                                             "System: Running Script SCRIPTS/inner.txt",
                                             "System: Ending Script", "System: Ending Script"}));
}

TEST_F(Scripts, AFailingLineEndsItsScriptSilently) {
  t.write("scripts/outer.txt", "run_script inner.txt\nplay after\n");
  t.write("scripts/inner.txt", "play 1\nfail\nplay never\n");
  console.Execute("run_script outer.txt");
  EXPECT_EQ(ran, (std::vector<std::string>{"play 1", "fail", "play after"}));
  EXPECT_EQ(log().back(), "System: Ending Script");
  EXPECT_EQ(log().size(), 4u);
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(Scripts, AScriptThatRunsItselfStops) {
  // Twice per level: without stopping the whole chain this would run 2^32 scripts.
  t.write("scripts/loop.txt", "play x\nrun_script loop.txt\nrun_script LOOP.TXT\n");
  console.Execute("run_script loop.txt");
  EXPECT_EQ(ran.size(), static_cast<std::size_t>(ScriptRunner::kMaxNesting));
  ASSERT_EQ(fake.textsOf("info").size(), 1u);
  EXPECT_EQ(fake.textsOf("info")[0], "Prilis mnoho vnorenych skriptu: " + t.path() + "scripts/loop.txt");
  std::size_t nestingLines = 0;
  for (const std::string& l : log())
    nestingLines += l.find("Script nesting deeper than 32") != std::string::npos;
  EXPECT_EQ(nestingLines, 1u);

  // The next script runs normally again.
  ran.clear();
  t.write("scripts/once.txt", "play y\n");
  console.Execute("run_script once.txt");
  EXPECT_EQ(ran, std::vector<std::string>{"play y"});
}

TEST_F(Scripts, ALongScriptLetsEventsInAndStopsWhenTheReadingEnds) {
  // The reading ends in the second turn of events, as an end signal would
  // end it; the inner script stops there and its caller with it.
  const std::size_t every = ScriptRunner::kLinesBetweenEvents;
  std::string lines;
  for (std::size_t i = 0; i < 4 * every; ++i) lines += "play x\n";
  t.write("scripts/long.txt", lines);
  t.write("scripts/outer.txt", "run_script long.txt\nplay after\n");
  runner.setStopWhen([this] { return fake.processEventsCount >= 2; });
  console.Execute("run_script outer.txt");
  EXPECT_EQ(fake.processEventsCount, 2);
  EXPECT_EQ(ran.size(), 2 * every - 2);  // outer's first line counts too
  EXPECT_NE(ran.back(), "play after");

  // A short script runs as one step, with no events between its lines.
  ran.clear();
  fake.processEventsCount = 0;
  runner.setStopWhen({});
  t.write("scripts/short.txt", "play 1\nplay 2\n");
  console.Execute("run_script short.txt");
  EXPECT_EQ(ran.size(), 2u);
  EXPECT_EQ(fake.processEventsCount, 0);
}

}  // namespace
}  // namespace pagemoor
