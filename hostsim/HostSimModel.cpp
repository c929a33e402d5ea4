#include "hostsim/HostSimModel.h"

#include <algorithm>
#include <cwchar>
#include <stdexcept>
#include <string_view>

namespace HostSim {

namespace {

struct TIntfInfo {
  const wchar_t* Name;
  const IID* Iid;
};

const TIntfInfo IntfTable[IntfCount] = {
    {L"IOrvexApplication", &IID_IOrvexApplication},
    {L"IOrvexMainWindow", &IID_IOrvexMainWindow},
    {L"IOrvexDatabase", &IID_IOrvexDatabase},
    {L"IOrvexProject", &IID_IOrvexProject},
    {L"IOrvexDocument", &IID_IOrvexDocument},
    {L"IOrvexCatalog", &IID_IOrvexCatalog},
    {L"IOrvexView", &IID_IOrvexView},
    {L"IOrvexMaps", &IID_IOrvexMaps},
    {L"IOrvexMapsItem", &IID_IOrvexMapsItem},
    {L"IOrvexMap", &IID_IOrvexMap},
    {L"IOrvexLayers", &IID_IOrvexLayers},
    {L"IOrvexLayer", &IID_IOrvexLayer},
    {L"IOrvexTables", &IID_IOrvexTables},
    {L"IOrvexTable", &IID_IOrvexTable},
    {L"IOrvexFields", &IID_IOrvexFields},
    {L"IOrvexField", &IID_IOrvexField},
    {L"IOrvexMapObjects", &IID_IOrvexMapObjects},
    {L"IOrvexObjectQuery", &IID_IOrvexObjectQuery},
    {L"IOrvexMapObject", &IID_IOrvexMapObject},
    {L"IOrvexShapes", &IID_IOrvexShapes},
    {L"IOrvexShape", &IID_IOrvexShape},
    {L"IOrvexContour", &IID_IOrvexContour},
    {L"IOrvexStyle", &IID_IOrvexStyle},
    {L"IOrvexSemantics", &IID_IOrvexSemantics},
};

// The resource that HostSimTypeLib.rc gives every executable that links hostsim.
constexpr int TypeLibResource = 17;

bool IsAutomationKind(VARTYPE Kind) noexcept {
  switch (Kind) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
    case VT_DATE: case VT_BSTR: case VT_BOOL: case VT_UI1:
      return true;
    default:
      return false;
  }
}

std::wstring Quoted(const wchar_t* Text, size_t Length) {
  std::wstring S;
  S.reserve(Length + 2);
  S += L'"';
  S.append(Text, Length);
  S += L'"';
  return S;
}

std::wstring DoubleText(double V) {
  wchar_t Buffer[64];
  swprintf(Buffer, 64, L"%.15g", V);
  return Buffer;
}

}  // namespace

const wchar_t* IntfName(TIntf Intf) noexcept { return IntfTable[Intf].Name; }
const IID& IntfIid(TIntf Intf) noexcept { return *IntfTable[Intf].Iid; }

void Fail(HRESULT Status, std::wstring Description) {
  throw THostError{Status, std::move(Description)};
}

// ---- entities ---------------------------------------------------------------------------

long TTableData::FieldIndex(const wchar_t* FieldId, size_t Length) const noexcept {
  for (size_t I = 0; I < Fields.size(); ++I)
    if (Fields[I].Id.size() == Length && Fields[I].Id.compare(0, Length, FieldId, Length) == 0)
      return static_cast<long>(I);
  return -1;
}

// ---- records ------------------------------------------------------------------------------

TRecords::~TRecords() { Free(); }

void TRecords::Free() noexcept {
  if (!FBlock) return;
  TValue* V = Values();
  size_t N = 0;
  for (uint32_t P = 0; P < PartCount(); ++P) N += size_t{Parts()[P].Count} * Parts()[P].Width;
  for (size_t K = 0; K < N; ++K) V[K].~TValue();
  delete[] FBlock;
  FBlock = nullptr;
}

