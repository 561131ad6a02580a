#include "viewer/DisplaySurface.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/DebugBox2.h"
#include "support/FakePlatform.h"
#include "support/LogConsole.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using testing::ElementsAre;
using testing::IsEmpty;

// Records what the surface and the desktop change asked of the window.
class RecordingPresenter : public ScreenPresenter {
 public:
  void enterFullScreen() override {
    calls.push_back("enter");
    if (failEnter) throw std::runtime_error("no screen");
  }
  void leaveFullScreen() override { calls.push_back("leave"); }
  std::vector<std::string> calls;
  bool failEnter = false;
};

TEST(DisplaySurfaceTest, ModesAreSortedByWidthHeightAndBits) {
  DisplaySurface surface({{1024, 768, 16}, {800, 600, 32}, {640, 480, 8}, {800, 600, 16}, {800, 480, 32}});
  std::vector<std::string> texts;
  for (const DisplayMode& m : surface.DisplayModes()) texts.push_back(DisplayModeText(m));
  EXPECT_THAT(texts, ElementsAre("640x480x8", "800x480x32", "800x600x16", "800x600x32", "1024x768x16"));
}

TEST(DisplaySurfaceTest, InitialisingTwiceFinalisesFirstAndFinaliseLeavesFullScreen) {
  RecordingPresenter presenter;
  DisplaySurface surface;
  surface.setPresenter(&presenter);
  EXPECT_EQ(DisplayModeText({surface.DisplayWidth(), surface.DisplayHeight(), surface.DisplayBitCount()}),
            "800x600x16");
  surface.Initialize();
  surface.setDisplayBitCount(32);
  surface.Initialize();
  EXPECT_EQ(DisplayModeText(surface.activeMode()), "800x600x32");
  surface.Finalize();
  surface.Finalize();
  EXPECT_FALSE(surface.Initialized());
  EXPECT_THAT(presenter.calls, ElementsAre("enter", "leave", "enter", "leave"));
}

TEST(DisplaySurfaceTest, AFailingPresenterLeavesTheSurfaceFinalised) {
  RecordingPresenter presenter;
  presenter.failEnter = true;
  DisplaySurface surface;
  surface.setPresenter(&presenter);
  EXPECT_THROW(surface.Initialize(), std::runtime_error);
  EXPECT_FALSE(surface.Initialized());
}

struct PickCase {
  const char* name;
  std::vector<DisplayMode> modes;
  std::optional<std::string> picked;
};

class PickDisplayModeTest : public testing::TestWithParam<PickCase> {};

TEST_P(PickDisplayModeTest, TakesTheDeepest800x600Mode) {
  DisplaySurface surface(GetParam().modes);  // sorted as a device lists them
  EXPECT_EQ(PickDisplayMode(surface.DisplayModes()), GetParam().picked);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PickDisplayModeTest,
    testing::Values(
        PickCase{"SixteenAndThirtyTwo", {{800, 600, 16}, {800, 600, 32}, {1024, 768, 32}}, "800x600x32"},
        PickCase{"EightAndSixteen", {{800, 600, 8}, {800, 600, 16}}, "800x600x16"},
        PickCase{"TwentyFourOnly", {{640, 480, 32}, {800, 600, 24}}, "800x600x24"},
        PickCase{"FifteenBitsDoNotCount", {{800, 600, 15}}, std::nullopt},
        PickCase{"No800x600", {{640, 480, 16}, {1024, 768, 32}}, std::nullopt},
        PickCase{"Empty", {}, std::nullopt}),
    [](const testing::TestParamInfo<PickCase>& info) { return std::string(info.param.name); });

class SelectDisplayModeTest : public testing::Test {
 protected:
  SelectDisplayModeTest() { desktop.setPresenter(&presenter); }

  std::vector<std::string> lines() const { return console.Lines(); }

  FakePlatform fake;
  ScopedPlatform use{fake};
  test::LogConsole console;
  RecordingPresenter presenter;
  DisplaySurface surface;
  DesktopDisplayMode desktop;
};

