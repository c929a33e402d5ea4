#include "support/Errors.h"

#include <cwchar>

namespace Quorin {

std::string TrimErrorText(std::string Text) {
  while (!Text.empty()) {
    unsigned char C = static_cast<unsigned char>(Text.back());
    if (C == '.' || C == ' ' || C < 0x20) Text.pop_back();
    else break;
  }
  return Text;
}

std::string SystemErrorText(HRESULT Status) {
  wchar_t* Buffer = nullptr;
  DWORD N = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(Status), 0,
                           reinterpret_cast<wchar_t*>(&Buffer), 0, nullptr);
  std::string Text;
  if (N > 0 && Buffer) Text = ToAnsi(Buffer, N);
  if (Buffer) LocalFree(Buffer);
  return TrimErrorText(Text);
}

std::string OleErrorMessage(HRESULT Status, const std::string& Description) {
  std::string Message = TrimErrorText(Description);
  if (Message.empty()) Message = SystemErrorText(Status);
  if (Message.empty()) Message = Format("OLE error %.8x", static_cast<unsigned>(Status));
  return Message;
}

void RaiseOleSysError(HRESULT Status) {
  throw EOleSysError(OleErrorMessage(Status, std::string()), Status);
}

void OleCheck(HRESULT Status) {
  if (FAILED(Status)) RaiseOleSysError(Status);
}

void RaiseLastOSError() {
  DWORD Code = GetLastError();
  RaiseOleSysError(Code ? HRESULT_FROM_WIN32(Code) : E_FAIL);
}

void ClearErrorInfo() noexcept { SetErrorInfo(0, nullptr); }

void RaiseHostError(HRESULT Status, const char* Method) {
  // The error information was cleared before the call, so what is there now is the call's own.
  TComPtr<IErrorInfo> Info;
  if (GetErrorInfo(0, Info.Put()) != S_OK) Info.Reset();
  std::string Description, Source, HelpFile;
  DWORD HelpContext = 0;
  if (Info) {
    TBStr Text;
    if (SUCCEEDED(Info->GetDescription(Text.Put()))) Description = Text.ToAnsi();
    if (SUCCEEDED(Info->GetSource(Text.Put()))) Source = Text.ToAnsi();
    if (SUCCEEDED(Info->GetHelpFile(Text.Put()))) HelpFile = Text.ToAnsi();
    if (FAILED(Info->GetHelpContext(&HelpContext))) HelpContext = 0;
  }
  (void)Method;
  throw EOleException(OleErrorMessage(Status, Description), Status, Source, HelpFile,
                      HelpContext);
}

void RaiseNullResult(const char* Method) {
  throw Exception(Format("Вызов %s завершился успешно, но не вернул результата", Method));
}

}  // namespace Quorin
