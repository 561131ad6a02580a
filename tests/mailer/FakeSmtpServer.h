// A scripted SMTP server for the mail tests: it listens on the loopback,
// answers in a thread of the test from a script of replies, and records what
// the client sent. One connection is served at a time; the next one waits in
// the backlog until the client closes the current one.
//
//   FakeSmtpServer server;
//   server.reply("RCPT", {"550 No such user\r\n"});
//   smtp.Host = server.address();
//   smtp.Port = server.port();
//   ... connect and send ...
//   EXPECT_EQ(server.commands(), (std::vector<std::string>{"HELO me", "RSET", ...}));
//
// The mail form always talks to port 25, so its tests take a server from
// FakeSmtpServerOnPort25(): port 25 of an address of its own in 127.0.0.0/8,
// so that tests running side by side never meet. That needs the right to bind
// a low port; listening() says whether it got it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pagemoor::test {

struct ScriptedReply {
  std::string text;         // sent as it is; empty: the server stays silent
  bool close = false;       // the server drops the connection after the text
  bool byteByByte = false;  // one byte at a time, with a pause between bytes
  int delayMs = 0;          // a pause before the reply
};

class FakeSmtpServer {
 public:
  // On 127.0.0.1, at a free port; throws when the loopback takes no listener.
  FakeSmtpServer();
  // On this address and port (0: a free one); listening() says whether it got
  // them, error() why not.
  FakeSmtpServer(const std::string& address, std::uint16_t port);
  ~FakeSmtpServer();
  FakeSmtpServer(const FakeSmtpServer&) = delete;
  FakeSmtpServer& operator=(const FakeSmtpServer&) = delete;

  bool listening() const { return m_listener >= 0; }
  const std::string& error() const { return m_error; }
  const std::string& address() const { return m_address; }
  std::uint16_t port() const { return m_port; }

  // Ends the thread and closes the listener; what was recorded stays readable.
  void stop();

  // The greeting on each connection; nothing: the server never says a word.
  void greet(std::optional<ScriptedReply> greeting);
  // Queues a reply to the next command with this word (upper case; "." is the
  // end of the data). Without a queued reply the usual positive one goes.
  void reply(const std::string& word, ScriptedReply reply);

  // The command lines received, without CR LF, in order, over all connections.
  std::vector<std::string> commands() const;
  // Those of them with this word ("RCPT"; upper case).
  std::vector<std::string> commands(const std::string& word) const;
  // The bytes between the reply to DATA and the "." line, as they came.
  std::string data() const;
  int connections() const;
  // Replies sent so far (greetings included).
  int repliesSent() const;

 private:
  void run();
  void serve(int fd);
  // False when the connection is to close.
  bool answer(int fd, const std::string& word, const std::string& line);
  bool send(int fd, const ScriptedReply& reply);

  int m_listener = -1;
  std::string m_address;
  std::uint16_t m_port = 0;
  std::string m_error;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::optional<ScriptedReply> m_greeting = ScriptedReply{"220 fake.test ready\r\n"};
  std::map<std::string, std::deque<ScriptedReply>> m_replies;
  std::vector<std::string> m_commands;
  std::string m_data;
  int m_connections = 0;
  int m_repliesSent = 0;
  std::thread m_thread;
};

// A loopback port nothing listens on.
std::uint16_t ClosedPort();

// A server on port 25 of a random address in 127.0.0.0/8 other than
// 127.0.0.1; when a few addresses failed, the last one, not listening.
std::unique_ptr<FakeSmtpServer> FakeSmtpServerOnPort25();

// A loopback address where a connection to port 25 is refused, or empty text
// when none was found (something listens on every address tried).
std::string ClosedLoopbackAddress();

}  // namespace pagemoor::test
