// The host's object model as a client sees it through the COM interfaces: navigation, the
// failures a host reports, the live-object count, the call log and late binding.
#include "HostSimTestUtil.h"

using namespace HostSimTest;

namespace {

class HostObjects : public HostFixture {
protected:
  TComPtr<IOrvexMaps> Maps() {
    TComPtr<IOrvexProject> Project;
    EXPECT_EQ(Host.Application()->GetProject(Project.Put()), S_OK);
    TComPtr<IOrvexDocument> Document;
    EXPECT_EQ(Project->GetDocument(Document.Put()), S_OK);
    TComPtr<IOrvexCatalog> Catalog;
    EXPECT_EQ(Document->GetCatalog(Catalog.Put()), S_OK);
    TComPtr<IOrvexMaps> Result;
    EXPECT_EQ(Catalog->GetMaps(Result.Put()), S_OK);
    return Result;
  }
  TComPtr<IOrvexLayer> Layer(const wchar_t* Id) {
    TComPtr<IOrvexLayer> Result;
    TBStr Name(Id);
    EXPECT_EQ(Database()->GetLayer(Name.Get(), Result.Put()), S_OK);
    return Result;
  }
  TComPtr<IOrvexTable> Table(const wchar_t* Id) {
    TComPtr<IOrvexTable> Result;
    TBStr Name(Id);
    EXPECT_EQ(Database()->GetTable(Name.Get(), Result.Put()), S_OK);
    return Result;
  }
};

TEST_F(HostObjects, CatalogueListsMapsAndOtherItems) {
  TComPtr<IOrvexMaps> List = Maps();
  LONG Count = 0;
  ASSERT_EQ(List->GetCount(&Count), S_OK);
  ASSERT_EQ(Count, 3);
  std::vector<LONG> Kinds;
  std::vector<std::wstring> Names;
  for (LONG I = 0; I < Count; ++I) {
    TComPtr<IOrvexMapsItem> Item;
    ASSERT_EQ(List->GetItem(I, Item.Put()), S_OK);
    LONG Kind = 0;
    ASSERT_EQ(Item->GetKind(&Kind), S_OK);
    Kinds.push_back(Kind);
    TComPtr<IOrvexMap> Map = Item.Query<IOrvexMap>();
    EXPECT_EQ(static_cast<bool>(Map), Kind == 2);
    if (!Map) continue;
    TBStr Name;
    ASSERT_EQ(Map->GetName(Name.Put()), S_OK);
    Names.push_back(Name.ToWideString());
    // Identity: the map is the same COM object as the item.
    TComPtr<IUnknown> A = Item.Query<IUnknown>(), B = Map.Query<IUnknown>();
    EXPECT_EQ(A.Get(), B.Get());
  }
  EXPECT_EQ(Kinds, (std::vector<LONG>{2, 5, 2}));
  EXPECT_EQ(Names, (std::vector<std::wstring>{L"Город", L"Пустая"}));
}

TEST_F(HostObjects, BrokenMapItemRefusesTheMapInterface) {
  Host.AddBrokenMapItem();
  TComPtr<IOrvexMapsItem> Item;
  ASSERT_EQ(Maps()->GetItem(3, Item.Put()), S_OK);
  LONG Kind = 0;
  ASSERT_EQ(Item->GetKind(&Kind), S_OK);
  EXPECT_EQ(Kind, 2);
  HRESULT Status = S_OK;
  EXPECT_FALSE(Item.Query<IOrvexMap>(&Status));
  EXPECT_EQ(Status, E_NOINTERFACE);
}

TEST_F(HostObjects, MapLayersTablesAndFieldsInOrder) {
  TComPtr<IOrvexMapsItem> Item;
  ASSERT_EQ(Maps()->GetItem(0, Item.Put()), S_OK);
  TComPtr<IOrvexMap> Map = Item.Query<IOrvexMap>();
  ASSERT_TRUE(Map);
  TBStr Text;
  ASSERT_EQ(Map->GetId(Text.Put()), S_OK);
  EXPECT_EQ(Text.ToWideString(), L"m1");
  TComPtr<IOrvexLayers> Layers;
  ASSERT_EQ(Map->GetLayers(Layers.Put()), S_OK);
  LONG Count = 0;
  ASSERT_EQ(Layers->GetCount(&Count), S_OK);
  ASSERT_EQ(Count, 2);
  TComPtr<IOrvexLayer> Houses;
  ASSERT_EQ(Layers->GetItem(0, Houses.Put()), S_OK);
  ASSERT_EQ(Houses->GetId(Text.Put()), S_OK);
  EXPECT_EQ(Text.ToWideString(), L"houses");
  ASSERT_EQ(Houses->GetName(Text.Put()), S_OK);
  EXPECT_EQ(Text.ToWideString(), L"Дома");
  TComPtr<IOrvexTables> Tables;
  ASSERT_EQ(Houses->GetTables(Tables.Put()), S_OK);
  ASSERT_EQ(Tables->GetCount(&Count), S_OK);
  ASSERT_EQ(Count, 2);
  TComPtr<IOrvexTable> Owners;
  ASSERT_EQ(Tables->GetItem(1, Owners.Put()), S_OK);
  ASSERT_EQ(Owners->GetName(Text.Put()), S_OK);
  EXPECT_EQ(Text.ToWideString(), L"Владельцы");

  // The real table has ID and SIMID first; the other was built without them.
  auto FieldIds = [&](IOrvexTable* T) {
    TComPtr<IOrvexFields> Fields;
    EXPECT_EQ(T->GetFields(Fields.Put()), S_OK);
    LONG N = 0;
    EXPECT_EQ(Fields->GetCount(&N), S_OK);
    std::vector<std::wstring> Ids;
    for (LONG I = 0; I < N; ++I) {
      VARIANT Key = IntVariant(I);
      TComPtr<IOrvexField> Field;
      EXPECT_EQ(Fields->GetItem(Key, Field.Put()), S_OK);
      TBStr Id;
      EXPECT_EQ(Field->GetId(Id.Put()), S_OK);
      Ids.push_back(Id.ToWideString());
    }
    return Ids;
  };
  EXPECT_EQ(FieldIds(Table(L"houses_sem").Get()),
            (std::vector<std::wstring>{L"ID", L"SIMID", L"FLOORS", L"NAME"}));
  EXPECT_EQ(FieldIds(Owners.Get()), (std::vector<std::wstring>{L"OWNER"}));
}

TEST_F(HostObjects, FieldsAreFoundByIndexOrIdentifier) {
  TComPtr<IOrvexFields> Fields;
  ASSERT_EQ(Table(L"houses_sem")->GetFields(Fields.Put()), S_OK);
  auto NameOf = [&](VARIANT Key) {
    TComPtr<IOrvexField> Field;
    HRESULT Hr = Fields->GetItem(Key, Field.Put());
    if (FAILED(Hr)) return std::wstring(L"failed");
    TBStr Name;
    EXPECT_EQ(Field->GetName(Name.Put()), S_OK);
    return Name.ToWideString();
  };
  TBStr Id(L"FLOORS");
  EXPECT_EQ(NameOf(TextVariant(Id.Get())), L"Этажность");
  EXPECT_EQ(NameOf(IntVariant(3)), L"Название");
  VARIANT Short;
  VariantInit(&Short);
  V_VT(&Short) = VT_I2;
  V_I2(&Short) = 2;
  EXPECT_EQ(NameOf(Short), L"Этажность");
  LONG Index = 3;
  VARIANT ByRef;
  VariantInit(&ByRef);
  V_VT(&ByRef) = VT_I4 | VT_BYREF;
  V_I4REF(&ByRef) = &Index;
  EXPECT_EQ(NameOf(ByRef), L"Название");
  // Identifiers are exact.
  TBStr Lower(L"floors");
  EXPECT_EQ(NameOf(TextVariant(Lower.Get())), L"failed");
}

TEST_F(HostObjects, FailuresSetErrorInfoEndingInAFullStop) {
  TComPtr<IOrvexDatabase> Db = Database();
  struct TCase {
    const char* What;
    std::function<HRESULT()> Call;
    HRESULT Status;
    std::wstring Description;
  };
  TBStr Unknown(L"nowhere");
  TComPtr<IOrvexLayer> L;
  TComPtr<IOrvexTable> T;
  TComPtr<IOrvexFields> Fields;
  ASSERT_EQ(Table(L"houses_sem")->GetFields(Fields.Put()), S_OK);
  TComPtr<IOrvexField> F;
  TComPtr<IOrvexLayers> Layers;
  TComPtr<IOrvexTables> Tables;
  ASSERT_EQ(Layer(L"houses")->GetTables(Tables.Put()), S_OK);
  TComPtr<IOrvexMapObject> O;
  TComPtr<IOrvexMapObjects> Objects = MapObjects();
  TComPtr<IOrvexMapsItem> Item;
  TComPtr<IOrvexMaps> List = Maps();
  TComPtr<IOrvexShapes> Shapes;
  ASSERT_EQ(Object(L"h1")->GetShapes(Shapes.Put()), S_OK);
  TComPtr<IOrvexShape> Shape;
  TBStr Missing(L"NOPE");
  VARIANT Real;
  VariantInit(&Real);
  V_VT(&Real) = VT_R8;
  V_R8(&Real) = 1.0;
  std::vector<TCase> Cases = {
      {"unknown layer", [&] { return Db->GetLayer(Unknown.Get(), L.Put()); }, E_INVALIDARG,
       L"Layer not found: nowhere."},
      {"unknown table", [&] { return Db->GetTable(Unknown.Get(), T.Put()); }, E_INVALIDARG,
       L"Table not found: nowhere."},
      {"unknown object", [&] { return Objects->GetObject(Unknown.Get(), O.Put()); }, E_INVALIDARG,
       L"Object not found: nowhere."},
      {"unknown field", [&] { return Fields->GetItem(TextVariant(Missing.Get()), F.Put()); },
       E_INVALIDARG, L"The table Дома has no field NOPE."},
      {"field index", [&] { return Fields->GetItem(IntVariant(4), F.Put()); }, DISP_E_BADINDEX,
       L"Index out of range: 4 (the table Дома has 4 fields)."},
      {"field key kind", [&] { return Fields->GetItem(Real, F.Put()); }, DISP_E_TYPEMISMATCH,
       L"A field is looked up by its index or its identifier."},
      {"table index", [&] { return Tables->GetItem(-1, T.Put()); }, DISP_E_BADINDEX,
       L"Index out of range: -1 (the layer Дома has 2 tables)."},
      {"map item index", [&] { return List->GetItem(3, Item.Put()); }, DISP_E_BADINDEX,
       L"Index out of range: 3 (the map list has 3 items)."},
      {"shape index", [&] { return Shapes->GetItem(1, Shape.Put()); }, DISP_E_BADINDEX,
       L"Index out of range: 1 (object h1 has 1 shape)."},
      {"null result", [&] { return Db->GetLayer(Unknown.Get(), nullptr); }, E_POINTER,
       L"Invalid pointer: IOrvexDatabase.GetLayer was given no place for its result."},
      {"reserved", [&] { return Db->Reserved1(); }, E_NOTIMPL,
       L"The method IOrvexDatabase.Reserved1 is not implemented."},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.What);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(Case.Call(), Case.Status);
    TErrorText Error = TakeError();
    EXPECT_TRUE(Error.Present);
    EXPECT_EQ(Error.Description, Case.Description);
    EXPECT_EQ(Error.Source, L"Orvex");
  }
  EXPECT_FALSE(L);
  EXPECT_FALSE(T);
  EXPECT_FALSE(O);
  EXPECT_TRUE(SupportsErrorInfo(Db.Get(), IID_IOrvexDatabase));
  EXPECT_FALSE(SupportsErrorInfo(Db.Get(), IID_IOrvexLayer));
}

