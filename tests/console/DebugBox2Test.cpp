#include "console/DebugBox2.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "common/Application.h"
#include "common/HostPaths.h"
#include "common/LogSink.h"
#include "support/FakePlatform.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::TempFolder;

struct Dispatch {
  std::string command;  // as the handler or event saw it
  std::string params;
  bool operator==(const Dispatch&) const = default;
};

// A console with recording commands and events.
class Console : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"show", "load_main", "exit", "message"}) {
      console.AddCommand(name, std::string("does ") + name,
                         [this, name](Sender s, const std::string& params) {
                           handled.push_back({name, params});
                           senders.push_back(s);
                         });
    }
    console.OnCommand = [this](Sender, const std::string& command, const std::string& params,
                               const std::vector<std::string>& words) {
      commands.push_back({command, params});
      lastWords = words;
    };
  }

  FakePlatform fake;
  ScopedPlatform usePlatform{fake};
  TDebugBox2 console;
  std::vector<Dispatch> handled, commands;
  std::vector<Sender> senders;
  std::vector<std::string> lastWords;
};

TEST_F(Console, ParsingOfCommandLines) {
  struct Case {
    std::string line;
    std::vector<Dispatch> handled;  // what the registered handlers got
    std::string editTextAfter;      // "" when cleared
    bool commandEvent;              // OnCommand fired
  };
  const Case cases[] = {
      {"CON_COM:Show jukebox", {{"show", "jukebox"}}, "", true},
      {"load_main%20page.htm", {{"load_main", "page.htm"}}, "", true},
      {"\\\\con_com:c_c:cc:show x", {{"show", "x"}}, "", true},
      {"cc:c_c:show x", {{}}, "", true},  // prefixes come off only in their order
      {"c_c:CC:show a  b ", {{"show", "a  b "}}, "", true},
      {"exit  NOW", {{"exit", " NOW"}}, "", true},
      {"%20show x", {}, "%20show x", false},  // "%20" first: the line begins with a blank
      {" show x", {}, " show x", false},
      {";show x", {}, "", false},
      {"/show x", {}, "", false},
      {":show x", {}, "", false},
      {"con_com:;show", {}, "", false},
      {"", {}, "", false},
      {"con_com:", {}, "con_com:", false},
      {"show", {{"show", ""}}, "", true},
      {"SHOW x%20y%20", {{"show", "x y "}}, "", true},
      {"\\show x", {}, "", true},  // one backslash stays: no command of that name
  };
  for (const Case& c : cases) {
    handled.clear();
    commands.clear();
    console.Execute(c.line);
    std::vector<Dispatch> expected;
    for (const Dispatch& d : c.handled)
      if (!d.command.empty()) expected.push_back(d);
    EXPECT_EQ(handled, expected) << c.line;
    EXPECT_EQ(console.EditText(), c.editTextAfter) << c.line;
    EXPECT_EQ(!commands.empty(), c.commandEvent) << c.line;
  }
}

TEST_F(Console, DispatchRunsALineAsExecuteDoesButLeavesTheEditLineAlone) {
  // The same lines through both: the same handlers and events, and only
  // Execute goes through (and empties) what the reader is typing.
  for (const char* line :
       {"con_com:Show a%20b", "exit  NOW", "nothing here", ";show x", "", " show", "\\\\show x"}) {
    handled.clear();
    commands.clear();
    console.Execute(line);
    const std::vector<Dispatch> executedHandled = handled;
    const std::vector<Dispatch> executedCommands = commands;
    handled.clear();
    commands.clear();
    console.setEditText("half typed");
    console.Dispatch(line);
    EXPECT_EQ(handled, executedHandled) << line;
    EXPECT_EQ(commands, executedCommands) << line;
    EXPECT_EQ(console.EditText(), "half typed") << line;
  }
  EXPECT_EQ(fake.callsOf("info").size(), 2u);  // "nothing" is no command, once each way
}

