#include "support/Strings.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace Quorin {

namespace {

std::string Utf8Of(const wchar_t* Text, int Length) {
  int N = WideCharToMultiByte(CP_UTF8, 0, Text, Length, nullptr, 0, nullptr, nullptr);
  std::string Out(static_cast<size_t>(N), '\0');
  if (N > 0) WideCharToMultiByte(CP_UTF8, 0, Text, Length, &Out[0], N, nullptr, nullptr);
  return Out;
}

std::wstring WideOf(UINT CodePage, const char* Text, int Length) {
  int N = MultiByteToWideChar(CodePage, 0, Text, Length, nullptr, 0);
  std::wstring Out(static_cast<size_t>(N), L'\0');
  if (N > 0) MultiByteToWideChar(CodePage, 0, Text, Length, &Out[0], N);
  return Out;
}

}  // namespace

std::string ToAnsi(const wchar_t* Text, size_t Length) {
  if (!Text || Length == 0) return std::string();
  // Plain ASCII, the common case of identifiers, is the same in code page 1251.
  size_t Ascii = 0;
  while (Ascii < Length && Text[Ascii] < 0x80) ++Ascii;
  if (Ascii == Length) {
    std::string Out(Length, '\0');
    for (size_t I = 0; I < Length; ++I) Out[I] = static_cast<char>(Text[I]);
    return Out;
  }
  const int Len = static_cast<int>(Length);
  BOOL UsedDefault = FALSE;
  int N = WideCharToMultiByte(ModuleCodePage, WC_NO_BEST_FIT_CHARS, Text, Len, nullptr, 0,
                              nullptr, &UsedDefault);
  std::string Out(static_cast<size_t>(N), '\0');
  if (N > 0)
    WideCharToMultiByte(ModuleCodePage, WC_NO_BEST_FIT_CHARS, Text, Len, &Out[0], N, nullptr,
                        &UsedDefault);
  bool Exact = N > 0 && !UsedDefault && Out[0] != WideTextMarker;
  if (Exact) {
    // Code page 1251 maps a few codes both ways that are not its own; check the way back.
    std::wstring Back = WideOf(ModuleCodePage, Out.data(), N);
    Exact = Back.size() == Length && Back.compare(0, Length, Text, Length) == 0;
  }
  if (Exact) return Out;
  return WideTextMarker + Utf8Of(Text, Len);
}

std::string ToAnsi(const wchar_t* Text) {
  return Text ? ToAnsi(Text, wcslen(Text)) : std::string();
}

std::wstring ToWide(const std::string& Text) {
  if (Text.empty()) return std::wstring();
  size_t Ascii = 0;
  while (Ascii < Text.size() && static_cast<unsigned char>(Text[Ascii]) < 0x80) ++Ascii;
  if (Ascii == Text.size()) return std::wstring(Text.begin(), Text.end());
  if (Text[0] == WideTextMarker)
    return WideOf(CP_UTF8, Text.data() + 1, static_cast<int>(Text.size() - 1));
  return WideOf(ModuleCodePage, Text.data(), static_cast<int>(Text.size()));
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
  size_t Ascii = 0;
  while (Ascii < Text.size() && static_cast<unsigned char>(Text[Ascii]) < 0x80) ++Ascii;
  if (Ascii == Text.size()) {
    FStr = SysAllocStringLen(nullptr, static_cast<UINT>(Text.size()));
    if (FStr)
      for (size_t I = 0; I < Text.size(); ++I) FStr[I] = static_cast<unsigned char>(Text[I]);
    return;
  }
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
