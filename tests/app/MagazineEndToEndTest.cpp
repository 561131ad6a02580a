// Small magazines that go wrong in the ways real ones do, read headless from
// start to end: the reader's clicks and typed commands come from the answer
// queue, and the mirror log and the boxes on standard error tell what the
// program did.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/FileIo.h"

#include "ProgramRun.h"

namespace pagemoor {
namespace {

using test::Read;

// A development-mode project: the program folder is the project folder.
class MagazineRun : public test::ProgramRunner {
 protected:
  void SetUp() override {
    t.write("prog/MAG.UNP", "[uniproject]\ndestination=pagemoor\nname=Chyby\n");
    t.write("prog/ini/main.ini", "[start]\nstart_command=run_script start.txt\nend_command=\n");
    t.write("prog/ini/panes.ini", "[html_main]\nvisible=true\nalign=client\n");
  }

  // Runs the magazine with the start script's lines and the reader's answers
  // until it ends by itself; the exit code.
  int read(const std::string& startScript, const std::string& answers) {
    t.write("prog/scripts/start.txt", startScript);
    return finish(start({"/develope"}, answers));
  }
};

// A mail server that takes the connection and never says a word: a listening
// socket on port 25 of a random loopback address that nobody accepts from.
class SilentMailServer {
 public:
  SilentMailServer() {
    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> octet(1, 254);
    m_address = "127." + std::to_string(octet(random)) + "." + std::to_string(octet(random)) + "." +
                std::to_string(octet(random));
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(25);
    ::inet_pton(AF_INET, m_address.c_str(), &a.sin_addr);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_fd, 4) != 0) {
      ::close(m_fd);
      m_fd = -1;
    }
  }
  ~SilentMailServer() {
    if (m_fd >= 0) ::close(m_fd);
  }
  SilentMailServer(const SilentMailServer&) = delete;
  SilentMailServer& operator=(const SilentMailServer&) = delete;

  bool listening() const { return m_fd >= 0; }
  const std::string& address() const { return m_address; }
  // True once a client has connected (within 30 s).
  bool waitForClient() const {
    pollfd p{m_fd, POLLIN, 0};
    return ::poll(&p, 1, 30000) == 1;
  }

 private:
  std::string m_address;
  int m_fd = -1;
};

// An end signal while the mail form waits for its server ends the reading at
// once: the wait is cancelled, the log is complete, and nothing writes to the
// console after it is gone (it was freed under the waiting form before).
TEST_F(MagazineRun, AnEndSignalDuringASendingEndsTheProgramAtOnce) {
  SilentMailServer server;
  if (!server.listening()) GTEST_SKIP() << "cannot listen on port 25 (needs root)";
  t.write("prog/scripts/start.txt", "");
  const pid_t pid = start({"/develope"}, "command:show mailer, server:" + server.address() + ", btnSend");
  ASSERT_TRUE(server.waitForClient()) << errors();
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  // The form's own time-out is a minute.
  int status = 0;
  ASSERT_TRUE(test::WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(10)))
      << errors();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << errors();
  const std::string log = mirrorLog();
  EXPECT_NE(log.find("System: Terminate No Ask"), std::string::npos) << log;
  EXPECT_NE(log.find("System: Shutdown Completed"), std::string::npos) << log;
}

// A start script of 300,000 lines ran for most of a minute with the end
// signals held back; now SIGTERM ends it between two of its lines.
TEST_F(MagazineRun, AnEndSignalStopsALongScriptMidway) {
  constexpr int kLines = 300000;
  std::string script;
  for (int i = 0; i < kLines; ++i) script += "play missing.wav\r\n";
  t.write("prog/scripts/start.txt", script);
  const pid_t pid = start({"/develope"}, "");
  ASSERT_TRUE(waitForLog("Sound: Playing missing.wav")) << errors();
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  int status = 0;
  ASSERT_TRUE(test::WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(5)))
      << errors();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << errors();
  const std::string log = mirrorLog();
  EXPECT_NE(log.find("System: Terminate No Ask"), std::string::npos) << log.substr(log.size() - 2000);
  std::size_t played = 0;
  for (auto at = log.find("Sound: Playing"); at != std::string::npos; at = log.find("Sound: Playing", at + 1))
    ++played;
  EXPECT_LT(played, static_cast<std::size_t>(kLines));
  // Nothing of the script runs after the ending's own lines.
  EXPECT_EQ(log.find("Sound: Playing", log.find("System: Terminate No Ask")), std::string::npos);
}

