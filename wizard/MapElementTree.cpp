#include "wizard/MapElementTree.h"

#include <atomic>
#include <memory>
#include <vector>

#include "support/ComPtr.h"
#include "support/Errors.h"
#include "support/Forms.h"
#include "support/Strings.h"
#include "support/Variants.h"

namespace Quorin {

namespace {

std::atomic<long> PayloadCount{0};

const char AreaText[] = "Площадь";
const char PerimeterText[] = "Периметр";
const char AreaId[] = "1";
const char PerimeterId[] = "2";

// Appends a child of Parent (TVI_ROOT when null) that owns Info; ShowsButton gives it an
// expand button before it has children.
HTREEITEM AddNode(HWND Tree, HTREEITEM Parent, const std::string& Text, uint8_t Kind,
                  std::string Id, bool ShowsButton = false) {
  auto Info = std::make_unique<TOrvexMetaObjectInfo>(Kind, std::move(Id));
  std::wstring WideText = ToWide(Text);
  TVINSERTSTRUCTW Insert = {};
  Insert.hParent = Parent ? Parent : TVI_ROOT;
  Insert.hInsertAfter = TVI_LAST;
  Insert.item.mask = TVIF_TEXT | TVIF_PARAM | (ShowsButton ? TVIF_CHILDREN : 0);
  Insert.item.pszText = WideText.data();
  Insert.item.lParam = reinterpret_cast<LPARAM>(Info.get());
  Insert.item.cChildren = ShowsButton ? 1 : 0;
  auto Node = reinterpret_cast<HTREEITEM>(
      SendMessageW(Tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&Insert)));
  if (!Node) throw Exception("Не удалось добавить узел дерева");
  Info.release();  // the node owns it now
  return Node;
}

class TTreeFill {
public:
  TTreeFill(HWND Tree, IOrvexApplication* App, const TSourceTreeReference* Reference)
      : FTree(Tree), FApp(App), FReference(Reference) {
    if (Reference) {
      FRefLayer = ToWide(Reference->LayerID);
      FRefTable = ToWide(Reference->TableID);
    }
  }

  void Run() {
    ClearMapElementTree(FTree);
    FSelect = nullptr;
    if (!FReference) ReadActiveLayer();

    TComPtr<IOrvexProject> Project = OX_INTF_OPT(IOrvexProject, FApp, GetProject);
    if (!Project) return;  // no project: no maps
    TComPtr<IOrvexDocument> Document = OX_INTF(IOrvexDocument, Project, GetDocument);
    TComPtr<IOrvexCatalog> Catalog = OX_INTF(IOrvexCatalog, Document, GetCatalog);
    long Count;
    {
      TComPtr<IOrvexMaps> Maps = OX_INTF(IOrvexMaps, Catalog, GetMaps);
      Count = OX_VAL(long, Maps, GetCount);
    }
    for (long I = 0; I < Count; ++I) {
      TComPtr<IOrvexMapsItem> Item;
      {
        TComPtr<IOrvexMaps> Maps = OX_INTF(IOrvexMaps, Catalog, GetMaps);
        Item = OX_INTF(IOrvexMapsItem, Maps, GetItem, I);
      }
      if (OX_VAL(long, Item, GetKind) != 2) continue;
      TComPtr<IOrvexMap> Map = Item.Query<IOrvexMap>();
      if (!Map) throw EIntfCastError("Interface not supported");
      AddMap(Map.Get());
    }

    if (FSelect) {
      SendMessageW(FTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(FSelect));
      SendMessageW(FTree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(FSelect));
    }
  }

private:
  void ReadActiveLayer() {
    FActiveLayer.clear();
    FHasActiveLayer = false;
    TComPtr<IOrvexProject> Project = OX_INTF_OPT(IOrvexProject, FApp, GetProject);
    if (!Project) return;
    TComPtr<IOrvexView> View = OX_INTF_OPT(IOrvexView, Project, GetActiveView);
    if (!View) return;
    TComPtr<IOrvexLayer> Layer = OX_INTF_OPT(IOrvexLayer, View, GetActiveLayer);
    if (!Layer) return;
    FActiveLayer = ToWide(OX_STR(Layer, GetId));
    FHasActiveLayer = true;
  }

