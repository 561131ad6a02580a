#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTextCursor>
#include <QTextDocument>
#include <string>
#include <vector>

#include "audio/AudioEngine.h"
#include "common/HostPaths.h"
#include "console/DebugBox2.h"
#include "hypertext/HtmlPaneWidget.h"
#include "jukebox/JukeboxWindow.h"
#include "support/WavFile.h"
#include "viewer/ViewerTest.h"

namespace pagemoor {
namespace {

using test::WavBytes;
using testing::Contains;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

// The viewer with a jukebox on the null output and pages in "texts".
class DocumentsWindowTest : public test::ViewerJukeboxTest {
 protected:
  DocumentsWindowTest() {
    tmp.write("texts/index.htm", "<html><body><p>Index</p></body></html>");
    tmp.write("texts/sub/deep.htm", "<html><body><p>Deep</p></body></html>");
  }
};

TEST_F(DocumentsWindowTest, OnlyLowerCaseWavNamesPlayAsSamplesOverTheMusic) {
  sound("sounds/click.wav");
  sound("sounds/tune.WAV");
  TfrmMain& w = open();
  w.PlaySoundFile(tmp.file("sounds/tune.WAV"));
  EXPECT_TRUE(musicPlays());
  EXPECT_EQ(sample(), 0u);
  const audio::Handle music = jukebox.jukebox().Channel();
  w.PlaySoundFile(tmp.file("sounds/click.wav"));
  EXPECT_NE(sample(), 0u);
  EXPECT_EQ(jukebox.jukebox().Channel(), music);  // the music plays on
}

TEST_F(DocumentsWindowTest, PicturesFolderWinsOverThePicturesBesideThePage) {
  tmp.write("texts/both.gif", "beside");
  tmp.write("pictures/both.gif", "pictures");
  tmp.write("texts/here.gif", "beside");
  tmp.write("pictures/there.gif", "pictures");
  tmp.write("texts/my logo.gif", "beside blank");
  tmp.write("pictures/our logo.gif", "pictures blank");
  tmp.write("pictures/img/a.gif", "pictures img");
  tmp.write("texts/img/b.gif", "beside img");
  tmp.write("texts/folder.gif", "beside, pictures has a folder");
  CreateFolder(tmp.file("pictures/folder.gif"));
  tmp.write("texts/sub/Case.GIF", "beside, other case");

  TfrmMain& w = open();
  struct Case {
    const char* src;
    const char* bytes;
  };
  const Case cases[] = {
      {"both.gif", "pictures"},
      {"here.gif", "beside"},
      {"there.gif", "pictures"},
      {"my%20logo.gif", "beside blank"},
      {"our%20logo.gif", "pictures blank"},
      {"img/a.gif", "pictures img"},
      {"img\\a.gif", "pictures img"},
      {"img/b.gif", "beside img"},
      {"folder.gif", "beside, pictures has a folder"},
      {"sub/case.gif", "beside, other case"},
      {"missing.gif", ""},
      {"", ""},
  };
  using Handler = void (TfrmMain::*)(Sender, const std::string&, std::string&);
  const std::pair<HtmlPaneWidget*, Handler> panes[] = {
      {w.htmlMain(), &TfrmMain::htmlMainImageRequest},
      {w.htmlLeft(), &TfrmMain::htmlLeftImageRequest},
      {w.htmlTop(), &TfrmMain::htmlTopImageRequest},
  };
  for (const auto& [pane, handler] : panes) {
    ASSERT_TRUE(pane->LoadDocument(tmp.file("texts/index.htm")));
    for (const Case& c : cases) {
      std::string stream = "stale";
      (w.*handler)(pane, c.src, stream);
      EXPECT_EQ(stream, c.bytes) << pane->objectName().toStdString() << " " << c.src;
    }
  }
}

TEST_F(DocumentsWindowTest, SoundRequestsPlayExistingFilesBesideThePage) {
  sound("texts/bg.wav");
  sound("texts/sub/tune.WAV");
  TfrmMain& w = open();
  w.htmlMain()->LoadDocument(tmp.file("texts/index.htm"));

  w.htmlMainSoundRequest(w.htmlMain(), "bg.wav", 1, false);
  EXPECT_NE(sample(), 0u);
  w.htmlMainSoundRequest(w.htmlMain(), "sub/tune.WAV", -1, true);
  EXPECT_TRUE(musicPlays());
  const audio::Handle music = jukebox.jukebox().Channel();

  // A new document asks with an empty name, a page for a missing sound: the
  // music goes on and the jukebox is not bothered about a missing file.
  for (const char* src : {"", "missing.mid", "sub"}) {
    w.htmlMainSoundRequest(w.htmlMain(), src, 1, true);
    EXPECT_EQ(jukebox.jukebox().Channel(), music) << src;
  }
  EXPECT_THAT(fake.calls, IsEmpty());
}

TEST_F(DocumentsWindowTest, IncludeDirectivesOfThePageAreAnswered) {
  tmp.write("texts/inc.htm",
            "<html><body><p>[<!--#AppVer-->]</p><p>[<!--#appversion-->]</p><p>[<!--#Nothing-->]</p>"
            "<p>[<!--#Signature-->]</p></body></html>");
  TfrmMain& w = open();
  ASSERT_TRUE(w.htmlMain()->LoadDocument(tmp.file("texts/inc.htm")));
  const std::string text = w.htmlMain()->toPlainText().toStdString();
  const std::string version = std::to_string(AppVersion());
  EXPECT_THAT(text, HasSubstr("[" + version + "]"));
  EXPECT_THAT(text, HasSubstr("[Pagemoor version: " + version + "]"));
  EXPECT_EQ(w.htmlMain()->toPlainText().count(QStringLiteral("[]")), 2);
}

TEST_F(DocumentsWindowTest, SignaturesComeFromTheProjectsAddressBook) {
  tmp.write("ini/contacts.ini",
            "[ann]\r\nsignature=%FirstName% %LastName%\r\nfirstname=Ann\r\nlastname=Lee\r\n");
  TfrmMain& w = open();
  EXPECT_EQ(w.htmlMainInclude(w.htmlMain(), "signature", {"USER=\"Ann\""}), "Ann Lee");
}

TEST_F(DocumentsWindowTest, ProcessingLogsTheLinkThatLedToTheDocument) {
  tmp.write("texts/start.htm",
            "<html><body><p><a href=\"con_com:load_main page2.htm\">Next page</a></p></body></html>");
  tmp.write("texts/page2.htm", "<html><body><p>Second</p></body></html>");
  tmp.write("ini/panes.ini",
            "[html_main]\r\nvisible=true\r\nalign=none\r\nleft=0\r\ntop=0\r\nwidth=400\r\nheight=300\r\n");
  TfrmMain& w = open();
  w.show();
  w.SetUpPane(w.htmlMain(), "panes.ini");
  HtmlPaneWidget* pane = w.htmlMain();
  ASSERT_TRUE(pane->LoadDocument(tmp.file("texts/start.htm")));
  QApplication::processEvents();
  // Nothing covered yet: nothing logged.
  const std::size_t before = w.Console().Lines().size();
  w.htmlLeftProcessing(pane, true);
  EXPECT_EQ(w.Console().Lines().size(), before);

  // A real click on the link: the command loads the next page, and the pane's
  // processing of it is logged with the link.
  const QTextCursor found = pane->document()->find(QStringLiteral("Next page"));
  ASSERT_FALSE(found.isNull());
  QTextCursor middle(pane->document());
  middle.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
  const QPoint at = pane->cursorRect(middle).center();
  auto send = [&](QEvent::Type type, Qt::MouseButton button) {
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, QPointF(at), QPointF(pane->viewport()->mapToGlobal(at)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(pane->viewport(), &event);
  };
  send(QEvent::MouseMove, Qt::NoButton);
  send(QEvent::MouseButtonPress, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, Qt::LeftButton);
  QApplication::processEvents();

  EXPECT_EQ(pane->CurrentDocument(), tmp.file("texts/page2.htm"));
  const std::vector<std::string> lines = w.Console().Lines();
  EXPECT_THAT(lines, Contains("Main: Loading page2.htm"));
  EXPECT_THAT(lines, Contains("Main: con_com:load_main page2.htm"));
  EXPECT_THAT(lines, Not(Contains(testing::StartsWith("Left:"))));
}

}  // namespace
}  // namespace pagemoor
