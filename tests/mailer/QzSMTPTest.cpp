#include "mailer/QzSMTP.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "FakeSmtpServer.h"
#include "HookPlatform.h"
#include "MailDecoding.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::FakeSmtpServer;
using test::ScriptedReply;
using test::SplitCrLf;
using Lines = std::vector<std::string>;

// The header section of message data (up to the first empty line).
Lines HeaderOf(const std::string& data) {
  Lines lines = SplitCrLf(data);
  lines.resize(std::find(lines.begin(), lines.end(), "") - lines.begin());
  return lines;
}

// A client aimed at a fresh fake server with a small 7-bit message.
class QzSMTPTest : public ::testing::Test {
 protected:
  QzSMTPTest() {
    smtp.Host = "127.0.0.1";
    smtp.Port = server.port();
    smtp.UserID = "client.test";
    TPostMessage& m = smtp.PostMessage;
    m.FromName = "Reader";
    m.FromAddress = "reader@x.test";
    m.ToAddress = {"a@x.test", "Bee <b@x.test>"};
    m.ToCarbonCopy = {"c@x.test"};
    m.ToBlindCarbonCopy = {"hidden@x.test"};
    m.Subject = "Hello";
    m.LocalProgram = "Pagemoor 2803";
    m.Date = "Mon, 1 Jan 2024 10:00:00 +0100";
    m.Body = {"First line", ".", ".dot", "", "last"};
    smtp.OnConnect = [this](TQzSMTP&) { events.push_back("connect"); };
    smtp.OnSendStart = [this](TQzSMTP&) { events.push_back("start"); };
    smtp.OnSuccess = [this](TQzSMTP&) { events.push_back("success"); };
    smtp.OnFailure = [this](TQzSMTP&) { events.push_back("failure"); };
    smtp.OnRecipientNotFound = [this](TQzSMTP&, const std::string& r) { events.push_back("not found " + r); };
  }

  template <typename F>
  std::string errorOf(F f) {
    try {
      f();
    } catch (const MailError& e) {
      events.push_back("error");
      return e.what();
    }
    return "";
  }

  // The commands a plain SendMail of the fixture's message sends.
  static Lines mailCommands() {
    return {"RSET",
            "MAIL FROM:<reader@x.test>",
            "RCPT TO:<a@x.test>",
            "RCPT TO:<b@x.test>",
            "RCPT TO:<c@x.test>",
            "RCPT TO:<hidden@x.test>",
            "DATA",
            "."};
  }
  static Lines concat(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }

  Lines events;  // outlives the client, which reports as it goes
  FakeSmtpServer server;
  TQzSMTP smtp;
};

TEST_F(QzSMTPTest, SendsTheComposedMessageByteForByte) {
  smtp.Connect();
  smtp.SendMail();
  smtp.Disconnect();
  EXPECT_EQ(server.commands(), concat(concat({"HELO client.test"}, mailCommands()), {"QUIT"}));
  EXPECT_EQ(server.data(),
            "From: Reader<reader@x.test>\r\n"
            "To: a@x.test,Bee <b@x.test>\r\n"
            "CC: c@x.test\r\n"
            "Subject: Hello\r\n"
            "X-Mailer: Pagemoor 2803\r\n"
            "Date: Mon, 1 Jan 2024 10:00:00 +0100\r\n"
            "Mime-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=us-ascii\r\n"
            "\r\n"
            "\r\n"
            "First line\r\n"
            "..\r\n"
            "..dot\r\n"
            "\r\n"
            "last\r\n");
  EXPECT_EQ(events, (Lines{"connect", "start", "success"}));
  EXPECT_TRUE(smtp.PostMessage.ToAddress.empty());
  EXPECT_TRUE(smtp.PostMessage.ToCarbonCopy.empty());
  EXPECT_TRUE(smtp.PostMessage.ToBlindCarbonCopy.empty());
  EXPECT_FALSE(smtp.Connected());
}

