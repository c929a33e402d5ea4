#include "hostsim/HostSimObjects.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

namespace HostSim {

namespace {

template <class I> struct TIntfOf;
#define HS_INTF(I, K) \
  template <> struct TIntfOf<I> { static constexpr TIntf Value = K; };
HS_INTF(IOrvexApplication, iApplication)
HS_INTF(IOrvexMainWindow, iMainWindow)
HS_INTF(IOrvexDatabase, iDatabase)
HS_INTF(IOrvexProject, iProject)
HS_INTF(IOrvexDocument, iDocument)
HS_INTF(IOrvexCatalog, iCatalog)
HS_INTF(IOrvexView, iView)
HS_INTF(IOrvexMaps, iMaps)
HS_INTF(IOrvexMapsItem, iMapsItem)
HS_INTF(IOrvexMap, iMap)
HS_INTF(IOrvexLayers, iLayers)
HS_INTF(IOrvexLayer, iLayer)
HS_INTF(IOrvexTables, iTables)
HS_INTF(IOrvexTable, iTable)
HS_INTF(IOrvexFields, iFields)
HS_INTF(IOrvexField, iField)
HS_INTF(IOrvexMapObjects, iMapObjects)
HS_INTF(IOrvexObjectQuery, iObjectQuery)
HS_INTF(IOrvexMapObject, iMapObject)
HS_INTF(IOrvexShapes, iShapes)
HS_INTF(IOrvexShape, iShape)
HS_INTF(IOrvexContour, iContour)
HS_INTF(IOrvexStyle, iStyle)
HS_INTF(IOrvexSemantics, iSemantics)
#undef HS_INTF

// ---- results ----------------------------------------------------------------------------

struct TNoResult {};

template <class T> inline void ResetOut(T** Out) noexcept { *Out = nullptr; }  // interfaces, BSTR
inline void ResetOut(LONG* Out) noexcept { *Out = 0; }
inline void ResetOut(double* Out) noexcept { *Out = 0; }

// A double handed to the client bit for bit. A copy through the x87 (fld, fstp) is exact on a
// processor whatever its precision control, but qemu's emulation rounds the load to the
// precision in force: under a host's 24-bit state the client would be handed a rounded value.
inline void PutReal(double* Out, const double& Value) noexcept {
  uint32_t Words[2];
  std::memcpy(Words, &Value, sizeof Words);
  std::memcpy(Out, Words, sizeof Words);
}
inline void ResetOut(VARIANT_BOOL* Out) noexcept { *Out = VARIANT_FALSE; }
inline void ResetOut(VARIANT* Out) noexcept { VariantInit(Out); }
inline void ResetOut(TNoResult*) noexcept {}

BSTR NewBStr(const std::wstring& Text) {
  BSTR S = SysAllocStringLen(Text.data(), static_cast<UINT>(Text.size()));
  if (!S) throw std::bad_alloc();
  return S;
}

void SetHostErrorInfo(TIntf Intf, const std::wstring& Description) noexcept {
  SetErrorInfo(0, nullptr);
  if (Description.empty()) return;
  Quorin::TComPtr<ICreateErrorInfo> Create;
  if (FAILED(CreateErrorInfo(Create.Put())) || !Create) return;
  Create->SetGUID(IntfIid(Intf));
  Create->SetSource(const_cast<LPOLESTR>(L"Orvex"));
  Create->SetDescription(const_cast<LPOLESTR>(Description.c_str()));
  Quorin::TComPtr<IErrorInfo> Info = Create.Query<IErrorInfo>();
  if (Info) SetErrorInfo(0, Info.Get());
}

inline std::wstring JoinArgs() { return std::wstring(); }
template <class A, class... R>
std::wstring JoinArgs(const A& First, const R&... Rest) {
  std::wstring Text = ArgText(First);
  ((Text += L", ", Text += ArgText(Rest)), ...);
  return Text;
}

const auto NoArgs = [] { return std::wstring(); };

// An owned VARIANT for the duration of one call.
struct TVar {
  VARIANT V;
  TVar() noexcept { VariantInit(&V); }
  ~TVar() { VariantClear(&V); }
  TVar(const TVar&) = delete;
  TVar& operator=(const TVar&) = delete;
};

std::wstring Plural(long N, const wchar_t* One, const wchar_t* Many) {
  return std::to_wstring(N) + L" " + (N == 1 ? One : Many);
}

void CheckIndex(long Index, size_t Count, const wchar_t* What, const wchar_t* One,
                const wchar_t* Many) {
  if (Index < 0 || static_cast<size_t>(Index) >= Count)
    Fail(DISP_E_BADINDEX, L"Index out of range: " + std::to_wstring(Index) + L" (" + What +
                              L" has " + Plural(static_cast<long>(Count), One, Many) + L").");
}

// ---- the object base --------------------------------------------------------------------

// Reference count, the model, and the live-object count of one host object.
class TCore {
public:
  TCore(std::shared_ptr<TModel> Model, TIntf Kind) noexcept : FModel(std::move(Model)), FKind(Kind) {
    FModel->ObjectCreated(FKind);
  }
  virtual ~TCore() { FModel->ObjectDestroyed(FKind); }
  TCore(const TCore&) = delete;
  TCore& operator=(const TCore&) = delete;

