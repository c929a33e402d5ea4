// The module's errors, and the checks that turn a failed host or system call into one.
//
// Every host call goes through OX_CALL or one of its result-taking siblings: the thread's error
// information is cleared first, so whatever is there after a failure is that call's own and is
// taken as it is (the host's ISupportErrorInfo is not asked: it answers for the host's interface
// identifiers, which are not all ours); a failure status raises EOleException with the message
// rule below. A success that leaves a required interface null raises an error naming the
// method; a null text is COM's empty string and gives "".
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
// Raises the error of a failed host call with the error information the call left, if any.
[[noreturn]] void RaiseHostError(HRESULT Status, const char* Method);
// A host call that answered success but left a required result null.
[[noreturn]] void RaiseNullResult(const char* Method);

template <class Call>
inline void HostInvoke(const char* Method, Call&& C) {
  ClearErrorInfo();
  const HRESULT Hr = C();
  if (FAILED(Hr)) RaiseHostError(Hr, Method);
}

template <class R, class Call>
inline TComPtr<R> HostInterface(const char* Method, bool Required, Call&& C) {
  TComPtr<R> Result;
  HostInvoke(Method, [&]() { return C(Result.Put()); });
  if (Required && !Result) RaiseNullResult(Method);
  return Result;
}

template <class Call>
inline std::string HostText(const char* Method, Call&& C) {
  TBStr Result;
  HostInvoke(Method, [&]() { return C(Result.Put()); });
  return Result.ToAnsi();  // null is ""
}

template <class T, class Call>
inline T HostValue(const char* Method, Call&& C) {
  T Result{};
  HostInvoke(Method, [&]() { return C(&Result); });
  return Result;
}

}  // namespace Quorin

// Obj->Method(args...), status checked.
#define OX_CALL(Obj, Method, ...)                                                         \
  ::Quorin::HostInvoke(#Method, [&]() { return ::Quorin::RawPtr(Obj)->Method(__VA_ARGS__); })
// The interface R that Obj->Method(args..., &R) yields; null is an error.
#define OX_INTF(R, Obj, Method, ...)                                                      \
  ::Quorin::HostInterface<R>(#Method, true, [&](R** Out_) {                               \
    return ::Quorin::RawPtr(Obj)->Method(__VA_ARGS__ __VA_OPT__(, ) Out_);                \
  })
// The same for a result that may be none.
#define OX_INTF_OPT(R, Obj, Method, ...)                                                  \
  ::Quorin::HostInterface<R>(#Method, false, [&](R** Out_) {                              \
    return ::Quorin::RawPtr(Obj)->Method(__VA_ARGS__ __VA_OPT__(, ) Out_);                \
  })
// A BSTR result as a module string; null is "".
#define OX_STR(Obj, Method, ...)                                                          \
  ::Quorin::HostText(#Method, [&](BSTR* Out_) {                                           \
    return ::Quorin::RawPtr(Obj)->Method(__VA_ARGS__ __VA_OPT__(, ) Out_);                \
  })
// A plain result of type T (long, VARIANT_BOOL; a double goes into a variant, see RealSlot).
#define OX_VAL(T, Obj, Method, ...)                                                       \
  ::Quorin::HostValue<T>(#Method, [&](T* Out_) {                                          \
    return ::Quorin::RawPtr(Obj)->Method(__VA_ARGS__ __VA_OPT__(, ) Out_);                \
  })