TEST_F(QzSMTPTest, HeaderFollowsTheOptionalFieldsAndTheTextType) {
  struct Case {
    TSubType type;
    std::string replyTo, date, program;
    Lines tail;  // the header after To and CC
  };
  const Case cases[] = {
      {TSubType::mtHtml,
       "r@x.test",
       "",
       "P",
       {"Subject: Hello", "X-Mailer: P", "Reply-To: r@x.test", "Mime-Version: 1.0",
        "Content-Type: text/html; charset=us-ascii"}},
      {TSubType::mtEnriched,
       "",
       "D",
       "",
       {"Subject: Hello", "Date: D", "Mime-Version: 1.0", "Content-Type: text/enriched; charset=us-ascii"}},
      {TSubType::mtSgml,
       "",
       "",
       "",
       {"Subject: Hello", "Mime-Version: 1.0", "Content-Type: text/sgml; charset=us-ascii"}},
      {TSubType::mtTabSeperated,
       "",
       "",
       "",
       {"Subject: Hello", "Mime-Version: 1.0", "Content-Type: text/tab-separated-values; charset=us-ascii"}},
  };
  for (const Case& c : cases) {
    smtp.SubType = c.type;
    smtp.PostMessage.ReplyTo = c.replyTo;
    smtp.PostMessage.Date = c.date;
    smtp.PostMessage.LocalProgram = c.program;
    std::string body;
    smtp.ComposeMessage(body);
    EXPECT_EQ(smtp.FinalHeader.Lines,
              concat({"From: Reader<reader@x.test>", "To: a@x.test,Bee <b@x.test>", "CC: c@x.test"}, c.tail));
  }
  // Without a name, CC or subject.
  smtp.PostMessage.FromName.clear();
  smtp.PostMessage.ToCarbonCopy.clear();
  smtp.PostMessage.Subject.clear();
  std::string body;
  smtp.ComposeMessage(body);
  EXPECT_EQ(Lines(smtp.FinalHeader.Lines.begin(), smtp.FinalHeader.Lines.begin() + 3),
            (Lines{"From: <reader@x.test>", "To: a@x.test,Bee <b@x.test>", "Mime-Version: 1.0"}));
}

TEST_F(QzSMTPTest, ClearParamsOffKeepsTheRecipients) {
  smtp.ClearParams = false;
  smtp.Connect();
  smtp.SendMail();
  EXPECT_EQ(smtp.PostMessage.ToAddress.size(), 2u);
  EXPECT_EQ(smtp.PostMessage.ToBlindCarbonCopy.size(), 1u);
}

