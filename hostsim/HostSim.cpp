#include "hostsim/HostSim.h"

#include <stdexcept>

#include "hostsim/HostSimModel.h"
#include "hostsim/HostSimObjects.h"

namespace HostSim {

namespace {

[[noreturn]] void Misuse(const char* What, const std::wstring& Id) {
  std::string Text = What;
  Text += ": ";
  for (wchar_t C : Id) Text += C < 0x80 ? static_cast<char>(C) : '?';
  throw std::invalid_argument(Text);
}

template <class T>
T* Find(const std::unordered_map<std::wstring, T*>& Index, const std::wstring& Id,
        const char* What) {
  auto It = Index.find(Id);
  if (It == Index.end()) Misuse(What, Id);
  return It->second;
}

TObjectData* Find(const TObjectIndex& Index, const std::wstring& Id, const char* What) {
  TObjectData* Object = Index.Find(Id);
  if (!Object) Misuse(What, Id);
  return Object;
}

}  // namespace

// ---- TValue -----------------------------------------------------------------------------

TValue::TValue(int V) {
  VariantInit(&FValue);
  V_VT(&FValue) = VT_I4;
  V_I4(&FValue) = V;
}

TValue::TValue(double V) {
  VariantInit(&FValue);
  V_VT(&FValue) = VT_R8;
  V_R8(&FValue) = V;
}

TValue::TValue(const wchar_t* V) : TValue(std::wstring(V ? V : L"")) {}

TValue::TValue(const std::wstring& V) {
  VariantInit(&FValue);
  BSTR S = SysAllocStringLen(V.data(), static_cast<UINT>(V.size()));
  if (!S) throw std::bad_alloc();
  V_VT(&FValue) = VT_BSTR;
  V_BSTR(&FValue) = S;
}

TValue::TValue(const VARIANT& V) {
  VariantInit(&FValue);
  if (FAILED(CopyVariant(&FValue, &V))) throw std::invalid_argument("uncopyable VARIANT");
}

TValue TValue::Null() {
  TValue V;
  V_VT(&V.FValue) = VT_NULL;
  return V;
}

TValue TValue::Bool(bool B) {
  TValue V;
  V_VT(&V.FValue) = VT_BOOL;
  V_BOOL(&V.FValue) = B ? VARIANT_TRUE : VARIANT_FALSE;
  return V;
}

TValue::TValue(const TValue& Other) {
  VariantInit(&FValue);
  if (FAILED(CopyVariant(&FValue, &Other.FValue))) throw std::bad_alloc();
}

TValue& TValue::operator=(const TValue& Other) {
  if (this != &Other && FAILED(CopyVariant(&FValue, &Other.FValue))) throw std::bad_alloc();
  return *this;
}

bool TValue::SameAs(const TValue& Other) const {
  const VARIANT& A = FValue;
  const VARIANT& B = Other.FValue;
  if (V_VT(&A) != V_VT(&B)) return false;
  switch (V_VT(&A)) {
    case VT_EMPTY: case VT_NULL: return true;
    case VT_I2: return V_I2(&A) == V_I2(&B);
    case VT_I4: return V_I4(&A) == V_I4(&B);
    case VT_UI1: return V_UI1(&A) == V_UI1(&B);
    case VT_R4: return V_R4(&A) == V_R4(&B);
    case VT_R8: case VT_DATE: return V_R8(&A) == V_R8(&B);
    case VT_CY: return V_CY(&A).int64 == V_CY(&B).int64;
    case VT_BOOL: return (V_BOOL(&A) != 0) == (V_BOOL(&B) != 0);
    case VT_BSTR:
      return SysStringLen(V_BSTR(&A)) == SysStringLen(V_BSTR(&B)) &&
             TextOf(V_BSTR(&A)) == TextOf(V_BSTR(&B));
    default:
      return VarCmp(const_cast<VARIANT*>(&A), const_cast<VARIANT*>(&B), LOCALE_INVARIANT, 0) ==
             static_cast<HRESULT>(VARCMP_EQ);
  }
}

std::wstring TValue::ToText() const { return ValueText(FValue); }

std::wstring FormatCall(const TCall& Call) {
  return Call.Interface + L"." + Call.Method + L"(" + Call.Args + L")";
}

// ---- THost ------------------------------------------------------------------------------

THost::THost() : FImpl(std::make_unique<TImpl>()) {}
THost::~THost() { CloseMainWindow(); }

void THost::AddMap(const std::wstring& Id, const std::wstring& Name) {
  TModel& M = *FImpl->Model;
  if (M.MapById.count(Id)) Misuse("duplicate map identifier", Id);
  M.Maps.push_back(std::make_unique<TMapData>());
  TMapData* Map = M.Maps.back().get();
  Map->Id = Id;
  Map->Name = Name;
  M.MapById.emplace(Id, Map);
  M.Catalog.push_back(TCatalogItem{2, Map, false});
}

void THost::AddCatalogItem(long Kind) { FImpl->Model->Catalog.push_back(TCatalogItem{Kind, nullptr, false}); }

void THost::AddBrokenMapItem() { FImpl->Model->Catalog.push_back(TCatalogItem{2, nullptr, true}); }

void THost::AddLayer(const std::wstring& MapId, const std::wstring& Id, const std::wstring& Name) {
  TModel& M = *FImpl->Model;
  TMapData* Map = Find(M.MapById, MapId, "unknown map");
  if (M.LayerById.count(Id)) Misuse("duplicate layer identifier", Id);
  M.Layers.push_back(std::make_unique<TLayerData>());
  TLayerData* Layer = M.Layers.back().get();
  Layer->Id = Id;
  Layer->Name = Name;
  Layer->Map = Map;
  Map->Layers.push_back(Layer);
  M.LayerById.emplace(Id, Layer);
}

void THost::ShowLayer(const std::wstring& MapId, const std::wstring& LayerId) {
  TModel& M = *FImpl->Model;
  TMapData* Map = Find(M.MapById, MapId, "unknown map");
  TLayerData* Layer = Find(M.LayerById, LayerId, "unknown layer");
  for (const TLayerData* Shown : Map->Layers)
    if (Shown == Layer) Misuse("layer already in the map", LayerId);
  Map->Layers.push_back(Layer);
}

void THost::AddTable(const std::wstring& LayerId, const std::wstring& Id, const std::wstring& Name,
                     bool WithIdFields) {
  TModel& M = *FImpl->Model;
  TLayerData* Layer = Find(M.LayerById, LayerId, "unknown layer");
  if (M.TableById.count(Id)) Misuse("duplicate table identifier", Id);
  M.Tables.push_back(std::make_unique<TTableData>());
  TTableData* Table = M.Tables.back().get();
  Table->Id = Id;
  Table->Name = Name;
  Table->Layer = Layer;
  if (WithIdFields) Table->Fields = {{L"ID", L"ID"}, {L"SIMID", L"SIMID"}};
  Layer->Tables.push_back(Table);
  M.TableById.emplace(Id, Table);
}

void THost::AddField(const std::wstring& TableId, const std::wstring& Id, const std::wstring& Name) {
  TTableData* Table = Find(FImpl->Model->TableById, TableId, "unknown table");
  if (Table->FieldIndex(Id.data(), Id.size()) >= 0) Misuse("duplicate field identifier", Id);
  Table->Fields.push_back({Id, Name});
}

void THost::AddObject(const std::wstring& LayerId, const std::wstring& Id, const std::wstring& Wkt,
                      long StyleFlags) {
  TModel& M = *FImpl->Model;
  TLayerData* Layer = Find(M.LayerById, LayerId, "unknown layer");
  if (M.ObjectById.Find(Id)) Misuse("duplicate object identifier", Id);
  std::vector<TGeometryPtr> Shapes;
  if (!Wkt.empty()) Shapes = ParseWkt(Wkt);  // before the object exists: a bad WKT adds nothing
  M.AddShapes(M.NewObject(*Layer, Id), std::move(Shapes), StyleFlags);
}

void THost::AddShape(const std::wstring& ObjectId, const std::wstring& Wkt, long StyleFlags) {
  TModel& M = *FImpl->Model;
  TObjectData* Object = Find(M.ObjectById, ObjectId, "unknown object");
  M.AddShapes(*Object, ParseWkt(Wkt), StyleFlags);
}

void THost::SetObjectArea(const std::wstring& ObjectId, double Area) {
  Find(FImpl->Model->ObjectById, ObjectId, "unknown object")->Area = Area;
}

void THost::SetShapePerimeter(const std::wstring& ObjectId, long Shape, double Perimeter) {
  TObjectData* Object = Find(FImpl->Model->ObjectById, ObjectId, "unknown object");
  if (Shape < 0 || static_cast<size_t>(Shape) >= Object->Shapes.size())
    Misuse("no such shape", ObjectId);
  Object->Shapes[static_cast<size_t>(Shape)].Length = Perimeter;
}

void THost::AddRecord(const std::wstring& ObjectId, const std::wstring& TableId,
                      const std::vector<std::pair<std::wstring, TValue>>& Values) {
  TModel& M = *FImpl->Model;
  TObjectData* Object = Find(M.ObjectById, ObjectId, "unknown object");
  TTableData* Table = Find(M.TableById, TableId, "unknown table");
  if (Table->Layer != Object->Layer) Misuse("the table is not one of the object's layer", TableId);
  TRow Row(Table->Fields.size());
  for (const auto& Value : Values) {
    long Field = Table->FieldIndex(Value.first.data(), Value.first.size());
    if (Field < 0) Misuse("unknown field", Value.first);
    Row[static_cast<size_t>(Field)] = Value.second;
  }
  Object->Records.Append(Table, Row);
}

void THost::SetProjectPresent(bool Present) { FImpl->Model->ProjectPresent = Present; }
void THost::SetActiveViewPresent(bool Present) { FImpl->Model->ActiveViewPresent = Present; }

void THost::SetActiveLayer(const std::wstring& LayerId) {
  TModel& M = *FImpl->Model;
  M.ActiveLayer = LayerId.empty() ? nullptr : Find(M.LayerById, LayerId, "unknown layer");
}

void THost::SetMainWindow(HWND Window) { FImpl->Model->MainWindow = Window; }
void THost::SetSpatialIndex(bool On) { FImpl->Model->SpatialIndex = On; }
void THost::SetRealHostMode(bool On) { FImpl->Model->RealHost = On; }
void THost::ExpectFpuControl(uint16_t X87, uint32_t Mxcsr) {
  FImpl->Model->FpuCheck = true;
  FImpl->Model->FpuX87 = X87;
  FImpl->Model->FpuMxcsr = Mxcsr & ~0x3Fu;
}
long THost::FpuRuns(TFpuRoad Road) const { return FImpl->Model->FpuRuns[Road]; }
long THost::FpuMismatches(TFpuRoad Road) const { return FImpl->Model->FpuMismatches[Road]; }
long THost::CallsUnderOtherFpuControl() const {
  long N = 0;
  for (long Mismatches : FImpl->Model->FpuMismatches) N += Mismatches;
  return N;
}

IOrvexApplication* THost::NewApplication() { return NewApplicationObject(FImpl->Model); }

Quorin::TComPtr<IOrvexApplication> THost::Application() {
  return Quorin::TComPtr<IOrvexApplication>::Adopt(NewApplication());
}

HRESULT THost::TypeLibraryStatus() const { return FImpl->Model->TypeLibStatus(); }

// ---- reading back -----------------------------------------------------------------------

TValue THost::Value(const std::wstring& ObjectId, const std::wstring& TableId,
                    const std::wstring& FieldId, long Record) const {
  TModel& M = *FImpl->Model;
  TObjectData* Object = Find(M.ObjectById, ObjectId, "unknown object");
  TTableData* Table = Find(M.TableById, TableId, "unknown table");
  long Field = Table->FieldIndex(FieldId.data(), FieldId.size());
  if (Field < 0) Misuse("unknown field", FieldId);
  const TValue* Held = Record < 0 ? nullptr
                                  : M.CurrentValue(*Object, *Table, static_cast<size_t>(Record),
                                                   static_cast<size_t>(Field));
  return Held ? *Held : TValue();
}

TValue THost::CommittedValue(const std::wstring& ObjectId, const std::wstring& TableId,
                             const std::wstring& FieldId, long Record) const {
  TModel& M = *FImpl->Model;
  TObjectData* Object = Find(M.ObjectById, ObjectId, "unknown object");
  TTableData* Table = Find(M.TableById, TableId, "unknown table");
  long Field = Table->FieldIndex(FieldId.data(), FieldId.size());
  if (Field < 0) Misuse("unknown field", FieldId);
  const TValue* Held = Record < 0 ? nullptr
                                  : Object->Records.Value(Table, static_cast<size_t>(Record),
                                                          static_cast<size_t>(Field));
  return Held ? *Held : TValue();
}

long THost::RecordCount(const std::wstring& ObjectId, const std::wstring& TableId) const {
  TModel& M = *FImpl->Model;
  return static_cast<long>(M.CurrentRecordCount(*Find(M.ObjectById, ObjectId, "unknown object"),
                                                *Find(M.TableById, TableId, "unknown table")));
}

long THost::CommittedRecordCount(const std::wstring& ObjectId, const std::wstring& TableId) const {
  TModel& M = *FImpl->Model;
  return static_cast<long>(Find(M.ObjectById, ObjectId, "unknown object")
                               ->Records.Count(Find(M.TableById, TableId, "unknown table")));
}

std::vector<std::wstring> THost::ObjectIds(const std::wstring& LayerId) const {
  std::vector<std::wstring> Ids;
  for (const TObjectData* Object : Find(FImpl->Model->LayerById, LayerId, "unknown layer")->Objects)
    Ids.push_back(Object->Id);
  return Ids;
}

int THost::ApplyChangesCount() const { return FImpl->Model->ApplyCount; }
bool THost::HasPendingChanges() const { return FImpl->Model->HasPendingChanges(); }

std::vector<std::wstring> THost::MapIds() const {
  std::vector<std::wstring> Ids;
  for (const auto& Map : FImpl->Model->Maps) Ids.push_back(Map->Id);
  return Ids;
}

std::vector<std::wstring> THost::LayerIds(const std::wstring& MapId) const {
  std::vector<std::wstring> Ids;
  for (const TLayerData* Layer : Find(FImpl->Model->MapById, MapId, "unknown map")->Layers)
    Ids.push_back(Layer->Id);
  return Ids;
}

std::vector<std::wstring> THost::TableIds(const std::wstring& LayerId) const {
  std::vector<std::wstring> Ids;
  for (const TTableData* Table : Find(FImpl->Model->LayerById, LayerId, "unknown layer")->Tables)
    Ids.push_back(Table->Id);
  return Ids;
}

std::vector<std::wstring> THost::FieldIds(const std::wstring& TableId) const {
  std::vector<std::wstring> Ids;
  for (const TFieldData& Field : Find(FImpl->Model->TableById, TableId, "unknown table")->Fields)
    Ids.push_back(Field.Id);
  return Ids;
}

long THost::ObjectCount() const { return static_cast<long>(FImpl->Model->Objects.Size()); }

long THost::ObjectCount(const std::wstring& LayerId) const {
  return static_cast<long>(Find(FImpl->Model->LayerById, LayerId, "unknown layer")->Objects.size());
}

std::vector<std::wstring> THost::ShapeWkts(const std::wstring& ObjectId) const {
  std::vector<std::wstring> Wkts;
  for (const TShapeData& Shape : Find(FImpl->Model->ObjectById, ObjectId, "unknown object")->Shapes)
    Wkts.push_back(ToWkt(Shape));
  return Wkts;
}

void THost::VisitLayerShapes(
    const std::wstring& LayerId,
    const std::function<void(size_t Object, int Kind, const TRings& Rings)>& Visit) const {
  const TLayerData* Layer = Find(FImpl->Model->LayerById, LayerId, "unknown layer");
  for (size_t I = 0; I < Layer->Objects.size(); ++I)
    for (const TShapeData& Shape : Layer->Objects[I]->Shapes)
      Visit(I, static_cast<int>(Shape.Kind), Coordinates(Shape));
}

void THost::VisitLayerValues(
    const std::wstring& LayerId, const std::wstring& TableId, const std::wstring& FieldId,
    const std::function<void(size_t Object, const VARIANT& Value)>& Visit) const {
  TModel& M = *FImpl->Model;
  const TLayerData* Layer = Find(M.LayerById, LayerId, "unknown layer");
  TTableData* Table = Find(M.TableById, TableId, "unknown table");
  long Field = Table->FieldIndex(FieldId.data(), FieldId.size());
  if (Field < 0) Misuse("unknown field", FieldId);
  const TValue Empty;
  for (size_t I = 0; I < Layer->Objects.size(); ++I) {
    const TValue* Held = M.CurrentValue(*Layer->Objects[I], *Table, 0, static_cast<size_t>(Field));
    Visit(I, (Held ? *Held : Empty).Ref());
  }
}

double THost::ObjectArea(const std::wstring& ObjectId) const {
  return Find(FImpl->Model->ObjectById, ObjectId, "unknown object")->Area;
}

double THost::ObjectPerimeter(const std::wstring& ObjectId) const {
  double Perimeter = 0;
  for (const TShapeData& Shape : Find(FImpl->Model->ObjectById, ObjectId, "unknown object")->Shapes)
    if (Shape.Flags & 1) Perimeter += Shape.Length;
  return Perimeter;
}

std::vector<std::wstring> THost::RelatedIds(const std::wstring& LayerId,
                                            const std::wstring& TargetId, long Relation) const {
  TModel& M = *FImpl->Model;
  std::vector<std::wstring> Ids;
  for (const TObjectData* Object :
       QueryRelated(*Find(M.LayerById, LayerId, "unknown layer"),
                    *Find(M.ObjectById, TargetId, "unknown object"), Relation, M.SpatialIndex))
    Ids.push_back(Object->Id);
  return Ids;
}

std::wstring THost::DumpState() const {
  const TModel& M = *FImpl->Model;
  std::wstring Out;
  auto Line = [&Out](const std::wstring& Text) {
    Out += Text;
    Out += L'\n';
  };
  auto Quote = [](const std::wstring& Text) { return L"\"" + Text + L"\""; };
  Line(std::wstring(L"project=") + (M.ProjectPresent ? L"yes" : L"no") + L" view=" +
       (M.ActiveViewPresent ? L"yes" : L"no") + L" active layer=" +
       (M.ActiveLayer ? M.ActiveLayer->Id : L"none"));
  for (const TCatalogItem& Item : M.Catalog) {
    if (Item.Map)
      Line(L"map " + Item.Map->Id + L" " + Quote(Item.Map->Name));
    else
      Line(L"item kind=" + std::to_wstring(Item.Kind) + (Item.RefusesMap ? L" refuses the map" : L""));
    if (!Item.Map) continue;
    for (const TLayerData* Layer : Item.Map->Layers) {
      Line(L" layer " + Layer->Id + L" " + Quote(Layer->Name));
      for (const TTableData* Table : Layer->Tables) {
        Line(L"  table " + Table->Id + L" " + Quote(Table->Name));
        for (const TFieldData& Field : Table->Fields) Line(L"   field " + Field.Id + L" " + Quote(Field.Name));
      }
    }
  }
  for (const auto& Layer : M.Layers) {
    for (const TObjectData* Object : Layer->Objects) {
      Line(L"object " + Object->Id + L" layer=" + Layer->Id);
      for (const TShapeData& Shape : Object->Shapes)
        Line(L" shape " + ToWkt(Shape) + L" flags=" + std::to_wstring(Shape.Flags));
      for (const TTableData* Table : Layer->Tables) {
        const size_t Count = M.CurrentRecordCount(*Object, *Table);
        for (size_t R = 0; R < Count; ++R) {
          std::wstring Text = L" record " + Table->Id + L"#" + std::to_wstring(R) + L":";
          for (size_t F = 0; F < Table->Fields.size(); ++F) {
            const TValue* Held = M.CurrentValue(*Object, *Table, R, F);
            if (!Held || Held->Type() == VT_EMPTY) continue;
            Text += L" " + Table->Fields[F].Id + L"=" + Held->ToText();
          }
          Line(Text);
        }
      }
    }
  }
  return Out;
}

// ---- instrumentation --------------------------------------------------------------------

long THost::LiveObjects() const { return FImpl->Model->LiveTotal; }

long THost::LiveObjects(const std::wstring& Interface) const {
  for (int I = 0; I < IntfCount; ++I)
    if (Interface == IntfName(static_cast<TIntf>(I))) return FImpl->Model->Live[I];
  Misuse("unknown host interface", Interface);
}

long THost::CallCount() const { return FImpl->Model->Calls; }
const std::vector<TCall>& THost::CallLog() const { return FImpl->Model->Log; }

std::vector<std::wstring> THost::CallLogText() const {
  std::vector<std::wstring> Lines;
  Lines.reserve(FImpl->Model->Log.size());
  for (const TCall& Call : FImpl->Model->Log) Lines.push_back(FormatCall(Call));
  return Lines;
}

void THost::ClearCallLog() {
  FImpl->Model->Log.clear();
  FImpl->Model->Calls = 0;
}

void THost::SetCallLogging(bool On) { FImpl->Model->Logging = On; }

void THost::SetCallSink(std::function<void(const TCall&)> Sink) { FImpl->Model->Sink = std::move(Sink); }

long THost::WriteCount() const { return FImpl->Model->Writes; }

THost::TWriteTarget THost::LastWrite() const {
  const TModel& M = *FImpl->Model;
  if (!M.LastWriteObject) return TWriteTarget();
  return TWriteTarget{M.LastWriteObject->Layer->Id, M.LastWriteTable->Id,
                      M.LastWriteTable->Fields[M.LastWriteField].Id};
}

void THost::SetCallTiming(bool On) {
  TModel& M = *FImpl->Model;
  M.Timing = On;
  M.CallTicks = 0;
  LARGE_INTEGER Q;
  QueryPerformanceCounter(&Q);
  M.TimingSinceQpc = Q.QuadPart;
  M.TimingSinceTsc = TModel::TicksNow();
}

double THost::CallSeconds() const {
  const TModel& M = *FImpl->Model;
  LARGE_INTEGER F, Q;
  QueryPerformanceFrequency(&F);
  QueryPerformanceCounter(&Q);
  const double Seconds = static_cast<double>(Q.QuadPart - M.TimingSinceQpc) / F.QuadPart;
  const double Ticks = static_cast<double>(TModel::TicksNow() - M.TimingSinceTsc);
  return Ticks > 0 ? static_cast<double>(M.CallTicks) * Seconds / Ticks : 0.0;
}

void THost::FailNthCall(long N, const TFault& Fault) {
  if (N < 1) throw std::invalid_argument("the N-th call counts from 1");
  TFaultRule Rule;
  Rule.Kind = TFaultRule::Nth;
  Rule.Countdown = N;
  Rule.Fault = Fault;
  FImpl->Model->AddFault(std::move(Rule));
}

void THost::FailMethod(const std::wstring& Interface, const std::wstring& Method, const TFault& Fault) {
  TFaultRule Rule;
  Rule.Kind = TFaultRule::Method;
  Rule.Interface = Interface;
  Rule.MethodName = Method;
  Rule.Fault = Fault;
  FImpl->Model->AddFault(std::move(Rule));
}

void THost::FailWhen(std::function<bool(const TCall&)> Predicate, const TFault& Fault) {
  TFaultRule Rule;
  Rule.Kind = TFaultRule::Predicate;
  Rule.Test = std::move(Predicate);
  Rule.Fault = Fault;
  FImpl->Model->AddFault(std::move(Rule));
}

void THost::ClearFaults() {
  FImpl->Model->Faults.clear();
  FImpl->Model->HasPredicates = false;
}

long THost::FaultsFired() const { return FImpl->Model->FaultsFired; }

}  // namespace HostSim
