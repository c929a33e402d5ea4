// Attribute values through IOrvexSemantics: several records per object, reads by table name,
// the pending change set and ApplyChanges.
#include "HostSimTestUtil.h"

using namespace HostSimTest;

namespace {

class HostSemantics : public HostFixture {
protected:
  // GetValue as text ("failed" when the call fails).
  std::wstring Read(const wchar_t* ObjectId, const wchar_t* TableName, const wchar_t* Field,
                    LONG Record) {
    TBStr T(TableName), F(Field);
    VARIANT V;
    VariantInit(&V);
    HRESULT Hr = Semantics(ObjectId)->GetValue(T.Get(), F.Get(), Record, &V);
    if (FAILED(Hr)) return L"failed";
    std::wstring Text = HostSim::TValue(V).ToText();
    VariantClear(&V);
    return Text;
  }
  LONG Records(const wchar_t* ObjectId, const wchar_t* TableName) {
    TBStr T(TableName);
    LONG N = -1;
    EXPECT_EQ(Semantics(ObjectId)->GetRecordCount(T.Get(), &N), S_OK);
    return N;
  }
  HRESULT Write(const wchar_t* ObjectId, const wchar_t* TableName, const wchar_t* Field,
                const VARIANT& Value, LONG Record) {
    TBStr T(TableName), F(Field);
    return Semantics(ObjectId)->SetValue(T.Get(), F.Get(), Value, Record);
  }
};

TEST_F(HostSemantics, RecordsAreReadByTableName) {
  EXPECT_EQ(Records(L"h1", L"Владельцы"), 2);
  EXPECT_EQ(Records(L"h2", L"Владельцы"), 0);
  EXPECT_EQ(Records(L"h1", L"Дома"), 1);
  EXPECT_EQ(Records(L"h3", L"Дома"), 0);
  EXPECT_EQ(Read(L"h1", L"Владельцы", L"OWNER", 0), L"\"Иванов\"");
  EXPECT_EQ(Read(L"h1", L"Владельцы", L"OWNER", 1), L"\"Петров\"");
  EXPECT_EQ(Read(L"h1", L"Дома", L"FLOORS", 0), L"3");
  // A field that the record does not hold is empty; ID was never set.
  EXPECT_EQ(Read(L"h1", L"Дома", L"ID", 0), L"Empty");
}

TEST_F(HostSemantics, WrongTableFieldOrRecordFails) {
  TComPtr<IOrvexSemantics> Sem = Semantics(L"h1");
  TBStr Houses(L"Дома"), TableId(L"houses_sem"), Floors(L"FLOORS"), Bad(L"HEIGHT");
  VARIANT V;
  VariantInit(&V);
  // Tables are named by their name, not their identifier.
  EXPECT_EQ(Sem->GetValue(TableId.Get(), Floors.Get(), 0, &V), E_INVALIDARG);
  EXPECT_EQ(TakeError().Description, L"The layer Дома has no table named houses_sem.");
  LONG N = 0;
  EXPECT_EQ(Sem->GetRecordCount(TableId.Get(), &N), E_INVALIDARG);
  EXPECT_EQ(TakeError().Description, L"The layer Дома has no table named houses_sem.");
  EXPECT_EQ(Sem->GetValue(Houses.Get(), Bad.Get(), 0, &V), E_INVALIDARG);
  EXPECT_EQ(TakeError().Description, L"The table Дома has no field HEIGHT.");
  EXPECT_EQ(Sem->GetValue(Houses.Get(), Floors.Get(), 1, &V), DISP_E_BADINDEX);
  EXPECT_EQ(TakeError().Description,
            L"Record index out of range: 1 (the object h1 has 1 record in the table Дома).");
  EXPECT_EQ(V_VT(&V), VT_EMPTY);
  EXPECT_EQ(Sem->GetValue(Houses.Get(), Floors.Get(), 0, nullptr), E_POINTER);
  EXPECT_TRUE(TakeError().Present);
  EXPECT_EQ(Sem->GetRecordCount(Houses.Get(), nullptr), E_POINTER);
  EXPECT_TRUE(TakeError().Present);
  // A table of another layer is not the object's.
  Host.AddTable(L"roads", L"road_sem", L"Дороги");
  TBStr RoadTable(L"Дороги");
  EXPECT_EQ(Sem->GetRecordCount(RoadTable.Get(), &N), E_INVALIDARG);
  EXPECT_EQ(TakeError().Description, L"The layer Дома has no table named Дороги.");
}

TEST_F(HostSemantics, WritesArePendingUntilApplyChanges) {
  EXPECT_FALSE(Host.HasPendingChanges());
  // A field that the table gained after its records were made is written too.
  Host.AddField(L"houses_sem", L"NOTE", L"Примечание");
  ASSERT_EQ(Write(L"h1", L"Дома", L"NOTE", IntVariant(5), 0), S_OK);
  ASSERT_EQ(Write(L"h1", L"Дома", L"FLOORS", IntVariant(9), 0), S_OK);
  ASSERT_EQ(Write(L"h1", L"Владельцы", L"OWNER", IntVariant(1), 1), S_OK);
  EXPECT_TRUE(Host.HasPendingChanges());
  // Later reads see the pending value, the committed state does not have it yet.
  EXPECT_EQ(Read(L"h1", L"Дома", L"FLOORS", 0), L"9");
  EXPECT_EQ(Read(L"h1", L"Владельцы", L"OWNER", 1), L"1");
  EXPECT_EQ(Read(L"h1", L"Владельцы", L"OWNER", 0), L"\"Иванов\"");
  EXPECT_EQ(Read(L"h1", L"Дома", L"NAME", 0), L"\"Первый\"");
  EXPECT_EQ(Host.Value(L"h1", L"houses_sem", L"FLOORS").ToText(), L"9");
  EXPECT_EQ(Host.CommittedValue(L"h1", L"houses_sem", L"FLOORS").ToText(), L"3");
  EXPECT_EQ(Host.ApplyChangesCount(), 0);

  ASSERT_EQ(MapObjects()->ApplyChanges(), S_OK);
  EXPECT_EQ(Host.ApplyChangesCount(), 1);
  EXPECT_FALSE(Host.HasPendingChanges());
  EXPECT_EQ(Host.CommittedValue(L"h1", L"houses_sem", L"FLOORS").ToText(), L"9");
  EXPECT_EQ(Host.CommittedValue(L"h1", L"owners", L"OWNER", 1).ToText(), L"1");
  EXPECT_EQ(Host.CommittedValue(L"h1", L"owners", L"OWNER", 0).ToText(), L"\"Иванов\"");
  EXPECT_EQ(Host.CommittedValue(L"h1", L"houses_sem", L"NOTE").ToText(), L"5");
  EXPECT_EQ(Read(L"h1", L"Дома", L"NAME", 0), L"\"Первый\"");
  ASSERT_EQ(MapObjects()->ApplyChanges(), S_OK);
  EXPECT_EQ(Host.ApplyChangesCount(), 2);
}

TEST_F(HostSemantics, WritingRecordZeroOfAnObjectWithoutRecordsCreatesIt) {
  EXPECT_EQ(Records(L"h3", L"Дома"), 0);
  // Only record 0 may be added; record 1 of an object without records fails.
  EXPECT_EQ(Write(L"h3", L"Дома", L"FLOORS", IntVariant(2), 1), DISP_E_BADINDEX);
  EXPECT_EQ(TakeError().Description,
            L"Record index out of range: 1 (the object h3 has 0 records in the table Дома); "
            L"only record 0 of an object without records can be added.");
  EXPECT_FALSE(Host.HasPendingChanges());
  ASSERT_EQ(Write(L"h3", L"Дома", L"FLOORS", IntVariant(2), 0), S_OK);
  EXPECT_EQ(Records(L"h3", L"Дома"), 1);
  EXPECT_EQ(Host.RecordCount(L"h3", L"houses_sem"), 1);
  EXPECT_EQ(Host.CommittedRecordCount(L"h3", L"houses_sem"), 0);
  EXPECT_EQ(Read(L"h3", L"Дома", L"FLOORS", 0), L"2");
  EXPECT_EQ(Read(L"h3", L"Дома", L"NAME", 0), L"Empty");
  // A second write goes to the same record, it does not add one.
  ASSERT_EQ(Write(L"h3", L"Дома", L"NAME", IntVariant(1), 0), S_OK);
  EXPECT_EQ(Records(L"h3", L"Дома"), 1);
  // Past the existing records of an object that has some: no new record.
  EXPECT_EQ(Write(L"h1", L"Владельцы", L"OWNER", IntVariant(1), 2), DISP_E_BADINDEX);
  EXPECT_TRUE(TakeError().Present);
  ASSERT_EQ(MapObjects()->ApplyChanges(), S_OK);
  EXPECT_EQ(Host.CommittedRecordCount(L"h3", L"houses_sem"), 1);
  EXPECT_EQ(Host.CommittedValue(L"h3", L"houses_sem", L"FLOORS").ToText(), L"2");
}

TEST_F(HostSemantics, ValuesMustBeAutomationKinds) {
  VARIANT Big;
  VariantInit(&Big);
  V_VT(&Big) = VT_I8;
  V_I8(&Big) = 5;
  EXPECT_EQ(Write(L"h1", L"Дома", L"FLOORS", Big, 0), DISP_E_BADVARTYPE);
  EXPECT_EQ(TakeError().Description, L"Values of variant type 20 cannot be stored in a field.");
  VARIANT Unsigned;
  VariantInit(&Unsigned);
  V_VT(&Unsigned) = VT_UI4;
  V_UI4(&Unsigned) = 5;
  EXPECT_EQ(Write(L"h1", L"Дома", L"FLOORS", Unsigned, 0), DISP_E_BADVARTYPE);
  EXPECT_FALSE(Host.HasPendingChanges());

  // By reference, the value itself is stored.
  double D = 2.5;
  VARIANT Ref;
  VariantInit(&Ref);
  V_VT(&Ref) = VT_R8 | VT_BYREF;
  V_R8REF(&Ref) = &D;
  ASSERT_EQ(Write(L"h1", L"Дома", L"FLOORS", Ref, 0), S_OK);
  D = 7;
  EXPECT_EQ(Read(L"h1", L"Дома", L"FLOORS", 0), L"2.5");
  VARIANT Null;
  VariantInit(&Null);
  V_VT(&Null) = VT_NULL;
  ASSERT_EQ(Write(L"h1", L"Дома", L"NAME", Null, 0), S_OK);
  EXPECT_EQ(Read(L"h1", L"Дома", L"NAME", 0), L"Null");
  VARIANT Empty;
  VariantInit(&Empty);
  ASSERT_EQ(Write(L"h1", L"Дома", L"NAME", Empty, 0), S_OK);
  EXPECT_EQ(Read(L"h1", L"Дома", L"NAME", 0), L"Empty");
}

}  // namespace