TEST_F(QzSMTPTest, AttachmentsGoAsMultipartWithBase64Lines) {
  test::TempFolder temp;
  std::string bytes;
  for (int i = 0; i < 100; ++i) bytes += static_cast<char>(i * 37);
  const std::string small = temp.write("notes.txt", "Hello attachment\n");
  const std::string big = temp.write("sub/picture.bin", bytes);
  smtp.PostMessage.Attachments = {small, big};
  smtp.OnEncodeStart = [this](TQzSMTP&, const std::string& f) { events.push_back("encode " + f); };
  smtp.OnEncodeEnd = [this](TQzSMTP&, const std::string& f) { events.push_back("encoded " + f); };
  smtp.Connect();
  smtp.SendMail();

  const Lines header = HeaderOf(server.data());
  ASSERT_EQ(header.size(), 8u);
  // boundary="" around twenty "=", "54535", six letters a..y and "===="
  const std::string typeLine = "Content-Type: multipart/mixed; boundary=\"";
  ASSERT_TRUE(header[7].starts_with(typeLine) && header[7].ends_with("\"")) << header[7];
  const std::string b = header[7].substr(typeLine.size(), header[7].size() - typeLine.size() - 1);
  ASSERT_EQ(b.size(), 35u) << b;
  EXPECT_EQ(b.substr(0, 25), std::string(20, '=') + "54535");
  EXPECT_TRUE(std::all_of(b.begin() + 25, b.begin() + 31, [](char c) { return c >= 'a' && c <= 'y'; })) << b;
  EXPECT_EQ(b.substr(31), "====");
  const std::string big64 = server.data().substr(server.data().find("filename=\"picture.bin\"\r\n\r\n") + 26);
  const Lines bigLines = SplitCrLf(big64.substr(0, big64.find("--" + b)));
  ASSERT_EQ(bigLines.size(), 3u);
  EXPECT_EQ(bigLines[0].size(), 60u);
  EXPECT_EQ(bigLines[1].size(), 60u);
  EXPECT_EQ(test::DecodeBase64(bigLines[0] + bigLines[1] + bigLines[2]), bytes);

  const std::string body = server.data().substr(server.data().find("\r\n\r\n") + 4);
  EXPECT_EQ(body,
            "\r\n"
            "--" +
                b +
                "\r\n"
                "Content-Type: text/plain; charset=us-ascii\r\n"
                "\r\n"
                "First line\r\n"
                "..\r\n"
                "..dot\r\n"
                "\r\n"
                "last\r\n"
                "--" +
                b +
                "\r\n"
                "Content-Type: application/octet-stream; name=\"notes.txt\"\r\n"
                "Content-Transfer-Encoding: base64\r\n"
                "Content-Disposition: attachment; filename=\"notes.txt\"\r\n"
                "\r\n"
                "SGVsbG8gYXR0YWNobWVudAo=\r\n"
                "--" +
                b +
                "\r\n"
                "Content-Type: application/octet-stream; name=\"picture.bin\"\r\n"
                "Content-Transfer-Encoding: base64\r\n"
                "Content-Disposition: attachment; filename=\"picture.bin\"\r\n"
                "\r\n" +
                bigLines[0] + "\r\n" + bigLines[1] + "\r\n" + bigLines[2] +
                "\r\n"
                "--" +
                b + "--\r\n");
  // The message is composed before the sending starts.
  EXPECT_EQ(events, (Lines{"connect", "encode " + small, "encoded " + small, "encode " + big,
                           "encoded " + big, "start", "success"}));
  EXPECT_TRUE(smtp.PostMessage.Attachments.empty());

  // Each message gets a boundary of its own.
  smtp.PostMessage.Attachments = {small};
  std::string again;
  smtp.ComposeMessage(again);
  EXPECT_EQ(again.find("--" + b), std::string::npos);
}

TEST_F(QzSMTPTest, AMissingAttachmentStopsTheMailBeforeAnyCommand) {
  smtp.PostMessage.Attachments = {"/nonexistent/folder/file.zip"};
  smtp.OnAttachmentNotFound = [this](TQzSMTP&, const std::string& f) { events.push_back("missing " + f); };
  smtp.Connect();
  EXPECT_NE(errorOf([&] { smtp.SendMail(); }), "");
  EXPECT_EQ(events, (Lines{"connect", "missing /nonexistent/folder/file.zip", "error"}));
  EXPECT_EQ(server.commands(), Lines{"HELO client.test"});
  smtp.PostMessage.Attachments.clear();
  smtp.SendMail();  // not left busy
  EXPECT_EQ(events.back(), "success");
}

