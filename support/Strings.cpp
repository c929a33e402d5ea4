#include "support/Strings.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace Quorin {

namespace {

// Code page 1251's upper half, both ways, read once from the system's own tables.
struct TCodePageTables {
  wchar_t ByteToWide[128];
  std::vector<unsigned char> WideToByte;  // indexed by the unit; 0 where 1251 has no byte

  TCodePageTables() {
    for (int B = 0x80; B <= 0xFF; ++B) {
      char Byte = static_cast<char>(B);
      wchar_t W = 0;
      if (MultiByteToWideChar(ModuleCodePage, 0, &Byte, 1, &W, 1) != 1) W = 0xFFFD;
      ByteToWide[B - 0x80] = W;
    }
    for (int B = 0x80; B <= 0xFF; ++B) {
      if (static_cast<char>(B) == WideTextMarker) continue;
      wchar_t W = ByteToWide[B - 0x80];
      if (W < 0x80) continue;
      // Only a byte that the way back turns into the same unit carries it.
      char Back = 0;
      BOOL UsedDefault = FALSE;
      if (WideCharToMultiByte(ModuleCodePage, WC_NO_BEST_FIT_CHARS, &W, 1, &Back, 1, nullptr,
                              &UsedDefault) != 1 || UsedDefault ||
          static_cast<unsigned char>(Back) != B)
        continue;
      if (WideToByte.size() <= W) WideToByte.resize(static_cast<size_t>(W) + 1, 0);
      WideToByte[W] = static_cast<unsigned char>(B);
    }
  }

  unsigned char ByteOf(wchar_t W) const { return W < WideToByte.size() ? WideToByte[W] : 0; }
};

const TCodePageTables& Tables() {
  static const TCodePageTables T;
  return T;
}

void AppendUnit(std::string& Out, const TCodePageTables& T, wchar_t W) {
  if (W < 0x80) {
    Out += static_cast<char>(W);
    return;
  }
  if (unsigned char B = T.ByteOf(W)) {
    Out += static_cast<char>(B);
    return;
  }
  const unsigned U = static_cast<unsigned>(W) & 0xFFFF;
  Out += WideTextMarker;
  if (U < 0x800) {
    Out += static_cast<char>(0xC0 | (U >> 6));
  } else {
    Out += static_cast<char>(0xE0 | (U >> 12));
    Out += static_cast<char>(0x80 | ((U >> 6) & 0x3F));
  }
  Out += static_cast<char>(0x80 | (U & 0x3F));
}

// The escaped unit at Text[I] (the marker), or -1 when no valid escape stands there.
long EscapedUnit(const std::string& Text, size_t I, size_t& Used) {
  auto Byte = [&](size_t K) { return static_cast<unsigned char>(Text[K]); };
  auto Cont = [&](size_t K) { return K < Text.size() && (Byte(K) & 0xC0) == 0x80; };
  const unsigned Lead = I + 1 < Text.size() ? Byte(I + 1) : 0;
  if (Lead >= 0xC2 && Lead <= 0xDF && Cont(I + 2)) {
    Used = 3;
    return static_cast<long>(((Lead & 0x1F) << 6) | (Byte(I + 2) & 0x3F));
  }
  if (Lead >= 0xE0 && Lead <= 0xEF && Cont(I + 2) && Cont(I + 3)) {
    unsigned U = ((Lead & 0x0F) << 12) | ((Byte(I + 2) & 0x3F) << 6) | (Byte(I + 3) & 0x3F);
    if (U < 0x800) return -1;
    Used = 4;
    return static_cast<long>(U);
  }
  return -1;
}

}  // namespace

std::string ToAnsi(const wchar_t* Text, size_t Length) {
  std::string Out;
  if (!Text || Length == 0) return Out;
  Out.reserve(Length);
  const TCodePageTables* T = nullptr;
  for (size_t I = 0; I < Length; ++I) {
    const wchar_t W = Text[I];
    if (W < 0x80) {
      Out += static_cast<char>(W);
      continue;
    }
    if (!T) T = &Tables();
    AppendUnit(Out, *T, W);
  }
  return Out;
}

std::string ToAnsi(const wchar_t* Text) {
  return Text ? ToAnsi(Text, wcslen(Text)) : std::string();
}

std::wstring ToWide(const std::string& Text) {
  std::wstring Out;
  Out.reserve(Text.size());
  const TCodePageTables* T = nullptr;
  for (size_t I = 0; I < Text.size();) {
    const unsigned char B = static_cast<unsigned char>(Text[I]);
    if (B < 0x80) {
      Out += static_cast<wchar_t>(B);
      ++I;
      continue;
    }
    if (Text[I] == WideTextMarker) {
      size_t Used = 0;
      long U = EscapedUnit(Text, I, Used);
      if (U >= 0) {
        Out += static_cast<wchar_t>(U);
        I += Used;
        continue;
      }
    }
    if (!T) T = &Tables();
    Out += T->ByteToWide[B - 0x80];
    ++I;
  }
  return Out;
}

std::string Format(const char* Fmt, ...) {
  va_list Args;
  va_start(Args, Fmt);
  va_list Copy;
  va_copy(Copy, Args);
  int N = vsnprintf(nullptr, 0, Fmt, Copy);
  va_end(Copy);
  std::string Out;
  if (N > 0) {
    std::vector<char> Buf(static_cast<size_t>(N) + 1);
    vsnprintf(Buf.data(), Buf.size(), Fmt, Args);
    Out.assign(Buf.data(), static_cast<size_t>(N));
  }
  va_end(Args);
  return Out;
}

bool SameText(const std::string& A, const std::string& B) {
  if (A.size() == B.size() && A == B) return true;
  std::wstring WA = ToWide(A), WB = ToWide(B);
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, WA.data(),
                        static_cast<int>(WA.size()), WB.data(),
                        static_cast<int>(WB.size())) == CSTR_EQUAL;
}

TBStr::TBStr(const std::string& Text) {
  std::wstring W = ToWide(Text);
  FStr = SysAllocStringLen(W.data(), static_cast<UINT>(W.size()));
}

TBStr::TBStr(const wchar_t* Text) : FStr(SysAllocString(Text ? Text : L"")) {}

TBStr& TBStr::operator=(TBStr&& Other) noexcept {
  if (this != &Other) {
    Reset();
    FStr = Other.Detach();
  }
  return *this;
}

void TBStr::Reset() noexcept {
  if (FStr) {
    SysFreeString(FStr);
    FStr = nullptr;
  }
}

}  // namespace Quorin
