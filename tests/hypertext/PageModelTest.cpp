#include "hypertext/PageModel.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace pagemoor {
namespace {

using Refs = std::vector<std::pair<ReferenceKind, std::string>>;

Refs ReferencesOf(const PreparedPage& page) {
  Refs out;
  for (const PageReference& r : page.references) out.emplace_back(r.kind, r.raw);
  return out;
}

// --- References ------------------------------------------------------------

TEST(PageModel, ReferencesAreRecordedRawAndTokenized) {
  using K = ReferenceKind;
  struct Case {
    const char* html;
    const char* expected;
    Refs references;
  };
  const Case cases[] = {
      {"<a href=\"page 2.htm\">x</a>", "<a href=\"pm:ref/0\">x</a>", {{K::Link, "page 2.htm"}}},
      {"<a href=\"con_com:load_main page2.htm\">",
       "<a href=\"pm:ref/0\">",
       {{K::Link, "con_com:load_main page2.htm"}}},
      {"<a href='  C:\\x.exe '>", "<a href=\"pm:ref/0\">", {{K::Link, "  C:\\x.exe "}}},
      {"<a href=\"file:///C|/mag/a%20b.htm\">",
       "<a href=\"pm:ref/0\">",
       {{K::Link, "file:///C|/mag/a%20b.htm"}}},
      // Upper case, bare values, other attributes kept (quotes made safe).
      {"<IMG SRC=pics/logo.gif ALT='a \"b\"' border=0>",
       "<IMG SRC=\"pm:ref/0\" ALT=\"a &quot;b&quot;\" border=\"0\">",
       {{K::Image, "pics/logo.gif"}}},
      {"<a href=\"a.htm?x=1&amp;y=&#50;&#x33;&LT;&quot;\">",
       "<a href=\"pm:ref/0\">",
       {{K::Link, "a.htm?x=1&y=23<\""}}},
      {"<a href=\"&unknown; &amp &#; &#0; &nbsp;\">",
       "<a href=\"pm:ref/0\">",
       {{K::Link, "&unknown; &amp &#; &#0; &nbsp;"}}},
      {"<a href>", "<a href=\"pm:ref/0\">", {{K::Link, ""}}},
      {"<a href=\"a.htm\" HREF=\"b.htm\" target=_top>",
       "<a href=\"pm:ref/0\" target=\"_top\">",
       {{K::Link, "a.htm"}}},
      {"<body background=\"bg.gif\" bgcolor=#000000>",
       "<body background=\"pm:ref/0\" bgcolor=\"#000000\">",
       {{K::Background, "bg.gif"}}},
      {"<table background=t.gif><tr background=r.gif><th background=h.gif><td background=d.gif>",
       "<table background=\"pm:ref/0\"><tr background=\"pm:ref/1\"><th background=\"pm:ref/2\">"
       "<td background=\"pm:ref/3\">",
       {{K::Background, "t.gif"},
        {K::Background, "r.gif"},
        {K::Background, "h.gif"},
        {K::Background, "d.gif"}}},
      {"<input type=image src=\"go.gif\" align=left>",
       "<img src=\"pm:ref/0\" align=\"left\">",
       {{K::Image, "go.gif"}}},
      {"<frame src=\"left.htm\"><iframe src=in.htm></iframe>",
       "<frame src=\"pm:ref/0\"><iframe src=\"pm:ref/1\"></iframe>",
       {{K::Link, "left.htm"}, {K::Link, "in.htm"}}},
      {"<img src=\"a.gif\" lowsrc=\"b.gif\">",
       "<img src=\"pm:ref/0\" lowsrc=\"b.gif\">",
       {{K::Image, "a.gif"}}},
      // Left alone: anchors without href, other embeds, links to style sheets.
      {"<a name=top>x</a><embed src=movie.swf><link href=s.css>",
       "<a name=top>x</a><embed src=movie.swf><link href=s.css>",
       {}},
  };
  for (const Case& c : cases) {
    const PreparedPage page = PreparePage(c.html);
    EXPECT_EQ(page.html, c.expected) << c.html;
    EXPECT_EQ(ReferencesOf(page), c.references) << c.html;
  }
}

TEST(PageModel, ToleratesOldMarkup) {
  struct Case {
    const char* html;
    const char* expected;
    std::vector<std::string> raws;
  };
  const Case cases[] = {
      {"a < b <3 <a href=x>y</a> <", "a < b <3 <a href=\"pm:ref/0\">y</a> <", {"x"}},
      // A quote that is never closed ends with the tag.
      {"<a href=\"broken.htm>text</a> more", "<a href=\"pm:ref/0\">text</a> more", {"broken.htm"}},
      {"<a href=x", "<a href=\"pm:ref/0\">", {"x"}},
      {"<a\nhref\n=\n'y.htm'\n>", "<a href=\"pm:ref/0\">", {"y.htm"}},
      {"<img src=a.gif/>", "<img src=\"pm:ref/0\">", {"a.gif/"}},
      // Scripts, style sheets, comments and declarations are no markup to us.
      {"<SCRIPT>document.write(\"<a href='x.htm'>\")</SCRIPT ><a href=y>",
       "<SCRIPT>document.write(\"<a href='x.htm'>\")</SCRIPT ><a href=\"pm:ref/0\">",
       {"y"}},
      {"<style>td{background:url(<a href=z>)}", "<style>td{background:url(<a href=z>)}", {}},
      {"<!DOCTYPE html><!-- <a href=x> --><? pi ?>", "<!DOCTYPE html><!-- <a href=x> --><? pi ?>", {}},
      {"<!-- unterminated <a href=x>", "<!-- unterminated <a href=x>", {}},
  };
  for (const Case& c : cases) {
    const PreparedPage page = PreparePage(c.html);
    EXPECT_EQ(page.html, c.expected) << c.html;
    std::vector<std::string> raws;
    for (const PageReference& r : page.references) raws.push_back(r.raw);
    EXPECT_EQ(raws, c.raws) << c.html;
  }
}

// --- Sounds, body, base, title ---------------------------------------------

TEST(PageModel, BackgroundSoundsAreRecordedAndRemoved) {
  struct Case {
    const char* html;
    const char* src;
    int loop;
  };
  const Case cases[] = {
      {"<bgsound src=\"music/song.MID\" loop=infinite>", "music/song.MID", -1},
      {"<BGSOUND SRC=a.wav>", "a.wav", 1},
      {"<bgsound src=a.wav loop=3>", "a.wav", 3},
      {"<bgsound src=a.wav loop=\"-1\">", "a.wav", -1},
      {"<bgsound src=a.wav loop=abc>", "a.wav", 1},
      {"<bgsound src='my tune.xm' loop=INFINITE>", "my tune.xm", -1},
      {"<embed src=\"x.Wav\" autostart=true>", "x.Wav", 1},
      {"<embed src=\"x.mid\" loop=true hidden=true>", "x.mid", -1},
  };
  for (const Case& c : cases) {
    const PreparedPage page = PreparePage(std::string("a") + c.html + "b");
    EXPECT_EQ(page.html, "ab") << c.html;
    ASSERT_EQ(page.sounds.size(), 1u) << c.html;
    EXPECT_EQ(page.sounds[0].src, c.src) << c.html;
    EXPECT_EQ(page.sounds[0].loop, c.loop) << c.html;
    ASSERT_EQ(page.references.size(), 1u) << c.html;
    EXPECT_EQ(page.references[0].kind, ReferenceKind::Sound);
  }
  const PreparedPage other = PreparePage("<embed src=\"clip.avi\"><embed src=\"x.wav.htm\">");
  EXPECT_EQ(other.html, "<embed src=\"clip.avi\"><embed src=\"x.wav.htm\">");
  EXPECT_TRUE(other.sounds.empty());
}

TEST(PageModel, BodyColoursBaseAndTitle) {
  const PreparedPage page = PreparePage(
      "<html><head><title> Old &amp; new\n  page </title><base href=\"file:///C|/mag/\"></head>"
      "<BODY TEXT=\"#FFFFFF\" link=red VLINK=#00ff00 alink='blue' bgcolor=black>"
      "<body text=\"#000000\" alink=\"#111111\">x");
  EXPECT_EQ(page.title, "Old & new page");
  EXPECT_EQ(page.base, "file:///C|/mag/");
  EXPECT_EQ(page.body.text, "#FFFFFF");
  EXPECT_EQ(page.body.link, "red");
  EXPECT_EQ(page.body.vlink, "#00ff00");
  EXPECT_EQ(page.body.alink, "blue");
  EXPECT_EQ(page.body.bgcolor, "black");
  EXPECT_EQ(page.html,
            "<html><head><title> Old &amp; new\n  page </title></head>"
            "<BODY TEXT=\"#FFFFFF\" link=red VLINK=#00ff00 alink='blue' bgcolor=black>"
            "<body text=\"#000000\" alink=\"#111111\">x");

  const PreparedPage plain = PreparePage("<body><title>never closed");
  EXPECT_EQ(plain.body.text, "");
  EXPECT_EQ(plain.title, "");
  EXPECT_EQ(plain.base, "");
  EXPECT_EQ(plain.html, "<body><title>never closed");
}

// --- Forms -------------------------------------------------------------------

TEST(PageModel, InputsBecomeImagesOfControls) {
  const PreparedPage page = PreparePage(
      "<form action=x.cgi><input type=checkbox name=c1 value=yes checked onclick=\"con_com:play x.wav\">"
      "<INPUT NAME=t SIZE=20 VALUE=\"a&amp;b\"><input type=hidden name=h value=1>"
      "<input type=\"Submit\" value=Go align=right><input type=radio name=r><input type=password size=8>"
      "<input type=file></FORM>end");
  EXPECT_EQ(page.html,
            "<img src=\"pm:form/0\"><img src=\"pm:form/1\"><img src=\"pm:form/2\" align=\"right\">"
            "<img src=\"pm:form/3\"><img src=\"pm:form/4\"><img src=\"pm:form/5\">end");
  ASSERT_EQ(page.controls.size(), 6u);
  const FormControl& box = page.controls[0];
  EXPECT_EQ(box.kind, "checkbox");
  EXPECT_EQ(box.name, "c1");
  EXPECT_EQ(box.value, "yes");
  EXPECT_TRUE(box.checked);
  EXPECT_EQ(box.onclick, "con_com:play x.wav");
  EXPECT_EQ(page.controls[1].kind, "text");
  EXPECT_EQ(page.controls[1].value, "a&b");
  EXPECT_EQ(page.controls[1].size, 20);
  EXPECT_FALSE(page.controls[1].checked);
  EXPECT_EQ(page.controls[2].kind, "submit");
  EXPECT_EQ(page.controls[2].value, "Go");
  EXPECT_EQ(page.controls[3].kind, "radio");
  EXPECT_EQ(page.controls[4].kind, "password");
  EXPECT_EQ(page.controls[4].size, 8);
  EXPECT_EQ(page.controls[5].kind, "text");
  EXPECT_TRUE(page.references.empty());
}

TEST(PageModel, SelectCollectsItsOptions) {
  struct Case {
    const char* html;
    std::vector<std::string> options;
    const char* value;
  };
  const Case cases[] = {
      {"<select name=s><option>One<option selected> Two  &amp;\nmore </option><option value=3>Three</select>",
       {"One", "Two & more", "Three"},
       "Two & more"},
      {"<SELECT><OPTION>One</OPTION><OPTGROUP label=g><OPTION>Two</OPTGROUP></SELECT>",
       {"One", "Two"},
       "One"},
      {"<select>text outside <b>options</b></select>", {}, ""},
  };
  for (const Case& c : cases) {
    const PreparedPage page = PreparePage(std::string("a") + c.html + "b");
    EXPECT_EQ(page.html, "a<img src=\"pm:form/0\">b") << c.html;
    ASSERT_EQ(page.controls.size(), 1u) << c.html;
    EXPECT_EQ(page.controls[0].kind, "select");
    EXPECT_EQ(page.controls[0].options, c.options) << c.html;
    EXPECT_EQ(page.controls[0].value, c.value) << c.html;
  }

  // A select left open ends at the next control, the form's end or the page's.
  const PreparedPage open =
      PreparePage("<select name=a><option>x<input name=b></form>after<select><option>y");
  EXPECT_EQ(open.html, "<img src=\"pm:form/0\"><img src=\"pm:form/1\">after<img src=\"pm:form/2\">");
  ASSERT_EQ(open.controls.size(), 3u);
  EXPECT_EQ(open.controls[0].options, std::vector<std::string>{"x"});
  EXPECT_EQ(open.controls[1].name, "b");
  EXPECT_EQ(open.controls[2].value, "y");
}

TEST(PageModel, TextareaAndButtonTakeTheirContent) {
  const PreparedPage page = PreparePage(
      "<textarea name=t cols=30 rows=4 align=top>\nline &lt;1&gt;\n<b>x</b></TEXTAREA>"
      "<button name=b onclick=\"go()\"><img src=x.gif> Press <b>me</b></button><p>");
  EXPECT_EQ(page.html, "<img src=\"pm:form/0\" align=\"top\"><img src=\"pm:form/1\"><p>");
  ASSERT_EQ(page.controls.size(), 2u);
  EXPECT_EQ(page.controls[0].kind, "textarea");
  EXPECT_EQ(page.controls[0].value, "line <1>\n<b>x</b>");
  EXPECT_EQ(page.controls[0].size, 30);
  EXPECT_EQ(page.controls[0].rows, 4);
  EXPECT_EQ(page.controls[1].kind, "button");
  EXPECT_EQ(page.controls[1].name, "b");
  EXPECT_EQ(page.controls[1].value, "Press me");
  EXPECT_EQ(page.controls[1].onclick, "go()");
  EXPECT_TRUE(page.references.empty());
}

// --- Image maps ------------------------------------------------------------------

TEST(PageModel, MapsAreCollectedAndImagesPointAtThem) {
  const PreparedPage page = PreparePage(
      "<img src=menu.gif usemap=\"#Second\" border=0><img src=a.gif USEMAP=#none>"
      "<map name=\"first\"><area href=x.htm coords=1,2,3,4></map>\n"
      "<MAP NAME=second>\n<AREA SHAPE=circle COORDS=\"50 50 5\" HREF=\"b c.htm\" TITLE=\"B\">\n"
      "<area shape=poly coords=\"0,0,10,0,5,10\" href=c.htm alt=\"C\"><area shape=rect coords=0,0,9,9 nohref "
      "href=d.htm></map>text<area href=loose.htm>");
  EXPECT_EQ(page.html,
            "<img src=\"pm:ref/0#pm-map-1\" usemap=\"#pm-map-1\" border=\"0\"><img src=\"pm:ref/2\">\n\n\n"
            "text<area href=\"pm:ref/4\">");
  ASSERT_EQ(page.maps.size(), 2u);
  EXPECT_EQ(page.maps[0].name, "first");
  EXPECT_EQ(page.maps[1].name, "second");
  ASSERT_EQ(page.maps[1].areas.size(), 3u);
  const MapArea& circle = page.maps[1].areas[0];
  EXPECT_EQ(circle.shape, MapArea::Shape::Circle);
  EXPECT_EQ(circle.coords, (std::vector<int>{50, 50, 5}));
  EXPECT_EQ(circle.href, "b c.htm");
  EXPECT_EQ(circle.title, "B");
  EXPECT_EQ(page.maps[1].areas[1].shape, MapArea::Shape::Poly);
  EXPECT_EQ(page.maps[1].areas[1].title, "C");
  EXPECT_EQ(page.maps[1].areas[2].href, "");

  using K = ReferenceKind;
  const Refs refs = {{K::Image, "menu.gif"},
                     {K::UseMap, "#Second"},
                     {K::Image, "a.gif"},
                     {K::UseMap, "#none"},
                     {K::Link, "loose.htm"}};
  EXPECT_EQ(ReferencesOf(page), refs);
  EXPECT_EQ(page.references[0].map, 1);
  EXPECT_EQ(page.references[2].map, -1);
}

TEST(PageModel, AnImageCarriesItsMapInItsOwnToken) {
  // The engine drops usemap but hands an image's name back whole, so the
  // page the engine gets must name the map in the image's src, wherever
  // the attributes stand and whatever else the tag holds.
  struct Case {
    const char* name;
    std::string page;
    std::string html;
  };
  const Case cases[] = {
      {"map after the image", "<img src=a.gif usemap=#m><map name=m></map>",
       "<img src=\"pm:ref/0#pm-map-0\" usemap=\"#pm-map-0\">"},
      {"map before the image, names in other cases",
       "<map name=first></map><MAP NAME=Menu></MAP><img src=a.gif usemap=#MENU>",
       "<img src=\"pm:ref/0#pm-map-1\" usemap=\"#pm-map-1\">"},
      {"usemap before src", "<IMG USEMAP=\"#m\" SRC=a.gif ALT=x><map name=m></map>",
       "<IMG USEMAP=\"#pm-map-0\" SRC=\"pm:ref/0#pm-map-0\" ALT=\"x\">"},
      {"a '>' and a token-like text in another attribute",
       "<img alt=\"a > b src=pm:ref/9\" src=a.gif usemap=#m><map name=m></map>",
       "<img alt=\"a > b src=pm:ref/9\" src=\"pm:ref/0#pm-map-0\" usemap=\"#pm-map-0\">"},
      {"two images, one map", "<img src=a.gif usemap=#m><img src=b.gif usemap=#m><map name=m></map>",
       "<img src=\"pm:ref/0#pm-map-0\" usemap=\"#pm-map-0\"><img src=\"pm:ref/2#pm-map-0\" "
       "usemap=\"#pm-map-0\">"},
      {"a map no page has", "<img src=a.gif usemap=#none><map name=m></map>", "<img src=\"pm:ref/0\">"},
      {"no src to carry it", "<img usemap=#m><map name=m></map>", "<img usemap=\"#pm-map-0\">"},
      {"a map in a picture inside a link", "<a href=x.htm><img src=a.gif usemap=#m></a><map name=m></map>",
       "<a href=\"pm:ref/0\"><img src=\"pm:ref/1#pm-map-0\" usemap=\"#pm-map-0\"></a>"},
  };
  for (const Case& c : cases) {
    const PreparedPage page = PreparePage(c.page);
    EXPECT_EQ(page.html, c.html) << c.name;
    // What the pane reads back from the name: the reference before the
    // '#', and the map the reference records after it.
    for (std::size_t i = 0; i < page.references.size(); ++i) {
      if (page.references[i].kind != ReferenceKind::Image) continue;
      const std::string token = ReferenceToken(i);
      const int map = page.references[i].map;
      const std::string carried = map < 0 ? token + "\"" : token + "#pm-map-" + std::to_string(map) + "\"";
      EXPECT_NE(page.html.find(carried), std::string::npos) << c.name << ": " << carried;
    }
  }
}

// --- Character sets ----------------------------------------------------------

TEST(PageModel, DecodePageChoosesTheCharset) {
  struct Case {
    std::string bytes;
    const char* charset;
    std::string text;  // what follows the markup, as UTF-8
  };
  const std::string cz1250 = "\xE8\x9A";        // čš in windows-1250
  const std::string czLatin2 = "\xB9\xBE\xA9";  // šžŠ in ISO-8859-2, ąľ© in windows-1250
  const Case cases[] = {
      {"<meta charset=utf-8>\xC4\x8D", "utf-8", "\xC4\x8D"},
      {"<META CHARSET=UTF-8/>" + cz1250, "utf-8", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1250\">" + cz1250,
       "windows-1250", "\xC4\x8D\xC5\xA1"},
      {"<meta content='text/html;charset=x-cp1250' http-equiv=content-type>" + cz1250, "windows-1250",
       "\xC4\x8D\xC5\xA1"},
      {"<meta http-equiv=content-type content=\"text/html; charset=ISO-8859-2\">" + czLatin2, "iso-8859-2",
       "\xC5\xA1\xC5\xBE\xC5\xA0"},
      {"<meta charset=\"windows-1252\">\x93hi\x94", "windows-1252", "\xE2\x80\x9Chi\xE2\x80\x9D"},
      {"<meta charset=iso-8859-1>\xE9", "windows-1252", "\xC3\xA9"},
      // Declared UTF-8 that is not: the bad bytes are replaced.
      {"<meta charset=utf-8>a\xE8z", "utf-8", "a\xEF\xBF\xBDz"},
      // Nothing declared (or a name we do not know, or a meta in a comment).
      {"<p>" + cz1250, "windows-1250", "\xC4\x8D\xC5\xA1"},
      {"<p>\xC4\x8D", "utf-8", "\xC4\x8D"},
      {"<meta charset=x-unknown>" + czLatin2, "windows-1250", "\xC4\x85\xC4\xBE\xC2\xA9"},
      {"<!-- <meta charset=iso-8859-2> -->" + czLatin2, "windows-1250", "\xC4\x85\xC4\xBE\xC2\xA9"},
      {"\xEF\xBB\xBF<meta charset=windows-1250>\xC4\x8D", "utf-8", "\xC4\x8D"},
  };
  for (const Case& c : cases) {
    std::string charset;
    const std::string text = DecodePage(c.bytes, &charset);
    EXPECT_EQ(charset, c.charset) << c.bytes;
    ASSERT_GE(text.size(), std::string(c.text).size());
    EXPECT_EQ(text.substr(text.size() - std::string(c.text).size()), c.text) << c.bytes;
  }

  // Only the head of the file is searched.
  std::string late(10000, ' ');
  late += "<meta charset=iso-8859-2>" + czLatin2;
  std::string charset;
  DecodePage(late, &charset);
  EXPECT_EQ(charset, "windows-1250");
  EXPECT_EQ(DecodePage("<meta charset=utf-8>x"), "<meta charset=utf-8>x");
}

// --- Tokens -----------------------------------------------------------------------

TEST(PageModel, TokensReadBack) {
  EXPECT_EQ(ReferenceToken(12), "pm:ref/12");
  EXPECT_EQ(FormToken(0), "pm:form/0");
  for (std::size_t i : {std::size_t{0}, std::size_t{7}, std::size_t{123456}}) {
    EXPECT_EQ(ReferenceIndex(ReferenceToken(i)), i);
    EXPECT_EQ(FormIndex(FormToken(i)), i);
  }
  for (const char* other : {"pm:ref/", "pm:ref/x", "pm:ref/01", "pm:ref/-1", "pm:ref/1 ", "PM:REF/1",
                            "pm:form/1", "a.gif", "pm:ref/99999999999999999999"})
    EXPECT_EQ(ReferenceIndex(other), std::nullopt) << other;
  EXPECT_EQ(FormIndex("pm:ref/1"), std::nullopt);
}

}  // namespace
}  // namespace pagemoor