TEST_F(HostObjects, RealHostModeKnowsOnlyThePublishedIdentifiers) {
  Host.SetRealHostMode(true);
  TComPtr<IOrvexDatabase> Db = Database();
  EXPECT_FALSE(Db.Query<IOrvexDatabase>());
  EXPECT_TRUE(Db.Query<IDispatch>());
  EXPECT_TRUE(Db.Query<ISupportErrorInfo>());
  EXPECT_FALSE(SupportsErrorInfo(Db.Get(), IID_IOrvexDatabase));
  TComPtr<IOrvexApplication> App = Host.Application();
  EXPECT_TRUE(App.Query<IOrvexApplication>());
  EXPECT_TRUE(SupportsErrorInfo(App.Get(), IID_IOrvexApplication));
  TComPtr<IOrvexMaps> List = Maps();
  EXPECT_TRUE(List.Query<IOrvexMaps>());
  TComPtr<IOrvexMapsItem> Item;
  ASSERT_EQ(List->GetItem(0, Item.Put()), S_OK);
  EXPECT_FALSE(Item.Query<IOrvexMapsItem>());
  EXPECT_TRUE(Item.Query<IOrvexMap>());  // the map behind a map-list item of kind 2
}

TEST_F(HostObjects, ProjectViewAndActiveLayerMayBeAbsent) {
  TComPtr<IOrvexApplication> App = Host.Application();
  auto ActiveLayerId = [&]() -> std::wstring {
    TComPtr<IOrvexProject> Project;
    EXPECT_EQ(App->GetProject(Project.Put()), S_OK);
    if (!Project) return L"(no project)";
    TComPtr<IOrvexView> View;
    EXPECT_EQ(Project->GetActiveView(View.Put()), S_OK);
    if (!View) return L"(no view)";
    TComPtr<IOrvexLayer> Active;
    EXPECT_EQ(View->GetActiveLayer(Active.Put()), S_OK);
    if (!Active) return L"(no layer)";
    TBStr Id;
    EXPECT_EQ(Active->GetId(Id.Put()), S_OK);
    return Id.ToWideString();
  };
  EXPECT_EQ(ActiveLayerId(), L"(no layer)");
  Host.SetActiveLayer(L"roads");
  EXPECT_EQ(ActiveLayerId(), L"roads");
  Host.SetActiveViewPresent(false);
  EXPECT_EQ(ActiveLayerId(), L"(no view)");
  Host.SetProjectPresent(false);
  EXPECT_EQ(ActiveLayerId(), L"(no project)");
  Host.SetProjectPresent(true);
  Host.SetActiveViewPresent(true);
  Host.SetActiveLayer(L"");
  EXPECT_EQ(ActiveLayerId(), L"(no layer)");
}

