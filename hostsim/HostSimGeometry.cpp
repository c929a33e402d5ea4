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

using TSegment = bg::model::segment<TPoint>;
using TSegmentValue = std::pair<TBox, uint32_t>;  // a segment's box and its number

// The segments of a polygon's rings in a packed R-tree: segment K runs from point Ends[K].first to
// the point after it in ring Ends[K].second (0 the outer ring, then the holes).
struct TSegmentIndex {
  bgi::rtree<TSegmentValue, bgi::quadratic<16>> Tree;
  std::vector<std::pair<uint32_t, uint32_t>> Ends;
};

struct TShapeGeometry {
  std::variant<TPoint, TLine, TPolygon> G;
  // For a polygon of many points: built by the validity check, kept for the relations.
  std::shared_ptr<const TSegmentIndex> Segments;
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
  return TShapeGeometry{P, nullptr};
}

TShapeGeometry Checked(TLine L) {
  for (const TPoint& P : L) CheckPoint(P);
  std::string Why;
  if (!bg::is_valid(L, Why)) Invalid(Why);
  return TShapeGeometry{std::move(L), nullptr};
}

using TPolygonRing = TPolygon::ring_type;

void AppendNumber(std::wstring& Out, double V);

const TPolygonRing& RingOf(const TPolygon& A, uint32_t Ring) {
  return Ring == 0 ? A.outer() : A.inners()[Ring - 1];
}

std::string RingName(uint32_t Ring) {
  return Ring == 0 ? "the outer ring" : "hole " + std::to_string(Ring);
}

std::string PointText(const TPoint& P) {
  std::wstring Text;
  AppendNumber(Text, P.x());
  Text += L", ";
  AppendNumber(Text, P.y());
  return std::string(Text.begin(), Text.end());
}

// Polygons with fewer points than this are checked by Boost.Geometry alone.
constexpr size_t IndexedPoints = 256;

// The segments of a polygon's rings (those of length zero left out) in a packed R-tree.
std::shared_ptr<TSegmentIndex> IndexSegments(const TPolygon& A) {
  auto Index = std::make_shared<TSegmentIndex>();
  std::vector<TSegmentValue> Values;
  for (uint32_t R = 0; R <= A.inners().size(); ++R) {
    const TPolygonRing& Ring = RingOf(A, R);
    for (size_t I = 0; I + 1 < Ring.size(); ++I) {
      if (bg::equals(Ring[I], Ring[I + 1])) continue;
      Values.emplace_back(bg::return_envelope<TBox>(TSegment(Ring[I], Ring[I + 1])),
                          static_cast<uint32_t>(Index->Ends.size()));
      Index->Ends.emplace_back(static_cast<uint32_t>(I), R);
    }
  }
  Index->Tree = bgi::rtree<TSegmentValue, bgi::quadratic<16>>(Values);
  return Index;
}

TSegment SegmentOf(const TPolygon& A, const TSegmentIndex& Index, uint32_t K) {
  const TPolygonRing& Ring = RingOf(A, Index.Ends[K].second);
  return TSegment(Ring[Index.Ends[K].first], Ring[Index.Ends[K].first + 1]);
}

enum class TContact { None, Crossing, Other };
using Side = bg::strategy::side::side_by_triangle<>;