  void AddMap(IOrvexMap* Map) {
    std::string Name = OX_STR(Map, GetName);
    HTREEITEM Node = AddNode(FTree, nullptr, Name, mkMap, OX_STR(Map, GetId));
    long Count;
    {
      TComPtr<IOrvexLayers> Layers = OX_INTF(IOrvexLayers, Map, GetLayers);
      Count = OX_VAL(long, Layers, GetCount);
    }
    for (long I = 0; I < Count; ++I) {
      TComPtr<IOrvexLayer> Layer;
      {
        TComPtr<IOrvexLayers> Layers = OX_INTF(IOrvexLayers, Map, GetLayers);
        Layer = OX_INTF(IOrvexLayer, Layers, GetItem, I);
      }
      AddLayer(Node, Layer.Get());
    }
  }

  void AddLayer(HTREEITEM MapNode, IOrvexLayer* Layer) {
    std::string Name = OX_STR(Layer, GetName);
    std::string Id = OX_STR(Layer, GetId);
    const std::wstring WideId = ToWide(Id);
    HTREEITEM Node = AddNode(FTree, MapNode, Name, mkLayer, Id);
    // An empty identifier to look for is no identifier at all.
    const bool Matched = FReference && !FRefLayer.empty() && WideId == FRefLayer;

    long Count;
    {
      TComPtr<IOrvexTables> Tables = OX_INTF(IOrvexTables, Layer, GetTables);
      Count = OX_VAL(long, Tables, GetCount);
    }
    for (long I = 0; I < Count; ++I) {
      TComPtr<IOrvexTable> Table;
      {
        TComPtr<IOrvexTables> Tables = OX_INTF(IOrvexTables, Layer, GetTables);
        Table = OX_INTF(IOrvexTable, Tables, GetItem, I);
      }
      AddTable(Node, Table.Get(), Matched);
    }

    if (FReference) {
      AddNode(FTree, Node, AreaText, mkField, AreaId);
      AddNode(FTree, Node, PerimeterText, mkField, PerimeterId);
      if (Matched) SearchCharacteristic(Node);
    } else if (FHasActiveLayer && WideId == FActiveLayer) {
      FSelect = Node;
    }
  }

  void AddTable(HTREEITEM LayerNode, IOrvexTable* Table, bool LayerMatched) {
    std::string Name = OX_STR(Table, GetName);
    std::string Id = OX_STR(Table, GetId);
    HTREEITEM Node = AddNode(FTree, LayerNode, Name, mkTable, Id, true);
    if (FReference && LayerMatched && !FRefTable.empty() && ToWide(Id) == FRefTable) {
      ExpandTableNode(FTree, Node, FApp);
      SearchCharacteristic(Node);
    }
  }

  void SearchCharacteristic(HTREEITEM Parent) {
    for (HTREEITEM Child = FirstChildNode(FTree, Parent); Child;
         Child = NextSiblingNode(FTree, Child)) {
      TOrvexMetaObjectInfo* Info = NodeInfo(FTree, Child);
      if (Info && Info->Kind == mkField && SameText(Info->Id, FReference->Characteristic)) {
        FSelect = Child;
        return;
      }
    }
  }

  HWND FTree;
  IOrvexApplication* FApp;
  const TSourceTreeReference* FReference;
  std::wstring FRefLayer, FRefTable;
  std::wstring FActiveLayer;
  bool FHasActiveLayer = false;
  HTREEITEM FSelect = nullptr;
};

const NMTREEVIEWW& TreeViewInfo(const NMHDR& Header) {
  // NMTREEVIEWA and NMTREEVIEWW agree in everything but the text pointers' types.
  return reinterpret_cast<const NMTREEVIEWW&>(Header);
}

}  // namespace

TOrvexMetaObjectInfo::TOrvexMetaObjectInfo(uint8_t AKind, std::string AId)
    : Kind(AKind), Id(std::move(AId)) {
  ++PayloadCount;
}

TOrvexMetaObjectInfo::~TOrvexMetaObjectInfo() { --PayloadCount; }

long LiveNodePayloads() noexcept { return PayloadCount.load(); }

void SetupMapElementTree(HWND Tree) {
  SendMessageW(Tree, TVM_SETINDENT, static_cast<WPARAM>(ScalePixels(MapElementTreeIndent)), 0);
}

void FillFieldTree(HWND Tree, IOrvexApplication* App) { TTreeFill(Tree, App, nullptr).Run(); }