TEST_F(HostObjects, MainWindowHandle) {
  HWND Window = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_TRUE(Window);
  Host.SetMainWindow(Window);
  TComPtr<IOrvexMainWindow> Main;
  ASSERT_EQ(Host.Application()->GetMainWindow(Main.Put()), S_OK);
  LONG Handle = 0;
  ASSERT_EQ(Main->GetHandle(&Handle), S_OK);
  EXPECT_EQ(reinterpret_cast<HWND>(static_cast<LONG_PTR>(Handle)), Window);
  Main.Reset();
  DestroyWindow(Window);
}

TEST_F(HostObjects, QueryByLayersIsASnapshotInLayerOrder) {
  TComPtr<IOrvexMapObjects> Objects = MapObjects();
  TBStr LayerId(L"houses");
  TComPtr<IOrvexObjectQuery> Query;
  ASSERT_EQ(Objects->QueryByLayers(TextVariant(LayerId.Get()), Query.Put()), S_OK);
  Host.AddObject(L"houses", L"h4", L"POINT(1 1)");  // after the query: not in it
  std::vector<std::wstring> Ids;
  for (;;) {
    VARIANT_BOOL Eof = VARIANT_TRUE;
    ASSERT_EQ(Query->GetEof(&Eof), S_OK);
    if (Eof) break;
    TBStr Id;
    ASSERT_EQ(Query->GetObjectId(Id.Put()), S_OK);
    Ids.push_back(Id.ToWideString());
    ASSERT_EQ(Query->MoveNext(), S_OK);
  }
  EXPECT_EQ(Ids, (std::vector<std::wstring>{L"h1", L"h2", L"h3"}));
  TBStr Id;
  EXPECT_EQ(Query->GetObjectId(Id.Put()), E_FAIL);
  EXPECT_EQ(TakeError().Description, L"The query has no current object: it is at its end.");
  EXPECT_EQ(Query->MoveNext(), E_FAIL);
  EXPECT_EQ(TakeError().Description, L"The query is already at its end.");
  EXPECT_EQ(Host.ObjectIds(L"houses"),
            (std::vector<std::wstring>{L"h1", L"h2", L"h3", L"h4"}));

  // An empty layer gives an empty query; a layer list that is not text is refused.
  Host.AddLayer(L"m2", L"empty", L"Пусто");
  TBStr Empty(L"empty");
  ASSERT_EQ(Objects->QueryByLayers(TextVariant(Empty.Get()), Query.Put()), S_OK);
  VARIANT_BOOL Eof = VARIANT_FALSE;
  ASSERT_EQ(Query->GetEof(&Eof), S_OK);
  EXPECT_EQ(Eof, VARIANT_TRUE);
  EXPECT_EQ(Objects->QueryByLayers(IntVariant(1), Query.Put()), DISP_E_TYPEMISMATCH);
  EXPECT_FALSE(Query);
}

