// The credits window (TfrmCredits): the project's credits scrolling upwards
// full screen until a click. Created once; "show credits" shows it modally.
// The roll is laid out at the magazine's 800 x 600 (its width and its speed
// in pixels) and shown scaled to the screen.
#pragma once

#include <QWidget>
#include <string>

#include "platform/Platform.h"
#include "platform/qt/FullScreenModal.h"

class QCloseEvent;
class QShowEvent;

namespace pagemoor {

class TTitler;

// Object names: the window "frmCredits", the roll "Titler1".
class TfrmCredits : public QWidget, public ModalWindow {
  Q_OBJECT

 public:
  explicit TfrmCredits(QWidget* parent = nullptr);
  ~TfrmCredits() override;
  TfrmCredits(const TfrmCredits&) = delete;
  TfrmCredits& operator=(const TfrmCredits&) = delete;

  TTitler* Titler1() const { return m_titler; }

  // Loads the project's "ini\credits.ini", one roll line per file line, when
  // the file exists; a missing file keeps the lines the roll has.
  void FormShow();
  // A click on the roll closes the window; so does Escape.
  void Titler1Click();

  // --- ModalWindow ---
  std::string modalName() const override;
  std::string modalCaption() const override;
  // Scaled to the whole screen (FullScreenModal); returns 0 when the window
  // closes.
  int execModal() override;
  // Scripted runs: the credits are loaded as for a showing, and a "click"
  // answer (taken) or none closes the window.
  int runScripted(AnswerQueue& answers) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  TTitler* m_titler;
  FullScreenModal m_modal;
};

}  // namespace pagemoor
