#include "hostsim/demo/DemoMapView.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace OrvexSim {

namespace {

// Fill and line colours by the layer's position, for the sample city's order of layers and any
// other folder alike.
const COLORREF LayerFills[] = {RGB(244, 240, 230), RGB(226, 222, 208), RGB(205, 170, 135),
                               RGB(60, 110, 200),  RGB(200, 60, 160),  RGB(150, 150, 150),
                               RGB(170, 215, 150), RGB(180, 200, 230), RGB(230, 200, 120)};
const COLORREF LayerLines[] = {RGB(120, 110, 90), RGB(150, 140, 120), RGB(130, 95, 70),
                               RGB(20, 50, 120),  RGB(110, 20, 80),   RGB(110, 110, 110),
                               RGB(80, 140, 70),  RGB(70, 90, 140),   RGB(150, 120, 40)};

const COLORREF ThemeColors[ThemeClassCount] = {RGB(255, 255, 178), RGB(254, 204, 92),
                                               RGB(253, 141, 60),  RGB(240, 59, 32),
                                               RGB(189, 0, 38)};
const COLORREF NoValueColor = RGB(215, 215, 215);

bool NumberOf(const VARIANT& Value, double& Number) {
  if (V_VT(&Value) == VT_EMPTY || V_VT(&Value) == VT_NULL) return false;
  VARIANT Converted;
  VariantInit(&Converted);
  if (FAILED(VariantChangeType(&Converted, const_cast<VARIANT*>(&Value), 0, VT_R8))) return false;
  Number = V_R8(&Converted);
  return std::isfinite(Number);
}

std::wstring FormatNumber(double V, bool Whole) {
  wchar_t Text[64];
  if (Whole)
    swprintf(Text, 64, L"%.0f", V);
  else
    swprintf(Text, 64, L"%.2f", V);
  return Text;
}

class TGdiObject {
public:
  explicit TGdiObject(HGDIOBJ Obj) : FObj(Obj) {}
  ~TGdiObject() { if (FObj) DeleteObject(FObj); }
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  HGDIOBJ Get() const { return FObj; }

private:
  HGDIOBJ FObj;
};

// One polygon shape: its rings, the paths [FirstPath, EndPath) of Layer, filled as one.
void DrawPolygon(HDC DC, const TMapLayer& Layer, uint32_t FirstPath, uint32_t EndPath,
                 const TViewport& View, int W, int H) {
  std::vector<POINT> Points;
  std::vector<INT> Counts;
  for (uint32_t Path = FirstPath; Path < EndPath; ++Path) {
    const uint32_t Begin = Layer.PathPoints[Path], End = Layer.PathPoints[Path + 1];
    if (End - Begin < 3) continue;
    // Positions that fall on the pixel of the one before add nothing to the picture; a ring
    // of millions of positions has a few thousand pixels.
    const size_t First = Points.size();
    for (uint32_t I = Begin; I < End; ++I) {
      POINT Pixel = View.ToPixel(Layer.Points[I], W, H);
      if (Points.size() > First && Points.back().x == Pixel.x && Points.back().y == Pixel.y) continue;
      Points.push_back(Pixel);
    }
    if (Points.size() - First < 3) {
      Points.resize(First);
      continue;
    }
    Counts.push_back(static_cast<INT>(Points.size() - First));
  }
  if (!Counts.empty())
    PolyPolygon(DC, Points.data(), Counts.data(), static_cast<int>(Counts.size()));
}

// Path P of Layer as a line, the positions on the pixel of the one before left out.
void DrawLine(HDC DC, const TMapLayer& Layer, uint32_t P, const TViewport& View, int W, int H) {
  std::vector<POINT> Points;
  for (uint32_t I = Layer.PathPoints[P]; I < Layer.PathPoints[P + 1]; ++I) {
    POINT Pixel = View.ToPixel(Layer.Points[I], W, H);
    if (Points.empty() || Points.back().x != Pixel.x || Points.back().y != Pixel.y)
      Points.push_back(Pixel);
  }
  if (Points.size() == 1) Points.push_back(Points[0]);
  if (Points.size() >= 2) Polyline(DC, Points.data(), static_cast<int>(Points.size()));
}

// An offset into a layer's arrays, which hold fewer than 2^32 entries.
uint32_t Offset(size_t N) {
  if (N > UINT32_MAX) throw std::length_error("a map layer has 2^32 shapes, paths or positions");
  return static_cast<uint32_t>(N);
}

// The shapes of Layer's objects straight into its arrays, one shape at a time: the host keeps
// the layer's geometry, and a passing copy of all of it would cost as much again on layers of
// a million points.
void LoadShapes(const HostSim::THost& Host, TMapLayer& Layer, TBounds& Bounds) {
  const size_t Objects = static_cast<size_t>(Host.ObjectCount(Layer.Id));
  Layer.FeatureShapes.reserve(Objects + 1);
  Layer.ShapeKinds.reserve(Objects);
  Layer.ShapePaths.reserve(Objects + 1);
  Layer.PathPoints.reserve(Objects + 1);
  Layer.Points.reserve(Objects);
  // Features without shapes (objects that have none) until there are Count features.
  auto Features = [&Layer](size_t Count) {
    while (Layer.FeatureCount() < Count) Layer.FeatureShapes.push_back(Layer.FeatureShapes.back());
  };
  Host.VisitLayerShapes(Layer.Id, [&](size_t Object, int Kind, const HostSim::THost::TRings& Rings) {
    Features(Object + 1);
    Layer.ShapeKinds.push_back(Kind == 0   ? TShapeKind::Points
                               : Kind == 1 ? TShapeKind::Lines
                                           : TShapeKind::Polygons);
    for (const auto& Ring : Rings) {
      for (const auto& C : Ring) {
        Layer.Points.push_back(TPoint{C.first, C.second});
        Bounds.Add(Layer.Points.back());
      }
      Layer.PathPoints.push_back(Offset(Layer.Points.size()));
    }
    Layer.ShapePaths.push_back(Offset(Layer.PathPoints.size() - 1));
    Layer.FeatureShapes.back() = Offset(Layer.ShapeKinds.size());
  });
  Features(Objects);
}

// The legend's font, texts and size, measured on DC.
struct TLegend {
  TLegend() = default;
  TLegend(const TLegend&) = delete;
  TLegend& operator=(const TLegend&) = delete;
  ~TLegend() { if (OwnFont) DeleteObject(OwnFont); }
  HFONT OwnFont = nullptr;
  HFONT Font = nullptr;
  int Line = 0, Rows = 0, Width = 0, Height = 0;
  std::vector<std::wstring> Labels;
};

void MeasureLegend(HDC DC, const TTheme& Theme, TLegend& L) {
  L.Font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  NONCLIENTMETRICSW Metrics{};
  Metrics.cbSize = sizeof(Metrics);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(Metrics), &Metrics, 0))
    L.OwnFont = CreateFontIndirectW(&Metrics.lfMessageFont);
  if (L.OwnFont) L.Font = L.OwnFont;
  HGDIOBJ OldFont = SelectObject(DC, L.Font);
  TEXTMETRICW Tm{};
  GetTextMetricsW(DC, &Tm);
  L.Line = Tm.tmHeight + 4;
  bool HasEmpty = std::find(Theme.Classes.begin(), Theme.Classes.end(), -1) != Theme.Classes.end();
  L.Rows = ThemeClassCount + (HasEmpty ? 1 : 0);
  for (int C = 0; C < ThemeClassCount; ++C)
    L.Labels.push_back(FormatNumber(Theme.Breaks[C], Theme.WholeNumbers) + L" – " +
                       FormatNumber(Theme.Breaks[C + 1], Theme.WholeNumbers));
  if (HasEmpty) L.Labels.push_back(L"нет значения");
  SIZE Size{};
  GetTextExtentPoint32W(DC, Theme.Title.c_str(), static_cast<int>(Theme.Title.size()), &Size);
  L.Width = Size.cx;
  for (const auto& Label : L.Labels) {
    GetTextExtentPoint32W(DC, Label.c_str(), static_cast<int>(Label.size()), &Size);
    L.Width = std::max<int>(L.Width, Size.cx + L.Line + 8);
  }
  L.Width += 20;
  L.Height = L.Line * (L.Rows + 1) + 16;
  SelectObject(DC, OldFont);
}

