// The jukebox window (TPlinq_Main, object name "Plinq_Main"): the lists, the
// effect switches, the volume, the wave display and the meters, with the menu
// MainMenu1. It is created once at start-up, lives until the program ends and
// is shown modally by "show cp"; closing only hides it and the music plays on.
// Everything it does is the Jukebox's; the window forwards and draws.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jukebox/Jukebox.h"
#include "platform/Platform.h"

class QAction;
class QCheckBox;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QEventLoop;
class QFileDialog;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QProgressBar;
class QShowEvent;
class QSlider;
class QTimer;

namespace pagemoor {

class LogSink;

// The wave display: shows the work bitmap the window draws.
class WaveImage : public QWidget {
  Q_OBJECT

 public:
  explicit WaveImage(QWidget* parent = nullptr);
  void setImage(const QImage& image);
  const QImage& image() const { return m_image; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage m_image;
};

// Object names as the control table gives them: "ListBox1" (hidden),
// "ListBox2", "WavePaint", "SliderImage", the group "dxEF" with "Label1",
// "Echo", "Flange", "Reverb", "Chorus", "Gargle", "Label2", "Echos",
// "Flanger", "Rotates", "Surround"; "Music_Volume", "Volume", "VU_Left",
// "VU_Right", "L", "R", "ID3DEF" (hidden), "ID3Mask", "lblmusic"; the menu
// bar "MainMenu1" with "Zavrit", "Zastavit", "Dalsi" and the submenu
// "Playlist" with "Pridat", "Odebrat", "Nacist", "Ulozit", "Vymazat",
// "Nahodne"; the timers "Timer1" and "Timer3".
class TPlinq_Main : public QMainWindow, public ModalWindow, private JukeboxView {
  Q_OBJECT

 public:
  // The engine is started at creation (FormCreate); the program's log, when
  // given, takes the jukebox's log lines. screenWidth: the width ScaleToScreen
  // goes by; 0 takes the primary screen's.
  explicit TPlinq_Main(audio::AudioEngine& engine, LogSink* log = nullptr, int screenWidth = 0,
                       QWidget* parent = nullptr);
  ~TPlinq_Main() override;
  TPlinq_Main(const TPlinq_Main&) = delete;
  TPlinq_Main& operator=(const TPlinq_Main&) = delete;

  Jukebox& jukebox() { return *m_jukebox; }
  // False when the engine could not start (the application is then told to end).
  bool created() const { return m_created; }

  // Scales the window and its controls by ScreenScaleFactor(width) / 100;
  // 800 leaves them as they are. Runs once at creation.
  void ScaleToScreen(int screenWidth);
  int scalePercent() const { return m_scale; }

  // The timers' ticks (the QTimers call them; tests call them directly).
  void Timer1Timer();
  void Timer3Timer();
  // The wave display's bitmaps, sized to WavePaint.
  const QImage& waveImage() const { return m_work; }

  // The add dialog as the desktop shows it: several files, the filter in any
  // letter case. Not shown; PridatClick runs it.
  std::unique_ptr<QFileDialog> makeOpen1Dialog();

  // What the jukebox asks of the application; tests replace them.
  std::function<void()> onTerminate;
  std::function<void()> onMinimize;
  std::function<void()> onRestore;

  QListWidget* ListBox1() const { return m_listBox1; }
  QListWidget* ListBox2() const { return m_listBox2; }
  QProgressBar* VU_Left() const { return m_vuLeft; }
  QProgressBar* VU_Right() const { return m_vuRight; }
  QSlider* Music_Volume() const { return m_volume; }
  QLineEdit* ID3Mask() const { return m_id3Mask; }
  QLabel* ID3DEF() const { return m_id3Def; }
  QWidget* clientArea() const { return m_client; }
  QTimer* Timer1() const { return m_timer1; }
  QTimer* Timer3() const { return m_timer3; }

  // --- ModalWindow ---
  std::string modalName() const override;
  std::string modalCaption() const override;
  // Application-modal until the window closes; returns 0.
  int execModal() override;
  // Scripted runs: the window is shown (FormShow) and closes at once.
  int runScripted(AnswerQueue& answers) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Escape does what "Zavřít" does: the window goes, the music plays on.
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // --- JukeboxView ---
  void jukeboxChanged() override;
  void closeWindow() override;
  void minimizeApplication() override;
  void restoreApplication() override;
  void terminateApplication() override;

  void buildControls();
  void buildMenu();
  QCheckBox* addSwitch(const char* name, const char* caption, int top, bool JukeboxSwitches::*field,
                       void (Jukebox::*click)());
  // Runs a handler of the logic; a failure it lets through (a playlist that
  // does not load) goes to the log instead of through Qt's event loop.
  void guarded(const std::function<void()>& handler);
  void DrawWave();
  std::optional<std::vector<std::string>> runOpen1(const FileDialogOptions& options);

  std::unique_ptr<JukeboxAudio> m_audio;
  std::unique_ptr<Jukebox> m_jukebox;
  LogSink* m_log;
  bool m_created = false;
  int m_scale = 100;
  bool m_syncing = false;
  std::uint64_t m_shownListsVersion = ~std::uint64_t{0};
  QEventLoop* m_modalLoop = nullptr;

  QWidget* m_client = nullptr;
  QListWidget* m_listBox1 = nullptr;
  QListWidget* m_listBox2 = nullptr;
  WaveImage* m_wavePaint = nullptr;
  QWidget* m_sliderImage = nullptr;
  QGroupBox* m_dxEF = nullptr;
  QSlider* m_volume = nullptr;
  QProgressBar* m_vuLeft = nullptr;
  QProgressBar* m_vuRight = nullptr;
  QLabel* m_id3Def = nullptr;
  QLineEdit* m_id3Mask = nullptr;
  QAction* m_nahodne = nullptr;
  QTimer* m_timer1 = nullptr;
  QTimer* m_timer3 = nullptr;

  // The background and the work bitmap of the wave display.
  QImage m_background;
  QImage m_work;
};

}  // namespace pagemoor