TEST_F(HostObjects, QueryOverAnArrayOfLayers) {
  SAFEARRAY* Array = SafeArrayCreateVector(VT_BSTR, 0, 2);
  ASSERT_TRUE(Array);
  LONG I = 0;
  TBStr Roads(L"roads"), Houses(L"houses");
  ASSERT_EQ(SafeArrayPutElement(Array, &I, Roads.Get()), S_OK);
  I = 1;
  ASSERT_EQ(SafeArrayPutElement(Array, &I, Houses.Get()), S_OK);
  VARIANT Layers;
  VariantInit(&Layers);
  V_VT(&Layers) = VT_ARRAY | VT_BSTR;
  V_ARRAY(&Layers) = Array;
  TComPtr<IOrvexObjectQuery> Query;
  EXPECT_EQ(MapObjects()->QueryByLayers(Layers, Query.Put()), S_OK);
  VariantClear(&Layers);
  std::vector<std::wstring> Ids;
  VARIANT_BOOL Eof = VARIANT_FALSE;
  while (Query->GetEof(&Eof) == S_OK && !Eof) {
    TBStr Id;
    ASSERT_EQ(Query->GetObjectId(Id.Put()), S_OK);
    Ids.push_back(Id.ToWideString());
    ASSERT_EQ(Query->MoveNext(), S_OK);
  }
  EXPECT_EQ(Ids, (std::vector<std::wstring>{L"r1", L"h1", L"h2", L"h3"}));
}