TEST_F(Console, CommandEventGetsTheCommandAsWrittenAndTheWords) {
  console.Execute("CON_COM:Show jukebox");
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0], (Dispatch{"Show", "jukebox"}));
  console.Execute("exit  NOW");
  EXPECT_EQ(commands[1], (Dispatch{"exit", " NOW"}));
  EXPECT_EQ(lastWords, (std::vector<std::string>{"", "NOW"}));
  console.Execute("show a b ");
  EXPECT_EQ(lastWords, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(senders.back(), nullptr);
}

TEST_F(Console, UnknownCommandGoesToTheEventOrAnInformationBox) {
  console.Execute("frobnicate now");
  EXPECT_EQ(fake.textsOf("info"), (std::vector<std::string>{"Bad Command (frobnicate)"}));
  std::vector<Dispatch> bad;
  console.OnBadCommand = [&](Sender, const std::string& c, const std::string& p) { bad.push_back({c, p}); };
  console.Execute("Frobnicate now");
  EXPECT_EQ(bad, (std::vector<Dispatch>{{"Frobnicate", "now"}}));
  EXPECT_EQ(fake.textsOf("info").size(), 1u);
}

TEST_F(Console, InputPromptAsksAndLowerCasesTheAnswer) {
  SetApplicationTitle("Muj Casopis");
  fake.inputAnswers = {std::string("ANO Prosím"), std::nullopt};
  console.Execute("message input   Opravdu?  ");
  ASSERT_EQ(fake.callsOf("input").size(), 1u);
  EXPECT_EQ(fake.callsOf("input")[0].caption, "Muj Casopis");
  EXPECT_EQ(fake.callsOf("input")[0].text, "Opravdu?");
  console.Execute("message input");  // cancelled: the empty default
  EXPECT_EQ(handled, (std::vector<Dispatch>{{"message", "ano prosím"}, {"message", ""}}));
  console.Execute("message INPUT x");
  EXPECT_EQ(fake.callsOf("input").size(), 2u);
  EXPECT_EQ(handled.back(), (Dispatch{"message", "INPUT x"}));
  SetApplicationTitle("Pagemoor");
}

TEST_F(Console, ConsoleKeysCloseTheWindowAndRunNothing) {
  struct View : ConsoleView {
    int hidden = 0;
    std::string edit = "unset";
    void lineAdded(const std::string&) override {}
    void linesReplaced(const std::vector<std::string>&) override {}
    void setCaption(const std::string&) override {}
    void setEditText(const std::string& t) override { edit = t; }
    void setWindowGeometry(const ConsoleRect&) override {}
    void showWindow() override {}
    void hideWindow() override { ++hidden; }
    ConsoleRect screen() const override { return {0, 0, 800, 600}; }
  } view;
  console.setView(&view);
  for (char32_t key : {U'`', U'~', U';', U'\u00B0'}) {
    console.setEditText("show x");
    console.EditKeyPress(&view, key);
    EXPECT_EQ(console.EditText(), "");
    EXPECT_EQ(view.edit, "");
  }
  EXPECT_EQ(view.hidden, 4);
  EXPECT_TRUE(handled.empty());
  console.setEditText("show x");
  console.EditKeyPress(&view, U'a');  // any other key: nothing
  EXPECT_EQ(console.EditText(), "show x");
  console.EditKeyPress(&view, kEnterKey);
  EXPECT_EQ(senders.back(), &view);
  EXPECT_FALSE(console.Visible());
  console.setView(nullptr);
}

