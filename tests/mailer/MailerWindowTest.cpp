#include "mailer/MailerWindow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "FakeSmtpServer.h"
#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/IniLang.h"
#include "platform/AnswerQueue.h"
#include "platform/HeadlessPlatform.h"
#include "platform/ScriptedPlatform.h"
#include "support/FakePlatform.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"
#include "support/LogConsole.h"

namespace pagemoor {
namespace {

using test::FakeSmtpServer;
using test::FakeSmtpServerOnPort25;
using test::ScopedEnv;
using test::TempFolder;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Pair;
using Strings = std::vector<std::string>;

const QColor kLime(0, 255, 0);

// The lines of the message data the server received that begin with the text.
Strings DataLines(const FakeSmtpServer& smtp, const std::string& start) {
  Strings found;
  const std::string data = smtp.data();
  for (std::size_t at = 0, end; (end = data.find("\r\n", at)) != std::string::npos; at = end + 2) {
    const std::string line = data.substr(at, end - at);
    if (line.starts_with(start)) found.push_back(line);
  }
  return found;
}

// Five contacts: two with the same display text (the later address wins for
// both), one without a first name (it gets the default address), and names
// whose order depends on case.
constexpr const char* kContacts =
    "[common]\ncount=5\nmailersignaturestyle=%firstname% %lastname%\n"
    "[1]\nfirstname=Petr\nlastname=Zeman\nmail=petr@example.cz\n"
    "[2]\nfirstname=jana\nlastname=Adamová\nmail=jana@example.cz\n"
    "[3]\nfirstname=Eva\nlastname=Malá\nmail=eva@example.cz\n"
    "[4]\nfirstname=Petr\nlastname=Zeman\nmail=petr.druhy@example.cz\n"
    "[5]\nlastname=Bezejmenny\nmail=nikdy@example.cz\n";

// Boxes with the form's state at the moment each was shown, and a hook into
// the waits of the socket layer.
class MailerPlatform : public test::FakePlatform {
 public:
  void showInfo(const std::string& text) override {
    FakePlatform::showInfo(text);
    boxes.emplace_back(text, status ? status() : std::string());
  }
  void processEvents() override {
    FakePlatform::processEvents();
    if (onProcessEvents) onProcessEvents();
  }
  std::function<std::string()> status;
  std::function<void()> onProcessEvents;
  std::vector<std::pair<std::string, std::string>> boxes;  // text, status
};

// Every state the status panel painted, in order, without repeats.
class StatusRecorder : public QObject {
 public:
  explicit StatusRecorder(QLabel* panel) : m_panel(panel) {
    m_last = panel->text().toStdString();
    panel->installEventFilter(this);
  }
  Strings states;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == m_panel && event->type() == QEvent::Paint) {
      const std::string now = m_panel->text().toStdString();
      if (now != m_last) states.push_back(now);
      m_last = now;
    }
    return false;
  }

 private:
  QLabel* m_panel;
  std::string m_last;
};

// A project in development mode (the test's folder) with the address book, the
// mailer's settings from the environment, and a fake platform.
class MailerWindowTest : public ::testing::Test {
 protected:
  MailerWindowTest() {
    t.write("ini/contacts.ini", kContacts);
    fake.status = [this] { return frm.statusText(); };
  }
  void TearDown() override {
    SetLanguageFile(nullptr);
    ClearIniCache();
  }