TEST_F(HostObjects, LiveObjectsAreCountedByInterfaceUntilReleased) {
  EXPECT_EQ(Host.LiveObjects(), 0);
  {
    TComPtr<IOrvexApplication> App = Host.Application();
    TComPtr<IOrvexDatabase> Db;
    ASSERT_EQ(App->GetDatabase(Db.Put()), S_OK);
    TComPtr<IOrvexDatabase> Db2;
    ASSERT_EQ(App->GetDatabase(Db2.Put()), S_OK);
    TComPtr<IOrvexLayer> L;
    TBStr Id(L"roads");
    ASSERT_EQ(Db->GetLayer(Id.Get(), L.Put()), S_OK);
    EXPECT_EQ(Host.LiveObjects(), 4);
    EXPECT_EQ(Host.LiveObjects(L"IOrvexApplication"), 1);
    EXPECT_EQ(Host.LiveObjects(L"IOrvexDatabase"), 2);
    EXPECT_EQ(Host.LiveObjects(L"IOrvexLayer"), 1);
    // Another reference to the same object is not another object.
    TComPtr<IOrvexLayer> Same = L;
    TComPtr<IDispatch> AsDispatch = L.Query<IDispatch>();
    EXPECT_EQ(Host.LiveObjects(L"IOrvexLayer"), 1);
    Db.Reset();
    EXPECT_EQ(Host.LiveObjects(L"IOrvexDatabase"), 1);
  }
  EXPECT_EQ(Host.LiveObjects(), 0);
  EXPECT_EQ(Host.LiveObjects(L"IOrvexDatabase"), 0);
}

