// Client-side image maps: the areas a page's <map> lists, and which of them
// holds a point of the picture.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagemoor {

struct MapArea {
  enum class Shape { Rect, Circle, Poly, Default };
  Shape shape = Shape::Rect;
  std::vector<int> coords;
  std::string href;  // raw; empty for an area without href (nohref)
  std::string title;
};

struct ImageMap {
  std::string name;  // without a leading '#'
  std::vector<MapArea> areas;
};

// The href of the first area that contains the point (image pixels), if any.
std::optional<std::string> HitTestMap(const ImageMap& map, int x, int y);
// The first area that holds the point, with or without a link; null if none.
const MapArea* MapAreaAt(const ImageMap& map, int x, int y);

}  // namespace pagemoor

namespace pagemoor::pagemodel {

// How a page writes an area: COORDS as integers separated by commas, blanks
// or anything else (a fraction is cut); SHAPE by its names old and new.
std::vector<int> ParseCoords(std::string_view text);
MapArea::Shape ParseShape(std::string_view text);
// The map a USEMAP names: what follows its '#'.
std::string_view MapName(std::string_view usemap);

}  // namespace pagemoor::pagemodel
