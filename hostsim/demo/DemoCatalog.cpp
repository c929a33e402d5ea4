#include "hostsim/demo/DemoCatalog.h"

#include "support/ComPtr.h"
#include "support/Errors.h"
#include "support/Strings.h"

namespace OrvexSim {

using Quorin::TComPtr;

namespace {

// A BSTR result as a wide string; null is an error.
template <class Call>
std::wstring WideText(const char* Method, Call&& C) {
  Quorin::TBStr Result;
  Quorin::HostInvoke(Method, [&]() { return C(Result.Put()); });
  if (!Result.Get()) Quorin::RaiseNullResult(Method);
  return Result.ToWideString();
}

#define DEMO_WSTR(Obj, Method) \
  WideText(#Method, [&](BSTR* Out_) { return Quorin::RawPtr(Obj)->Method(Out_); })

TTableInfo ReadTable(IOrvexDatabase* Database, IOrvexTable* Listed) {
  TTableInfo Info;
  Info.Id = DEMO_WSTR(Listed, GetId);
  Info.Name = DEMO_WSTR(Listed, GetName);
  Quorin::TBStr Id(Info.Id.c_str());
  auto Table = OX_INTF(IOrvexTable, Database, GetTable, Id.Get());
  auto Fields = OX_INTF(IOrvexFields, Table, GetFields);
  long Count = OX_VAL(long, Fields, GetCount);
  for (long I = 0; I < Count; ++I) {
    VARIANT Key;
    VariantInit(&Key);
    V_VT(&Key) = VT_I4;
    V_I4(&Key) = I;
    auto Field = OX_INTF(IOrvexField, Fields, GetItem, Key);
    Info.Fields.push_back({DEMO_WSTR(Field, GetId), DEMO_WSTR(Field, GetName)});
  }
  return Info;
}

}  // namespace

const TFieldInfo* TTableInfo::FindField(const std::wstring& FieldName) const {
  for (const auto& F : Fields)
    if (F.Name == FieldName) return &F;
  return nullptr;
}

const TTableInfo* TLayerInfo::FindTable(const std::wstring& TableName) const {
  for (const auto& T : Tables)
    if (T.Name == TableName) return &T;
  return nullptr;
}

const TTableInfo* TLayerInfo::TableById(const std::wstring& TableId) const {
  for (const auto& T : Tables)
    if (T.Id == TableId) return &T;
  return nullptr;
}

const TLayerInfo* TCatalog::FindLayer(const std::wstring& LayerName, const TMapInfo** Map) const {
  for (const auto& M : Maps)
    for (const auto& L : M.Layers)
      if (L.Name == LayerName) {
        if (Map) *Map = &M;
        return &L;
      }
  return nullptr;
}

const TLayerInfo* TCatalog::LayerById(const std::wstring& LayerId) const {
  for (const auto& M : Maps)
    for (const auto& L : M.Layers)
      if (L.Id == LayerId) return &L;
  return nullptr;
}

TCatalog ReadCatalog(IOrvexApplication* Application) {
  TCatalog Catalog;
  auto Database = OX_INTF(IOrvexDatabase, Application, GetDatabase);
  auto Project = OX_INTF(IOrvexProject, Application, GetProject);
  auto Document = OX_INTF(IOrvexDocument, Project, GetDocument);
  auto Cat = OX_INTF(IOrvexCatalog, Document, GetCatalog);
  auto Maps = OX_INTF(IOrvexMaps, Cat, GetMaps);
  long MapCount = OX_VAL(long, Maps, GetCount);
  for (long M = 0; M < MapCount; ++M) {
    auto Item = OX_INTF(IOrvexMapsItem, Maps, GetItem, M);
    if (OX_VAL(long, Item, GetKind) != 2) continue;
    auto Map = Item.Query<IOrvexMap>();
    if (!Map) continue;
    TMapInfo MapInfo;
    MapInfo.Id = DEMO_WSTR(Map, GetId);
    MapInfo.Name = DEMO_WSTR(Map, GetName);
    auto Layers = OX_INTF(IOrvexLayers, Map, GetLayers);
    long LayerCount = OX_VAL(long, Layers, GetCount);
    for (long L = 0; L < LayerCount; ++L) {
      auto Layer = OX_INTF(IOrvexLayer, Layers, GetItem, L);
      TLayerInfo LayerInfo;
      LayerInfo.Id = DEMO_WSTR(Layer, GetId);
      LayerInfo.Name = DEMO_WSTR(Layer, GetName);
      auto Tables = OX_INTF(IOrvexTables, Layer, GetTables);
      long TableCount = OX_VAL(long, Tables, GetCount);
      for (long T = 0; T < TableCount; ++T) {
        auto Table = OX_INTF(IOrvexTable, Tables, GetItem, T);
        LayerInfo.Tables.push_back(ReadTable(Database.Get(), Table.Get()));
      }
      MapInfo.Layers.push_back(std::move(LayerInfo));
    }
    Catalog.Maps.push_back(std::move(MapInfo));
  }
  return Catalog;
}

bool IsIdField(const std::wstring& FieldId) {
  return _wcsicmp(FieldId.c_str(), L"ID") == 0 || _wcsicmp(FieldId.c_str(), L"SIMID") == 0;
}

}  // namespace OrvexSim
