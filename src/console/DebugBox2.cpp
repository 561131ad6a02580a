#include "console/DebugBox2.h"

#include <cmath>
#include <ctime>

#include "common/Application.h"
#include "common/CommandLine.h"
#include "common/Encoding.h"
#include "common/FileIo.h"
#include "common/HostPaths.h"
#include "common/Strings.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"

namespace pagemoor {

bool IsConsoleKey(char32_t key) {
  return key == U'`' || key == U'~' || key == U';' || key == U'\u00B0';
}

TDebugBox2::TDebugBox2() = default;

TDebugBox2::~TDebugBox2() {
  if (OnDestroy) {
    try {
      OnDestroy(nullptr);
    } catch (...) {
      // A destructor cannot pass the failure on; the shutdown lines are best effort.
    }
  }
  ClearCommands();
  if (m_view) m_view->consoleGone();
  *m_alive = false;
}

void TDebugBox2::setView(ConsoleView* view) {
  m_view = view;
  if (!m_view) return;
  m_view->setCaption(m_caption);
  m_view->linesReplaced(m_lines);
  m_view->setEditText(m_editText);
  placeWindow();
  if (m_visible) m_view->showWindow();
}

// --- Properties -------------------------------------------------------------

void TDebugBox2::setCaption(std::string_view caption) {
  m_caption = std::string(caption);
  if (m_view) m_view->setCaption(m_caption);
}

void TDebugBox2::setPosition(TPositions position) {
  m_position = position;
  placeWindow();
}

void TDebugBox2::setVisible(bool visible) {
  m_visible = visible;
  if (!m_view) return;
  m_view->hideWindow();
  if (visible) {
    placeWindow();
    m_view->showWindow();
  }
}

void TDebugBox2::setWidth(int width) {
  m_width = width;
  placeWindow();
}

void TDebugBox2::setHeight(int height) {
  m_height = height;
  placeWindow();
}

void TDebugBox2::setListCom(std::string_view name) {
  m_listCom = FirstWord(name);
}

void TDebugBox2::placeWindow() {
  if (!m_view) return;
  const ConsoleRect screen = m_view->screen();
  const double scale = m_view->scale();
  const int width = static_cast<int>(std::lround(m_width * scale));
  const int height = static_cast<int>(std::lround(m_height * scale));
  ConsoleRect r{screen.x, screen.y, width, height};
  if (m_position == TPositions::poTopRight || m_position == TPositions::poBottomRight)
    r.x = screen.x + screen.width - width;
  if (m_position == TPositions::poBottomLeft || m_position == TPositions::poBottomRight)
    r.y = screen.y + screen.height - height;
  m_view->setWindowGeometry(r);
}

// --- Commands ---------------------------------------------------------------

void TDebugBox2::DoInitialize() {
  if (OnInitialize) OnInitialize(nullptr);
  AddCommand(m_listCom, m_listComDesc,
             [this](Sender sender, const std::string& params) { ListCommands(sender, params); });
}

void TDebugBox2::AddCommand(std::string_view name, std::string_view description, TCommandHandler handler) {
  m_names.push_back(AsciiLower(name));
  m_descriptions.emplace_back(description);
  m_commands.push_back(
      std::make_unique<TCommandData>(TCommandData{std::string(description), std::move(handler)}));
  if (OnAddCommand) OnAddCommand(nullptr, std::string(name));
}

int TDebugBox2::CommandCount() const {
  return static_cast<int>(m_names.size());
}

std::string TDebugBox2::CommandName(int index) const {
  return index >= 0 && index < CommandCount() ? m_names[static_cast<std::size_t>(index)] : std::string();
}

std::string TDebugBox2::CommandDescription(int index) const {
  return index >= 0 && index < CommandCount() ? m_descriptions[static_cast<std::size_t>(index)]
                                              : std::string();
}

TCommandHandler TDebugBox2::CommandHandler(int index) const {
  return index >= 0 && index < CommandCount() ? m_commands[static_cast<std::size_t>(index)]->handler
                                              : TCommandHandler();
}

void TDebugBox2::RemoveCommand(int index) {
  if (index < 0 || index >= CommandCount()) return;
  const auto at = static_cast<std::ptrdiff_t>(index);
  m_names.erase(m_names.begin() + at);
  m_descriptions.erase(m_descriptions.begin() + at);
  m_commands.erase(m_commands.begin() + at);
}

void TDebugBox2::ClearCommands() {
  for (int n = CommandCount(); n > 0; --n) RemoveCommand(0);
}

int TDebugBox2::IndexOfCommand(std::string_view name) const {
  const std::string wanted = AsciiLower(name);
  for (std::size_t i = 0; i < m_names.size(); ++i)
    if (AsciiLower(m_names[i]) == wanted) return static_cast<int>(i);
  return -1;
}

void TDebugBox2::ListCommands(Sender, const std::string&) {
  // An end signal answered while a box is open destroys the console.
  const std::shared_ptr<bool> alive = m_alive;
  for (int i = 0; *alive && i < CommandCount(); ++i)
    ShowInfo("\"" + CommandName(i) + "\" - " + CommandDescription(i));
}

// --- Log --------------------------------------------------------------------

void TDebugBox2::subscribeTo(LogSink& sink) {
  m_subscription = sink.subscribe([this](std::string_view source, std::string_view text) { Log(source, text); });
}

std::string TDebugBox2::timeOfDay() const {
  if (m_clock) return m_clock();
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[16];
  std::strftime(buffer, sizeof buffer, "%H:%M:%S", &local);
  return buffer;
}

void TDebugBox2::AddLine(std::string_view text) {
  appendLine(m_timeStamp ? timeOfDay() + " - " + std::string(text) : std::string(text));
}

void TDebugBox2::Log(std::string_view source, std::string_view text) {
  std::string line = m_timeStamp ? timeOfDay() + " - " : std::string();
  line.append(source).append(": ").append(text);
  appendLine(std::move(line));
}

void TDebugBox2::appendLine(std::string line) {
  m_lines.push_back(std::move(line));
  if (m_view) m_view->lineAdded(m_lines.back());
  if (OnAdd) OnAdd(nullptr);
}

void TDebugBox2::LoadFromFile(const std::string& path) {
  m_lines.clear();
  ++m_logGeneration;
  // The launcher's log that the viewer takes over: our own file in the
  // private temporary folder, not one of the magazine's, so it is not
  // confined to the magazine (still only a regular file, and capped).
  const std::optional<std::string> resolved = ResolveExisting(path);
  std::optional<std::string> bytes = resolved ? ReadFileBytes(*resolved) : std::nullopt;
  const std::optional<std::string> text =
      bytes ? std::optional<std::string>(DecodeText(WithoutBom(*bytes))) : std::nullopt;
  if (!text) {
    if (m_view) m_view->linesReplaced(m_lines);
    throw ConsoleFileError("Cannot read " + path);
  }
  m_lines = SplitLines(*text);
  if (m_view) m_view->linesReplaced(m_lines);
}

void TDebugBox2::SaveToFile(const std::string& path) {
  m_files.write(ResolveForWrite(path), m_lines, m_logGeneration);
}

std::string TDebugBox2::MirrorLogPath() const {
  std::string program = AsciiUpper(ExtractFileName(CurrentCommandLine().programFile));
  ReplaceText(program, ".", "_", false);
  std::string name = FormatText("%s_(%s).log", {program, m_caption});
  // Only the file name: the state folder's own path may hold blanks.
  ReplaceText(name, " ", "_", false);
  return StateDir() + name;
}

void TDebugBox2::SaveLog() {
  SaveToFile(MirrorLogPath());
}

// --- Command lines ----------------------------------------------------------

void TDebugBox2::setEditText(std::string_view text) {
  m_editText = std::string(text);
  if (m_view) m_view->setEditText(m_editText);
}

void TDebugBox2::Execute(std::string_view commandLine) {
  setEditText(commandLine);
  EditKeyPress(nullptr, kEnterKey);
}

void TDebugBox2::Dispatch(std::string_view commandLine) {
  runLine(nullptr, std::string(commandLine));
}

void TDebugBox2::EditKeyPress(Sender sender, char32_t key) {
  if (IsConsoleKey(key)) {
    setEditText("");
    if (m_view) m_view->hideWindow();
    return;
  }
  if (key != kEnterKey) return;
  if (runLine(sender, m_editText)) setEditText("");
}

bool TDebugBox2::runLine(Sender sender, std::string line) {
  ReplaceText(line, "%20", " ", true);
  if (line.starts_with("\\\\")) line.erase(0, 2);
  for (std::string_view prefix : {"con_com:", "c_c:", "cc:"}) {
    if (AsciiLower(line.substr(0, prefix.size())) == prefix) line.erase(0, prefix.size());
  }

  const std::size_t space = line.find(' ');
  const std::string command = line.substr(0, space);
  std::string params = space == std::string::npos ? std::string() : line.substr(space + 1);

  if (!command.empty() && (command[0] == '/' || command[0] == ';' || command[0] == ':')) return true;
  if (command.empty()) return false;

  // Every call out of here may end the reading and destroy this console (a
  // handler's "exit", an end signal answered while a box is open); after
  // that nothing of it may be touched.
  const std::shared_ptr<bool> alive = m_alive;
  if (params.starts_with("input")) {
    const std::string prompt = TrimControls(std::string_view(params).substr(5));
    auto answer = platform().inputBox(ApplicationTitle(), prompt, "");
    if (!*alive) return false;
    params = AsciiLower(answer.value_or(""));
  }

  if (OnCommand) OnCommand(sender, command, params, SplitText(params, " "));
  if (!*alive) return false;

  const int index = IndexOfCommand(command);
  if (index >= 0) {
    // A copy: the handler may change the registry while it runs.
    TCommandHandler handler = m_commands[static_cast<std::size_t>(index)]->handler;
    if (handler) handler(sender, params);
  } else if (OnBadCommand) {
    OnBadCommand(sender, command, params);
  } else {
    ShowInfo("Bad Command (" + command + ")");
  }
  // Cleared only when the console is still there to clear it.
  return *alive;
}

}  // namespace pagemoor