  TModel& Model() const noexcept { return *FModel; }

protected:
  // One host call: counted, logged, checked for an injected fault, its result pointer checked,
  // then Body; a THostError from Body becomes the call's status and error information.
  template <class R, class A, class B>
  HRESULT Serve(TIntf Intf, const wchar_t* Method, R* Out, A&& Args, B&& Body) noexcept {
    struct TTimer {
      TModel& M;
      long long Begin;
      ~TTimer() {
        if (M.Timing) M.CallTicks += TModel::TicksNow() - Begin;
      }
    } Timer{*FModel, FModel->Timing ? TModel::TicksNow() : 0};
    if (Out) ResetOut(Out);
    try {
      if (const TFault* Fault = FModel->BeginCall(Intf, Method, Args)) {
        if (Fault->NullResult) return S_OK;
        SetHostErrorInfo(Intf, Fault->Description);
        return Fault->Status;
      }
      if constexpr (!std::is_same_v<R, TNoResult>) {
        if (!Out)
          Fail(E_POINTER, std::wstring(L"Invalid pointer: ") + IntfName(Intf) + L"." + Method +
                              L" was given no place for its result.");
      }
      Body();
      return S_OK;
    } catch (const THostError& E) {
      SetHostErrorInfo(Intf, E.Description);
      return E.Status;
    } catch (const std::bad_alloc&) {
      SetHostErrorInfo(Intf, L"Not enough memory.");
      return E_OUTOFMEMORY;
    } catch (...) {
      SetHostErrorInfo(Intf, L"Internal error of the host.");
      return E_UNEXPECTED;
    }
  }

  HRESULT NotImplemented(TIntf Intf, const wchar_t* Method) noexcept {
    return Serve(Intf, Method, static_cast<TNoResult*>(nullptr), NoArgs, [&] {
      Fail(E_NOTIMPL, std::wstring(L"The method ") + IntfName(Intf) + L"." + Method +
                          L" is not implemented.");
    });
  }

  std::shared_ptr<TModel> FModel;
  TIntf FKind;
  LONG FRefs = 1;
};

// IDispatch of one interface, served from the host type library through the interface's
// vtable.
template <class I, class Self>
class TFacet : public I {
public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* Count) override {
    if (!Count) return E_POINTER;
    *Count = FacetModel().DispatchInfo(Kind) ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT Index, LCID, ITypeInfo** Result) override {
    if (!Result) return E_POINTER;
    *Result = nullptr;
    if (Index != 0) return DISP_E_BADINDEX;
    ITypeInfo* Info = FacetModel().DispatchInfo(Kind);
    if (!Info) return FacetModel().TypeLibStatus();
    Quorin::TComPtr<ITypeInfo>(Info).CopyTo(Result);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* Names, UINT Count, LCID,
                                          DISPID* Ids) override {
    ITypeInfo* Info = FacetModel().VtableInfo(Kind);
    if (!Info) return FacetModel().TypeLibStatus();
    return DispGetIDsOfNames(Info, Names, Count, Ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID Id, REFIID, LCID, WORD Flags, DISPPARAMS* Params,
                                   VARIANT* Result, EXCEPINFO* Exception,
                                   UINT* ArgError) override {
    ITypeInfo* Info = FacetModel().VtableInfo(Kind);
    if (!Info) return FacetModel().TypeLibStatus();
    return DispInvoke(static_cast<I*>(this), Info, Id, Flags, Params, Result, Exception,
                      ArgError);
  }

private:
  static constexpr TIntf Kind = TIntfOf<I>::Value;
  TModel& FacetModel() { return static_cast<Self*>(this)->Model(); }
};

template <class First, class... Rest> struct TFirstOf { using Type = First; };

// A COM object that offers the interfaces Is (the first is its identity and its IDispatch).
template <class Self, class... Is>
class TComObject : public TCore, public TFacet<Is, Self>..., public ISupportErrorInfo {
  using TPrimary = typename TFirstOf<Is...>::Type;

public:
  explicit TComObject(std::shared_ptr<TModel> Model) noexcept
      : TCore(std::move(Model), TIntfOf<TPrimary>::Value) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Result) override {
    if (FModel->FpuCheck) FModel->CheckFpu(THost::frUnknown);
    if (!Result) return E_POINTER;
    *Result = nullptr;
    if (Iid == IID_IUnknown || Iid == IID_IDispatch)
      *Result = static_cast<TPrimary*>(this);
    else if (Iid == IID_ISupportErrorInfo)
      *Result = static_cast<ISupportErrorInfo*>(this);
    else if (Answers(Iid))
      ((Iid == IntfIid(TIntfOf<Is>::Value) ? (*Result = static_cast<Is*>(this), true) : false) ||
       ...);
    if (!*Result) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    if (FModel->FpuCheck) FModel->CheckFpu(THost::frUnknown);
    return InterlockedIncrement(&FRefs);
  }
  ULONG STDMETHODCALLTYPE Release() override {
    if (FModel->FpuCheck) FModel->CheckFpu(THost::frUnknown);
    LONG N = InterlockedDecrement(&FRefs);
    if (N == 0) {
      if (FModel->Timing) {
        std::shared_ptr<TModel> Model = FModel;
        const long long Begin = TModel::TicksNow();
        delete this;
        Model->CallTicks += TModel::TicksNow() - Begin;
      } else {
        delete this;
      }
    }
    return N;
  }
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID Iid) override {
    return Answers(Iid) && ((Iid == IntfIid(TIntfOf<Is>::Value)) || ...) ? S_OK : S_FALSE;
  }

private:
  // In the real-host mode only the identifiers that the real host publishes are known.
  bool Answers(REFIID Iid) const noexcept {
    return !FModel->RealHost || Iid == IID_IOrvexApplication || Iid == IID_IOrvexMaps ||
           Iid == IID_IOrvexShapes || Iid == IID_IOrvexMap;
  }

protected:
  // A new host object on the same model, handed out with its first reference.
  template <class T, class... A>
  T* New(A&&... Args) const {
    return new T(FModel, std::forward<A>(Args)...);
  }
};

