// The simulated Orvex host: an in-memory geodatabase served through the host's interfaces as
// real COM objects. Tests and the demo application link it; the module never does.
//
// Build a model with the builder calls, hand Application() to the code under test, then read
// the state back. Everything is identified by the host's identifiers (wide strings).
//
// An executable that links hostsim carries the host's type library as its resource
// TYPELIB 17 (hostsim's CMake target adds HostSimTypeLib.rc to every target that links it), so
// that IDispatch works for late-bound clients without any registration.
//
// Behaviour worth knowing:
// - Every interface pointer handed out is a new COM object; nothing is cached, so the live-object
//   count falls back to 0 once the client has released everything. A map is its map-list item
//   (QueryInterface for IOrvexMap); it counts as an IOrvexMapsItem, and its IDispatch is the
//   item's.
// - Identifiers are compared exactly (case-sensitive): maps, layers, tables, objects, fields;
//   table NAMES (IOrvexSemantics) exactly too.
// - An object is the union of its shapes. QueryByRelation(layer, target, r, r) yields the objects
//   S of the layer, in the layer's order, with: 1 S intersects the target (some shape of S meets
//   some shape of the target); 2 S lies within the target (every shape of S within the union of
//   the target's shapes); 4 S contains the target (the target within S); 8 S touches the target
//   (they meet and no shape of S shares an interior point with a shape of the target). The
//   target itself is not left out. Both codes must be the same and one of 1, 2, 4, 8.
// - Writes: SetValue goes into a pending change set that every later read sees; ApplyChanges
//   commits it. Writing record 0 of an object that has no record of the table creates that
//   record; any other record index must exist. A value must be of an automation kind: empty,
//   null, I2, I4, R4, R8, CY, DATE, BSTR, BOOL, UI1 (by reference too); others are refused with
//   DISP_E_BADVARTYPE.
// - Failures: E_INVALIDARG for an unknown identifier, an unknown table name or field, an unknown
//   relation; DISP_E_BADINDEX for an index out of range; DISP_E_TYPEMISMATCH for a key or layer
//   list of the wrong kind; E_POINTER for a null result pointer; E_FAIL for reading a query past
//   its end; E_NOTIMPL for the Reserved<n> methods. Each sets error information (source
//   "Orvex") whose description ends with a full stop, e.g. "Object not found: b12.".
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/Orvex.h"
#include "support/ComPtr.h"

namespace HostSim {

// A field value as the builder takes it and the read-back gives it: owns its VARIANT.
class TValue {
public:
  TValue() noexcept { VariantInit(&FValue); }        // empty
  TValue(int V);                                      // VT_I4
  TValue(double V);                                   // VT_R8
  TValue(const wchar_t* V);                           // VT_BSTR
  TValue(const std::wstring& V);                      // VT_BSTR
  explicit TValue(const VARIANT& V);                  // any kind, deep copy
  static TValue Null();
  static TValue Bool(bool V);                         // VT_BOOL
  TValue(const TValue& Other);
  TValue& operator=(const TValue& Other);
  ~TValue() { VariantClear(&FValue); }
  const VARIANT& Ref() const noexcept { return FValue; }
  VARTYPE Type() const noexcept { return V_VT(&FValue); }
  // Same kind and same value (texts compared exactly).
  bool SameAs(const TValue& Other) const;
  // Readable form: Empty, Null, 12, 2.5, "text", True, or "<kind>:<text>" for other kinds.
  std::wstring ToText() const;

private:
  VARIANT FValue;
};

// One host call as the call log records it.
struct TCall {
  std::wstring Interface;  // "IOrvexDatabase"
  std::wstring Method;     // "GetTable"
  std::wstring Args;       // the arguments as text, comma-separated: L"\"tbl1\""
};

// "IOrvexDatabase.GetTable(\"tbl1\")": the form in which tests compare call sequences.
std::wstring FormatCall(const TCall& Call);

// What an injected fault does.
struct TFault {
  HRESULT Status = E_FAIL;           // failure status to return
  std::wstring Description;          // error info description ("" = set none)
  bool NullResult = false;           // answer S_OK but leave the [out] result null instead
  bool Persistent = false;           // fire on every matching call from then on, not only once
};

class THost {
public:
  THost();
  ~THost();
  THost(const THost&) = delete;
  THost& operator=(const THost&) = delete;

