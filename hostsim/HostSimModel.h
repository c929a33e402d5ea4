// The simulated host's state: the geodatabase (maps, layers, tables, fields, objects and their
// records), the pending change set, and the instrumentation (live objects, call count and log,
// faults). The COM objects of HostSimObjects hold a shared reference to it, so a model outlives
// its THost as long as a client still holds one of its objects.
#pragma once

#include <x86intrin.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "hostsim/HostSim.h"
#include "hostsim/HostSimGeometry.h"

namespace HostSim {

// The host's interfaces, as the live-object count and the call log name them.
enum TIntf : int {
  iApplication, iMainWindow, iDatabase, iProject, iDocument, iCatalog, iView, iMaps, iMapsItem,
  iMap, iLayers, iLayer, iTables, iTable, iFields, iField, iMapObjects, iObjectQuery, iMapObject,
  iShapes, iShape, iContour, iStyle, iSemantics, IntfCount
};
const wchar_t* IntfName(TIntf Intf) noexcept;
const IID& IntfIid(TIntf Intf) noexcept;

struct TMapData;
struct TLayerData;
struct TTableData;

struct TFieldData {
  std::wstring Id, Name;
};

struct TTableData {
  std::wstring Id, Name;
  TLayerData* Layer = nullptr;
  std::vector<TFieldData> Fields;
  // Index of the field with this identifier, or -1.
  long FieldIndex(const wchar_t* Id, size_t Length) const noexcept;
};

// One record: values by field index (a row shorter than the field list holds empty values).
using TRow = std::vector<TValue>;

// The committed records of an object, every table's in one allocation: per table the number of
// its records and their width, then the values, record by record. A record reads empty beyond
// its width, as it does beyond the fields that its table had when it was written.
class TRecords {
public:
  TRecords() noexcept = default;
  TRecords(const TRecords&) = delete;
  TRecords& operator=(const TRecords&) = delete;
  ~TRecords();