TEST_F(Console, RegistryKeepsOrderAndDuplicates) {
  std::vector<std::string> added;
  console.OnAddCommand = [&](Sender, const std::string& name) { added.push_back(name); };
  int second = 0;
  console.AddCommand("Show", "second show", [&](Sender, const std::string&) { ++second; });
  EXPECT_EQ(added, std::vector<std::string>{"Show"});
  EXPECT_EQ(console.CommandCount(), 5);
  EXPECT_EQ(console.CommandName(4), "show");
  EXPECT_EQ(console.CommandDescription(4), "second show");
  EXPECT_EQ(console.IndexOfCommand("SHOW"), 0);
  console.Execute("show");
  EXPECT_EQ(second, 0);  // the first registration wins
  console.RemoveCommand(0);
  EXPECT_EQ(console.IndexOfCommand("show"), 3);
  console.Execute("show");
  EXPECT_EQ(second, 1);
  console.RemoveCommand(99);  // ignored
  EXPECT_EQ(console.CommandName(99), "");
  EXPECT_FALSE(console.CommandHandler(-1));
  console.ClearCommands();
  EXPECT_EQ(console.CommandCount(), 0);
  EXPECT_EQ(console.IndexOfCommand("exit"), -1);
}

TEST_F(Console, ListCommandShowsOneBoxPerCommandInOrderItselfLast) {
  std::vector<std::string> order;
  console.OnInitialize = [&](Sender s) {
    EXPECT_EQ(s, nullptr);
    order.push_back("init");
    console.AddCommand("Play", "Prehraje hudbu", [](Sender, const std::string&) {});
  };
  console.setListCom("LIST all");
  EXPECT_EQ(console.ListCom(), "LIST");
  console.AddCommand("show", "duplicate", [](Sender, const std::string&) {});
  console.DoInitialize();
  EXPECT_EQ(order, std::vector<std::string>{"init"});
  console.Execute("list");
  EXPECT_EQ(
      fake.textsOf("info"),
      (std::vector<std::string>{"\"show\" - does show", "\"load_main\" - does load_main",
                                "\"exit\" - does exit", "\"message\" - does message", "\"show\" - duplicate",
                                "\"play\" - Prehraje hudbu", "\"list\" - Lists all console commands."}));
}

TEST_F(Console, LogLinesAndTimeStamps) {
  int added = 0;
  console.OnAdd = [&](Sender s) {
    EXPECT_EQ(s, nullptr);
    ++added;
  };
  console.setClock([] { return std::string("14:05:09"); });
  console.Log("System", "Initiate Console (MAIN)");
  console.AddLine("");
  console.setTimeStamp(true);
  console.Log("Sound", "Playing x");
  console.AddLine("plain");
  EXPECT_EQ(console.Lines(), (std::vector<std::string>{"System: Initiate Console (MAIN)", "",
                                                       "14:05:09 - Sound: Playing x", "14:05:09 - plain"}));
  EXPECT_EQ(added, 4);
}

TEST_F(Console, DestructionCallsOnDestroyFirstWhileTheLogStillWorks) {
  auto box = std::make_unique<TDebugBox2>();
  std::vector<std::string> seen;
  box->AddCommand("x", "", [](Sender, const std::string&) {});
  box->OnDestroy = [&, raw = box.get()](Sender) {
    raw->Log("System", "Closing Console");
    seen = raw->Lines();
    seen.push_back(std::to_string(raw->CommandCount()));
  };
  box.reset();
  EXPECT_EQ(seen, (std::vector<std::string>{"System: Closing Console", "1"}));
}

TEST_F(Console, HandlersMayRunCommandLinesThemselves) {
  console.AddCommand("twice", "", [this](Sender, const std::string& p) {
    console.Execute("show " + p);
    console.Execute("exit " + p);
  });
  console.Execute("twice now");
  EXPECT_EQ(handled, (std::vector<Dispatch>{{"show", "now"}, {"exit", "now"}}));
  EXPECT_EQ(console.EditText(), "");
}