bool HasLegend(const TTheme& Theme) {
  return Theme.Active() && Theme.Breaks.size() == ThemeClassCount + 1;
}

// The legend in the strip right of the map area (Left is the strip's left edge).
void DrawLegend(HDC DC, int Left, int Height, const TTheme& Theme) {
  TLegend L;
  MeasureLegend(DC, Theme, L);
  HGDIOBJ OldFont = SelectObject(DC, L.Font);
  const int Line = L.Line, Rows = L.Rows;
  const std::vector<std::wstring>& Labels = L.Labels;
  RECT Box{Left + 10, Height - L.Height - 10, Left + 10 + L.Width, Height - 10};
  TGdiObject Back(CreateSolidBrush(RGB(255, 255, 255)));
  FillRect(DC, &Box, static_cast<HBRUSH>(Back.Get()));
  FrameRect(DC, &Box, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  SetBkMode(DC, TRANSPARENT);
  SetTextColor(DC, RGB(0, 0, 0));
  int X = Box.left + 10, Y = Box.top + 8;
  TextOutW(DC, X, Y, Theme.Title.c_str(), static_cast<int>(Theme.Title.size()));
  Y += Line;
  for (int R = 0; R < Rows; ++R) {
    COLORREF Color = R < ThemeClassCount ? ThemeColors[R] : NoValueColor;
    TGdiObject Brush(CreateSolidBrush(Color));
    RECT Swatch{X, Y + 2, X + Line - 4, Y + Line - 2};
    FillRect(DC, &Swatch, static_cast<HBRUSH>(Brush.Get()));
    FrameRect(DC, &Swatch, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    TextOutW(DC, X + Line + 4, Y + 1, Labels[R].c_str(), static_cast<int>(Labels[R].size()));
    Y += Line;
  }
  SelectObject(DC, OldFont);
}

}  // namespace

COLORREF ThemeColor(int Class) {
  return Class >= 0 && Class < ThemeClassCount ? ThemeColors[Class] : NoValueColor;
}

void TMapModel::Load(const HostSim::THost& Host, const TCatalog& Catalog) {
  FLayers.clear();
  FBounds = TBounds();
  FTheme = TTheme();
  MapId.clear();
  MapName.clear();
  if (Catalog.Maps.empty()) return;
  const TMapInfo& Map = Catalog.Maps.front();
  MapId = Map.Id;
  MapName = Map.Name;
  size_t Index = 0;
  for (const auto& LayerInfo : Map.Layers) {
    TMapLayer Layer;
    Layer.Id = LayerInfo.Id;
    Layer.Name = LayerInfo.Name;
    Layer.Fill = LayerFills[Index % std::size(LayerFills)];
    Layer.Line = LayerLines[Index % std::size(LayerLines)];
    ++Index;
    LoadShapes(Host, Layer, FBounds);
    FLayers.push_back(std::move(Layer));
  }
}

void TMapModel::SetTheme(const HostSim::THost& Host, const std::wstring& LayerId,
                         const std::wstring& TableId, const std::wstring& FieldId,
                         const std::wstring& Title) {
  FTheme = TTheme();
  const TMapLayer* Layer = nullptr;
  for (const auto& L : FLayers)
    if (L.Id == LayerId) Layer = &L;
  if (!Layer) return;
  // The values are read twice (sorted for the limits, then classed) rather than held: a layer
  // of a million points would hold them twice over.
  std::vector<double> Sorted;
  Sorted.reserve(Layer->FeatureCount());
  Host.VisitLayerValues(LayerId, TableId, FieldId, [&](size_t Object, const VARIANT& Value) {
    double Number = 0;
    if (Object < Layer->FeatureCount() && NumberOf(Value, Number)) Sorted.push_back(Number);
  });
  if (Sorted.empty()) return;
  std::sort(Sorted.begin(), Sorted.end());
  FTheme.LayerId = LayerId;
  FTheme.Title = Title;
  FTheme.WholeNumbers = std::all_of(Sorted.begin(), Sorted.end(),
                                    [](double V) { return std::floor(V) == V; });
  // Quantile limits: class C holds the values from Breaks[C] up to Breaks[C + 1].
  for (int C = 0; C <= ThemeClassCount; ++C) {
    size_t Pos = std::min(Sorted.size() - 1, C * Sorted.size() / ThemeClassCount);
    FTheme.Breaks.push_back(C == ThemeClassCount ? Sorted.back() : Sorted[Pos]);
  }
  std::vector<double>().swap(Sorted);
  FTheme.Classes.assign(Layer->FeatureCount(), -1);
  Host.VisitLayerValues(LayerId, TableId, FieldId, [&](size_t Object, const VARIANT& Value) {
    double Number = 0;
    if (Object >= FTheme.Classes.size() || !NumberOf(Value, Number)) return;
    int C = ThemeClassCount - 1;
    while (C > 0 && Number < FTheme.Breaks[C]) --C;
    FTheme.Classes[Object] = static_cast<signed char>(C);
  });
}

void TViewport::Fit(const TBounds& Bounds, int Width, int Height) {
  if (Bounds.Empty() || Width <= 0 || Height <= 0) {
    CenterX = CenterY = 0;
    Scale = 1;
    return;
  }
  CenterX = (Bounds.MinX + Bounds.MaxX) / 2;
  CenterY = (Bounds.MinY + Bounds.MaxY) / 2;
  double SX = (Width - 20) / std::max(Bounds.MaxX - Bounds.MinX, 1e-9);
  double SY = (Height - 20) / std::max(Bounds.MaxY - Bounds.MinY, 1e-9);
  Scale = std::max(1e-12, std::min(SX, SY));
}

POINT TViewport::ToPixel(const TPoint& P, int Width, int Height) const {
  double X = Width / 2.0 + (P.X - CenterX) * Scale;
  double Y = Height / 2.0 - (P.Y - CenterY) * Scale;
  auto Clamp = [](double V) { return static_cast<LONG>(std::max(-1e7, std::min(1e7, std::round(V)))); };
  return POINT{Clamp(X), Clamp(Y)};
}

TPoint TViewport::ToMap(int X, int Y, int Width, int Height) const {
  return TPoint{CenterX + (X - Width / 2.0) / Scale, CenterY - (Y - Height / 2.0) / Scale};
}

int MapAreaWidth(const TMapModel& Model, int Width) {
  if (!HasLegend(Model.Theme())) return Width;
  HDC Screen = GetDC(nullptr);
  TLegend L;
  MeasureLegend(Screen, Model.Theme(), L);
  ReleaseDC(nullptr, Screen);
  return std::max(Width / 2, Width - L.Width - 20);
}

void PaintMap(HDC DC, int FullWidth, int H, const TMapModel& Model, const TViewport& View,
              const std::wstring& ActiveLayerId) {
  RECT All{0, 0, FullWidth, H};
  FillRect(DC, &All, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  // The legend has a strip of its own on the right; the map keeps clear of it.
  const int W = MapAreaWidth(Model, FullWidth);
  const int Saved = SaveDC(DC);
  IntersectClipRect(DC, 0, 0, W, H);
  SetPolyFillMode(DC, ALTERNATE);
  const TTheme& Theme = Model.Theme();
  bool AboveTheme = false;  // polygons above the themed layer are only outlined

  for (TShapeKind Pass : {TShapeKind::Polygons, TShapeKind::Lines, TShapeKind::Points}) {
    for (const auto& Layer : Model.Layers()) {
      if (!Layer.Visible) continue;
      bool Themed = Theme.Active() && Layer.Id == Theme.LayerId;
      bool Active = Layer.Id == ActiveLayerId;
      int Width = Pass == TShapeKind::Lines ? 3 : (Active ? 2 : 1);
      TGdiObject Pen(CreatePen(PS_SOLID, Width, Active && Pass != TShapeKind::Lines ? RGB(0, 0, 0)
                                                                                    : Layer.Line));
      TGdiObject Brush(CreateSolidBrush(Layer.Fill));
      HGDIOBJ OldPen = SelectObject(DC, Pen.Get());
      HGDIOBJ OldBrush = SelectObject(DC, (Pass == TShapeKind::Polygons && AboveTheme)
                                              ? GetStockObject(NULL_BRUSH)
                                              : Brush.Get());
      for (size_t F = 0; F < Layer.FeatureCount(); ++F) {
        std::unique_ptr<TGdiObject> ClassBrush;
        if (Themed && Pass == TShapeKind::Polygons) {
          ClassBrush = std::make_unique<TGdiObject>(CreateSolidBrush(ThemeColor(Theme.Classes[F])));
          SelectObject(DC, ClassBrush->Get());
        }
        for (uint32_t S = Layer.FeatureShapes[F]; S < Layer.FeatureShapes[F + 1]; ++S) {
          if (Layer.ShapeKinds[S] != Pass) continue;
          const uint32_t FirstPath = Layer.ShapePaths[S], EndPath = Layer.ShapePaths[S + 1];
          if (Pass == TShapeKind::Polygons) {
            DrawPolygon(DC, Layer, FirstPath, EndPath, View, W, H);
          } else if (Pass == TShapeKind::Lines) {
            for (uint32_t P = FirstPath; P < EndPath; ++P) DrawLine(DC, Layer, P, View, W, H);
          } else {
            for (uint32_t I = Layer.PathPoints[FirstPath]; I < Layer.PathPoints[EndPath]; ++I) {
              POINT C = View.ToPixel(Layer.Points[I], W, H);
              Ellipse(DC, C.x - 4, C.y - 4, C.x + 5, C.y + 5);
            }
          }
        }
        if (ClassBrush) SelectObject(DC, Brush.Get());
      }
      SelectObject(DC, OldBrush);
      SelectObject(DC, OldPen);
      if (Themed && Pass == TShapeKind::Polygons) AboveTheme = true;
    }
  }
  RestoreDC(DC, Saved);
  if (HasLegend(Theme)) {
    HGDIOBJ OldPen = SelectObject(DC, GetStockObject(DC_PEN));
    SetDCPenColor(DC, RGB(160, 160, 160));
    MoveToEx(DC, W, 0, nullptr);
    LineTo(DC, W, H);
    SelectObject(DC, OldPen);
    DrawLegend(DC, W, H, Theme);
  }
}

HBITMAP RenderMapBitmap(const TMapModel& Model, int Width, int Height,
                        const std::wstring& ActiveLayerId) {
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof(Info.bmiHeader);
  Info.bmiHeader.biWidth = Width;
  Info.bmiHeader.biHeight = -Height;
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  void* Bits = nullptr;
  HBITMAP Bitmap = CreateDIBSection(nullptr, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
  if (!Bitmap) return nullptr;
  HDC DC = CreateCompatibleDC(nullptr);
  HGDIOBJ Old = SelectObject(DC, Bitmap);
  TViewport View;
  View.Fit(Model.Bounds(), MapAreaWidth(Model, Width), Height);
  PaintMap(DC, Width, Height, Model, View, ActiveLayerId);
  GdiFlush();
  SelectObject(DC, Old);
  DeleteDC(DC);
  return Bitmap;
}

// ---- the map window ----------------------------------------------------------------------

namespace {

const wchar_t MapWindowClass[] = L"OrvexSimMapWindow";

struct TMapWindowState {
  TMapModel* Model = nullptr;
  TViewport View;
  bool Fitted = false;
  bool Dragging = false;
  POINT DragFrom{};
  TViewport DragView;
  std::wstring ActiveLayerId;
};

TMapWindowState* StateOf(HWND Window) {
  return reinterpret_cast<TMapWindowState*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
}

LRESULT HandleMapMessage(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  TMapWindowState* S = StateOf(Window);
  RECT Client;
  GetClientRect(Window, &Client);
  int W = Client.right, H = Client.bottom;
  switch (Message) {
    case WM_NCCREATE: {
      auto* Create = reinterpret_cast<CREATESTRUCTW*>(LParam);
      auto* State = new TMapWindowState;
      State->Model = static_cast<TMapModel*>(Create->lpCreateParams);
      SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(State));
      break;
    }
    case WM_NCDESTROY:
      delete S;
      SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      if (S && !S->Fitted && LOWORD(LParam) > 0) {
        S->View.Fit(S->Model->Bounds(), MapAreaWidth(*S->Model, LOWORD(LParam)), HIWORD(LParam));
        S->Fitted = true;
      }
      InvalidateRect(Window, nullptr, FALSE);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT Paint;
      HDC DC = BeginPaint(Window, &Paint);
      if (S && W > 0 && H > 0) {
        HDC Memory = CreateCompatibleDC(DC);
        HBITMAP Bitmap = CreateCompatibleBitmap(DC, W, H);
        HGDIOBJ Old = SelectObject(Memory, Bitmap);
        PaintMap(Memory, W, H, *S->Model, S->View, S->ActiveLayerId);
        BitBlt(DC, 0, 0, W, H, Memory, 0, 0, SRCCOPY);
        SelectObject(Memory, Old);
        DeleteObject(Bitmap);
        DeleteDC(Memory);
      }
      EndPaint(Window, &Paint);
      return 0;
    }
    case WM_LBUTTONDOWN:
      if (S) {
        SetFocus(Window);
        SetCapture(Window);
        S->Dragging = true;
        S->DragFrom = POINT{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
        S->DragView = S->View;
      }
      return 0;
    case WM_MOUSEMOVE:
      if (S && S->Dragging) {
        int DX = GET_X_LPARAM(LParam) - S->DragFrom.x, DY = GET_Y_LPARAM(LParam) - S->DragFrom.y;
        S->View.CenterX = S->DragView.CenterX - DX / S->View.Scale;
        S->View.CenterY = S->DragView.CenterY + DY / S->View.Scale;
        InvalidateRect(Window, nullptr, FALSE);
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (S) S->Dragging = false;
      if (Message == WM_LBUTTONUP) ReleaseCapture();
      return 0;
    case WM_MOUSEWHEEL:
      if (S) {
        POINT At{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
        ScreenToClient(Window, &At);
        TPoint Before = S->View.ToMap(At.x, At.y, MapAreaWidth(*S->Model, W), H);
        double Steps = GET_WHEEL_DELTA_WPARAM(WParam) / static_cast<double>(WHEEL_DELTA);
        S->View.Scale *= std::pow(1.25, Steps);
        TPoint After = S->View.ToMap(At.x, At.y, MapAreaWidth(*S->Model, W), H);
        S->View.CenterX += Before.X - After.X;
        S->View.CenterY += Before.Y - After.Y;
        InvalidateRect(Window, nullptr, FALSE);
      }
      return 0;
  }
  return DefWindowProcW(Window, Message, WParam, LParam);
}

LRESULT CALLBACK MapWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  try {
    return HandleMapMessage(Window, Message, WParam, LParam);
  } catch (...) {
    return DefWindowProcW(Window, Message, WParam, LParam);
  }
}

}  // namespace

HWND CreateMapWindow(HWND Parent, TMapModel* Model, int Id) {
  static bool Registered = false;
  if (!Registered) {
    WNDCLASSW Class{};
    Class.style = CS_DBLCLKS;
    Class.lpfnWndProc = MapWindowProc;
    Class.hInstance = GetModuleHandleW(nullptr);
    Class.hCursor = LoadCursorW(nullptr, IDC_HAND);
    Class.lpszClassName = MapWindowClass;
    RegisterClassW(&Class);
    Registered = true;
  }
  return CreateWindowExW(WS_EX_CLIENTEDGE, MapWindowClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 100,
                         100, Parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)),
                         GetModuleHandleW(nullptr), Model);
}

void MapWindowFitAll(HWND Window) {
  TMapWindowState* S = StateOf(Window);
  if (!S) return;
  RECT Client;
  GetClientRect(Window, &Client);
  S->View.Fit(S->Model->Bounds(), MapAreaWidth(*S->Model, Client.right), Client.bottom);
  S->Fitted = Client.right > 0;
  InvalidateRect(Window, nullptr, FALSE);
}

void MapWindowSetActiveLayer(HWND Window, const std::wstring& LayerId) {
  TMapWindowState* S = StateOf(Window);
  if (!S) return;
  S->ActiveLayerId = LayerId;
  InvalidateRect(Window, nullptr, FALSE);
}

}  // namespace OrvexSim
