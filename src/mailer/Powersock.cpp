#include "mailer/Powersock.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/Platform.h"

namespace pagemoor {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds of one turn of a wait: short enough for a live window.
constexpr int kTurnMs = 2;
constexpr std::size_t kBlockSize = 65536;
// A reply line is a few hundred bytes. A peer that streams bytes without a
// line feed gets what it sent so far taken as one line once it reaches this
// size, instead of filling the memory until the time-out.
constexpr std::size_t kMaxLineSize = std::size_t{1} << 20;

struct CodeText {
  int code;
  const char* text;
};

constexpr CodeText kErrorTexts[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};

struct ErrnoCode {
  int err;
  int code;
};

constexpr ErrnoCode kErrnoCodes[] = {
    {ECONNREFUSED, 10061},  {ETIMEDOUT, 10060},       {ENETUNREACH, 10051},     {EHOSTUNREACH, 10065},
    {ECONNRESET, 10054},    {EPIPE, 10058},           {ENOTCONN, 10057},        {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},        {EINTR, 10004},           {EBADF, 10009},
    {EACCES, 10013},        {EFAULT, 10014},          {EINVAL, 10022},          {EMFILE, 10024},
    {EWOULDBLOCK, 10035},   {EAGAIN, 10035},          {EINPROGRESS, 10036},     {EALREADY, 10037},
    {ENOTSOCK, 10038},      {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},   {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},
    {EPFNOSUPPORT, 10046},  {EAFNOSUPPORT, 10047},    {ECONNABORTED, 10053},    {ENOBUFS, 10055},
    {EISCONN, 10056},       {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059},    {ELOOP, 10062},
    {ENAMETOOLONG, 10063},  {EHOSTDOWN, 10064},       {ENOTEMPTY, 10066},       {EUSERS, 10068},
    {EDQUOT, 10069},        {ESTALE, 10070},          {EREMOTE, 10071},
};

// The result of a host lookup, shared with the thread that runs it: a wait
// that gives up leaves the thread to finish on its own.
struct Lookup {
  std::mutex mutex;
  bool done = false;
  int error = 0;
  sockaddr_storage address{};
  socklen_t length = 0;
};

void RunLookup(const std::shared_ptr<Lookup>& job, const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
  const addrinfo* chosen = nullptr;
  if (rc == 0) {
    // IPv4 first; a host with only an IPv6 address is still reachable.
    for (const addrinfo* a = list; a && !chosen; a = a->ai_next)
      if (a->ai_family == AF_INET) chosen = a;
    for (const addrinfo* a = list; a && !chosen; a = a->ai_next)
      if (a->ai_family == AF_INET6) chosen = a;
  }
  std::lock_guard<std::mutex> lock(job->mutex);
  if (chosen) {
    std::memcpy(&job->address, chosen->ai_addr, chosen->ai_addrlen);
    job->length = chosen->ai_addrlen;
  } else {
    job->error = rc != 0 ? rc : EAI_NODATA;
  }
  job->done = true;
  if (list) ::freeaddrinfo(list);
}

// The leading decimal digits (at most ten) as the 16-bit number the
// component has always kept; 0 without digits.
std::int16_t LeadingNumber(std::string_view line) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < line.size() && i < 10 && line[i] >= '0' && line[i] <= '9'; ++i)
    value = value * 10 + static_cast<unsigned>(line[i] - '0');
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
}

std::string WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return std::string(line);
}

}  // namespace

std::string SocketErrorText(int code) {
  for (const CodeText& e : kErrorTexts)
    if (e.code == code) return std::to_string(code) + ":" + e.text;
  return "Unknown Error No. " + std::to_string(code);
}

int SocketErrorCodeFromErrno(int err) {
  for (const ErrnoCode& e : kErrnoCodes)
    if (e.err == err) return e.code;
  // Not a socket error of the table: below 10000, so it is not raised.
  return err;
}