// How the rings of a polygon meet, from every pair of segments whose boxes meet: not at all
// (only neighbours along a ring sharing their common point), by a crossing of two segments at
// an inner point of both (Where), or otherwise (touching, overlapping: Boost.Geometry decides).
TContact RingContacts(const TPolygon& A, const TSegmentIndex& Index, TPoint& Where,
                      std::pair<uint32_t, uint32_t>& Segments) {
  TContact Found = TContact::None;
  std::vector<TSegmentValue> Near;
  std::vector<TPoint> Points;
  for (uint32_t K = 0; K < Index.Ends.size(); ++K) {
    const TSegment S = SegmentOf(A, Index, K);
    Near.clear();
    Index.Tree.query(bgi::intersects(bg::return_envelope<TBox>(S)), std::back_inserter(Near));
    for (const TSegmentValue& V : Near) {
      if (V.second <= K) continue;
      const TSegment T = SegmentOf(A, Index, V.second);
      // Most pairs are told apart by the sides of their end points: neighbours that are not
      // collinear meet only at their common point, and a segment with both ends on one side of
      // the other does not meet it.
      const bool SameRing = Index.Ends[K].second == Index.Ends[V.second].second;
      if (SameRing && bg::equals(S.second, T.first) && Side::apply(S.first, S.second, T.second) != 0)
        continue;
      if (SameRing && bg::equals(T.second, S.first) && Side::apply(S.first, S.second, T.first) != 0)
        continue;
      const int T1 = Side::apply(S.first, S.second, T.first), T2 = Side::apply(S.first, S.second, T.second);
      if (T1 * T2 > 0) continue;
      const int S1 = Side::apply(T.first, T.second, S.first), S2 = Side::apply(T.first, T.second, S.second);
      if (S1 * S2 > 0) continue;
      Points.clear();
      bg::intersection(S, T, Points);
      if (Points.empty()) continue;
      auto IsEnd = [](const TSegment& G, const TPoint& P) {
        return bg::equals(G.first, P) || bg::equals(G.second, P);
      };
      // Neighbours along a ring (the closing point included) meet at their common point.
      if (Points.size() == 1 && IsEnd(S, Points[0]) && IsEnd(T, Points[0]) &&
          Index.Ends[K].second == Index.Ends[V.second].second &&
          ((bg::equals(S.second, T.first) && bg::equals(S.second, Points[0])) ||
           (bg::equals(T.second, S.first) && bg::equals(T.second, Points[0]))))
        continue;
      if (Points.size() == 1 && !IsEnd(S, Points[0]) && !IsEnd(T, Points[0])) {
        Where = Points[0];
        Segments = {K, V.second};
        return TContact::Crossing;
      }
      Found = TContact::Other;
    }
  }
  return Found;
}

size_t DistinctPoints(const TPolygonRing& Ring) {
  size_t N = 0;
  for (size_t I = 0; I < Ring.size(); ++I)
    if (I == 0 || !bg::equals(Ring[I], Ring[I - 1])) ++N;
  if (N > 1 && bg::equals(Ring.front(), Ring.back())) --N;
  return N;
}

