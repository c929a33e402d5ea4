// The map element trees of the wizard (FieldTreeView, the target field) and of the source dialog
// (SourceTreeView, the characteristic of a source): the host's maps, layers, semantic tables and
// fields, with the fields of a table loaded when its node is first expanded.
//
// Node kinds (TOrvexMetaObjectInfo.Kind) and payload identifiers:
//   1 map      the map's identifier            children: its layers
//   2 layer    the layer's identifier          children: its tables; in the source tree then
//                                              "Площадь" (4, "1") and "Периметр" (4, "2")
//   3 table    the table's identifier          children: its fields, loaded on expansion; until
//                                              then the node shows an expand button
//   4 field    the field's identifier          (never "ID" or "SIMID", in any letter case)
// Only a node of kind 4 is a valid choice. Children stand in the host's order.
//
// Every node carries one payload as its lParam, owned by the tree: the form that owns the tree
// passes TVN_DELETEITEM to MapElementTreeDeletion, which destroys it (also when the whole tree
// is cleared and when the control is destroyed with its form).
//
// Fill (FillFieldTree for the wizard, FillMapElementTree with a reference for the source dialog):
// clears the tree, adds every map with its layers and tables, then selects and reveals the
// preselected node:
//   wizard tree  the node of the view's active layer (its map expanded, the layer collapsed);
//   source tree  the child of the reference's layer whose identifier is the reference's
//                characteristic (letter case ignored): a field of the reference's table (whose
//                fields are loaded at once) or the layer's "Площадь"/"Периметр".
// Layer and table identifiers are compared exactly; a later match wins over an earlier one.
// A host without a project gives an empty tree; without an active view (or active layer)
// nothing is preselected. Host errors propagate: the nodes already added stay, nothing is
// selected.
//
// Expansion (ExpandTableNode, run by MapElementTreeExpanding for TVN_ITEMEXPANDING): only for a
// table node without children; it never refuses the expansion. A table that adds no field keeps
// its expand button and asks the host again on the next expansion.
//
// Host calls, in order: GetProject, GetDocument, GetCatalog, then GetMaps + GetCount once and
// GetMaps + GetItem + GetKind per item (kind 2: the map interface); per map GetName, GetId,
// GetLayers + GetCount, GetLayers + GetItem per layer; likewise layers and tables. The wizard
// first reads the active layer: GetProject, GetActiveView, GetActiveLayer, GetId. Expansion:
// GetDatabase, GetTable, GetFields + GetCount, then per field GetFields + GetItem, GetId (twice
// for the two excluded identifiers), GetName and GetId. Every reference is released at once.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>

#include "host/Orvex.h"

namespace Quorin {

// Node payload: what a node stands for.
class TOrvexMetaObjectInfo {
public:
  TOrvexMetaObjectInfo(uint8_t AKind, std::string AId);
  ~TOrvexMetaObjectInfo();
  TOrvexMetaObjectInfo(const TOrvexMetaObjectInfo&) = delete;
  TOrvexMetaObjectInfo& operator=(const TOrvexMetaObjectInfo&) = delete;

  uint8_t Kind;
  std::string Id;
};

// The node kinds.
enum TMetaObjectKind : uint8_t { mkMap = 1, mkLayer = 2, mkTable = 3, mkField = 4 };

// Payloads alive now (the trees own all of them).
long LiveNodePayloads() noexcept;

// The reference source of the source tree's preselection.
struct TSourceTreeReference {
  std::string LayerID;
  std::string TableID;
  std::string Characteristic;
};

// Indent of the children, in pixels at 120 dpi.
constexpr int MapElementTreeIndent = 19;

// The tree control's settings that its resource cannot hold (the indent).
void SetupMapElementTree(HWND Tree);

// The wizard's tree.
void FillFieldTree(HWND Tree, IOrvexApplication* App);
// The source dialog's tree, with the area and perimeter entries, preselecting Reference.
void FillMapElementTree(HWND Tree, IOrvexApplication* App, const TSourceTreeReference& Reference);

// The expanding routine: loads the fields of a table node that has no children yet.
void ExpandTableNode(HWND Tree, HTREEITEM Node, IOrvexApplication* App);

// The trees' notifications (A or W form): the expanding event runs ExpandTableNode for an
// expansion and allows it (result FALSE); the deletion event destroys the node's payload.
void MapElementTreeExpanding(const NMHDR& Header, IOrvexApplication* App);
void MapElementTreeDeletion(const NMHDR& Header);
bool IsTreeExpanding(const NMHDR& Header) noexcept;
bool IsTreeDeletion(const NMHDR& Header) noexcept;

// Deletes every node (the payloads go with them).
void ClearMapElementTree(HWND Tree);

// Nodes and their payloads.
TOrvexMetaObjectInfo* NodeInfo(HWND Tree, HTREEITEM Node);
HTREEITEM SelectedNode(HWND Tree) noexcept;
HTREEITEM ParentNode(HWND Tree, HTREEITEM Node) noexcept;
HTREEITEM FirstChildNode(HWND Tree, HTREEITEM Node) noexcept;  // Node null: the first top node
HTREEITEM NextSiblingNode(HWND Tree, HTREEITEM Node) noexcept;
std::string NodeText(HWND Tree, HTREEITEM Node);

}  // namespace Quorin
