#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostsim/HostSim.h"
#include "stats/StatSchemes.h"
#include "support/Errors.h"
#include "support/Strings.h"

using namespace Quorin;

namespace {

class CharacteristicTextTest : public ::testing::Test {
protected:
  void SetUp() override {
    Host.AddMap(L"M", L"Город");
    Host.AddLayer(L"M", L"L1", L"Кварталы");
    Host.AddTable(L"L1", L"T1", L"Buildings");
    Host.AddField(L"T1", L"F1", L"Floors");
    Host.AddField(L"T1", L"1", L"Этажность");  // a field whose identifier is "1"
    Host.AddTable(L"L1", L"T2", L"Здания");
    Host.AddField(L"T2", L"f2", L"Высота");
    Host.AddTable(L"L1", L"T3", L"Арендаторы");
    Host.AddField(L"T3", L"AREA", L"Площадь, м\u00B2");  // "\u00B2" is not in code page 1251
    App = Host.Application();
    Baseline = Host.LiveObjects();
    Source = new TStatSchemeFillSource;
    Source->AddRef();
    Source->LayerID = "L1";
  }
  void TearDown() override { Source->Release(); }

  std::string Text(const char* Table, const char* Field, bool ClearLog = true) {
    Source->TableID = Table;
    Source->Characteristic = Field;
    if (ClearLog) Host.ClearCallLog();
    return GetCharacteristicText(*Source, App.Get());
  }
  std::string Failure(const char* Table, const char* Field, bool ClearLog = true) {
    try {
      Text(Table, Field, ClearLog);
    } catch (const EOleException& E) {
      EXPECT_EQ(Host.LiveObjects(), Baseline);
      return E.Message();
    }
    ADD_FAILURE() << "no host error";
    return "";
  }

  HostSim::THost Host;
  TComPtr<IOrvexApplication> App;
  long Baseline = 0;
  TStatSchemeFillSource* Source = nullptr;
};

}  // namespace

TEST_F(CharacteristicTextTest, TableAndFieldNamesFromTheHost) {
  EXPECT_EQ(Text("T1", "F1"), "Buildings.Floors");
  EXPECT_EQ(Host.LiveObjects(), Baseline);
  EXPECT_EQ(Host.CallLogText(), (std::vector<std::wstring>{
                                    L"IOrvexApplication.GetDatabase()",
                                    L"IOrvexDatabase.GetTable(\"T1\")",
                                    L"IOrvexTable.GetName()",
                                    L"IOrvexTable.GetFields()",
                                    L"IOrvexFields.GetItem(\"F1\")",
                                    L"IOrvexField.GetName()",
                                }));
  EXPECT_EQ(Text("T2", "f2"), "Здания.Высота");
  // With a table, "1" is an ordinary field identifier.
  EXPECT_EQ(Text("T1", "1"), "Buildings.Этажность");
  // A 1251 table name joined with a field name that 1251 cannot carry reads as both.
  EXPECT_EQ(ToWide(Text("T3", "AREA")), L"Арендаторы.Площадь, м\u00B2");
  EXPECT_EQ(Host.LiveObjects(), Baseline);
}

TEST_F(CharacteristicTextTest, NullNamesAreEmpty) {
  HostSim::TFault Null;
  Null.NullResult = true;
  Host.FailMethod(L"IOrvexTable", L"GetName", Null);
  EXPECT_EQ(Text("T1", "F1"), ".Floors");
  Host.FailMethod(L"IOrvexField", L"GetName", Null);
  EXPECT_EQ(Text("T2", "f2"), "Здания.");
  EXPECT_EQ(Host.LiveObjects(), Baseline);
}

TEST_F(CharacteristicTextTest, GeometricSourcesAskTheHostNothing) {
  Source->TableID = "";
  Source->Characteristic = "2";
  Host.ClearCallLog();
  EXPECT_EQ(GetCharacteristicText(*Source, App.Get()), "Периметр");
  EXPECT_EQ(Host.CallCount(), 0);
}

TEST_F(CharacteristicTextTest, HostFailuresRaiseAndReleaseEverything) {
  // The host's description without its full stop.
  std::string Missing = Failure("T9", "F1");
  EXPECT_FALSE(Missing.empty());
  EXPECT_NE(Missing.back(), '.');
  EXPECT_NE(Missing.find("T9"), std::string::npos) << Missing;
  // Identifiers are exact: a table in another case does not exist.
  EXPECT_FALSE(Failure("t1", "F1").empty());
  EXPECT_FALSE(Failure("T1", "F9").empty());
  // A fault anywhere on the way, by position.
  for (long N = 1; N <= 6; ++N) {
    SCOPED_TRACE(N);
    HostSim::TFault F;
    F.Status = DISP_E_EXCEPTION;
    F.Description = L"Отказ хоста...";
    Host.ClearCallLog();
    Host.FailNthCall(N, F);
    EXPECT_EQ(Failure("T1", "F1", false), "Отказ хоста");
    EXPECT_EQ(static_cast<long>(Host.CallLog().size()), N);
    Host.ClearFaults();
  }
  EXPECT_EQ(Text("T1", "F1"), "Buildings.Floors");
}