#define HS_RESERVED(N) \
  HRESULT STDMETHODCALLTYPE Reserved##N() override { return NotImplemented(Me, L"Reserved" #N); }

// ---- objects ----------------------------------------------------------------------------

class TStyle final : public TComObject<TStyle, IOrvexStyle> {
  static constexpr TIntf Me = iStyle;
  const TObjectData* FObject;
  size_t FShape;

public:
  TStyle(std::shared_ptr<TModel> M, const TObjectData* Object, size_t Shape)
      : TComObject(std::move(M)), FObject(Object), FShape(Shape) {}
  HS_RESERVED(1) HS_RESERVED(2) HS_RESERVED(3)
  HRESULT STDMETHODCALLTYPE GetFlags(LONG* Flags) override {
    return Serve(Me, L"GetFlags", Flags, NoArgs, [&] { *Flags = FObject->Shapes[FShape].Flags; });
  }
};

class TContour final : public TComObject<TContour, IOrvexContour> {
  static constexpr TIntf Me = iContour;
  const TObjectData* FObject;
  size_t FShape;

public:
  TContour(std::shared_ptr<TModel> M, const TObjectData* Object, size_t Shape)
      : TComObject(std::move(M)), FObject(Object), FShape(Shape) {}
  HS_RESERVED(1) HS_RESERVED(2) HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5)
  HS_RESERVED(6) HS_RESERVED(7) HS_RESERVED(8) HS_RESERVED(9) HS_RESERVED(10)
  HRESULT STDMETHODCALLTYPE GetPerimeter(double* Perimeter) override {
    return Serve(Me, L"GetPerimeter", Perimeter, NoArgs,
                 [&] { PutReal(Perimeter, FObject->Shapes[FShape].Length); });
  }
};

class TShape final : public TComObject<TShape, IOrvexShape> {
  static constexpr TIntf Me = iShape;
  const TObjectData* FObject;
  size_t FShape;

public:
  TShape(std::shared_ptr<TModel> M, const TObjectData* Object, size_t Shape)
      : TComObject(std::move(M)), FObject(Object), FShape(Shape) {}
  HRESULT STDMETHODCALLTYPE GetContour(IOrvexContour** Contour) override {
    return Serve(Me, L"GetContour", Contour, NoArgs,
                 [&] { *Contour = New<TContour>(FObject, FShape); });
  }
  HS_RESERVED(2) HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5) HS_RESERVED(6)
  HRESULT STDMETHODCALLTYPE GetStyle(IOrvexStyle** Style) override {
    return Serve(Me, L"GetStyle", Style, NoArgs, [&] { *Style = New<TStyle>(FObject, FShape); });
  }
};

class TShapes final : public TComObject<TShapes, IOrvexShapes> {
  static constexpr TIntf Me = iShapes;
  const TObjectData* FObject;

public:
  TShapes(std::shared_ptr<TModel> M, const TObjectData* Object)
      : TComObject(std::move(M)), FObject(Object) {}
  HRESULT STDMETHODCALLTYPE GetCount(LONG* Count) override {
    return Serve(Me, L"GetCount", Count, NoArgs,
                 [&] { *Count = static_cast<LONG>(FObject->Shapes.size()); });
  }
  HRESULT STDMETHODCALLTYPE GetItem(LONG Index, IOrvexShape** Shape) override {
    return Serve(Me, L"GetItem", Shape, [&] { return JoinArgs(Index); }, [&] {
      CheckIndex(Index, FObject->Shapes.size(), (L"object " + FObject->Id).c_str(), L"shape",
                 L"shapes");
      *Shape = New<TShape>(FObject, static_cast<size_t>(Index));
    });
  }
  HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5) HS_RESERVED(6) HS_RESERVED(7)
};

class TSemantics final : public TComObject<TSemantics, IOrvexSemantics> {
  static constexpr TIntf Me = iSemantics;
  TObjectData* FObject;

