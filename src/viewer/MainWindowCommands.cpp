#include "viewer/MainWindow.h"

// The command set: the table and its handlers.

namespace pagemoor {

void TfrmMain::registerCommands() {}

void TfrmMain::CmdShow(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdInstall(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdMessage(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdRun_Script(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdLoad_Main(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdLoad_Left(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdLoad_Top(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdExit(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdSlideShow(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdPlay(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdMinimize(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdShowDesktop(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdToggle_Console(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdLeft_Go_Back(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdTop_Go_Back(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdMain_Go_Back(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdShell_Execute(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdFillCustomIni(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdLoad_TopImage(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdShow_TopImage(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdLoad_Desktop(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdSetUpMain(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdSetUpLeft(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdSetUpTop(Sender /*sender*/, const std::string& /*params*/) {}
void TfrmMain::cmdLoad_MusicList(Sender /*sender*/, const std::string& /*params*/) {}

void TfrmMain::RunScript(const std::string& /*name*/) {}

void TfrmMain::loadPage(HtmlPaneWidget* /*pane*/, const char* /*source*/, const std::string& /*params*/) {}

}  // namespace pagemoor