TEST_F(HostObjects, ObjectsOutliveTheirHost) {
  TComPtr<IOrvexLayer> Kept;
  {
    HostSim::THost Other;
    BuildTown(Other);
    TBStr Id(L"houses");
    TComPtr<IOrvexDatabase> Db;
    ASSERT_EQ(Other.Application()->GetDatabase(Db.Put()), S_OK);
    ASSERT_EQ(Db->GetLayer(Id.Get(), Kept.Put()), S_OK);
  }
  TBStr Name;
  ASSERT_EQ(Kept->GetName(Name.Put()), S_OK);
  EXPECT_EQ(Name.ToWideString(), L"Дома");
}

TEST_F(HostObjects, CallLogRecordsEveryHostCallInOrder) {
  TComPtr<IOrvexApplication> App = Host.Application();
  Host.ClearCallLog();
  TComPtr<IOrvexDatabase> Db;
  ASSERT_EQ(App->GetDatabase(Db.Put()), S_OK);
  TBStr Id(L"houses_sem");
  TComPtr<IOrvexTable> T;
  ASSERT_EQ(Db->GetTable(Id.Get(), T.Put()), S_OK);
  TComPtr<IOrvexFields> Fields;
  ASSERT_EQ(T->GetFields(Fields.Put()), S_OK);
  TComPtr<IOrvexField> F;
  ASSERT_EQ(Fields->GetItem(IntVariant(2), F.Put()), S_OK);
  TComPtr<IOrvexMapObjects> Objects;
  ASSERT_EQ(Db->GetMapObjects(Objects.Put()), S_OK);
  TBStr Layer(L"houses"), Target(L"h1");
  TComPtr<IOrvexObjectQuery> Query;
  ASSERT_EQ(Objects->QueryByRelation(TextVariant(Layer.Get()), Target.Get(), 8, 8, Query.Put()), S_OK);
  TComPtr<IOrvexSemantics> Sem;
  TComPtr<IOrvexMapObject> Obj;
  ASSERT_EQ(Objects->GetObject(Target.Get(), Obj.Put()), S_OK);
  ASSERT_EQ(Obj->GetSemantics(Sem.Put()), S_OK);
  TBStr TableName(L"Дома"), Field(L"FLOORS");
  VARIANT Value = IntVariant(7);
  ASSERT_EQ(Sem->SetValue(TableName.Get(), Field.Get(), Value, 0), S_OK);
  // QueryInterface, AddRef and Release are not host calls.
  TComPtr<IDispatch> D = Sem.Query<IDispatch>();
  EXPECT_EQ(Host.CallLogText(),
            (std::vector<std::wstring>{
                L"IOrvexApplication.GetDatabase()",
                L"IOrvexDatabase.GetTable(\"houses_sem\")",
                L"IOrvexTable.GetFields()",
                L"IOrvexFields.GetItem(2)",
                L"IOrvexDatabase.GetMapObjects()",
                L"IOrvexMapObjects.QueryByRelation(\"houses\", \"h1\", 8, 8)",
                L"IOrvexMapObjects.GetObject(\"h1\")",
                L"IOrvexMapObject.GetSemantics()",
                L"IOrvexSemantics.SetValue(\"Дома\", \"FLOORS\", 7, 0)",
            }));
  EXPECT_EQ(Host.CallCount(), 9);
  ASSERT_EQ(Host.CallLog().size(), 9u);
  EXPECT_EQ(Host.CallLog()[1].Interface, L"IOrvexDatabase");
  EXPECT_EQ(Host.CallLog()[1].Method, L"GetTable");
  EXPECT_EQ(Host.CallLog()[1].Args, L"\"houses_sem\"");

  // Logging off: still counted, not recorded.
  Host.SetCallLogging(false);
  LONG Count = 0;
  ASSERT_EQ(Fields->GetCount(&Count), S_OK);
  EXPECT_EQ(Host.CallCount(), 10);
  EXPECT_EQ(Host.CallLog().size(), 9u);
  Host.ClearCallLog();
  EXPECT_EQ(Host.CallCount(), 0);
  EXPECT_TRUE(Host.CallLog().empty());
}

