// The scripted fill's scenario: read from the command line, then checked against the host's
// catalogue, so that a scenario naming something that does not exist is refused before anything
// is shown or written.
//
//   OrvexSim.exe [--city | --data FOLDER] [--call-log FILE]     the interactive host
//   OrvexSim.exe --script [--city | --data FOLDER]
//                --target-layer NAME --target-table NAME --target-field NAME
//                --source "LAYER|TABLE.FIELD|RELATION"  (or LAYER|area|RELATION,
//                                                         LAYER|perimeter|RELATION; repeatable)
//                --function count|sum|mean|min|max
//                --out FOLDER [--timeout SECONDS] [--minimised] [--call-log FILE]
//
// Names are those that the wizard's trees show (layer, table and field names, not
// identifiers). RELATION is intersects, inside, contains or touches. --minimised starts the
// main window minimised, so that the wizard it owns stays hidden and nothing is painted during
// the run; --call-log writes every host call into FILE as it is made.
#pragma once

#include <string>
#include <vector>

#include "hostsim/demo/DemoCatalog.h"

namespace OrvexSim {

// Exit codes.
constexpr int ExitOk = 0;
constexpr int ExitBadScenario = 2;  // a wrong command line or a name that does not exist
constexpr int ExitRunFailed = 3;    // the module, the wizard or the fill did not do its work
constexpr int ExitTimeout = 4;      // the walk-through did not finish in time

struct TSourceArg {
  std::wstring Text;                 // as given
  std::wstring LayerName;
  std::wstring Characteristic;       // "area", "perimeter" or "TABLE.FIELD"
  std::wstring RelationName;
};

struct TScenario {
  bool Script = false;
  bool Help = false;
  std::wstring DataFolder;           // empty: the sample city
  std::wstring TargetLayer, TargetTable, TargetField;
  std::vector<TSourceArg> Sources;
  std::wstring FunctionName;
  std::wstring OutFolder;
  int TimeoutSeconds = 120;
  bool Minimised = false;
  std::wstring CallLog;              // empty: none
};

// A source resolved against the catalogue: the path of tree texts that picks it in the source
// dialog (map, layer, then table and field, or "Площадь"/"Периметр") and the relation's item.
struct TResolvedSource {
  std::vector<std::wstring> TreePath;
  int RelationItem = 0;              // 0 intersects, 1 inside, 2 contains, 3 touches
};

struct TResolvedScenario {
  const TLayerInfo* TargetLayer = nullptr;
  const TTableInfo* TargetTable = nullptr;
  const TFieldInfo* TargetField = nullptr;
  std::vector<std::wstring> TargetPath;  // map, layer, table, field
  std::vector<TResolvedSource> Sources;
  int FunctionItem = 0;              // 0 count .. 4 max, the function list's order
};

// Reads the arguments; raises std::runtime_error (UTF-8 message) on a malformed command line.
TScenario ParseCommandLine(int Argc, wchar_t** Argv);
// Checks the scenario's names; raises std::runtime_error with a message naming what is missing.
TResolvedScenario ResolveScenario(const TScenario& Scenario, const TCatalog& Catalog);

std::string Utf8(const std::wstring& Text);
const char* UsageText();

}  // namespace OrvexSim
