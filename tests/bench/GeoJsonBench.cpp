// Benchmark of OrvexSim's load of a GeoJSON folder, step by step as OrvexSim takes it: the host's
// load (parsing, the shapes, their validity and orientation, bounds, area and perimeter), the
// catalogue and the map's shapes, the first drawing of the map, the R-tree and one intersects
// query of a small square on the first object's boundary, and the sum of the areas.
// tests/bench/bench_geojson.sh generates the inputs and sets the figures beside GEOS's.
//   bench_geojson FOLDER...      one line per folder: "folder load map draw query area count"
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "hostsim/HostSim.h"
#include "hostsim/demo/DemoCatalog.h"
#include "hostsim/demo/DemoMapView.h"

namespace {

double Seconds(const LARGE_INTEGER& From) {
  LARGE_INTEGER Now, Frequency;
  QueryPerformanceCounter(&Now);
  QueryPerformanceFrequency(&Frequency);
  return static_cast<double>(Now.QuadPart - From.QuadPart) / static_cast<double>(Frequency.QuadPart);
}

LARGE_INTEGER Start() {
  LARGE_INTEGER T;
  QueryPerformanceCounter(&T);
  return T;
}

}  // namespace

int wmain(int Argc, wchar_t** Argv) {
  // OrvexSim's heap, as OrvexSim.cpp sets it.
  ULONG Lfh = 2;
  HeapSetInformation(GetProcessHeap(), HeapCompatibilityInformation, &Lfh, sizeof Lfh);
  HeapSetInformation(reinterpret_cast<HANDLE>(_get_heap_handle()), HeapCompatibilityInformation, &Lfh, sizeof Lfh);
  if (FAILED(OleInitialize(nullptr))) return 1;
  int Status = 0;
  for (int A = 1; A < Argc; ++A) {
    try {
      HostSim::THost Host;
      Host.SetCallLogging(false);
      LARGE_INTEGER T = Start();
      Host.LoadGeoJsonFolder(Argv[A], L"map", L"map");
      const double Load = Seconds(T);

      T = Start();
      OrvexSim::TCatalog Catalog = OrvexSim::ReadCatalog(Host.Application().Get());
      OrvexSim::TMapModel Model;
      Model.Load(Host, Catalog);
      const double Map = Seconds(T);

      T = Start();
      HBITMAP Picture = OrvexSim::RenderMapBitmap(Model, 1000, 800, L"");
      const double Draw = Seconds(T);
      if (Picture) DeleteObject(Picture);

      // The query: a 2 × 2 square on the first position of the first layer's first object.
      const std::wstring Layer = Host.LayerIds(L"map").at(0);
      const std::wstring First = Host.ObjectIds(Layer).at(0);
      const std::wstring Wkt = Host.ShapeWkts(First).at(0);
      double X = 0, Y = 0;
      swscanf(Wkt.c_str() + Wkt.find_first_of(L"-0123456789"), L"%lf %lf", &X, &Y);
      Host.AddLayer(L"map", L"bench-probe", L"probe");
      wchar_t Square[256];
      swprintf(Square, 256, L"POLYGON((%.17g %.17g,%.17g %.17g,%.17g %.17g,%.17g %.17g,%.17g %.17g))", X - 1, Y - 1,
               X - 1, Y + 1, X + 1, Y + 1, X + 1, Y - 1, X - 1, Y - 1);
      Host.AddObject(L"bench-probe", L"bench-square", Square);
      T = Start();
      const size_t Found = Host.RelatedIds(Layer, L"bench-square", 1).size();
      const double Query = Seconds(T);

      double Area = 0;
      for (const std::wstring& Id : Host.ObjectIds(Layer)) Area += Host.ObjectArea(Id);
      std::printf("%ls %.3f %.3f %.3f %.4f %.6f %zu\n", Argv[A], Load, Map, Draw, Query, Area, Found);
    } catch (const std::exception& E) {
      std::printf("%ls failed: %s\n", Argv[A], E.what());
      Status = 1;
    }
    std::fflush(stdout);
  }
  OleUninitialize();
  return Status;
}
