// OrvexSim's scripted mode through the registered Quorin.dll: the quarters' population filled
// with the sum of the residents of the buildings inside each quarter, checked against sums
// computed directly from the sample city with Boost.Geometry; and scenarios that name what does
// not exist, refused with exit code 2 and nothing written.
#include <windows.h>

#include <gtest/gtest.h>

// Boost.Geometry's inlined code trips GCC's flow-based "may be used uninitialized" analysis in
// its own headers, also where its templates are instantiated in this file.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/multi_polygon.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "hostsim/HostSim.h"
#include "hostsim/HostSimCity.h"

namespace {

namespace bg = boost::geometry;
using TBgPoint = bg::model::d2::point_xy<double>;
using TBgPolygon = bg::model::polygon<TBgPoint>;  // clockwise outer rings, as the host gives
using TBgMulti = bg::model::multi_polygon<TBgPolygon>;

std::wstring WindowsPath(const char* UnixPath) {
  std::wstring Path = L"Z:";
  for (const char* P = UnixPath; *P; ++P) Path += *P == '/' ? L'\\' : static_cast<wchar_t>(*P);
  return Path;
}

std::string Utf8(const std::wstring& Text) {
  int Size = WideCharToMultiByte(CP_UTF8, 0, Text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string Result(static_cast<size_t>(Size > 0 ? Size - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.c_str(), -1, Result.data(), Size, nullptr, nullptr);
  return Result;
}

std::string ReadFile(const std::wstring& Path) {
  FILE* In = _wfopen(Path.c_str(), L"rb");
  if (!In) return std::string();
  std::string Text;
  char Buffer[65536];
  size_t N;
  while ((N = fread(Buffer, 1, sizeof(Buffer), In)) > 0) Text.append(Buffer, N);
  fclose(In);
  return Text;
}

bool Exists(const std::wstring& Path) { return GetFileAttributesW(Path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct TRunResult {
  int ExitCode = -1;
  std::string Errors;  // what the program wrote to stderr (UTF-8)
};

// Runs a command line with stderr into a file; waits up to TimeoutMs.
TRunResult Run(const std::wstring& CommandLine, const std::wstring& ErrorFile, DWORD TimeoutMs) {
  TRunResult Result;
  SECURITY_ATTRIBUTES Inherit{sizeof(Inherit), nullptr, TRUE};
  HANDLE Errors = CreateFileW(ErrorFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &Inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW Startup{};
  Startup.cb = sizeof(Startup);
  Startup.dwFlags = STARTF_USESTDHANDLES;
  Startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  Startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  Startup.hStdError = Errors;
  PROCESS_INFORMATION Process{};
  std::vector<wchar_t> Line(CommandLine.begin(), CommandLine.end());
  Line.push_back(L'\0');
  BOOL Started = CreateProcessW(nullptr, Line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &Startup, &Process);
  if (Started) {
    if (WaitForSingleObject(Process.hProcess, TimeoutMs) != WAIT_OBJECT_0) {
      TerminateProcess(Process.hProcess, 99);
      WaitForSingleObject(Process.hProcess, 5000);
    } else {
      DWORD Code = 0;
      GetExitCodeProcess(Process.hProcess, &Code);
      Result.ExitCode = static_cast<int>(Code);
    }
    CloseHandle(Process.hThread);
    CloseHandle(Process.hProcess);
  }
  CloseHandle(Errors);
  Result.Errors = ReadFile(ErrorFile);
  DeleteFileW(ErrorFile.c_str());
  return Result;
}

int RegSvr32(bool Unregister) {
  std::wstring Line = std::wstring(L"regsvr32.exe /s ") + (Unregister ? L"/u " : L"") + L"\"" +
                      WindowsPath(QUORIN_DLL_UNIX_PATH) + L"\"";
  return Run(Line, L"regsvr32-errors.txt", 60000).ExitCode;
}

std::wstring Quote(const std::wstring& Arg) { return L"\"" + Arg + L"\""; }

// A fresh folder name under the temporary folder (not created).
std::wstring FreshFolder(const wchar_t* Name) {
  wchar_t Temp[MAX_PATH];
  GetTempPathW(MAX_PATH, Temp);
  std::wstring Path = std::wstring(Temp) + L"orvexsim-" + Name + L"-" +
                      std::to_wstring(GetCurrentProcessId());
  return Path;
}

void RemoveFolder(const std::wstring& Folder) {
  WIN32_FIND_DATAW Found;
  HANDLE Find = FindFirstFileW((Folder + L"\\*").c_str(), &Found);
  if (Find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring Name = Found.cFileName;
      if (Name != L"." && Name != L"..") DeleteFileW((Folder + L"\\" + Name).c_str());
    } while (FindNextFileW(Find, &Found));
    FindClose(Find);
  }
  RemoveDirectoryW(Folder.c_str());
}

// The scripted walk-through of the demo, with overrides for the negative cases.
struct TScript {
  std::wstring Layer = L"Кварталы", Table = L"Кварталы", Field = L"Население";
  std::vector<std::wstring> Sources = {L"Здания|Здания.Жители|inside"};
  std::wstring Function = L"sum";
  std::wstring Out;

  std::wstring CommandLine() const {
    std::wstring Line = Quote(WindowsPath(ORVEXSIM_UNIX_PATH)) + L" --script --city" +
                        L" --target-layer " + Quote(Layer) + L" --target-table " + Quote(Table) +
                        L" --target-field " + Quote(Field);
    for (const auto& S : Sources) Line += L" --source " + Quote(S);
    return Line + L" --function " + Function + L" --out " + Quote(Out) + L" --timeout 100";
  }
};

TBgMulti ObjectGeometry(const HostSim::THost& Host, const std::wstring& ObjectId) {
  TBgMulti Result;
  for (const auto& Wkt : Host.ShapeWkts(ObjectId)) {
    TBgPolygon Polygon;
    bg::read_wkt(Utf8(Wkt), Polygon);
    Result.push_back(Polygon);
  }
  return Result;
}

// object identifier → the cells of its first record, by column name.
std::map<std::string, std::map<std::string, std::string>> ReadCsv(const std::string& Text) {
  std::map<std::string, std::map<std::string, std::string>> Rows;
  std::istringstream In(Text);
  std::string Line;
  std::vector<std::string> Header;
  auto Split = [](const std::string& L) {
    std::vector<std::string> Cells;
    std::string Cell;
    bool Quoted = false;
    for (size_t I = 0; I < L.size(); ++I) {
      char C = L[I];
      if (Quoted) {
        if (C == '"' && I + 1 < L.size() && L[I + 1] == '"') { Cell += '"'; ++I; }
        else if (C == '"') Quoted = false;
        else Cell += C;
      } else if (C == '"') Quoted = true;
      else if (C == ',') { Cells.push_back(Cell); Cell.clear(); }
      else Cell += C;
    }
    Cells.push_back(Cell);
    return Cells;
  };
  while (std::getline(In, Line)) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (Line.empty()) continue;
    auto Cells = Split(Line);
    if (Header.empty()) { Header = Cells; continue; }
    if (Cells.size() != Header.size() || Cells[1] != "0") continue;
    for (size_t I = 0; I < Cells.size(); ++I) Rows[Cells[0]][Header[I]] = Cells[I];
  }
  return Rows;
}

class DemoEndToEnd : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ASSERT_EQ(RegSvr32(false), 0); }
  static void TearDownTestSuite() { RegSvr32(true); }
};

TEST_F(DemoEndToEnd, ScriptedFillWritesTheSumsOfResidentsInside) {
  TScript Script;
  Script.Out = FreshFolder(L"fill");
  TRunResult Run = ::Run(Script.CommandLine(), FreshFolder(L"fill-stderr") + L".txt", 180000);
  ASSERT_EQ(Run.ExitCode, 0) << Run.Errors;

  // Independently: the same city, the buildings within each quarter by Boost.Geometry.
  HostSim::THost City;
  City.BuildSampleCity();
  namespace C = HostSim::City;
  std::vector<std::pair<TBgMulti, long>> Buildings;
  for (const auto& Id : City.ObjectIds(C::Buildings)) {
    HostSim::TValue Residents = City.Value(Id, C::BuildingsTable, C::Residents);
    ASSERT_EQ(Residents.Type(), VT_I4) << Utf8(Id);
    Buildings.emplace_back(ObjectGeometry(City, Id), V_I4(&Residents.Ref()));
  }
  auto Rows = ReadCsv(ReadFile(Script.Out + L"\\result.csv"));
  auto Quarters = City.ObjectIds(C::Quarters);
  ASSERT_EQ(Rows.size(), Quarters.size());
  long Total = 0, Empty = 0, LeftOut = 0;
  for (const auto& Id : Quarters) {
    TBgMulti Quarter = ObjectGeometry(City, Id);
    long Sum = 0;
    for (const auto& B : Buildings) {
      if (bg::within(B.first, Quarter)) Sum += B.second;
      else if (B.second > 0 && bg::intersects(B.first, Quarter)) ++LeftOut;
    }
    Total += Sum;
    if (Sum == 0) ++Empty;
    auto Row = Rows.find(Utf8(Id));
    ASSERT_NE(Row, Rows.end()) << Utf8(Id);
    EXPECT_EQ(Row->second["POPULATION"], std::to_string(Sum)) << Utf8(Id);
  }
  // The city is such that the check means something: people live in it, some quarters are
  // parks, and some residential buildings reach into the street (not inside their quarter).
  EXPECT_GT(Total, 0);
  EXPECT_GT(Empty, 0);
  EXPECT_LT(Empty, static_cast<long>(Quarters.size()));
  EXPECT_GT(LeftOut, 0);

  // The GeoJSON holds the same layer with the same values.
  auto Json = nlohmann::json::parse(ReadFile(Script.Out + L"\\result.geojson"));
  ASSERT_EQ(Json["features"].size(), Quarters.size());
  for (const auto& Feature : Json["features"]) {
    std::string Number = std::to_string(Feature["properties"]["NUMBER"].get<long>());
    std::string Population = std::to_string(Feature["properties"]["POPULATION"].get<long>());
    bool Matched = false;
    for (const auto& Row : Rows)
      if (Row.second.at("NUMBER") == Number) {
        EXPECT_EQ(Row.second.at("POPULATION"), Population) << Number;
        Matched = true;
      }
    EXPECT_TRUE(Matched) << Number;
  }
  // The pictures of the walk-through and of the map before and after.
  for (const wchar_t* Picture : {L"wizard-1-field", L"wizard-2-source", L"wizard-3-sources",
                                 L"wizard-4-run", L"wizard-5-done", L"map-before", L"map-after"})
    EXPECT_TRUE(Exists(Script.Out + L"\\" + Picture + L".bmp")) << Utf8(Picture);
  RemoveFolder(Script.Out);
}

TEST_F(DemoEndToEnd, ScenarioNamingWhatDoesNotExistIsRefusedAndWritesNothing) {
  struct TCase {
    const char* Name;
    TScript Script;
    const char* Message;  // UTF-8, as the program writes it
  };
  std::vector<TCase> Cases;
  Cases.push_back({"target layer", TScript(), u8"target layer \"Нет такого слоя\" does not exist"});
  Cases.back().Script.Layer = L"Нет такого слоя";
  Cases.push_back({"target field", TScript(), u8"has no field \"Площадь\""});
  Cases.back().Script.Field = L"Площадь";
  Cases.push_back({"source layer", TScript(), u8"source layer \"Озёра\" does not exist"});
  Cases.back().Script.Sources = {L"Здания|area|inside", L"Озёра|area|inside"};
  Cases.push_back({"source field", TScript(), u8"has no table and field \"Здания.Подъезды\""});
  Cases.back().Script.Sources = {L"Здания|Здания.Подъезды|inside"};
  Cases.push_back({"relation", TScript(), u8"unknown relation \"near\""});
  Cases.back().Script.Sources = {L"Здания|Здания.Жители|near"};
  Cases.push_back({"function", TScript(), u8"unknown function \"median\""});
  Cases.back().Script.Function = L"median";
  for (auto& Case : Cases) {
    Case.Script.Out = FreshFolder(L"refused");
    TRunResult Run = ::Run(Case.Script.CommandLine(), FreshFolder(L"refused-stderr") + L".txt", 60000);
    EXPECT_EQ(Run.ExitCode, 2) << Case.Name << ": " << Run.Errors;
    EXPECT_NE(Run.Errors.find(Case.Message), std::string::npos) << Case.Name << ": " << Run.Errors;
    EXPECT_FALSE(Exists(Case.Script.Out)) << Case.Name;
    RemoveFolder(Case.Script.Out);
  }
}

TEST_F(DemoEndToEnd, WithoutTheRegisteredModuleTheRunFailsAndWritesNothing) {
  ASSERT_EQ(RegSvr32(true), 0);
  TScript Script;
  Script.Out = FreshFolder(L"unregistered");
  TRunResult Run = ::Run(Script.CommandLine(), FreshFolder(L"unregistered-stderr") + L".txt", 60000);
  ASSERT_EQ(RegSvr32(false), 0);
  EXPECT_EQ(Run.ExitCode, 3) << Run.Errors;
  EXPECT_NE(Run.Errors.find("\"Quorin.ComModule\" is not registered"), std::string::npos) << Run.Errors;
  EXPECT_FALSE(Exists(Script.Out));
  RemoveFolder(Script.Out);
}

}  // namespace
