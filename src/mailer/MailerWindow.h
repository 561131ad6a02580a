// The mail form (TfrmMailer): the reader writes a plain-text mail to contacts
// of the magazine's address book and sends it through an SMTP server.
#pragma once

#include <QWidget>
#include <exception>
#include <functional>
#include <string>

#include "common/LogSink.h"
#include "mailer/QzSMTP.h"
#include "platform/Platform.h"
#include "platform/qt/WindowModal.h"

class QCloseEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace pagemoor {

// Object names: "frmMailer", "lblSenderName", "edtSenderName", "lblSenderEmail",
// "edtSenderEmail", "lblSubject", "edtSubject", "lblSMTPServer", "edtSMTPServer",
// "lblReceiver", "lsbContacts", "lblMessage", "memBody", "Memo1", "btnSend",
// "btnZavrit", "SB1".
class TfrmMailer : public QWidget, public ModalWindow {
  Q_OBJECT

 public:
  // How long the form waits for the server at each step.
  static constexpr int kTimeOutMs = 60000;

  explicit TfrmMailer(LogSink& log, QWidget* parent = nullptr);
  ~TfrmMailer() override;
  TfrmMailer(const TfrmMailer&) = delete;
  TfrmMailer& operator=(const TfrmMailer&) = delete;

  void FormShow();
  void btnSendClick();
  void SMTP1Success(TQzSMTP& sender);
  void SMTP1Failure(TQzSMTP& sender);
  void SMTP1ConnectionFailed(TPowersock& sender);

  // The address book's texts and addresses (the project's "ini\contacts.ini").
  std::string DisplayOf(int n) const;
  std::string MailOf(const std::string& display) const;

  TQzSMTP& SMTP1() { return m_smtp; }
  QLineEdit* edtSenderName() const { return m_edtSenderName; }
  QLineEdit* edtSenderEmail() const { return m_edtSenderEmail; }
  QLineEdit* edtSubject() const { return m_edtSubject; }
  QLineEdit* edtSMTPServer() const { return m_edtSMTPServer; }
  QListWidget* lsbContacts() const { return m_lsbContacts; }
  QPlainTextEdit* memBody() const { return m_memBody; }
  QStatusBar* SB1() const { return m_sb1; }
  // The status panel's text.
  std::string statusText() const;

  // --- ModalWindow ---
  std::string modalName() const override;
  std::string modalCaption() const override;
  int execModal() override;
  int runScripted(AnswerQueue& answers) override;

  // Where an error escaping a sending goes: the application's exception log.
  // Without one it is logged with the source "Exception".
  void setExceptionHandler(std::function<void(const std::exception& e)> handler) {
    m_exceptionHandler = std::move(handler);
  }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Escape closes the window as its close button does.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void setStatus(const std::string& text);
  // btnSend's click: btnSendClick with its failures logged, never thrown
  // into the event loop.
  void sendClicked();
  // Scripted runs: selects the first entry with this text not selected yet.
  void selectContact(const std::string& display);

  LogSink& m_log;
  TQzSMTP m_smtp;
  QLineEdit* m_edtSenderName = nullptr;
  QLineEdit* m_edtSenderEmail = nullptr;
  QLineEdit* m_edtSubject = nullptr;
  QLineEdit* m_edtSMTPServer = nullptr;
  QListWidget* m_lsbContacts = nullptr;
  QPlainTextEdit* m_memBody = nullptr;
  QPushButton* m_btnSend = nullptr;
  QPushButton* m_btnZavrit = nullptr;
  QStatusBar* m_sb1 = nullptr;
  QLabel* m_statusPanel = nullptr;
  WindowModal m_modal;
  bool m_sending = false;  // btnSendClick is running (its waits let events in)
  std::function<void(const std::exception& e)> m_exceptionHandler;
};

}  // namespace pagemoor
