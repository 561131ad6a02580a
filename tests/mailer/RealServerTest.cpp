// The client against a real SMTP server: Debian's aiosmtpd, started by the
// test with a small handler of ours that writes each message it receives
// (envelope, raw data, and the parts as Python's email package decodes them)
// to a folder. The decoding is Python's, not ours.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "mailer/QzSMTP.h"
#include "support/OutsideTools.h"
#include "support/TempFolder.h"

extern char** environ;

namespace pagemoor {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

constexpr const char* kHandler = R"(import email
import email.policy
import os


class Saver:
    """Writes each message to a numbered folder."""

    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    @classmethod
    def from_cli(cls, parser, folder):
        return cls(folder)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        out = os.path.join(self.folder, str(self.count))
        os.makedirs(out)

        def put(name, data):
            with open(os.path.join(out, name), "wb") as f:
                f.write(data if isinstance(data, bytes) else data.encode("utf-8"))

        put("mail_from", envelope.mail_from)
        put("rcpt_tos", "\n".join(envelope.rcpt_tos))
        put("data", envelope.original_content)
        msg = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        put("subject", str(msg["subject"]))
        put("from", "|".join(a.display_name + "<" + a.addr_spec + ">" for a in msg["from"].addresses))
        put("to", "|".join(a.display_name + "<" + a.addr_spec + ">" for a in msg["to"].addresses))
        put("defects", "\n".join(str(d) for p in msg.walk() for d in p.defects))
        for part in msg.walk():
            if part.is_multipart():
                continue
            if part.get_filename():
                put("attachment", part.get_payload(decode=True))
                put("attachment_name", part.get_filename())
            else:
                put("text", part.get_payload(decode=True))
                put("text_charset", part.get_content_charset() or "")
        return "250 Message accepted for delivery"
)";