TEST_F(QzSMTPTest, TextThatIsNotSevenBitGoesAsUtf8) {
  smtp.Charset = "iso-8859";  // what the form labels its text with
  smtp.PostMessage.FromName = "Čtenář";
  smtp.PostMessage.Subject = "Žádost o zaslání čísla";
  std::string longLine;
  for (int i = 0; i < 8; ++i) longLine += "Příliš žluťoučký kůň úpěl ďábelské ódy. ";
  smtp.PostMessage.Body = {"Dobrý den,", ".tečka", longLine, "", "S pozdravem"};
  test::TempFolder temp;
  for (bool withAttachment : {false, true}) {
    smtp.PostMessage.ToAddress = {"a@x.test"};
    smtp.PostMessage.Attachments.clear();
    if (withAttachment) smtp.PostMessage.Attachments = {temp.write("a.txt", "x")};
    std::string body;
    smtp.ComposeMessage(body);
    const Lines& h = smtp.FinalHeader.Lines;
    EXPECT_EQ(test::DecodeEncodedWords(h[0].substr(6)), "Čtenář<reader@x.test>");
    EXPECT_EQ(test::DecodeEncodedWords(h[3].substr(9)), "Žádost o zaslání čísla");
    EXPECT_TRUE(h[0].starts_with("From: =?UTF-8?B?"));
    EXPECT_TRUE(h[3].starts_with("Subject: =?UTF-8?B?"));

    std::string text = body;
    if (withAttachment) {
      EXPECT_TRUE(h.back().starts_with("Content-Type: multipart/mixed"));
      const std::string partHead =
          "Content-Type: text/plain; charset=UTF-8\r\n"
          "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
      const std::size_t at = body.find(partHead);
      ASSERT_NE(at, std::string::npos);
      text = body.substr(at + partHead.size());
      text = text.substr(0, text.find("--===="));
    } else {
      EXPECT_EQ(Lines(h.end() - 2, h.end()), (Lines{"Content-Type: text/plain; charset=UTF-8",
                                                    "Content-Transfer-Encoding: quoted-printable"}));
    }
    for (const std::string& line : SplitCrLf(text))
      EXPECT_LE(line.size(), 77u) << line;  // 76 and a stuffed dot
    EXPECT_TRUE(text.find("\r\n..te=C4=8Dka\r\n") != std::string::npos);
    std::string unstuffed;
    for (const std::string& line : SplitCrLf(text))
      unstuffed += (line.starts_with("..") ? line.substr(1) : line) + "\r\n";
    EXPECT_EQ(test::DecodeQuotedPrintable(unstuffed),
              "Dobrý den,\r\n.tečka\r\n" + longLine + "\r\n\r\nS pozdravem\r\n");
    EXPECT_EQ(body.find("iso-8859"), std::string::npos);
  }
}

TEST_F(QzSMTPTest, SevenBitLinesAreCutAndLoneLineFeedsBreak) {
  const std::string longLine = std::string(997, 'a') + "bc" + std::string(1000, 'd');
  smtp.PostMessage.Body = {longLine, "one\ntwo\r\nthree\rfour", ".\n."};
  std::string body;
  smtp.ComposeMessage(body);
  EXPECT_EQ(SplitCrLf(body), (Lines{std::string(997, 'a') + "b", "c" + std::string(997, 'd'), "ddd", "one",
                                    "two", "three", "four", "..", ".."}));
}

// A mail to a whole address book keeps every header line within SMTP's limit;
// the recipients' commands are the same as for a short list.
TEST_F(QzSMTPTest, LongHeadersAreFoldedWithinTheLineLimit) {
  TPostMessage& m = smtp.PostMessage;
  m.ToAddress.clear();
  Lines rcpt;
  for (int i = 0; i < 80; ++i) {
    m.ToAddress.push_back("Reader " + std::to_string(i) + " <r" + std::to_string(i) + "@x.test>");
    rcpt.push_back("RCPT TO:<r" + std::to_string(i) + "@x.test>");
  }
  m.ToCarbonCopy.clear();
  m.ToBlindCarbonCopy.clear();
  m.Subject.clear();
  for (int i = 0; i < 150; ++i) m.Subject += "news" + std::to_string(i) + " ";
  smtp.Connect();
  smtp.SendMail();
  EXPECT_EQ(server.commands("RCPT"), rcpt);
  const Lines header = HeaderOf(server.data());
  ASSERT_GT(header.size(), 20u);
  for (const std::string& line : header) EXPECT_LE(line.size(), 78u) << line;
  std::string subject;
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (!header[i].starts_with("Subject: ")) continue;
    subject = header[i].substr(9);
    while (i + 1 < header.size() && header[i + 1].starts_with(" ")) subject += header[++i];
  }
  EXPECT_EQ(subject, m.Subject);
}

