// The picture viewer (TfrmPV): a black full-screen window that shows the
// slideshow's pictures one per click, with a caption line at the top. It is
// created once and shown modally by the "slideshow" command; the steps of the
// show live in Slideshow, the window only shows what they say. Like the
// magazine, it is laid out at 800 x 600 and shown scaled to the screen.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "common/LogSink.h"
#include "console/DebugBox2.h"  // Sender
#include "pictures/Slideshow.h"
#include "platform/Platform.h"
#include "platform/qt/FullScreenModal.h"

class QCursor;
class QEvent;
class QLabel;
class QListWidget;
class QMouseEvent;
class QCloseEvent;
class QResizeEvent;

namespace pagemoor {

class ImageWidget;

// Object names: the window "frmPV", the picture "imgBack", the caption line
// "lblPopisek", the hidden no-data picture "imgNoData" and the hidden list
// "ListBox1", whose current row is the position in the show.
class TfrmPV : public QWidget, public ModalWindow, public SlideshowView {
  Q_OBJECT

 public:
  // The built-in picture shown in place of a missing one.
  static constexpr const char* kNoDataResource = ":/pictures/nodata.jpg";

  // LoadPicture logs the pictures it loads in the program's log.
  explicit TfrmPV(LogSink& log, QWidget* parent = nullptr);
  ~TfrmPV() override;
  TfrmPV(const TfrmPV&) = delete;
  TfrmPV& operator=(const TfrmPV&) = delete;

  // The "slideshow" command handler.
  void cmdSlideShow(Sender sender, const std::string& params);
  // A click on the window or on imgBack. Escape ends the show as the
  // closing click does (Slideshow::endShow).
  void imgBackClick();

  // The click sound's player; the viewer provides it.
  void setPlaySoundFile(std::function<void(const std::string& path)> play);
  // The project's link cursor, over the window, imgBack, imgNoData and ListBox1.
  void setLinkCursor(const QCursor& cursor);

  ImageWidget* imgBack() const { return m_imgBack; }
  QLabel* lblPopisek() const { return m_lblPopisek; }
  ImageWidget* imgNoData() const { return m_imgNoData; }
  QListWidget* ListBox1() const { return m_listBox; }
  const Slideshow& slideshow() const { return m_slideshow; }

  // --- ModalWindow ---
  std::string modalName() const override;
  std::string modalCaption() const override;
  // Scaled to the whole screen (FullScreenModal); returns 0 when the window
  // closes.
  int execModal() override;
  // Scripted runs: each "click" answer is one click; the show ends at the
  // closing click, at a "close" answer (taken), or at any other answer or an
  // empty queue (left for whoever asks next).
  int runScripted(AnswerQueue& answers) override;

  // --- SlideshowView ---
  void setCaptionLine(const std::string& text) override;
  void listChanged(const std::vector<std::string>& names) override;
  void positionChanged(int index) override;
  // Loads the file into imgBack when it exists, then centres it.
  bool ShowPicture(const std::string& path) override;
  // Logs under imgBack why a file could not be shown.
  bool loadPicture(const std::string& path) override;
  void showNoData() override;
  void clearPicture() override;
  // imgBack in the middle of the 800 x 600 screen (not of the window), by
  // integer halves.
  void CenterPicture() override;
  void showModal() override;
  void closeWindow() override;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void placeCaptionLine();

  LogSink& m_log;
  Slideshow m_slideshow;
  ImageWidget* m_imgBack;
  QLabel* m_lblPopisek;
  ImageWidget* m_imgNoData;
  QListWidget* m_listBox;
  FullScreenModal m_modal;
  bool m_showing = false;      // between the show's start and its closing
  bool m_leftPressed = false;  // a left button press on the window itself
};

}  // namespace pagemoor
