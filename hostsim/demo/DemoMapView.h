// The map: every layer of the current map as drawn shapes, the graduated-colour theme of a
// filled field, the painter (double-buffered, with the legend) and the map window that pans
// with the left button and zooms with the wheel.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hostsim/HostSim.h"
#include "hostsim/demo/DemoCatalog.h"
#include "hostsim/demo/DemoGeometry.h"

namespace OrvexSim {

// A layer's shapes in flat arrays, one feature per object of the layer in its order: feature F
// has the shapes [FeatureShapes[F], FeatureShapes[F + 1]); shape S, of kind ShapeKinds[S], the
// paths [ShapePaths[S], ShapePaths[S + 1]) (a polygon's rings, outer ring first; a line's one
// path; a point's one path of one position); path P the positions
// [PathPoints[P], PathPoints[P + 1]) of Points.
struct TMapLayer {
  std::wstring Id, Name;
  std::vector<uint32_t> FeatureShapes{0}, ShapePaths{0}, PathPoints{0};
  std::vector<TShapeKind> ShapeKinds;
  std::vector<TPoint> Points;
  COLORREF Fill = RGB(230, 230, 230), Line = RGB(90, 90, 90);
  bool Visible = true;
  size_t FeatureCount() const { return FeatureShapes.size() - 1; }
};

// A field of a layer shown in graduated colours: Breaks holds the 6 class limits (quantiles of
// the values), Classes the class of each feature of the layer (−1: no value).
struct TTheme {
  std::wstring LayerId, Title;
  std::vector<double> Breaks;
  std::vector<signed char> Classes;
  bool WholeNumbers = true;
  bool Active() const { return !LayerId.empty(); }
};

constexpr int ThemeClassCount = 5;
COLORREF ThemeColor(int Class);

class TMapModel {
public:
  // The layers of the catalogue's first map with the shapes of their objects.
  void Load(const HostSim::THost& Host, const TCatalog& Catalog);
  // Colours LayerId by the values of a field of its table (record 0 of each object).
  void SetTheme(const HostSim::THost& Host, const std::wstring& LayerId, const std::wstring& TableId,
                const std::wstring& FieldId, const std::wstring& Title);
  void ClearTheme() { FTheme = TTheme(); }
  const TTheme& Theme() const { return FTheme; }
  std::vector<TMapLayer>& Layers() { return FLayers; }
  const std::vector<TMapLayer>& Layers() const { return FLayers; }
  const TBounds& Bounds() const { return FBounds; }
  std::wstring MapId, MapName;

private:
  std::vector<TMapLayer> FLayers;
  TBounds FBounds;
  TTheme FTheme;
};

// Map coordinates to pixels: the map point at the centre of the window and pixels per unit.
struct TViewport {
  double CenterX = 0, CenterY = 0, Scale = 1;
  void Fit(const TBounds& Bounds, int Width, int Height);
  POINT ToPixel(const TPoint& P, int Width, int Height) const;
  TPoint ToMap(int X, int Y, int Width, int Height) const;
};

// Draws the map into DC (Width × Height pixels): polygons, then lines, then points, the active
// layer's outlines emphasised. With a theme, the legend stands in a strip of its own on the
// right and the map is drawn left of it (MapAreaWidth), so that the legend hides no feature.
void PaintMap(HDC DC, int Width, int Height, const TMapModel& Model, const TViewport& View,
              const std::wstring& ActiveLayerId);
// The width of the map's part of a Width pixels wide drawing (all of it without a legend).
int MapAreaWidth(const TMapModel& Model, int Width);

// A 32-bit top-down DIB of the whole map fitted to Width × Height.
HBITMAP RenderMapBitmap(const TMapModel& Model, int Width, int Height,
                        const std::wstring& ActiveLayerId);

// The map window (a child window): creates it over Model, which must outlive it.
HWND CreateMapWindow(HWND Parent, TMapModel* Model, int Id);
// Fits the view to the whole map and repaints; sets the layer drawn as active.
void MapWindowFitAll(HWND Window);
void MapWindowSetActiveLayer(HWND Window, const std::wstring& LayerId);

}  // namespace OrvexSim