  QPushButton* btnSend() const { return frm.findChild<QPushButton*>("btnSend"); }
  QLabel* statusPanel() const { return frm.SB1()->findChild<QLabel*>(); }
  Strings entries() const {
    Strings texts;
    for (int row = 0; row < frm.lsbContacts()->count(); ++row)
      texts.push_back(frm.lsbContacts()->item(row)->text().toStdString());
    return texts;
  }
  // Selects the nth entry (from 0) with this text.
  void select(const char* text, int nth = 0) {
    const auto found = frm.lsbContacts()->findItems(QString::fromUtf8(text), Qt::MatchExactly);
    ASSERT_GT(found.size(), nth) << text;
    found[nth]->setSelected(true);
  }
  // A mail from a reader with two lines of text, sent to the server by a click.
  void send(const std::string& server) {
    frm.edtSMTPServer()->setText(QString::fromStdString(server));
    frm.edtSenderEmail()->setText("ctenar@example.cz");
    frm.edtSubject()->setText("Pozdrav redakci");
    frm.memBody()->setPlainText("Prvni radek\nDruhy radek\n");
    btnSend()->click();
  }
  void showWindow() {
    frm.show();
    QApplication::processEvents();
  }
  // Escape pressed where the keyboard focus is: a control that leaves the key
  // passes it up to the window.
  static void pressEscape(QWidget* focus) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(focus, &escape);
  }
  struct CloseWay {
    const char* name;
    std::function<void()> close;
  };
  std::vector<CloseWay> closeWays() {
    return {
        {"the frame", [this] { frm.close(); }},
        {"btnZavrit", [this] { frm.findChild<QPushButton*>("btnZavrit")->click(); }},
        {"Escape in the message", [this] { pressEscape(frm.memBody()); }},
        {"Escape in the subject", [this] { pressEscape(frm.edtSubject()); }},
        {"Escape in the contacts", [this] { pressEscape(frm.lsbContacts()); }},
    };
  }

  TempFolder t;
  test::ScopedCommandLine commandLine{t.path() + "MAG.EXE", {"/develope"}};
  ScopedEnv configHome{"XDG_CONFIG_HOME", t.file("config").c_str()};
  ScopedEnv server{"PAGEMOOR_SMTP_SERVER", "smtp.redakce.cz"};
  ScopedEnv address{"PAGEMOOR_MAIL_ADDRESS", "redakce@example.cz"};
  MailerPlatform fake;
  ScopedPlatform usePlatform{fake};
  test::LogConsole console;
  TfrmMailer frm{console.sink};
};

// Skips a test when this run may not listen on port 25.
#define REQUIRE_LISTENING(server) \
  if (!(server).listening()) GTEST_SKIP() << (server).error()