TEST_F(QzSMTPTest, LineBreaksInTypedFieldsCannotAddHeadersOrCommands) {
  TPostMessage& m = smtp.PostMessage;
  smtp.UserID = "client.test\r\nMAIL FROM:<evil@y.test>";
  m.FromName = "Reader\r\nBcc: victim@y.test";
  m.FromAddress = "reader@x.test>\r\nRCPT TO:<victim@y.test";
  m.Subject = "Hi\r\n\r\nInjected body";
  m.ToAddress = {"<a@x.test>\nRCPT TO:<victim@y.test>"};
  m.ToCarbonCopy = {"c@x.test\r\n.\r\nQUIT"};
  m.ToBlindCarbonCopy.clear();
  m.ReplyTo = "r@x.test\nX-Evil: 1";
  m.Date = "today\rX-Evil: 2";
  m.LocalProgram = "P\n\nX-Evil: 3";
  smtp.Connect();
  smtp.SendMail();
  EXPECT_EQ(server.commands(), (Lines{"HELO client.testMAIL FROM:<evil@y.test>", "RSET",
                                      "MAIL FROM:<reader@x.test>RCPT TO:<victim@y.test>",
                                      "RCPT TO:<a@x.test>", "RCPT TO:<c@x.test.QUIT>", "DATA", "."}));
  EXPECT_EQ(
      HeaderOf(server.data()),
      (Lines{"From: \"Reader Bcc: victim@y.test\"<reader@x.test> RCPT TO:<victim@y.test>",
             "To: <a@x.test> RCPT TO:<victim@y.test>", "CC: c@x.test . QUIT", "Subject: Hi Injected body",
             "X-Mailer: P X-Evil: 3", "Reply-To: r@x.test X-Evil: 1", "Date: today X-Evil: 2",
             "Mime-Version: 1.0", "Content-Type: text/plain; charset=us-ascii"}));
}

// --- The dialogue -----------------------------------------------------------

TEST_F(QzSMTPTest, GreetingsOfSeveralLinesAreReadToTheEnd) {
  const ScriptedReply greetings[] = {
      {"220-fake.test\r\n220-second\r\n220 ready\r\n"},
      {"220-fake.test\r\n old style\r\n220 ready\r\n"},
      {"220-fake.test\r\n220 ready\r\n", false, true},
  };
  for (const ScriptedReply& g : greetings) {
    server.greet(g);
    smtp.Connect();
    EXPECT_EQ(smtp.LastReply, "250 fake.test\r\n");  // the reply to HELO, not a greeting line
    smtp.Disconnect();
  }
  EXPECT_EQ(server.commands(),
            (Lines{"HELO client.test", "QUIT", "HELO client.test", "QUIT", "HELO client.test", "QUIT"}));
}

TEST_F(QzSMTPTest, AGreetingThatFailsDisconnects) {
  const std::pair<ScriptedReply, std::string> cases[] = {
      {{"554-fake.test\r\n554 No service\r\n"}, "554 No service"},
      {{"421 Busy\r\n", true}, "421 Busy"},
      {{"220-fake.test\r\n220 half", true}, "Connection closed by the server"},
      {{"", true}, "Connection closed by the server"},
  };
  for (const auto& [greeting, error] : cases) {
    server.greet(greeting);
    events.clear();
    EXPECT_EQ(errorOf([&] { smtp.Connect(); }), error);
    EXPECT_FALSE(smtp.Connected());
    EXPECT_EQ(events, Lines{"error"});
  }
  // Only the server that stayed got a QUIT.
  EXPECT_EQ(server.commands(), Lines{"QUIT"});
}

TEST_F(QzSMTPTest, ARefusedHeloAsksTheHandlerOnce) {
  struct Case {
    bool hasHandler, handled;
    Lines replies;
    std::string error;
    Lines commands;
  };
  const Case cases[] = {
      {false, false, {"501 Syntax\r\n"}, "Authentication failed", {"HELO client.test", "QUIT"}},
      {true, false, {"501 Syntax\r\n"}, "Authentication failed", {"HELO client.test", "QUIT"}},
      {true, true, {"501 Syntax\r\n"}, "", {"HELO client.test", "HELO other.test"}},
      {true,
       true,
       {"550-No\r\n550 Never\r\n", "550 Never\r\n"},
       "Authentication failed",
       {"HELO client.test", "HELO other.test", "QUIT"}},
  };
  for (const Case& c : cases) {
    FakeSmtpServer own;
    smtp.Port = own.port();
    smtp.UserID = "client.test";
    for (const std::string& r : c.replies) own.reply("HELO", {r});
    int asked = 0;
    smtp.OnAuthenticationFailed = nullptr;
    if (c.hasHandler)
      smtp.OnAuthenticationFailed = [&](TQzSMTP& s, bool& handled) {
        ++asked;
        s.UserID = "other.test";
        handled = c.handled;
      };
    EXPECT_EQ(errorOf([&] { smtp.Connect(); }), c.error);
    EXPECT_EQ(asked, c.hasHandler ? 1 : 0);
    EXPECT_EQ(smtp.Connected(), c.error.empty());
    EXPECT_EQ(own.commands(), c.commands);
    smtp.Disconnect();
  }
}

