// A scripted SMTP server for the mail tests: it listens on a loopback port
// of its own, answers in a thread of the test from a script of replies, and
// records what the client sent.
//
//   FakeSmtpServer server;
//   server.reply("RCPT", {"550 No such user\r\n"});
//   smtp.Host = "127.0.0.1";
//   smtp.Port = server.port();
//   ... connect and send ...
//   EXPECT_EQ(server.commands(), (std::vector<std::string>{"HELO me", "RSET", ...}));
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
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
  FakeSmtpServer();
  ~FakeSmtpServer();
  FakeSmtpServer(const FakeSmtpServer&) = delete;
  FakeSmtpServer& operator=(const FakeSmtpServer&) = delete;

  std::uint16_t port() const { return m_port; }

  // The greeting on each connection; nothing: the server never says a word.
  void greet(std::optional<ScriptedReply> greeting);
  // Queues a reply to the next command with this word (upper case; "." is the
  // end of the data). Without a queued reply the usual positive one goes.
  void reply(const std::string& word, ScriptedReply reply);

  // The command lines received, without CR LF, in order, over all connections.
  std::vector<std::string> commands() const;
  // The bytes between the reply to DATA and the "." line, as they came.
  std::string data() const;
  int connections() const;
  // Replies sent so far (greetings included).
  int repliesSent() const;

 private:
  void run();
  void serve(int fd);
  // False when the connection is to close.
  bool answer(int fd, const std::string& word);
  bool send(int fd, const ScriptedReply& reply);

  int m_listener = -1;
  std::uint16_t m_port = 0;
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

}  // namespace pagemoor::test
