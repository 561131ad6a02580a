#include "platform/PlatformFacets.h"

#include <chrono>
#include <thread>

namespace pagemoor {

int ModalWindow::runScripted(AnswerQueue& /*answers*/) {
  return 0;
}

void MessageBoxes::showMessage(const std::string& /*caption*/, const std::string& text) {
  showInfo(text);
}

void EventLoop::sleepAndProcessEvents(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  processEvents();
}

bool ProgramMessages::listenForRemoteMessages(const std::string& /*name*/,
                                              std::function<void(int message)> /*handler*/) {
  return false;
}

bool ProgramMessages::postRemoteMessage(const std::string& /*peer*/, int /*message*/) {
  return false;
}

bool InstanceCheck::isAlreadyRunning(const std::string& /*title*/) {
  return false;
}

}  // namespace pagemoor
