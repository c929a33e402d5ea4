#include <gtest/gtest.h>

#include <string>

#include "stats/StatSchemes.h"
#include "support/Errors.h"

using namespace Quorin;

namespace {

// A source that counts its destructions.
class TTrackedSource : public TStatSchemeFillSource {
public:
  explicit TTrackedSource(int& Destroyed) : FDestroyed(Destroyed) {}

protected:
  ~TTrackedSource() override { ++FDestroyed; }

private:
  int& FDestroyed;
};

// The wizard's way: the creator's reference, the list's reference, the creator lets go.
TStatSchemeFillSource* AddSource(TStatSchemeFillSourceList& List, const std::string& Layer,
                                 const std::string& Table, const std::string& Characteristic,
                                 int32_t Relation = srIntersects) {
  TStatSchemeFillSource* Source = nullptr;
  RefAssign(Source, new TStatSchemeFillSource);
  Source->LayerID = Layer;
  Source->TableID = Table;
  Source->Characteristic = Characteristic;
  Source->Relation = Relation;
  List.Add(Source);
  RefRelease(Source);
  return Source;
}

std::string TextOf(const std::string& Table, const std::string& Characteristic) {
  TRefHolder<TStatSchemeFillSource> S(new TStatSchemeFillSource);
  S->TableID = Table;
  S->Characteristic = Characteristic;
  return GetCharacteristicText(*S.Get(), nullptr);  // no host call for a geometric source
}

}  // namespace

TEST(StatSchemes, FunctionTables) {
  ASSERT_EQ(StatFunctionCount, 5);
  EXPECT_STREQ(StatFunctionNames[sfCount], "Количество");
  EXPECT_STREQ(StatFunctionNames[sfSum], "Сумма");
  EXPECT_STREQ(StatFunctionNames[sfAverage], "Среднее арифметическое");
  EXPECT_STREQ(StatFunctionNames[sfMin], "Минимальное");
  EXPECT_STREQ(StatFunctionNames[sfMax], "Максимальное");
  EXPECT_STREQ(StatFunctionIDs[sfCount], "Count");
  EXPECT_STREQ(StatFunctionIDs[sfSum], "Sum");
  EXPECT_STREQ(StatFunctionIDs[sfAverage], "Average");
  EXPECT_STREQ(StatFunctionIDs[sfMin], "Min");
  EXPECT_STREQ(StatFunctionIDs[sfMax], "Max");
  // The names are code page 1251 text: "К" is 0xCA there.
  EXPECT_EQ(static_cast<unsigned char>(StatFunctionNames[sfCount][0]), 0xCA);
  EXPECT_EQ(sizeof(TStatFunction), 1u);
  EXPECT_EQ(srIntersects | srInside | srContains | srTouches, 15);
}

TEST(StatSchemes, NewObjects) {
  TStatSchemeFieldFill* Scheme = new TStatSchemeFieldFill;
  EXPECT_EQ(Scheme->RefCount(), 0);
  EXPECT_EQ(Scheme->LayerID, "");
  EXPECT_EQ(Scheme->TableID, "");
  EXPECT_EQ(Scheme->FieldName, "");
  EXPECT_EQ(Scheme->StatFunction, sfCount);
  EXPECT_EQ(Scheme->Sources.Count(), 0);
  Scheme->Free();

  TRefHolder<TStatSchemeFillSource> S(new TStatSchemeFillSource);
  EXPECT_EQ(S->LayerID, "");
  EXPECT_EQ(S->TableID, "");
  EXPECT_EQ(S->Characteristic, "");
  EXPECT_EQ(S->Relation, 0);
}

TEST(StatSchemes, AssignCopiesTheFourFields) {
  TRefHolder<TStatSchemeFillSource> A(new TStatSchemeFillSource), B(new TStatSchemeFillSource);
  A->LayerID = "L1";
  A->TableID = "T1";
  A->Characteristic = "Этажи";
  A->Relation = srTouches;
  B->Assign(*A.Get());
  EXPECT_EQ(B->LayerID, "L1");
  EXPECT_EQ(B->TableID, "T1");
  EXPECT_EQ(B->Characteristic, "Этажи");
  EXPECT_EQ(B->Relation, srTouches);
  EXPECT_EQ(B->RefCount(), 1);  // the count is not copied
}

TEST(StatSchemes, SourceLifecycle) {
  int Destroyed = 0;
  TStatSchemeFieldFill* Scheme = new TStatSchemeFieldFill;
  // A source that was never added is destroyed when its creator lets go.
  TStatSchemeFillSource* Lone = nullptr;
  RefAssign(Lone, static_cast<TStatSchemeFillSource*>(new TTrackedSource(Destroyed)));
  RefRelease(Lone);
  EXPECT_EQ(Destroyed, 1);

  TStatSchemeFillSource* Kept[3];
  for (auto& K : Kept) {
    K = nullptr;
    RefAssign(K, static_cast<TStatSchemeFillSource*>(new TTrackedSource(Destroyed)));
    Scheme->Sources.Add(K);
    RefRelease(K);
    EXPECT_EQ(K->RefCount(), 1);
  }
  EXPECT_EQ(Destroyed, 1);
  EXPECT_EQ(Scheme->Sources.Items(2), Kept[2]);
  // Removing a source nothing else references destroys it.
  Scheme->Sources.Remove(Kept[1]);
  EXPECT_EQ(Destroyed, 2);
  // A scheme with references held on it refuses to be destroyed.
  Scheme->AddRef();
  EXPECT_THROW(Scheme->Free(), EInvalidPointer);
  EXPECT_EQ(Destroyed, 2);
  Scheme->Release();  // back to 0: Release destroys the scheme and with it its sources
  EXPECT_EQ(Destroyed, 4);
}