const TRecords::TPart* TRecords::Find(const TTableData* Table, size_t& First) const noexcept {
  First = 0;
  for (uint32_t P = 0; P < PartCount(); ++P) {
    const TPart& Part = Parts()[P];
    if (Part.Table == Table) return &Part;
    First += size_t{Part.Count} * Part.Width;
  }
  return nullptr;
}

size_t TRecords::Count(const TTableData* Table) const noexcept {
  size_t First;
  const TPart* Part = Find(Table, First);
  return Part ? Part->Count : 0;
}

const TValue* TRecords::Value(const TTableData* Table, size_t Record, size_t Field) const noexcept {
  size_t First;
  const TPart* Part = Find(Table, First);
  if (!Part || Record >= Part->Count || Field >= Part->Width) return nullptr;
  return &Values()[First + Record * Part->Width + Field];
}

void TRecords::Set(const TTableData* Table, size_t Record, size_t Field, size_t Width,
                   const TValue& Value) {
  size_t First;
  const TPart* Part = Find(Table, First);
  if (!Part || Record >= Part->Count) throw std::out_of_range("no such record");
  if (Field >= Part->Width) {
    Rebuild(Table, Part->Count, std::max(Width, Field + 1), true);
    Part = Find(Table, First);
  }
  Values()[First + Record * Part->Width + Field] = Value;
}

void TRecords::Reset(const TTableData* Table, size_t Count, size_t Width) {
  Rebuild(Table, Count, Width, false);
}

void TRecords::Append(const TTableData* Table, const TRow& Row) {
  size_t First;
  const TPart* Part = Find(Table, First);
  const size_t Count = Part ? Part->Count : 0;
  const size_t Width = std::max<size_t>(Part ? Part->Width : 0, Row.size());
  Rebuild(Table, Count + 1, Width, true);
  Find(Table, First);
  for (size_t F = 0; F < Row.size(); ++F) Values()[First + Count * Width + F] = Row[F];
}

void TRecords::Rebuild(const TTableData* Table, size_t Count, size_t Width, bool Keep) {
  if (Count > UINT32_MAX || Width > UINT32_MAX || (Width && Count > SIZE_MAX / Width))
    throw std::length_error("too many values for one object");
  std::vector<TPart> NewParts(Parts(), Parts() + PartCount());
  auto Own = std::find_if(NewParts.begin(), NewParts.end(), [Table](const TPart& P) { return P.Table == Table; });
  if (Own == NewParts.end()) Own = NewParts.insert(NewParts.end(), TPart{Table, 0, 0});
  const TPart Old = *Own;
  *Own = TPart{Table, static_cast<uint32_t>(Count), static_cast<uint32_t>(Width)};
  size_t Total = 0;
  for (const TPart& P : NewParts) Total += size_t{P.Count} * P.Width;
  const size_t Bytes = ValuesAt(NewParts.size()) + Total * sizeof(TValue);
  unsigned char* Block = new unsigned char[Bytes];
  *reinterpret_cast<uint32_t*>(Block) = static_cast<uint32_t>(NewParts.size());
  std::copy(NewParts.begin(), NewParts.end(), reinterpret_cast<TPart*>(Block + PartsAt));
  TValue* To = reinterpret_cast<TValue*>(Block + ValuesAt(NewParts.size()));
  for (size_t K = 0; K < Total; ++K) new (&To[K]) TValue();
  // The values that stay: every other part's, and this part's where they fit when Keep.
  try {
    size_t From = 0, At = 0;
    const TValue* Had = FBlock ? Values() : nullptr;
    for (uint32_t P = 0; P < PartCount(); ++P) {
      const TPart& Part = Parts()[P];
      if (Part.Table != Table) {
        for (size_t K = 0; K < size_t{Part.Count} * Part.Width; ++K) To[At + K] = Had[From + K];
        At += size_t{Part.Count} * Part.Width;
      } else {
        if (Keep)
          for (size_t R = 0; R < std::min<size_t>(Old.Count, Count); ++R)
            for (size_t F = 0; F < std::min<size_t>(Old.Width, Width); ++F)
              To[At + R * Width + F] = Had[From + R * Old.Width + F];
        At += Count * Width;
      }
      From += size_t{Part.Count} * Part.Width;
    }
  } catch (...) {
    for (size_t K = 0; K < Total; ++K) To[K].~TValue();
    delete[] Block;
    throw;
  }
  Free();
  FBlock = Block;
}