  TTableData& TableNamed(BSTR Name) const {
    UINT Length = Name ? SysStringLen(Name) : 0;
    TTableData* Table = FObject->Layer->TableByName(Name ? Name : L"", Length);
    if (!Table)
      Fail(E_INVALIDARG, L"The layer " + FObject->Layer->Name + L" has no table named " +
                             TextOf(Name) + L".");
    return *Table;
  }
  static size_t FieldOf(const TTableData& Table, BSTR FieldId) {
    long Index = Table.FieldIndex(FieldId ? FieldId : L"", FieldId ? SysStringLen(FieldId) : 0);
    if (Index < 0)
      Fail(E_INVALIDARG, L"The table " + Table.Name + L" has no field " + TextOf(FieldId) + L".");
    return static_cast<size_t>(Index);
  }
  std::wstring RecordRangeText(long Record, size_t Count, const TTableData& Table) const {
    return L"Record index out of range: " + std::to_wstring(Record) + L" (the object " +
           FObject->Id + L" has " + Plural(static_cast<long>(Count), L"record", L"records") +
           L" in the table " + Table.Name + L")";
  }

public:
  TSemantics(std::shared_ptr<TModel> M, TObjectData* Object)
      : TComObject(std::move(M)), FObject(Object) {}
  HS_RESERVED(1)
  HRESULT STDMETHODCALLTYPE GetValue(BSTR TableName, BSTR FieldId, LONG Record,
                                     VARIANT* Value) override {
    return Serve(Me, L"GetValue", Value, [&] { return JoinArgs(TableName, FieldId, Record); }, [&] {
      TTableData& Table = TableNamed(TableName);
      size_t Field = FieldOf(Table, FieldId);
      size_t Count = Model().CurrentRecordCount(*FObject, Table);
      if (Record < 0 || static_cast<size_t>(Record) >= Count)
        Fail(DISP_E_BADINDEX, RecordRangeText(Record, Count, Table) + L".");
      const TValue* Held = Model().CurrentValue(*FObject, Table, static_cast<size_t>(Record), Field);
      if (Held) {
        HRESULT Hr = CopyVariant(Value, &Held->Ref());
        if (FAILED(Hr)) Fail(Hr, L"The value cannot be copied.");
      }
    });
  }
  HRESULT STDMETHODCALLTYPE SetValue(BSTR TableName, BSTR FieldId, VARIANT Value,
                                     LONG Record) override {
    return Serve(Me, L"SetValue", static_cast<TNoResult*>(nullptr),
                 [&] { return JoinArgs(TableName, FieldId, Value, Record); }, [&] {
      TTableData& Table = TableNamed(TableName);
      size_t Field = FieldOf(Table, FieldId);
      TValue Accepted = AcceptValue(Value);
      size_t Count = Model().CurrentRecordCount(*FObject, Table);
      // Record 0 of an object without a record of the table creates that record.
      bool Creates = Record == 0 && Count == 0;
      if (!Creates && (Record < 0 || static_cast<size_t>(Record) >= Count))
        Fail(DISP_E_BADINDEX, RecordRangeText(Record, Count, Table) +
                                  L"; only record 0 of an object without records can be added.");
      TModel& M = Model();
      M.WriteValue(*FObject, Table, static_cast<size_t>(Record), Field, std::move(Accepted));
      ++M.Writes;
      M.LastWriteObject = FObject;
      M.LastWriteTable = &Table;
      M.LastWriteField = Field;
    });
  }
  HS_RESERVED(4) HS_RESERVED(5)
  HRESULT STDMETHODCALLTYPE GetRecordCount(BSTR TableName, LONG* Count) override {
    return Serve(Me, L"GetRecordCount", Count, [&] { return JoinArgs(TableName); }, [&] {
      *Count = static_cast<LONG>(Model().CurrentRecordCount(*FObject, TableNamed(TableName)));
    });
  }
};

class TMapObject final : public TComObject<TMapObject, IOrvexMapObject> {
  static constexpr TIntf Me = iMapObject;
  TObjectData* FObject;

public:
  TMapObject(std::shared_ptr<TModel> M, TObjectData* Object)
      : TComObject(std::move(M)), FObject(Object) {}
  HS_RESERVED(1) HS_RESERVED(2) HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5)
  HRESULT STDMETHODCALLTYPE GetShapes(IOrvexShapes** Shapes) override {
    return Serve(Me, L"GetShapes", Shapes, NoArgs, [&] { *Shapes = New<TShapes>(FObject); });
  }
  HRESULT STDMETHODCALLTYPE GetSemantics(IOrvexSemantics** Semantics) override {
    return Serve(Me, L"GetSemantics", Semantics, NoArgs,
                 [&] { *Semantics = New<TSemantics>(FObject); });
  }
  HS_RESERVED(8) HS_RESERVED(9) HS_RESERVED(10) HS_RESERVED(11) HS_RESERVED(12)
  HRESULT STDMETHODCALLTYPE GetArea(double* Area) override {
    return Serve(Me, L"GetArea", Area, NoArgs, [&] { PutReal(Area, FObject->Area); });
  }
};

class TObjectQuery final : public TComObject<TObjectQuery, IOrvexObjectQuery> {
  static constexpr TIntf Me = iObjectQuery;
  std::vector<TObjectData*> FObjects;  // the result as it stood when the query was made
  size_t FPosition = 0;

public:
  TObjectQuery(std::shared_ptr<TModel> M, std::vector<TObjectData*> Objects)
      : TComObject(std::move(M)), FObjects(std::move(Objects)) {}
  HS_RESERVED(1) HS_RESERVED(2)
  HRESULT STDMETHODCALLTYPE GetEof(VARIANT_BOOL* Eof) override {
    return Serve(Me, L"GetEof", Eof, NoArgs,
                 [&] { *Eof = FPosition >= FObjects.size() ? VARIANT_TRUE : VARIANT_FALSE; });
  }
  HS_RESERVED(4) HS_RESERVED(5)
  HRESULT STDMETHODCALLTYPE GetObjectId(BSTR* Id) override {
    return Serve(Me, L"GetObjectId", Id, NoArgs, [&] {
      if (FPosition >= FObjects.size())
        Fail(E_FAIL, L"The query has no current object: it is at its end.");
      *Id = NewBStr(FObjects[FPosition]->Id);
    });
  }
  HS_RESERVED(7)
  HRESULT STDMETHODCALLTYPE MoveNext() override {
    return Serve(Me, L"MoveNext", static_cast<TNoResult*>(nullptr), NoArgs, [&] {
      if (FPosition >= FObjects.size()) Fail(E_FAIL, L"The query is already at its end.");
      ++FPosition;
    });
  }
};

class TMapObjects final : public TComObject<TMapObjects, IOrvexMapObjects> {
  static constexpr TIntf Me = iMapObjects;