TEST_F(MailerWindowTest, WindowAndControls) {
  EXPECT_EQ(frm.objectName(), "frmMailer");
  EXPECT_EQ(frm.modalName(), "frmMailer");
  EXPECT_EQ(frm.modalCaption(), "Pagemoor Mailer");
  EXPECT_EQ(frm.windowType(), Qt::Tool);
  for (Qt::WindowType hint : {Qt::CustomizeWindowHint, Qt::WindowTitleHint, Qt::WindowCloseButtonHint})
    EXPECT_TRUE(frm.windowFlags().testFlag(hint));
  for (Qt::WindowType hint : {Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint})
    EXPECT_FALSE(frm.windowFlags().testFlag(hint));
  EXPECT_EQ(frm.minimumSize(), QSize(534, 376));
  EXPECT_EQ(frm.maximumSize(), QSize(534, 376));
  EXPECT_EQ(frm.palette().color(QPalette::Window), QColor(Qt::black));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((frm.geometry().center() - screen.center()).manhattanLength(), 2);

  struct Control {
    const char* name;
    QRect geometry;  // labels: only the position counts
    const char* text;
  };
  const Control labels[] = {
      {"lblSenderName", QRect(8, 16, 0, 0), "Vaše Jméno:"},
      {"lblSenderEmail", QRect(8, 48, 0, 0), "Váš E-Mail:"},
      {"lblSubject", QRect(8, 80, 0, 0), "Předmět Zprávy:"},
      {"lblSMTPServer", QRect(8, 112, 0, 0), "SMTP Server:"},
      {"lblReceiver", QRect(296, 8, 0, 0), "Příjemce Zprávy:"},
      {"lblMessage", QRect(8, 144, 0, 0), "Zpráva:"},
  };
  for (const Control& c : labels) {
    SCOPED_TRACE(c.name);
    auto* label = frm.findChild<QLabel*>(c.name);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->pos(), c.geometry.topLeft());
    EXPECT_EQ(label->text(), QString::fromUtf8(c.text));
    EXPECT_EQ(label->palette().color(QPalette::WindowText), kLime);
  }
  const Control inputs[] = {
      {"edtSenderName", QRect(112, 8, 169, 24), ""},
      {"edtSenderEmail", QRect(112, 40, 169, 24), ""},
      {"edtSubject", QRect(112, 72, 169, 24), ""},
      {"edtSMTPServer", QRect(112, 104, 169, 24), "smtp.redakce.cz"},
      {"lsbContacts", QRect(296, 24, 233, 105), nullptr},
      {"memBody", QRect(8, 160, 393, 177), nullptr},
  };
  for (const Control& c : inputs) {
    SCOPED_TRACE(c.name);
    auto* widget = frm.findChild<QWidget*>(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), c.geometry);
    EXPECT_EQ(widget->font().family(), "Arial");
    EXPECT_EQ(widget->font().pixelSize(), 13);
    EXPECT_EQ(widget->palette().color(QPalette::Base), QColor(Qt::white));
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      EXPECT_EQ(edit->text().toStdString(), c.text);
    }
  }
  EXPECT_EQ(frm.edtSenderName(), frm.findChild<QLineEdit*>("edtSenderName"));
  EXPECT_EQ(frm.lsbContacts()->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_TRUE(frm.lsbContacts()->isSortingEnabled());

  auto* memo1 = frm.findChild<QPlainTextEdit*>("Memo1");
  ASSERT_NE(memo1, nullptr);
  EXPECT_EQ(memo1->geometry(), QRect(408, 160, 121, 145));
  EXPECT_TRUE(memo1->isReadOnly());
  EXPECT_EQ(memo1->palette().color(QPalette::Text), QColor(0, 255, 255));
  EXPECT_EQ(memo1->palette().color(QPalette::Base), QColor(Qt::black));
  EXPECT_EQ(
      memo1->toPlainText().toStdString(),
      "Jestliže nemáte \ne-mail, tak nechte \npole prázdné.\n\nPokud nevíte jaký \npoužít SMTP \nserver, \n"
      "tak tam nechte \nsmtp.redakce.cz");

  const Control buttons[] = {
      {"btnSend", QRect(408, 312, 121, 25), "Odeslat Zprávu"},
      {"btnZavrit", QRect(408, 132, 121, 25), "Zavřít"},
  };
  for (const Control& c : buttons) {
    SCOPED_TRACE(c.name);
    auto* button = frm.findChild<QPushButton*>(c.name);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->geometry(), c.geometry);
    EXPECT_EQ(button->text(), QString::fromUtf8(c.text));
    EXPECT_TRUE(button->isFlat());
    EXPECT_EQ(button->font().family(), "Arial");
    EXPECT_EQ(button->font().pixelSize(), 16);
    EXPECT_TRUE(button->font().bold());
    EXPECT_EQ(button->palette().color(QPalette::ButtonText), kLime);
    EXPECT_EQ(button->palette().color(QPalette::Button), QColor(Qt::black));
  }

  ASSERT_NE(frm.SB1(), nullptr);
  EXPECT_EQ(frm.SB1()->objectName(), "SB1");
  EXPECT_EQ(frm.SB1()->geometry(), QRect(0, 352, 534, 24));
  ASSERT_NE(statusPanel(), nullptr);
  EXPECT_GE(statusPanel()->minimumWidth(), 50);
  EXPECT_EQ(frm.statusText(), "");

  const TQzSMTP& smtp = frm.SMTP1();
  EXPECT_EQ(smtp.Port, 25);
  EXPECT_EQ(smtp.TimeOut, TfrmMailer::kTimeOutMs);
  EXPECT_EQ(smtp.Charset, "iso-8859");
  EXPECT_EQ(smtp.SubType, TSubType::mtPlain);
  EXPECT_TRUE(smtp.ClearParams);
}

