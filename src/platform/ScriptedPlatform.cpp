#include "platform/ScriptedPlatform.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace pagemoor {

namespace {

// One box is one line, whatever the text holds.
std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\\n";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

bool ScriptedUiRequested() {
  const char* value = std::getenv(kScriptedUiVariable);
  return value && std::strcmp(value, "1") == 0;
}

ScriptedPlatform::ScriptedPlatform(Platform& inner, AnswerQueue answers, std::ostream& err)
    : ForwardingPlatform(inner), m_answers(std::move(answers)), m_err(err) {}

void ScriptedPlatform::writeLine(std::string_view kind, std::string_view caption, std::string_view text) {
  m_err << "[ui] " << kind << ": " << OneLine(caption) << ": " << OneLine(text) << '\n' << std::flush;
}

void ScriptedPlatform::reportUnexpected(const Answer& answer, std::string_view kind) {
  m_err << "[ui] error: unexpected answer \"" << OneLine(answer.text) << "\" for " << kind << '\n'
        << std::flush;
}

void ScriptedPlatform::showInfo(const std::string& text) {
  writeLine("info", "Information", text);
  // An information box has one button, so whatever the script says closes it.
  m_answers.pop();
}

void ScriptedPlatform::showMessage(const std::string& caption, const std::string& text) {
  writeLine("message", caption, text);
  m_answers.pop();
}

bool ScriptedPlatform::askYesNo(const std::string& text) {
  writeLine("confirm", "Confirm", text);
  if (m_answers.empty()) return true;
  const Answer answer = m_answers.take();
  if (answer.is("yes") || answer.is("ok")) return true;
  if (answer.is("no") || answer.is("cancel") || answer.is("close")) return false;
  reportUnexpected(answer, "confirm");
  return true;
}

bool ScriptedPlatform::askYesNoDefaultNo(const std::string& text) {
  // The same line as any Yes/No box, so a script answers it the same way;
  // only an explicit yes says yes.
  writeLine("confirm", "Confirm", text);
  if (m_answers.empty()) return false;
  const Answer answer = m_answers.take();
  if (answer.is("yes") || answer.is("ok")) return true;
  if (!answer.is("no") && !answer.is("cancel") && !answer.is("close")) reportUnexpected(answer, "confirm");
  return false;
}

std::optional<std::string> ScriptedPlatform::inputBox(const std::string& caption, const std::string& prompt,
                                                      const std::string& defaultText) {
  writeLine("input", caption, prompt);
  if (m_answers.empty()) return defaultText;
  const Answer answer = m_answers.take();
  if (answer.is("text")) return answer.value.value_or(std::string());
  if (answer.is("ok")) return defaultText;
  if (answer.is("cancel") || answer.is("close")) return std::nullopt;
  reportUnexpected(answer, "input");
  return defaultText;
}

std::optional<FileDialogResult> ScriptedPlatform::fileDialog(std::string_view kind,
                                                             const FileDialogOptions& options) {
  writeLine(kind, options.caption, options.filter);
  if (m_answers.empty()) return std::nullopt;
  const Answer answer = m_answers.take();
  if (answer.is("file") && answer.value && !answer.value->empty())
    return FileDialogResult{*answer.value, options.filterIndex};
  if (answer.is("cancel") || answer.is("close")) return std::nullopt;
  reportUnexpected(answer, kind);
  return std::nullopt;
}

std::optional<FileDialogResult> ScriptedPlatform::openFileDialog(const FileDialogOptions& options) {
  return fileDialog("open", options);
}

std::optional<FileDialogResult> ScriptedPlatform::saveFileDialog(const FileDialogOptions& options) {
  return fileDialog("save", options);
}

std::optional<std::string> ScriptedPlatform::folderDialog(const std::string& caption,
                                                          const std::string& initialDir) {
  writeLine("folder", caption, initialDir);
  if (m_answers.empty()) return std::nullopt;
  const Answer answer = m_answers.take();
  if ((answer.is("file") || answer.is("text")) && answer.value && !answer.value->empty())
    return *answer.value;
  if (answer.is("cancel") || answer.is("close")) return std::nullopt;
  reportUnexpected(answer, "folder");
  return std::nullopt;
}

int ScriptedPlatform::showModal(ModalWindow& window) {
  writeLine("modal", window.modalName(), window.modalCaption());
  if (window.scriptedCloseRunsTheWindow()) return window.runScripted(m_answers);
  if (m_answers.empty()) return 0;
  if (m_answers.front().is("close")) {
    m_answers.pop();
    return 0;
  }
  return window.runScripted(m_answers);
}

bool ScriptedPlatform::openDocument(const std::string& target) {
  writeLine("shell", "open", target);
  return true;
}

bool ScriptedPlatform::startProgram(const std::string& commandLine, const std::string& /*workingDir*/) {
  writeLine("shell", "start", commandLine);
  return true;
}

}  // namespace pagemoor
