#include "platform/ForwardingPlatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/AnswerQueue.h"
#include "platform/ScriptedPlatform.h"
#include "support/FakePlatform.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::PlatformCall;

// The wrapped platform: the fake, with a lock problem to report as well.
class InnerPlatform : public FakePlatform {
 public:
  std::string singleInstanceProblem() const override { return "no lock folder"; }
};

class NamedWindow : public ModalWindow {
 public:
  std::string modalName() const override { return "frmNamed"; }
  std::string modalCaption() const override { return "Named"; }
  int execModal() override { return 0; }
};

// What the wrapped platform recorded, read through the wrapper.
const FakePlatform& Inner(Platform& wrapper) {
  return static_cast<const FakePlatform&>(static_cast<ForwardingPlatform&>(wrapper).inner());
}

std::string Text(const std::optional<std::string>& value) {
  return value ? *value : "(none)";
}

std::string Text(const std::optional<FileDialogResult>& value) {
  return value ? value->path + "#" + std::to_string(value->filterIndex) : "(none)";
}

struct ForwardCase {
  const char* name;
  // Makes the request and returns its answer as text.
  std::function<std::string(Platform&)> request;
  // The call the wrapped platform records (kind empty: none is recorded as a call).
  PlatformCall recorded;
  // The answer that must come back: the wrapped platform's, never a default of the wrapper.
  std::string answer;
  // ScriptedPlatform passes it on too (it answers boxes, dialogs, modal
  // windows and the shell itself).
  bool scriptedPassesOn;
};