  // ---- the model ------------------------------------------------------------------------
  // A map, appended to the catalogue's map list as an item of kind 2.
  void AddMap(const std::wstring& Id, const std::wstring& Name);
  // A map-list item that is not a map (any kind but 2).
  void AddCatalogItem(long Kind);
  // A map-list item of kind 2 that refuses the map interface.
  void AddBrokenMapItem();
  // A layer of a map; layer identifiers are unique in the database.
  void AddLayer(const std::wstring& MapId, const std::wstring& Id, const std::wstring& Name);
  // An existing layer shown in another map too, after that map's layers so far: the same layer
  // (one identifier, one set of tables and objects) under several maps, as a real host shows it.
  void ShowLayer(const std::wstring& MapId, const std::wstring& LayerId);
  // A semantic table of a layer, with the fields "ID" and "SIMID" first unless told not to.
  void AddTable(const std::wstring& LayerId, const std::wstring& Id, const std::wstring& Name,
                bool WithIdFields = true);
  void AddField(const std::wstring& TableId, const std::wstring& Id, const std::wstring& Name);
  // An object of a layer with one shape per geometry (WKT, planar coordinates); StyleFlags'
  // bit 0 says that the shape counts in the perimeter.
  void AddObject(const std::wstring& LayerId, const std::wstring& Id, const std::wstring& Wkt,
                 long StyleFlags = 1);
  void AddShape(const std::wstring& ObjectId, const std::wstring& Wkt, long StyleFlags = 1);
  // What GetArea answers for an object and GetPerimeter for the contour of one of its shapes,
  // in place of the geometry's: values no geometry has (NaN, the infinities, near DBL_MAX).
  void SetObjectArea(const std::wstring& ObjectId, double Area);
  void SetShapePerimeter(const std::wstring& ObjectId, long Shape, double Perimeter);
  // A record of the object in the table: values by field identifier.
  void AddRecord(const std::wstring& ObjectId, const std::wstring& TableId,
                 const std::vector<std::pair<std::wstring, TValue>>& Values);

  // The project (present by default) and its active view and layer.
  void SetProjectPresent(bool Present);
  void SetActiveViewPresent(bool Present);
  void SetActiveLayer(const std::wstring& LayerId);  // "" = the view has no active layer
  void SetMainWindow(HWND Window);

  // Spatial index on or off (for the benchmark's comparison); on by default.
  void SetSpatialIndex(bool On);
  // The real host's identifiers: when on, every object answers QueryInterface only for
  // IUnknown, IDispatch, ISupportErrorInfo and the four interfaces whose identifiers the real
  // host publishes (IOrvexApplication, IOrvexMaps, IOrvexShapes, IOrvexMap), and
  // InterfaceSupportsErrorInfo with S_OK only for those four: the identifiers of the other
  // interfaces in Orvex.idl are our own, and the real host knows them not. Off by default.
  void SetRealHostMode(bool On);
  // The floating-point state the host's code expects: once set, every run of the host's code
  // that a client can reach compares the x87 control word and the control bits of MXCSR in
  // force with these and counts, road by road, the runs and those under other control bits:
  // its methods, IUnknown's methods of its objects, the procedure of its main window and its
  // two message hooks (OpenMainWindow).
  enum TFpuRoad { frMethod, frUnknown, frWindow, frCallWndProcHook, frGetMessageHook, FpuRoadCount };
  void ExpectFpuControl(uint16_t X87, uint32_t Mxcsr);
  long FpuRuns(TFpuRoad Road) const;
  long FpuMismatches(TFpuRoad Road) const;
  long CallsUnderOtherFpuControl() const;  // on every road
  // A main window of the host, made on the calling thread and answered by GetMainWindow, and a
  // WH_CALLWNDPROC and a WH_GETMESSAGE hook of the host on that thread; they go with
  // CloseMainWindow or with the THost (on the same thread). With Reload, the host's code loads
  // its expected control words itself, as a Delphi host's Set8087CW does: in the window's
  // WM_ACTIVATE, WM_NCACTIVATE, WM_ENABLE and WM_PAINT handlers, and in both hooks for every
  // message of a progress bar.
  HWND OpenMainWindow(bool Reload);
  void CloseMainWindow();

  // ---- serving --------------------------------------------------------------------------
  // A new reference to the application object.
  IOrvexApplication* NewApplication();
  // The same, owned.
  Quorin::TComPtr<IOrvexApplication> Application();
  // S_OK when the type library for IDispatch was found (see above); loaded on first use.
  HRESULT TypeLibraryStatus() const;