TEST_F(Console, PropertiesPlaceTheWindow) {
  struct View : ConsoleView {
    std::vector<std::string> calls;
    ConsoleRect rect;
    void lineAdded(const std::string&) override {}
    void linesReplaced(const std::vector<std::string>&) override {}
    void setCaption(const std::string& c) override { calls.push_back("caption " + c); }
    void setEditText(const std::string&) override {}
    void setWindowGeometry(const ConsoleRect& r) override { rect = r; }
    void showWindow() override { calls.push_back("show"); }
    void hideWindow() override { calls.push_back("hide"); }
    ConsoleRect screen() const override { return {0, 0, 800, 600}; }
  } view;
  console.setView(&view);
  EXPECT_EQ(view.calls, std::vector<std::string>{"caption Debug Box"});
  struct Case {
    TPositions position;
    int x, y;
  };
  for (const Case& c : {Case{TPositions::poTopLeft, 0, 0}, Case{TPositions::poBottomLeft, 0, 400},
                        Case{TPositions::poTopRight, 550, 0}, Case{TPositions::poBottomRight, 550, 400}}) {
    console.setPosition(c.position);
    EXPECT_EQ(view.rect.x, c.x);
    EXPECT_EQ(view.rect.y, c.y);
  }
  console.setWidth(300);
  EXPECT_EQ(view.rect.x, 500);
  EXPECT_EQ(view.rect.width, 300);
  console.setHeight(100);
  EXPECT_EQ(view.rect.y, 500);
  view.calls.clear();
  console.setVisible(true);
  console.setVisible(true);
  console.setVisible(false);
  EXPECT_EQ(view.calls, (std::vector<std::string>{"hide", "show", "hide", "show", "hide"}));
  console.setCaption("Tarn-Console");
  EXPECT_EQ(view.calls.back(), "caption Tarn-Console");
  console.setView(nullptr);
}