  // The layers of a query: one identifier as text, or an array of them.
  std::vector<TLayerData*> LayersOf(const VARIANT& Layers) const {
    TVar V;
    if (FAILED(CopyVariantInd(&V.V, &Layers))) VariantInit(&V.V);
    std::vector<TLayerData*> Result;
    auto Add = [&](BSTR Id) {
      Result.push_back(&Model().LayerOf(Id ? Id : L"", Id ? SysStringLen(Id) : 0));
    };
    if (V_VT(&V.V) == VT_BSTR) {
      Add(V_BSTR(&V.V));
      return Result;
    }
    VARTYPE Element = V_VT(&V.V) & ~VT_ARRAY;
    SAFEARRAY* Array = (V_VT(&V.V) & VT_ARRAY) ? V_ARRAY(&V.V) : nullptr;
    bool Ok = Array && SafeArrayGetDim(Array) == 1 && (Element == VT_BSTR || Element == VT_VARIANT);
    if (Ok) {
      LONG Low = 0, High = -1;
      SafeArrayGetLBound(Array, 1, &Low);
      SafeArrayGetUBound(Array, 1, &High);
      for (LONG I = Low; Ok && I <= High; ++I) {
        TVar Item;
        if (Element == VT_BSTR) {
          BSTR S = nullptr;
          Ok = SUCCEEDED(SafeArrayGetElement(Array, &I, &S));
          V_VT(&Item.V) = VT_BSTR;
          V_BSTR(&Item.V) = S;
        } else {
          Ok = SUCCEEDED(SafeArrayGetElement(Array, &I, &Item.V)) && V_VT(&Item.V) == VT_BSTR;
        }
        if (Ok) Add(V_BSTR(&Item.V));
      }
    }
    if (!Ok)
      Fail(DISP_E_TYPEMISMATCH,
           L"The layers must be given as a layer identifier or an array of identifiers.");
    return Result;
  }

public:
  explicit TMapObjects(std::shared_ptr<TModel> M) : TComObject(std::move(M)) {}
  HRESULT STDMETHODCALLTYPE GetObject(BSTR Id, IOrvexMapObject** Object) override {
    return Serve(Me, L"GetObject", Object, [&] { return JoinArgs(Id); }, [&] {
      TObjectData& Data = Model().ObjectOf(Id ? Id : L"", Id ? SysStringLen(Id) : 0);
      *Object = New<TMapObject>(&Data);
    });
  }
  HS_RESERVED(2) HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5)
  HRESULT STDMETHODCALLTYPE ApplyChanges() override {
    return Serve(Me, L"ApplyChanges", static_cast<TNoResult*>(nullptr), NoArgs,
                 [&] { Model().ApplyChanges(); });
  }
  HS_RESERVED(7) HS_RESERVED(8) HS_RESERVED(9) HS_RESERVED(10) HS_RESERVED(11)
  HS_RESERVED(12) HS_RESERVED(13) HS_RESERVED(14)
  HRESULT STDMETHODCALLTYPE QueryByRelation(VARIANT Layers, BSTR ObjectId, LONG Relation,
                                            LONG Relation2, IOrvexObjectQuery** Query) override {
    return Serve(Me, L"QueryByRelation", Query,
                 [&] { return JoinArgs(Layers, ObjectId, Relation, Relation2); }, [&] {
      std::vector<TLayerData*> Sources = LayersOf(Layers);
      TObjectData& Target = Model().ObjectOf(ObjectId ? ObjectId : L"",
                                             ObjectId ? SysStringLen(ObjectId) : 0);
      if (Relation != RelIntersects && Relation != RelWithin && Relation != RelContains &&
          Relation != RelTouches)
        Fail(E_INVALIDARG, L"Unknown spatial relation: " + std::to_wstring(Relation) + L".");
      if (Relation2 != Relation)
        Fail(E_INVALIDARG, L"The spatial relation is given as " + std::to_wstring(Relation) +
                               L" and as " + std::to_wstring(Relation2) +
                               L"; both must be the same.");
      std::vector<TObjectData*> Found;
      for (TLayerData* Layer : Sources) {
        std::vector<TObjectData*> Part = QueryRelated(*Layer, Target, Relation, Model().SpatialIndex);
        Found.insert(Found.end(), Part.begin(), Part.end());
      }
      *Query = New<TObjectQuery>(std::move(Found));
    });
  }
  HS_RESERVED(16) HS_RESERVED(17)
  HRESULT STDMETHODCALLTYPE QueryByLayers(VARIANT Layers, IOrvexObjectQuery** Query) override {
    return Serve(Me, L"QueryByLayers", Query, [&] { return JoinArgs(Layers); }, [&] {
      std::vector<TObjectData*> Found;
      for (TLayerData* Layer : LayersOf(Layers))
        Found.insert(Found.end(), Layer->Objects.begin(), Layer->Objects.end());
      *Query = New<TObjectQuery>(std::move(Found));
    });
  }
};

class TField final : public TComObject<TField, IOrvexField> {
  static constexpr TIntf Me = iField;
  const TTableData* FTable;
  size_t FIndex;

public:
  TField(std::shared_ptr<TModel> M, const TTableData* Table, size_t Index)
      : TComObject(std::move(M)), FTable(Table), FIndex(Index) {}
  HRESULT STDMETHODCALLTYPE GetId(BSTR* Id) override {
    return Serve(Me, L"GetId", Id, NoArgs, [&] { *Id = NewBStr(FTable->Fields[FIndex].Id); });
  }
  HRESULT STDMETHODCALLTYPE GetName(BSTR* Name) override {
    return Serve(Me, L"GetName", Name, NoArgs, [&] { *Name = NewBStr(FTable->Fields[FIndex].Name); });
  }
};

