#include "TreeTestSupport.h"

#include "support/Strings.h"

using namespace Quorin;

namespace QuorinTest {

namespace {

std::wstring Text(HWND Tree, HTREEITEM Node) { return ToWide(NodeText(Tree, Node)); }

void DumpLevel(HWND Tree, HTREEITEM Parent, const std::wstring& Indent,
               std::vector<std::wstring>& Out) {
  for (HTREEITEM N = FirstChildNode(Tree, Parent); N; N = NextSiblingNode(Tree, N)) {
    TOrvexMetaObjectInfo* Info = NodeInfo(Tree, N);
    std::wstring Line = Indent + Text(Tree, N);
    if (Info)
      Line += L" [" + std::to_wstring(Info->Kind) + L":" + ToWide(Info->Id) + L"]";
    else
      Line += L" [no payload]";
    if (HasButton(Tree, N) && !FirstChildNode(Tree, N)) Line += L" +";
    Out.push_back(Line);
    DumpLevel(Tree, N, Indent + L"  ", Out);
  }
}

int CountLevel(HWND Tree, HTREEITEM Parent) {
  int N = 0;
  for (HTREEITEM C = FirstChildNode(Tree, Parent); C; C = NextSiblingNode(Tree, C))
    N += 1 + CountLevel(Tree, C);
  return N;
}

}  // namespace

std::vector<std::wstring> DumpTree(HWND Tree) {
  std::vector<std::wstring> Out;
  DumpLevel(Tree, nullptr, L"", Out);
  return Out;
}

HTREEITEM FindNode(HWND Tree, const std::wstring& Path) {
  HTREEITEM Parent = nullptr;
  size_t Start = 0;
  for (;;) {
    size_t Slash = Path.find(L'/', Start);
    std::wstring Part = Path.substr(Start, Slash == std::wstring::npos ? std::wstring::npos
                                                                       : Slash - Start);
    HTREEITEM Found = nullptr;
    for (HTREEITEM N = FirstChildNode(Tree, Parent); N; N = NextSiblingNode(Tree, N))
      if (Text(Tree, N) == Part) {
        Found = N;
        break;
      }
    if (!Found || Slash == std::wstring::npos) return Found;
    Parent = Found;
    Start = Slash + 1;
  }
}

int NodeCount(HWND Tree) { return CountLevel(Tree, nullptr); }

bool HasButton(HWND Tree, HTREEITEM Node) {
  TVITEMW Item = {};
  Item.mask = TVIF_HANDLE | TVIF_CHILDREN;
  Item.hItem = Node;
  SendMessageW(Tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&Item));
  return Item.cChildren != 0;
}

bool IsExpanded(HWND Tree, HTREEITEM Node) {
  return (SendMessageW(Tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(Node), TVIS_EXPANDED) &
          TVIS_EXPANDED) != 0;
}

void UserExpand(HWND Tree, HTREEITEM Node) {
  SendMessageW(Tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Node));
  SendMessageW(Tree, WM_KEYDOWN, VK_ADD, 0);
  SendMessageW(Tree, WM_KEYUP, VK_ADD, 0);
}

std::vector<std::wstring> CallNames(const HostSim::THost& Host) {
  std::vector<std::wstring> Names;
  for (const HostSim::TCall& C : Host.CallLog()) Names.push_back(C.Interface + L"." + C.Method);
  return Names;
}

long CallsOf(const HostSim::THost& Host, const std::wstring& Name) {
  long N = 0;
  for (const std::wstring& C : CallNames(Host)) N += C == Name;
  return N;
}

void BuildCity(HostSim::THost& Host) {
  Host.AddCatalogItem(5);
  Host.AddMap(L"city", L"Город");
  Host.AddLayer(L"city", L"roads", L"Дороги");
  Host.AddTable(L"roads", L"troads", L"Атрибуты дорог");
  Host.AddField(L"troads", L"width", L"Ширина");
  Host.AddField(L"troads", L"surface", L"Покрытие");
  Host.AddTable(L"roads", L"tcount", L"Учёт");
  Host.AddField(L"tcount", L"lanes", L"Полосы");
  Host.AddLayer(L"city", L"houses", L"Здания");
  Host.AddTable(L"houses", L"thouses", L"Дома");
  Host.AddField(L"thouses", L"floors", L"Этажи");
  Host.AddField(L"thouses", L"Material", L"Материал");
  Host.AddLayer(L"city", L"empty", L"Пустой");
  Host.AddMap(L"suburb", L"Пригород");
}

}  // namespace QuorinTest
