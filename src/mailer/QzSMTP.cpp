#include "mailer/QzSMTP.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <random>

#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/Strings.h"
#include "mailer/MimeText.h"
#include "mailer/UUProcessor.h"

namespace pagemoor {

namespace {

const char* ContentTypeOf(TSubType type) {
  switch (type) {
    case TSubType::mtEnriched:
      return "text/enriched";
    case TSubType::mtSgml:
      return "text/sgml";
    case TSubType::mtTabSeperated:
      return "text/tab-separated-values";
    case TSubType::mtHtml:
      return "text/html";
    case TSubType::mtPlain:
      break;
  }
  return "text/plain";
}

std::string NewBoundary() {
  static std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<int> letter('a', 'y');
  std::string boundary = "====================54535";
  for (int i = 0; i < 6; ++i) boundary += static_cast<char>(letter(random));
  return boundary + "====";
}

// A file name inside a quoted header parameter.
std::string ParameterName(const std::string& path) {
  std::string name = CleanHeaderValue(ExtractFileName(path));
  for (char& c : name)
    if (c == '"' || c == '\\') c = '_';
  return EncodeHeaderText(name, 0);
}

// Clears the busy flag however SendMail ends.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : m_busy(busy) { m_busy = true; }
  ~BusyScope() { m_busy = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& m_busy;
};

}  // namespace

std::string ExtractAddress(const std::string& entry) {
  std::string_view text = entry;
  if (const std::size_t open = text.find('<'); open != std::string_view::npos) {
    text.remove_prefix(open + 1);
    text = text.substr(0, text.find('>'));
  } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    text.remove_prefix(colon + 1);
    text = text.substr(0, text.find(':'));
  }
  return TrimBlanks(text);
}

TQzSMTP::TQzSMTP() {
  Port = 25;
  TimeOut = 0;
}

void TQzSMTP::packetSent() {
  if (OnPacketSent) OnPacketSent(*this);
}

std::string TQzSMTP::replyText() const {
  std::string_view text = LastReply;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return std::string(text);
}

void TQzSMTP::finishReply(bool closeIsReply) {
  // "250-first" or " more" goes on; only the last line has the final code.
  const auto goesOn = [](const std::string& line) {
    return !line.empty() && (line[0] == ' ' || (line.size() >= 4 && line[3] == '-'));
  };
  while (goesOn(LastReply)) takeReply(ReadLn());
  if (LastReply.empty() && !closeIsReply) throw MailError("Connection closed by the server");
}

void TQzSMTP::command(const std::string& line, bool closeIsReply) {
  Transaction(line);
  finishReply(closeIsReply);
}

std::string TQzSMTP::GreetingName() {
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "localhost";
  std::string name = host;
  if (name.find('.') == std::string::npos) {
    // The canonical name, from the hosts file or the resolver.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &found) == 0 && found != nullptr) {
      if (found->ai_canonname != nullptr && std::string(found->ai_canonname).find('.') != std::string::npos)
        name = found->ai_canonname;
      ::freeaddrinfo(found);
    }
  }
  name = CleanCommandArgument(name);
  return name.empty() ? "localhost" : name;
}

void TQzSMTP::Connect() {
  TPowersock::Connect();
  try {
    takeReply(ReadLn());
    finishReply(false);
    if (ReplyNumber >= 400) throw MailError(replyText());
    for (bool firstAttempt = true;; firstAttempt = false) {
      const std::string name = CleanCommandArgument(UserID);
      command("HELO " + (name.empty() ? GreetingName() : name));
      if (ReplyNumber < 300) break;
      bool handled = false;
      if (firstAttempt && OnAuthenticationFailed) OnAuthenticationFailed(*this, handled);
      if (!handled) throw MailError("Authentication failed");
    }
  } catch (...) {
    try {
      Disconnect();
    } catch (...) {
    }
    throw;
  }
  if (OnConnect) OnConnect(*this);
}

void TQzSMTP::Disconnect() {
  try {
    if (CheckConnection()) {
      command("QUIT", true);
      if (ReplyNumber > 339) throw MailError(replyText());
    }
  } catch (...) {
    TPowersock::Disconnect();
    throw;
  }
  TPowersock::Disconnect();
}

int TQzSMTP::missingPart() const {
  if (CleanCommandArgument(PostMessage.FromAddress).empty()) return 1;
  for (const auto* list : {&PostMessage.ToAddress, &PostMessage.ToCarbonCopy, &PostMessage.ToBlindCarbonCopy})
    for (const std::string& entry : *list)
      if (!CleanCommandArgument(ExtractAddress(entry)).empty()) return 0;
  return 2;
}

