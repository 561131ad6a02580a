// TQzSMTP: the SMTP client of the mail form, on top of TPowersock. It composes
// the header and the MIME body itself and sends one message per SendMail.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "mailer/ExStringList.h"
#include "mailer/Powersock.h"

namespace pagemoor {

enum class TSubType { mtPlain, mtEnriched, mtSgml, mtTabSeperated, mtHtml };
enum class TEncodeType { uuMime };

struct TPostMessage {
  std::string FromAddress;
  std::string FromName;
  std::vector<std::string> ToAddress;
  std::vector<std::string> ToCarbonCopy;
  std::vector<std::string> ToBlindCarbonCopy;
  std::vector<std::string> Body;         // lines
  std::vector<std::string> Attachments;  // file paths
  std::string Subject;
  std::string LocalProgram;
  std::string Date;
  std::string ReplyTo;
};

// The address in a recipient entry: between the first "<" and the next ">";
// else between the first ":" and the next ":" (or the end); else the entry.
std::string ExtractAddress(const std::string& entry);

class TQzSMTP : public TPowersock {
 public:
  TQzSMTP();  // Port 25, TimeOut 0

  std::function<void(TQzSMTP& sender)> OnPacketSent;
  std::function<void(TQzSMTP& sender)> OnConnectionRequired;
  std::function<void(TQzSMTP& sender)> OnConnect;
  std::string UserID;  // sent with HELO; empty: GreetingName()
  TPostMessage PostMessage;
  TExStringList FinalHeader;
  TEncodeType EncodeType = TEncodeType::uuMime;
  bool ClearParams = true;
  TSubType SubType = TSubType::mtPlain;
  std::string Charset = "us-ascii";  // the label of 7-bit text; other text goes as UTF-8
  std::function<void(TQzSMTP& sender, const std::string& recipient)> OnRecipientNotFound;
  std::function<void(TQzSMTP& sender, bool& handled, int hiType)> OnHeaderIncomplete;
  std::function<void(TQzSMTP& sender)> OnSendStart;
  std::function<void(TQzSMTP& sender)> OnSuccess;
  std::function<void(TQzSMTP& sender)> OnFailure;
  std::function<void(TQzSMTP& sender, const std::string& fileName)> OnEncodeStart;
  std::function<void(TQzSMTP& sender, const std::string& fileName)> OnEncodeEnd;
  std::function<void(TQzSMTP& sender, const std::string& address)> OnMailListReturn;
  std::function<void(TQzSMTP& sender, const std::string& fileName)> OnAttachmentNotFound;
  std::function<void(TQzSMTP& sender, bool& handled)> OnAuthenticationFailed;

  // The name HELO gives when UserID is empty: this machine's host name, fully
  // qualified when it is known, else "localhost". Servers refuse a HELO
  // without a name.
  static std::string GreetingName();

  // Socket connect, greeting, HELO.
  void Connect();
  void SendMail();
  // QUIT, then the socket's Disconnect.
  void Disconnect();

  // The header lines and the body bytes SendMail sends (composed here so the
  // tests can read them without a server).
  void ComposeMessage(std::string& body);

  // LastReply without its line end: the text of an error.
  std::string replyText() const;

 protected:
  void packetSent() override;

 private:
  // Reads the lines after LastReply up to the last line of the reply; a
  // closed connection is an error unless `closeIsReply`.
  void finishReply(bool closeIsReply);
  // Transaction(line) and the rest of its reply.
  void command(const std::string& line, bool closeIsReply = false);
  // What keeps the message from being sent: 1 no sender, 2 no recipient, 0 none.
  int missingPart() const;
  // The text part: lines cut or encoded as the charset needs, dot-stuffed.
  std::string textLines(const std::vector<std::string>& lines, bool sevenBit) const;
  void appendAttachment(std::string& body, const std::string& path);

  bool m_busy = false;
  std::string m_boundary;
};

}  // namespace pagemoor
