#pragma once

namespace bm {

// Sizes and rectangles in points, origin at the top left.
struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  Size size() const { return {width, height}; }
  bool operator==(const Rect&) const = default;
};

// The edge of an anchor rectangle that a popover prefers to open from.
enum class RectEdge { minX, minY, maxX, maxY };

}  // namespace bm