void TQzSMTP::SendMail() {
  if (m_busy) return;
  BusyScope busy(m_busy);

  std::string body;
  ComposeMessage(body);
  if (!CheckConnection()) {
    if (OnConnectionRequired) OnConnectionRequired(*this);
    if (!CheckConnection()) throw MailError("Not Connected");
  }
  if (const int missing = missingPart(); missing != 0) {
    bool handled = false;
    if (OnHeaderIncomplete) OnHeaderIncomplete(*this, handled, missing);
    if (!handled || missingPart() != 0) throw MailError("Incomplete Header");
    ComposeMessage(body);  // with what the handler filled in
  }
  if (OnSendStart) OnSendStart(*this);

  // A reply that came after an earlier time-out would answer the wrong command.
  clearAbort();
  clearInput();
  command("RSET");
  if (ReplyNumber >= 400) throw MailError(replyText());
  command("MAIL FROM:<" + CleanCommandArgument(PostMessage.FromAddress) + ">");
  if (ReplyNumber >= 400) throw MailError(replyText());
  for (const auto* list :
       {&PostMessage.ToAddress, &PostMessage.ToCarbonCopy, &PostMessage.ToBlindCarbonCopy}) {
    for (const std::string& entry : *list) {
      const std::string address = CleanCommandArgument(ExtractAddress(entry));
      if (address.empty()) continue;
      command("RCPT TO:<" + address + ">");
      if (ReplyNumber > 300 && OnRecipientNotFound) OnRecipientNotFound(*this, entry);
    }
  }
  command("DATA");
  if (ReplyNumber >= 400) throw MailError(replyText());

  std::string message;
  for (const std::string& line : FinalHeader.Lines) message += line + "\r\n";
  message += "\r\n\r\n";
  message += body;
  status(4, "Sending Buffer");
  SendStream(message);
  command(".");
  if (ReplyNumber >= 400) {
    if (OnFailure) OnFailure(*this);
    throw MailError(replyText());
  }
  if (ClearParams) {
    PostMessage.ToAddress.clear();
    PostMessage.ToCarbonCopy.clear();
    PostMessage.ToBlindCarbonCopy.clear();
    PostMessage.Attachments.clear();
  }
  if (OnSuccess) OnSuccess(*this);
}

std::string TQzSMTP::textLines(const std::vector<std::string>& lines, bool sevenBit) const {
  std::string out;
  for (const std::string& line : lines) {
    const std::vector<std::string> pieces = sevenBit ? BreakLine(line) : QuotedPrintableLines(line);
    for (const std::string& piece : pieces) out += DotStuffed(piece) + "\r\n";
  }
  return out;
}

void TQzSMTP::appendAttachment(std::string& body, const std::string& path) {
  // The reader's own file, attached by the reader: read from anywhere, but
  // only a regular file and no more than a mail can carry.
  const std::optional<std::string> bytes = ReadFileBytes(path, FileKind::Attachment);
  if (!bytes) {
    if (OnAttachmentNotFound) OnAttachmentNotFound(*this, path);
    throw MailError("Cannot open file \"" + path + "\"");
  }
  const std::string name = ParameterName(path);
  body += "--" + m_boundary + "\r\n";
  body += "Content-Type: application/octet-stream; name=\"" + name + "\"\r\n";
  body += "Content-Transfer-Encoding: base64\r\n";
  body += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n";
  if (OnEncodeStart) OnEncodeStart(*this, path);
  body += TQzUUProcessor::EncodeMimeLines(*bytes);
  if (OnEncodeEnd) OnEncodeEnd(*this, path);
}

void TQzSMTP::ComposeMessage(std::string& body) {
  const TPostMessage& m = PostMessage;
  const std::vector<std::string> lines = BodyLines(m.Body);
  bool sevenBit = IsSevenBit(m.Subject) && IsSevenBit(m.FromName);
  for (const std::string& line : lines) sevenBit = sevenBit && IsSevenBit(line);
  // The form's label is kept for 7-bit text only: anything else is UTF-8.
  const std::string charset = sevenBit ? Charset : "UTF-8";
  const bool multipart = !m.Attachments.empty();

  FinalHeader.Clear();
  FinalHeader.Lines.push_back("From: " + EncodeDisplayName(CleanHeaderValue(m.FromName), 6) + "<" +
                              CleanHeaderValue(m.FromAddress) + ">");
  for (const auto& [name, list] : {std::pair{"To: ", &m.ToAddress}, std::pair{"CC: ", &m.ToCarbonCopy}}) {
    std::vector<std::string> entries;
    for (const std::string& entry : *list) {
      const std::string clean = CleanHeaderValue(entry);
      if (!TrimBlanks(clean).empty()) entries.push_back(EncodeAddressEntry(clean));
    }
    if (!entries.empty()) FinalHeader.Lines.push_back(AddressListLine(name, entries));
  }
  FinalHeader.SetValue("Subject", EncodeHeaderText(CleanHeaderValue(m.Subject), 9));
  FinalHeader.SetValue("X-Mailer", CleanHeaderValue(m.LocalProgram));
  FinalHeader.SetValue("Reply-To", CleanHeaderValue(m.ReplyTo));
  FinalHeader.SetValue("Date", CleanHeaderValue(m.Date));
  FinalHeader.Lines.push_back("Mime-Version: 1.0");

  const std::string qpLine = "Content-Transfer-Encoding: quoted-printable";
  body.clear();
  if (!multipart) {
    FinalHeader.Lines.push_back(std::string("Content-Type: ") + ContentTypeOf(SubType) +
                                "; charset=" + charset);
    if (!sevenBit) FinalHeader.Lines.push_back(qpLine);
    body = textLines(lines, sevenBit);
    return;
  }
  m_boundary = NewBoundary();
  FinalHeader.Lines.push_back("Content-Type: multipart/mixed; boundary=\"" + m_boundary + "\"");
  body += "--" + m_boundary + "\r\n";
  body += "Content-Type: text/plain; charset=" + charset + "\r\n";
  if (!sevenBit) body += qpLine + "\r\n";
  body += "\r\n";
  body += textLines(lines, sevenBit);
  for (const std::string& path : m.Attachments) appendAttachment(body, path);
  body += "--" + m_boundary + "--\r\n";
}

}  // namespace pagemoor
