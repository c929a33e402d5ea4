// The module's errors, and the checks that turn a failed host or system call into one.
//
// Every host call goes through OX_CALL or one of its result-taking siblings: the thread's error
// information is cleared first (so only this call's can be reported), a failure status raises
// EOleException with the message rule below, and a success that leaves a required result null
// raises an error naming the method.
//
// Message rule: the host's description with trailing full stops, spaces and control characters
// removed; when that is empty, the system's message text for the status (trimmed the same way);
// when that is empty too, "OLE error %.8x" with the status.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <exception>
#include <string>

#include "support/ComPtr.h"
#include "support/Strings.h"

namespace Quorin {

// Base of every error the module raises. The message is 8-bit text in code page 1251.
class Exception : public std::exception {
public:
  explicit Exception(std::string Message, DWORD HelpContext = 0)
      : FMessage(std::move(Message)), FHelpContext(HelpContext) {}
  const std::string& Message() const noexcept { return FMessage; }
  DWORD HelpContext() const noexcept { return FHelpContext; }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
  DWORD FHelpContext;
};

// A failure status of OLE or the system.
class EOleSysError : public Exception {
public:
  EOleSysError(std::string Message, HRESULT ErrorCode, DWORD HelpContext = 0)
      : Exception(std::move(Message), HelpContext), FErrorCode(ErrorCode) {}
  HRESULT ErrorCode() const noexcept { return FErrorCode; }

private:
  HRESULT FErrorCode;
};

// A failed call of an automation object, with the error information it set.
class EOleException : public EOleSysError {
public:
  EOleException(std::string Message, HRESULT ErrorCode, std::string Source, std::string HelpFile,
                DWORD HelpContext)
      : EOleSysError(std::move(Message), ErrorCode, HelpContext),
        FSource(std::move(Source)), FHelpFile(std::move(HelpFile)) {}
  const std::string& Source() const noexcept { return FSource; }
  const std::string& HelpFile() const noexcept { return FHelpFile; }

private:
  std::string FSource, FHelpFile;
};

class EListError : public Exception { using Exception::Exception; };
class EInvalidPointer : public Exception { using Exception::Exception; };
class EIntfCastError : public Exception { using Exception::Exception; };
class EVariantTypeCastError : public Exception { using Exception::Exception; };

// Trailing full stops, spaces and control characters removed.
std::string TrimErrorText(std::string Text);
// The system's message text for a status, trimmed; "" when it has none.
std::string SystemErrorText(HRESULT Status);
// The message rule above.
std::string OleErrorMessage(HRESULT Status, const std::string& Description);

// Raises EOleSysError for a failed OLE or system call that sets no error information.
void OleCheck(HRESULT Status);
[[noreturn]] void RaiseOleSysError(HRESULT Status);
// Raises EOleSysError for GetLastError of a failed Win32 call.
[[noreturn]] void RaiseLastOSError();

// SetErrorInfo(0, null).
void ClearErrorInfo() noexcept;
// Raises the error of a failed call of Obj through interface Iid; takes the error information
// only when Obj supports it for Iid.
[[noreturn]] void RaiseHostError(HRESULT Status, IUnknown* Obj, REFIID Iid, const char* Method);
// A host call that answered success but left a required result null.
[[noreturn]] void RaiseNullResult(const char* Method);

template <class I, class Call>
inline void HostInvoke(I* Obj, const char* Method, Call&& C) {
  ClearErrorInfo();
  HRESULT Hr = C();
  if (FAILED(Hr)) RaiseHostError(Hr, Obj, __uuidof(I), Method);
}

template <class R, class I, class Call>
inline TComPtr<R> HostInterface(I* Obj, const char* Method, bool Required, Call&& C) {
  TComPtr<R> Result;
  HostInvoke(Obj, Method, [&]() { return C(Result.Put()); });
  if (Required && !Result) RaiseNullResult(Method);
  return Result;
}

template <class I, class Call>
inline std::string HostText(I* Obj, const char* Method, Call&& C) {
  TBStr Result;
  HostInvoke(Obj, Method, [&]() { return C(Result.Put()); });
  if (!Result.Get()) RaiseNullResult(Method);
  return Result.ToAnsi();
}

template <class T, class I, class Call>
inline T HostValue(I* Obj, const char* Method, Call&& C) {
  T Result{};
  HostInvoke(Obj, Method, [&]() { return C(&Result); });
  return Result;
}

}  // namespace Quorin

// Obj->Method(args...), status checked.
#define OX_CALL(Obj, Method, ...)                                   \
  ::Quorin::HostInvoke(::Quorin::RawPtr(Obj), #Method,              \
                       [&]() { return ::Quorin::RawPtr(Obj)->Method(__VA_ARGS__); })
// The interface R that Obj->Method(args..., &R) yields; null is an error.
#define OX_INTF(R, Obj, Method, ...)                                                      \
  ::Quorin::HostInterface<R>(::Quorin::RawPtr(Obj), #Method, true, [&](R** Out_) {        \
    return ::Quorin::RawPtr(Obj)->Method(__VA_ARGS__ __VA_OPT__(, ) Out_);                \
  })
// The same for a result that may be none.
#define OX_INTF_OPT(R, Obj, Method, ...)                                                  \
  ::Quorin::HostInterface<R>(::Quorin::RawPtr(Obj), #Method, false, [&](R** Out_) {       \
    return ::Quorin::RawPtr(Obj)->Method(__VA_ARGS__ __VA_OPT__(, ) Out_);                \
  })
// A BSTR result as a module string; null is an error.
#define OX_STR(Obj, Method, ...)                                                          \
  ::Quorin::HostText(::Quorin::RawPtr(Obj), #Method, [&](BSTR* Out_) {                    \
    return ::Quorin::RawPtr(Obj)->Method(__VA_ARGS__ __VA_OPT__(, ) Out_);                \
  })
// A plain result of type T (long, double, VARIANT_BOOL).
#define OX_VAL(T, Obj, Method, ...)                                                       \
  ::Quorin::HostValue<T>(::Quorin::RawPtr(Obj), #Method, [&](T* Out_) {                   \
    return ::Quorin::RawPtr(Obj)->Method(__VA_ARGS__ __VA_OPT__(, ) Out_);                \
  })