TEST(StatSchemes, DestroyingTheSchemeDestroysItsSources) {
  int Destroyed = 0;
  TStatSchemeFieldFill* Scheme = new TStatSchemeFieldFill;
  for (int I = 0; I < 3; ++I) {
    TStatSchemeFillSource* S = nullptr;
    RefAssign(S, static_cast<TStatSchemeFillSource*>(new TTrackedSource(Destroyed)));
    Scheme->Sources.Add(S);
    RefRelease(S);
  }
  EXPECT_EQ(Destroyed, 0);
  Scheme->Free();
  EXPECT_EQ(Destroyed, 3);
}

TEST(StatSchemes, ItemsOutOfBounds) {
  TStatSchemeFillSourceList L;
  AddSource(L, "L", "", "1");
  try {
    L.Items(1);
    FAIL();
  } catch (const EListError& E) {
    EXPECT_EQ(E.Message(), "List index out of bounds (1)");
  }
  try {
    L.Items(-1);
    FAIL();
  } catch (const EListError& E) {
    EXPECT_EQ(E.Message(), "List index out of bounds (-1)");
  }
}

TEST(StatSchemes, FindDuplicate) {
  TStatSchemeFillSourceList L;
  TStatSchemeFillSource* Floors = AddSource(L, "Layer", "Table", "Floors", srIntersects);
  TStatSchemeFillSource* Area = AddSource(L, "Layer", "", "1", srInside);
  TStatSchemeFillSource* Russian = AddSource(L, "Слой", "Таблица", "Этажи", srTouches);

  TRefHolder<TStatSchemeFillSource> Probe(new TStatSchemeFillSource);
  auto Find = [&](const std::string& Layer, const std::string& Table, const std::string& C,
                  int32_t Relation) {
    Probe->LayerID = Layer;
    Probe->TableID = Table;
    Probe->Characteristic = C;
    Probe->Relation = Relation;
    return L.FindDuplicate(Probe.Get());
  };
  // Only the relation differs: a duplicate.
  EXPECT_EQ(Find("Layer", "Table", "Floors", srContains), Floors);
  EXPECT_EQ(Find("Layer", "", "1", srTouches), Area);
  // The characteristic ignores case, Cyrillic included.
  EXPECT_EQ(Find("Layer", "Table", "FLOORS", srIntersects), Floors);
  EXPECT_EQ(Find("Слой", "Таблица", "ЭТАЖИ", srIntersects), Russian);
  // Layer and table are compared exactly.
  EXPECT_EQ(Find("layer", "Table", "Floors", srIntersects), nullptr);
  EXPECT_EQ(Find("Layer", "table", "Floors", srIntersects), nullptr);
  EXPECT_EQ(Find("СЛОЙ", "Таблица", "Этажи", srTouches), nullptr);
  EXPECT_EQ(Find("Слой", "таблица", "Этажи", srTouches), nullptr);
  // Area and perimeter are different characteristics; a field "1" is not the area.
  EXPECT_EQ(Find("Layer", "", "2", srInside), nullptr);
  EXPECT_EQ(Find("Layer", "Table", "1", srInside), nullptr);

  // Never the argument itself.
  EXPECT_EQ(L.FindDuplicate(Floors), nullptr);
  // The first match wins when the list (wrongly) holds two.
  TStatSchemeFillSource* Second = AddSource(L, "Layer", "Table", "floors");
  EXPECT_EQ(L.FindDuplicate(Second), Floors);
  EXPECT_EQ(L.FindDuplicate(Floors), Second);
}

TEST(StatSchemes, FindDuplicateOnEmptyAndSingleLists) {
  TStatSchemeFillSourceList L;
  TRefHolder<TStatSchemeFillSource> S(new TStatSchemeFillSource);
  EXPECT_EQ(L.FindDuplicate(S.Get()), nullptr);
  L.Add(S.Get());
  EXPECT_EQ(L.FindDuplicate(S.Get()), nullptr);
  // An equal but different object is found.
  TRefHolder<TStatSchemeFillSource> T(new TStatSchemeFillSource);
  EXPECT_EQ(L.FindDuplicate(T.Get()), S.Get());
}

TEST(StatSchemes, GeometricCharacteristicText) {
  EXPECT_EQ(TextOf("", "1"), "Площадь");
  EXPECT_EQ(TextOf("", "2"), "Периметр");
  EXPECT_EQ(TextOf("", ""), "Ошибка: ");  // a new source
  EXPECT_EQ(TextOf("", "02"), "Ошибка: 02");
  EXPECT_EQ(TextOf("", " 2"), "Ошибка:  2");
  EXPECT_EQ(TextOf("", "3"), "Ошибка: 3");
  EXPECT_EQ(TextOf("", "Этажи"), "Ошибка: Этажи");
}