bool PythonHasAiosmtpd() {
  const std::string command = std::string(kPython) + " -c 'import aiosmtpd' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

bool Accepts(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

// aiosmtpd on a loopback port, with its output in the test folder; stopped
// at the end of the scope.
class AiosmtpdServer {
 public:
  AiosmtpdServer(const test::TempFolder& temp, const std::string& mailFolder)
      : m_port(FreePort()), m_log(temp.file("server.log")) {
    temp.write("pagemoor_mail_saver.py", kHandler);
    const std::string listen = "127.0.0.1:" + std::to_string(m_port);
    std::vector<std::string> args = {
        kPython, "-m", "aiosmtpd", "-n", "-l", listen, "-c", "pagemoor_mail_saver.Saver", mailFolder};
    std::vector<std::string> env = {"PYTHONPATH=" + temp.path(), "PYTHONDONTWRITEBYTECODE=1"};
    for (char** e = environ; *e; ++e)
      if (!std::string(*e).starts_with("PYTHONPATH=")) env.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    for (std::string& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawn(&m_pid, kPython, &actions, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~AiosmtpdServer() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
  }
  AiosmtpdServer(const AiosmtpdServer&) = delete;
  AiosmtpdServer& operator=(const AiosmtpdServer&) = delete;

  std::uint16_t port() const { return m_port; }

  // True once the server takes connections; false when it ended or never came up.
  bool waitUntilReady() {
    for (int i = 0; i < 1500 && m_pid > 0; ++i) {
      if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
        m_pid = -1;
        return false;
      }
      if (Accepts(m_port)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

 private:
  pid_t m_pid = -1;
  std::uint16_t m_port;
  std::string m_log;
};

std::string Unix(std::string text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}

TEST(RealServer, DeliversACzechMailWithCopiesAndAnAttachment) {
  REQUIRE_OUTSIDE_TOOL(PythonHasAiosmtpd(), std::string(kPython) + " cannot import aiosmtpd");
  test::TempFolder temp;
  const std::string mail = temp.file("mail");
  AiosmtpdServer server(temp, mail);
  ASSERT_TRUE(server.waitUntilReady()) << temp.read("server.log");

  std::string attachment;
  for (int i = 0; i < 1000; ++i) attachment += static_cast<char>((i * 131) ^ (i >> 3));
  const std::string subject = "Dotaz k číslu 12 – příliš žluťoučký kůň úpěl ďábelské ódy a ještě něco navíc";
  const std::string longLine =
      "Příliš žluťoučký kůň úpěl ďábelské ódy, a to hned několikrát za sebou, aby řádek byl dlouhý.";

  TQzSMTP smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = server.port();
  smtp.TimeOut = 10000;  // a server that hangs fails the test instead of holding it
  smtp.UserID = "pagemoor.test";
  smtp.Charset = "iso-8859";
  TPostMessage& m = smtp.PostMessage;
  m.FromName = "Čtenář Časopisu";
  m.FromAddress = "reader@pagemoor.test";
  m.ToAddress = {"Jana Nováková <jana@example.test>", "petr@example.test"};
  m.ToCarbonCopy = {"cc@example.test"};
  m.ToBlindCarbonCopy = {"hidden@example.test"};
  m.Subject = subject;
  m.LocalProgram = "Pagemoor";
  m.Date = "Thu, 10 Dec 2026 12:00:00 +0000";
  m.Body = {"Dobrý den,", ".", ".tečka na začátku", longLine, "", "S pozdravem"};
  m.Attachments = {temp.write("data.bin", attachment)};

  smtp.Connect();
  smtp.SendMail();
  EXPECT_EQ(smtp.LastReply, "250 Message accepted for delivery\r\n");
  smtp.Disconnect();

  EXPECT_EQ(temp.read("mail/1/mail_from"), "reader@pagemoor.test");
  EXPECT_EQ(temp.read("mail/1/rcpt_tos"),
            "jana@example.test\npetr@example.test\ncc@example.test\nhidden@example.test");

  const std::string data = temp.read("mail/1/data");
  const std::string header = data.substr(0, data.find("\r\n\r\n") + 2);
  EXPECT_EQ(header.find("hidden@"), std::string::npos);
  EXPECT_NE(header.find("\r\nTo: =?UTF-8?B?SmFuYSBOb3bDoWtvdsOh?= <jana@example.test>,petr@example.test\r\n"),
            std::string::npos);
  EXPECT_NE(header.find("\r\nCC: cc@example.test\r\nSubject: =?UTF-8?B?"), std::string::npos);
  EXPECT_NE(
      header.find("\r\nX-Mailer: Pagemoor\r\nDate: Thu, 10 Dec 2026 12:00:00 +0000\r\nMime-Version: 1.0\r\n"
                  "Content-Type: multipart/mixed; boundary=\"===================="),
      std::string::npos);
  EXPECT_EQ(data.find("iso-8859"), std::string::npos);
  // The lone "." went through doubled and came back single.
  EXPECT_NE(data.find("\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\nDobr=C3=BD den,\r\n.\r\n.te"),
            std::string::npos);

  EXPECT_EQ(temp.read("mail/1/defects"), "");
  EXPECT_EQ(temp.read("mail/1/subject"), subject);
  EXPECT_EQ(temp.read("mail/1/from"), "Čtenář Časopisu<reader@pagemoor.test>");
  EXPECT_EQ(temp.read("mail/1/to"), "Jana Nováková<jana@example.test>|<petr@example.test>");
  EXPECT_EQ(temp.read("mail/1/text_charset"), "utf-8");
  // The line end before a boundary belongs to the boundary.
  EXPECT_EQ(Unix(temp.read("mail/1/text")),
            "Dobrý den,\n.\n.tečka na začátku\n" + longLine + "\n\nS pozdravem");
  EXPECT_EQ(temp.read("mail/1/attachment_name"), "data.bin");
  EXPECT_EQ(temp.read("mail/1/attachment"), attachment);
}

// The mail form leaves UserID empty: the greeting then names this machine,
// since a server that keeps to the rules refuses a HELO without a name.
TEST(RealServer, AcceptsTheGreetingWithoutAUserId) {
  REQUIRE_OUTSIDE_TOOL(PythonHasAiosmtpd(), std::string(kPython) + " cannot import aiosmtpd");
  test::TempFolder temp;
  AiosmtpdServer server(temp, temp.file("mail"));
  ASSERT_TRUE(server.waitUntilReady()) << temp.read("server.log");

  TQzSMTP smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = server.port();
  smtp.TimeOut = 10000;
  EXPECT_FALSE(TQzSMTP::GreetingName().empty());
  smtp.PostMessage.FromAddress = "reader@pagemoor.test";
  smtp.PostMessage.ToAddress = {"redakce@example.test"};
  smtp.PostMessage.Subject = "Pozdrav";
  smtp.PostMessage.Body = {"Ahoj"};
  ASSERT_NO_THROW(smtp.Connect()) << smtp.LastReply;
  smtp.SendMail();
  smtp.Disconnect();
  EXPECT_EQ(temp.read("mail/1/rcpt_tos"), "redakce@example.test");
}

}  // namespace
}  // namespace pagemoor
