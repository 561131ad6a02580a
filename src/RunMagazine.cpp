#include "RunMagazine.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "app/EndSignals.h"
#include "app/LauncherWindow.h"
#include "app/Startup.h"
#include "app/ThinkingBoxWindow.h"
#include "audio/AudioEngine.h"
#include "audio/sdl/SdlOutput.h"
#include "common/Application.h"
#include "common/IniFile.h"
#include "common/LogSink.h"
#include "common/MagazineFiles.h"
#include "installer/InstallWindow.h"
#include "jukebox/JukeboxWindow.h"
#include "mailer/MailerWindow.h"
#include "pictures/CreditsWindow.h"
#include "pictures/PictureViewerWindow.h"
#include "pictures/qt/QtPictures.h"
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

// The end signals in the event loop: what an end means depends on the moment
// (see app/EndSignals.h). Outside the launcher and the reading (the checks,
// the unpacking, whose extractors let events through between blocks) the run
// ends at once, removing what it has unpacked so far.
class EndSignalEvents {
 public:
  explicit EndSignalEvents(EndSignals& endSignals) : m_signals(endSignals) {
    if (endSignals.readFd() < 0) return;
    m_notifier = std::make_unique<QSocketNotifier>(endSignals.readFd(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
      if (!m_signals.takeSignal()) return;
      if (m_end) {
        m_end();
      } else {
        EndNow(m_signals.exitCode(), "ended by a signal before the reading; the unpacked files are removed");
      }
    });
  }

  // What an end does from now on; an empty one ends at once.
  void setEnd(std::function<void()> end) { m_end = std::move(end); }
  int exitCode() const { return m_signals.exitCode(); }

 private:
  EndSignals& m_signals;
  std::unique_ptr<QSocketNotifier> m_notifier;
  std::function<void()> m_end;
};

// Sets what an end does for the life of a scope.
class EndDuring {
 public:
  EndDuring(EndSignalEvents& events, std::function<void()> end) : m_events(events) {
    m_events.setEnd(std::move(end));
  }
  ~EndDuring() { m_events.setEnd({}); }
  EndDuring(const EndDuring&) = delete;
  EndDuring& operator=(const EndDuring&) = delete;

 private:
  EndSignalEvents& m_events;
};

// For the tests only, never set by a reader: PAGEMOOR_TEST_STALL_MS keeps the
// interface thread busy for that long once the reading's windows are up,
// processing no events, as a page that keeps the layout engine busy would.
// The tests show with it that an end signal still ends the program in time.
void StallForTests() {
  const char* value = std::getenv("PAGEMOOR_TEST_STALL_MS");
  if (!value) return;
  const int milliseconds = std::atoi(value);
  QTimer::singleShot(0, [milliseconds] {
    std::cerr << "[test] the interface thread stalls for " << milliseconds << " ms" << std::endl;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  });
}

// The start-up's windows: the launcher, the thinking box, and the reading's
// windows created in their order around one message loop.
class QtStartupView : public StartupView {
 public:
  QtStartupView(QApplication& app, EndSignalEvents& endSignals, LogSink& log)
      : m_app(app), m_endSignals(endSignals), m_log(log) {}

  void setApplicationTitle(const std::string& title) override {
    // The application's name as its windows and messages give it; Qt's
    // display name stays unset, so window titles are exactly what the
    // windows say.
    SetApplicationTitle(title);
  }

  LauncherChoice showLauncher() override {
    TfrmLauncher launcher(m_log);
    // Closed without a project, the application is terminating: the start-up
    // still runs to its project check, but nothing of it reaches the screen.
    launcher.setTerminate([this] { m_terminating = true; });
    // An end signal closes it as "Zavřít" does: the start-up then ends
    // without a word and deletes the launcher's log. Once it has closed
    // (Run was pressed) there is nothing to close, and the run ends at once.
    EndDuring end(m_endSignals, [this, &launcher] {
      if (!launcher.isVisible())
        EndNow(m_endSignals.exitCode(),
               "ended by a signal as the launcher closed; the launcher's log is removed");
      launcher.btnCloseClick();
    });
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
    TfrmMain main(m_log, &m_thinking);
    auto jukebox = std::make_unique<TPlinq_Main>(engine, &m_log);
    TfrmPV pictureViewer(m_log);
    TfrmInstall installer(m_log);
    TfrmMailer mailer(m_log);
    TfrmCredits credits;
    // Everything the start sequence reads is handed over before the window
    // can be shown.
    main.setLauncherChoice(settings.launcher);
    for (const std::string& note : settings.notes) m_log.Log("System", note);
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
    // An end signal ends the reading as "exit now" does.
    EndDuring end(m_endSignals,
                  [&main] { main.runGuarded([&main] { main.shutdown().ExitProgram(false); }); });
    // A scripted run reads on from the answer queue once the magazine has started.
    std::optional<ScriptedReader> reader;
    if (AnswerQueue* answers = platform().scriptedAnswers()) reader.emplace(main, *answers, std::cerr);
    screen.show();
    if (reader) reader->start();
    StallForTests();
    m_app.exec();
  }

 private:
  QApplication& m_app;
  EndSignalEvents& m_endSignals;
  LogSink& m_log;
  TThinking_box m_thinking;
  bool m_terminating = false;
};

}  // namespace

int RunMagazine(int argc, char** argv) {
  g_qtMessages = qInstallMessageHandler(FilterQtMessages);
  QApplication app(argc, argv);
  // PNG, BMP and the other formats the pictures library leaves to Qt.
  InstallQtPictureReader();
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
  // From before the launcher to the end of the process an end signal removes
  // what the run has made; the watchdog sees to it when the interface thread
  // is too busy to.
  EndSignals endSignals(kStartupExitCode);
  EndSignalEvents endSignalEvents(endSignals);
  // Every window writes its lines here and the console of the moment (the
  // launcher's, then the reading's) subscribes; it outlives all of them, so a
  // line written after the reading's console has gone meets no dead console.
  LogSink log;
  QtStartupView view(app, endSignalEvents, log);
  Startup startup(view);
  const int code = startup.run();
  FlushIniWrites();
  SetIniWriteBackScheduler({});
  return code;
}

}  // namespace pagemoor
