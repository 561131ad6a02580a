#include "RunMagazine.h"

#include <QApplication>
#include <QTimer>
#include <memory>
#include <optional>

#include "app/LauncherWindow.h"
#include "app/Startup.h"
#include "app/ThinkingBoxWindow.h"
#include "audio/AudioEngine.h"
#include "audio/sdl/SdlOutput.h"
#include "common/IniFile.h"
#include "installer/InstallWindow.h"
#include "jukebox/JukeboxWindow.h"
#include "mailer/MailerWindow.h"
#include "pictures/CreditsWindow.h"
#include "pictures/PictureViewerWindow.h"
#include "platform/AnswerQueue.h"
#include "platform/Platform.h"
#include "platform/ScriptedPlatform.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtText.h"
#include "viewer/MainWindow.h"
#include "viewer/qt/ScaledScreen.h"

namespace pagemoor {

namespace {

// The start-up's windows: the launcher, the thinking box, and the reading's
// windows created in their order around one message loop.
class QtStartupView : public StartupView {
 public:
  explicit QtStartupView(QApplication& app) : m_app(app) {}

  void setApplicationTitle(const std::string& title) override {
    QGuiApplication::setApplicationDisplayName(ToQt(title));
  }

  LauncherChoice showLauncher() override {
    TfrmLauncher launcher;
    // Closed without a project, the start-up ends at its project check.
    launcher.setTerminate([] {});
    platform().showModal(launcher);
    LauncherChoice choice;
    choice.project = launcher.lblProject();
    choice.useDirectX = launcher.lblUseDX() != "0";
    choice.playMusic = launcher.lblPlayMusic() != "0";
    return choice;
  }

  void showThinking(const std::string& text) override { m_thinking.ShowThinking(nullptr, text); }
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
    main.setJukebox(jukebox.get());
    main.setLocalisedWindows({jukebox.get(), &mailer, &pictureViewer, &installer, &credits});
    main.setJukeboxDestroyer([&] {
      if (!jukebox) return;
      jukebox->close();
      main.setJukebox(nullptr);
      jukebox.reset();
    });
    ScaledScreen screen(main);
    screen.show();
    m_app.exec();
  }

 private:
  QApplication& m_app;
  TThinking_box m_thinking;
};

}  // namespace

int RunMagazine(int argc, char** argv) {
  QApplication app(argc, argv);
  QtPlatform qtPlatform;
  std::optional<ScriptedPlatform> scripted;
  if (ScriptedUiRequested()) scripted.emplace(qtPlatform, AnswerQueue::fromEnvironment());
  Platform& chosen = scripted ? static_cast<Platform&>(*scripted) : qtPlatform;
  ScopedPlatform usePlatform(chosen);
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