int SocketErrorCodeFromLookup(int gaiError) {
  switch (gaiError) {
    case 0:
      return 0;
    case EAI_NONAME:
      return 11001;
    case EAI_AGAIN:
      return 11002;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return 11004;
    default:
      return 11003;
  }
}

struct TPowersock::State {
  int fd = -1;
  int family = AF_INET;
  bool connected = false;
  std::atomic<bool> cancelled{false};
  bool timedOut = false;
  bool timerOn = false;
  Clock::time_point deadline;
  sockaddr_storage address{};
  socklen_t addressLength = 0;
  std::vector<std::string> startupInfo;
  std::vector<char> buffer = std::vector<char>(kBlockSize);
};

TPowersock::TPowersock() : m_state(std::make_unique<State>()) {
  status(8, "Create");
  status(8, "Initializing Winsock");
  rlimit files{};
  const long long maxSockets = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
                                   ? static_cast<long long>(files.rlim_cur)
                                   : 1024;
  m_state->startupInfo = {"Version= 1.1",
                          "High Version= 2.2",
                          "Description= Linux sockets",
                          "System= Running",
                          "Max Sockets= " + std::to_string(maxSockets),
                          "Max Udp pack size= 65507"};
  openSocket(AF_INET);
}

TPowersock::~TPowersock() {
  try {
    status(8, "Destroy");
  } catch (...) {
  }
  if (m_state->fd >= 0) ::close(m_state->fd);
}

const std::vector<std::string>& TPowersock::StartupInfo() const {
  return m_state->startupInfo;
}

bool TPowersock::Connected() const {
  return m_state->connected;
}

void TPowersock::status(int level, const std::string& text) {
  if (ReportLevel >= level && OnStatus) OnStatus(*this, text);
}

void TPowersock::openSocket(int family) {
  State& s = *m_state;
  if (s.fd >= 0) ::close(s.fd);
  s.connected = false;
  s.family = family;
  s.fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (s.fd < 0) return;  // Connect tries again and reports the error
  // A closed socket goes at once instead of lingering in the kernel.
  const linger off{1, 0};
  ::setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
}

void TPowersock::closeConnection() {
  const bool was = m_state->connected;
  openSocket(m_state->family);
  if (was && OnDisconnect) OnDisconnect(*this);
}

void TPowersock::peerClosed() {
  status(4, "Request Close Socket");
  closeConnection();
}

void TPowersock::raiseSocketError(int code) {
  if (code == 10035 || code <= 10000) return;
  const std::string text = SocketErrorText(code);
  status(8, "Looking Up Error Message" + text);
  throw MailError(text);
}

void TPowersock::armTimer() {
  State& s = *m_state;
  s.timedOut = false;
  if (TimeOut <= 0) return;
  s.deadline = Clock::now() + std::chrono::milliseconds(TimeOut);
  s.timerOn = true;
  status(8, "Timer On");
}

void TPowersock::disarmTimer() {
  if (!m_state->timerOn) return;
  m_state->timerOn = false;
  status(8, "Timer Off");
}

void TPowersock::checkTimer() {
  State& s = *m_state;
  if (!s.timerOn || s.timedOut || Clock::now() < s.deadline) return;
  status(8, "Timer Triggered");
  s.timedOut = true;
  Abort();
}

namespace {

// Disarms the timer of a wait however the wait ends.
class TimerScope {
 public:
  TimerScope(std::function<void()> arm, std::function<void()> disarm) : m_disarm(std::move(disarm)) { arm(); }
  ~TimerScope() {
    try {
      m_disarm();
    } catch (...) {
    }
  }
  TimerScope(const TimerScope&) = delete;
  TimerScope& operator=(const TimerScope&) = delete;

 private:
  std::function<void()> m_disarm;
};

}  // namespace

short TPowersock::waitTurn(short events) {
  State& s = *m_state;
  pollfd p{s.fd, events, 0};
  const int n = events != 0 && s.fd >= 0 ? ::poll(&p, 1, kTurnMs) : ::poll(nullptr, 0, kTurnMs);
  platform().processEvents();
  checkTimer();
  return n > 0 ? p.revents : 0;
}

