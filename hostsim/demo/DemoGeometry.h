// The map's plane: positions, the kinds of shapes drawn and bounding boxes.
#pragma once

#include <cstdint>

namespace OrvexSim {

struct TPoint {
  double X = 0, Y = 0;
};

enum class TShapeKind : uint8_t { Points, Lines, Polygons };

struct TBounds {
  double MinX = 1e300, MinY = 1e300, MaxX = -1e300, MaxY = -1e300;
  bool Empty() const { return MinX > MaxX; }
  void Add(const TPoint& P);
};

}  // namespace OrvexSim