TEST_F(QzSMTPTest, ARefusedRecipientIsReportedAndTheMailGoesOn) {
  server.reply("RCPT", {"250 OK\r\n"});
  server.reply("RCPT", {"550-No such\r\n550 user\r\n"});
  smtp.Connect();
  smtp.SendMail();
  EXPECT_EQ(events, (Lines{"connect", "start", "not found Bee <b@x.test>", "success"}));
  EXPECT_EQ(server.commands(), concat({"HELO client.test"}, mailCommands()));
}

TEST_F(QzSMTPTest, ErrorRepliesStopTheMailButKeepTheConnection) {
  const std::pair<std::string, std::string> cases[] = {
      {"RSET", "421 Closing soon"},
      {"MAIL", "553 Sender refused"},
      {"DATA", "554 No valid recipients"},
  };
  smtp.ClearParams = false;
  smtp.Connect();
  for (const auto& [word, reply] : cases) {
    server.reply(word, {reply + "\r\n"});
    events.clear();
    EXPECT_EQ(errorOf([&] { smtp.SendMail(); }), reply);
    EXPECT_EQ(events, (Lines{"start", "error"}));
    EXPECT_TRUE(smtp.Connected());
  }
  smtp.SendMail();
  EXPECT_EQ(events.back(), "success");
  const Lines commands = server.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "."), 1);
}

TEST_F(QzSMTPTest, AnErrorAfterTheDataRaisesOnFailureFirst) {
  server.reply(".", {"552 Too big\r\n"});
  smtp.Connect();
  EXPECT_EQ(errorOf([&] { smtp.SendMail(); }), "552 Too big");
  EXPECT_EQ(events, (Lines{"connect", "start", "failure", "error"}));
  EXPECT_EQ(smtp.PostMessage.ToAddress.size(), 2u);  // nothing cleared
  EXPECT_TRUE(smtp.Connected());
}

TEST_F(QzSMTPTest, QuitRepliesAboveTheLimitRaiseButStillClose) {
  const std::pair<ScriptedReply, std::string> cases[] = {
      {{"221 Bye\r\n", true}, ""},
      {{"250 OK\r\n"}, ""},
      {{"", true}, ""},  // closed without a word
      {{"421 Closing\r\n"}, "421 Closing"},
  };
  for (const auto& [reply, error] : cases) {
    server.reply("QUIT", reply);
    smtp.Connect();
    EXPECT_EQ(errorOf([&] { smtp.Disconnect(); }), error);
    EXPECT_FALSE(smtp.Connected());
  }
}

TEST_F(QzSMTPTest, AServerThatClosesMidReplyEndsTheMail) {
  server.reply("MAIL", {"250-first\r\n", true});
  smtp.Connect();
  EXPECT_EQ(errorOf([&] { smtp.SendMail(); }), "Connection closed by the server");
  EXPECT_FALSE(smtp.Connected());
}

TEST_F(QzSMTPTest, ASilentServerIsLeftWhenTheTimeRunsOutOrTheWindowCloses) {
  test::HookPlatform platform;
  ScopedPlatform use(platform);
  server.greet(std::nullopt);
  for (bool byWindow : {false, true}) {
    smtp.TimeOut = byWindow ? 0 : 200;
    // The window closes while the greeting is awaited.
    platform.onEvents = [&] {
      if (byWindow && smtp.Connected()) smtp.Abort();
    };
    EXPECT_EQ(errorOf([&] { smtp.Connect(); }), "Socket readln aborted");
    EXPECT_FALSE(smtp.Connected());
  }
  EXPECT_EQ(server.connections(), 2);
  EXPECT_EQ(server.commands(), Lines{});  // no QUIT that would wait again
}

