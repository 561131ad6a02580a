// A scripted SMTP server for the mail form's tests, in a thread of the test.
//
// The form always talks to port 25, so the server listens on port 25 of an
// address of its own in 127.0.0.0/8: tests running side by side never meet.
// That needs the right to bind a low port; listening() says whether it got it.
// Each command gets the reply its word has in the table (a "." entry answers
// the end of a message; an empty reply answers nothing, so the client waits);
// every line received is recorded, per connection.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace pagemoor::test {

// A random address in 127.0.0.0/8 other than 127.0.0.1.
inline std::string RandomLoopbackAddress() {
  static std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<int> octet(1, 254);
  return "127." + std::to_string(octet(random)) + "." + std::to_string(octet(random)) + "." +
         std::to_string(octet(random));
}

inline sockaddr_in Port25Of(const std::string& address) {
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(25);
  ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
  return at;
}

// A loopback address where a connection to port 25 is refused, or empty text
// when none was found (something listens on every address).
inline std::string ClosedLoopbackAddress() {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::string address = RandomLoopbackAddress();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return {};
    const sockaddr_in at = Port25Of(address);
    const bool refused =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 && errno == ECONNREFUSED;
    ::close(fd);
    if (refused) return address;
  }
  return {};
}

class MailerFakeServer {
 public:
  using Replies = std::map<std::string, std::string>;

  explicit MailerFakeServer(const Replies& replies = {}) {
    m_replies = {{"GREETING", "220 fake.test ESMTP"},
                 {"HELO", "250 fake.test"},
                 {"EHLO", "250 fake.test"},
                 {"MAIL", "250 OK"},
                 {"RCPT", "250 OK"},
                 {"DATA", "354 End data with <CR><LF>.<CR><LF>"},
                 {".", "250 Queued"},
                 {"RSET", "250 OK"},
                 {"NOOP", "250 OK"},
                 {"QUIT", "221 Bye"}};
    for (const auto& [word, reply] : replies) m_replies[word] = reply;
    for (int attempt = 0; attempt < 5 && m_listener < 0; ++attempt) listenOn(RandomLoopbackAddress());
    if (m_listener >= 0) m_thread = std::thread([this] { run(); });
  }
  ~MailerFakeServer() { stop(); }
  MailerFakeServer(const MailerFakeServer&) = delete;
  MailerFakeServer& operator=(const MailerFakeServer&) = delete;

  bool listening() const { return m_listener >= 0; }
  const std::string& error() const { return m_error; }
  const std::string& address() const { return m_address; }

  // Ends the thread; what was recorded stays readable.
  void stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_listener >= 0) ::close(m_listener);
    m_listener = -1;
  }

  // The lines of each connection so far, without their CR LF.
  std::vector<std::vector<std::string>> connections() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
  }
  // The lines of every connection that begin with the word ("RCPT").
  std::vector<std::string> commands(const std::string& word) const {
    std::vector<std::string> found;
    for (const auto& lines : connections())
      for (const std::string& line : lines)
        if (line.compare(0, word.size(), word) == 0) found.push_back(line);
    return found;
  }
  bool received(const std::string& word) const { return !commands(word).empty(); }

 private:
  void listenOn(const std::string& address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in at = Port25Of(address);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 4) != 0) {
      m_error = "cannot listen on " + address + ":25: " + std::strerror(errno);
      ::close(fd);
      return;
    }
    m_listener = fd;
    m_address = address;
  }

  // Waits up to 20 ms for the descriptor; false when nothing came (or stop).
  bool ready(int fd) const {
    pollfd p{fd, POLLIN, 0};
    return !m_stop && ::poll(&p, 1, 20) > 0;
  }

  void run() {
    while (!m_stop) {
      if (!ready(m_listener)) continue;
      const int client = ::accept(m_listener, nullptr, nullptr);
      if (client < 0) continue;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connections.emplace_back();
      }
      serve(client);
      ::close(client);
    }
  }

  void reply(int fd, const std::string& line) const {
    if (line.empty()) return;
    const std::string bytes = line + "\r\n";
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }

  void serve(int fd) {
    reply(fd, m_replies.at("GREETING"));
    std::string pending;
    bool inData = false;
    while (!m_stop) {
      if (!ready(fd)) continue;
      char buffer[4096];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return;  // the client closed
      pending.append(buffer, static_cast<std::size_t>(n));
      std::size_t end;
      while ((end = pending.find("\r\n")) != std::string::npos) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 2);
        {
          std::lock_guard<std::mutex> lock(m_mutex);
          m_connections.back().push_back(line);
        }
        if (inData) {
          if (line == ".") {
            inData = false;
            reply(fd, m_replies.at("."));
          }
          continue;
        }
        std::string word = line.substr(0, line.find_first_of(" :"));
        for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const auto known = m_replies.find(word);
        const std::string answer = known == m_replies.end() ? "500 Unknown command" : known->second;
        reply(fd, answer);
        if (word == "DATA" && answer.compare(0, 3, "354") == 0) inData = true;
        if (word == "QUIT") return;
      }
    }
  }

  Replies m_replies;
  int m_listener = -1;
  std::string m_address;
  std::string m_error;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
  mutable std::mutex m_mutex;
  std::vector<std::vector<std::string>> m_connections;
};

}  // namespace pagemoor::test