TEST_F(MailerWindowTest, ShowingRebuildsTheSortedListAndResetsOnlyTheName) {
  frm.FormShow();
  EXPECT_EQ(entries(), (Strings{"Bezejmenny", "Eva Malá", "jana Adamová", "Petr Zeman", "Petr Zeman"}));
  EXPECT_EQ(frm.edtSenderName()->text().toStdString(), GetLoginName());

  frm.edtSenderName()->setText("Jan");
  frm.edtSubject()->setText("Pozdrav");
  frm.edtSMTPServer()->setText("smtp.jinde.cz");
  WriteIniValue(t.file("ini/contacts.ini"), "3", "firstname", "Adam");
  frm.FormShow();
  EXPECT_EQ(entries(), (Strings{"Adam Malá", "Bezejmenny", "jana Adamová", "Petr Zeman", "Petr Zeman"}));
  EXPECT_EQ(frm.edtSenderName()->text().toStdString(), GetLoginName());
  EXPECT_EQ(frm.edtSubject()->text(), "Pozdrav");
  EXPECT_EQ(frm.edtSMTPServer()->text(), "smtp.jinde.cz");
}

TEST_F(MailerWindowTest, AddressesComeFromTheProjectsAddressBook) {
  EXPECT_EQ(frm.DisplayOf(3), "Eva Malá");
  EXPECT_EQ(frm.MailOf("EVA MALÁ"), "eva@example.cz");
  EXPECT_EQ(frm.MailOf("Petr Zeman"), "petr.druhy@example.cz");
  EXPECT_EQ(frm.MailOf("Bezejmenny"), "redakce@example.cz");
}

TEST_F(MailerWindowTest, EventHandlersLogAndShowTheLocalisedMessages) {
  SetLanguageFile(std::make_unique<LanguageFile>(
      "[Misc]\nmail_send_success=Odesláno*|*díky\nmail_send_failure=Neodesláno\n"));
  frm.SMTP1Success(frm.SMTP1());
  frm.SMTP1Failure(frm.SMTP1());
  frm.SMTP1ConnectionFailed(frm.SMTP1());
  EXPECT_EQ(console.Lines(),
            (Strings{"Mailer: Send Success", "Mailer: Send Failure", "Mailer: Not Connected"}));
  EXPECT_EQ(fake.textsOf("info"),
            (Strings{"Odesláno\r\ndíky", "Neodesláno", "Internet Connection required"}));
}

TEST_F(MailerWindowTest, SendingGoesThroughEveryStateToTheSelectedContacts) {
  auto smtp = FakeSmtpServerOnPort25();
  REQUIRE_LISTENING(*smtp);
  frm.FormShow();
  select("Petr Zeman", 1);
  select("Bezejmenny");
  select("Eva Malá");
  showWindow();
  StatusRecorder recorder(statusPanel());
  send(smtp->address());

  EXPECT_EQ(recorder.states, (Strings{"Connecting", "Sending Mail", "Disconnecting", ""}));
  EXPECT_EQ(console.Lines(), (Strings{"Mailer: Send Success", "Mailer: SendMail"}));
  EXPECT_THAT(fake.boxes,
              ElementsAre(std::pair<std::string, std::string>{"Zprava Odeslana!", "Sending Mail"}));
  EXPECT_TRUE(btnSend()->isEnabled());
  // In list order; each display's address, the default one for the contact
  // without a first name.
  EXPECT_THAT(smtp->commands("RCPT"),
              ElementsAre(HasSubstr("<redakce@example.cz>"), HasSubstr("<eva@example.cz>"),
                          HasSubstr("<petr.druhy@example.cz>")));
  EXPECT_THAT(smtp->commands("MAIL"), ElementsAre(HasSubstr("<ctenar@example.cz>")));
  EXPECT_FALSE(DataLines(*smtp, "Prvni radek").empty());
  EXPECT_FALSE(DataLines(*smtp, "Druhy radek").empty());
  EXPECT_THAT(DataLines(*smtp, "Subject:"), ElementsAre(HasSubstr("Pozdrav redakci")));
  ASSERT_FALSE(smtp->commands("QUIT").empty());
  const std::size_t firstCommands = smtp->commands().size();

  // The recipients went with the mail: the next one goes to the new selection only.
  frm.lsbContacts()->clearSelection();
  select("jana Adamová");
  send(smtp->address());
  smtp->stop();
  EXPECT_EQ(smtp->connections(), 2);
  const Strings commands = smtp->commands();
  Strings second;
  for (std::size_t i = firstCommands; i < commands.size(); ++i)
    if (commands[i].starts_with("RCPT")) second.push_back(commands[i]);
  EXPECT_THAT(second, ElementsAre(HasSubstr("<jana@example.cz>")));
}

