// Fault injection: the N-th call, every call of one method, a call a predicate picks; with a
// status and description or a null result; once or from then on.
#include "HostSimTestUtil.h"

using namespace HostSimTest;

namespace {

constexpr HRESULT HostBusy = static_cast<HRESULT>(0x80040201);

class HostFaults : public HostFixture {
protected:
  void SetUp() override {
    HostFixture::SetUp();
    Db = Database();
  }
  void TearDown() override {
    Db.Reset();
    HostFixture::TearDown();
  }
  // One host call each: GetTable("houses_sem").
  HRESULT CallTable() {
    TBStr Id(L"houses_sem");
    TComPtr<IOrvexTable> T;
    HRESULT Hr = Db->GetTable(Id.Get(), T.Put());
    LastWasNull = !T;
    return Hr;
  }
  HRESULT CallLayer(const wchar_t* Id) {
    TBStr Name(Id);
    TComPtr<IOrvexLayer> L;
    HRESULT Hr = Db->GetLayer(Name.Get(), L.Put());
    LastWasNull = !L;
    return Hr;
  }
  static HostSim::TFault Busy(bool Persistent) {
    HostSim::TFault F;
    F.Status = HostBusy;
    F.Description = L"The database is busy.";
    F.Persistent = Persistent;
    return F;
  }

  TComPtr<IOrvexDatabase> Db;
  bool LastWasNull = false;
};

TEST_F(HostFaults, NthCallFailsOnceWhenTransient) {
  Host.FailNthCall(3, Busy(false));
  EXPECT_EQ(CallTable(), S_OK);
  EXPECT_EQ(CallLayer(L"roads"), S_OK);
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(CallTable(), HostBusy);  // the third call, whatever its method
  EXPECT_TRUE(LastWasNull);
  TErrorText Error = TakeError();
  EXPECT_TRUE(Error.Present);
  EXPECT_EQ(Error.Description, L"The database is busy.");
  EXPECT_EQ(Host.FaultsFired(), 1);
  for (int I = 0; I < 5; ++I) EXPECT_EQ(CallTable(), S_OK);
  EXPECT_EQ(Host.FaultsFired(), 1);
}

TEST_F(HostFaults, NthCallFailsFromThenOnWhenPersistent) {
  // Counting starts when the fault is set, and counts every host call.
  EXPECT_EQ(CallTable(), S_OK);
  Host.FailNthCall(2, Busy(true));
  EXPECT_EQ(CallLayer(L"houses"), S_OK);
  EXPECT_EQ(CallLayer(L"houses"), HostBusy);
  EXPECT_EQ(CallTable(), HostBusy);
  EXPECT_EQ(Db->GetMapObjects(nullptr), HostBusy);  // the fault comes before the pointer check
  EXPECT_EQ(Host.FaultsFired(), 3);
  Host.ClearFaults();
  EXPECT_EQ(CallTable(), S_OK);
}

TEST_F(HostFaults, EveryCallOfOneMethod) {
  Host.FailMethod(L"IOrvexDatabase", L"GetLayer", Busy(true));
  EXPECT_EQ(CallTable(), S_OK);
  EXPECT_EQ(CallLayer(L"houses"), HostBusy);
  EXPECT_EQ(CallLayer(L"roads"), HostBusy);
  EXPECT_EQ(CallTable(), S_OK);
  EXPECT_EQ(Host.FaultsFired(), 2);
  Host.ClearFaults();
  Host.FailMethod(L"IOrvexDatabase", L"GetLayer", Busy(false));
  EXPECT_EQ(CallLayer(L"houses"), HostBusy);
  EXPECT_EQ(CallLayer(L"houses"), S_OK);
  // The same method name on another interface is another method.
  Host.FailMethod(L"IOrvexLayer", L"GetName", Busy(true));
  TBStr Id(L"houses");
  TComPtr<IOrvexLayer> L;
  ASSERT_EQ(Db->GetLayer(Id.Get(), L.Put()), S_OK);
  TComPtr<IOrvexTables> Tables;
  ASSERT_EQ(L->GetTables(Tables.Put()), S_OK);
  TComPtr<IOrvexTable> T;
  ASSERT_EQ(Tables->GetItem(0, T.Put()), S_OK);
  TBStr Name;
  EXPECT_EQ(T->GetName(Name.Put()), S_OK);
  EXPECT_EQ(L->GetName(Name.Put()), HostBusy);
  EXPECT_FALSE(Name.Get());
}

TEST_F(HostFaults, CallsThatAPredicateChooses) {
  Host.FailWhen(
      [](const HostSim::TCall& Call) {
        return Call.Method == L"GetLayer" && Call.Args == L"\"roads\"";
      },
      Busy(false));
  Host.SetCallLogging(false);  // the predicate still sees the arguments
  EXPECT_EQ(CallLayer(L"houses"), S_OK);
  EXPECT_EQ(CallLayer(L"roads"), HostBusy);
  EXPECT_EQ(CallLayer(L"roads"), S_OK);
  EXPECT_EQ(Host.FaultsFired(), 1);
}

TEST_F(HostFaults, SuccessWithANullResult) {
  HostSim::TFault Null;
  Null.NullResult = true;
  Host.FailMethod(L"IOrvexDatabase", L"GetTable", Null);
  EXPECT_EQ(CallTable(), S_OK);
  EXPECT_TRUE(LastWasNull);
  EXPECT_EQ(CallTable(), S_OK);
  EXPECT_FALSE(LastWasNull);
  // On a text result and a method without a result.
  Null.Persistent = true;
  Host.FailMethod(L"IOrvexLayer", L"GetId", Null);
  Host.FailMethod(L"IOrvexMapObjects", L"ApplyChanges", Null);
  TBStr Id(L"houses");
  TComPtr<IOrvexLayer> L;
  ASSERT_EQ(Db->GetLayer(Id.Get(), L.Put()), S_OK);
  TBStr Text;
  EXPECT_EQ(L->GetId(Text.Put()), S_OK);
  EXPECT_FALSE(Text.Get());
  EXPECT_EQ(MapObjects()->ApplyChanges(), S_OK);
  EXPECT_EQ(Host.ApplyChangesCount(), 0);  // answered, not done
  EXPECT_EQ(Host.FaultsFired(), 3);
}

TEST_F(HostFaults, FaultWithoutDescriptionSetsNoErrorInfo) {
  HostSim::TFault Bare;
  Bare.Status = E_ACCESSDENIED;
  Host.FailNthCall(1, Bare);
  EXPECT_EQ(CallTable(), E_ACCESSDENIED);
  EXPECT_FALSE(TakeError().Present);
}

TEST_F(HostFaults, FailedCallsAreCountedAndLogged) {
  Host.ClearCallLog();
  Host.FailNthCall(2, Busy(false));
  EXPECT_EQ(CallLayer(L"houses"), S_OK);
  EXPECT_EQ(CallLayer(L"roads"), HostBusy);
  EXPECT_EQ(Host.CallCount(), 2);
  EXPECT_EQ(Host.CallLogText(), (std::vector<std::wstring>{L"IOrvexDatabase.GetLayer(\"houses\")",
                                                           L"IOrvexDatabase.GetLayer(\"roads\")"}));
}

}  // namespace