class TFields final : public TComObject<TFields, IOrvexFields> {
  static constexpr TIntf Me = iFields;
  const TTableData* FTable;

public:
  TFields(std::shared_ptr<TModel> M, const TTableData* Table)
      : TComObject(std::move(M)), FTable(Table) {}
  HRESULT STDMETHODCALLTYPE GetCount(LONG* Count) override {
    return Serve(Me, L"GetCount", Count, NoArgs,
                 [&] { *Count = static_cast<LONG>(FTable->Fields.size()); });
  }
  // The key is an index (any integer kind) or a field identifier (text).
  HRESULT STDMETHODCALLTYPE GetItem(VARIANT Key, IOrvexField** Field) override {
    return Serve(Me, L"GetItem", Field, [&] { return JoinArgs(Key); }, [&] {
      TVar Holder;
      VARIANT& K = Holder.V;
      if (FAILED(CopyVariantInd(&K, &Key))) VariantInit(&K);
      long Index = -1;
      bool IsIndex = true;
      switch (V_VT(&K)) {
        case VT_I1: Index = V_I1(&K); break;
        case VT_I2: Index = V_I2(&K); break;
        case VT_I4: Index = V_I4(&K); break;
        case VT_INT: Index = V_INT(&K); break;
        case VT_UI1: Index = V_UI1(&K); break;
        case VT_UI2: Index = V_UI2(&K); break;
        case VT_UI4: Index = V_UI4(&K) > 0x7FFFFFFFu ? -1 : static_cast<long>(V_UI4(&K)); break;
        case VT_I8: Index = (V_I8(&K) < 0 || V_I8(&K) > 0x7FFFFFFF) ? -1 : static_cast<long>(V_I8(&K)); break;
        case VT_BSTR: IsIndex = false; break;
        default:
          Fail(DISP_E_TYPEMISMATCH, L"A field is looked up by its index or its identifier.");
      }
      if (IsIndex) {
        CheckIndex(Index, FTable->Fields.size(), (L"the table " + FTable->Name).c_str(), L"field",
                   L"fields");
      } else {
        std::wstring Id = TextOf(V_BSTR(&K));
        Index = FTable->FieldIndex(Id.data(), Id.size());
        if (Index < 0) Fail(E_INVALIDARG, L"The table " + FTable->Name + L" has no field " + Id + L".");
      }
      *Field = New<TField>(FTable, static_cast<size_t>(Index));
    });
  }
};

class TTable final : public TComObject<TTable, IOrvexTable> {
  static constexpr TIntf Me = iTable;
  const TTableData* FTable;

public:
  TTable(std::shared_ptr<TModel> M, const TTableData* Table)
      : TComObject(std::move(M)), FTable(Table) {}
  HRESULT STDMETHODCALLTYPE GetId(BSTR* Id) override {
    return Serve(Me, L"GetId", Id, NoArgs, [&] { *Id = NewBStr(FTable->Id); });
  }
  HRESULT STDMETHODCALLTYPE GetName(BSTR* Name) override {
    return Serve(Me, L"GetName", Name, NoArgs, [&] { *Name = NewBStr(FTable->Name); });
  }
  HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5) HS_RESERVED(6) HS_RESERVED(7)
  HRESULT STDMETHODCALLTYPE GetFields(IOrvexFields** Fields) override {
    return Serve(Me, L"GetFields", Fields, NoArgs, [&] { *Fields = New<TFields>(FTable); });
  }
};

class TTables final : public TComObject<TTables, IOrvexTables> {
  static constexpr TIntf Me = iTables;
  const TLayerData* FLayer;

public:
  TTables(std::shared_ptr<TModel> M, const TLayerData* Layer)
      : TComObject(std::move(M)), FLayer(Layer) {}
  HRESULT STDMETHODCALLTYPE GetCount(LONG* Count) override {
    return Serve(Me, L"GetCount", Count, NoArgs,
                 [&] { *Count = static_cast<LONG>(FLayer->Tables.size()); });
  }
  HRESULT STDMETHODCALLTYPE GetItem(LONG Index, IOrvexTable** Table) override {
    return Serve(Me, L"GetItem", Table, [&] { return JoinArgs(Index); }, [&] {
      CheckIndex(Index, FLayer->Tables.size(), (L"the layer " + FLayer->Name).c_str(), L"table",
                 L"tables");
      *Table = New<TTable>(FLayer->Tables[static_cast<size_t>(Index)]);
    });
  }
};

class TLayer final : public TComObject<TLayer, IOrvexLayer> {
  static constexpr TIntf Me = iLayer;
  const TLayerData* FLayer;

public:
  TLayer(std::shared_ptr<TModel> M, const TLayerData* Layer)
      : TComObject(std::move(M)), FLayer(Layer) {}
  HRESULT STDMETHODCALLTYPE GetId(BSTR* Id) override {
    return Serve(Me, L"GetId", Id, NoArgs, [&] { *Id = NewBStr(FLayer->Id); });
  }
  HRESULT STDMETHODCALLTYPE GetName(BSTR* Name) override {
    return Serve(Me, L"GetName", Name, NoArgs, [&] { *Name = NewBStr(FLayer->Name); });
  }
  HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5) HS_RESERVED(6) HS_RESERVED(7) HS_RESERVED(8)
  HS_RESERVED(9) HS_RESERVED(10) HS_RESERVED(11) HS_RESERVED(12) HS_RESERVED(13)
  HRESULT STDMETHODCALLTYPE GetTables(IOrvexTables** Tables) override {
    return Serve(Me, L"GetTables", Tables, NoArgs, [&] { *Tables = New<TTables>(FLayer); });
  }
};