TEST_F(MailerWindowTest, WithoutRecipientsTheHeaderIsIncompleteAndOnlyLogged) {
  auto smtp = FakeSmtpServerOnPort25();
  REQUIRE_LISTENING(*smtp);
  frm.FormShow();
  showWindow();
  StatusRecorder recorder(statusPanel());
  send(smtp->address());
  EXPECT_EQ(console.Lines(), Strings{"Exception: Incomplete Header"});
  EXPECT_TRUE(fake.boxes.empty());
  EXPECT_EQ(recorder.states, (Strings{"Connecting", "Sending Mail"}));
  EXPECT_EQ(frm.statusText(), "Sending Mail");
  EXPECT_TRUE(btnSend()->isEnabled());
  EXPECT_TRUE(smtp->commands("MAIL").empty());
}

TEST_F(MailerWindowTest, AnErrorOfTheSendingGoesToTheApplicationsExceptionLogWhenOneIsSet) {
  auto smtp = FakeSmtpServerOnPort25();
  REQUIRE_LISTENING(*smtp);
  Strings handled;
  frm.setExceptionHandler([&](const std::exception& e) { handled.push_back(e.what()); });
  frm.FormShow();
  showWindow();
  send(smtp->address());
  EXPECT_EQ(handled, Strings{"Incomplete Header"});
  EXPECT_TRUE(console.Lines().empty());
  EXPECT_TRUE(fake.boxes.empty());
}

// That failure and a refused message both leave the client connected: the
// next click still opens a connection of its own and delivers.
TEST_F(MailerWindowTest, AClickAfterAFailedSendingConnectsAgainAndDelivers) {
  auto smtp = FakeSmtpServerOnPort25();
  REQUIRE_LISTENING(*smtp);
  smtp->reply(".", {"554 Message rejected\r\n"});
  frm.FormShow();
  send(smtp->address());  // nobody selected
  select("Eva Malá");
  send(smtp->address());  // the server refuses the message
  frm.lsbContacts()->clearSelection();
  send(smtp->address());  // to the reader of the refused one

  EXPECT_EQ(console.Lines(),
            (Strings{"Exception: Incomplete Header", "Mailer: Send Failure",
                     "Exception: 554 Message rejected", "Mailer: Send Success", "Mailer: SendMail"}));
  EXPECT_THAT(fake.boxes, ElementsAre(Pair("Zprava Neodeslana!", "Sending Mail"),
                                      Pair("Zprava Odeslana!", "Sending Mail")));
  EXPECT_EQ(frm.statusText(), "");
  EXPECT_TRUE(btnSend()->isEnabled());
  // Each sending had a connection of its own and left it with QUIT.
  EXPECT_EQ(smtp->connections(), 3);
  EXPECT_EQ(smtp->commands("QUIT").size(), 3u);
  EXPECT_EQ(smtp->commands(".").size(), 2u);
  EXPECT_THAT(smtp->commands("RCPT"),
              ElementsAre(HasSubstr("<eva@example.cz>"), HasSubstr("<eva@example.cz>")));
}

