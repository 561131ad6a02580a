#include "RunMagazine.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

#include "app/LauncherWindow.h"
#include "app/Startup.h"
#include "app/ThinkingBoxWindow.h"
#include "audio/AudioEngine.h"
#include "audio/sdl/SdlOutput.h"
#include "common/Application.h"
#include "common/IniFile.h"
#include "common/MagazineFiles.h"
#include "installer/InstallWindow.h"
#include "jukebox/JukeboxWindow.h"
#include "mailer/MailerWindow.h"
#include "pictures/CreditsWindow.h"
#include "pictures/PictureViewerWindow.h"
#include "platform/AnswerQueue.h"
#include "platform/Platform.h"
#include "platform/ScriptedPlatform.h"
#include "platform/qt/QtPlatform.h"
#include "viewer/MainWindow.h"
#include "viewer/qt/ScaledScreen.h"
#include "viewer/qt/ScriptedReader.h"

namespace pagemoor {

namespace {

// Qt's offscreen platform, which headless runs use, cannot raise a window and
// says so every time a window is brought forward. That one line is noise in
// a scripted run's standard error, which authors read; everything else Qt
// says goes on as before.
QtMessageHandler g_qtMessages = nullptr;

void FilterQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text == QLatin1String("This plugin does not support raise()")) return;
  if (g_qtMessages) g_qtMessages(type, context, text);
}

// A signal handler may only write to a file descriptor; the event loop reads
// the other end and ends the reading there.
int g_signalPipe[2] = {-1, -1};

void OnEndSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM (the session ends, a script stops us), SIGINT (Ctrl+C in the
// terminal) and SIGHUP end the reading as "exit now" does: no question, and
// the unpacked project is removed, instead of the process dying with it left
// behind.
class EndSignals {
 public:
  explicit EndSignals(std::function<void()> end) : m_end(std::move(end)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
    m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
      char byte = 0;
      [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &byte, 1);
      if (m_ended) return;
      m_ended = true;
      m_end();
    });
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
  }
  ~EndSignals() {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::signal(sig, SIG_DFL);
    m_notifier.reset();
    for (int& fd : g_signalPipe) {
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
  }
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

 private:
  std::function<void()> m_end;
  std::unique_ptr<QSocketNotifier> m_notifier;
  bool m_ended = false;
};

// The start-up's windows: the launcher, the thinking box, and the reading's
// windows created in their order around one message loop.
class QtStartupView : public StartupView {
 public:
  explicit QtStartupView(QApplication& app) : m_app(app) {}

  void setApplicationTitle(const std::string& title) override {
    // The application's name as its windows and messages give it; Qt's
    // display name stays unset, so window titles are exactly what the
    // windows say.
    SetApplicationTitle(title);
  }

  LauncherChoice showLauncher() override {
    TfrmLauncher launcher;
    // Closed without a project, the application is terminating: the start-up
    // still runs to its project check, but nothing of it reaches the screen.
    launcher.setTerminate([this] { m_terminating = true; });
    platform().showModal(launcher);
    LauncherChoice choice;
    choice.project = launcher.lblProject();
    choice.useDirectX = launcher.lblUseDX() != "0";
    choice.playMusic = launcher.lblPlayMusic() != "0";
    return choice;
  }

  void showThinking(const std::string& text) override {
    if (!m_terminating) m_thinking.ShowThinking(nullptr, text);
  }
  // The termination the launcher asked for dismisses the message at once
  // (" <nil> not found"): the reader who pressed "Zavřít" sees nothing more.
  void showFatalMessage(const std::string& text) override {
    if (!m_terminating) StartupView::showFatalMessage(text);
  }
  void hideThinking() override { m_thinking.HideThinking(); }

  void runWindows(const StartupSettings& settings) override {
    audio::AudioEngine engine;
    engine.setOutputFactory(audio::MakeOutputFactoryFromEnvironment());
    TfrmMain main(&m_thinking);
    auto jukebox = std::make_unique<TPlinq_Main>(engine, &main.Console());
    TfrmPV pictureViewer(main.Console());
    TfrmInstall installer(main.Console());
    TfrmMailer mailer(main.Console());
    TfrmCredits credits;
    // Everything the start sequence reads is handed over before the window
    // can be shown.
    main.setLauncherChoice(settings.launcher);
    for (const std::string& note : settings.notes) main.Console().Log("System", note);
    main.setJukebox(jukebox.get());
    main.setLocalisedWindows({jukebox.get(), &mailer, &pictureViewer, &installer, &credits});
    main.setWindows({&pictureViewer, &installer, &mailer, &credits});
    mailer.setExceptionHandler([&main](const std::exception& e) { main.LogApplicationException(e); });
    main.setJukeboxDestroyer([&] {
      if (!jukebox) return;
      jukebox->close();
      main.setJukebox(nullptr);
      jukebox.reset();
    });
    ScaledScreen screen(main);
    EndSignals endSignals([&main] { main.runGuarded([&main] { main.shutdown().ExitProgram(false); }); });
    // A scripted run reads on from the answer queue once the magazine has started.
    std::optional<ScriptedReader> reader;
    if (AnswerQueue* answers = platform().scriptedAnswers()) reader.emplace(main, *answers, std::cerr);
    screen.show();
    if (reader) reader->start();
    m_app.exec();
  }

 private:
  QApplication& m_app;
  TThinking_box m_thinking;
  bool m_terminating = false;
};

}  // namespace

int RunMagazine(int argc, char** argv) {
  g_qtMessages = qInstallMessageHandler(FilterQtMessages);
  QApplication app(argc, argv);
  QtPlatform qtPlatform;
  std::optional<ScriptedPlatform> scripted;
  if (ScriptedUiRequested()) scripted.emplace(qtPlatform, AnswerQueue::fromEnvironment());
  Platform& chosen = scripted ? static_cast<Platform&>(*scripted) : qtPlatform;
  ScopedPlatform usePlatform(chosen);
  // From here on every file is one a magazine names, unless the reader
  // picked it.
  SetMagazineConfinement(true);
  // Keys a magazine's files lack are written back once per turn of the event
  // loop, not once per key.
  SetIniWriteBackScheduler([] { QTimer::singleShot(0, [] { FlushIniWrites(); }); });
  QtStartupView view(app);
  Startup startup(view);
  const int code = startup.run();
  FlushIniWrites();
  SetIniWriteBackScheduler({});
  return code;
}

}  // namespace pagemoor
