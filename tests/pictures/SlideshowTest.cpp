#include "pictures/Slideshow.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/IniLang.h"
#include "support/FakePlatform.h"
#include "support/ScopedCommandLine.h"
#include "support/TempFolder.h"
#include "support/LogConsole.h"

namespace pagemoor {
namespace {

using test::FakePlatform;
using test::TempFolder;
using Strings = std::vector<std::string>;

constexpr const char* kNoData = "<no data>";
constexpr const char* kDamaged = "damaged";

// Keeps what a person would see: the picture (its file name), the caption
// line, whether the window is open; and every call, in order.
class FakeViewer : public SlideshowView {
 public:
  void setCaptionLine(const std::string& text) override {
    caption = text;
    calls.push_back("caption:" + text);
  }
  void listChanged(const Strings& names) override { list = names; }
  void positionChanged(int index) override { selected = index; }
  // A file reading kDamaged cannot be decoded: the picture stays as it was,
  // as the real viewer's does for a JPEG.
  bool ShowPicture(const std::string& path) override {
    calls.push_back("show:" + ExtractFileName(path));
    return take(path);
  }
  bool loadPicture(const std::string& path) override {
    calls.push_back("load:" + ExtractFileName(path));
    return take(path);
  }
  void showNoData() override {
    picture = kNoData;
    calls.push_back("nodata");
  }
  void clearPicture() override {
    picture.clear();
    calls.push_back("clear");
  }
  void CenterPicture() override { calls.push_back("center"); }
  void showModal() override {
    open = true;
    ++modalCount;
    calls.push_back("modal");
  }
  void closeWindow() override {
    open = false;
    calls.push_back("close");
  }

  std::string caption;
  std::string picture;
  Strings list;
  int selected = -1;
  bool open = false;
  int modalCount = 0;
  Strings calls;

 private:
  bool take(const std::string& path) {
    if (ReadTextFile(path) == kDamaged) return false;
    picture = ExtractFileName(path);
    return true;
  }
};

// A project in development mode, so the project folder is the test's folder.
class SlideshowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetLanguageFile(nullptr);
    ClearIniCache();
  }

  // Runs the command, then clicks until the window closes (at most 10
  // clicks). Returns the picture on screen when the window opened and after
  // each click that kept it open; clicksToClose is the closing click's number.
  Strings run(const std::string& params, int& clicksToClose) {
    show.cmdSlideShow(nullptr, params);
    Strings seen;
    clicksToClose = 0;
    if (!view.open) return seen;
    seen.push_back(view.picture);
    for (int click = 1; click <= 10; ++click) {
      show.imgBackClick();
      if (!view.open) {
        clicksToClose = click;
        return seen;
      }
      seen.push_back(view.picture);
    }
    return seen;
  }

  TempFolder t;
  test::ScopedCommandLine m_commandLine{t.path() + "MAG.EXE", {"/develope"}};
  FakePlatform fake;
  ScopedPlatform usePlatform{fake};
  test::LogConsole console;
  FakeViewer view;
  Slideshow show{view, console.sink};
};