TBounds TObjectData::Bounds() const noexcept {
  TBounds B = Shapes.empty() ? TBounds() : Shapes.front().Bounds;
  for (const TShapeData& Shape : Shapes) {
    B.MinX = std::min(B.MinX, Shape.Bounds.MinX);
    B.MinY = std::min(B.MinY, Shape.Bounds.MinY);
    B.MaxX = std::max(B.MaxX, Shape.Bounds.MaxX);
    B.MaxY = std::max(B.MaxY, Shape.Bounds.MaxY);
  }
  return B;
}


TTableData* TLayerData::TableByName(const wchar_t* TableName, size_t Length) const noexcept {
  for (TTableData* Table : Tables)
    if (Table->Name.size() == Length && Table->Name.compare(0, Length, TableName, Length) == 0)
      return Table;
  return nullptr;
}

// ---- the objects ------------------------------------------------------------------------

TObjectData& TObjectStore::Add() {
  if (FCount == FBlocks.size() * BlockSize) FBlocks.push_back(std::make_unique<TObjectData[]>(BlockSize));
  TObjectData& Object = FBlocks.back()[FCount % BlockSize];
  ++FCount;
  return Object;
}

// ---- the objects by identifier -----------------------------------------------------------

size_t TObjectIndex::HashOf(const wchar_t* Id, size_t Length) noexcept {
  return std::hash<std::wstring_view>()(std::wstring_view(Id, Length));
}

size_t TObjectIndex::SlotOf(const wchar_t* Id, size_t Length) const noexcept {
  const size_t Mask = FSlots.size() - 1;
  for (size_t Slot = HashOf(Id, Length) & Mask;; Slot = (Slot + 1) & Mask) {
    const TObjectData* Object = FSlots[Slot];
    if (!Object || (Object->Id.size() == Length && Object->Id.compare(0, Length, Id, Length) == 0))
      return Slot;
  }
}

TObjectData* TObjectIndex::Find(const wchar_t* Id, size_t Length) const noexcept {
  return FSlots.empty() ? nullptr : FSlots[SlotOf(Id, Length)];
}

bool TObjectIndex::Insert(TObjectData* Object) {
  if ((FCount + 1) * 2 > FSlots.size()) Rehash(std::max<size_t>(16, FSlots.size() * 2));
  TObjectData*& Slot = FSlots[SlotOf(Object->Id.data(), Object->Id.size())];
  if (Slot) return false;
  Slot = Object;
  ++FCount;
  return true;
}

void TObjectIndex::Reserve(size_t Count) {
  size_t Slots = 16;
  while (Slots < Count * 2) Slots *= 2;
  if (Slots > FSlots.size()) Rehash(Slots);
}

void TObjectIndex::Rehash(size_t Slots) {
  std::vector<TObjectData*> Old(Slots, nullptr);
  Old.swap(FSlots);
  for (TObjectData* Object : Old)
    if (Object) FSlots[SlotOf(Object->Id.data(), Object->Id.size())] = Object;
}

// ---- model ------------------------------------------------------------------------------

TModel::TModel() = default;
TModel::~TModel() = default;

TLayerData& TModel::LayerOf(const wchar_t* Id, size_t Length) {
  auto It = LayerById.find(std::wstring(Id, Length));
  if (It == LayerById.end()) Fail(E_INVALIDARG, L"Layer not found: " + std::wstring(Id, Length) + L".");
  return *It->second;
}

TTableData& TModel::TableOf(const wchar_t* Id, size_t Length) {
  auto It = TableById.find(std::wstring(Id, Length));
  if (It == TableById.end()) Fail(E_INVALIDARG, L"Table not found: " + std::wstring(Id, Length) + L".");
  return *It->second;
}

