#include "FakeSmtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "common/Strings.h"

namespace pagemoor::test {

namespace {

constexpr int kPollMs = 10;

int LoopbackListener(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot listen on the loopback");
  }
  port = ntohs(a.sin_port);
  return fd;
}

ScriptedReply UsualReply(const std::string& word) {
  if (word == "HELO" || word == "EHLO") return {"250 fake.test\r\n"};
  if (word == "RSET" || word == "MAIL" || word == "RCPT" || word == "NOOP") return {"250 OK\r\n"};
  if (word == "DATA") return {"354 End data with <CR><LF>.<CR><LF>\r\n"};
  if (word == ".") return {"250 OK queued\r\n"};
  if (word == "QUIT") return {"221 Bye\r\n", true};
  return {"500 Unknown command\r\n"};
}

}  // namespace

FakeSmtpServer::FakeSmtpServer() {
  m_listener = LoopbackListener(m_port);
  m_thread = std::thread([this] { run(); });
}

FakeSmtpServer::~FakeSmtpServer() {
  m_stop = true;
  m_thread.join();
  ::close(m_listener);
}

void FakeSmtpServer::greet(std::optional<ScriptedReply> greeting) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_greeting = std::move(greeting);
}

void FakeSmtpServer::reply(const std::string& word, ScriptedReply reply) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_replies[word].push_back(std::move(reply));
}

std::vector<std::string> FakeSmtpServer::commands() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_commands;
}

std::string FakeSmtpServer::data() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_data;
}

int FakeSmtpServer::connections() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_connections;
}

int FakeSmtpServer::repliesSent() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_repliesSent;
}

void FakeSmtpServer::run() {
  while (!m_stop) {
    pollfd p{m_listener, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    serve(fd);
    ::close(fd);
  }
}

bool FakeSmtpServer::send(int fd, const ScriptedReply& reply) {
  if (reply.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
  if (reply.byteByByte) {
    for (char c : reply.text) {
      ::send(fd, &c, 1, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  } else if (!reply.text.empty()) {
    ::send(fd, reply.text.data(), reply.text.size(), MSG_NOSIGNAL);
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!reply.text.empty()) ++m_repliesSent;
  return !reply.close;
}

bool FakeSmtpServer::answer(int fd, const std::string& word) {
  ScriptedReply r;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto& queue = m_replies[word];
    if (queue.empty()) {
      r = UsualReply(word);
    } else {
      r = std::move(queue.front());
      queue.pop_front();
    }
  }
  return send(fd, r);
}

void FakeSmtpServer::serve(int fd) {
  std::optional<ScriptedReply> greeting;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_connections;
    greeting = m_greeting;
  }
  if (greeting && !send(fd, *greeting)) return;

  std::string pending;
  bool inData = false;
  while (!m_stop) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return;  // the client closed or reset the connection
    pending.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending.find("\r\n")) != std::string::npos;) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 2);
      if (inData && line != ".") {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_data += line + "\r\n";
        continue;
      }
      const std::string word = line == "." ? "." : AsciiUpper(line.substr(0, line.find_first_of(" :")));
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_commands.push_back(line);
      }
      inData = false;
      if (word == "DATA") {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto& queue = m_replies[word];
        inData = queue.empty() || queue.front().text.starts_with("354");
      }
      if (!answer(fd, word)) return;
    }
  }
}

std::uint16_t ClosedPort() {
  std::uint16_t port = 0;
  ::close(LoopbackListener(port));
  return port;
}

}  // namespace pagemoor::test