TEST_F(SlideshowTest, PicturesShownPerClickAndTheClosingClick) {
  struct Case {
    const char* params;
    Strings pictureFiles;
    const char* listFile;  // scripts/show1.txt when not null
    Strings seen;
    int clicksToClose;
  };
  const Case cases[] = {
      // The last name of a direct list is never shown.
      {"a.jpg|b.jpg|c.jpg", {"a.jpg", "b.jpg", "c.jpg"}, nullptr, {"a.jpg", "b.jpg"}, 2},
      {"a.jpg", {"a.jpg"}, nullptr, {"a.jpg"}, 1},
      {"a.jpg|b.jpg", {"a.jpg", "b.jpg"}, nullptr, {"a.jpg", "a.jpg"}, 2},
      // Every line of a list file is shown, then one more click closes.
      {"file show1.txt", {"p1.png", "p2.png", "p3.png"}, "p1.png\r\np2.png\r\np3.png\r\n",
       {"p1.png", "p2.png", "p3.png"}, 3},
      {"file show1.txt", {"p1.png"}, "p1.png", {"p1.png", "p1.png"}, 2},
      // The words after the list file's name are not part of it.
      {"FILE Show1.TXT extra words", {"p1.png", "p2.png"}, "p1.png\np2.png\n", {"p1.png", "p2.png"}, 2},
      // Missing pictures and an empty name: the no-data picture.
      {"x.jpg||z.jpg|end", {}, nullptr, {kNoData, kNoData, kNoData}, 3},
      // The command lower-cases the names; the file system lookup ignores case.
      {"Photo.JPG|OTHER.png|x", {"PHOTO.jpg", "Other.PNG"}, nullptr, {"photo.jpg", "other.png"}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.params);
    TempFolder project;
    test::ScopedCommandLine commandLine{project.path() + "MAG.EXE", {"/develope"}};
    for (const std::string& name : c.pictureFiles) project.write("pictures/" + name, "picture");
    if (c.listFile) project.write("scripts/show1.txt", c.listFile);
    FakeViewer v;
    Slideshow s{v, console.sink};
    s.cmdSlideShow(nullptr, c.params);
    ASSERT_TRUE(v.open);
    Strings seen{v.picture};
    int closedAt = 0;
    for (int click = 1; click <= 10 && v.open; ++click) {
      s.imgBackClick();
      if (v.open)
        seen.push_back(v.picture);
      else
        closedAt = click;
    }
    EXPECT_EQ(seen, c.seen);
    EXPECT_EQ(closedAt, c.clicksToClose);
    EXPECT_EQ(v.modalCount, 1);
    // The end clears everything it showed.
    EXPECT_EQ(v.picture, "");
    EXPECT_EQ(v.caption, "");
    EXPECT_TRUE(s.names().empty());
    EXPECT_TRUE(v.list.empty());
    EXPECT_EQ(v.selected, -1);
  }
}

TEST_F(SlideshowTest, ListAndPositionAreMirroredToTheListBox) {
  t.write("scripts/show.txt", "a.jpg\nb.jpg\n");
  show.cmdSlideShow(nullptr, "file show.txt");
  EXPECT_EQ(show.names(), (Strings{"a.jpg", "b.jpg", " "}));
  EXPECT_EQ(view.list, show.names());
  EXPECT_EQ(view.selected, 1);
  show.imgBackClick();
  EXPECT_EQ(view.selected, 2);

  show.cmdSlideShow(nullptr, "a.jpg|b.jpg");
  EXPECT_EQ(view.list, (Strings{"a.jpg", "b.jpg"}));
  EXPECT_EQ(view.selected, 0);
}

TEST_F(SlideshowTest, OneClickCentresPlaysCaptionsLoadsAndMovesOn) {
  t.write("pictures/b.jpg", "picture");
  show.cmdSlideShow(nullptr, "a.jpg|b.jpg|c.jpg");
  EXPECT_EQ(view.calls, (Strings{"caption:", "nodata", "center", "modal"}));
  view.calls.clear();
  show.imgBackClick();
  EXPECT_EQ(view.calls, (Strings{"center", "caption:", "load:b.jpg", "center"}));
  view.calls.clear();
  show.imgBackClick();
  EXPECT_EQ(view.calls, (Strings{"center", "caption:", "clear", "close"}));
}

TEST_F(SlideshowTest, CaptionsComeFromThePicturesSectionByTheListedName) {
  t.write("ini/main.ini", "[pictures]\r\na.jpg=Titulní strana\r\nb.jpg=Redakce\r\n");
  t.write("pictures/a.jpg", "picture");
  show.cmdSlideShow(nullptr, "A.jpg|b.jpg|nothing.jpg|last.jpg");
  EXPECT_EQ(view.caption, "Titulní strana");
  Strings captions;
  while (view.open) {
    show.imgBackClick();
    captions.push_back(view.caption);
  }
  // A picture without a caption empties the line; so does the end.
  EXPECT_EQ(captions, (Strings{"Redakce", "", ""}));
}

