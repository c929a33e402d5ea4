// Spatial queries, area and perimeter of the simulated host, asked through the COM interfaces.
#include "HostSimTestUtil.h"

#include <cstdint>
#include <stdexcept>

using namespace HostSimTest;

namespace {

using TIds = std::vector<std::wstring>;

class HostGeometry : public ::testing::Test {
protected:
  void SetUp() override {
    Host.AddMap(L"m", L"Карта");
    for (const wchar_t* Layer : {L"t", L"p", L"l", L"a", L"h", L"m"}) Host.AddLayer(L"m", Layer, Layer);
    // Targets.
    Host.AddObject(L"t", L"sq", L"POLYGON((0 0,10 0,10 10,0 10,0 0))");
    Host.AddObject(L"t", L"holed",
                   L"POLYGON((100 0,130 0,130 30,100 30,100 0),(110 10,120 10,120 20,110 20,110 10))");
    Host.AddObject(L"t", L"pt", L"POINT(5 5)");
    Host.AddObject(L"t", L"ln", L"LINESTRING(0 5,10 5)");
    Host.AddObject(L"t", L"two", L"MULTIPOLYGON(((200 0,210 0,210 10,200 10,200 0)),((220 0,230 0,230 10,220 10,220 0)))");
    // Points.
    Host.AddObject(L"p", L"p_in", L"POINT(5 5)");
    Host.AddObject(L"p", L"p_edge", L"POINT(10 5)");
    Host.AddObject(L"p", L"p_corner", L"POINT(0 0)");
    Host.AddObject(L"p", L"p_out", L"POINT(20 20)");
    Host.AddObject(L"p", L"p_two", L"POINT(225 5)");
    // Lines.
    Host.AddObject(L"l", L"l_in", L"LINESTRING(2 2,8 8)");
    Host.AddObject(L"l", L"l_cross", L"LINESTRING(-5 5,15 5)");
    Host.AddObject(L"l", L"l_edge", L"LINESTRING(0 0,10 0)");
    Host.AddObject(L"l", L"l_end", L"LINESTRING(10 5,15 5)");
    Host.AddObject(L"l", L"l_out", L"LINESTRING(20 0,30 0)");
    // Polygons.
    Host.AddObject(L"a", L"a_in", L"POLYGON((2 2,8 2,8 8,2 8,2 2))");
    Host.AddObject(L"a", L"a_big", L"POLYGON((-5 -5,15 -5,15 15,-5 15,-5 -5))");
    Host.AddObject(L"a", L"a_share", L"POLYGON((10 0,20 0,20 10,10 10,10 0))");
    Host.AddObject(L"a", L"a_overlap", L"POLYGON((5 5,15 5,15 15,5 15,5 5))");
    Host.AddObject(L"a", L"a_out", L"POLYGON((50 50,60 50,60 60,50 60,50 50))");
    Host.AddObject(L"a", L"a_corner", L"POLYGON((10 10,20 10,20 20,10 20,10 10))");
    // Around the hole of "holed".
    Host.AddObject(L"h", L"h_in_hole", L"POLYGON((112 12,118 12,118 18,112 18,112 12))");
    Host.AddObject(L"h", L"h_pt_hole", L"POINT(115 15)");
    Host.AddObject(L"h", L"h_pt_hole_edge", L"POINT(110 15)");
    Host.AddObject(L"h", L"h_ring", L"POLYGON((102 2,108 2,108 8,102 8,102 2))");
    // Objects of several parts.
    Host.AddObject(L"m", L"m_inside", L"MULTIPOLYGON(((1 1,4 1,4 4,1 4,1 1)),((6 6,9 6,9 9,6 9,6 6)))");
    Host.AddObject(L"m", L"m_half", L"POLYGON((1 1,3 1,3 3,1 3,1 1))");
    Host.AddShape(L"m_half", L"POLYGON((40 40,42 40,42 42,40 42,40 40))");
    Host.AddObject(L"m", L"m_points", L"MULTIPOINT((1 1),(10 10))");
  }
  void TearDown() override { EXPECT_EQ(Host.LiveObjects(), 0); }

