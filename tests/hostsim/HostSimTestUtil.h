// Shared helpers of the host simulator's tests: COM for the whole program, the error
// information a failed call left, and a small model that most tests start from.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "hostsim/HostSim.h"
#include "support/ComPtr.h"
#include "support/Strings.h"

namespace HostSimTest {

using Quorin::TBStr;
using Quorin::TComPtr;

// What the thread's error information says after a failed call (taken, so none stays behind).
struct TErrorText {
  bool Present = false;
  std::wstring Description, Source;
};

inline TErrorText TakeError() {
  TErrorText Result;
  TComPtr<IErrorInfo> Info;
  if (GetErrorInfo(0, Info.Put()) != S_OK || !Info) return Result;
  Result.Present = true;
  TBStr Text;
  if (SUCCEEDED(Info->GetDescription(Text.Put()))) Result.Description = Text.ToWideString();
  if (SUCCEEDED(Info->GetSource(Text.Put()))) Result.Source = Text.ToWideString();
  return Result;
}

// Whether Obj says that it supports error information for interface Iid.
inline bool SupportsErrorInfo(IUnknown* Obj, REFIID Iid) {
  TComPtr<ISupportErrorInfo> Support;
  if (FAILED(Obj->QueryInterface(IID_ISupportErrorInfo, Support.PutVoid())) || !Support)
    return false;
  return Support->InterfaceSupportsErrorInfo(Iid) == S_OK;
}

inline VARIANT TextVariant(BSTR Text) {
  VARIANT V;
  VariantInit(&V);
  V_VT(&V) = VT_BSTR;
  V_BSTR(&V) = Text;  // borrowed: not cleared by the callers
  return V;
}

inline VARIANT IntVariant(long Value) {
  VARIANT V;
  VariantInit(&V);
  V_VT(&V) = VT_I4;
  V_I4(&V) = Value;
  return V;
}

inline std::wstring Text(BSTR S) { return S ? std::wstring(S, SysStringLen(S)) : std::wstring(); }

// The small town most tests start from:
//   map "m1" "Город": layer "houses" "Дома" with table "houses_sem" "Дома" (ID, SIMID, FLOORS
//   "Этажность", NAME "Название") and table "owners" "Владельцы" (OWNER "Владелец");
//   layer "roads" "Дороги" without tables; map "m2" "Пустая" without layers; the catalogue
//   also holds an item of kind 5 between the two maps.
//   houses h1 (square 0..10, 3 floors, two owners), h2 (square 20..30, 5 floors, no owner
//   record), h3 (no records at all); road r1 along y = 15.
inline void BuildTown(HostSim::THost& Host) {
  Host.AddMap(L"m1", L"Город");
  Host.AddCatalogItem(5);
  Host.AddMap(L"m2", L"Пустая");
  Host.AddLayer(L"m1", L"houses", L"Дома");
  Host.AddTable(L"houses", L"houses_sem", L"Дома");
  Host.AddField(L"houses_sem", L"FLOORS", L"Этажность");
  Host.AddField(L"houses_sem", L"NAME", L"Название");
  Host.AddTable(L"houses", L"owners", L"Владельцы", false);
  Host.AddField(L"owners", L"OWNER", L"Владелец");
  Host.AddLayer(L"m1", L"roads", L"Дороги");
  Host.AddObject(L"houses", L"h1", L"POLYGON((0 0,10 0,10 10,0 10,0 0))");
  Host.AddObject(L"houses", L"h2", L"POLYGON((20 0,30 0,30 10,20 10,20 0))");
  Host.AddObject(L"houses", L"h3", L"POLYGON((40 0,50 0,50 10,40 10,40 0))");
  Host.AddObject(L"roads", L"r1", L"LINESTRING(-5 15,60 15)");
  Host.AddRecord(L"h1", L"houses_sem", {{L"FLOORS", 3}, {L"NAME", L"Первый"}});
  Host.AddRecord(L"h1", L"owners", {{L"OWNER", L"Иванов"}});
  Host.AddRecord(L"h1", L"owners", {{L"OWNER", L"Петров"}});
  Host.AddRecord(L"h2", L"houses_sem", {{L"FLOORS", 5}, {L"NAME", L"Второй"}});
}

// A test whose host must have no live object left when it ends.
class HostFixture : public ::testing::Test {
protected:
  void SetUp() override { BuildTown(Host); }
  void TearDown() override {
    EXPECT_EQ(Host.LiveObjects(), 0) << "a host object was not released";
  }

  TComPtr<IOrvexDatabase> Database() {
    TComPtr<IOrvexApplication> App = Host.Application();
    TComPtr<IOrvexDatabase> Db;
    EXPECT_EQ(App->GetDatabase(Db.Put()), S_OK);
    return Db;
  }
  TComPtr<IOrvexMapObjects> MapObjects() {
    TComPtr<IOrvexMapObjects> Objects;
    EXPECT_EQ(Database()->GetMapObjects(Objects.Put()), S_OK);
    return Objects;
  }
  TComPtr<IOrvexMapObject> Object(const wchar_t* Id) {
    TComPtr<IOrvexMapObject> Obj;
    TBStr Name(Id);
    EXPECT_EQ(MapObjects()->GetObject(Name.Get(), Obj.Put()), S_OK);
    return Obj;
  }
  TComPtr<IOrvexSemantics> Semantics(const wchar_t* Id) {
    TComPtr<IOrvexSemantics> Sem;
    EXPECT_EQ(Object(Id)->GetSemantics(Sem.Put()), S_OK);
    return Sem;
  }

  HostSim::THost Host;
};

}  // namespace HostSimTest
