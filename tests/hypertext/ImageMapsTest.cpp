#include "hypertext/ImageMaps.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "hypertext/PageModel.h"

namespace pagemoor {
namespace {

TEST(ImageMaps, AreaShapesAndCoordinates) {
  struct Case {
    const char* area;
    MapArea::Shape shape;
    std::vector<int> coords;
  };
  using S = MapArea::Shape;
  const Case cases[] = {
      {"<area coords=\"1, 2 ,x3;4.5\">", S::Rect, {1, 2, 3, 4}},
      {"<area shape=RECTANGLE coords=\"-5,+6,7.9,8\">", S::Rect, {-5, 6, 7, 8}},
      {"<area shape=circ coords=1,2,3>", S::Circle, {1, 2, 3}},
      {"<area shape=polygon coords=\"1 2 3 4 5 6\">", S::Poly, {1, 2, 3, 4, 5, 6}},
      {"<area shape=Default>", S::Default, {}},
      {"<area shape=star coords=99999999999999,-->", S::Rect, {1000000000}},
  };
  for (const Case& c : cases) {
    const PreparedPage page = PreparePage(std::string("<map name=m>") + c.area + "</map>");
    ASSERT_EQ(page.maps.size(), 1u);
    ASSERT_EQ(page.maps[0].areas.size(), 1u) << c.area;
    EXPECT_EQ(page.maps[0].areas[0].shape, c.shape) << c.area;
    EXPECT_EQ(page.maps[0].areas[0].coords, c.coords) << c.area;
  }
}

TEST(ImageMaps, HitTestTakesTheFirstAreaThatContainsThePoint) {
  using S = MapArea::Shape;
  ImageMap map;
  map.areas = {
      {S::Rect, {10, 10, 0, 0}, "rect.htm", ""},  // corners in any order, edges inside
      {S::Rect, {0, 0, 5}, "short.htm", ""},      // too few coordinates: never hit
      {S::Circle, {50, 50, 5}, "circle.htm", ""},
      {S::Poly, {100, 0, 140, 0, 140, 40, 120, 10, 100, 40}, "poly.htm", ""},  // a notch from below
      {S::Rect, {200, 0, 250, 50}, "", ""},                                    // nohref covers what is below
      {S::Rect, {200, 0, 300, 50}, "below.htm", ""},
      {S::Default, {}, "default.htm", ""},
  };
  struct Case {
    int x, y;
    std::optional<std::string> href;
  };
  const Case cases[] = {
      {0, 0, "rect.htm"},       {10, 10, "rect.htm"},     {5, 11, "default.htm"},
      {50, 45, "circle.htm"},   {53, 54, "circle.htm"},   {54, 54, "default.htm"},
      {101, 35, "poly.htm"},    {130, 20, "poly.htm"},    {120, 5, "poly.htm"},
      {120, 30, "default.htm"}, {110, 38, "default.htm"}, {225, 25, std::nullopt},
      {275, 25, "below.htm"},   {-5, -5, "default.htm"},  {-2147483647 - 1, 2147483647, "default.htm"},
  };
  for (const Case& c : cases) EXPECT_EQ(HitTestMap(map, c.x, c.y), c.href) << c.x << ',' << c.y;

  map.areas.pop_back();
  EXPECT_EQ(HitTestMap(map, 500, 500), std::nullopt);
  EXPECT_EQ(HitTestMap(ImageMap{}, 0, 0), std::nullopt);
}

}  // namespace
}  // namespace pagemoor