TObjectData& TModel::ObjectOf(const wchar_t* Id, size_t Length) {
  TObjectData* Object = ObjectById.Find(Id, Length);
  if (!Object) Fail(E_INVALIDARG, L"Object not found: " + std::wstring(Id, Length) + L".");
  return *Object;
}

size_t TCellKeyHash::operator()(const TCellKey& Key) const noexcept {
  // Heap addresses share their low bits: multiply them into the high ones, then mix down.
  uint64_t H = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(Key.Object));
  H = H * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(reinterpret_cast<uintptr_t>(Key.Table));
  H = H * 0x9E3779B97F4A7C15ull + (static_cast<uint64_t>(Key.Record) << 32 | Key.Field);
  H ^= H >> 33;
  H *= 0xFF51AFD7ED558CCDull;
  H ^= H >> 33;
  H *= 0xC4CEB9FE1A85EC53ull;
  H ^= H >> 33;
  return static_cast<size_t>(H);
}

size_t TModel::CurrentRecordCount(const TObjectData& Object, const TTableData& Table) const {
  if (const size_t Committed = Object.Records.Count(&Table)) return Committed;
  if (PendingCreated.empty()) return 0;
  TCellKey Key{const_cast<TObjectData*>(&Object), const_cast<TTableData*>(&Table), 0, 0};
  return PendingCreated.count(Key);
}

const TValue* TModel::CurrentValue(const TObjectData& Object, const TTableData& Table,
                                   size_t Record, size_t Field) const {
  if (!PendingValues.empty()) {
    TCellKey Key{const_cast<TObjectData*>(&Object), const_cast<TTableData*>(&Table),
                 static_cast<uint32_t>(Record), static_cast<uint32_t>(Field)};
    auto It = PendingValues.find(Key);
    if (It != PendingValues.end()) return &It->second;
  }
  return Object.Records.Value(&Table, Record, Field);
}

void TModel::WriteValue(TObjectData& Object, TTableData& Table, size_t Record, size_t Field,
                        TValue Value) {
  if (Record == 0 && Object.Records.Count(&Table) == 0)
    PendingCreated.insert(TCellKey{&Object, &Table, 0, 0});
  PendingValues.insert_or_assign(
      TCellKey{&Object, &Table, static_cast<uint32_t>(Record), static_cast<uint32_t>(Field)},
      std::move(Value));
}

void TModel::ApplyChanges() {
  for (const TCellKey& Key : PendingCreated)
    if (Key.Object->Records.Count(Key.Table) == 0) Key.Object->Records.Reset(Key.Table, 1, 0);
  decltype(PendingCreated)().swap(PendingCreated);
  // Each value goes into its record, its node freed at once: the rows that grow reuse the
  // memory of the change set instead of adding to it.
  for (auto It = PendingValues.begin(); It != PendingValues.end(); It = PendingValues.erase(It)) {
    const TCellKey& Key = It->first;
    Key.Object->Records.Set(Key.Table, Key.Record, Key.Field, Key.Table->Fields.size(), It->second);
  }
  decltype(PendingValues)().swap(PendingValues);
  ++ApplyCount;
}

TObjectData& TModel::NewObject(TLayerData& Layer, const std::wstring& Id) {
  if (ObjectById.Find(Id)) throw std::invalid_argument("duplicate object identifier");
  TObjectData* Raw = &Objects.Add();
  Raw->Id = Id;
  Raw->Layer = &Layer;
  Raw->Index = Layer.Objects.size();
  ObjectById.Insert(Raw);
  Layer.Objects.push_back(Raw);
  Layer.IndexStale = true;
  return *Raw;
}