// With neither the runtime folder nor the temporary one usable there is no
// lock file and so no telling a second start from the first: the reading
// goes on, and its log says once that the check is off.
TEST_F(MagazineRun, AReadingWithoutASingleInstanceCheckSaysSo) {
  t.write("prog/scripts/start.txt", "");
  t.write("blocked", "");
  const int code =
      finish(start({"/develope"}, "command:exit now",
                   {"TEMP=" + t.file("blocked/tmp"), "XDG_RUNTIME_DIR=" + t.file("blocked/run")}));
  EXPECT_EQ(code, 0) << errors();
  const std::string log = mirrorLog();
  const std::string note = "System: Single-instance check off: cannot create " + t.file("blocked/tmp/");
  const auto at = log.find(note);
  EXPECT_NE(at, std::string::npos) << log;
  EXPECT_EQ(log.find("Single-instance", at + note.size()), std::string::npos) << log;
  EXPECT_NE(log.find("System: Shutdown Completed"), std::string::npos) << log;
}

TEST_F(MagazineRun, AMissingPageShowsTheErrorPageWhoseLinkEndsTheReading) {
  EXPECT_EQ(read("reset_main panes.ini\r\nload_main nothere.htm\r\n", "link:Opustit Program"), 0) << errors();
  const std::string log = mirrorLog();
  for (const char* line : {"Main: Loading nothere.htm", "Console: Command EXIT NOW",
                           "System: Terminate No Ask", "System: Shutdown Completed"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  EXPECT_NE(errors().find("[ui] reader: link: Opustit Program"), std::string::npos) << errors();
  // "exit now" asks nothing.
  EXPECT_EQ(errors().find("[ui] confirm:"), std::string::npos) << errors();
}

TEST_F(MagazineRun, AnUnregisteredCommandIsLoggedTwiceAndShownOnce) {
  EXPECT_EQ(read("", "command:foo bar, ok, command:exit now"), 0) << errors();
  const std::string log = mirrorLog();
  const auto command = log.find("Console: Command FOO BAR");
  const auto bad = log.find("Console: Bad Command (foo)");
  ASSERT_NE(command, std::string::npos) << log;
  ASSERT_NE(bad, std::string::npos) << log;
  EXPECT_LT(command, bad);
  EXPECT_NE(errors().find("[ui] info: Information: Spatny prikaz konzole"), std::string::npos) << errors();
}

// The template of the localisation file names what a translator can reach by
// name, the close buttons of the installer and the mail form among it.
TEST_F(MagazineRun, TheLocalisationTemplateReachesTheCloseButtons) {
  EXPECT_EQ(read("", "command:fill_custom_ini, command:exit now"), 0) << errors();
  const std::string custom = Read(t.file("prog/Custom.ini"));
  for (const char* entry : {"frmInstall.btnZavrit.Caption=Zav", "frmMailer.btnZavrit.Caption=Zav"})
    EXPECT_NE(custom.find(entry), std::string::npos) << entry << "\n" << custom;
}

TEST_F(MagazineRun, MissingPicturesAndSoundsAreSilent) {
  t.write("prog/texts/index.htm",
          "<html><body><img src=\"missing.gif\"><a href=\"nothing.wav\">Zvuk</a>"
          "<bgsound src=\"gone.wav\"></body></html>");
  EXPECT_EQ(read("reset_main panes.ini\r\nload_desktop missing.jpg\r\nload_top_image missing.gif\r\n"
                 "play missing.wav\r\nload_main index.htm\r\n",
                 "link:Zvuk, command:exit now"),
            0)
      << errors();
  const std::string log = mirrorLog();
  for (const char* line :
       {"Sound: Playing missing.wav", "Main: Loading index.htm", "Console: Command EXIT NOW"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  EXPECT_EQ(log.find("Exception"), std::string::npos) << log;
  EXPECT_EQ(errors().find("[ui] info:"), std::string::npos) << errors();
  EXPECT_EQ(errors().find("[ui] error:"), std::string::npos) << errors();
}

// A magazine starts its program or opens its file only after the reader's yes,
// asked once per file as an ordinary Yes/No box; with no answer left the box
// says no. Other schemes and files elsewhere never go out, whatever the reader
// answers.
TEST_F(MagazineRun, ProgramsAndFilesGoOutOnlyAfterTheReadersYes) {
  t.write("prog/docs/readme.txt", "hi");
  t.write("prog/docs/other.txt", "hi");
  t.write("prog/tools/tool.exe", "MZ");
  t.write("prog/bin/wine", "#!/bin/sh\nexit 0\n");
  ASSERT_EQ(::chmod(t.file("prog/bin/wine").c_str(), 0755), 0);
  searchPath = t.file("prog/bin") + ":/usr/bin:/bin";
  t.write("prog/texts/index.htm",
          "<html><body><a href=\"../tools/tool.exe -x\">Program</a> "
          "<a href=\"x-evil://run?http:\">Evil</a></body></html>");
  t.write("prog/scripts/end.txt", "shell_execute docs/other.txt\r\nexit now\r\n");
  EXPECT_EQ(read("reset_main panes.ini\r\nshell_execute file:///usr/bin/id\r\nshell_execute ssh://host/\r\n"
                 "shell_execute docs/readme.txt\r\nshell_execute DOCS\\README.TXT\r\nload_main index.htm\r\n",
                 "no, link:Program, yes, link:Program, link:Evil, command:run_script end.txt"),
            0)
      << errors();

  const std::string prog = test::Real(t.file("prog")) + "/";
  const std::string err = errors();
  const auto count = [&](const std::string& text) {
    std::size_t n = 0;
    for (auto at = err.find(text); at != std::string::npos; at = err.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("[ui] confirm: Confirm: Casopis chce otevrit soubor " + prog +
                  "docs/readme.txt programem, ktery k nemu patri. Povolit?\n"),
            1u)
      << err;
  EXPECT_EQ(count("[ui] confirm: Confirm: Casopis chce spustit program " + prog +
                  "tools/tool.exe s parametry -x. Povolit?\n"),
            1u)
      << err;
  EXPECT_EQ(count("[ui] confirm: Confirm: Casopis chce otevrit soubor " + prog + "docs/other.txt"), 1u) << err;
  EXPECT_EQ(count("[ui] confirm:"), 3u) << err;
  EXPECT_EQ(count("[ui] shell: start: wine '" + prog + "tools/tool.exe' -x\n"), 2u) << err;
  EXPECT_EQ(count("[ui] shell: open:"), 0u) << err;
  EXPECT_EQ(count("[ui] error:"), 0u) << err;

  const std::string log = mirrorLog();
  const std::string refused = "Shell: Refused (only http, https, mailto and ftp addresses go out): ";
  for (const std::string& line :
       {refused + "file:///usr/bin/id", refused + "ssh://host/",
        "Shell: The reader refused: " + prog + "docs/readme.txt",
        "Shell: Not started, the reader said no: " + prog + "docs/readme.txt",
        "Shell: The reader allowed: " + prog + "tools/tool.exe -x",
        "Shell: The reader refused: " + prog + "docs/other.txt", std::string("System: Shutdown Completed")})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  EXPECT_EQ(log.find("System: Minimize"), std::string::npos) << "nothing went out: " << log;
}

TEST_F(MagazineRun, ABadCursorInTheButtonFileEndsTheResetWithoutButtons) {
  t.write("prog/ini/buttons.ini", "[1]\ncommand=message one\ncursor=hand\n");
  EXPECT_EQ(read("reset_buttons buttons.ini\r\n", "button:1, command:exit now"), 0) << errors();
  const std::string log = mirrorLog();
  // The script ends silently at the failing line: the error never reaches
  // the application's log, and no button exists to be clicked.
  EXPECT_NE(log.find("System: Reset Buttons (buttons.ini)"), std::string::npos) << log;
  EXPECT_EQ(log.find("System: Reset Complete"), std::string::npos) << log;
  EXPECT_NE(errors().find("[ui] error: no image button 1"), std::string::npos) << errors();
  // Typed by the reader, the same failure goes to the application's log.
  t.write("prog/scripts/start.txt", "");
  EXPECT_EQ(finish(start({"/develope"}, "command:reset_buttons buttons.ini, command:exit now")), 0)
      << errors();
  EXPECT_NE(mirrorLog().find("System: Exception "), std::string::npos) << mirrorLog();
}

// The demo magazine as a reader goes through it: unpacked from its data
// package, links followed by the words they show, a script, the slideshow,
// the jukebox, an image button, and the way out with the farewell question.
class DemoRun : public test::ProgramRunner {
 protected:
  void SetUp() override {
    for (const char* name : {"DEMO.UNP", "DEMO.ZIP"}) {
      const auto bytes = ReadFileBytes(std::string(PAGEMOOR_DEMO_DIR) + "/" + name);
      ASSERT_TRUE(bytes) << name;
      t.write(std::string("prog/") + name, *bytes);
    }
  }

  // True when the lines occur in the log in this order (others between them).
  static ::testing::AssertionResult InOrder(const std::string& log, const std::vector<std::string>& lines) {
    std::size_t at = 0;
    for (const std::string& line : lines) {
      const auto found = log.find(line, at);
      if (found == std::string::npos)
        return ::testing::AssertionFailure() << "\"" << line << "\" not found after offset " << at << "\n"
                                             << log;
      at = found + line.size();
    }
    return ::testing::AssertionSuccess();
  }
};

TEST_F(DemoRun, AReaderGoesThroughTheDemoAndLeavesNothingBehind) {
  const std::string answers =
      "project:Pagemoor Demo, link:Every kind of link, link:Gallery (4 pictures), click, click, click, click,"
      "link:Take the tour, key:;, link:Jukebox, close, button:1, back:main, link:Exit, yes";
  const pid_t pid = start({}, answers);
  EXPECT_EQ(finish(pid), 0) << errors();
  const std::string log = mirrorLog();
  EXPECT_TRUE(InOrder(
      log,
      {"System: Initiate Console (LAUNCHER)", "System: Initiate Console (MAIN)",
       "Console: Command added (SHOW)", "Console: Command added (LOAD_MUSIC_LIST)",
       "Console: Command added (LIST)", "System: Starting \"Pagemoor Demo\"", "System: Running Script",
       "System: Reset Buttons (buttons.ini)", "System: Reset Complete", "Main: Loading index.htm",
       "System: Ending Script",
       // The reader's way through.
       // A page link the pane follows itself, logged when it is shown.
       "Main: features.htm", "Console: Command SLIDESHOW FILE GALLERY.TXT", "Slideshow: file gallery.txt",
       "Console: Command RUN_SCRIPT TOUR.TXT", "Sound: Playing jingle.wav", "Console: Command TOGGLE_CONSOLE",
       "System: Ending Script", "Console: Command SHOW CP",
       // Image button 1, then a right click going back.
       "Console: Command RUN_SCRIPT ENGLISH.TXT", "Main: Loading index.htm", "Console: Command GO_BACK_MAIN",
       "Console: Command EXIT",
       // The end command, after the farewell question.
       "Console: Command PLAY JINGLE.WAV", "System: Terminate No Ask", "System: Shutdown Completed"}));
  EXPECT_EQ(log.find("Exception"), std::string::npos) << log;
  EXPECT_EQ(log.find("Bad Command"), std::string::npos) << log;
  const std::string err = errors();
  EXPECT_EQ(err.find("[ui] error:"), std::string::npos) << err;
  EXPECT_NE(err.find("[ui] modal: frmPV:"), std::string::npos) << err;
  EXPECT_NE(err.find("[ui] modal: Plinq_Main:"), std::string::npos) << err;
  // The farewell question is one of end.ini's lines.
  EXPECT_NE(err.find("[ui] confirm: Confirm: "), std::string::npos) << err;
  EXPECT_FALSE(test::Exists(projectFolder()));
}

// The music starts by itself and a link plays another tune: SDL's disk
// driver writes what would have been heard. "exit now" asks nothing.
TEST_F(DemoRun, TheMusicIsHeardAndExitNowEndsWithoutAQuestion) {
  nullAudio = false;
  const std::string heard = t.file("heard.raw");
  const pid_t pid = start({}, "project:Pagemoor Demo, wait:1500, link:Play Lantern, wait:1500, command:exit now",
                          {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + heard});
  EXPECT_EQ(finish(pid), 0) << errors();
  EXPECT_TRUE(InOrder(mirrorLog(), {"Sound: LoadList (music.m3u)", "Console: Command PLAY LANTERN.MOD",
                                    "Sound: Play lantern.mod", "Console: Command EXIT NOW",
                                    "System: Terminate No Ask", "System: Shutdown Completed"}));
  EXPECT_EQ(errors().find("[ui] confirm:"), std::string::npos) << errors();
  // Not silence: some of what was written is well away from zero.
  const std::string bytes = Read(heard);
  ASSERT_GT(bytes.size(), 4096u);
  std::size_t loud = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto sample = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (sample > 1000 || sample < -1000) ++loud;
  }
  EXPECT_GT(loud, bytes.size() / 20) << "the written sound is (almost) silent";
  EXPECT_FALSE(test::Exists(projectFolder()));
}

}  // namespace
}  // namespace pagemoor