bool TPowersock::resolveHost() {
  State& s = *m_state;
  status(8, "Resolve Host");
  in_addr dotted{};
  if (::inet_pton(AF_INET, Host.c_str(), &dotted) == 1) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr = dotted;
    std::memcpy(&s.address, &a, sizeof a);
    s.addressLength = sizeof a;
    return true;
  }

  auto job = std::make_shared<Lookup>();
  std::thread(RunLookup, job, Host).detach();
  {
    TimerScope timer([this] { armTimer(); }, [this] { disarmTimer(); });
    for (;;) {
      if (s.timedOut) throw MailError("Host Lookup Timed Out");
      if (s.cancelled) throw MailError("Host Lookup Canceled");
      {
        std::lock_guard<std::mutex> lock(job->mutex);
        if (job->done) break;
      }
      waitTurn(0);
    }
  }
  std::lock_guard<std::mutex> lock(job->mutex);
  if (job->error != 0) {
    status(8, "Looking Up Error Message" + SocketErrorText(SocketErrorCodeFromLookup(job->error)));
    status(4, "Host Lookup Failed");
    return false;
  }
  s.address = job->address;
  s.addressLength = job->length;
  if (OnHostResolved) OnHostResolved(*this);
  return true;
}

void TPowersock::Connect() {
  State& s = *m_state;
  if (s.connected) throw MailError("Already connected");
  s.cancelled = false;
  s.timedOut = false;

  for (bool firstAttempt = true;; firstAttempt = false) {
    if (resolveHost()) break;
    bool handled = false;
    if (firstAttempt && OnInvalidHost) OnInvalidHost(*this, handled);
    if (!handled) throw MailError("Null Remote Address");
  }

  const int family = s.address.ss_family;
  if (s.fd < 0 || s.family != family) openSocket(family);
  if (s.fd < 0) raiseSocketError(SocketErrorCodeFromErrno(errno));
  if (family == AF_INET6)
    reinterpret_cast<sockaddr_in6*>(&s.address)->sin6_port = htons(Port);
  else
    reinterpret_cast<sockaddr_in*>(&s.address)->sin_port = htons(Port);

  status(8, "Connecting");
  bool ok = ::connect(s.fd, reinterpret_cast<const sockaddr*>(&s.address), s.addressLength) == 0;
  int err = ok ? 0 : errno;
  if (!ok && (err == EINPROGRESS || err == EINTR)) {
    err = 0;
    TimerScope timer([this] { armTimer(); }, [this] { disarmTimer(); });
    for (;;) {
      const short ready = waitTurn(POLLOUT);
      if (s.cancelled) break;
      if (ready == 0) continue;
      int soError = 0;
      socklen_t len = sizeof soError;
      if (::getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
      ok = soError == 0;
      err = soError;
      break;
    }
  }
  if (!ok) {
    if (err != 0) status(8, "Looking Up Error Message" + SocketErrorText(SocketErrorCodeFromErrno(err)));
    openSocket(family);  // a socket whose connect failed cannot try again
    if (OnConnectionFailed) OnConnectionFailed(*this);
    if (s.timedOut) throw MailError("Connection Timed out");
    if (s.cancelled) throw MailError("Connection Canceled");
    throw MailError("Connection Failed");
  }
  s.connected = true;
  if (OnSocketConnect) OnSocketConnect(*this);
}

void TPowersock::Disconnect() {
  status(8, "Disconnecting");
  closeConnection();
}

void TPowersock::sendBytes(std::string_view bytes, bool reportPackets) {
  State& s = *m_state;
  if (!s.connected) raiseSocketError(10057);
  TimerScope timer([this] { armTimer(); }, [this] { disarmTimer(); });
  while (!bytes.empty()) {
    if (s.cancelled) {
      status(8, "Canceling");
      throw MailError("Socket send aborted");
    }
    const ssize_t n = ::send(s.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      if (reportPackets) packetSent();
      continue;
    }
    const int err = n < 0 ? errno : EAGAIN;
    if (err == EINTR) continue;
    if (err == EAGAIN || err == EWOULDBLOCK) {
      waitTurn(POLLOUT);
      continue;
    }
    // The connection is gone: a later Connect must start afresh.
    if (err == EPIPE || err == ECONNRESET || err == ENOTCONN) closeConnection();
    raiseSocketError(SocketErrorCodeFromErrno(err));
    return;
  }
}

void TPowersock::Write(std::string_view text) {
  status(8, "Write");
  sendBytes(text, false);
}

void TPowersock::Writeln(std::string_view text) {
  status(8, "Writeln");
  std::string line(text);
  line += "\r\n";
  sendBytes(line, false);
}

void TPowersock::SendStream(std::string_view bytes) {
  status(8, "SendStream");
  while (!bytes.empty()) {
    const std::size_t n = std::min(kBlockSize, bytes.size());
    sendBytes(bytes.substr(0, n), true);
    bytes.remove_prefix(n);
    if (!bytes.empty()) platform().processEvents();
  }
}

std::string TPowersock::ReadLn() {
  State& s = *m_state;
  status(8, "ReadLn");
  if (!s.connected) return "";
  std::string line;
  TimerScope timer([this] { armTimer(); }, [this] { disarmTimer(); });
  for (;;) {
    if (s.cancelled) {
      status(8, "Canceling");
      throw MailError("Socket readln aborted");
    }
    const ssize_t n = ::recv(s.fd, s.buffer.data(), s.buffer.size(), MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
      status(8, "Data Available");
      const char* begin = s.buffer.data();
      const void* lf = std::memchr(begin, '\n', static_cast<std::size_t>(n));
      const std::size_t take = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - begin) + 1
                                  : static_cast<std::size_t>(n);
      const ssize_t got = ::recv(s.fd, s.buffer.data(), take, MSG_DONTWAIT);
      if (got > 0) line.append(s.buffer.data(), static_cast<std::size_t>(got));
      if (lf && got == static_cast<ssize_t>(take)) return line;
      if (line.size() >= kMaxLineSize) return line;
      continue;
    }
    if (n == 0) {
      // A line the peer did not finish is no reply.
      peerClosed();
      return "";
    }
    const int err = errno;
    if (err == EINTR) continue;
    if (err == EAGAIN || err == EWOULDBLOCK) {
      waitTurn(POLLIN);
      continue;
    }
    if (err == ENOTCONN) return "";
    if (err == ECONNRESET) closeConnection();
    raiseSocketError(SocketErrorCodeFromErrno(err));
    return "";
  }
}

void TPowersock::takeReply(std::string line) {
  status(1, WithoutLineEnd(line));
  ReplyNumber = LeadingNumber(line);
  LastReply = std::move(line);
}

void TPowersock::Transaction(std::string_view command) {
  status(8, "Transaction");
  Writeln(command);
  takeReply(ReadLn());
}

void TPowersock::Abort() {
  status(8, "Abort");
  m_state->cancelled = true;
}

void TPowersock::clearAbort() {
  m_state->cancelled = false;
  m_state->timedOut = false;
}

void TPowersock::clearInput() {
  State& s = *m_state;
  status(8, "Clearing Input");
  while (s.connected) {
    const ssize_t n = ::recv(s.fd, s.buffer.data(), s.buffer.size(), MSG_DONTWAIT);
    if (n > 0) continue;
    if (n == 0) peerClosed();
    if (n < 0 && errno == EINTR) continue;
    break;
  }
}

bool TPowersock::CheckConnection() {
  State& s = *m_state;
  status(8, "Checking Connection");
  if (!s.connected) return false;
  char probe = 0;
  const ssize_t n = ::recv(s.fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n > 0) return true;
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
  if (n == 0)
    peerClosed();
  else
    closeConnection();
  return false;
}

}  // namespace pagemoor
