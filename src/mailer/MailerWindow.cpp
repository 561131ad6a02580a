#include "mailer/MailerWindow.h"

#include <QCloseEvent>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStringList>
#include <exception>
#include <utility>
#include <vector>

#include "common/HostPaths.h"
#include "common/IniLang.h"
#include "common/MagazineFolder.h"
#include "common/Strings.h"
#include "mailer/Contacts.h"
#include "platform/AnswerQueue.h"
#include "platform/Dialogs.h"
#include "platform/qt/Controls.h"
#include "platform/qt/QtText.h"

namespace pagemoor {

namespace {

constexpr int kClientWidth = 534;
constexpr int kClientHeight = 376;
constexpr int kStatusHeight = 24;
constexpr int kStatusPanelWidth = 50;
const QColor kAqua(0, 255, 255);

AddressBook ProjectAddressBook() {
  return AddressBook(MagazineFolder().ini("contacts.ini"));
}

void SetColors(QWidget* widget, QPalette::ColorRole background, const QColor& back, QPalette::ColorRole text,
               const QColor& fore) {
  QPalette p = widget->palette();
  p.setColor(background, back);
  p.setColor(text, fore);
  widget->setPalette(p);
}

// Edits, the contact list and the message: Arial 13 px, black on white,
// whatever the desktop's colours are.
template <typename W>
W* MakeInput(QWidget* parent, const char* name, QRect geometry) {
  auto* widget = new W(parent);
  widget->setObjectName(name);
  widget->setFont(ArialFont(13));
  SetColors(widget, QPalette::Base, Qt::white, QPalette::Text, Qt::black);
  widget->setGeometry(geometry);
  return widget;
}

// The form's buttons: flat, Arial 16 px bold, lime on black.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setFlat(true);
  button->setFont(ArialFont(16, true));
  SetColors(button, QPalette::Button, Qt::black, QPalette::ButtonText, kLime);
  button->setGeometry(geometry);
  return button;
}

// Names sort as the reader looks for them: without regard to case.
class ContactItem : public QListWidgetItem {
 public:
  using QListWidgetItem::QListWidgetItem;
  bool operator<(const QListWidgetItem& other) const override {
    return text().compare(other.text(), Qt::CaseInsensitive) < 0;
  }
};

// Disables btnSend for one sending, however it ends.
class SendingScope {
 public:
  SendingScope(bool& sending, QPushButton* button) : m_sending(sending), m_button(button) {
    m_sending = true;
    m_button->setEnabled(false);
  }
  ~SendingScope() {
    m_sending = false;
    m_button->setEnabled(true);
  }
  SendingScope(const SendingScope&) = delete;
  SendingScope& operator=(const SendingScope&) = delete;

 private:
  bool& m_sending;
  QPushButton* m_button;
};

}  // namespace

