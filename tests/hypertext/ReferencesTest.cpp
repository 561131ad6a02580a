#include "hypertext/References.h"

#include <gtest/gtest.h>

namespace pagemoor {
namespace {

TEST(References, ReferenceToPath) {
  struct Case {
    const char* reference;
    const char* expected;
  };
  const Case cases[] = {
      {"file:///C|/mag/a%20b.htm", "C:\\mag\\a b.htm"},
      {"FILE://C|/x/y.htm", "C:\\x\\y.htm"},
      {"file:///c|/x|y/z", "c:\\x:y\\z"},
      // Without a '/' only the escapes change.
      {"a%20b.htm", "a b.htm"},
      {"img\\a.gif", "img\\a.gif"},
      {"C|x.htm", "C|x.htm"},
      {"file:x.htm", "file:x.htm"},
      {"con_com:load_main page2.htm", "con_com:load_main page2.htm"},
      {"http://host/a.htm", "http:\\\\host\\a.htm"},
      {"pics/b.gif", "pics\\b.gif"},
      // Escapes are decoded before the '/' rule looks at the text.
      {"%2Fa", "\\a"},
      {"%41%4a%4A", "AJJ"},
      {"100%", "100%"},
      {"%4", "%4"},
      {"%zz/a", "%zz\\a"},
      {"%%41", "%A"},
      // An escaped byte is a character of the page's code page unless the
      // escapes spell UTF-8.
      {"%E8ern%FD.gif",
       "\xC4\x8D"
       "ern\xC3\xBD.gif"},
      {"%C4%8D.gif", "\xC4\x8D.gif"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReferenceToPath(c.reference), c.expected) << c.reference;
}

TEST(References, ExpandReference) {
  struct Case {
    const char* reference;
    const char* document;
    const char* base;
    const char* expected;
  };
  const Case cases[] = {
      {"../pics/x.gif", "/p/texts/page.htm", "", "/p/pics/x.gif"},
      {"  img\\a.gif  ", "/p/page.htm", "", "/p/img/a.gif"},
      {"a%20b.htm", "/p/page.htm", "", "/p/a b.htm"},
      {"./a/./b/../c.htm", "/p/page.htm", "", "/p/a/c.htm"},
      {"a//b.htm", "/p/page.htm", "", "/p/a/b.htm"},
      {"../../../../x.htm", "/p/q/page.htm", "", "/x.htm"},
      {"sub/..", "/p/page.htm", "", "/p/"},
      // The "no sound" request: the document's folder, which is no file.
      {"", "/p/page.htm", "", "/p/"},
      {"   ", "/p/page.htm", "", "/p/"},
      // Absolute forms.
      {"/abs/a.htm", "/p/page.htm", "", "/abs/a.htm"},
      {"\\abs\\..\\a.htm", "/p/page.htm", "", "/a.htm"},
      {"/../a.htm", "/p/page.htm", "", "/a.htm"},
      // Drive letters and shares cannot be worked out on this host.
      {"C:\\x.exe", "/p/page.htm", "", "C:/x.exe"},
      {"file:///C|/mag/../a.htm", "/p/page.htm", "", "C:/mag/../a.htm"},
      {"\\\\server\\share\\a.htm", "/p/page.htm", "", "//server/share/a.htm"},
      // A document given in Windows form.
      {"x.htm", "\\p\\texts\\page.htm", "", "/p/texts/x.htm"},
      // The base wins over the document's folder.
      {"x.htm", "/p/page.htm", "/q/other/", "/q/other/x.htm"},
      {"x.htm", "/p/page.htm", "/q/b/index.htm", "/q/b/x.htm"},
      {"../x.htm", "/p/page.htm", " /q/b/ ", "/q/x.htm"},
      {"x.htm", "/p/page.htm", "sub/", "/p/sub/x.htm"},
      // A base on a drive or a share keeps its root.
      {"../../../x.htm", "/p/page.htm", "file:///C|/mag/sub/", "C:/x.htm"},
      {"../x.htm", "/p/page.htm", "\\\\srv\\share\\dir\\", "//srv/share/x.htm"},
      {"/abs.htm", "/p/page.htm", "/q/", "/abs.htm"},
      // No document: relative to the current folder.
      {"x.htm", "", "", "x.htm"},
      {"../a/./x.htm", "", "", "../a/x.htm"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ExpandReference(c.reference, c.document, c.base), c.expected)
        << '"' << c.reference << "\" in " << c.document << " base " << c.base;
}

}  // namespace
}  // namespace pagemoor
