// TPowersock: the TCP socket under the mail client. One IPv4 stream socket,
// non-blocking; every wait (host lookup, connect, read, send) is a loop that
// lets the window handle its events between checks, so the reader's interface
// stays alive and a second click on "send" runs inside the wait. Every failure
// is a MailError with the texts the mail form has always shown.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pagemoor {

// Every failure of the socket layer and the SMTP client.
class MailError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "10061:Connection refused": the code, a colon and the text of the table of
// socket error codes; "Unknown Error No. N" for a code not in it.
std::string SocketErrorText(int code);
// The table's code for a system errno (ECONNREFUSED → 10061, ...), and for a
// getaddrinfo failure (EAI_NONAME → 11001, ...).
int SocketErrorCodeFromErrno(int err);
int SocketErrorCodeFromLookup(int gaiError);

class TPowersock {
 public:
  TPowersock();
  virtual ~TPowersock();
  TPowersock(const TPowersock&) = delete;
  TPowersock& operator=(const TPowersock&) = delete;

  std::string Host;  // a dotted IPv4 address or a host name
  std::uint16_t Port = 0;
  int TimeOut = 0;  // milliseconds for each wait; 0 = none
  int ReportLevel = 0;

  std::function<void(TPowersock& sender)> OnDisconnect;
  std::function<void(TPowersock& sender)> OnSocketConnect;  // the socket's own connect event
  std::function<void(TPowersock& sender, bool& handled)> OnInvalidHost;
  std::function<void(TPowersock& sender)> OnHostResolved;
  std::function<void(TPowersock& sender, const std::string& status)> OnStatus;
  std::function<void(TPowersock& sender)> OnConnectionFailed;

  // The last reply line of Transaction (with its CR LF) and its leading number.
  std::string LastReply;
  std::int16_t ReplyNumber = 0;
  // What the socket layer found at start-up ("Version= ...", ...).
  const std::vector<std::string>& StartupInfo() const;

  bool Connected() const;

  void Connect();
  void Disconnect();
  void Write(std::string_view text);
  void Writeln(std::string_view text);  // text + CR LF
  // One line with its CR LF; an empty string when the peer closed.
  std::string ReadLn();
  // Writeln(command), ReadLn, LastReply and ReplyNumber.
  void Transaction(std::string_view command);
  // The bytes in blocks of up to 65536, OnPacketSent after each accepted piece.
  void SendStream(std::string_view bytes);
  // Cancels the current wait (the window's close, the time-out).
  void Abort();
  // True while connected; a peer that closed is noticed here.
  bool CheckConnection();

 protected:
  // Reports a status text at a level (OnStatus when ReportLevel >= level).
  void status(int level, const std::string& text);
  // A piece of SendStream was accepted (TQzSMTP raises OnPacketSent).
  virtual void packetSent() {}

 private:
  // The SMTP client starts each mail afresh: it clears a past Abort and
  // stale input, and reads the lines of multi-line replies.
  friend class TQzSMTP;

  struct State;
  std::unique_ptr<State> m_state;

  void openSocket(int family);
  // Closes a connected socket (OnDisconnect) and opens a fresh one.
  void closeConnection();
  void peerClosed();
  // Reports and raises the table text of a code; ignored codes return.
  void raiseSocketError(int code);
  // The address of Host; false when the lookup finds none.
  bool resolveHost();
  // One turn of a wait: up to 2 ms for the socket (or a pause), the window's
  // events, the timer. The poll result bits of the socket.
  short waitTurn(short events);
  void armTimer();
  void disarmTimer();
  void checkTimer();
  void sendBytes(std::string_view bytes, bool reportPackets);
  // LastReply and ReplyNumber from one line of a reply.
  void takeReply(std::string line);
  void clearAbort();
  // Drops bytes already received, e.g. a reply that came after a time-out.
  void clearInput();
};

}  // namespace pagemoor
