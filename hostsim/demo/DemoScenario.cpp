#include "hostsim/demo/DemoScenario.h"

#include <windows.h>

#include <stdexcept>

namespace OrvexSim {

namespace {

const wchar_t* const RelationNames[] = {L"intersects", L"inside", L"contains", L"touches"};
const wchar_t* const FunctionNames[] = {L"count", L"sum", L"mean", L"min", L"max"};

[[noreturn]] void Refuse(const std::wstring& Message) { throw std::runtime_error(Utf8(Message)); }

int IndexOf(const wchar_t* const* Names, int Count, const std::wstring& Name) {
  for (int I = 0; I < Count; ++I)
    if (_wcsicmp(Names[I], Name.c_str()) == 0) return I;
  return -1;
}

std::wstring Quoted(const std::wstring& Text) { return L"\"" + Text + L"\""; }

// " (layers: "A", "B")": what the catalogue offers instead.
std::wstring LayerList(const TCatalog& Catalog) {
  std::wstring List;
  for (const auto& Map : Catalog.Maps)
    for (const auto& Layer : Map.Layers) List += (List.empty() ? L"" : L", ") + Quoted(Layer.Name);
  return L" (layers: " + (List.empty() ? std::wstring(L"none") : List) + L")";
}

}  // namespace

std::string Utf8(const std::wstring& Text) {
  if (Text.empty()) return std::string();
  int Size = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr,
                                 0, nullptr, nullptr);
  std::string Result(static_cast<size_t>(Size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Result.data(), Size,
                      nullptr, nullptr);
  return Result;
}

const char* UsageText() {
  return "usage:\n"
         "  OrvexSim.exe [--city | --data FOLDER] [--call-log FILE]\n"
         "  OrvexSim.exe --script [--city | --data FOLDER]\n"
         "      --target-layer NAME --target-table NAME --target-field NAME\n"
         "      --source \"LAYER|TABLE.FIELD|RELATION\"   (repeatable; instead of TABLE.FIELD\n"
         "               also area or perimeter; RELATION: intersects, inside, contains, touches)\n"
         "      --function count|sum|mean|min|max --out FOLDER [--timeout SECONDS]\n"
         "      [--minimised] [--call-log FILE]\n"
         "  --minimised: the main window starts minimised, the wizard stays hidden\n"
         "  --call-log FILE: every host call written into FILE as it is made\n";
}

TScenario ParseCommandLine(int Argc, wchar_t** Argv) {
  TScenario S;
  bool City = false;
  for (int I = 1; I < Argc; ++I) {
    std::wstring Arg = Argv[I];
    auto Value = [&]() -> std::wstring {
      if (I + 1 >= Argc) Refuse(L"option " + Arg + L" needs a value");
      return Argv[++I];
    };
    if (Arg == L"--script") S.Script = true;
    else if (Arg == L"--help" || Arg == L"-h" || Arg == L"/?") S.Help = true;
    else if (Arg == L"--city") City = true;
    else if (Arg == L"--data") S.DataFolder = Value();
    else if (Arg == L"--target-layer") S.TargetLayer = Value();
    else if (Arg == L"--target-table") S.TargetTable = Value();
    else if (Arg == L"--target-field") S.TargetField = Value();
    else if (Arg == L"--function") S.FunctionName = Value();
    else if (Arg == L"--out") S.OutFolder = Value();
    else if (Arg == L"--call-log") S.CallLog = Value();
    else if (Arg == L"--minimised") S.Minimised = true;
    else if (Arg == L"--timeout") {
      std::wstring T = Value();
      wchar_t* End = nullptr;
      long Seconds = wcstol(T.c_str(), &End, 10);
      if (T.empty() || *End || Seconds <= 0 || Seconds > 86400) Refuse(L"bad --timeout: " + T);
      S.TimeoutSeconds = static_cast<int>(Seconds);
    } else if (Arg == L"--source") {
      TSourceArg Source;
      Source.Text = Value();
      size_t First = Source.Text.find(L'|'), Last = Source.Text.rfind(L'|');
      if (First == std::wstring::npos || First == Last)
        Refuse(L"--source " + Quoted(Source.Text) + L" is not LAYER|CHARACTERISTIC|RELATION");
      Source.LayerName = Source.Text.substr(0, First);
      Source.Characteristic = Source.Text.substr(First + 1, Last - First - 1);
      Source.RelationName = Source.Text.substr(Last + 1);
      S.Sources.push_back(Source);
    } else {
      Refuse(L"unknown argument " + Quoted(Arg));
    }
  }
  if (City && !S.DataFolder.empty()) Refuse(L"--city and --data exclude each other");
  if (S.Minimised && !S.Script) Refuse(L"--minimised is an option of --script");
  if (S.Script && !S.Help) {
    if (S.TargetLayer.empty() || S.TargetTable.empty() || S.TargetField.empty())
      Refuse(L"--script needs --target-layer, --target-table and --target-field");
    if (S.Sources.empty()) Refuse(L"--script needs at least one --source");
    if (S.FunctionName.empty()) Refuse(L"--script needs --function");
    if (S.OutFolder.empty()) Refuse(L"--script needs --out");
  }
  return S;
}

TResolvedScenario ResolveScenario(const TScenario& S, const TCatalog& Catalog) {
  TResolvedScenario R;
  const TMapInfo* Map = nullptr;
  R.TargetLayer = Catalog.FindLayer(S.TargetLayer, &Map);
  if (!R.TargetLayer) Refuse(L"target layer " + Quoted(S.TargetLayer) + L" does not exist" + LayerList(Catalog));
  R.TargetTable = R.TargetLayer->FindTable(S.TargetTable);
  if (!R.TargetTable)
    Refuse(L"layer " + Quoted(S.TargetLayer) + L" has no table " + Quoted(S.TargetTable));
  R.TargetField = R.TargetTable->FindField(S.TargetField);
  if (!R.TargetField)
    Refuse(L"table " + Quoted(S.TargetTable) + L" has no field " + Quoted(S.TargetField));
  if (IsIdField(R.TargetField->Id))
    Refuse(L"field " + Quoted(S.TargetField) + L" is an identifier field and cannot be filled");
  R.TargetPath = {Map->Name, R.TargetLayer->Name, R.TargetTable->Name, R.TargetField->Name};

  for (const TSourceArg& A : S.Sources) {
    TResolvedSource Source;
    const TMapInfo* SourceMap = nullptr;
    const TLayerInfo* Layer = Catalog.FindLayer(A.LayerName, &SourceMap);
    if (!Layer) Refuse(L"source layer " + Quoted(A.LayerName) + L" does not exist" + LayerList(Catalog));
    Source.TreePath = {SourceMap->Name, Layer->Name};
    if (_wcsicmp(A.Characteristic.c_str(), L"area") == 0) {
      Source.TreePath.push_back(L"Площадь");
    } else if (_wcsicmp(A.Characteristic.c_str(), L"perimeter") == 0) {
      Source.TreePath.push_back(L"Периметр");
    } else {
      // TABLE.FIELD: the first split at a dot that names a table of the layer and its field.
      const TTableInfo* Table = nullptr;
      const TFieldInfo* Field = nullptr;
      for (size_t Dot = A.Characteristic.find(L'.'); Dot != std::wstring::npos && !Field;
           Dot = A.Characteristic.find(L'.', Dot + 1)) {
        Table = Layer->FindTable(A.Characteristic.substr(0, Dot));
        Field = Table ? Table->FindField(A.Characteristic.substr(Dot + 1)) : nullptr;
      }
      if (!Field || IsIdField(Field->Id))
        Refuse(L"source " + Quoted(A.Text) + L": layer " + Quoted(A.LayerName) +
               L" has no table and field " + Quoted(A.Characteristic) +
               L" (give TABLE.FIELD, area or perimeter)");
      Source.TreePath.push_back(Table->Name);
      Source.TreePath.push_back(Field->Name);
    }
    Source.RelationItem = IndexOf(RelationNames, 4, A.RelationName);
    if (Source.RelationItem < 0)
      Refuse(L"source " + Quoted(A.Text) + L": unknown relation " + Quoted(A.RelationName) +
             L" (intersects, inside, contains or touches)");
    R.Sources.push_back(Source);
  }
  R.FunctionItem = IndexOf(FunctionNames, 5, S.FunctionName);
  if (R.FunctionItem < 0)
    Refuse(L"unknown function " + Quoted(S.FunctionName) + L" (count, sum, mean, min or max)");
  return R;
}

}  // namespace OrvexSim