  // QueryByRelation through COM.
  TIds Query(const wchar_t* Layer, const wchar_t* Target, LONG Relation) {
    TComPtr<IOrvexDatabase> Db;
    EXPECT_EQ(Host.Application()->GetDatabase(Db.Put()), S_OK);
    TComPtr<IOrvexMapObjects> Objects;
    EXPECT_EQ(Db->GetMapObjects(Objects.Put()), S_OK);
    TBStr L(Layer), T(Target);
    TComPtr<IOrvexObjectQuery> Q;
    EXPECT_EQ(Objects->QueryByRelation(TextVariant(L.Get()), T.Get(), Relation, Relation, Q.Put()),
              S_OK);
    TIds Ids;
    VARIANT_BOOL Eof = VARIANT_TRUE;
    while (Q && Q->GetEof(&Eof) == S_OK && !Eof) {
      TBStr Id;
      EXPECT_EQ(Q->GetObjectId(Id.Put()), S_OK);
      Ids.push_back(Id.ToWideString());
      EXPECT_EQ(Q->MoveNext(), S_OK);
    }
    return Ids;
  }

  HostSim::THost Host;
};

TEST_F(HostGeometry, PointsAgainstAPolygon) {
  EXPECT_EQ(Query(L"p", L"sq", 1), (TIds{L"p_in", L"p_edge", L"p_corner"}));
  EXPECT_EQ(Query(L"p", L"sq", 2), (TIds{L"p_in"}));  // on the edge is not inside
  EXPECT_EQ(Query(L"p", L"sq", 4), TIds{});
  EXPECT_EQ(Query(L"p", L"sq", 8), (TIds{L"p_edge", L"p_corner"}));
}

TEST_F(HostGeometry, LinesAgainstAPolygon) {
  EXPECT_EQ(Query(L"l", L"sq", 1), (TIds{L"l_in", L"l_cross", L"l_edge", L"l_end"}));
  EXPECT_EQ(Query(L"l", L"sq", 2), (TIds{L"l_in"}));  // along the edge is not inside
  EXPECT_EQ(Query(L"l", L"sq", 4), TIds{});
  EXPECT_EQ(Query(L"l", L"sq", 8), (TIds{L"l_edge", L"l_end"}));
}

TEST_F(HostGeometry, PolygonsAgainstAPolygon) {
  EXPECT_EQ(Query(L"a", L"sq", 1),
            (TIds{L"a_in", L"a_big", L"a_share", L"a_overlap", L"a_corner"}));
  EXPECT_EQ(Query(L"a", L"sq", 2), (TIds{L"a_in"}));
  EXPECT_EQ(Query(L"a", L"sq", 4), (TIds{L"a_big"}));
  // Sharing only an edge or a corner touches (and intersects); overlapping does not touch.
  EXPECT_EQ(Query(L"a", L"sq", 8), (TIds{L"a_share", L"a_corner"}));
}

TEST_F(HostGeometry, PointAndLineTargets) {
  EXPECT_EQ(Query(L"a", L"pt", 1), (TIds{L"a_in", L"a_big", L"a_overlap"}));
  EXPECT_EQ(Query(L"a", L"pt", 4), (TIds{L"a_in", L"a_big"}));  // the corner holds no interior
  EXPECT_EQ(Query(L"a", L"pt", 8), (TIds{L"a_overlap"}));
  EXPECT_EQ(Query(L"a", L"pt", 2), TIds{});
  EXPECT_EQ(Query(L"p", L"pt", 1), (TIds{L"p_in"}));
  EXPECT_EQ(Query(L"p", L"pt", 2), (TIds{L"p_in"}));
  EXPECT_EQ(Query(L"p", L"pt", 8), TIds{});  // points never touch
  // On a line: inside it, or at an end point (its boundary).
  EXPECT_EQ(Query(L"p", L"ln", 2), (TIds{L"p_in"}));
  EXPECT_EQ(Query(L"p", L"ln", 8), (TIds{L"p_edge"}));
  EXPECT_EQ(Query(L"l", L"ln", 1), (TIds{L"l_in", L"l_cross", L"l_end"}));
  EXPECT_EQ(Query(L"l", L"ln", 4), (TIds{L"l_cross"}));
  EXPECT_EQ(Query(L"l", L"ln", 8), (TIds{L"l_end"}));
  EXPECT_EQ(Query(L"a", L"ln", 4), (TIds{L"a_big"}));
}

TEST_F(HostGeometry, HolesAreNotInside) {
  EXPECT_EQ(Query(L"h", L"holed", 1), (TIds{L"h_pt_hole_edge", L"h_ring"}));
  EXPECT_EQ(Query(L"h", L"holed", 2), (TIds{L"h_ring"}));
  EXPECT_EQ(Query(L"h", L"holed", 8), (TIds{L"h_pt_hole_edge"}));
  EXPECT_EQ(Query(L"h", L"holed", 4), TIds{});
}

TEST_F(HostGeometry, ObjectsOfSeveralParts) {
  EXPECT_EQ(Query(L"m", L"sq", 1), (TIds{L"m_inside", L"m_half", L"m_points"}));
  // Every part must lie inside; a point at a corner does not.
  EXPECT_EQ(Query(L"m", L"sq", 2), (TIds{L"m_inside"}));
  EXPECT_EQ(Query(L"p", L"two", 2), (TIds{L"p_two"}));
  EXPECT_EQ(Query(L"m", L"a_in", 1), (TIds{L"m_inside", L"m_half"}));
  // The big polygon contains the whole of m_inside but not the far part of m_half.
  EXPECT_EQ(Query(L"a", L"m_inside", 4), (TIds{L"a_big"}));
  EXPECT_EQ(Query(L"a", L"m_half", 4), TIds{});
}

TEST_F(HostGeometry, QueryFailures) {
  TComPtr<IOrvexDatabase> Db;
  ASSERT_EQ(Host.Application()->GetDatabase(Db.Put()), S_OK);
  TComPtr<IOrvexMapObjects> Objects;
  ASSERT_EQ(Db->GetMapObjects(Objects.Put()), S_OK);
  TBStr L(L"p"), T(L"sq"), Unknown(L"zz");
  TComPtr<IOrvexObjectQuery> Q;
  EXPECT_EQ(Objects->QueryByRelation(TextVariant(L.Get()), T.Get(), 3, 3, Q.Put()), E_INVALIDARG);
  EXPECT_EQ(TakeError().Description, L"Unknown spatial relation: 3.");
  EXPECT_EQ(Objects->QueryByRelation(TextVariant(L.Get()), T.Get(), 2, 4, Q.Put()), E_INVALIDARG);
  EXPECT_EQ(TakeError().Description,
            L"The spatial relation is given as 2 and as 4; both must be the same.");
  EXPECT_EQ(Objects->QueryByRelation(TextVariant(L.Get()), Unknown.Get(), 1, 1, Q.Put()),
            E_INVALIDARG);
  EXPECT_EQ(TakeError().Description, L"Object not found: zz.");
  EXPECT_EQ(Objects->QueryByRelation(TextVariant(Unknown.Get()), T.Get(), 1, 1, Q.Put()),
            E_INVALIDARG);
  EXPECT_EQ(TakeError().Description, L"Layer not found: zz.");
  EXPECT_FALSE(Q);
}

TEST_F(HostGeometry, AreaAndPerimeter) {
  struct TMeasures {
    double Area = -1;
    std::vector<double> Perimeters;
    std::vector<LONG> Flags;
  };
  auto Measure = [&](const wchar_t* Id) {
    TMeasures M;
    TComPtr<IOrvexDatabase> Db;
    EXPECT_EQ(Host.Application()->GetDatabase(Db.Put()), S_OK);
    TComPtr<IOrvexMapObjects> Objects;
    EXPECT_EQ(Db->GetMapObjects(Objects.Put()), S_OK);
    TBStr Name(Id);
    TComPtr<IOrvexMapObject> Obj;
    EXPECT_EQ(Objects->GetObject(Name.Get(), Obj.Put()), S_OK);
    EXPECT_EQ(Obj->GetArea(&M.Area), S_OK);
    TComPtr<IOrvexShapes> Shapes;
    EXPECT_EQ(Obj->GetShapes(Shapes.Put()), S_OK);
    LONG N = 0;
    EXPECT_EQ(Shapes->GetCount(&N), S_OK);
    for (LONG I = 0; I < N; ++I) {
      TComPtr<IOrvexShape> Shape;
      EXPECT_EQ(Shapes->GetItem(I, Shape.Put()), S_OK);
      TComPtr<IOrvexContour> Contour;
      EXPECT_EQ(Shape->GetContour(Contour.Put()), S_OK);
      double P = -1;
      EXPECT_EQ(Contour->GetPerimeter(&P), S_OK);
      M.Perimeters.push_back(P);
      TComPtr<IOrvexStyle> Style;
      EXPECT_EQ(Shape->GetStyle(Style.Put()), S_OK);
      LONG F = -1;
      EXPECT_EQ(Style->GetFlags(&F), S_OK);
      M.Flags.push_back(F);
    }
    return M;
  };
  // A hole is taken out of the area and its ring adds to the perimeter.
  TMeasures Holed = Measure(L"holed");
  EXPECT_DOUBLE_EQ(Holed.Area, 800.0);
  EXPECT_EQ(Holed.Perimeters, (std::vector<double>{160.0}));
  // Several parts: areas add up, one contour each.
  TMeasures Two = Measure(L"two");
  EXPECT_DOUBLE_EQ(Two.Area, 200.0);
  EXPECT_EQ(Two.Perimeters, (std::vector<double>{40.0, 40.0}));
  EXPECT_EQ(Two.Flags, (std::vector<LONG>{1, 1}));
  // Lines and points have no area; a line's contour is its length, a point's 0.
  TMeasures Line = Measure(L"l_cross");
  EXPECT_EQ(Line.Area, 0.0);
  EXPECT_EQ(Line.Perimeters, (std::vector<double>{20.0}));
  TMeasures Point = Measure(L"p_in");
  EXPECT_EQ(Point.Area, 0.0);
  EXPECT_EQ(Point.Perimeters, (std::vector<double>{0.0}));
  // Style flags are per shape; only bit 0 counts in the host's own perimeter.
  Host.AddObject(L"a", L"styled", L"POLYGON((0 0,1 0,1 1,0 1,0 0))", 0);
  Host.AddShape(L"styled", L"POLYGON((5 5,7 5,7 7,5 7,5 5))", 3);
  TMeasures Styled = Measure(L"styled");
  EXPECT_EQ(Styled.Flags, (std::vector<LONG>{0, 3}));
  EXPECT_EQ(Styled.Perimeters, (std::vector<double>{4.0, 8.0}));
  EXPECT_DOUBLE_EQ(Host.ObjectPerimeter(L"styled"), 8.0);
  EXPECT_DOUBLE_EQ(Host.ObjectArea(L"styled"), 5.0);
}

TEST_F(HostGeometry, RingsAreOrientedWhateverTheInput) {
  // An anticlockwise outer ring and an unclosed one: both stored clockwise and closed.
  Host.AddObject(L"a", L"ccw", L"POLYGON((0 0,4 0,4 4,0 4,0 0))");
  Host.AddObject(L"a", L"open", L"POLYGON((0 0,0 4,4 4,4 0))");
  EXPECT_DOUBLE_EQ(Host.ObjectArea(L"ccw"), 16.0);
  EXPECT_DOUBLE_EQ(Host.ObjectArea(L"open"), 16.0);
  EXPECT_EQ(Host.ShapeWkts(L"ccw"), (TIds{L"POLYGON((0 0,0 4,4 4,4 0,0 0))"}));
  EXPECT_EQ(Host.ShapeWkts(L"open"), (TIds{L"POLYGON((0 0,0 4,4 4,4 0,0 0))"}));
  EXPECT_EQ(Host.ShapeWkts(L"p_in"), (TIds{L"POINT(5 5)"}));
  Host.AddObject(L"p", L"precise", L"POINT(0.1 123456.789)");
  EXPECT_EQ(Host.ShapeWkts(L"precise"), (TIds{L"POINT(0.1 123456.789)"}));
}

TEST_F(HostGeometry, BadGeometryIsRefusedByTheBuilder) {
  long Before = Host.ObjectCount();
  EXPECT_THROW(Host.AddObject(L"a", L"bow", L"POLYGON((0 0,2 2,0 2,2 0,0 0))"), std::invalid_argument);
  EXPECT_THROW(Host.AddObject(L"a", L"junk", L"CIRCLE(1 1, 3)"), std::invalid_argument);
  EXPECT_THROW(Host.AddObject(L"a", L"broken", L"POLYGON((0 0,1 0"), std::invalid_argument);
  EXPECT_THROW(Host.AddObject(L"a", L"a_in", L"POINT(1 1)"), std::invalid_argument);  // duplicate
  EXPECT_THROW(Host.AddObject(L"nowhere", L"x", L"POINT(1 1)"), std::invalid_argument);
  EXPECT_EQ(Host.ObjectCount(), Before);
}

// The R-tree finds exactly what a scan of every object finds, in the same order.
TEST(HostGeometryIndex, IndexAndScanAgree) {
  HostSim::THost Host;
  Host.AddMap(L"m", L"m");
  Host.AddLayer(L"m", L"zones", L"zones");
  Host.AddLayer(L"m", L"items", L"items");
  uint32_t State = 12345;
  auto Next = [&](int Range) {
    State = State * 1664525u + 1013904223u;
    return static_cast<int>((State >> 8) % static_cast<uint32_t>(Range));
  };
  auto Square = [](int X, int Y, int S) {
    return L"POLYGON((" + std::to_wstring(X) + L" " + std::to_wstring(Y) + L"," +
           std::to_wstring(X + S) + L" " + std::to_wstring(Y) + L"," + std::to_wstring(X + S) +
           L" " + std::to_wstring(Y + S) + L"," + std::to_wstring(X) + L" " +
           std::to_wstring(Y + S) + L"," + std::to_wstring(X) + L" " + std::to_wstring(Y) + L"))";
  };
  for (int I = 0; I < 40; ++I)
    Host.AddObject(L"zones", L"z" + std::to_wstring(I), Square(Next(90), Next(90), 5 + Next(20)));
  for (int I = 0; I < 400; ++I) {
    std::wstring Id = L"i" + std::to_wstring(I);
    int Kind = Next(3), X = Next(100), Y = Next(100);
    if (Kind == 0)
      Host.AddObject(L"items", Id, L"POINT(" + std::to_wstring(X) + L" " + std::to_wstring(Y) + L")");
    else if (Kind == 1)
      Host.AddObject(L"items", Id, L"LINESTRING(" + std::to_wstring(X) + L" " + std::to_wstring(Y) +
                                       L"," + std::to_wstring(X + Next(10)) + L" " +
                                       std::to_wstring(Y + 1 + Next(10)) + L")");
    else
      Host.AddObject(L"items", Id, Square(X, Y, 1 + Next(30)));
  }
  size_t Found = 0;
  for (int Z = 0; Z < 40; ++Z) {
    std::wstring Target = L"z" + std::to_wstring(Z);
    for (long Relation : {1L, 2L, 4L, 8L}) {
      Host.SetSpatialIndex(true);
      TIds Indexed = Host.RelatedIds(L"items", Target, Relation);
      Host.SetSpatialIndex(false);
      TIds Scanned = Host.RelatedIds(L"items", Target, Relation);
      EXPECT_EQ(Indexed, Scanned) << "zone " << Z << " relation " << Relation;
      Found += Indexed.size();
    }
  }
  EXPECT_GT(Found, 100u);  // the data exercises the relations
  // Objects added after the first query are found too: the index follows the layer.
  Host.SetSpatialIndex(true);
  Host.AddObject(L"items", L"late", L"POINT(1000 1000)");
  Host.AddObject(L"zones", L"far", Square(990, 990, 20));
  EXPECT_EQ(Host.RelatedIds(L"items", L"far", 2), (TIds{L"late"}));
}

}  // namespace
