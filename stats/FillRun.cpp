#include "stats/FillRun.h"

#include "support/Errors.h"

namespace Quorin {

namespace {

const char FillCaption[] = "Заполняемые объекты:";
const char SourceCaption[] = "Исходные объекты:";

// The name of a table as the host gives it, kept wide for the calls that take it back; a null
// name is the empty string and goes back as one.
TBStr TableNameOf(IOrvexTable* Table) {
  TBStr Name;
  OX_CALL(Table, GetName, Name.Put());
  if (!Name.Get()) Name = TBStr(L"");
  return Name;
}

TComPtr<IOrvexTable> TableOf(IOrvexApplication* App, const TBStr& TableId) {
  TComPtr<IOrvexDatabase> Database = OX_INTF(IOrvexDatabase, App, GetDatabase);
  return OX_INTF(IOrvexTable, Database, GetTable, TableId.Get());
}

}  // namespace

// ---- TStatAccumulator --------------------------------------------------------------------

void TStatAccumulator::Reset() {
  ValueCount = 0;
  switch (StatFunction) {
    case sfSum:
    case sfAverage: Value = TVariant::UInt8(0); break;
    case sfMin:
    case sfMax: Value.Clear(); break;
    case sfCount: break;
  }
}

void TStatAccumulator::Add(const VARIANT& V) {
  if (IsNullVar(V)) return;
  switch (StatFunction) {
    case sfCount:
      ++ValueCount;
      break;
    case sfSum:
    case sfAverage:
      if (IsNumericKind(V_VT(&V))) AddVar(Value, V);
      ++ValueCount;
      break;
    case sfMin:
    case sfMax:
      if (IsEmptyVar(V)) break;
      if (IsEmptyVar(Value.Ref())) {
        Value = TVariant(V);
      } else {
        const int Order = CompareVar(V, Value.Ref());
        if (StatFunction == sfMin ? Order < 0 : Order > 0) Value = TVariant(V);
      }
      break;
  }
}

void TStatAccumulator::Finish() {
  switch (StatFunction) {
    case sfCount: Value = TVariant::Int32(ValueCount); break;
    case sfAverage:
      if (ValueCount > 0) Value = DivideVar(Value.Ref(), ValueCount);
      break;
    case sfSum:
    case sfMin:
    case sfMax: break;
  }
}

// ---- the run -----------------------------------------------------------------------------

void CollectObjectIds(IOrvexObjectQuery* Query, std::vector<std::string>& List) {
  while (!OX_VAL(VARIANT_BOOL, Query, GetEof)) {
    List.push_back(OX_STR(Query, GetObjectId));
    OX_CALL(Query, MoveNext);
  }
}

TFillRun::TFillRun(IOrvexApplication* App, const TStatSchemeFieldFill& Scheme,
                   TProgress& FillProgress, TProgress& SourceProgress)
    : FApp(App),
      FFillProgress(FillProgress),
      FSourceProgress(SourceProgress),
      FStatFunction(Scheme.StatFunction),
      FTargetLayers(TVariant::Text(Scheme.LayerID)),
      FTargetTableId(Scheme.TableID),
      FTargetField(Scheme.FieldName) {
  const int N = Scheme.Sources.Count();
  FSources.reserve(static_cast<size_t>(N));
  for (int I = 0; I < N; ++I) {
    const TStatSchemeFillSource& S = *Scheme.Sources.Items(I);
    TGather Gather = gaNone;
    if (!S.TableID.empty()) Gather = gaTable;
    else if (S.Characteristic == AreaCharacteristic) Gather = gaArea;
    else if (S.Characteristic == PerimeterCharacteristic) Gather = gaPerimeter;
    FSources.push_back(TSource{TBStr(S.TableID), TBStr(S.Characteristic),
                               TVariant::Text(S.LayerID), static_cast<LONG>(S.Relation), Gather});
  }
  TComPtr<IOrvexDatabase> Database = OX_INTF(IOrvexDatabase, FApp, GetDatabase);
  FMapObjects = OX_INTF(IOrvexMapObjects, Database, GetMapObjects);
}

void TFillRun::Run() {
  std::vector<std::string> TargetIds;
  {
    TComPtr<IOrvexObjectQuery> Query =
        OX_INTF(IOrvexObjectQuery, FMapObjects, QueryByLayers, FTargetLayers.Ref());
    CollectObjectIds(Query.Get(), TargetIds);
  }
  FFillProgress.Start(FillCaption, static_cast<int32_t>(TargetIds.size()));
  for (const std::string& TargetId : TargetIds) {
    FillObject(TargetId);
    FFillProgress.Step();
  }
  OX_CALL(FMapObjects, ApplyChanges);
}

void TFillRun::FillObject(const std::string& TargetId) {
  TStatAccumulator Accumulator(FStatFunction);
  Accumulator.Reset();
  const TBStr TargetIdW(TargetId);
  for (const TSource& Source : FSources) {
    FSourceIds.clear();
    {
      TComPtr<IOrvexObjectQuery> Query =
          OX_INTF(IOrvexObjectQuery, FMapObjects, QueryByRelation, Source.Layers.Ref(),
                  TargetIdW.Get(), Source.Relation, Source.Relation);
      CollectObjectIds(Query.Get(), FSourceIds);
    }
    FSourceProgress.Start(SourceCaption, static_cast<int32_t>(FSourceIds.size()));
    TComPtr<IOrvexTable> Table;
    if (Source.Gather == gaTable) Table = TableOf(FApp.Get(), Source.TableId);
    for (const std::string& SourceId : FSourceIds) {
      const TBStr SourceIdW(SourceId);
      TComPtr<IOrvexMapObject> Object =
          OX_INTF(IOrvexMapObject, FMapObjects, GetObject, SourceIdW.Get());
      switch (Source.Gather) {
        case gaTable: GatherTable(Object.Get(), Table.Get(), Source, Accumulator); break;
        case gaArea: {
          TVariant Area = TVariant::RealZero();
          OX_CALL(Object, GetArea, Area.RealSlot());
          Accumulator.Add(Area.Ref());
          break;
        }
        case gaPerimeter: GatherPerimeter(Object.Get(), Accumulator); break;
        case gaNone: break;
      }
      FSourceProgress.Step();
    }
  }
  Accumulator.Finish();
  const TVariant Result = ToAutomationVar(Accumulator.Value.Ref());

  TComPtr<IOrvexTable> Table = TableOf(FApp.Get(), FTargetTableId);
  const TBStr TableName = TableNameOf(Table.Get());
  TComPtr<IOrvexMapObject> Target =
      OX_INTF(IOrvexMapObject, FMapObjects, GetObject, TargetIdW.Get());
  TComPtr<IOrvexSemantics> Semantics = OX_INTF(IOrvexSemantics, Target, GetSemantics);
  OX_CALL(Semantics, SetValue, TableName.Get(), FTargetField.Get(), Result.Ref(), 0);
}

void TFillRun::GatherTable(IOrvexMapObject* Object, IOrvexTable* Table, const TSource& Source,
                           TStatAccumulator& Accumulator) {
  TComPtr<IOrvexSemantics> Semantics = OX_INTF(IOrvexSemantics, Object, GetSemantics);
  const TBStr TableName = TableNameOf(Table);
  const LONG Records = OX_VAL(LONG, Semantics, GetRecordCount, TableName.Get());
  TVariant Value;
  for (LONG K = 0; K < Records; ++K) {
    OX_CALL(Semantics, GetValue, TableName.Get(), Source.Characteristic.Get(), K, Value.Put());
    if (V_VT(&Value.Ref()) & VT_BYREF) Accumulator.Add(DerefVar(Value.Ref()).Ref());
    else Accumulator.Add(Value.Ref());
  }
}

void TFillRun::GatherPerimeter(IOrvexMapObject* Object, TStatAccumulator& Accumulator) {
  // Doubles are added as variants: the module computes in floating point only there.
  TVariant Perimeter = TVariant::RealZero();
  TComPtr<IOrvexShapes> Shapes = OX_INTF(IOrvexShapes, Object, GetShapes);
  const LONG Count = OX_VAL(LONG, Shapes, GetCount);
  for (LONG M = 0; M < Count; ++M) {
    TComPtr<IOrvexShape> Shape = OX_INTF(IOrvexShape, Shapes, GetItem, M);
    TComPtr<IOrvexStyle> Style = OX_INTF(IOrvexStyle, Shape, GetStyle);
    if (OX_VAL(LONG, Style, GetFlags) & 1) {
      TComPtr<IOrvexContour> Contour = OX_INTF(IOrvexContour, Shape, GetContour);
      TVariant Part = TVariant::RealZero();  // 0 when the host writes nothing
      OX_CALL(Contour, GetPerimeter, Part.RealSlot());
      AddVar(Perimeter, Part.Ref());
    }
  }
  Accumulator.Add(Perimeter.Ref());
}

void RunFill(IOrvexApplication* App, const TStatSchemeFieldFill& Scheme, TProgress& FillProgress,
             TProgress& SourceProgress) {
  TFillRun Run(App, Scheme, FillProgress, SourceProgress);
  Run.Run();
}

}  // namespace Quorin