  size_t Count(const TTableData* Table) const noexcept;
  // A field of a record; null beyond the records or their width (an empty value).
  const TValue* Value(const TTableData* Table, size_t Record, size_t Field) const noexcept;
  // Puts a value into a field of an existing record, the table's records widened first to
  // Width values (Field + 1 at least) when they hold fewer than Field + 1.
  void Set(const TTableData* Table, size_t Record, size_t Field, size_t Width, const TValue& Value);
  // The table's records become Count records of Width empty values.
  void Reset(const TTableData* Table, size_t Count, size_t Width);
  // A record of these values after the table's others.
  void Append(const TTableData* Table, const TRow& Row);

private:
  struct TPart {
    const TTableData* Table;
    uint32_t Count, Width;
  };
  // The block: the number of parts, the parts, then the values of each part in turn.
  static constexpr size_t PartsAt = sizeof(void*);
  static size_t ValuesAt(size_t Parts) noexcept {
    const size_t End = PartsAt + Parts * sizeof(TPart);
    return (End + alignof(TValue) - 1) / alignof(TValue) * alignof(TValue);
  }
  uint32_t PartCount() const noexcept { return FBlock ? *reinterpret_cast<const uint32_t*>(FBlock) : 0; }
  TPart* Parts() const noexcept { return reinterpret_cast<TPart*>(FBlock + PartsAt); }
  TValue* Values() const noexcept { return reinterpret_cast<TValue*>(FBlock + ValuesAt(PartCount())); }
  // The part of Table (null when it has none) and the index of its first value.
  const TPart* Find(const TTableData* Table, size_t& First) const noexcept;
  // A new block in which Table's part holds Count records of Width values (added after the
  // others when it had none), with the values it had where they fit when Keep, else empty.
  void Rebuild(const TTableData* Table, size_t Count, size_t Width, bool Keep);
  void Free() noexcept;
  unsigned char* FBlock = nullptr;
};

// A point is held in its bounds alone (MinX, MinY), without a geometry: a layer of a million
// points would otherwise cost a million more allocations.
struct TShapeData {
  TGeometryPtr Geometry;  // null for a point
  TShapeKind Kind = TShapeKind::Point;
  long Flags = 1;
  TBounds Bounds;
  double Length = 0;  // the contour's perimeter
};

struct TObjectData {
  std::wstring Id;
  TLayerData* Layer = nullptr;
  size_t Index = 0;  // position in the layer
  std::vector<TShapeData> Shapes;
  TRecords Records;  // committed
  double Area = 0;
  // The bounds of all shapes; meaningful when Shapes is not empty.
  TBounds Bounds() const noexcept;
};

struct TLayerData {
  std::wstring Id, Name;
  TMapData* Map = nullptr;
  std::vector<TTableData*> Tables;
  std::vector<TObjectData*> Objects;
  TLayerIndexPtr Index;  // R-tree, rebuilt when stale
  bool IndexStale = true;
  TTableData* TableByName(const wchar_t* Name, size_t Length) const noexcept;
};

// Every object of the database, in blocks of a thousand: a place that never moves, without an
// allocation of its own per object.
class TObjectStore {
public:
  TObjectData& Add();
  size_t Size() const noexcept { return FCount; }

private:
  static constexpr size_t BlockSize = 1024;
  std::vector<std::unique_ptr<TObjectData[]>> FBlocks;
  size_t FCount = 0;
};

// The objects by identifier: an open-addressed table of pointers to the objects, whose
// identifiers are the keys (a node-based map would hold a second copy of every identifier and
// a node per object).
class TObjectIndex {
public:
  TObjectData* Find(const wchar_t* Id, size_t Length) const noexcept;
  TObjectData* Find(const std::wstring& Id) const noexcept { return Find(Id.data(), Id.size()); }
  // False, adding nothing, when an object with the same identifier is there.
  bool Insert(TObjectData* Object);
  void Reserve(size_t Count);
  size_t Size() const noexcept { return FCount; }

private:
  static size_t HashOf(const wchar_t* Id, size_t Length) noexcept;
  size_t SlotOf(const wchar_t* Id, size_t Length) const noexcept;  // its slot or the free one
  void Rehash(size_t Slots);
  std::vector<TObjectData*> FSlots;  // a power of two in size, at most half of them used
  size_t FCount = 0;
};

struct TMapData {
  std::wstring Id, Name;
  std::vector<TLayerData*> Layers;
};

// A field of a record of an object in a table: what the pending change set holds a value for.
struct TCellKey {
  TObjectData* Object;
  TTableData* Table;
  uint32_t Record, Field;
  bool operator==(const TCellKey& Other) const noexcept {
    return Object == Other.Object && Table == Other.Table && Record == Other.Record &&
           Field == Other.Field;
  }
};
struct TCellKeyHash {
  size_t operator()(const TCellKey& Key) const noexcept;
};

struct TCatalogItem {
  long Kind = 2;
  TMapData* Map = nullptr;  // kind 2 only
  bool RefusesMap = false;  // a kind-2 item that does not answer IOrvexMap
};

// A failure inside a host call: the status and the description that the call reports.
struct THostError {
  HRESULT Status;
  std::wstring Description;
};
[[noreturn]] void Fail(HRESULT Status, std::wstring Description);

struct TFaultRule {
  enum TKind { Nth, Method, Predicate } Kind = Nth;
  long Countdown = 0;    // Nth: calls still to come before it fires
  bool Reached = false;  // Nth, persistent: the N-th call has passed
  std::wstring Interface, MethodName;
  std::function<bool(const TCall&)> Test;
  TFault Fault;
  bool Spent = false;  // a transient rule that has fired
};

struct TModel {
  TModel();
  ~TModel();
  TModel(const TModel&) = delete;
  TModel& operator=(const TModel&) = delete;

  // ---- data ------------------------------------------------------------------------------
  std::vector<std::unique_ptr<TMapData>> Maps;
  std::vector<std::unique_ptr<TLayerData>> Layers;
  std::vector<std::unique_ptr<TTableData>> Tables;
  TObjectStore Objects;
  std::unordered_map<std::wstring, TMapData*> MapById;
  std::unordered_map<std::wstring, TLayerData*> LayerById;
  std::unordered_map<std::wstring, TTableData*> TableById;
  TObjectIndex ObjectById;
  std::vector<TCatalogItem> Catalog;

