#include "mailer/Powersock.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <netdb.h>
#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "FakeSmtpServer.h"
#include "HookPlatform.h"

namespace pagemoor {
namespace {

using test::FakeSmtpServer;
using test::ScriptedReply;

TEST(SocketErrors, TableTextsAndUnknownCodes) {
  const std::pair<int, std::string> cases[] = {
      {10061, "10061:Connection refused"},
      {10035, "10035:Operation would block"},
      {10065, "10065:No route to Host"},
      {10093, "10093:Successful WSAStartup not yet performed"},
      {11003, "11003:Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
      {11004, "11004:Valid name, no data record of requested type"},
      {10001, "Unknown Error No. 10001"},
      {0, "Unknown Error No. 0"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(SocketErrorText(code), text);
}

TEST(SocketErrors, SystemCodesMapToTheTable) {
  const std::pair<int, int> errnoCases[] = {
      {ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},   {EHOSTUNREACH, 10065}, {ECONNRESET, 10054},
      {EPIPE, 10058},        {ESHUTDOWN, 10058},   {ENOTCONN, 10057},     {EAGAIN, 10035},
      {EWOULDBLOCK, 10035},  {EINPROGRESS, 10036}, {EINTR, 10004},        {EREMOTE, 10071},
      {EMFILE, 10024},       {ENOTEMPTY, 10066},
  };
  for (const auto& [err, code] : errnoCases) EXPECT_EQ(SocketErrorCodeFromErrno(err), code) << err;
  // Not a socket error: no table code, so it is never raised.
  EXPECT_LE(SocketErrorCodeFromErrno(ENOMEM), 10000);

  const std::pair<int, int> lookupCases[] = {
      {EAI_NONAME, 11001}, {EAI_AGAIN, 11002}, {EAI_FAIL, 11003}, {EAI_NODATA, 11004}};
  for (const auto& [err, code] : lookupCases) EXPECT_EQ(SocketErrorCodeFromLookup(err), code) << err;
}

TEST(Powersock, StartupInfoNamesTheSocketLayer) {
  TPowersock sock;
  const std::vector<std::string>& info = sock.StartupInfo();
  const std::vector<std::string> prefixes = {
      "Version= ", "High Version= ", "Description= ", "System= ", "Max Sockets= ", "Max Udp pack size= "};
  ASSERT_EQ(info.size(), prefixes.size());
  for (std::size_t i = 0; i < info.size(); ++i) {
    EXPECT_TRUE(info[i].starts_with(prefixes[i])) << info[i];
    EXPECT_GT(info[i].size(), prefixes[i].size()) << info[i];
  }
  EXPECT_EQ(info[5], "Max Udp pack size= 65507");
}

// A socket aimed at a fresh fake server, with every status and event logged.
class PowersockTest : public ::testing::Test {
 protected:
  PowersockTest() {
    sock.Host = "127.0.0.1";
    sock.Port = server.port();
    sock.ReportLevel = 8;
    sock.OnStatus = [this](TPowersock&, const std::string& s) { statuses.push_back(s); };
    sock.OnDisconnect = [this](TPowersock&) { events.push_back("disconnect"); };
    sock.OnSocketConnect = [this](TPowersock&) { events.push_back("connect"); };
    sock.OnConnectionFailed = [this](TPowersock&) { events.push_back("failed"); };
    sock.OnHostResolved = [this](TPowersock&) { events.push_back("resolved"); };
  }

  bool hasStatus(const std::string& s) const {
    return std::find(statuses.begin(), statuses.end(), s) != statuses.end();
  }
  // The message of the MailError `f` raises; "" when it raises none.
  template <typename F>
  std::string errorOf(F f) {
    try {
      f();
    } catch (const MailError& e) {
      return e.what();
    }
    return "";
  }

  // The logs outlive the socket: it reports "Destroy" as it goes.
  std::vector<std::string> statuses;
  std::vector<std::string> events;
  FakeSmtpServer server;
  TPowersock sock;
};

TEST_F(PowersockTest, TransactionKeepsTheReplyAndItsNumber) {
  const std::pair<std::string, int> cases[] = {
      {"250 OK\r\n", 250}, {"354-more\r\n", 354},       {"hello\r\n", 0},         {"\r\n", 0},
      {"-5 x\r\n", 0},     {"99999 wraps\r\n", -31073}, {"12345678901\r\n", 722},  // ten digits at most:
                                                                                   // 1234567890 in 16 bits
  };
  for (const auto& [reply, number] : cases) server.reply("NOOP", {reply});
  sock.Connect();
  EXPECT_EQ(sock.ReadLn(), "220 fake.test ready\r\n");
  for (const auto& [reply, number] : cases) {
    sock.Transaction("NOOP");
    EXPECT_EQ(sock.LastReply, reply);
    EXPECT_EQ(sock.ReplyNumber, number) << reply;
  }
  EXPECT_EQ(server.commands().size(), std::size(cases));
}

TEST_F(PowersockTest, ReadLnTakesOneLineHoweverTheBytesArrive) {
  for (bool byteByByte : {false, true}) {
    server.greet(ScriptedReply{"220-first\r\n220-\r\n220 last line\r\n", false, byteByByte});
    sock.Connect();
    EXPECT_EQ(sock.ReadLn(), "220-first\r\n");
    EXPECT_EQ(sock.ReadLn(), "220-\r\n");
    EXPECT_EQ(sock.ReadLn(), "220 last line\r\n");
    sock.Disconnect();
  }
}

TEST_F(PowersockTest, AnEndlessLineComesInBoundedPieces) {
  const std::string flood(3u << 20, 'x');
  server.greet(ScriptedReply{flood + "\r\n220 ready\r\n"});
  sock.Connect();
  std::string joined;
  std::size_t pieces = 0;
  while (!joined.ends_with("\r\n")) {
    const std::string piece = sock.ReadLn();
    ASSERT_FALSE(piece.empty());
    EXPECT_LE(piece.size(), (1u << 20) + 65536u);
    joined += piece;
    ++pieces;
  }
  EXPECT_GE(pieces, 3u);
  EXPECT_EQ(joined, flood + "\r\n");
  EXPECT_EQ(sock.ReadLn(), "220 ready\r\n");
}

TEST_F(PowersockTest, APeerThatClosesEndsTheReadWithAnEmptyLine) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"220 bye\r\n", {"220 bye\r\n", ""}},
      {"220 unfinished", {""}},  // a line without its end is no reply
      {"", {""}},
  };
  for (const auto& [greeting, lines] : cases) {
    server.greet(ScriptedReply{greeting, true});
    events.clear();
    sock.Connect();
    for (const std::string& line : lines) EXPECT_EQ(sock.ReadLn(), line) << greeting;
    EXPECT_FALSE(sock.Connected());
    EXPECT_EQ(sock.ReadLn(), "");  // not connected: nothing to read
    EXPECT_EQ(events, (std::vector<std::string>{"connect", "disconnect"}));
  }
  EXPECT_TRUE(hasStatus("Request Close Socket"));
}

TEST_F(PowersockTest, CheckConnectionNoticesAClosedPeer) {
  server.greet(ScriptedReply{"220 bye\r\n", true});
  sock.Connect();
  EXPECT_TRUE(sock.CheckConnection());  // the greeting is still waiting
  EXPECT_EQ(sock.ReadLn(), "220 bye\r\n");
  for (int i = 0; i < 500 && sock.CheckConnection(); ++i) usleep(2000);
  EXPECT_FALSE(sock.Connected());
  EXPECT_EQ(events, (std::vector<std::string>{"connect", "disconnect"}));
}

TEST_F(PowersockTest, ConnectRefusedReportsTheTableTextAndFails) {
  sock.Port = test::ClosedPort();
  EXPECT_EQ(errorOf([&] { sock.Connect(); }), "Connection Failed");
  EXPECT_EQ(events, std::vector<std::string>{"failed"});
  EXPECT_TRUE(hasStatus("Looking Up Error Message10061:Connection refused"));
  EXPECT_FALSE(sock.Connected());
}

TEST_F(PowersockTest, AHostThatDoesNotResolveAsksOnceThenHasNoAddress) {
  struct Case {
    bool handled;
    std::string newHost;
    std::string error;
  };
  const Case cases[] = {
      {false, "", "Null Remote Address"},
      {true, "", "Null Remote Address"},  // asked only on the first attempt
      {true, "127.0.0.1", ""},
      {true, "localhost", ""},
  };
  for (const Case& c : cases) {
    sock.Host = "nowhere.invalid";
    int asked = 0;
    events.clear();
    sock.OnInvalidHost = [&](TPowersock& s, bool& handled) {
      ++asked;
      handled = c.handled;
      if (!c.newHost.empty()) s.Host = c.newHost;
    };
    EXPECT_EQ(errorOf([&] { sock.Connect(); }), c.error) << c.newHost;
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(sock.Connected(), c.error.empty());
    if (c.newHost == "localhost") {
      EXPECT_EQ(events, (std::vector<std::string>{"resolved", "connect"}));
    }
    sock.Disconnect();
  }
  EXPECT_TRUE(hasStatus("Host Lookup Failed"));
}

TEST_F(PowersockTest, ConnectsOnceAndAgainAfterDisconnect) {
  sock.Connect();
  EXPECT_EQ(errorOf([&] { sock.Connect(); }), "Already connected");
  sock.Disconnect();
  EXPECT_FALSE(sock.Connected());
  sock.Disconnect();  // nothing to close: no second event
  sock.Connect();
  EXPECT_EQ(sock.ReadLn(), "220 fake.test ready\r\n");
  EXPECT_EQ(server.connections(), 2);
  EXPECT_EQ(events, (std::vector<std::string>{"connect", "disconnect", "connect"}));
}

TEST_F(PowersockTest, WritingWithoutAConnectionRaisesTheTableText) {
  EXPECT_EQ(errorOf([&] { sock.Writeln("NOOP"); }), "10057:Socket is not connected");
  EXPECT_EQ(sock.ReadLn(), "");
}

TEST_F(PowersockTest, SendStreamGoesInBlocksAndArrivesWhole) {
  struct CountingSock : TPowersock {
    int packets = 0;
    void packetSent() override { ++packets; }
  } counting;
  counting.Host = "127.0.0.1";
  counting.Port = server.port();
  std::string payload;
  for (int i = 0; payload.size() < 300000; ++i)
    payload += "line " + std::to_string(i) + std::string(90, '-') + "\r\n";
  counting.Connect();
  counting.ReadLn();
  counting.Transaction("DATA");
  counting.SendStream(payload + ".\r\n");
  EXPECT_EQ(counting.ReadLn(), "250 OK queued\r\n");
  EXPECT_EQ(server.data(), payload);
  EXPECT_GE(counting.packets, 5);  // 300000 bytes are at least five blocks of 65536
}

TEST_F(PowersockTest, StatusReportsFollowTheLevel) {
  for (int level : {0, 1, 4, 8}) {
    statuses.clear();
    sock.ReportLevel = level;
    sock.Connect();
    sock.ReadLn();
    sock.Transaction("NOOP");
    sock.Disconnect();
    EXPECT_EQ(hasStatus("250 OK"), level >= 1) << level;  // a reply line, without its end
    EXPECT_EQ(hasStatus("Connecting"), level >= 8) << level;
    EXPECT_EQ(hasStatus("Transaction"), level >= 8) << level;
    if (level == 1) {
      EXPECT_EQ(statuses, std::vector<std::string>{"250 OK"});
    }
  }
}

// --- Waits that end early ---------------------------------------------------

TEST_F(PowersockTest, ASilentServerTimesOutTheRead) {
  server.greet(std::nullopt);
  sock.TimeOut = 200;
  sock.Connect();
  statuses.clear();
  EXPECT_EQ(errorOf([&] { sock.ReadLn(); }), "Socket readln aborted");
  const std::vector<std::string> timer = {"Timer On", "Timer Triggered", "Abort", "Canceling", "Timer Off"};
  std::vector<std::string> seen;
  for (const std::string& s : statuses)
    if (std::find(timer.begin(), timer.end(), s) != timer.end()) seen.push_back(s);
  EXPECT_EQ(seen, timer);
  // The abort holds for what follows, so a closing window does not wait again.
  EXPECT_EQ(errorOf([&] { sock.Writeln("QUIT"); }), "Socket send aborted");
  sock.Disconnect();
  sock.Connect();  // a new connection starts afresh
  sock.Writeln("NOOP");
}

TEST_F(PowersockTest, AbortFromTheWindowCancelsEveryKindOfWait) {
  test::HookPlatform platform;
  ScopedPlatform use(platform);
  server.greet(std::nullopt);

  // While reading: the window closes during the wait.
  sock.Connect();
  platform.onEvents = [&] { sock.Abort(); };
  EXPECT_EQ(errorOf([&] { sock.ReadLn(); }), "Socket readln aborted");
  platform.onEvents = nullptr;
  sock.Disconnect();

  // While connecting and while looking the host up.
  struct Case {
    std::string when, error;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {"Connecting", "Connection Canceled", {"resolved", "failed"}},
      {"Resolve Host", "Host Lookup Canceled", {}},
  };
  sock.Host = "localhost";
  for (const Case& c : cases) {
    events.clear();
    sock.OnStatus = [&](TPowersock& s, const std::string& status) {
      if (status == c.when) s.Abort();
    };
    EXPECT_EQ(errorOf([&] { sock.Connect(); }), c.error);
    EXPECT_EQ(events, c.events);
    EXPECT_FALSE(sock.Connected());
  }
}

// A listener whose queue is full drops the next handshake: connect waits.
TEST_F(PowersockTest, AConnectThatHangsTimesOut) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
  const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);

  sock.Port = ntohs(a.sin_port);
  sock.TimeOut = 200;
  EXPECT_EQ(errorOf([&] { sock.Connect(); }), "Connection Timed out");
  EXPECT_EQ(events, std::vector<std::string>{"failed"});
  ::close(filler);
  ::close(listener);
}

}  // namespace
}  // namespace pagemoor
