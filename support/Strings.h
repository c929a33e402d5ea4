// The module's strings: 8-bit text in code page 1251 inside, UTF-16 at every Windows and host
// call, converted with code page 1251 explicitly whatever the system's ANSI code page is.
//
// Host identifiers are opaque and must come back to the host exactly as they were given. A
// UTF-16 code unit that code page 1251 cannot carry unchanged is held on its own as the marker
// byte 0x98 (a code that code page 1251 leaves unassigned) followed by the unit in UTF-8 (two
// bytes below U+0800, else three; a surrogate is escaped like any other unit). Every unit has
// exactly one form and each form stands alone, so texts can be joined and cut between units as
// 8-bit strings and still decode to the same characters, and identifiers compare exactly as
// 8-bit strings. ToWide undoes the form.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <string>

namespace Quorin {

constexpr UINT ModuleCodePage = 1251;
constexpr char WideTextMarker = '\x98';

std::string ToAnsi(const wchar_t* Text, size_t Length);
std::string ToAnsi(const wchar_t* Text);  // null gives ""
inline std::string ToAnsi(const std::wstring& Text) { return ToAnsi(Text.data(), Text.size()); }
std::wstring ToWide(const std::string& Text);

// printf-style formatting into an 8-bit string.
std::string Format(const char* Fmt, ...) __attribute__((format(printf, 1, 2)));

// The locale's comparison that ignores letter case (on the texts as the host gave them).
bool SameText(const std::string& A, const std::string& B);

// Owner of a BSTR.
class TBStr {
public:
  TBStr() noexcept = default;
  explicit TBStr(const std::string& Text);   // widened from the module's form
  explicit TBStr(const wchar_t* Text);
  TBStr(const TBStr&) = delete;
  TBStr& operator=(const TBStr&) = delete;
  TBStr(TBStr&& Other) noexcept : FStr(Other.Detach()) {}
  TBStr& operator=(TBStr&& Other) noexcept;
  ~TBStr() { Reset(); }

  BSTR Get() const noexcept { return FStr; }
  BSTR* Put() noexcept { Reset(); return &FStr; }
  BSTR Detach() noexcept { BSTR S = FStr; FStr = nullptr; return S; }
  void Reset() noexcept;
  UINT Length() const noexcept { return SysStringLen(FStr); }
  std::string ToAnsi() const { return Quorin::ToAnsi(FStr, Length()); }
  std::wstring ToWideString() const { return std::wstring(FStr ? FStr : L"", Length()); }

private:
  BSTR FStr = nullptr;
};

}  // namespace Quorin
