// The plug-in as the host sees it: the registered class "Quorin.ComModule", created through COM
// by its ProgID and called through its dual interface IComModule (declared here from the
// module's published type library, not from the module's sources).
#pragma once

#include <windows.h>

#include <string>

#include "host/Orvex.h"
#include "support/ComPtr.h"

namespace OrvexSim {

// IComModule {77B17D96-8876-47DE-AE3B-C12D2562989E}: Init (DISPID 201), ShowMainDialog (202).
struct IComModule : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Init(IOrvexApplication* Application) = 0;
  virtual HRESULT STDMETHODCALLTYPE ShowMainDialog() = 0;
};
extern const IID IID_IComModule;

class TPlugin {
public:
  // Creates the module's object and hands it Application; false with Error set on failure.
  bool Load(IOrvexApplication* Application, std::wstring& Error);
  bool Loaded() const { return static_cast<bool>(FModule); }
  // Calls ShowMainDialog; the status it returned.
  HRESULT ShowMainDialog();
  void Unload() { FModule.Reset(); }

private:
  Quorin::TComPtr<IComModule> FModule;
};

// "0x80040154: <system text>" and, when the callee set one, its error description.
std::wstring StatusText(HRESULT Status);

}  // namespace OrvexSim
