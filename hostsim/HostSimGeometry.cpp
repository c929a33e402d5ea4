#include "hostsim/HostSimGeometry.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <stdexcept>
#include <type_traits>
#include <variant>

// Boost.Geometry's inlined code trips GCC's flow-based "may be used uninitialized" analysis in
// its own headers; keep that out of this build.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <boost/iterator/function_output_iterator.hpp>
#pragma GCC diagnostic pop

#include "hostsim/HostSimModel.h"

// The Boost templates are instantiated below; the same holds for them.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

namespace HostSim {

using TPoint = bg::model::d2::point_xy<double>;
using TLine = bg::model::linestring<TPoint>;
using TPolygon = bg::model::polygon<TPoint>;  // outer ring clockwise, closed
using TMultiPoint = bg::model::multi_point<TPoint>;
using TMultiLine = bg::model::multi_linestring<TLine>;
using TMultiPolygon = bg::model::multi_polygon<TPolygon>;
using TBox = bg::model::box<TPoint>;

struct TShapeGeometry {
  std::variant<TPoint, TLine, TPolygon> G;
};

void TGeometryDeleter::operator()(TShapeGeometry* Geometry) const noexcept { delete Geometry; }

namespace {

template <class G> constexpr int DimensionOf() {
  if constexpr (std::is_same_v<G, TPoint> || std::is_same_v<G, TMultiPoint>) return 0;
  else if constexpr (std::is_same_v<G, TLine> || std::is_same_v<G, TMultiLine>) return 1;
  else return 2;
}

TGeometryPtr Wrap(TShapeGeometry Geometry) { return TGeometryPtr(new TShapeGeometry(std::move(Geometry))); }

[[noreturn]] void Invalid(const std::string& Why) { throw std::invalid_argument("invalid geometry: " + Why); }

void CheckPoint(const TPoint& P) {
  if (!std::isfinite(P.x()) || !std::isfinite(P.y())) Invalid("a coordinate is not a finite number");
}

TShapeGeometry Checked(TPoint P) {
  CheckPoint(P);
  return TShapeGeometry{P};
}

TShapeGeometry Checked(TLine L) {
  for (const TPoint& P : L) CheckPoint(P);
  std::string Why;
  if (!bg::is_valid(L, Why)) Invalid(Why);
  return TShapeGeometry{std::move(L)};
}

TShapeGeometry Checked(TPolygon A) {
  for (const TPoint& P : A.outer()) CheckPoint(P);
  for (const auto& Ring : A.inners())
    for (const TPoint& P : Ring) CheckPoint(P);
  bg::correct(A);
  std::string Why;
  if (!bg::is_valid(A, Why)) Invalid(Why);
  return TShapeGeometry{std::move(A)};
}

std::string Narrow(const std::wstring& Text) {
  std::string S;
  S.reserve(Text.size());
  for (wchar_t C : Text) {
    if (C > 0x7F) throw std::invalid_argument("WKT must be plain ASCII text");
    S += static_cast<char>(C);
  }
  return S;
}

template <class G> G ReadWkt(const std::string& Text) {
  G Geometry;
  try {
    bg::read_wkt(Text, Geometry);
  } catch (const std::exception& E) {
    throw std::invalid_argument(std::string("unreadable WKT: ") + E.what());
  }
  return Geometry;
}

// Shortest decimal text of 15 to 17 digits that reads back as the same double (as "%.*g" writes
// it; the runtime's snprintf and strtod cost a microsecond each, too much for rings of millions
// of positions).
void AppendNumber(std::wstring& Out, double V) {
  char Buffer[40];
  char* End = Buffer;
  for (int Precision = 15; Precision <= 17; ++Precision) {
    End = std::to_chars(Buffer, Buffer + sizeof Buffer, V, std::chars_format::general, Precision).ptr;
    double Back = 0;
    std::from_chars(Buffer, End, Back);
    if (Back == V) break;
  }
  for (const char* P = Buffer; P != End; ++P) Out += static_cast<wchar_t>(*P);
}

void AppendRing(std::wstring& Out, const TRing& Ring) {
  Out += L'(';
  for (size_t I = 0; I < Ring.size(); ++I) {
    if (I) Out += L',';
    AppendNumber(Out, Ring[I].first);
    Out += L' ';
    AppendNumber(Out, Ring[I].second);
  }
  Out += L')';
}

TBox BoxOf(const TBounds& B) { return TBox(TPoint(B.MinX, B.MinY), TPoint(B.MaxX, B.MaxY)); }

bool BoxesMeet(const TBounds& A, const TBounds& B) noexcept {
  return A.MinX <= B.MaxX && B.MinX <= A.MaxX && A.MinY <= B.MaxY && B.MinY <= A.MaxY;
}

bool BoxInside(const TBounds& Inner, const TBounds& Outer) noexcept {
  return Inner.MinX >= Outer.MinX && Inner.MaxX <= Outer.MaxX && Inner.MinY >= Outer.MinY &&
         Inner.MaxY <= Outer.MaxY;
}

const auto& GeometryOf(const TShapeData& Shape) { return Shape.Geometry->G; }

bool ShapesIntersect(const TShapeData& A, const TShapeData& B) {
  if (!BoxesMeet(A.Bounds, B.Bounds)) return false;
  return std::visit([](const auto& X, const auto& Y) { return bg::intersects(X, Y); },
                    GeometryOf(A), GeometryOf(B));
}

// Whether the interiors of two shapes have a point in common.
bool InteriorsMeet(const TShapeData& A, const TShapeData& B) {
  if (!BoxesMeet(A.Bounds, B.Bounds)) return false;
  return std::visit(
      [](const auto& X, const auto& Y) {
        using X_ = std::decay_t<decltype(X)>;
        using Y_ = std::decay_t<decltype(Y)>;
        if constexpr (std::is_same_v<X_, TPoint> && std::is_same_v<Y_, TPoint>)
          return bg::equals(X, Y);  // a point is all interior
        else
          return bg::intersects(X, Y) && !bg::touches(X, Y);
      },
      GeometryOf(A), GeometryOf(B));
}

template <class X, class Y> bool WithinChecked(const X& A, const Y& B) {
  if constexpr (DimensionOf<X>() > DimensionOf<Y>())
    return false;  // nothing lies within something of a lower dimension
  else
    return bg::within(A, B);
}

// Whether shape A lies within the union of Target's shapes.
bool ShapeWithin(const TShapeData& A, const TObjectData& Target) {
  if (!BoxInside(A.Bounds, Target.Bounds)) return false;
  if (Target.Shapes.size() == 1)
    return std::visit([](const auto& X, const auto& Y) { return WithinChecked(X, Y); },
                      GeometryOf(A), GeometryOf(Target.Shapes[0]));
  TMultiPoint Points;
  TMultiLine Lines;
  TMultiPolygon Polygons;
  for (const TShapeData& Shape : Target.Shapes) {
    const auto& G = GeometryOf(Shape);
    if (const TPoint* P = std::get_if<TPoint>(&G)) Points.push_back(*P);
    else if (const TLine* L = std::get_if<TLine>(&G)) Lines.push_back(*L);
    else Polygons.push_back(std::get<TPolygon>(G));
  }
  return std::visit(
      [&](const auto& X) {
        return (!Polygons.empty() && WithinChecked(X, Polygons)) ||
               (!Lines.empty() && WithinChecked(X, Lines)) ||
               (!Points.empty() && WithinChecked(X, Points));
      },
      GeometryOf(A));
}

bool ObjectsIntersect(const TObjectData& S, const TObjectData& T) {
  for (const TShapeData& A : S.Shapes)
    for (const TShapeData& B : T.Shapes)
      if (ShapesIntersect(A, B)) return true;
  return false;
}

bool ObjectWithin(const TObjectData& S, const TObjectData& T) {
  if (S.Shapes.empty() || T.Shapes.empty()) return false;
  for (const TShapeData& A : S.Shapes)
    if (!ShapeWithin(A, T)) return false;
  return true;
}

bool ObjectsTouch(const TObjectData& S, const TObjectData& T) {
  if (!ObjectsIntersect(S, T)) return false;
  for (const TShapeData& A : S.Shapes)
    for (const TShapeData& B : T.Shapes)
      if (InteriorsMeet(A, B)) return false;
  return true;
}

using TIndexValue = std::pair<TBox, uint32_t>;

}  // namespace

struct TLayerIndex {
  bgi::rtree<TIndexValue, bgi::rstar<16>> Tree;
};

void TLayerIndexDeleter::operator()(TLayerIndex* Index) const noexcept { delete Index; }

// ---- shapes -----------------------------------------------------------------------------

std::vector<TGeometryPtr> ParseWkt(const std::wstring& Wkt) {
  std::string Text = Narrow(Wkt);
  size_t Start = Text.find_first_not_of(" \t\r\n");
  std::string Keyword;
  for (size_t I = Start == std::string::npos ? Text.size() : Start;
       I < Text.size() && std::isalpha(static_cast<unsigned char>(Text[I])); ++I)
    Keyword += static_cast<char>(std::toupper(static_cast<unsigned char>(Text[I])));
  std::vector<TGeometryPtr> Result;
  if (Keyword == "POINT") {
    Result.push_back(Wrap(Checked(ReadWkt<TPoint>(Text))));
  } else if (Keyword == "LINESTRING") {
    Result.push_back(Wrap(Checked(ReadWkt<TLine>(Text))));
  } else if (Keyword == "POLYGON") {
    Result.push_back(Wrap(Checked(ReadWkt<TPolygon>(Text))));
  } else if (Keyword == "MULTIPOINT") {
    for (const TPoint& P : ReadWkt<TMultiPoint>(Text)) Result.push_back(Wrap(Checked(P)));
  } else if (Keyword == "MULTILINESTRING") {
    for (const TLine& L : ReadWkt<TMultiLine>(Text)) Result.push_back(Wrap(Checked(L)));
  } else if (Keyword == "MULTIPOLYGON") {
    for (const TPolygon& A : ReadWkt<TMultiPolygon>(Text)) Result.push_back(Wrap(Checked(A)));
  } else {
    throw std::invalid_argument("unsupported WKT geometry: " + Text.substr(0, 40));
  }
  if (Result.empty()) throw std::invalid_argument("empty WKT geometry: " + Text.substr(0, 40));
  return Result;
}

TGeometryPtr MakePoint(double X, double Y) { return Wrap(Checked(TPoint(X, Y))); }

TGeometryPtr MakeLine(const TRing& Points) {
  TLine L;
  for (const TCoord& C : Points) L.emplace_back(C.first, C.second);
  return Wrap(Checked(std::move(L)));
}

TGeometryPtr MakePolygon(const std::vector<TRing>& Rings) {
  if (Rings.empty()) Invalid("a polygon needs an outer ring");
  TPolygon A;
  for (const TCoord& C : Rings[0]) A.outer().emplace_back(C.first, C.second);
  for (size_t I = 1; I < Rings.size(); ++I) {
    A.inners().emplace_back();
    for (const TCoord& C : Rings[I]) A.inners().back().emplace_back(C.first, C.second);
  }
  return Wrap(Checked(std::move(A)));
}

TGeometryPtr CopyGeometry(const TShapeGeometry& Geometry) { return Wrap(Geometry); }

TShapeKind KindOf(const TShapeGeometry& Geometry) {
  switch (Geometry.G.index()) {
    case 0: return TShapeKind::Point;
    case 1: return TShapeKind::Line;
    default: return TShapeKind::Polygon;
  }
}

std::vector<TRing> Coordinates(const TShapeGeometry& Geometry) {
  std::vector<TRing> Rings;
  auto Ring = [](const auto& Points) {
    TRing R;
    R.reserve(Points.size());
    for (const TPoint& P : Points) R.emplace_back(P.x(), P.y());
    return R;
  };
  if (const TPoint* P = std::get_if<TPoint>(&Geometry.G)) {
    Rings.push_back(TRing{{P->x(), P->y()}});
  } else if (const TLine* L = std::get_if<TLine>(&Geometry.G)) {
    Rings.push_back(Ring(*L));
  } else {
    const TPolygon& A = std::get<TPolygon>(Geometry.G);
    Rings.push_back(Ring(A.outer()));
    for (const auto& Inner : A.inners()) Rings.push_back(Ring(Inner));
  }
  return Rings;
}

std::wstring ToWkt(const TShapeGeometry& Geometry) {
  std::vector<TRing> Rings = Coordinates(Geometry);
  std::wstring Out;
  switch (KindOf(Geometry)) {
    case TShapeKind::Point:
      Out = L"POINT";
      AppendRing(Out, Rings[0]);
      break;
    case TShapeKind::Line:
      Out = L"LINESTRING";
      AppendRing(Out, Rings[0]);
      break;
    case TShapeKind::Polygon:
      Out = L"POLYGON(";
      for (size_t I = 0; I < Rings.size(); ++I) {
        if (I) Out += L',';
        AppendRing(Out, Rings[I]);
      }
      Out += L')';
      break;
  }
  return Out;
}

TBounds BoundsOf(const TShapeGeometry& Geometry) {
  TBox Box = std::visit([](const auto& G) { return bg::return_envelope<TBox>(G); }, Geometry.G);
  return TBounds{Box.min_corner().x(), Box.min_corner().y(), Box.max_corner().x(),
                 Box.max_corner().y()};
}

double AreaOf(const TShapeGeometry& Geometry) {
  if (const TPolygon* A = std::get_if<TPolygon>(&Geometry.G)) return bg::area(*A);
  return 0;
}

double LengthOf(const TShapeGeometry& Geometry) {
  if (const TPolygon* A = std::get_if<TPolygon>(&Geometry.G)) return bg::perimeter(*A);
  if (const TLine* L = std::get_if<TLine>(&Geometry.G)) return bg::length(*L);
  return 0;
}

// ---- relations --------------------------------------------------------------------------

bool Related(const TObjectData& Source, const TObjectData& Target, long Relation) {
  switch (Relation) {
    case RelIntersects: return ObjectsIntersect(Source, Target);
    case RelWithin: return ObjectWithin(Source, Target);
    case RelContains: return ObjectWithin(Target, Source);
    case RelTouches: return ObjectsTouch(Source, Target);
    default: return false;
  }
}

std::vector<TObjectData*> QueryRelated(TLayerData& Layer, const TObjectData& Target,
                                       long Relation, bool UseIndex) {
  std::vector<TObjectData*> Result;
  if (Target.Shapes.empty()) return Result;
  const TBounds& Bounds = Target.Bounds;
  // A candidate's bounds must lie inside the target's (within), hold them (contains), or
  // meet them (intersects, touches).
  auto BoundsFit = [&](const TBounds& B) {
    switch (Relation) {
      case RelWithin: return BoxInside(B, Bounds);
      case RelContains: return BoxInside(Bounds, B);
      default: return BoxesMeet(B, Bounds);
    }
  };
  std::vector<uint32_t> Candidates;
  if (UseIndex) {
    if (Layer.IndexStale || !Layer.Index) {
      std::vector<TIndexValue> Values;
      Values.reserve(Layer.Objects.size());
      for (const TObjectData* Object : Layer.Objects)
        if (!Object->Shapes.empty())
          Values.emplace_back(BoxOf(Object->Bounds), static_cast<uint32_t>(Object->Index));
      Layer.Index.reset(new TLayerIndex{bgi::rtree<TIndexValue, bgi::rstar<16>>(Values)});
      Layer.IndexStale = false;
    }
    TBox Box = BoxOf(Bounds);
    auto Out = [&Candidates](const TIndexValue& V) { Candidates.push_back(V.second); };
    auto Sink = boost::make_function_output_iterator(Out);
    switch (Relation) {
      case RelWithin: Layer.Index->Tree.query(bgi::covered_by(Box), Sink); break;
      case RelContains: Layer.Index->Tree.query(bgi::covers(Box), Sink); break;
      default: Layer.Index->Tree.query(bgi::intersects(Box), Sink); break;
    }
    std::sort(Candidates.begin(), Candidates.end());
  } else {
    for (const TObjectData* Object : Layer.Objects)
      if (!Object->Shapes.empty() && BoundsFit(Object->Bounds))
        Candidates.push_back(static_cast<uint32_t>(Object->Index));
  }
  for (uint32_t Index : Candidates) {
    TObjectData* Object = Layer.Objects[Index];
    if (Related(*Object, Target, Relation)) Result.push_back(Object);
  }
  return Result;
}

}  // namespace HostSim