  bool ProjectPresent = true;
  bool ActiveViewPresent = true;
  TLayerData* ActiveLayer = nullptr;
  HWND MainWindow = nullptr;
  bool SpatialIndex = true;
  bool RealHost = false;  // see THost::SetRealHostMode

  // Pending change set, written since the last commit: the value of each written field, and
  // the (object, table) pairs whose record 0 a write created (record and field 0 in the key).
  std::unordered_map<TCellKey, TValue, TCellKeyHash> PendingValues;
  std::unordered_set<TCellKey, TCellKeyHash> PendingCreated;
  int ApplyCount = 0;

  // Lookups for host calls; unknown identifiers fail with the host's message.
  TLayerData& LayerOf(const wchar_t* Id, size_t Length);
  TTableData& TableOf(const wchar_t* Id, size_t Length);
  TObjectData& ObjectOf(const wchar_t* Id, size_t Length);
  // What reads see: the committed records with the pending changes over them. The records of
  // (object, table): the committed ones, or the one that a pending write created.
  size_t CurrentRecordCount(const TObjectData& Object, const TTableData& Table) const;
  // A field of a record: the pending value when written, else the committed one; null when
  // neither holds one (an empty value), a record out of range included.
  const TValue* CurrentValue(const TObjectData& Object, const TTableData& Table, size_t Record,
                             size_t Field) const;
  // A write into the pending change set: Record is one of the current records, or record 0 of
  // an object without records of the table, which the write creates.
  void WriteValue(TObjectData& Object, TTableData& Table, size_t Record, size_t Field, TValue Value);
  bool HasPendingChanges() const noexcept { return !PendingValues.empty(); }
  void ApplyChanges();

  // Builder side: adds shapes and keeps bounds, area and the layer's index up to date.
  void AddShapes(TObjectData& Object, std::vector<TGeometryPtr> Geometries, long Flags);
  TObjectData& NewObject(TLayerData& Layer, const std::wstring& Id);

  // ---- instrumentation -------------------------------------------------------------------
  long Live[IntfCount] = {};
  long LiveTotal = 0;
  void ObjectCreated(TIntf Intf) noexcept { ++Live[Intf]; ++LiveTotal; }
  void ObjectDestroyed(TIntf Intf) noexcept { --Live[Intf]; --LiveTotal; }

