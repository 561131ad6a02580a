#include "platform/Platform.h"

#include <atomic>
#include <iostream>

#include "platform/AnswerQueue.h"
#include "platform/HeadlessPlatform.h"
#include "platform/ScriptedPlatform.h"

namespace pagemoor {

namespace {

std::atomic<Platform*> g_platform{nullptr};

// Core code may ask a question before main sets a platform, or in a tool that
// never sets one; the question must be answered, never wait for a window.
Platform& DefaultPlatform() {
  static HeadlessPlatform headless;
  static ScriptedPlatform scripted(headless, AnswerQueue::fromEnvironment(), std::cerr);
  return scripted;
}

}  // namespace

Platform& platform() {
  Platform* p = g_platform.load(std::memory_order_acquire);
  return p ? *p : DefaultPlatform();
}

void setPlatform(Platform* p) {
  g_platform.store(p, std::memory_order_release);
}

ScopedPlatform::ScopedPlatform(Platform& p)
    : m_previous(g_platform.exchange(&p, std::memory_order_acq_rel)) {}

ScopedPlatform::~ScopedPlatform() {
  g_platform.store(m_previous, std::memory_order_release);
}

}  // namespace pagemoor