  // ---- reading back ---------------------------------------------------------------------
  // Current value (pending changes included) of a field of one record; VT_EMPTY when absent.
  TValue Value(const std::wstring& ObjectId, const std::wstring& TableId,
                const std::wstring& FieldId, long Record = 0) const;
  long RecordCount(const std::wstring& ObjectId, const std::wstring& TableId) const;
  // Object identifiers of a layer, in the order QueryByLayers yields them.
  std::vector<std::wstring> ObjectIds(const std::wstring& LayerId) const;
  int ApplyChangesCount() const;
  bool HasPendingChanges() const;
  // The same without the pending changes.
  TValue CommittedValue(const std::wstring& ObjectId, const std::wstring& TableId,
                        const std::wstring& FieldId, long Record = 0) const;
  long CommittedRecordCount(const std::wstring& ObjectId, const std::wstring& TableId) const;
  // The model as it is, in order: maps, catalogue items, layers, tables, fields; then
  // every object with its shapes (WKT and style) and records (pending changes included). Two
  // hosts with the same content give the same text.
  std::wstring DumpState() const;
  std::vector<std::wstring> MapIds() const;
  std::vector<std::wstring> LayerIds(const std::wstring& MapId) const;
  std::vector<std::wstring> TableIds(const std::wstring& LayerId) const;
  std::vector<std::wstring> FieldIds(const std::wstring& TableId) const;
  long ObjectCount() const;
  long ObjectCount(const std::wstring& LayerId) const;  // of one layer
  // Shapes of an object as WKT (polygons closed, outer rings clockwise, holes anticlockwise).
  std::vector<std::wstring> ShapeWkts(const std::wstring& ObjectId) const;
  // The shapes of every object of a layer as coordinates, handed to Visit one at a time in the
  // layer's order, without a copy of the layer: the object's position in the layer, the shape's
  // kind (0 point, 1 line, 2 polygon) and its rings (a point one ring of one position, a line
  // one ring, a polygon its outer ring, then its holes; they live for the call only). An object
  // without shapes is not visited.
  using TRings = std::vector<std::vector<std::pair<double, double>>>;
  void VisitLayerShapes(
      const std::wstring& LayerId,
      const std::function<void(size_t Object, int Kind, const TRings& Rings)>& Visit) const;
  // The current value of one field in record 0 of every object of a layer, in the layer's order
  // (as Value gives it), handed to Visit with the object's position in the layer.
  void VisitLayerValues(
      const std::wstring& LayerId, const std::wstring& TableId, const std::wstring& FieldId,
      const std::function<void(size_t Object, const VARIANT& Value)>& Visit) const;
  // What GetArea answers; the perimeter over the shapes whose style has bit 0 set.
  double ObjectArea(const std::wstring& ObjectId) const;
  double ObjectPerimeter(const std::wstring& ObjectId) const;
  // What QueryByRelation yields, without a host call.
  std::vector<std::wstring> RelatedIds(const std::wstring& LayerId, const std::wstring& TargetId,
                                       long Relation) const;

  // ---- instrumentation ------------------------------------------------------------------
  // Host objects created and not yet released, in all or of one interface ("IOrvexLayer").
  long LiveObjects() const;
  long LiveObjects(const std::wstring& Interface) const;
  // Every host call, counted and logged (QueryInterface/AddRef/Release and IDispatch's own
  // methods are not host calls).
  long CallCount() const;
  const std::vector<TCall>& CallLog() const;
  std::vector<std::wstring> CallLogText() const;  // FormatCall of each entry
  void ClearCallLog();       // also restarts the call count
  void SetCallLogging(bool On);  // the count goes on; the texts are not kept when off
  // Every host call handed to Sink as it is made, whether the log keeps it or not (an empty
  // function stops it): a log that a long run writes out as it goes instead of holding it.
  void SetCallSink(std::function<void(const TCall&)> Sink);
  // The writes (SetValue calls that stored a value) so far, and the target of the last one:
  // its object's layer, the table and the field, by identifier (empty before the first).
  struct TWriteTarget {
    std::wstring LayerId, TableId, FieldId;
  };
  long WriteCount() const;
  TWriteTarget LastWrite() const;
  // Cumulative time spent inside host calls and in the destruction of released host objects
  // (for benchmarks); turning it on or off restarts it. Off by default. Read CallSeconds while
  // timing is still on.
  void SetCallTiming(bool On);
  double CallSeconds() const;

  // Faults: the N-th host call from now on (1-based, all calls counted); every call of one
  // method; every call a predicate accepts. Persistent faults fire on every later match too.
  void FailNthCall(long N, const TFault& Fault);
  void FailMethod(const std::wstring& Interface, const std::wstring& Method, const TFault& Fault);
  void FailWhen(std::function<bool(const TCall&)> Predicate, const TFault& Fault);
  void ClearFaults();
  long FaultsFired() const;

  // ---- data -----------------------------------------------------------------------------
  // One FeatureCollection file per layer; properties become one semantic table; an array-valued
  // property becomes several records. See HostSimGeoJson.cpp for the exact mapping.
  void LoadGeoJsonFolder(const std::wstring& Folder, const std::wstring& MapId,
                         const std::wstring& MapName);
  void SaveLayerGeoJson(const std::wstring& LayerId, const std::wstring& Path) const;
  // Every layer of the map into Folder (created when missing), one file per layer, named so
  // that LoadGeoJsonFolder reads them back in the map's order.
  void SaveGeoJsonFolder(const std::wstring& Folder, const std::wstring& MapId) const;
  // The deterministic sample city; Scale 1 makes a few thousand objects. See HostSimCity.h.
  void BuildSampleCity(double Scale = 1.0, uint32_t Seed = 1);

  struct TImpl;
  TImpl& Impl() { return *FImpl; }

private:
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace HostSim
