#include "hostsim/demo/DemoModule.h"

#include <cstdio>

#include "support/Strings.h"

namespace OrvexSim {

const IID IID_IComModule = {0x77B17D96, 0x8876, 0x47DE,
                            {0xAE, 0x3B, 0xC1, 0x2D, 0x25, 0x62, 0x98, 0x9E}};

std::wstring StatusText(HRESULT Status) {
  wchar_t Code[16];
  swprintf(Code, 16, L"0x%08lX", static_cast<unsigned long>(Status));
  std::wstring Text = Code;
  wchar_t* Message = nullptr;
  if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(Status), 0, reinterpret_cast<LPWSTR>(&Message), 0,
                     nullptr) && Message) {
    std::wstring M = Message;
    LocalFree(Message);
    while (!M.empty() && (M.back() == L'\n' || M.back() == L'\r' || M.back() == L' ' || M.back() == L'.'))
      M.pop_back();
    if (!M.empty()) Text += L": " + M;
  }
  Quorin::TComPtr<IErrorInfo> Info;
  if (GetErrorInfo(0, Info.Put()) == S_OK && Info) {
    Quorin::TBStr Description;
    if (SUCCEEDED(Info->GetDescription(Description.Put())) && Description.Length())
      Text += L" (" + Description.ToWideString() + L")";
  }
  return Text;
}

bool TPlugin::Load(IOrvexApplication* Application, std::wstring& Error) {
  FModule.Reset();
  CLSID Class{};
  HRESULT Hr = CLSIDFromProgID(L"Quorin.ComModule", &Class);
  if (FAILED(Hr)) {
    Error = L"\"Quorin.ComModule\" is not registered (regsvr32 Quorin.dll): " + StatusText(Hr);
    return false;
  }
  Hr = CoCreateInstance(Class, nullptr, CLSCTX_INPROC_SERVER, IID_IComModule, FModule.PutVoid());
  if (FAILED(Hr) || !FModule) {
    FModule.Reset();
    Error = L"cannot create \"Quorin.ComModule\": " + StatusText(Hr);
    return false;
  }
  // The type library types the parameter as the host's coclass; its default interface is what
  // travels.
  Hr = FModule->Init(Application);
  if (FAILED(Hr)) {
    FModule.Reset();
    Error = L"Init failed: " + StatusText(Hr);
    return false;
  }
  return true;
}

HRESULT TPlugin::ShowMainDialog() {
  return FModule ? FModule->ShowMainDialog() : E_POINTER;
}

}  // namespace OrvexSim
