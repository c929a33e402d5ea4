// Geometry of the simulated host: shapes (point, line, polygon with holes) on Boost.Geometry in
// the layer's planar coordinates, their measures, the spatial relations between objects and the
// per-layer R-tree. The Boost types stay inside HostSimGeometry.cpp.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace HostSim {

struct TObjectData;
struct TLayerData;

enum class TShapeKind { Point, Line, Polygon };

struct TShapeGeometry;  // the Boost geometry of one shape
struct TGeometryDeleter {
  void operator()(TShapeGeometry* Geometry) const noexcept;
};
using TGeometryPtr = std::unique_ptr<TShapeGeometry, TGeometryDeleter>;

struct TBounds {
  double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
};

using TCoord = std::pair<double, double>;
using TRing = std::vector<TCoord>;

// Parses WKT: POINT, LINESTRING, POLYGON make one shape; MULTIPOINT, MULTILINESTRING and
// MULTIPOLYGON one shape per part. Rings are closed and oriented (outer clockwise, holes
// anticlockwise). Raises std::invalid_argument for text it cannot read or an invalid geometry.
std::vector<TGeometryPtr> ParseWkt(const std::wstring& Wkt);
TGeometryPtr MakePoint(double X, double Y);
TGeometryPtr MakeLine(const TRing& Points);
// Rings[0] is the outer ring, the rest are holes; closed and oriented as above.
TGeometryPtr MakePolygon(const std::vector<TRing>& Rings);
TGeometryPtr CopyGeometry(const TShapeGeometry& Geometry);

struct TShapeData;
TShapeKind KindOf(const TShapeGeometry& Geometry);
std::wstring ToWkt(const TShapeGeometry& Geometry);
std::wstring ToWkt(const TShapeData& Shape);
// A point gives one ring of one coordinate, a line one ring, a polygon its outer ring and holes.
std::vector<TRing> Coordinates(const TShapeGeometry& Geometry);
std::vector<TRing> Coordinates(const TShapeData& Shape);
TBounds BoundsOf(const TShapeGeometry& Geometry);
// Area of a polygon (holes taken out), 0 for points and lines.
double AreaOf(const TShapeGeometry& Geometry);
// Length of a polygon's rings (outer and holes), of a line; 0 for a point.
double LengthOf(const TShapeGeometry& Geometry);

// The relation codes of QueryByRelation.
constexpr long RelIntersects = 1, RelWithin = 2, RelContains = 4, RelTouches = 8;

// Whether Source stands in Relation to Target (both objects as the union of their shapes).
bool Related(const TObjectData& Source, const TObjectData& Target, long Relation);

// The objects of Layer in Relation to Target, in the layer's order: through the layer's R-tree
// when UseIndex, else by a scan of every object's bounds.
std::vector<TObjectData*> QueryRelated(TLayerData& Layer, const TObjectData& Target,
                                       long Relation, bool UseIndex);

// The R-tree of a layer; built on the first query after the layer's objects changed.
struct TLayerIndex;
struct TLayerIndexDeleter {
  void operator()(TLayerIndex* Index) const noexcept;
};
using TLayerIndexPtr = std::unique_ptr<TLayerIndex, TLayerIndexDeleter>;

}  // namespace HostSim