TfrmMailer::TfrmMailer(LogSink& log, QWidget* parent)
    : QWidget(parent, kToolWindowFlags), m_log(log) {
  setObjectName("frmMailer");
  setWindowTitle("Pagemoor Mailer");
  SetUpBlackToolWindow(this, kClientWidth, kClientHeight);

  const std::string server = DefaultSmtpServer();

  MakeLabel(this, "lblSenderName", 8, 16, QString::fromUtf8("Vaše Jméno:"), kLime);
  m_edtSenderName = MakeInput<QLineEdit>(this, "edtSenderName", QRect(112, 8, 169, 24));
  MakeLabel(this, "lblSenderEmail", 8, 48, QString::fromUtf8("Váš E-Mail:"), kLime);
  m_edtSenderEmail = MakeInput<QLineEdit>(this, "edtSenderEmail", QRect(112, 40, 169, 24));
  MakeLabel(this, "lblSubject", 8, 80, QString::fromUtf8("Předmět Zprávy:"), kLime);
  m_edtSubject = MakeInput<QLineEdit>(this, "edtSubject", QRect(112, 72, 169, 24));
  MakeLabel(this, "lblSMTPServer", 8, 112, QString::fromUtf8("SMTP Server:"), kLime);
  m_edtSMTPServer = MakeInput<QLineEdit>(this, "edtSMTPServer", QRect(112, 104, 169, 24));
  m_edtSMTPServer->setText(ToQt(server));

  MakeLabel(this, "lblReceiver", 296, 8, QString::fromUtf8("Příjemce Zprávy:"), kLime);
  m_lsbContacts = MakeInput<QListWidget>(this, "lsbContacts", QRect(296, 24, 233, 105));
  m_lsbContacts->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_lsbContacts->setSortingEnabled(true);

  MakeLabel(this, "lblMessage", 8, 144, QString::fromUtf8("Zpráva:"), kLime);
  m_memBody = MakeInput<QPlainTextEdit>(this, "memBody", QRect(8, 160, 393, 177));

  auto* memo1 = new QPlainTextEdit(this);
  memo1->setObjectName("Memo1");
  memo1->setReadOnly(true);
  // The hint has nine lines in a narrow box: a smaller type keeps them all in
  // view.
  memo1->setFont(ArialFont(11));
  SetColors(memo1, QPalette::Base, Qt::black, QPalette::Text, kAqua);
  memo1->setGeometry(408, 160, 121, 145);
  const std::vector<std::string> hint = {
      "Jestliže nemáte ", "e-mail, tak nechte ", "pole prázdné.", "", "Pokud nevíte jaký ", "použít SMTP ",
      "server, ",         "tak tam nechte ",     server};
  QStringList lines;
  for (const std::string& line : hint) lines << ToQt(line);
  memo1->setPlainText(lines.join('\n'));

  m_btnSend = MakeButton(this, "btnSend", QString::fromUtf8("Odeslat Zprávu"), QRect(408, 312, 121, 25));
  connect(m_btnSend, &QPushButton::clicked, this, [this] { sendClicked(); });

  // Without a window manager there is no title bar to close the form with:
  // its own button, above the hint, does what the frame's close button does
  // (a sending under way is ended, as the close handling says).
  m_btnZavrit = MakeButton(this, "btnZavrit", QString::fromUtf8("Zavřít"), QRect(408, 132, 121, 25));
  connect(m_btnZavrit, &QPushButton::clicked, this, [this] { close(); });

  m_sb1 = new QStatusBar(this);
  m_sb1->setObjectName("SB1");
  m_sb1->setSizeGripEnabled(false);
  // The bar keeps the desktop's colours: black on black would hide the state.
  const QPalette system = QGuiApplication::palette();
  SetColors(m_sb1, QPalette::Window, system.color(QPalette::Window), QPalette::WindowText,
            system.color(QPalette::WindowText));
  m_sb1->setAutoFillBackground(true);
  m_sb1->setGeometry(0, kClientHeight - kStatusHeight, kClientWidth, kStatusHeight);
  // The only panel takes the rest of the bar, so "Disconnecting" is not cut.
  m_statusPanel = new QLabel(m_sb1);
  m_statusPanel->setTextFormat(Qt::PlainText);
  m_statusPanel->setMinimumWidth(kStatusPanelWidth);
  m_sb1->addWidget(m_statusPanel, 1);

  m_smtp.Port = 25;
  m_smtp.ReportLevel = 0;
  m_smtp.EncodeType = TEncodeType::uuMime;
  m_smtp.ClearParams = true;
  m_smtp.SubType = TSubType::mtPlain;
  m_smtp.Charset = "iso-8859";
  m_smtp.TimeOut = kTimeOutMs;
  m_smtp.OnConnectionFailed = [this](TPowersock& sender) { SMTP1ConnectionFailed(sender); };
  m_smtp.OnSuccess = [this](TQzSMTP& sender) { SMTP1Success(sender); };
  m_smtp.OnFailure = [this](TQzSMTP& sender) { SMTP1Failure(sender); };

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

TfrmMailer::~TfrmMailer() {
  // The client is destroyed before the controls its events fill.
  m_smtp.OnConnectionFailed = nullptr;
  m_smtp.OnSuccess = nullptr;
  m_smtp.OnFailure = nullptr;
}

void TfrmMailer::FormShow() {
  m_lsbContacts->clear();
  for (const std::string& entry : ProjectAddressBook().ListEntries())
    m_lsbContacts->addItem(new ContactItem(ToQt(entry)));
  m_edtSenderName->setText(ToQt(GetLoginName()));
}

std::string TfrmMailer::DisplayOf(int n) const {
  return ProjectAddressBook().DisplayOf(n);
}

std::string TfrmMailer::MailOf(const std::string& display) const {
  return ProjectAddressBook().MailOf(display, DefaultMailAddress());
}

void TfrmMailer::btnSendClick() {
  if (m_sending) return;
  SendingScope sending(m_sending, m_btnSend);

  // A failed sending leaves its recipients in the client: they go with the
  // next one too.
  for (int row = 0; row < m_lsbContacts->count(); ++row) {
    const QListWidgetItem* entry = m_lsbContacts->item(row);
    if (entry->isSelected()) m_smtp.PostMessage.ToAddress.push_back(MailOf(entry->text().toStdString()));
  }
  m_smtp.Host = m_edtSMTPServer->text().toStdString();
  m_smtp.Port = 25;
  m_smtp.UserID.clear();

  // A sending that failed once connected left its connection open; without
  // closing it here every later Connect would fail with "Already connected"
  // until the program restarts.
  if (m_smtp.Connected()) {
    try {
      m_smtp.Disconnect();
    } catch (...) {
      // QUIT refused or the line is gone: the socket is closed either way.
    }
  }

  setStatus("Connecting");
  // Logged with why, for whoever reads the log: the error and what the
  // server said last.
  const auto notConnected = [this](const char* error) {
    m_log.Log("Mailer", "Not Connected");
    if (error) m_log.Log("Mailer", std::string("Error: ") + error);
    const std::string reply = m_smtp.replyText();
    if (!reply.empty()) m_log.Log("Mailer", "Server: " + reply);
    ShowInfo("Connection Failed");
  };
  try {
    m_smtp.Connect();
  } catch (const std::exception& e) {
    notConnected(e.what());
    return;
  } catch (...) {
    notConnected(nullptr);
    return;
  }

  TPostMessage& message = m_smtp.PostMessage;
  message.FromAddress = m_edtSenderEmail->text().toStdString();
  message.FromName = m_edtSenderName->text().toStdString();
  message.Subject = m_edtSubject->text().toStdString();
  message.Body = SplitLines(m_memBody->toPlainText().toStdString());

  // A failure from here on leaves the handler: the caller logs it.
  setStatus("Sending Mail");
  m_smtp.SendMail();
  m_log.Log("Mailer", "SendMail");

  setStatus("Disconnecting");
  m_smtp.Disconnect();
  setStatus("");
}

void TfrmMailer::sendClicked() {
  try {
    btnSendClick();
  } catch (const std::exception& e) {
    if (m_exceptionHandler)
      m_exceptionHandler(e);
    else
      m_log.Log("Exception", e.what());
  } catch (...) {
    m_log.Log("Exception", "Unknown error");
  }
}

void TfrmMailer::SMTP1Success(TQzSMTP&) {
  m_log.Log("Mailer", "Send Success");
  ShowInfo(Translate("Zprava Odeslana!", "mail_send_success"));
}

void TfrmMailer::SMTP1Failure(TQzSMTP&) {
  m_log.Log("Mailer", "Send Failure");
  ShowInfo(Translate("Zprava Neodeslana!", "mail_send_failure"));
}

void TfrmMailer::SMTP1ConnectionFailed(TPowersock&) {
  m_log.Log("Mailer", "Not Connected");
  ShowInfo("Internet Connection required");
}

std::string TfrmMailer::statusText() const {
  return m_statusPanel->text().toStdString();
}

void TfrmMailer::setStatus(const std::string& text) {
  m_statusPanel->setText(ToQt(text));
  // The sending runs on the interface thread: the state is painted now, not
  // when the next wait lets events in.
  m_statusPanel->repaint();
}

void TfrmMailer::selectContact(const std::string& display) {
  const QString wanted = ToQt(display);
  for (int row = 0; row < m_lsbContacts->count(); ++row) {
    QListWidgetItem* entry = m_lsbContacts->item(row);
    if (entry->text() == wanted && !entry->isSelected()) {
      entry->setSelected(true);
      return;
    }
  }
  // A script's typo would otherwise send the mail to fewer readers unnoticed.
  m_log.Log("Mailer", "Contact not found: " + display);
}

// --- ModalWindow ---

std::string TfrmMailer::modalName() const {
  return objectName().toStdString();
}

std::string TfrmMailer::modalCaption() const {
  return windowTitle().toStdString();
}

int TfrmMailer::execModal() {
  m_modal.exec(*this, [this] { FormShow(); });
  return 0;
}

int TfrmMailer::runScripted(AnswerQueue& answers) {
  FormShow();
  for (;;) {
    const Answer& next = answers.front();
    const std::string value = next.value.value_or(std::string());
    if (next.is("contact")) {
      answers.pop();
      selectContact(value);
    } else if (next.is("name")) {
      answers.pop();
      m_edtSenderName->setText(ToQt(value));
    } else if (next.is("from")) {
      answers.pop();
      m_edtSenderEmail->setText(ToQt(value));
    } else if (next.is("subject")) {
      answers.pop();
      m_edtSubject->setText(ToQt(value));
    } else if (next.is("server")) {
      answers.pop();
      m_edtSMTPServer->setText(ToQt(value));
    } else if (next.is("body")) {
      answers.pop();
      // "\n" (exactly so: "\N" stays) is a line break.
      m_memBody->setPlainText(ToQt(value).replace("\\n", "\n"));
    } else if (next.is("btnsend")) {
      answers.pop();
      sendClicked();
    } else {
      break;
    }
  }
  if (answers.front().is("close")) answers.pop();
  close();
  return 0;
}

void TfrmMailer::closeEvent(QCloseEvent* event) {
  // The sending waits with the window's events let in; closing ends the wait
  // (the click's handler logs the failure) rather than leaving a hidden window
  // talking to the server.
  if (m_sending) m_smtp.Abort();
  m_modal.quit();
  event->accept();
}

void TfrmMailer::keyPressEvent(QKeyEvent* event) {
  // The frame's close, nothing more: a sending is ended, and what was typed
  // stays in the fields for the next showing.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace pagemoor