// Checks a polygon and orients it. Boost.Geometry's is_valid takes time in n squared on rings of
// many points (its self-intersection search); such a polygon is searched for crossing segments
// through an index of its segments instead, and when no two rings or parts of a ring meet, the
// holes are checked to lie inside the outer ring and outside each other. Touching rings and
// overlapping segments, which may still make a valid polygon, are left to is_valid.
TShapeGeometry Checked(TPolygon A) {
  size_t Points = 0;
  for (uint32_t R = 0; R <= A.inners().size(); ++R) {
    const TPolygonRing& Ring = RingOf(A, R);
    for (const TPoint& P : Ring) CheckPoint(P);
    Points += Ring.size();
    size_t Distinct = DistinctPoints(Ring);
    if (Distinct == 0) Invalid(RingName(R) + " has no positions");
    if (Distinct < 3) {
      bool Closed = bg::equals(Ring.front(), Ring.back());
      Invalid(RingName(R) + (Closed ? " has too few points" : " is not closed and has too few points to be closed") +
              ": " + std::to_string(Distinct) + " distinct positions, a ring needs 3");
    }
  }
  // The segment that closing a ring adds, for the rings that are not closed.
  std::vector<std::pair<TPoint, TPoint>> Closing(A.inners().size() + 1);
  std::vector<bool> Open(A.inners().size() + 1);
  for (uint32_t R = 0; R <= A.inners().size(); ++R) {
    const TPolygonRing& Ring = RingOf(A, R);
    Open[R] = !bg::equals(Ring.front(), Ring.back());
    Closing[R] = {Ring.back(), Ring.front()};
  }
  bg::correct(A);
  auto Crossing = [&](const TSegmentIndex& Index, const TPoint& Where, std::pair<uint32_t, uint32_t> Segments) {
    const uint32_t R1 = Index.Ends[Segments.first].second, R2 = Index.Ends[Segments.second].second;
    const std::string Other = R1 == R2 ? "itself" : RingName(R2);
    for (uint32_t K : {Segments.first, Segments.second}) {
      const uint32_t R = Index.Ends[K].second;
      const TSegment S = SegmentOf(A, Index, K);
      if (Open[R] && ((bg::equals(S.first, Closing[R].first) && bg::equals(S.second, Closing[R].second)) ||
                      (bg::equals(S.first, Closing[R].second) && bg::equals(S.second, Closing[R].first))))
        Invalid(RingName(R) + " is not closed and cannot be closed: the segment that closes it would cross " +
                (R1 == R2 ? "the ring" : RingName(R == R1 ? R2 : R1)) + " at " + PointText(Where));
    }
    Invalid("self-intersection at " + PointText(Where) + " (" +
            (R1 == R2 ? RingName(R1) + " crosses " + Other : RingName(R1) + " and " + Other + " cross") + ")");
  };
  std::shared_ptr<TSegmentIndex> Index;
  TContact Contact = TContact::Other;
  if (Points >= IndexedPoints) {
    Index = IndexSegments(A);
    TPoint Where;
    std::pair<uint32_t, uint32_t> Segments;
    Contact = RingContacts(A, *Index, Where, Segments);
    if (Contact == TContact::Crossing) Crossing(*Index, Where, Segments);
  }
  if (Contact == TContact::None) {
    // No two segments meet: each hole lies wholly inside or outside the outer ring and the
    // other holes, as its first point does.
    std::vector<TBox> Boxes;
    for (const TPolygonRing& Hole : A.inners()) Boxes.push_back(bg::return_envelope<TBox>(Hole));
    for (uint32_t R = 1; R <= A.inners().size(); ++R) {
      const TPoint& P = RingOf(A, R).front();
      if (!bg::within(P, A.outer())) Invalid(RingName(R) + " lies outside the outer ring");
      for (uint32_t Q = 1; Q <= A.inners().size(); ++Q)
        if (Q != R && bg::covered_by(P, Boxes[Q - 1]) &&
            bg::within(P, TPolygonRing(RingOf(A, Q).rbegin(), RingOf(A, Q).rend())))
          Invalid(RingName(R) + " lies inside " + RingName(Q));
    }
  } else {
    std::string Why;
    if (!bg::is_valid(A, Why)) {
      // A bow tie: its two halves cancel out and it is refused for its orientation; the cause
      // is where its segments cross.
      TPoint Where;
      std::pair<uint32_t, uint32_t> Segments;
      if (!Index) {
        const std::shared_ptr<TSegmentIndex> Small = IndexSegments(A);
        if (RingContacts(A, *Small, Where, Segments) == TContact::Crossing) Crossing(*Small, Where, Segments);
      }
      Invalid(Why);
    }
  }
  TShapeGeometry Shape{std::move(A), nullptr};
  Shape.Segments = std::move(Index);
  return Shape;
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

// Calls F with the shape's Boost geometry: a point is held in the shape itself (its bounds),
// every other shape in its geometry.
template <class F> bool VisitShape(const TShapeData& Shape, F&& Visit) {
  if (!Shape.Geometry) return Visit(TPoint(Shape.Bounds.MinX, Shape.Bounds.MinY));
  return std::visit(Visit, Shape.Geometry->G);
}

template <class F> bool VisitShapes(const TShapeData& A, const TShapeData& B, F&& Visit) {
  return VisitShape(A, [&](const auto& X) { return VisitShape(B, [&](const auto& Y) { return Visit(X, Y); }); });
}

bool HasSegmentIndex(const TShapeData& Shape) noexcept {
  return Shape.Geometry && Shape.Geometry->Segments != nullptr;
}

// Whether a polygon with an index of its segments meets another shape: when one of its
// segments near the shape meets it, or else when one lies inside the other (a point of it in
// the other). Boost.Geometry's intersects takes time in the polygon's size on every call.
template <class G> bool IndexedIntersects(const TShapeGeometry& Big, const G& Other) {
  const TPolygon& A = std::get<TPolygon>(Big.G);
  const TSegmentIndex& Index = *Big.Segments;
  const TBox Box = bg::return_envelope<TBox>(Other);
  for (auto It = Index.Tree.qbegin(bgi::intersects(Box)); It != Index.Tree.qend(); ++It) {
    const TSegment S = SegmentOf(A, Index, It->second);
    if (bg::intersects(S, Other)) return true;
  }
  if constexpr (std::is_same_v<G, TPoint>) {
    return bg::within(Other, A);
  } else if constexpr (std::is_same_v<G, TLine>) {
    return !Other.empty() && bg::within(Other.front(), A);
  } else {
    return (!Other.outer().empty() && bg::within(Other.outer().front(), A)) ||
           bg::within(A.outer().front(), Other);
  }
}

bool ShapesIntersect(const TShapeData& A, const TShapeData& B) {
  if (!BoxesMeet(A.Bounds, B.Bounds)) return false;
  const bool IndexA = HasSegmentIndex(A), IndexB = HasSegmentIndex(B);
  if (IndexA && !IndexB)
    return VisitShape(B, [&](const auto& Y) { return IndexedIntersects(*A.Geometry, Y); });
  if (IndexB && !IndexA)
    return VisitShape(A, [&](const auto& X) { return IndexedIntersects(*B.Geometry, X); });
  return VisitShapes(A, B, [](const auto& X, const auto& Y) { return bg::intersects(X, Y); });
}

// Whether the interiors of two shapes have a point in common.
bool InteriorsMeet(const TShapeData& A, const TShapeData& B) {
  if (!BoxesMeet(A.Bounds, B.Bounds)) return false;
  return VisitShapes(A, B, [](const auto& X, const auto& Y) {
    using X_ = std::decay_t<decltype(X)>;
    using Y_ = std::decay_t<decltype(Y)>;
    if constexpr (std::is_same_v<X_, TPoint> && std::is_same_v<Y_, TPoint>)
      return bg::equals(X, Y);  // a point is all interior
    else
      return bg::intersects(X, Y) && !bg::touches(X, Y);
  });
}

template <class X, class Y> bool WithinChecked(const X& A, const Y& B) {
  if constexpr (DimensionOf<X>() > DimensionOf<Y>())
    return false;  // nothing lies within something of a lower dimension
  else
    return bg::within(A, B);
}

// Whether shape A lies within the union of Target's shapes (whose bounds are TargetBounds).
bool ShapeWithin(const TShapeData& A, const TObjectData& Target, const TBounds& TargetBounds) {
  if (!BoxInside(A.Bounds, TargetBounds)) return false;
  if (Target.Shapes.size() == 1)
    return VisitShapes(A, Target.Shapes[0], [](const auto& X, const auto& Y) { return WithinChecked(X, Y); });
  TMultiPoint Points;
  TMultiLine Lines;
  TMultiPolygon Polygons;
  for (const TShapeData& Shape : Target.Shapes)
    VisitShape(Shape, [&](const auto& G) {
      using G_ = std::decay_t<decltype(G)>;
      if constexpr (std::is_same_v<G_, TPoint>) Points.push_back(G);
      else if constexpr (std::is_same_v<G_, TLine>) Lines.push_back(G);
      else Polygons.push_back(G);
      return true;
    });
  return VisitShape(A, [&](const auto& X) {
    return (!Polygons.empty() && WithinChecked(X, Polygons)) ||
           (!Lines.empty() && WithinChecked(X, Lines)) ||
           (!Points.empty() && WithinChecked(X, Points));
  });
}

bool ObjectsIntersect(const TObjectData& S, const TObjectData& T) {
  for (const TShapeData& A : S.Shapes)
    for (const TShapeData& B : T.Shapes)
      if (ShapesIntersect(A, B)) return true;
  return false;
}

bool ObjectWithin(const TObjectData& S, const TObjectData& T) {
  if (S.Shapes.empty() || T.Shapes.empty()) return false;
  const TBounds Bounds = T.Bounds();
  for (const TShapeData& A : S.Shapes)
    if (!ShapeWithin(A, T, Bounds)) return false;
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

std::vector<TRing> Coordinates(const TShapeData& Shape) {
  if (!Shape.Geometry) return {TRing{{Shape.Bounds.MinX, Shape.Bounds.MinY}}};
  return Coordinates(*Shape.Geometry);
}

std::wstring ToWkt(const TShapeData& Shape) {
  if (Shape.Geometry) return ToWkt(*Shape.Geometry);
  std::wstring Out = L"POINT";
  AppendRing(Out, TRing{{Shape.Bounds.MinX, Shape.Bounds.MinY}});
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
  const TBounds Bounds = Target.Bounds();
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
          Values.emplace_back(BoxOf(Object->Bounds()), static_cast<uint32_t>(Object->Index));
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
      if (!Object->Shapes.empty() && BoundsFit(Object->Bounds()))
        Candidates.push_back(static_cast<uint32_t>(Object->Index));
  }
  for (uint32_t Index : Candidates) {
    TObjectData* Object = Layer.Objects[Index];
    if (Related(*Object, Target, Relation)) Result.push_back(Object);
  }
  return Result;
}

}  // namespace HostSim