void FillMapElementTree(HWND Tree, IOrvexApplication* App, const TSourceTreeReference& Reference) {
  TTreeFill(Tree, App, &Reference).Run();
}

void ExpandTableNode(HWND Tree, HTREEITEM Node, IOrvexApplication* App) {
  TOrvexMetaObjectInfo* Info = NodeInfo(Tree, Node);
  if (!Info || Info->Kind != mkTable || FirstChildNode(Tree, Node)) return;
  TComPtr<IOrvexDatabase> Database = OX_INTF(IOrvexDatabase, App, GetDatabase);
  TBStr TableId(Info->Id);
  TComPtr<IOrvexTable> Table = OX_INTF(IOrvexTable, Database, GetTable, TableId.Get());
  long Count;
  {
    TComPtr<IOrvexFields> Fields = OX_INTF(IOrvexFields, Table, GetFields);
    Count = OX_VAL(long, Fields, GetCount);
  }
  for (long I = 0; I < Count; ++I) {
    TComPtr<IOrvexField> Field;
    {
      TComPtr<IOrvexFields> Fields = OX_INTF(IOrvexFields, Table, GetFields);
      TVariant Key = TVariant::Int32(static_cast<int32_t>(I));
      Field = OX_INTF(IOrvexField, Fields, GetItem, Key.Ref());
    }
    if (SameText(OX_STR(Field, GetId), "ID") || SameText(OX_STR(Field, GetId), "SIMID")) continue;
    std::string Name = OX_STR(Field, GetName);
    AddNode(Tree, Node, Name, mkField, OX_STR(Field, GetId));
  }
}

bool IsTreeExpanding(const NMHDR& Header) noexcept {
  return Header.code == TVN_ITEMEXPANDINGW || Header.code == TVN_ITEMEXPANDINGA;
}

bool IsTreeDeletion(const NMHDR& Header) noexcept {
  return Header.code == TVN_DELETEITEMW || Header.code == TVN_DELETEITEMA;
}

void MapElementTreeExpanding(const NMHDR& Header, IOrvexApplication* App) {
  const NMTREEVIEWW& Info = TreeViewInfo(Header);
  if ((Info.action & TVE_TOGGLE) != TVE_EXPAND) return;
  ExpandTableNode(Header.hwndFrom, Info.itemNew.hItem, App);
}

void MapElementTreeDeletion(const NMHDR& Header) {
  delete reinterpret_cast<TOrvexMetaObjectInfo*>(TreeViewInfo(Header).itemOld.lParam);
}

void ClearMapElementTree(HWND Tree) {
  SendMessageW(Tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
}

TOrvexMetaObjectInfo* NodeInfo(HWND Tree, HTREEITEM Node) {
  if (!Node) return nullptr;
  TVITEMW Item = {};
  Item.mask = TVIF_HANDLE | TVIF_PARAM;
  Item.hItem = Node;
  if (!SendMessageW(Tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&Item))) return nullptr;
  return reinterpret_cast<TOrvexMetaObjectInfo*>(Item.lParam);
}

HTREEITEM SelectedNode(HWND Tree) noexcept {
  return reinterpret_cast<HTREEITEM>(SendMessageW(Tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

HTREEITEM ParentNode(HWND Tree, HTREEITEM Node) noexcept {
  if (!Node) return nullptr;
  return reinterpret_cast<HTREEITEM>(
      SendMessageW(Tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(Node)));
}

HTREEITEM FirstChildNode(HWND Tree, HTREEITEM Node) noexcept {
  if (!Node)
    return reinterpret_cast<HTREEITEM>(SendMessageW(Tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  return reinterpret_cast<HTREEITEM>(
      SendMessageW(Tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(Node)));
}

HTREEITEM NextSiblingNode(HWND Tree, HTREEITEM Node) noexcept {
  if (!Node) return nullptr;
  return reinterpret_cast<HTREEITEM>(
      SendMessageW(Tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(Node)));
}

std::string NodeText(HWND Tree, HTREEITEM Node) {
  std::vector<wchar_t> Buffer(512);
  TVITEMW Item = {};
  Item.mask = TVIF_HANDLE | TVIF_TEXT;
  Item.hItem = Node;
  Item.pszText = Buffer.data();
  Item.cchTextMax = static_cast<int>(Buffer.size());
  if (!SendMessageW(Tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&Item))) return std::string();
  return ToAnsi(Item.pszText);
}

}  // namespace Quorin