class TLayers final : public TComObject<TLayers, IOrvexLayers> {
  static constexpr TIntf Me = iLayers;
  const TMapData* FMap;

public:
  TLayers(std::shared_ptr<TModel> M, const TMapData* Map) : TComObject(std::move(M)), FMap(Map) {}
  HRESULT STDMETHODCALLTYPE GetCount(LONG* Count) override {
    return Serve(Me, L"GetCount", Count, NoArgs,
                 [&] { *Count = static_cast<LONG>(FMap->Layers.size()); });
  }
  HRESULT STDMETHODCALLTYPE GetItem(LONG Index, IOrvexLayer** Layer) override {
    return Serve(Me, L"GetItem", Layer, [&] { return JoinArgs(Index); }, [&] {
      CheckIndex(Index, FMap->Layers.size(), (L"the map " + FMap->Name).c_str(), L"layer",
                 L"layers");
      *Layer = New<TLayer>(FMap->Layers[static_cast<size_t>(Index)]);
    });
  }
};

// A map-list item that is not a map, or a map item that refuses the map interface.
class TMapsItem final : public TComObject<TMapsItem, IOrvexMapsItem> {
  static constexpr TIntf Me = iMapsItem;
  long FKindCode;

public:
  TMapsItem(std::shared_ptr<TModel> M, long Kind) : TComObject(std::move(M)), FKindCode(Kind) {}
  HS_RESERVED(1) HS_RESERVED(2) HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5) HS_RESERVED(6)
  HS_RESERVED(7)
  HRESULT STDMETHODCALLTYPE GetKind(LONG* Kind) override {
    return Serve(Me, L"GetKind", Kind, NoArgs, [&] { *Kind = FKindCode; });
  }
};

// A map: a map-list item of kind 2 that also answers IOrvexMap.
class TMapItem final : public TComObject<TMapItem, IOrvexMapsItem, IOrvexMap> {
  static constexpr TIntf Me = iMapsItem;
  const TMapData* FMap;

public:
  TMapItem(std::shared_ptr<TModel> M, const TMapData* Map) : TComObject(std::move(M)), FMap(Map) {}
  // Reserved3 to Reserved7 stand in both interfaces; one method serves both.
  HS_RESERVED(1) HS_RESERVED(2) HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5) HS_RESERVED(6)
  HS_RESERVED(7) HS_RESERVED(8) HS_RESERVED(9) HS_RESERVED(10) HS_RESERVED(11) HS_RESERVED(12)
  HS_RESERVED(13) HS_RESERVED(14)
  HRESULT STDMETHODCALLTYPE GetKind(LONG* Kind) override {
    return Serve(iMapsItem, L"GetKind", Kind, NoArgs, [&] { *Kind = 2; });
  }
  HRESULT STDMETHODCALLTYPE GetId(BSTR* Id) override {
    return Serve(iMap, L"GetId", Id, NoArgs, [&] { *Id = NewBStr(FMap->Id); });
  }
  HRESULT STDMETHODCALLTYPE GetName(BSTR* Name) override {
    return Serve(iMap, L"GetName", Name, NoArgs, [&] { *Name = NewBStr(FMap->Name); });
  }
  HRESULT STDMETHODCALLTYPE GetLayers(IOrvexLayers** Layers) override {
    return Serve(iMap, L"GetLayers", Layers, NoArgs, [&] { *Layers = New<TLayers>(FMap); });
  }
};

class TMaps final : public TComObject<TMaps, IOrvexMaps> {
  static constexpr TIntf Me = iMaps;

public:
  explicit TMaps(std::shared_ptr<TModel> M) : TComObject(std::move(M)) {}
  HRESULT STDMETHODCALLTYPE GetCount(LONG* Count) override {
    return Serve(Me, L"GetCount", Count, NoArgs,
                 [&] { *Count = static_cast<LONG>(Model().Catalog.size()); });
  }
  HRESULT STDMETHODCALLTYPE GetItem(LONG Index, IOrvexMapsItem** Item) override {
    return Serve(Me, L"GetItem", Item, [&] { return JoinArgs(Index); }, [&] {
      CheckIndex(Index, Model().Catalog.size(), L"the map list", L"item", L"items");
      const TCatalogItem& Entry = Model().Catalog[static_cast<size_t>(Index)];
      if (Entry.Kind == 2 && Entry.Map && !Entry.RefusesMap)
        *Item = New<TMapItem>(Entry.Map);
      else
        *Item = New<TMapsItem>(Entry.Kind);
    });
  }
  HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5) HS_RESERVED(6) HS_RESERVED(7) HS_RESERVED(8)
};

class TCatalog final : public TComObject<TCatalog, IOrvexCatalog> {
  static constexpr TIntf Me = iCatalog;

public:
  explicit TCatalog(std::shared_ptr<TModel> M) : TComObject(std::move(M)) {}
  HS_RESERVED(1) HS_RESERVED(2) HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5) HS_RESERVED(6)
  HS_RESERVED(7) HS_RESERVED(8) HS_RESERVED(9) HS_RESERVED(10) HS_RESERVED(11) HS_RESERVED(12)
  HS_RESERVED(13) HS_RESERVED(14) HS_RESERVED(15) HS_RESERVED(16)
  HRESULT STDMETHODCALLTYPE GetMaps(IOrvexMaps** Maps) override {
    return Serve(Me, L"GetMaps", Maps, NoArgs, [&] { *Maps = New<TMaps>(); });
  }
};

