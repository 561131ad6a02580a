// The one interface the rest of the program uses for what the operating
// system gives: message and input boxes, file and folder dialogs, modal
// windows, pending events, the shell, registry values, messages between
// programs, the one-instance check. Each group is a facet of its own
// (PlatformFacets.h).
//
// Implementations: QtPlatform (real boxes and dialogs), ScriptedPlatform
// (headless: every box is written to standard error as one "[ui]" line and
// answered from a queue, everything else handed to the platform it wraps),
// HeadlessPlatform (no windows at all) and the test double under tests/support.
#pragma once

#include "platform/PlatformFacets.h"

namespace pagemoor {

// The name a running Pagemoor listens on for remote-control messages.
inline constexpr const char* kPagemoorRemoteName = "pagemoor";
// The peer the jukebox notifies at each showing.
inline constexpr const char* kCorePeerName = "Pagemoor Core";

// Every group of services in one object, so callers keep asking platform()
// for any of them; an implementation overrides group by group what it
// changes (ForwardingPlatform.h for one that wraps another).
class Platform : public MessageBoxes,
                 public FileDialogs,
                 public ModalWindows,
                 public EventLoop,
                 public Shell,
                 public RegistryValues,
                 public ProgramMessages,
                 public InstanceCheck {
 public:
  ~Platform() override = default;

  // --- Scripted runs ---
  // The answer queue of a scripted run, or nullptr for an interactive one.
  virtual AnswerQueue* scriptedAnswers() { return nullptr; }
};

// The platform the program uses. Until one is set, a headless scripted
// platform answers every box with its default button.
Platform& platform();
// Sets the platform (not owned); nullptr restores the default.
void setPlatform(Platform* platform);

// Sets a platform for the life of a scope (tests).
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& p);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* m_previous;
};

}  // namespace pagemoor
