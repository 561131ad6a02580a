#include "hypertext/ImageMaps.h"

#include <algorithm>

#include "hypertext/MarkupReader.h"

namespace pagemoor::pagemodel {

std::vector<int> ParseCoords(std::string_view text) {
  constexpr int kLargest = 1000000000;
  std::vector<int> coords;
  std::size_t i = 0;
  while (i < text.size()) {
    const bool sign = (text[i] == '-' || text[i] == '+') && i + 1 < text.size() && IsDigit(text[i + 1]);
    if (!sign && !IsDigit(text[i])) {
      ++i;
      continue;
    }
    const bool negative = text[i] == '-';
    if (sign) ++i;
    long long value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
      value = std::min<long long>(value * 10 + (text[i] - '0'), kLargest);
    if (i + 1 < text.size() && text[i] == '.' && IsDigit(text[i + 1]))
      for (++i; i < text.size() && IsDigit(text[i]); ++i) {
      }
    coords.push_back(static_cast<int>(negative ? -value : value));
  }
  return coords;
}

MapArea::Shape ParseShape(std::string_view text) {
  const std::string shape = LowerCopy(TrimSpaces(text));
  if (shape == "circle" || shape == "circ") return MapArea::Shape::Circle;
  if (shape == "poly" || shape == "polygon") return MapArea::Shape::Poly;
  if (shape == "default") return MapArea::Shape::Default;
  return MapArea::Shape::Rect;
}

std::string_view MapName(std::string_view usemap) {
  const std::size_t hash = usemap.rfind('#');
  return hash == npos ? TrimSpaces(usemap) : TrimSpaces(usemap.substr(hash + 1));
}

}  // namespace pagemoor::pagemodel

namespace pagemoor {
namespace {

bool PointInPolygon(const std::vector<int>& coords, long long x, long long y) {
  const std::size_t points = coords.size() / 2;
  if (points < 3) return false;
  bool inside = false;
  for (std::size_t i = 0, j = points - 1; i < points; j = i++) {
    const long long xi = coords[2 * i], yi = coords[2 * i + 1];
    const long long xj = coords[2 * j], yj = coords[2 * j + 1];
    if ((yi > y) == (yj > y)) continue;
    // x < xi + (xj - xi) * (y - yi) / (yj - yi), without dividing.
    const long long left = (x - xi) * (yj - yi);
    const long long right = (xj - xi) * (y - yi);
    if (yj > yi ? left < right : left > right) inside = !inside;
  }
  return inside;
}

bool Contains(const MapArea& area, int px, int py) {
  const std::vector<int>& c = area.coords;
  const long long x = px, y = py;
  switch (area.shape) {
    case MapArea::Shape::Rect:
      return c.size() >= 4 && x >= std::min(c[0], c[2]) && x <= std::max(c[0], c[2]) &&
             y >= std::min(c[1], c[3]) && y <= std::max(c[1], c[3]);
    case MapArea::Shape::Circle: {
      if (c.size() < 3 || c[2] < 0) return false;
      const long long dx = x - c[0], dy = y - c[1], r = c[2];
      // Outside the bounding square first: the squares of far points overflow.
      if (dx > r || dx < -r || dy > r || dy < -r) return false;
      return dx * dx + dy * dy <= r * r;
    }
    case MapArea::Shape::Poly:
      return PointInPolygon(c, x, y);
    case MapArea::Shape::Default:
      return true;
  }
  return false;
}

}  // namespace

const MapArea* MapAreaAt(const ImageMap& map, int x, int y) {
  for (const MapArea& area : map.areas)
    if (Contains(area, x, y)) return &area;
  return nullptr;
}

std::optional<std::string> HitTestMap(const ImageMap& map, int x, int y) {
  const MapArea* area = MapAreaAt(map, x, y);
  // An area without a link still covers what lies below it.
  if (!area || area->href.empty()) return std::nullopt;
  return area->href;
}

}  // namespace pagemoor
