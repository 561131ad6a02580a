// A test platform that runs a hook whenever a wait lets the window handle
// its events, as a click or a closing window would.
#pragma once

#include <functional>

#include "support/FakePlatform.h"

namespace pagemoor::test {

class HookPlatform : public FakePlatform {
 public:
  std::function<void()> onEvents;

  void processEvents() override {
    FakePlatform::processEvents();
    if (onEvents) onEvents();
  }
};

}  // namespace pagemoor::test