void TModel::AddShapes(TObjectData& Object, std::vector<TGeometryPtr> Geometries, long Flags) {
  for (TGeometryPtr& Geometry : Geometries) {
    TShapeData Shape;
    Shape.Kind = KindOf(*Geometry);
    Shape.Flags = Flags;
    Shape.Bounds = BoundsOf(*Geometry);
    Shape.Length = LengthOf(*Geometry);
    Object.Area += AreaOf(*Geometry);
    if (Shape.Kind != TShapeKind::Point) Shape.Geometry = std::move(Geometry);
    Object.Shapes.push_back(std::move(Shape));
  }
  Object.Layer->IndexStale = true;
}

// ---- faults -----------------------------------------------------------------------------

void TModel::AddFault(TFaultRule Rule) {
  if (Rule.Kind == TFaultRule::Predicate) HasPredicates = true;
  Faults.push_back(std::move(Rule));
}

const TFault* TModel::MatchFault(TIntf Intf, const wchar_t* Method, const TCall* Call) {
  TFaultRule* Hit = nullptr;
  for (TFaultRule& Rule : Faults) {
    bool Fires = false;
    switch (Rule.Kind) {
      case TFaultRule::Nth:
        // Every call counts towards every rule, whichever of them fires.
        if (!Rule.Reached) {
          if (--Rule.Countdown <= 0) Rule.Reached = Fires = true;
        } else {
          Fires = Rule.Fault.Persistent;
        }
        break;
      case TFaultRule::Method:
        Fires = !Hit && Rule.Interface == IntfName(Intf) && Rule.MethodName == Method;
        break;
      case TFaultRule::Predicate:
        Fires = !Hit && Call && Rule.Test(*Call);
        break;
    }
    if (!Fires) continue;
    if (!Rule.Fault.Persistent) Rule.Spent = true;
    if (!Hit) Hit = &Rule;
  }
  if (!Hit) return nullptr;
  Fired = Hit->Fault;
  ++FaultsFired;
  Faults.erase(std::remove_if(Faults.begin(), Faults.end(),
                              [](const TFaultRule& Rule) { return Rule.Spent; }),
               Faults.end());
  HasPredicates = std::any_of(Faults.begin(), Faults.end(), [](const TFaultRule& Rule) {
    return Rule.Kind == TFaultRule::Predicate;
  });
  return &Fired;
}

// ---- type library -----------------------------------------------------------------------

void TModel::LoadTypeLibrary() {
  FTypeLibTried = true;
  HMODULE Module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&IntfName), &Module))
    Module = GetModuleHandleW(nullptr);
  std::wstring Path(MAX_PATH, L'\0');
  for (;;) {
    DWORD N = GetModuleFileNameW(Module, &Path[0], static_cast<DWORD>(Path.size()));
    if (N == 0) { Path.clear(); break; }
    if (N < Path.size()) { Path.resize(N); break; }
    Path.resize(Path.size() * 2);
  }
  HRESULT Hr = TYPE_E_CANTLOADLIBRARY;
  if (!Path.empty() && FindResourceW(Module, MAKEINTRESOURCEW(TypeLibResource), L"TYPELIB"))
    Hr = LoadTypeLibEx((Path + L"\\" + std::to_wstring(TypeLibResource)).c_str(), REGKIND_NONE,
                       FTypeLib.Put());
  if (FAILED(Hr) && !Path.empty()) {
    // An executable built without the resource: the type library beside it.
    std::wstring Beside = Path.substr(0, Path.find_last_of(L"\\/") + 1) + L"Orvex.tlb";
    Hr = LoadTypeLibEx(Beside.c_str(), REGKIND_NONE, FTypeLib.Put());
  }
  FTypeLibStatus = Hr;
  if (FAILED(Hr)) return;
  for (int I = 0; I < IntfCount; ++I) {
    Quorin::TComPtr<ITypeInfo> Info;
    if (FAILED(FTypeLib->GetTypeInfoOfGuid(IntfIid(static_cast<TIntf>(I)), Info.Put()))) continue;
    FDispInfo[I] = Info;
    TYPEATTR* Attr = nullptr;
    TYPEKIND Kind = TKIND_DISPATCH;
    if (SUCCEEDED(Info->GetTypeAttr(&Attr))) {
      Kind = Attr->typekind;
      Info->ReleaseTypeAttr(Attr);
    }
    if (Kind == TKIND_INTERFACE) {
      FVtblInfo[I] = Info;
      continue;
    }
    // A dual interface: its vtable half is the reference of implemented type -1.
    HREFTYPE Ref = 0;
    if (SUCCEEDED(Info->GetRefTypeOfImplType(static_cast<UINT>(-1), &Ref)))
      Info->GetRefTypeInfo(Ref, FVtblInfo[I].Put());
  }
}