TEST_F(Console, LoadFromFile) {
  TempFolder t;
  t.write("handover", "first\r\nsecond\nthird\r\n");
  console.Log("System", "old");
  console.LoadFromFile(t.file("handover"));
  EXPECT_EQ(console.Lines(), (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_THROW(console.LoadFromFile(t.file("missing")), ConsoleFileError);
  EXPECT_TRUE(console.Lines().empty());
}

TEST_F(Console, MirrorLogNameAndContent) {
  TempFolder t;
  test::ScopedEnv state("XDG_STATE_HOME", (t.path() + "my state").c_str());
  test::ScopedCommandLine commandLine("/media/cd/viewer.exe");
  EXPECT_EQ(console.MirrorLogPath(), t.path() + "my state/pagemoor/VIEWER_EXE_(Debug_Box).log");
  console.setCaption("Tarn Console Two");
  EXPECT_EQ(console.MirrorLogPath(), t.path() + "my state/pagemoor/VIEWER_EXE_(Tarn_Console Two).log");
  console.setCaption("Tarn-Console");
  console.OnAdd = [this](Sender) { console.SaveLog(); };
  console.Log("System", "Initiate Console (MAIN)");
  console.Log("Console", "Command Show: jukebox");
  EXPECT_EQ(t.read("my state/pagemoor/VIEWER_EXE_(Tarn-Console).log"),
            "System: Initiate Console (MAIN)\r\nConsole: Command Show: jukebox\r\n");
}


// --- A console destroyed by the line it runs --------------------------------

// The reading's "exit" destroys the console from inside a command line it is
// running, and an end signal can do so while a box it opened is up. The
// console must then touch nothing of itself; its window, which outlives it,
// hears nothing after being told the console has gone.
TEST(ConsoleLifetime, AConsoleDestroyedByTheLineItRunsFinishesNothingOfIt) {
  struct View : ConsoleView {
    bool gone = false;
    int callsAfterGone = 0;
    void note() { callsAfterGone += gone ? 1 : 0; }
    void lineAdded(const std::string&) override { note(); }
    void linesReplaced(const std::vector<std::string>&) override { note(); }
    void setCaption(const std::string&) override { note(); }
    void setEditText(const std::string&) override { note(); }
    void setWindowGeometry(const ConsoleRect&) override { note(); }
    void showWindow() override { note(); }
    void hideWindow() override { note(); }
    ConsoleRect screen() const override { return {0, 0, 800, 600}; }
    void consoleGone() override { gone = true; }
  };
  // Destroys the console when a box is up.
  struct BoxPlatform : FakePlatform {
    std::function<void()> onBox;
    void showInfo(const std::string& text) override {
      FakePlatform::showInfo(text);
      if (onBox) onBox();
    }
    std::optional<std::string> inputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& defaultText) override {
      if (onBox) onBox();
      return FakePlatform::inputBox(caption, prompt, defaultText);
    }
  };
  enum class Where { Handler, CommandEvent, BadCommandEvent, BadCommandBox, InputBox, ListBox };
  struct Case {
    const char* name;
    const char* line;
    Where where;
    std::vector<std::string> ran;  // what ran of the line, in order
  };
  const Case cases[] = {
      {"its handler", "exit now", Where::Handler, {"command exit", "exit"}},
      {"the command event", "exit now", Where::CommandEvent, {"command exit"}},
      {"the bad-command event", "nosuch", Where::BadCommandEvent, {"command nosuch", "bad nosuch"}},
      {"the bad-command box", "nosuch", Where::BadCommandBox, {"command nosuch"}},
      {"the input box", "exit input Really?", Where::InputBox, {}},
      {"a box of the list command", "list", Where::ListBox, {"command list"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BoxPlatform boxes;
    ScopedPlatform use(boxes);
    View view;
    auto console = std::make_unique<TDebugBox2>();
    std::vector<std::string> ran;
    const auto destroy = [&] { console.reset(); };
    console->AddCommand("exit", "", [&](Sender, const std::string&) {
      ran.push_back("exit");
      if (c.where == Where::Handler) destroy();
    });
    console->OnCommand = [&](Sender, const std::string& command, const std::string&,
                             const std::vector<std::string>&) {
      ran.push_back("command " + command);
      if (c.where == Where::CommandEvent) destroy();
    };
    if (c.where != Where::BadCommandBox) {
      console->OnBadCommand = [&](Sender, const std::string& command, const std::string&) {
        ran.push_back("bad " + command);
        if (c.where == Where::BadCommandEvent) destroy();
      };
    }
    if (c.where == Where::InputBox || c.where == Where::BadCommandBox || c.where == Where::ListBox)
      boxes.onBox = destroy;
    console->DoInitialize();
    console->setView(&view);

    console->Execute(c.line);

    EXPECT_EQ(console, nullptr);
    EXPECT_TRUE(view.gone);
    EXPECT_EQ(view.callsAfterGone, 0);
    EXPECT_EQ(ran, c.ran);
    // One box and no more: the list stopped with its console.
    if (c.where == Where::ListBox) {
      EXPECT_EQ(boxes.callsOf("info").size(), 1u);
    }
  }
}

// The program's log reaches the console while it lives, formatted and saved
// as the console's own lines are, and nothing of it once it has gone.
TEST(ConsoleLifetime, ASubscribedConsoleTakesTheProgramsLinesUntilItGoes) {
  LogSink sink;
  std::vector<std::string> seen;
  {
    TDebugBox2 console;
    console.setClock([] { return std::string("08:00:00"); });
    int added = 0;
    console.OnAdd = [&](Sender) { ++added; };
    console.subscribeTo(sink);
    console.Log("System", "own line");
    sink.Log("Mailer", "Send Success");
    console.setTimeStamp(true);
    sink.Log("ZIP", "Extract a to b");
    EXPECT_EQ(added, 3);
    seen = console.Lines();
    EXPECT_TRUE(sink.hasSubscribers());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"System: own line", "Mailer: Send Success",
                                            "08:00:00 - ZIP: Extract a to b"}));
  EXPECT_FALSE(sink.hasSubscribers());
  sink.Log("Mailer", "Not Connected");  // nobody listens: it goes nowhere
}

}  // namespace
}  // namespace pagemoor
