#include "FakeSmtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>

#include "common/Strings.h"

namespace pagemoor::test {

namespace {

constexpr int kPollMs = 10;
constexpr int kAddressAttempts = 5;

sockaddr_in SocketAddress(const std::string& address, std::uint16_t port) {
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
  return at;
}

// A listening socket on the address and port (0: a free one, written back),
// or -1 with the reason in error.
int Listen(const std::string& address, std::uint16_t& port, std::string& error) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("socket failed: ") + std::strerror(errno);
    return -1;
  }
  if (port != 0) {
    // The last test's connection to the same port may still be in TIME_WAIT.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  sockaddr_in at = SocketAddress(address, port);
  socklen_t len = sizeof at;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 8) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len) != 0) {
    error = "cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  port = ntohs(at.sin_port);
  return fd;
}

// A random address in 127.0.0.0/8 other than 127.0.0.1.
std::string RandomLoopbackAddress() {
  static std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<int> octet(1, 254);
  return "127." + std::to_string(octet(random)) + "." + std::to_string(octet(random)) + "." +
         std::to_string(octet(random));
}

// The command's word in upper case; "." for the end of the data.
std::string CommandWord(const std::string& line) {
  return line == "." ? "." : AsciiUpper(line.substr(0, line.find_first_of(" :")));
}

// What a server that keeps to the rules answers; a greeting without a name
// is refused as real servers refuse it.
ScriptedReply UsualReply(const std::string& word, const std::string& line) {
  if (word == "HELO" || word == "EHLO") {
    const std::size_t name = line.find_first_not_of(' ', word.size());
    if (name == std::string::npos) return {"501 Syntax: HELO hostname\r\n"};
    return {"250 fake.test\r\n"};
  }
  if (word == "RSET" || word == "MAIL" || word == "RCPT" || word == "NOOP") return {"250 OK\r\n"};
  if (word == "DATA") return {"354 End data with <CR><LF>.<CR><LF>\r\n"};
  if (word == ".") return {"250 OK queued\r\n"};
  if (word == "QUIT") return {"221 Bye\r\n", true};
  return {"500 Unknown command\r\n"};
}

}  // namespace

FakeSmtpServer::FakeSmtpServer() : FakeSmtpServer("127.0.0.1", 0) {
  if (!listening()) throw std::runtime_error(m_error);
}

FakeSmtpServer::FakeSmtpServer(const std::string& address, std::uint16_t port)
    : m_address(address), m_port(port) {
  m_listener = Listen(m_address, m_port, m_error);
  if (m_listener >= 0) m_thread = std::thread([this] { run(); });
}

FakeSmtpServer::~FakeSmtpServer() {
  stop();
}

void FakeSmtpServer::stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_listener >= 0) ::close(m_listener);
  m_listener = -1;
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

std::vector<std::string> FakeSmtpServer::commands(const std::string& word) const {
  std::vector<std::string> found;
  for (const std::string& line : commands())
    if (CommandWord(line) == word) found.push_back(line);
  return found;
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

bool FakeSmtpServer::answer(int fd, const std::string& word, const std::string& line) {
  ScriptedReply r;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto& queue = m_replies[word];
    if (queue.empty()) {
      r = UsualReply(word, line);
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
      const std::string word = CommandWord(line);
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
      if (!answer(fd, word, line)) return;
    }
  }
}

std::uint16_t ClosedPort() {
  std::uint16_t port = 0;
  std::string error;
  const int fd = Listen("127.0.0.1", port, error);
  if (fd < 0) throw std::runtime_error(error);
  ::close(fd);
  return port;
}

std::unique_ptr<FakeSmtpServer> FakeSmtpServerOnPort25() {
  std::unique_ptr<FakeSmtpServer> server;
  for (int attempt = 0; attempt < kAddressAttempts && !(server && server->listening()); ++attempt)
    server = std::make_unique<FakeSmtpServer>(RandomLoopbackAddress(), 25);
  return server;
}

std::string ClosedLoopbackAddress() {
  for (int attempt = 0; attempt < kAddressAttempts; ++attempt) {
    const std::string address = RandomLoopbackAddress();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    const sockaddr_in at = SocketAddress(address, 25);
    const bool refused =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 && errno == ECONNREFUSED;
    ::close(fd);
    if (refused) return address;
  }
  return {};
}

}  // namespace pagemoor::test
