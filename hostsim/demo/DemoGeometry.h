// Shapes for drawing: the host's WKT (POINT, LINESTRING, POLYGON and their MULTI forms) read into
// lists of coordinate paths.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace OrvexSim {

struct TPoint {
  double X = 0, Y = 0;
};

enum class TShapeKind : uint8_t { Points, Lines, Polygons };

// One WKT geometry. Points: every path holds one point. Lines: one path per line string.
// Polygons: one entry of Rings per polygon, outer ring first, then its holes.
struct TShape {
  TShapeKind Kind = TShapeKind::Points;
  std::vector<std::vector<std::vector<TPoint>>> Parts;  // polygon → rings → points; else 1 part
};

// Parses one WKT text; false on a text it does not understand (the shape is then empty).
bool ParseWkt(const std::wstring& Wkt, TShape& Shape);

struct TBounds {
  double MinX = 1e300, MinY = 1e300, MaxX = -1e300, MaxY = -1e300;
  bool Empty() const { return MinX > MaxX; }
  void Add(const TPoint& P);
  void Add(const TBounds& B);
};

TBounds ShapeBounds(const TShape& Shape);

}  // namespace OrvexSim
