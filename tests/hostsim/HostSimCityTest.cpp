// The sample city: its layers and names, its geometry (buildings inside their quarters), its
// records, and that it is the same city every time.
#include "HostSimTestUtil.h"

#include <map>

#include "hostsim/HostSimCity.h"

using namespace HostSimTest;
namespace City = HostSim::City;
using HostSim::TValue;

namespace {

class SampleCity : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Host = new HostSim::THost;
    Host->BuildSampleCity();
  }
  static void TearDownTestSuite() {
    EXPECT_EQ(Host->LiveObjects(), 0);
    delete Host;
    Host = nullptr;
  }
  static HostSim::THost* Host;
};

HostSim::THost* SampleCity::Host = nullptr;

TEST_F(SampleCity, LayersWithRussianNames) {
  EXPECT_EQ(Host->MapIds(), (std::vector<std::wstring>{City::MapId}));
  EXPECT_EQ(Host->LayerIds(City::MapId),
            (std::vector<std::wstring>{City::Districts, City::Quarters, City::Buildings,
                                       City::Schools, City::Shops, City::Roads, City::Parks}));
  EXPECT_EQ(Host->TableIds(City::Buildings),
            (std::vector<std::wstring>{City::BuildingsTable, City::TenantsTable}));
  EXPECT_EQ(Host->FieldIds(City::BuildingsTable),
            (std::vector<std::wstring>{L"ID", L"SIMID", City::Floors, City::Residents,
                                       City::Purpose, City::Address}));
  EXPECT_EQ(Host->FieldIds(City::QuartersTable),
            (std::vector<std::wstring>{L"ID", L"SIMID", City::Number, City::Name, City::Population}));

  // The names as a client reads them.
  TComPtr<IOrvexDatabase> Db;
  ASSERT_EQ(Host->Application()->GetDatabase(Db.Put()), S_OK);
  std::vector<std::wstring> Names;
  for (const std::wstring& Id : Host->LayerIds(City::MapId)) {
    TBStr LayerId(Id.c_str());
    TComPtr<IOrvexLayer> Layer;
    ASSERT_EQ(Db->GetLayer(LayerId.Get(), Layer.Put()), S_OK);
    TBStr Name;
    ASSERT_EQ(Layer->GetName(Name.Put()), S_OK);
    Names.push_back(Name.ToWideString());
  }
  EXPECT_EQ(Names, (std::vector<std::wstring>{L"Районы", L"Кварталы", L"Здания", L"Школы",
                                              L"Магазины", L"Дороги", L"Парки"}));
  TBStr Table(City::BuildingsTable);
  TComPtr<IOrvexTable> Buildings;
  ASSERT_EQ(Db->GetTable(Table.Get(), Buildings.Put()), S_OK);
  TBStr Name;
  ASSERT_EQ(Buildings->GetName(Name.Put()), S_OK);
  EXPECT_EQ(Name.ToWideString(), L"Здания");
}

TEST_F(SampleCity, AFewThousandObjects) {
  std::map<std::wstring, size_t> Count;
  for (const std::wstring& Layer : Host->LayerIds(City::MapId))
    Count[Layer] = Host->ObjectIds(Layer).size();
  EXPECT_GE(Host->ObjectCount(), 2000);
  EXPECT_LE(Host->ObjectCount(), 5000);
  EXPECT_EQ(Count[City::Quarters], 64u);
  EXPECT_EQ(Count[City::Districts], 4u);
  EXPECT_EQ(Count[City::Roads], 18u);
  EXPECT_GT(Count[City::Buildings], 1000u);
  EXPECT_GT(Count[City::Shops], 200u);
  EXPECT_GT(Count[City::Schools], 5u);
  EXPECT_GT(Count[City::Parks], 0u);
}

TEST_F(SampleCity, BuildingsLieInsideTheirQuarters) {
  size_t Inside = 0, Straddling = 0, Total = 0;
  for (const std::wstring& B : Host->ObjectIds(City::Buildings)) {
    ++Total;
    // No building touches two quarters; nearly all lie strictly inside one.
    size_t Meeting = Host->RelatedIds(City::Quarters, B, 1).size();
    size_t Containing = Host->RelatedIds(City::Quarters, B, 4).size();
    EXPECT_EQ(Meeting, 1u) << "building " << B;
    if (Containing == 1) ++Inside;
    else ++Straddling;
  }
  EXPECT_GE(Inside, Total * 97 / 100);
  EXPECT_GT(Straddling, 0u);  // the few that reach into the street are there too
  // Every school and shop stands inside a quarter; parks lie inside one too.
  for (const wchar_t* Layer : {City::Schools, City::Shops, City::Parks})
    for (const std::wstring& Id : Host->ObjectIds(Layer))
      EXPECT_EQ(Host->RelatedIds(City::Quarters, Id, 4).size(), 1u) << Id;
}