  long Calls = 0;
  bool Logging = true;
  bool FpuCheck = false;
  uint16_t FpuX87 = 0;
  uint32_t FpuMxcsr = 0;
  long FpuRuns[THost::FpuRoadCount] = {};
  long FpuMismatches[THost::FpuRoadCount] = {};
  void CheckFpu(THost::TFpuRoad Road) noexcept {
    uint16_t X87 = 0;
    uint32_t Mxcsr = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(X87));
    __asm__ __volatile__("stmxcsr %0" : "=m"(Mxcsr));
    ++FpuRuns[Road];
    // The control bits: x87 bit 6 reads as 1 whatever was loaded; MXCSR's flags are status.
    if ((X87 & 0x1F3F) != (FpuX87 & 0x1F3F) || (Mxcsr & ~0x3Fu) != FpuMxcsr)
      ++FpuMismatches[Road];
  }
  // What a host does with Delphi's Set8087CW in a handler: its own control words loaded again,
  // pending flags cleared.
  void ReloadFpu() const noexcept {
    const uint16_t X87 = FpuX87;
    const uint32_t Mxcsr = FpuMxcsr;
    __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(X87));
    __asm__ __volatile__("ldmxcsr %0" : : "m"(Mxcsr));
  }
  // The host's main window and hooks (THost::OpenMainWindow).
  bool ReloadsFpu = false;
  HHOOK CallWndProcHook = nullptr, GetMessageHook = nullptr;
  std::vector<TCall> Log;
  std::function<void(const TCall&)> Sink;  // THost::SetCallSink
  // THost::WriteCount and LastWrite.
  long Writes = 0;
  const TObjectData* LastWriteObject = nullptr;
  const TTableData* LastWriteTable = nullptr;
  size_t LastWriteField = 0;
  std::vector<TFaultRule> Faults;
  bool HasPredicates = false;
  long FaultsFired = 0;
  TFault Fired;  // the fault that the last BeginCall answered

  // Time spent inside host calls and releases while Timing, in processor time-stamp ticks
  // (a fraction of the cost of QueryPerformanceCounter), with the performance counter and the
  // time stamp at the moment timing started to convert them.
  bool Timing = false;
  long long CallTicks = 0;
  long long TimingSinceQpc = 0, TimingSinceTsc = 0;
  static long long TicksNow() noexcept { return static_cast<long long>(__rdtsc()); }

  // Counts and logs one host call (and hands it to the sink), and answers the fault that it
  // must fail with, or null. Args is called only when the text is needed.
  template <class TArgs>
  const TFault* BeginCall(TIntf Intf, const wchar_t* Method, TArgs&& Args) {
    ++Calls;
    if (FpuCheck) CheckFpu(THost::frMethod);
    if (!Logging && !Sink && Faults.empty()) return nullptr;
    if (Logging || Sink || HasPredicates) {
      TCall Call{IntfName(Intf), Method, Args()};
      const TFault* Fault = Faults.empty() ? nullptr : MatchFault(Intf, Method, &Call);
      if (Sink) Sink(Call);
      if (Logging) Log.push_back(std::move(Call));
      return Fault;
    }
    return MatchFault(Intf, Method, nullptr);
  }
  const TFault* MatchFault(TIntf Intf, const wchar_t* Method, const TCall* Call);
  void AddFault(TFaultRule Rule);

  // ---- type library ----------------------------------------------------------------------
  // The type information of an interface: its dispatch description (what GetTypeInfo hands
  // out) and its vtable description (what Invoke calls through). Null when the type library
  // could not be loaded.
  ITypeInfo* DispatchInfo(TIntf Intf);
  ITypeInfo* VtableInfo(TIntf Intf);
  HRESULT TypeLibStatus();

private:
  void LoadTypeLibrary();
  bool FTypeLibTried = false;
  HRESULT FTypeLibStatus = E_FAIL;
  Quorin::TComPtr<ITypeLib> FTypeLib;
  Quorin::TComPtr<ITypeInfo> FDispInfo[IntfCount];
  Quorin::TComPtr<ITypeInfo> FVtblInfo[IntfCount];
};

// What a THost holds: its model, shared with every COM object it has handed out.
struct THost::TImpl {
  std::shared_ptr<TModel> Model = std::make_shared<TModel>();
};

// VariantCopy and VariantCopyInd on a source that they only read.
inline HRESULT CopyVariant(VARIANT* Target, const VARIANT* Source) noexcept {
  return VariantCopy(Target, const_cast<VARIANT*>(Source));
}
inline HRESULT CopyVariantInd(VARIANT* Target, const VARIANT* Source) noexcept {
  return VariantCopyInd(Target, const_cast<VARIANT*>(Source));
}

// Argument texts of the call log.
std::wstring ArgText(const wchar_t* Text, size_t Length);
inline std::wstring ArgText(BSTR Text) { return ArgText(Text, Text ? SysStringLen(Text) : 0); }
std::wstring ArgText(long Value);
std::wstring ArgText(const VARIANT& Value);
std::wstring ValueText(const VARIANT& Value);  // TValue::ToText

// Text from a BSTR argument (null is the empty text, as automation has it).
inline std::wstring TextOf(BSTR Text) { return Text ? std::wstring(Text, SysStringLen(Text)) : std::wstring(); }

// A deep copy of a value that a client passed, by-reference indirection removed; refuses kinds
// that are not automation values.
TValue AcceptValue(const VARIANT& Value);

}  // namespace HostSim