TEST_F(MailerWindowTest, RefusedConnectionShowsBothBoxesAndKeepsTheRecipients) {
  const std::string closed = test::ClosedLoopbackAddress();
  if (closed.empty()) GTEST_SKIP() << "every loopback address answers on port 25";
  frm.FormShow();
  select("Eva Malá");
  send(closed);
  EXPECT_THAT(fake.boxes,
              ElementsAre(std::pair<std::string, std::string>{"Internet Connection required", "Connecting"},
                          std::pair<std::string, std::string>{"Connection Failed", "Connecting"}));
  // The log also says why.
  EXPECT_EQ(console.Lines(),
            (Strings{"Mailer: Not Connected", "Mailer: Not Connected", "Mailer: Error: Connection Failed"}));
  EXPECT_EQ(frm.statusText(), "Connecting");
  EXPECT_TRUE(btnSend()->isEnabled());

  // The next sending also goes to the reader the failed one was meant for.
  auto smtp = FakeSmtpServerOnPort25();
  REQUIRE_LISTENING(*smtp);
  frm.lsbContacts()->clearSelection();
  select("jana Adamová");
  send(smtp->address());
  EXPECT_THAT(smtp->commands("RCPT"),
              ElementsAre(HasSubstr("<eva@example.cz>"), HasSubstr("<jana@example.cz>")));
  EXPECT_EQ(frm.statusText(), "");
}

// The frame's close button, "Zavřít" and Escape all close the form the same
// way, a sending that waits for its server included.
TEST_F(MailerWindowTest, ClosingTheWindowEndsAWaitingSending) {
  for (const CloseWay& way : closeWays()) {
    SCOPED_TRACE(way.name);
    const std::size_t before = console.Lines().size();
    // The server takes the sender and never answers.
    auto smtp = FakeSmtpServerOnPort25();
    REQUIRE_LISTENING(*smtp);
    smtp->reply("MAIL", {""});
    frm.FormShow();
    select("Eva Malá");
    showWindow();
    fake.onProcessEvents = [this, &smtp, &way] {
      if (frm.isVisible() && !smtp->commands("MAIL").empty()) way.close();
    };
    send(smtp->address());
    fake.onProcessEvents = nullptr;
    EXPECT_FALSE(frm.isVisible());
    ASSERT_EQ(console.Lines().size(), before + 1);
    EXPECT_THAT(console.Lines().back(), testing::StartsWith("Exception: "));
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_TRUE(btnSend()->isEnabled());
  }
}

// Closing is no sending and loses nothing: what was typed is there at the
// next showing.
TEST_F(MailerWindowTest, ZavritAndEscapeCloseTheFormAndKeepTheUnsentMessage) {
  for (const CloseWay& way : closeWays()) {
    SCOPED_TRACE(way.name);
    bool closed = false;
    QTimer::singleShot(0, &frm, [&] {
      frm.edtSubject()->setText("Rozepsany dopis");
      frm.memBody()->setPlainText("Jeste nehotovo");
      way.close();
      closed = !frm.isVisible();
      if (!closed) frm.close();  // the showing must end either way
    });
    EXPECT_EQ(frm.execModal(), 0);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(frm.isVisible());
    EXPECT_EQ(frm.edtSubject()->text(), "Rozepsany dopis");
    EXPECT_EQ(frm.memBody()->toPlainText(), "Jeste nehotovo");
    EXPECT_TRUE(console.Lines().empty());
    EXPECT_TRUE(fake.boxes.empty());
  }

  // Escape with a modifier is some other key.
  showWindow();
  QKeyEvent shiftEscape(QEvent::KeyPress, Qt::Key_Escape, Qt::ShiftModifier);
  QApplication::sendEvent(frm.memBody(), &shiftEscape);
  EXPECT_TRUE(frm.isVisible());
  frm.close();
}