TEST_F(HostObjects, LateBoundCallsGoThroughTheTypeLibrary) {
  ASSERT_EQ(Host.TypeLibraryStatus(), S_OK);
  TComPtr<IDispatch> Disp = Layer(L"houses").Query<IDispatch>();
  ASSERT_TRUE(Disp);
  UINT Count = 0;
  ASSERT_EQ(Disp->GetTypeInfoCount(&Count), S_OK);
  EXPECT_EQ(Count, 1u);
  TComPtr<ITypeInfo> Info;
  ASSERT_EQ(Disp->GetTypeInfo(0, 0, Info.Put()), S_OK);
  TBStr TypeName;
  ASSERT_EQ(Info->GetDocumentation(MEMBERID_NIL, TypeName.Put(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(TypeName.ToWideString(), L"IOrvexLayer");

  Host.ClearCallLog();
  LPOLESTR Names[] = {const_cast<LPOLESTR>(L"GetName")};
  DISPID Id = 0;
  ASSERT_EQ(Disp->GetIDsOfNames(IID_NULL, Names, 1, LOCALE_USER_DEFAULT, &Id), S_OK);
  EXPECT_EQ(Id, 2);
  DISPPARAMS None = {nullptr, nullptr, 0, 0};
  VARIANT Result;
  VariantInit(&Result);
  ASSERT_EQ(Disp->Invoke(Id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &None, &Result,
                         nullptr, nullptr),
            S_OK);
  ASSERT_EQ(V_VT(&Result), VT_BSTR);
  EXPECT_EQ(Text(V_BSTR(&Result)), L"Дома");
  VariantClear(&Result);
  // The late-bound call is a host call like any other.
  EXPECT_EQ(Host.CallLogText(), (std::vector<std::wstring>{L"IOrvexLayer.GetName()"}));

  // A failure comes back as an exception with the host's description.
  TComPtr<IDispatch> DbDisp = Database().Query<IDispatch>();
  LPOLESTR GetLayerName[] = {const_cast<LPOLESTR>(L"GetLayer")};
  ASSERT_EQ(DbDisp->GetIDsOfNames(IID_NULL, GetLayerName, 1, LOCALE_USER_DEFAULT, &Id), S_OK);
  EXPECT_EQ(Id, 10);
  TBStr Unknown(L"xyz");
  VARIANT Arg = TextVariant(Unknown.Get());
  DISPPARAMS One = {&Arg, nullptr, 1, 0};
  EXCEPINFO Exception = {};
  HRESULT Hr = DbDisp->Invoke(Id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &One, &Result,
                              &Exception, nullptr);
  EXPECT_EQ(Hr, DISP_E_EXCEPTION);
  EXPECT_EQ(Exception.scode, E_INVALIDARG);
  EXPECT_EQ(Text(Exception.bstrDescription), L"Layer not found: xyz.");
  SysFreeString(Exception.bstrDescription);
  SysFreeString(Exception.bstrSource);
  SysFreeString(Exception.bstrHelpFile);
  VariantClear(&Result);
}

}  // namespace