std::vector<ForwardCase> Cases() {
  return {
      {"info", [](Platform& p) { p.showInfo("Saved"); return std::string(); }, {"info", "Information", "Saved"},
       "", false},
      {"message", [](Platform& p) { p.showMessage("Mag", "Hello"); return std::string(); },
       {"message", "Mag", "Hello"}, "", false},
      {"confirm", [](Platform& p) { return std::to_string(p.askYesNo("Quit?")); }, {"confirm", "Confirm", "Quit?"},
       "1", false},
      {"confirm default no", [](Platform& p) { return std::to_string(p.askYesNoDefaultNo("Run?")); },
       {"confirm", "Confirm", "Run?"}, "1", false},
      {"input", [](Platform& p) { return Text(p.inputBox("Name", "Your name", "anon")); },
       {"input", "Name", "Your name"}, "typed", false},
      {"open", [](Platform& p) { return Text(p.openFileDialog({"Open", "All|*.*", "", "", "", 1})); },
       {"open", "Open", "All|*.*"}, "in.txt#2", false},
      {"save", [](Platform& p) { return Text(p.saveFileDialog({"Save", "Text|*.txt", "", "", "", 1})); },
       {"save", "Save", "Text|*.txt"}, "out.txt#1", false},
      {"folder", [](Platform& p) { return Text(p.folderDialog("Where", "/tmp")); }, {"folder", "Where", "/tmp"},
       "/data", false},
      {"modal",
       [](Platform& p) {
         NamedWindow window;
         return std::to_string(p.showModal(window));
       },
       {"modal", "frmNamed", "Named"}, "7", false},
      {"open document", [](Platform& p) { return std::to_string(p.openDocument("http://example.org")); },
       {"shell-open", "", "http://example.org"}, "0", false},
      {"start program", [](Platform& p) { return std::to_string(p.startProgram("tool --x", "/work")); },
       {"shell-start", "", "tool --x"}, "0", false},
      {"registry write and read",
       [](Platform& p) {
         p.writeRegistryValue("HKEY_CURRENT_USER", "Software\\Mag", "Path", "C:\\mag");
         return p.readRegistryValue("HKEY_CURRENT_USER", "Software\\Mag", "path");
       },
       {"reg-read", "HKEY_CURRENT_USER\\Software\\Mag", "path"}, "C:\\mag", true},
      {"registry delete",
       [](Platform& p) {
         p.deleteRegistryValue("HKEY_CURRENT_USER", "Software\\Mag", "Path");
         return std::string();
       },
       {"reg-delete", "HKEY_CURRENT_USER\\Software\\Mag", "Path"}, "", true},
      {"registry key",
       [](Platform& p) {
         p.createRegistryKey("HKEY_LOCAL_MACHINE", "SOFTWARE\\Mag");
         return std::string();
       },
       {"reg-create", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Mag", ""}, "", true},
      {"instance", [](Platform& p) { return std::to_string(p.isAlreadyRunning("Mag")); }, {"instance", "", "Mag"},
       "1", true},
      {"instance problem", [](Platform& p) { return p.singleInstanceProblem(); }, {}, "no lock folder", true},
      {"remote post",
       [](Platform& p) {
         const bool sent = p.postRemoteMessage("Pagemoor Core", 1025);
         const auto& posts = Inner(p).remotePosts;
         return std::to_string(sent) + " " + (posts.empty() ? "-" : posts.back().first);
       },
       {}, "0 Pagemoor Core", true},
      {"remote listen",
       [](Platform& p) {
         int heard = 0;
         const bool listening = p.listenForRemoteMessages("pagemoor", [&heard](int message) { heard = message; });
         if (Inner(p).remoteHandler) Inner(p).remoteHandler(1026);
         return std::to_string(listening) + " " + Inner(p).remoteListenName + " " + std::to_string(heard);
       },
       {}, "0 pagemoor 1026", true},
      {"events",
       [](Platform& p) {
         p.processEvents();
         p.sleepAndProcessEvents(4);
         return std::to_string(Inner(p).processEventsCount) + " " + std::to_string(Inner(p).sleptMilliseconds);
       },
       {}, "2 4", true},
  };
}

// Every answer differs from what the wrapper or a facet would answer on its own.
void Program(InnerPlatform& inner) {
  inner.yesNoAnswers = {true};
  inner.defaultYesNo = false;
  inner.inputAnswers = {std::string("typed")};
  inner.openAnswers = {FileDialogResult{"in.txt", 2}};
  inner.saveAnswers = {FileDialogResult{"out.txt", 1}};
  inner.folderAnswers = {std::string("/data")};
  inner.modalResults = {7};
  inner.shellResult = false;
  inner.alreadyRunning = true;
  inner.remotePostResult = false;
  inner.remoteListenResult = false;
}

void ExpectReached(const ForwardCase& c, const InnerPlatform& inner, const std::string& answer) {
  EXPECT_EQ(answer, c.answer);
  if (!c.recorded.kind.empty()) {
    ASSERT_FALSE(inner.calls.empty());
    EXPECT_EQ(inner.calls.back(), c.recorded);
  }
}

TEST(ForwardingPlatformTest, EveryRequestReachesTheWrappedPlatformAndBringsItsAnswerBack) {
  for (const ForwardCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    InnerPlatform inner;
    Program(inner);
    ForwardingPlatform wrapper(inner);
    ExpectReached(c, inner, c.request(wrapper));
  }
  InnerPlatform inner;
  ForwardingPlatform wrapper(inner);
  EXPECT_EQ(wrapper.scriptedAnswers(), nullptr);
  AnswerQueue queue("yes");
  inner.answers = &queue;
  EXPECT_EQ(wrapper.scriptedAnswers(), &queue);
}

TEST(ForwardingPlatformTest, TheScriptedPlatformPassesOnWhatIsNoBox) {
  for (const ForwardCase& c : Cases()) {
    if (!c.scriptedPassesOn) continue;
    SCOPED_TRACE(c.name);
    InnerPlatform inner;
    Program(inner);
    std::ostringstream err;
    ScriptedPlatform scripted(inner, AnswerQueue(""), err);
    ExpectReached(c, inner, c.request(scripted));
    EXPECT_TRUE(err.str().empty()) << "not a box: " << err.str();
  }
}

// A platform that only says how to process events.
class CountingLoop : public EventLoop {
 public:
  void processEvents() override { ++events; }
  int events = 0;
};

TEST(EventLoopTest, TheDefaultSleepSleepsThenProcessesTheEventsOnce) {
  CountingLoop loop;
  loop.sleepAndProcessEvents(0);
  EXPECT_EQ(loop.events, 1);
  const auto before = std::chrono::steady_clock::now();
  loop.sleepAndProcessEvents(20);
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(20));
  EXPECT_EQ(loop.events, 2);
  loop.sleepAndProcessEvents(-5);
  EXPECT_EQ(loop.events, 3);
}

}  // namespace
}  // namespace pagemoor