TEST_F(MailerWindowTest, ModalShowingFillsTheListAndClosingHides) {
  QTimer::singleShot(0, &frm, [this] {
    EXPECT_TRUE(frm.isVisible());
    EXPECT_EQ(entries().size(), 5u);
    frm.close();
  });
  EXPECT_EQ(frm.execModal(), 0);
  EXPECT_FALSE(frm.isVisible());
  EXPECT_EQ(frm.windowModality(), Qt::NonModal);
}

// Headless runs: contact:, name:, from:, subject:, server:, body: and btnSend,
// then close.
TEST_F(MailerWindowTest, ScriptedRunFillsTheFormAndSends) {
  auto smtp = FakeSmtpServerOnPort25();
  REQUIRE_LISTENING(*smtp);
  HeadlessPlatform headless;
  std::ostringstream err;
  ScriptedPlatform scripted(
      headless,
      AnswerQueue("contact:Petr Zeman, contact:Petr Zeman, contact:Nikdo, name:Jan Čtenář, "
                  "from:jan@example.cz, subject:Ahoj, server:" +
                  smtp->address() + ", body:Prvni\\nDruhy\\, posledni, btnSend, ok, close, yes"),
      err);
  ScopedPlatform use(scripted);
  EXPECT_EQ(platform().showModal(frm), 0);
  EXPECT_EQ(err.str(),
            "[ui] modal: frmMailer: Pagemoor Mailer\n"
            "[ui] info: Information: Zprava Odeslana!\n");
  AnswerQueue& queue = *scripted.scriptedAnswers();
  ASSERT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue.front().word, "yes");
  EXPECT_FALSE(frm.isVisible());
  EXPECT_EQ(frm.edtSenderName()->text(), "Jan Čtenář");
  EXPECT_EQ(frm.memBody()->toPlainText(), "Prvni\nDruhy, posledni");
  EXPECT_EQ(console.Lines(),
            (Strings{"Mailer: Contact not found: Nikdo", "Mailer: Send Success", "Mailer: SendMail"}));
  // Both entries show the same text, so both take its last address.
  EXPECT_THAT(smtp->commands("RCPT"),
              ElementsAre(HasSubstr("<petr.druhy@example.cz>"), HasSubstr("<petr.druhy@example.cz>")));
  EXPECT_THAT(smtp->commands("MAIL"), ElementsAre(HasSubstr("<jan@example.cz>")));
  EXPECT_FALSE(DataLines(*smtp, "Prvni").empty());
  EXPECT_FALSE(DataLines(*smtp, "Druhy, posledni").empty());
}

TEST_F(MailerWindowTest, ScriptedRunLeavesOtherAnswers) {
  struct Case {
    const char* answers;
    Strings remaining;
  };
  const Case cases[] = {
      {"subject:Ahoj", {}},
      {"subject:Ahoj, yes", {"yes"}},
      {"subject:Ahoj, close, yes", {"yes"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers);
    HeadlessPlatform headless;
    std::ostringstream err;
    ScriptedPlatform scripted(headless, AnswerQueue(c.answers), err);
    ScopedPlatform use(scripted);
    test::LogConsole log;
    TfrmMailer window(log.sink);
    EXPECT_EQ(platform().showModal(window), 0);
    EXPECT_EQ(window.edtSubject()->text(), "Ahoj");
    EXPECT_EQ(window.lsbContacts()->count(), 5);
    Strings remaining;
    AnswerQueue& queue = *scripted.scriptedAnswers();
    while (!queue.empty()) remaining.push_back(queue.take().word);
    EXPECT_EQ(remaining, c.remaining);
    EXPECT_TRUE(log.Lines().empty());
  }
}

}  // namespace
}  // namespace pagemoor