TEST_F(QzSMTPTest, AReplyThatComesAfterATimeOutIsNotTakenForTheNext) {
  server.reply("RSET", {"250 Late\r\n", false, false, 400});
  smtp.TimeOut = 150;
  smtp.ClearParams = false;
  smtp.Connect();
  EXPECT_EQ(errorOf([&] { smtp.SendMail(); }), "Socket readln aborted");
  EXPECT_TRUE(smtp.Connected());
  for (int i = 0; i < 500 && server.repliesSent() < 3; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  smtp.SendMail();
  EXPECT_EQ(smtp.LastReply, "250 OK queued\r\n");
  EXPECT_EQ(events.back(), "success");
}

TEST_F(QzSMTPTest, SendingWithoutAConnectionAsksForOne) {
  for (bool connects : {false, true}) {
    events.clear();
    smtp.OnConnectionRequired = [&](TQzSMTP& s) {
      events.push_back("required");
      if (connects) s.Connect();
    };
    EXPECT_EQ(errorOf([&] { smtp.SendMail(); }), connects ? "" : "Not Connected");
    EXPECT_EQ(events,
              connects ? (Lines{"required", "connect", "start", "success"}) : (Lines{"required", "error"}));
  }
}

TEST_F(QzSMTPTest, AnIncompleteHeaderAsksTheHandlerOnce) {
  struct Case {
    std::string from;
    bool recipients;
    int type;
    bool fills;
    std::string error;
  };
  const Case cases[] = {
      {"", true, 1, false, "Incomplete Header"},
      {"\r\n", true, 1, false, "Incomplete Header"},
      {"reader@x.test", false, 2, false, "Incomplete Header"},
      {"", false, 1, true, ""},
      {"reader@x.test", false, 2, true, ""},
  };
  smtp.Connect();
  for (const Case& c : cases) {
    smtp.PostMessage.FromAddress = c.from;
    smtp.PostMessage.ToAddress = c.recipients ? Lines{"a@x.test"} : Lines{"", " "};
    smtp.PostMessage.ToCarbonCopy.clear();
    smtp.PostMessage.ToBlindCarbonCopy.clear();
    std::vector<int> types;
    smtp.OnHeaderIncomplete = [&](TQzSMTP& s, bool& handled, int type) {
      types.push_back(type);
      handled = true;
      if (!c.fills) return;
      s.PostMessage.FromAddress = "reader@x.test";
      s.PostMessage.ToAddress = {"late@x.test"};
    };
    EXPECT_EQ(errorOf([&] { smtp.SendMail(); }), c.error) << c.type;
    EXPECT_EQ(types, std::vector<int>{c.type});
  }
  // The message composed after the handler names the late recipient.
  EXPECT_NE(server.data().find("To: late@x.test\r\n"), std::string::npos);
}

TEST_F(QzSMTPTest, ASecondSendFromInsideAWaitIsIgnored) {
  test::HookPlatform platform;
  ScopedPlatform use(platform);
  server.reply("RSET", {"250 OK\r\n", false, false, 20});  // a wait for sure
  smtp.Connect();
  int inner = 0;
  platform.onEvents = [&] {
    ++inner;
    smtp.SendMail();
  };
  smtp.SendMail();
  platform.onEvents = nullptr;
  EXPECT_GT(inner, 0);
  EXPECT_EQ(events, (Lines{"connect", "start", "success"}));
  const Lines commands = server.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "DATA"), 1);
}

TEST_F(QzSMTPTest, StatusShowsEveryReplyLine) {
  server.greet(ScriptedReply{"220-fake.test\r\n220 ready\r\n"});
  Lines statuses;
  smtp.ReportLevel = 4;
  smtp.OnStatus = [&](TPowersock&, const std::string& s) { statuses.push_back(s); };
  smtp.Connect();
  smtp.SendMail();
  smtp.OnStatus = nullptr;
  EXPECT_EQ(statuses, (Lines{"220-fake.test", "220 ready", "250 fake.test", "250 OK", "250 OK", "250 OK",
                             "250 OK", "250 OK", "250 OK", "354 End data with <CR><LF>.<CR><LF>",
                             "Sending Buffer", "250 OK queued"}));
}

}  // namespace
}  // namespace pagemoor
