#include "app/ThinkingBoxWindow.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <string>
#include <vector>

namespace pagemoor {
namespace {

TEST(ThinkingBoxWindowTest, StartsAsDesignedAndMeasuresOneEightOfAFixedFont) {
  TThinking_box box;
  EXPECT_EQ(box.objectName(), "Thinking_box");
  EXPECT_EQ(box.size(), QSize(TThinking_box::kDesignWidth, TThinking_box::kDesignHeight));
  EXPECT_FALSE(box.isEnabled());
  EXPECT_FALSE(box.isThinkingShown());
  EXPECT_TRUE(box.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(box.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(box.testAttribute(Qt::WA_ShowWithoutActivating));

  EXPECT_EQ(box.think_msg()->objectName(), "think_msg");
  EXPECT_EQ(box.think_msg()->text(), "You should not see this");
  EXPECT_EQ(box.barpanel()->objectName(), "barpanel");
  EXPECT_TRUE(box.barpanel()->isHidden());
  EXPECT_EQ(box.barpanel()->height(), 24);
  EXPECT_EQ(box.bar()->objectName(), "bar");
  EXPECT_EQ(box.bar()->geometry(), QRect(61, 6, 150, 13));
  EXPECT_EQ(box.bar()->minimum(), 0);
  EXPECT_EQ(box.bar()->maximum(), 100);

  // Disabled, yet the text is drawn black, not greyed.
  EXPECT_EQ(box.think_msg()->palette().color(QPalette::Disabled, QPalette::WindowText), QColor(Qt::black));

  const QFont font = box.think_msg()->font();
  EXPECT_TRUE(QFontInfo(font).fixedPitch());
  EXPECT_EQ(font.pixelSize(), 12);
  const QFontMetrics metrics(font);
  EXPECT_EQ(box.cw(), metrics.horizontalAdvance(QLatin1Char('8')));
  EXPECT_EQ(box.ch(), metrics.height());
  EXPECT_GT(box.cw(), 0);
}

// Truncation toward zero, spelled out: a box wider than its anchor lies a
// half pixel further right than flooring would put it.
int HalfTowardZero(int value) {
  return value >= 0 ? value / 2 : -((-value) / 2);
}

TEST(ThinkingBoxWindowTest, EachTextSizesTheBoxAnewAndCentresItOnTheScreen) {
  TThinking_box box;
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  // Longer, shorter, empty and non-ASCII texts on the same box: characters
  // count, not bytes.
  const std::vector<std::string> texts = {"Extracting Data ... Part 12", "Initializing ...", "",
                                          "P\xC5\x99\xC3\xADli\xC5\xA1"};
  const std::vector<int> characters = {27, 16, 0, 6};
  for (std::size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(texts[i]);
    box.ShowThinking(nullptr, texts[i]);
    const int width = characters[i] * box.cw() + 12;
    const int height = box.ch() + 6;
    EXPECT_EQ(box.geometry(), QRect(screen.x() + (screen.width() - width) / 2,
                                    screen.y() + (screen.height() - height) / 2, width, height));
    EXPECT_EQ(box.think_msg()->text(), QString::fromStdString(texts[i]));
    EXPECT_TRUE(box.isVisible());
    EXPECT_TRUE(box.isThinkingShown());
  }
}

TEST(ThinkingBoxWindowTest, CentresOnTheAnchorsClientAreaTruncatingTowardZero) {
  QWidget anchor;
  anchor.setGeometry(300, 200, 51, 41);
  anchor.show();
  TThinking_box box;
  const QPoint origin = anchor.mapToGlobal(QPoint(0, 0));
  for (const std::string text : {"ab", "Checking Files ...", "abc"}) {
    SCOPED_TRACE(text);
    const QRect expectedSize(0, 0, static_cast<int>(text.size()) * box.cw() + 12, box.ch() + 6);
    box.ShowThinking(&anchor, text);
    EXPECT_EQ(box.size(), expectedSize.size());
    EXPECT_EQ(box.x(), origin.x() + HalfTowardZero(51 - expectedSize.width()));
    EXPECT_EQ(box.y(), origin.y() + HalfTowardZero(41 - expectedSize.height()));
  }
}

TEST(ThinkingBoxWindowTest, BothOperationsHideTheBarPanel) {
  TThinking_box box;
  box.barpanel()->show();
  box.ShowThinking(nullptr, "Initializing ...");
  EXPECT_TRUE(box.barpanel()->isHidden());

  box.barpanel()->show();
  box.HideThinking();
  EXPECT_TRUE(box.barpanel()->isHidden());
  EXPECT_FALSE(box.isVisible());
  EXPECT_FALSE(box.isThinkingShown());

  // Shown again after hiding, with the new text.
  box.ShowThinking(nullptr, "Checking Files ...");
  EXPECT_TRUE(box.isVisible());
  EXPECT_EQ(box.think_msg()->text(), "Checking Files ...");
}

}  // namespace
}  // namespace pagemoor
