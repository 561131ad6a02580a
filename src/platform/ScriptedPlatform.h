// The platform of a headless scripted run: every box, dialog and modal window
// is written to a stream (standard error) as one line and answered from an
// AnswerQueue, so end-to-end runs never wait for a person and their logs can
// be compared line by line.
//
//   [ui] KIND: CAPTION: TEXT
//
// KIND       CAPTION                 TEXT            answers (default when the queue is empty)
// info       Information             the message     any one answer (OK)
// message    the caption             the message     any one answer (OK)
// confirm    Confirm                 the question    yes, ok -> Yes; no, cancel, close -> No (Yes;
//                                                    No for askYesNoDefaultNo, also on a wrong answer)
// input      the caption             the prompt      text:VALUE; ok -> the default; cancel, close (OK)
// open/save  the caption             the filter      file:PATH; cancel, close (Cancel)
// folder     the caption             the folder      file:PATH or text:PATH; cancel, close (Cancel)
// modal      the window's name       its caption     close, or what the window takes (closed)
//
// Line breaks in CAPTION and TEXT are written as "\n". An answer that does not
// fit the box is taken off the queue and reported as
//   [ui] error: unexpected answer "X" for KIND
// and the box takes its default. Shell requests start nothing; they are
// written as "[ui] shell: open: TARGET" and "[ui] shell: start: COMMANDLINE".
// Event processing, sleeping, the registry, remote-control messages and the
// single-instance check go to the inner platform (ForwardingPlatform).
#pragma once

#include <iostream>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/AnswerQueue.h"
#include "platform/ForwardingPlatform.h"

namespace pagemoor {

inline constexpr const char* kScriptedUiVariable = "PAGEMOOR_SCRIPTED_UI";

// True when PAGEMOOR_SCRIPTED_UI is "1".
bool ScriptedUiRequested();

class ScriptedPlatform : public ForwardingPlatform {
 public:
  ScriptedPlatform(Platform& inner, AnswerQueue answers, std::ostream& err = std::cerr);

  void showInfo(const std::string& text) override;
  void showMessage(const std::string& caption, const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  bool askYesNoDefaultNo(const std::string& text) override;
  std::optional<std::string> inputBox(const std::string& caption, const std::string& prompt,
                                      const std::string& defaultText) override;
  std::optional<FileDialogResult> openFileDialog(const FileDialogOptions& options) override;
  std::optional<FileDialogResult> saveFileDialog(const FileDialogOptions& options) override;
  std::optional<std::string> folderDialog(const std::string& caption, const std::string& initialDir) override;

  int showModal(ModalWindow& window) override;

  bool openDocument(const std::string& target) override;
  bool startProgram(const std::string& commandLine, const std::string& workingDir) override;

  AnswerQueue* scriptedAnswers() override { return &m_answers; }

 private:
  void writeLine(std::string_view kind, std::string_view caption, std::string_view text);
  void reportUnexpected(const Answer& answer, std::string_view kind);
  std::optional<FileDialogResult> fileDialog(std::string_view kind, const FileDialogOptions& options);

  AnswerQueue m_answers;
  std::ostream& m_err;
};

}  // namespace pagemoor
