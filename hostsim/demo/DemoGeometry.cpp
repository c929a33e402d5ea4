#include "hostsim/demo/DemoGeometry.h"

#include <algorithm>
#include <charconv>
#include <cwchar>
#include <cwctype>

namespace OrvexSim {

namespace {

class TWktReader {
public:
  explicit TWktReader(const std::wstring& Text) : FText(Text) {}

  void SkipSpace() {
    while (FPos < FText.size() && std::iswspace(FText[FPos])) ++FPos;
  }
  std::wstring Word() {
    SkipSpace();
    std::wstring W;
    while (FPos < FText.size() && std::iswalpha(FText[FPos])) W += std::towupper(FText[FPos++]);
    return W;
  }
  bool Take(wchar_t C) {
    SkipSpace();
    if (FPos < FText.size() && FText[FPos] == C) { ++FPos; return true; }
    return false;
  }
  bool Peek(wchar_t C) {
    SkipSpace();
    return FPos < FText.size() && FText[FPos] == C;
  }
  // A decimal number. Only its own characters are handed to the conversion: the runtime's
  // wcstod measures the whole rest of the text on every call, which made reading a ring of
  // n positions take time in n squared.
  bool Number(double& V) {
    SkipSpace();
    char Digits[64];
    size_t N = 0, Pos = FPos;
    if (Pos < FText.size() && FText[Pos] == L'+') ++Pos;
    while (Pos < FText.size() && N < sizeof Digits && std::wcschr(L"0123456789.eE+-", FText[Pos]) &&
           FText[Pos] != L'\0')
      Digits[N++] = static_cast<char>(FText[Pos++]);
    if (N == 0 || N == sizeof Digits) return false;
    const std::from_chars_result Read = std::from_chars(Digits, Digits + N, V);
    if (Read.ec != std::errc() || Read.ptr == Digits) return false;
    FPos = Pos - static_cast<size_t>(Digits + N - Read.ptr);
    return true;
  }
  bool Point(TPoint& P) { return Number(P.X) && Number(P.Y); }
  // "(x y, x y, ...)"
  bool Path(std::vector<TPoint>& Points) {
    if (!Take(L'(')) return false;
    do {
      TPoint P;
      if (!Point(P)) return false;
      Points.push_back(P);
    } while (Take(L','));
    return Take(L')');
  }
  // "((ring), (ring))"
  bool Rings(std::vector<std::vector<TPoint>>& Rings) {
    if (!Take(L'(')) return false;
    do {
      Rings.emplace_back();
      if (!Path(Rings.back())) return false;
    } while (Take(L','));
    return Take(L')');
  }
  bool AtEnd() { SkipSpace(); return FPos == FText.size(); }

private:
  const std::wstring& FText;
  size_t FPos = 0;
};

bool ParseInto(TWktReader& R, TShape& Shape) {
  std::wstring Kind = R.Word();
  if (R.Word() == L"EMPTY") return true;  // "POINT EMPTY" and the like
  if (Kind == L"POINT") {
    Shape.Kind = TShapeKind::Points;
    TPoint P;
    if (!R.Take(L'(') || !R.Point(P) || !R.Take(L')')) return false;
    Shape.Parts.push_back({{P}});
  } else if (Kind == L"MULTIPOINT") {
    Shape.Kind = TShapeKind::Points;
    if (!R.Take(L'(')) return false;
    do {
      TPoint P;
      bool Bracketed = R.Take(L'(');
      if (!R.Point(P) || (Bracketed && !R.Take(L')'))) return false;
      Shape.Parts.push_back({{P}});
    } while (R.Take(L','));
    if (!R.Take(L')')) return false;
  } else if (Kind == L"LINESTRING") {
    Shape.Kind = TShapeKind::Lines;
    Shape.Parts.emplace_back(1);
    if (!R.Path(Shape.Parts.back()[0])) return false;
  } else if (Kind == L"MULTILINESTRING") {
    Shape.Kind = TShapeKind::Lines;
    Shape.Parts.emplace_back();
    if (!R.Rings(Shape.Parts.back())) return false;
  } else if (Kind == L"POLYGON") {
    Shape.Kind = TShapeKind::Polygons;
    Shape.Parts.emplace_back();
    if (!R.Rings(Shape.Parts.back())) return false;
  } else if (Kind == L"MULTIPOLYGON") {
    Shape.Kind = TShapeKind::Polygons;
    if (!R.Take(L'(')) return false;
    do {
      Shape.Parts.emplace_back();
      if (!R.Rings(Shape.Parts.back())) return false;
    } while (R.Take(L','));
    if (!R.Take(L')')) return false;
  } else {
    return false;
  }
  return R.AtEnd();
}

}  // namespace

bool ParseWkt(const std::wstring& Wkt, TShape& Shape) {
  Shape = TShape();
  TWktReader Reader(Wkt);
  if (ParseInto(Reader, Shape)) return true;
  Shape = TShape();
  return false;
}

void TBounds::Add(const TPoint& P) {
  MinX = std::min(MinX, P.X);
  MinY = std::min(MinY, P.Y);
  MaxX = std::max(MaxX, P.X);
  MaxY = std::max(MaxY, P.Y);
}

void TBounds::Add(const TBounds& B) {
  if (B.Empty()) return;
  Add(TPoint{B.MinX, B.MinY});
  Add(TPoint{B.MaxX, B.MaxY});
}

TBounds ShapeBounds(const TShape& Shape) {
  TBounds B;
  for (const auto& Part : Shape.Parts)
    for (const auto& Path : Part)
      for (const auto& P : Path) B.Add(P);
  return B;
}

}  // namespace OrvexSim
