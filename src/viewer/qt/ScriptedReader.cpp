#include "viewer/qt/ScriptedReader.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <ostream>

#include "common/Strings.h"
#include "console/DebugBox2.h"
#include "hypertext/HtmlPaneWidget.h"
#include "pictures/GifImageWidget.h"
#include "platform/AnswerQueue.h"
#include "viewer/MainWindow.h"

namespace pagemoor {

namespace {

// Actions follow each other after the events they caused have run.
constexpr int kStepPauseMs = 50;

std::string OneLine(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += "\\n";
    else if (c != '\r')
      out += c;
  }
  return out;
}

}  // namespace

ScriptedReader::ScriptedReader(TfrmMain& window, AnswerQueue& answers, std::ostream& err)
    : m_window(window), m_answers(answers), m_err(err) {}

void ScriptedReader::start() {
  scheduleNext(kStepPauseMs);
}

void ScriptedReader::scheduleNext(int milliseconds) {
  QTimer::singleShot(milliseconds, this, [this] {
    if (step()) scheduleNext(m_pause > 0 ? m_pause : kStepPauseMs);
  });
}

bool ScriptedReader::step() {
  if (m_answers.empty()) return false;
  m_pause = 0;
  const Answer answer = m_answers.take();
  perform(answer);
  return true;
}

void ScriptedReader::write(const std::string& action, const std::string& value) {
  m_err << "[ui] reader: " << action << ": " << OneLine(value) << '\n' << std::flush;
}

void ScriptedReader::error(const std::string& text) {
  m_err << "[ui] error: " << OneLine(text) << '\n' << std::flush;
}

void ScriptedReader::perform(const Answer& answer) {
  const std::string value = answer.value.value_or(std::string());
  TfrmMain& w = m_window;
  if (answer.is("link")) {
    write("link", value);
    for (HtmlPaneWidget* pane : {w.htmlMain(), w.htmlLeft(), w.htmlTop()}) {
      bool found = false;
      w.runGuarded([&] { found = pane->ActivateLinkByText(value); });
      if (found) return;
    }
    error("no link \"" + value + "\" on the screen");
  } else if (answer.is("button")) {
    write("button", value);
    const long long number = StrToIntDef(value, 0);
    QPointer<GifImageWidget> button = w.button(static_cast<int>(number));
    if (!button) {
      error("no image button " + value);
      return;
    }
    // As the mouse does it: onto the button, press, click, release. The
    // click's command may take the button away.
    w.runGuarded([&] { w.ButtonMouseMove(button); });
    if (button) w.runGuarded([&] { w.ButtonMouseDown(button); });
    if (button) w.runGuarded([&] { w.ButtonMouseClick(button); });
    if (button) w.runGuarded([&] { w.ButtonMouseUp(button); });
  } else if (answer.is("command")) {
    write("command", value);
    w.runGuarded([&] { w.runConsoleLine(value); });
  } else if (answer.is("key")) {
    write("key", value);
    const QString text = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    if (!text.isEmpty()) w.runGuarded([&] { w.htmlMainKeyPress(text.at(0).unicode()); });
  } else if (answer.is("back")) {
    write("back", value);
    const std::string pane = AsciiLower(value);
    HtmlPaneWidget* target = pane == "left" ? w.htmlLeft() : pane == "top" ? w.htmlTop() : w.htmlMain();
    w.runGuarded([&] { w.htmlMainRightClick(target, std::string()); });
  } else if (answer.is("desktop")) {
    write("desktop", value);
    w.runGuarded([&] { w.imgDesktopMouseMove(); });
  } else if (answer.is("console")) {
    write("console", value);
    w.runGuarded([&] { w.btnConsoleClick(); });
  } else if (answer.is("wait")) {
    write("wait", value);
    m_pause = static_cast<int>(std::max<long long>(1, StrToIntDef(value, kStepPauseMs)));
  } else {
    error("unexpected answer \"" + answer.text + "\" for reader");
  }
}

}  // namespace pagemoor