TEST_F(SlideshowTest, MissingPictureShowsTheNoDataPictureWithItsCaption) {
  t.write("ini/main.ini", "[pictures]\r\ngone.jpg=Ztracený obrázek\r\n");
  show.cmdSlideShow(nullptr, "gone.jpg|x");
  EXPECT_EQ(view.picture, kNoData);
  EXPECT_EQ(view.caption, "Ztracený obrázek");
}

// A file that is there but cannot be shown counts as a missing one, the
// first picture as any other: the no-data picture under the picture's own
// caption, never the slide before it.
TEST_F(SlideshowTest, PictureThatCannotBeShownIsTheNoDataPictureWithItsCaption) {
  t.write("ini/main.ini", "[pictures]\r\na.jpg=Jedna\r\nb.jpg=Dva\r\nc.jpg=Tři\r\n");
  struct Case {
    const char* damaged;
    Strings seen;
  };
  const Case cases[] = {
      {"a.jpg", {"<no data> Jedna", "b.jpg Dva", "c.jpg Tři"}},
      {"b.jpg", {"a.jpg Jedna", "<no data> Dva", "c.jpg Tři"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.damaged);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
      t.write(std::string("pictures/") + name, name == std::string(c.damaged) ? kDamaged : "picture");
    view.picture = "an earlier show's picture";
    show.cmdSlideShow(nullptr, "a.jpg|b.jpg|c.jpg|end");
    Strings seen;
    while (view.open) {
      seen.push_back(view.picture + " " + view.caption);
      show.imgBackClick();
    }
    EXPECT_EQ(seen, c.seen);
  }
}

TEST_F(SlideshowTest, EndShowClosesAsTheClosingClickDoesWithoutItsSound) {
  t.write("ini/sounds.ini", "[start]\r\nlink_click=click.wav\r\n");
  t.write("sounds/click.wav", "RIFF");
  t.write("pictures/a.jpg", "picture");
  int sounds = 0;
  show.PlaySoundFile = [&](const std::string&) { ++sounds; };
  show.cmdSlideShow(nullptr, "a.jpg|b.jpg|c.jpg");
  view.calls.clear();
  show.endShow();
  EXPECT_EQ(view.calls, (Strings{"caption:", "clear", "close"}));
  EXPECT_FALSE(view.open);
  EXPECT_TRUE(view.list.empty());
  EXPECT_EQ(view.selected, -1);
  EXPECT_EQ(sounds, 0);
}

TEST_F(SlideshowTest, SeparatorComesFromMainIni) {
  t.write("ini/main.ini", "[start]\r\nstring_separator=;\r\n");
  t.write("pictures/a.jpg", "picture");
  show.cmdSlideShow(nullptr, "a.jpg; b.jpg;c.jpg");
  EXPECT_EQ(show.names(), (Strings{"a.jpg", "b.jpg", "c.jpg"}));
  EXPECT_EQ(view.picture, "a.jpg");
}

TEST_F(SlideshowTest, EmptyParameterShowsTheMessageAndNothingElse) {
  show.cmdSlideShow(nullptr, "");
  EXPECT_EQ(fake.textsOf("info"), Strings{"Spatny parametr prikazu SLIDESHOW"});
  EXPECT_TRUE(console.Lines().empty());
  EXPECT_TRUE(view.calls.empty());
}

TEST_F(SlideshowTest, TheMessageIsAFormatOfTheParameter) {
  SetLanguageFile(std::make_unique<LanguageFile>("[Misc]\nbad_parameter_for_slideshow=Bad slideshow [%s]\n"));
  show.cmdSlideShow(nullptr, "");
  EXPECT_EQ(fake.textsOf("info"), Strings{"Bad slideshow []"});
}

TEST_F(SlideshowTest, MissingListFileLogsAndStopsSilently) {
  t.write("scripts/folder/keep", "");  // a folder of the list file's name is no list file
  Strings expectedLog;
  for (const char* params : {"file missing.txt", "file", "file folder"}) {
    SCOPED_TRACE(params);
    show.cmdSlideShow(nullptr, params);
    expectedLog.push_back(std::string("Slideshow: ") + params);
    EXPECT_TRUE(show.names().empty());
  }
  EXPECT_EQ(console.Lines(), expectedLog);
  EXPECT_EQ(view.modalCount, 0);
  EXPECT_TRUE(view.calls.empty());
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(SlideshowTest, ParameterWithoutNamesIsLoggedAndShowsNothing) {
  for (const char* params : {"|  | ", " ", "|", "||"}) {
    SCOPED_TRACE(std::string("[") + params + "]");
    console.AddLine("--");
    show.cmdSlideShow(nullptr, params);
    const Strings& lines = console.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(Strings(lines.end() - 2, lines.end()),
              (Strings{std::string("Slideshow: ") + params, std::string("Slideshow: No pictures in: ") + params}));
    EXPECT_TRUE(show.names().empty());
  }
  EXPECT_EQ(view.modalCount, 0);
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(SlideshowTest, LogLineHoldsTheLowerCasedParameter) {
  show.cmdSlideShow(nullptr, "Cover.JPG|Back.JPG");
  EXPECT_EQ(console.Lines(), Strings{"Slideshow: cover.jpg|back.jpg"});
  EXPECT_EQ(show.names(), (Strings{"cover.jpg", "back.jpg"}));
}

TEST_F(SlideshowTest, ClickSoundPlaysOnEveryClickTheClosingOneIncluded) {
  t.write("ini/sounds.ini", "[start]\r\nlink_click=click.wav\r\n");
  t.write("sounds/Click.WAV", "RIFF");
  Strings played;
  show.PlaySoundFile = [&](const std::string& path) { played.push_back(path); };
  int closedAt = 0;
  run("a.jpg|b.jpg|c.jpg", closedAt);
  EXPECT_EQ(closedAt, 2);
  EXPECT_EQ(played, (Strings{t.path() + "sounds/Click.WAV", t.path() + "sounds/Click.WAV"}));
}

TEST_F(SlideshowTest, NoSoundWithoutTheFileOrThePlayer) {
  Strings played;
  show.PlaySoundFile = [&](const std::string& path) { played.push_back(path); };
  int closedAt = 0;
  // No link_click key: the sounds folder itself is no sound file.
  t.write("sounds/other.wav", "RIFF");
  run("a.jpg", closedAt);
  t.write("ini/sounds.ini", "[start]\r\nlink_click=gone.wav\r\n");
  run("a.jpg", closedAt);
  EXPECT_TRUE(played.empty());

  t.write("ini/sounds.ini", "[start]\r\nlink_click=other.wav\r\n");
  show.PlaySoundFile = nullptr;
  run("a.jpg", closedAt);
  EXPECT_EQ(closedAt, 1);
}

TEST_F(SlideshowTest, ClickWithoutAShowClosesTheWindow) {
  // The window can be shown otherwise, or a second click queued behind the
  // closing one: an empty list ends at once instead of reading past it.
  show.imgBackClick();
  EXPECT_EQ(view.calls, (Strings{"center", "caption:", "clear", "close"}));
}

TEST_F(SlideshowTest, NextCommandStartsAFreshList) {
  t.write("pictures/a.jpg", "picture");
  t.write("pictures/d.jpg", "picture");
  show.cmdSlideShow(nullptr, "a.jpg|b.jpg|c.jpg");
  view.closeWindow();  // closed otherwise: the list stays
  EXPECT_EQ(show.names().size(), 3u);
  int closedAt = 0;
  EXPECT_EQ(run("d.jpg|e.jpg", closedAt), (Strings{"d.jpg", "d.jpg"}));
}

}  // namespace
}  // namespace pagemoor
