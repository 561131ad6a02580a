// The magazine's address book ("ini\contacts.ini" in the project folder) as
// the mail form shows it, and the mailer's two settings.
#pragma once

#include <string>
#include <vector>

namespace pagemoor {

class AddressBook {
 public:
  // `iniFile`: the address book's path (the form passes the project's).
  explicit AddressBook(std::string iniFile);

  // Number of contacts: key "count" of section "common"; default "1", a
  // value that is no integer counts as 1.
  int Count() const;
  // The display text of contact n: the pattern ("mailersignaturestyle") with
  // %firstname%, %lastname%, %nickname%, %position%, %mail% replaced in that
  // order, any case. Section "0" is the blank contact.
  std::string DisplayOf(int n) const;
  // The address ("mail", even when empty) of the contact with this display
  // text (any case; contacts without a first name are skipped; the last match
  // wins); `fallback` when no contact matches.
  std::string MailOf(const std::string& display, const std::string& fallback) const;
  // The texts the contact list shows, in contact order: DisplayOf(n) without
  // surrounding blanks, when not empty and not DisplayOf(0).
  std::vector<std::string> ListEntries() const;

 private:
  std::string m_file;
};

// The SMTP server the form starts with and the address a selected entry gets
// when no contact matches it: PAGEMOOR_SMTP_SERVER / PAGEMOOR_MAIL_ADDRESS, else keys "server" and
// "default_address" of section "mailer" in $XDG_CONFIG_HOME/pagemoor/mailer.ini,
// else "localhost" and "postmaster@localhost".
std::string DefaultSmtpServer();
std::string DefaultMailAddress();

}  // namespace pagemoor