ITypeInfo* TModel::DispatchInfo(TIntf Intf) {
  if (!FTypeLibTried) LoadTypeLibrary();
  return FDispInfo[Intf].Get();
}

ITypeInfo* TModel::VtableInfo(TIntf Intf) {
  if (!FTypeLibTried) LoadTypeLibrary();
  return FVtblInfo[Intf].Get();
}

HRESULT TModel::TypeLibStatus() {
  if (!FTypeLibTried) LoadTypeLibrary();
  return FTypeLibStatus;
}

// ---- argument texts and values ----------------------------------------------------------

std::wstring ArgText(const wchar_t* Text, size_t Length) { return Quoted(Text ? Text : L"", Text ? Length : 0); }

std::wstring ArgText(long Value) { return std::to_wstring(Value); }

std::wstring ArgText(const VARIANT& Value) { return ValueText(Value); }

std::wstring ValueText(const VARIANT& Value) {
  VARIANT V;
  VariantInit(&V);
  if (FAILED(CopyVariantInd(&V, &Value))) return L"?";
  std::wstring Text;
  switch (V_VT(&V)) {
    case VT_EMPTY: Text = L"Empty"; break;
    case VT_NULL: Text = L"Null"; break;
    case VT_I1: Text = std::to_wstring(V_I1(&V)); break;
    case VT_I2: Text = std::to_wstring(V_I2(&V)); break;
    case VT_I4: Text = std::to_wstring(V_I4(&V)); break;
    case VT_I8: Text = std::to_wstring(V_I8(&V)); break;
    case VT_UI1: Text = std::to_wstring(V_UI1(&V)); break;
    case VT_UI2: Text = std::to_wstring(V_UI2(&V)); break;
    case VT_UI4: Text = std::to_wstring(V_UI4(&V)); break;
    case VT_UI8: Text = std::to_wstring(V_UI8(&V)); break;
    case VT_INT: Text = std::to_wstring(V_INT(&V)); break;
    case VT_UINT: Text = std::to_wstring(V_UINT(&V)); break;
    case VT_R4: Text = DoubleText(V_R4(&V)); break;
    case VT_R8: Text = DoubleText(V_R8(&V)); break;
    case VT_BOOL: Text = V_BOOL(&V) ? L"True" : L"False"; break;
    case VT_BSTR: Text = ArgText(V_BSTR(&V)); break;
    default: {
      if (V_VT(&V) & VT_ARRAY) {
        Text = L"Array";
        break;
      }
      VARIANT S;
      VariantInit(&S);
      Text = L"VT" + std::to_wstring(V_VT(&V)) + L":";
      if (SUCCEEDED(VariantChangeTypeEx(&S, &V, LOCALE_INVARIANT, 0, VT_BSTR))) Text += TextOf(V_BSTR(&S));
      VariantClear(&S);
      break;
    }
  }
  VariantClear(&V);
  return Text;
}

TValue AcceptValue(const VARIANT& Value) {
  VARIANT V;
  VariantInit(&V);
  HRESULT Hr = CopyVariantInd(&V, &Value);
  if (FAILED(Hr)) Fail(DISP_E_BADVARTYPE, L"The value cannot be read.");
  if (!IsAutomationKind(V_VT(&V))) {
    VARTYPE Kind = V_VT(&V);
    VariantClear(&V);
    Fail(DISP_E_BADVARTYPE,
         L"Values of variant type " + std::to_wstring(Kind) + L" cannot be stored in a field.");
  }
  TValue Result(V);
  VariantClear(&V);
  return Result;
}

}  // namespace HostSim