TEST_F(SampleCity, DistrictsShareEdgesAlongRoads) {
  std::vector<std::wstring> Districts = Host->ObjectIds(City::Districts);
  ASSERT_EQ(Districts.size(), 4u);
  // Each of the 2 by 2 districts touches the other three (two by an edge, one by a corner).
  for (const std::wstring& D : Districts) {
    std::vector<std::wstring> Touching = Host->RelatedIds(City::Districts, D, 8);
    EXPECT_EQ(Touching.size(), 3u) << D;
    // Every quarter lies inside exactly one district.
    EXPECT_EQ(Host->RelatedIds(City::Quarters, D, 2).size(), 16u);
  }
  // The roads between the districts run along their shared edges, touching all four; every
  // other road crosses the inside of some.
  size_t Along = 0;
  for (const std::wstring& R : Host->ObjectIds(City::Roads))
    if (Host->RelatedIds(City::Districts, R, 8).size() == 4) ++Along;
  EXPECT_EQ(Along, 2u);
}

TEST_F(SampleCity, RecordsForTheFillRun) {
  size_t Residential = 0, WithTenants = 0, SeveralTenants = 0;
  for (const std::wstring& B : Host->ObjectIds(City::Buildings)) {
    ASSERT_EQ(Host->RecordCount(B, City::BuildingsTable), 1);
    TValue Floors = Host->Value(B, City::BuildingsTable, City::Floors);
    TValue Residents = Host->Value(B, City::BuildingsTable, City::Residents);
    ASSERT_EQ(Floors.Type(), VT_I4);
    ASSERT_EQ(Residents.Type(), VT_I4);
    EXPECT_GE(V_I4(&Floors.Ref()), 1);
    EXPECT_LE(V_I4(&Floors.Ref()), 16);
    long Tenants = Host->RecordCount(B, City::TenantsTable);
    if (V_I4(&Residents.Ref()) > 0) {
      ++Residential;
      EXPECT_EQ(Tenants, 0);
    } else {
      EXPECT_TRUE(Host->Value(B, City::BuildingsTable, City::Purpose).SameAs(TValue(L"Нежилое")));
      EXPECT_GE(Tenants, 1);
      EXPECT_LE(Tenants, 4);
      ++WithTenants;
      if (Tenants > 1) ++SeveralTenants;
    }
  }
  EXPECT_GT(Residential, WithTenants);
  EXPECT_GT(SeveralTenants, 0u);
  // The population is left for a fill run.
  for (const std::wstring& Q : Host->ObjectIds(City::Quarters)) {
    ASSERT_EQ(Host->RecordCount(Q, City::QuartersTable), 1);
    EXPECT_EQ(Host->Value(Q, City::QuartersTable, City::Population).Type(), VT_EMPTY);
  }
  std::wstring School = Host->ObjectIds(City::Schools).front();
  TValue Name = Host->Value(School, City::SchoolsTable, City::Name);
  ASSERT_EQ(Name.Type(), VT_BSTR);
  EXPECT_EQ(std::wstring(V_BSTR(&Name.Ref())).rfind(L"Школа № ", 0), 0u);
}

TEST(SampleCityBuild, SameSeedSameCityAndTheScaleGrowsIt) {
  HostSim::THost A, B, C, Small;
  A.BuildSampleCity(1.0, 7);
  B.BuildSampleCity(1.0, 7);
  C.BuildSampleCity(1.0, 8);
  EXPECT_EQ(A.DumpState(), B.DumpState());
  EXPECT_NE(A.DumpState(), C.DumpState());
  Small.BuildSampleCity(0.25);
  EXPECT_EQ(Small.ObjectIds(City::Quarters).size(), 16u);
  HostSim::THost Big;
  Big.BuildSampleCity(4.0);
  EXPECT_EQ(Big.ObjectIds(City::Quarters).size(), 256u);
  EXPECT_GT(Big.ObjectCount(), 3 * A.ObjectCount());
  EXPECT_THROW(Big.BuildSampleCity(0), std::invalid_argument);
}

}  // namespace
