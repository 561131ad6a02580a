#include "platform/qt/DockLayout.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "support/QtPump.h"

namespace pagemoor {
namespace {

using test::PumpUntil;

// One call of dock() in a case: which control (an index, created on first
// use, so a later step on the same index docks it again), where, and whether
// it is hidden before it is docked.
struct Step {
  int control;
  DockSide side;
  QRect geometry;
  bool hidden = false;
};

struct Arrangement {
  const char* name;
  std::vector<Step> steps;
  // The controls' geometries in a 200 x 100 window, by index.
  std::vector<QRect> expected;
};

// A window and its controls, laid out by the steps.
struct Docked {
  explicit Docked(const std::vector<Step>& steps, QSize size = QSize(200, 100)) {
    window.resize(size);
    dock = new DockLayout(&window);
    for (const Step& step : steps) {
      while (controls.size() <= static_cast<std::size_t>(step.control)) controls.push_back(new QWidget(&window));
      QWidget* control = controls[static_cast<std::size_t>(step.control)];
      control->setVisible(!step.hidden);
      dock->dock(control, step.side, step.geometry);
    }
  }
  std::vector<QRect> geometries() const {
    std::vector<QRect> out;
    for (const QWidget* control : controls) out.push_back(control->geometry());
    return out;
  }

  QWidget window;
  DockLayout* dock;
  std::vector<QWidget*> controls;
};

TEST(DockLayoutTest, BandsAreTakenByKindThenInOrderAndTheClientGetsTheRest) {
  const QRect none;
  const Arrangement cases[] = {
      {"each kind in turn, whatever the order of adding",
       {{0, DockSide::Left, QRect(0, 0, 50, 1)},
        {1, DockSide::Top, QRect(0, 0, 1, 20)},
        {2, DockSide::Right, QRect(0, 0, 30, 1)},
        {3, DockSide::Bottom, QRect(0, 0, 1, 10)},
        {4, DockSide::Client, none},
        {5, DockSide::Top, QRect(0, 0, 1, 5)}},
       {QRect(0, 25, 50, 65), QRect(0, 0, 200, 20), QRect(170, 25, 30, 65), QRect(0, 90, 200, 10),
        QRect(50, 25, 120, 65), QRect(0, 20, 200, 5)}},
      {"a hidden band takes no room but stands where it would be",
       {{0, DockSide::Top, QRect(0, 0, 1, 20), true},
        {1, DockSide::Top, QRect(0, 0, 1, 10)},
        {2, DockSide::Left, QRect(0, 0, 40, 1), true},
        {3, DockSide::Client, none}},
       {QRect(0, 0, 200, 20), QRect(0, 0, 200, 10), QRect(0, 10, 40, 90), QRect(0, 10, 200, 90)}},
      {"docked nowhere: exactly where it was put, over the bands",
       {{0, DockSide::Top, QRect(0, 0, 1, 30)},
        {1, DockSide::None, QRect(5, 6, 70, 80)},
        {2, DockSide::Client, none}},
       {QRect(0, 0, 200, 30), QRect(5, 6, 70, 80), QRect(0, 30, 200, 70)}},
      {"two clients fill the same rest",
       {{0, DockSide::Client, none}, {1, DockSide::Right, QRect(0, 0, 60, 0)}, {2, DockSide::Client, none}},
       {QRect(0, 0, 140, 100), QRect(140, 0, 60, 100), QRect(0, 0, 140, 100)}},
      {"docked again: the new side and size, the old place in the order",
       {{0, DockSide::Bottom, QRect(0, 0, 1, 10)},
        {1, DockSide::Bottom, QRect(0, 0, 1, 20)},
        {2, DockSide::Client, none},
        {0, DockSide::Bottom, QRect(0, 0, 1, 40)},
        {2, DockSide::None, QRect(1, 2, 3, 4)}},
       {QRect(0, 60, 200, 40), QRect(0, 40, 200, 20), QRect(1, 2, 3, 4)}},
  };
  for (const Arrangement& c : cases) {
    SCOPED_TRACE(c.name);
    Docked docked(c.steps);
    EXPECT_EQ(docked.geometries(), c.expected);
  }
}

// Shown, the window is laid out again by Qt: when it is resized and when a
// control is shown, hidden or deleted. A control docked nowhere that was
// moved by hand stays where it was put through all of it.
TEST(DockLayoutTest, AShownWindowFollowsItsSizeAndItsControls) {
  Docked docked({{0, DockSide::Top, QRect(0, 0, 1, 20)},
                 {1, DockSide::Left, QRect(0, 0, 50, 1)},
                 {2, DockSide::Client, QRect()},
                 {3, DockSide::None, QRect(5, 5, 10, 10)}});
  QWidget* top = docked.controls[0];
  QWidget* left = docked.controls[1];
  QWidget* client = docked.controls[2];
  QWidget* byHand = docked.controls[3];
  docked.window.show();
  byHand->setGeometry(60, 70, 20, 30);

  docked.window.resize(300, 150);
  EXPECT_TRUE(PumpUntil([&] { return client->geometry() == QRect(50, 20, 250, 130); })) << "resized";
  EXPECT_EQ(left->geometry(), QRect(0, 20, 50, 130));

  top->hide();
  EXPECT_TRUE(PumpUntil([&] { return client->geometry() == QRect(50, 0, 250, 150); })) << "top hidden";
  EXPECT_EQ(left->geometry(), QRect(0, 0, 50, 150));
  top->show();
  EXPECT_TRUE(PumpUntil([&] { return client->geometry() == QRect(50, 20, 250, 130); })) << "top shown";

  delete left;
  docked.controls.erase(docked.controls.begin() + 1);
  EXPECT_EQ(docked.dock->count(), 3);
  EXPECT_TRUE(PumpUntil([&] { return client->geometry() == QRect(0, 20, 300, 130); })) << "left deleted";
  EXPECT_EQ(byHand->geometry(), QRect(60, 70, 20, 30));
}

TEST(DockLayoutTest, WhatItKnowsOfAControl) {
  Docked docked({{0, DockSide::Right, QRect(0, 0, 30, 1)}, {1, DockSide::None, QRect(5, 6, 7, 8)}});
  EXPECT_EQ(docked.dock->side(docked.controls[0]), DockSide::Right);
  EXPECT_EQ(docked.dock->requestedGeometry(docked.controls[1]), QRect(5, 6, 7, 8));

  // A control added the plain Qt way stays where it is.
  QWidget stranger;
  auto* plain = new QLabel(QStringLiteral("plain"), &docked.window);
  plain->setGeometry(40, 50, 60, 70);
  docked.dock->addWidget(plain);
  docked.dock->arrange();
  EXPECT_EQ(plain->geometry(), QRect(40, 50, 60, 70));
  EXPECT_EQ(docked.dock->side(plain), DockSide::None);
  EXPECT_EQ(docked.dock->side(&stranger), DockSide::None);
  EXPECT_EQ(docked.dock->requestedGeometry(&stranger), QRect());

  // Room for the right band beside a client's hint, and for what stands
  // where it was put.
  auto* client = new QLabel(QStringLiteral("client"), &docked.window);
  client->setFixedSize(100, 100);
  docked.dock->dock(client, DockSide::Client);
  EXPECT_EQ(docked.dock->sizeHint(), QSize(130, 120));
  EXPECT_EQ(docked.dock->minimumSize(), QSize(0, 0));
}

}  // namespace
}  // namespace pagemoor
