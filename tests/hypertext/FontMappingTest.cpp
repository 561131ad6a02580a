// Old pages name Windows fonts. On this host they must come out as faces of
// the same metrics (Liberation) or a close sans face, or page layouts break.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontInfo>

namespace pagemoor {
namespace {

TEST(FontMapping, WindowsFontsHaveFacesHere) {
  struct Case {
    const char* asked;
    const char* expected;
  };
  const Case cases[] = {
      {"Arial", "Liberation Sans"},       {"Times New Roman", "Liberation Serif"},
      {"Courier New", "Liberation Mono"}, {"Verdana", "DejaVu Sans"},
      {"Tahoma", "DejaVu Sans"},          {"MS Sans Serif", "DejaVu Sans"},
  };
  for (const Case& c : cases) {
    QFont font(QString::fromLatin1(c.asked));
    EXPECT_EQ(QFontInfo(font).family().toStdString(), c.expected) << c.asked;
  }
}

}  // namespace
}  // namespace pagemoor