TEST_F(SelectDisplayModeTest, UsesTheDeepestModeAndInitialisesAgainAtIt) {
  surface.setDisplayModes({{800, 600, 16}, {800, 600, 32}});
  EXPECT_TRUE(SelectDisplayMode(surface, desktop, console.sink, false, true));
  EXPECT_THAT(lines(), ElementsAre("System: Resolution: 800x600x32", "System: Using Direct-X"));
  EXPECT_TRUE(surface.Initialized());
  EXPECT_EQ(surface.initializeCount(), 2);
  EXPECT_EQ(DisplayModeText(surface.activeMode()), "800x600x32");
  EXPECT_THAT(fake.calls, IsEmpty());
  EXPECT_FALSE(desktop.changed());
}

TEST_F(SelectDisplayModeTest, WithoutAModeShowsTheCzechMessageAndStaysInitialised) {
  surface.setDisplayModes({{640, 480, 16}});
  EXPECT_TRUE(SelectDisplayMode(surface, desktop, console.sink, false, true));
  EXPECT_THAT(fake.textsOf("info"), ElementsAre("Nemohu zmenit rozliseni"));
  EXPECT_THAT(lines(), IsEmpty());
  EXPECT_TRUE(surface.Initialized());
  EXPECT_EQ(surface.initializeCount(), 1);
  EXPECT_EQ(DisplayModeText(surface.activeMode()), "800x600x16");
}

TEST_F(SelectDisplayModeTest, NoDxParameterOrLauncherOptionChangesTheDesktopMode) {
  for (const auto& [noDx, launcherDx] :
       {std::pair{true, true}, std::pair{false, false}, std::pair{true, false}}) {
    SCOPED_TRACE(std::to_string(noDx) + std::to_string(launcherDx));
    test::LogConsole log;
    DesktopDisplayMode mode;
    mode.setPresenter(&presenter);
    EXPECT_FALSE(SelectDisplayMode(surface, mode, log.sink, noDx, launcherDx));
    EXPECT_THAT(log.Lines(), ElementsAre("System: Resolution: 800x600x16", "System: Not-Using Direct-X"));
    EXPECT_TRUE(mode.changed());
    EXPECT_EQ(DisplayModeText(mode.requested()), "800x600x16");
  }
  EXPECT_EQ(surface.initializeCount(), 0);
}

TEST_F(SelectDisplayModeTest, AFailedDesktopChangeStillLogsBothLines) {
  presenter.failEnter = true;
  EXPECT_FALSE(SelectDisplayMode(surface, desktop, console.sink, true, true));
  EXPECT_THAT(lines(), ElementsAre("System: Resolution: 800x600x16", "System: Not-Using Direct-X"));
  EXPECT_FALSE(desktop.changed());

  // Without a window to present at all the change fails quietly as well.
  test::LogConsole log;
  DesktopDisplayMode nowhere;
  EXPECT_FALSE(SelectDisplayMode(surface, nowhere, log.sink, true, true));
  EXPECT_EQ(log.Lines().size(), 2u);
}

TEST_F(SelectDisplayModeTest, AFailingSurfacePassesItsExceptionOn) {
  surface.setPresenter(&presenter);
  presenter.failEnter = true;
  EXPECT_THROW(SelectDisplayMode(surface, desktop, console.sink, false, true), std::runtime_error);
  EXPECT_THAT(lines(), IsEmpty());
}

TEST(DesktopDisplayModeTest, RestoreLeavesFullScreenOnlyAfterAChange) {
  RecordingPresenter presenter;
  DesktopDisplayMode mode;
  mode.setPresenter(&presenter);
  mode.Restore();
  EXPECT_FALSE(mode.ChangeTemporarily(1024, 768, 32));
  EXPECT_TRUE(mode.ChangeTemporarily(800, 600, 16));
  mode.Restore();
  mode.Restore();
  EXPECT_THAT(presenter.calls, ElementsAre("enter", "leave"));
}

}  // namespace
}  // namespace pagemoor