class TDocument final : public TComObject<TDocument, IOrvexDocument> {
  static constexpr TIntf Me = iDocument;

public:
  explicit TDocument(std::shared_ptr<TModel> M) : TComObject(std::move(M)) {}
  HS_RESERVED(1) HS_RESERVED(2) HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5) HS_RESERVED(6)
  HS_RESERVED(7)
  HRESULT STDMETHODCALLTYPE GetCatalog(IOrvexCatalog** Catalog) override {
    return Serve(Me, L"GetCatalog", Catalog, NoArgs, [&] { *Catalog = New<TCatalog>(); });
  }
};

class TView final : public TComObject<TView, IOrvexView> {
  static constexpr TIntf Me = iView;

public:
  explicit TView(std::shared_ptr<TModel> M) : TComObject(std::move(M)) {}
  // S_OK and no layer when the view has no active layer.
  HRESULT STDMETHODCALLTYPE GetActiveLayer(IOrvexLayer** Layer) override {
    return Serve(Me, L"GetActiveLayer", Layer, NoArgs, [&] {
      if (Model().ActiveLayer) *Layer = New<TLayer>(Model().ActiveLayer);
    });
  }
};

class TProject final : public TComObject<TProject, IOrvexProject> {
  static constexpr TIntf Me = iProject;

public:
  explicit TProject(std::shared_ptr<TModel> M) : TComObject(std::move(M)) {}
  HRESULT STDMETHODCALLTYPE GetDocument(IOrvexDocument** Document) override {
    return Serve(Me, L"GetDocument", Document, NoArgs, [&] { *Document = New<TDocument>(); });
  }
  HS_RESERVED(2) HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5) HS_RESERVED(6) HS_RESERVED(7)
  HS_RESERVED(8) HS_RESERVED(9)
  // S_OK and no view when the project has no active view.
  HRESULT STDMETHODCALLTYPE GetActiveView(IOrvexView** View) override {
    return Serve(Me, L"GetActiveView", View, NoArgs, [&] {
      if (Model().ActiveViewPresent) *View = New<TView>();
    });
  }
};

class TDatabase final : public TComObject<TDatabase, IOrvexDatabase> {
  static constexpr TIntf Me = iDatabase;

public:
  explicit TDatabase(std::shared_ptr<TModel> M) : TComObject(std::move(M)) {}
  HS_RESERVED(1) HS_RESERVED(2) HS_RESERVED(3) HS_RESERVED(4) HS_RESERVED(5) HS_RESERVED(6)
  HS_RESERVED(7) HS_RESERVED(8) HS_RESERVED(9)
  HRESULT STDMETHODCALLTYPE GetLayer(BSTR Id, IOrvexLayer** Layer) override {
    return Serve(Me, L"GetLayer", Layer, [&] { return JoinArgs(Id); }, [&] {
      TLayerData& Data = Model().LayerOf(Id ? Id : L"", Id ? SysStringLen(Id) : 0);
      *Layer = New<TLayer>(&Data);
    });
  }
  HS_RESERVED(11) HS_RESERVED(12) HS_RESERVED(13)
  HRESULT STDMETHODCALLTYPE GetTable(BSTR Id, IOrvexTable** Table) override {
    return Serve(Me, L"GetTable", Table, [&] { return JoinArgs(Id); }, [&] {
      TTableData& Data = Model().TableOf(Id ? Id : L"", Id ? SysStringLen(Id) : 0);
      *Table = New<TTable>(&Data);
    });
  }
  HS_RESERVED(15) HS_RESERVED(16) HS_RESERVED(17) HS_RESERVED(18)
  HRESULT STDMETHODCALLTYPE GetMapObjects(IOrvexMapObjects** Objects) override {
    return Serve(Me, L"GetMapObjects", Objects, NoArgs, [&] { *Objects = New<TMapObjects>(); });
  }
};

class TMainWindow final : public TComObject<TMainWindow, IOrvexMainWindow> {
  static constexpr TIntf Me = iMainWindow;

public:
  explicit TMainWindow(std::shared_ptr<TModel> M) : TComObject(std::move(M)) {}
  HRESULT STDMETHODCALLTYPE GetHandle(LONG* Handle) override {
    return Serve(Me, L"GetHandle", Handle, NoArgs, [&] {
      *Handle = static_cast<LONG>(reinterpret_cast<LONG_PTR>(Model().MainWindow));
    });
  }
};

class TApplication final : public TComObject<TApplication, IOrvexApplication> {
  static constexpr TIntf Me = iApplication;

public:
  explicit TApplication(std::shared_ptr<TModel> M) : TComObject(std::move(M)) {}
  HRESULT STDMETHODCALLTYPE GetMainWindow(IOrvexMainWindow** Window) override {
    return Serve(Me, L"GetMainWindow", Window, NoArgs, [&] { *Window = New<TMainWindow>(); });
  }
  HS_RESERVED(2)
  HRESULT STDMETHODCALLTYPE GetDatabase(IOrvexDatabase** Database) override {
    return Serve(Me, L"GetDatabase", Database, NoArgs, [&] { *Database = New<TDatabase>(); });
  }
  // S_OK and no project when the host has none open.
  HRESULT STDMETHODCALLTYPE GetProject(IOrvexProject** Project) override {
    return Serve(Me, L"GetProject", Project, NoArgs, [&] {
      if (Model().ProjectPresent) *Project = New<TProject>();
    });
  }
  HS_RESERVED(5) HS_RESERVED(6) HS_RESERVED(7) HS_RESERVED(8) HS_RESERVED(9) HS_RESERVED(10)
  HS_RESERVED(11) HS_RESERVED(12) HS_RESERVED(13) HS_RESERVED(14)
};

#undef HS_RESERVED

}  // namespace

IOrvexApplication* NewApplicationObject(const std::shared_ptr<TModel>& Model) {
  return new TApplication(Model);
}

}  // namespace HostSim
