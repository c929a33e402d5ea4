// Benchmark of the simulated host: spatial queries through the R-tree and without it, the cost
// of one host call, and the sample city's generation. Run by `make bench` (cmake/bench.sh).
#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "hostsim/HostSim.h"
#include "hostsim/HostSimCity.h"

namespace {

using Quorin::TComPtr;

double Now() {
  static LARGE_INTEGER Frequency = [] {
    LARGE_INTEGER F;
    QueryPerformanceFrequency(&F);
    return F;
  }();
  LARGE_INTEGER T;
  QueryPerformanceCounter(&T);
  return static_cast<double>(T.QuadPart) / static_cast<double>(Frequency.QuadPart);
}

std::wstring Num(double V) {
  wchar_t B[64];
  swprintf(B, 64, L"%.10g", V);
  return B;
}

BSTR Bstr(const std::wstring& S) { return SysAllocStringLen(S.data(), static_cast<UINT>(S.size())); }

struct TQueryRun {
  double Seconds = 0;  // in QueryByRelation alone
  long Queries = 0;
  long Found = 0;
  uint64_t Checksum = 0;  // of the identifiers found, in order
};

// QueryByRelation(points, zone, 2, 2) for zones [0, Count), then reading what it found.
TQueryRun RunQueries(IOrvexMapObjects* Objects, long Count) {
  TQueryRun Run;
  VARIANT Layer;
  VariantInit(&Layer);
  V_VT(&Layer) = VT_BSTR;
  V_BSTR(&Layer) = Bstr(L"points");
  for (long Z = 0; Z < Count; ++Z) {
    BSTR Target = Bstr(L"z" + std::to_wstring(Z));
    TComPtr<IOrvexObjectQuery> Query;
    double T0 = Now();
    HRESULT Hr = Objects->QueryByRelation(Layer, Target, 2, 2, Query.Put());
    Run.Seconds += Now() - T0;
    SysFreeString(Target);
    if (FAILED(Hr) || !Query) {
      std::printf("QueryByRelation failed: %08lx\n", static_cast<unsigned long>(Hr));
      break;
    }
    ++Run.Queries;
    VARIANT_BOOL Eof = VARIANT_TRUE;
    while (Query->GetEof(&Eof) == S_OK && !Eof) {
      BSTR Id = nullptr;
      if (Query->GetObjectId(&Id) != S_OK) break;
      for (UINT K = 0; K < SysStringLen(Id); ++K) Run.Checksum = Run.Checksum * 131 + Id[K];
      SysFreeString(Id);
      ++Run.Found;
      Query->MoveNext();
    }
  }
  VariantClear(&Layer);
  return Run;
}

void RelationBenchmark() {
  const int Side = 100;          // 100 x 100 = 10,000 polygons
  const long PointCount = 100000;
  HostSim::THost Host;
  Host.SetCallLogging(false);
  Host.AddMap(L"m", L"m");
  Host.AddLayer(L"m", L"zones", L"Зоны");
  Host.AddLayer(L"m", L"points", L"Точки");
  double T0 = Now();
  for (int J = 0; J < Side; ++J)
    for (int I = 0; I < Side; ++I) {
      double X = I * 10.0, Y = J * 10.0;
      // A square with a bite out of one corner, so that the exact test has work to do.
      Host.AddObject(L"zones", L"z" + std::to_wstring(J * Side + I),
                     L"POLYGON((" + Num(X + 1) + L" " + Num(Y + 1) + L"," + Num(X + 9) + L" " +
                         Num(Y + 1) + L"," + Num(X + 9) + L" " + Num(Y + 6) + L"," + Num(X + 6) +
                         L" " + Num(Y + 9) + L"," + Num(X + 1) + L" " + Num(Y + 9) + L"," +
                         Num(X + 1) + L" " + Num(Y + 1) + L"))");
    }
  uint64_t State = 42;
  auto Next = [&] {
    State = State * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(State >> 11) / 9007199254740992.0;
  };
  for (long K = 0; K < PointCount; ++K) {
    double X = Next() * Side * 10, Y = Next() * Side * 10;
    Host.AddObject(L"points", L"p" + std::to_wstring(K), L"POINT(" + Num(X) + L" " + Num(Y) + L")");
  }
  std::printf("relation benchmark: %ld points, %d polygons built in %.2f s\n", PointCount,
              Side * Side, Now() - T0);

  TComPtr<IOrvexApplication> App = Host.Application();
  TComPtr<IOrvexDatabase> Db;
  App->GetDatabase(Db.Put());
  TComPtr<IOrvexMapObjects> Objects;
  Db->GetMapObjects(Objects.Put());

  Host.SetSpatialIndex(true);
  double Build0 = Now();
  TQueryRun First = RunQueries(Objects.Get(), 1);  // builds the R-tree
  double BuildSeconds = Now() - Build0;
  TQueryRun Indexed = RunQueries(Objects.Get(), Side * Side);
  Host.SetSpatialIndex(false);
  TQueryRun Scanned = RunQueries(Objects.Get(), Side * Side);
  (void)First;

  double IndexedRate = Indexed.Queries / Indexed.Seconds;
  double ScannedRate = Scanned.Queries / Scanned.Seconds;
  std::printf("  R-tree of %ld points built on the first query: %.1f ms\n", PointCount, BuildSeconds * 1e3);
  std::printf("  QueryByRelation(points, polygon, 2, 2), %ld queries, %ld points found:\n",
              Indexed.Queries, Indexed.Found);
  std::printf("    with the R-tree:    %10.0f queries/s  (%8.2f us per query)\n", IndexedRate,
              1e6 / IndexedRate);
  std::printf("    without the index:  %10.0f queries/s  (%8.2f us per query)\n", ScannedRate,
              1e6 / ScannedRate);
  std::printf("    ratio:              %10.1f x\n", IndexedRate / ScannedRate);
  std::printf("    same results both ways: %s\n",
              Indexed.Found == Scanned.Found && Indexed.Checksum == Scanned.Checksum ? "yes" : "NO");
}

void CallCostBenchmark() {
  HostSim::THost Host;
  Host.BuildSampleCity();
  Host.SetCallLogging(false);
  TComPtr<IOrvexApplication> App = Host.Application();
  TComPtr<IOrvexDatabase> Db;
  App->GetDatabase(Db.Put());
  TComPtr<IOrvexMapObjects> Objects;
  Db->GetMapObjects(Objects.Put());
  std::vector<std::wstring> Ids = Host.ObjectIds(HostSim::City::Buildings);
  BSTR Table = Bstr(L"Здания"), Field = Bstr(HostSim::City::Residents);
  const int Rounds = 20;
  long Calls0 = Host.CallCount();
  double T0 = Now();
  double Sum = 0;
  for (int R = 0; R < Rounds; ++R)
    for (const std::wstring& Id : Ids) {
      BSTR ObjectId = Bstr(Id);
      TComPtr<IOrvexMapObject> Obj;
      Objects->GetObject(ObjectId, Obj.Put());
      SysFreeString(ObjectId);
      TComPtr<IOrvexSemantics> Sem;
      Obj->GetSemantics(Sem.Put());
      LONG Count = 0;
      Sem->GetRecordCount(Table, &Count);
      VARIANT V;
      VariantInit(&V);
      Sem->GetValue(Table, Field, 0, &V);
      Sum += V_VT(&V) == VT_I4 ? V_I4(&V) : 0;
      VariantClear(&V);
    }
  double Seconds = Now() - T0;
  long Calls = Host.CallCount() - Calls0;
  std::printf("host call cost (GetObject, GetSemantics, GetRecordCount, GetValue; logging off):\n");
  std::printf("  %ld calls in %.3f s: %.2f us per call (objects created and released: %ld)\n", Calls,
              Seconds, Seconds * 1e6 / Calls, Calls / 2);
  Host.SetCallLogging(true);
  Host.ClearCallLog();
  T0 = Now();
  for (const std::wstring& Id : Ids) {
    BSTR ObjectId = Bstr(Id);
    TComPtr<IOrvexMapObject> Obj;
    Objects->GetObject(ObjectId, Obj.Put());
    SysFreeString(ObjectId);
    TComPtr<IOrvexSemantics> Sem;
    Obj->GetSemantics(Sem.Put());
    VARIANT V;
    VariantInit(&V);
    Sem->GetValue(Table, Field, 0, &V);
    VariantClear(&V);
  }
  Seconds = Now() - T0;
  std::printf("  with the call log on: %.2f us per call\n", Seconds * 1e6 / Host.CallCount());
  SysFreeString(Table);
  SysFreeString(Field);
  if (Sum < 0) std::printf("?\n");
}

void CityBenchmark() {
  for (double Scale : {1.0, 50.0}) {
    HostSim::THost Host;
    double T0 = Now();
    Host.BuildSampleCity(Scale);
    double Seconds = Now() - T0;
    std::printf("sample city at scale %g: %ld objects (%zu buildings) in %.2f s\n", Scale,
                Host.ObjectCount(), Host.ObjectIds(HostSim::City::Buildings).size(), Seconds);
  }
}

}  // namespace

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  RelationBenchmark();
  CallCostBenchmark();
  CityBenchmark();
  CoUninitialize();
  return 0;
}
