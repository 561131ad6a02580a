// An end signal while the mail form waits for its server: the reading ends
// and its console is destroyed inside the wait, and the sending that then
// fails logs its failure after the console has gone. The program ends as
// every end signal ends it, and the log file keeps what the reading wrote.
#include <gtest/gtest.h>

#include <string>

#include "FakeSmtpServer.h"
#include "ProgramRun.h"

namespace pagemoor {
namespace {

using test::Read;
using test::WaitFor;

class ProgramEndDuringSending : public test::ProgramRunner {
 protected:
  void SetUp() override {
    t.write("prog/MAG.UNP", "[uniproject]\ndestination=pagemoor\nname=Zpravodaj 3/1999\n");
    // The mail form opens with the reading, before its message loop runs.
    t.write("prog/ini/main.ini", "[start]\nstart_command=show mailer\nend_command=\n");
    t.write("prog/ini/contacts.ini", "[common]\ncount=1\n[1]\nfirstname=Eva\nlastname=Malá\nmail=eva@example.cz\n");
  }
};

TEST_F(ProgramEndDuringSending, TheFailureLoggedAfterTheConsoleWentGoesNowhere) {
  auto smtp = test::FakeSmtpServerOnPort25();
  if (!smtp->listening()) GTEST_SKIP() << smtp->error();
  // The server takes the connection and never greets: the form waits in Connect.
  smtp->greet(std::nullopt);
  const pid_t pid = start({"/develope"}, "contact:Eva Malá, from:ctenar@example.cz, subject:Ahoj, server:" +
                                             smtp->address() + ", body:Dobry den, btnSend, close");
  ASSERT_TRUE(WaitFor([&] { return smtp->connections() > 0; })) << errors() << mirrorLog();
  ASSERT_TRUE(logHas("Console: Command SHOW MAILER")) << mirrorLog();

  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  EXPECT_EQ(finish(pid), 0) << errors();
  const std::string log = mirrorLog();
  // The reading's closing lines are the last: the failure of the sending
  // came after them and went to no console.
  const std::string last = "System: Shutdown Completed\r\n";
  ASSERT_GE(log.size(), last.size()) << log;
  EXPECT_EQ(log.substr(log.size() - last.size()), last) << log;
  EXPECT_NE(log.find("System: Terminate No Ask"), std::string::npos) << log;
  EXPECT_EQ(log.find("Mailer: Not Connected"), std::string::npos) << log;
  // Nothing went wrong on the way out (a sanitiser or the C library would say so here).
  EXPECT_EQ(errors().find("ERROR"), std::string::npos) << errors();
  EXPECT_EQ(errors().find("double free"), std::string::npos) << errors();
  EXPECT_NE(errors().find("[ui] modal: frmMailer: Pagemoor Mailer"), std::string::npos) << errors();
}

}  // namespace
}  // namespace pagemoor
