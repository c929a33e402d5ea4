#include <gtest/gtest.h>

#include <string>

#include "host/Orvex.h"
#include "support/ComPtr.h"
#include "support/Errors.h"

using namespace Quorin;

namespace {

// A host field that fails as told: it sets error information (or not) and answers a status.
class TFailingField : public IOrvexField, public ISupportErrorInfo {
public:
  HRESULT Status = E_FAIL;
  const wchar_t* Description = nullptr;  // null: set no error information
  bool Supports = true;                  // InterfaceSupportsErrorInfo for IOrvexField
  bool OffersSupport = true;             // ISupportErrorInfo offered at all
  bool NullId = false;                   // GetId answers S_OK with no string
  long Refs = 1;

  IOrvexField* Intf() { return this; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Out) override {
    if (Iid == IID_IUnknown || Iid == IID_IDispatch || Iid == __uuidof(IOrvexField))
      *Out = static_cast<IOrvexField*>(this);
    else if (Iid == IID_ISupportErrorInfo && OffersSupport)
      *Out = static_cast<ISupportErrorInfo*>(this);
    else {
      *Out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++Refs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--Refs); }
  // IDispatch: not used by the module's calls.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID Iid) override {
    return Supports && Iid == __uuidof(IOrvexField) ? S_OK : S_FALSE;
  }
  // IOrvexField
  HRESULT STDMETHODCALLTYPE GetId(BSTR* Id) override {
    if (NullId) {
      *Id = nullptr;
      return S_OK;
    }
    *Id = SysAllocString(L"F1");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetName(BSTR* Name) override {
    *Name = nullptr;
    if (Description) {
      TComPtr<ICreateErrorInfo> Create;
      EXPECT_EQ(CreateErrorInfo(Create.Put()), S_OK);
      Create->SetDescription(const_cast<LPOLESTR>(Description));
      Create->SetSource(const_cast<LPOLESTR>(L"Orvex.Field"));
      Create->SetGUID(__uuidof(IOrvexField));
      TComPtr<IErrorInfo> Info = Create.Query<IErrorInfo>();
      SetErrorInfo(0, Info.Get());
    }
    if (SUCCEEDED(Status)) *Name = SysAllocString(L"Этажи");
    return Status;
  }
};

// Leaves error information on the thread, as an earlier unchecked call would.
void LeaveStaleErrorInfo() {
  TComPtr<ICreateErrorInfo> Create;
  ASSERT_EQ(CreateErrorInfo(Create.Put()), S_OK);
  Create->SetDescription(const_cast<LPOLESTR>(L"stale"));
  TComPtr<IErrorInfo> Info = Create.Query<IErrorInfo>();
  SetErrorInfo(0, Info.Get());
}

const HRESULT UnknownStatus = static_cast<HRESULT>(0xA0041234);  // customer bit: no text

template <class F>
EOleException Raised(F&& Call) {
  try {
    Call();
  } catch (const EOleException& E) {
    return E;
  }
  ADD_FAILURE() << "no EOleException";
  return EOleException("", S_OK, "", "", 0);
}

}  // namespace

TEST(Errors, TrimRemovesTrailingStopsSpacesAndControls) {
  EXPECT_EQ(TrimErrorText("No such table. \r\n..."), "No such table");
  EXPECT_EQ(TrimErrorText("Нет таблицы.\t"), "Нет таблицы");
  EXPECT_EQ(TrimErrorText("a.b"), "a.b");  // only at the end
  EXPECT_EQ(TrimErrorText("  lead"), "  lead");
  EXPECT_EQ(TrimErrorText(". .\r\n"), "");
  EXPECT_EQ(TrimErrorText(""), "");
  // Cyrillic letters are above 0x7F and stay.
  EXPECT_EQ(TrimErrorText("Ошибка я"), "Ошибка я");
}

TEST(Errors, MessageRule) {
  EXPECT_EQ(OleErrorMessage(E_FAIL, "Table missing.  "), "Table missing");
  // An empty description (or one that trims to nothing) gives the system's text.
  const std::string System = SystemErrorText(E_OUTOFMEMORY);
  ASSERT_FALSE(System.empty());
  EXPECT_NE(System.back(), '.');
  EXPECT_NE(System.back(), '\n');
  EXPECT_EQ(OleErrorMessage(E_OUTOFMEMORY, ""), System);
  EXPECT_EQ(OleErrorMessage(E_OUTOFMEMORY, " . "), System);
  // No text at all: the status in hex.
  EXPECT_EQ(SystemErrorText(UnknownStatus), "");
  EXPECT_EQ(OleErrorMessage(UnknownStatus, ""), "OLE error a0041234");
}

TEST(Errors, OleCheck) {
  EXPECT_NO_THROW(OleCheck(S_OK));
  EXPECT_NO_THROW(OleCheck(S_FALSE));
  try {
    OleCheck(UnknownStatus);
    FAIL();
  } catch (const EOleSysError& E) {
    EXPECT_EQ(E.ErrorCode(), UnknownStatus);
    EXPECT_EQ(E.Message(), "OLE error a0041234");
  }
}

TEST(Errors, HostCallTakesTheHostsTrimmedDescription) {
  TFailingField Field;
  Field.Status = static_cast<HRESULT>(0x80040201);
  Field.Description = L"Поле не найдено. \r\n";
  EOleException E = Raised([&] { OX_STR(Field.Intf(), GetName); });
  EXPECT_EQ(E.Message(), "Поле не найдено");
  EXPECT_EQ(E.ErrorCode(), static_cast<HRESULT>(0x80040201));
  EXPECT_EQ(E.Source(), "Orvex.Field");
  // The error information was taken: none is left behind.
  TComPtr<IErrorInfo> Left;
  EXPECT_EQ(GetErrorInfo(0, Left.Put()), S_FALSE);
  EXPECT_EQ(Field.Refs, 1);
}

TEST(Errors, EmptyDescriptionGivesTheSystemText) {
  TFailingField Field;
  Field.Status = E_OUTOFMEMORY;
  Field.Description = L"";
  EXPECT_EQ(Raised([&] { OX_STR(Field.Intf(), GetName); }).Message(), SystemErrorText(E_OUTOFMEMORY));
  Field.Status = UnknownStatus;
  EXPECT_EQ(Raised([&] { OX_STR(Field.Intf(), GetName); }).Message(), "OLE error a0041234");
}

TEST(Errors, InformationIsTakenWhateverISupportErrorInfoAnswers) {
  // The real host answers for its own interface identifiers, not for ours.
  TFailingField Field;
  Field.Status = UnknownStatus;
  Field.Description = L"Поле занято другим пользователем.";
  Field.Supports = false;
  EXPECT_EQ(Raised([&] { OX_STR(Field.Intf(), GetName); }).Message(),
            "Поле занято другим пользователем");
  Field.OffersSupport = false;
  EXPECT_EQ(Raised([&] { OX_STR(Field.Intf(), GetName); }).Message(),
            "Поле занято другим пользователем");
}

TEST(Errors, StaleInformationIsNotReported) {
  TFailingField Field;
  Field.Status = E_OUTOFMEMORY;
  Field.Description = nullptr;  // the failing call sets none
  LeaveStaleErrorInfo();
  EXPECT_EQ(Raised([&] { OX_STR(Field.Intf(), GetName); }).Message(), SystemErrorText(E_OUTOFMEMORY));
}

TEST(Errors, SuccessfulCallsAndRequiredResults) {
  TFailingField Field;
  Field.Status = S_OK;
  LeaveStaleErrorInfo();
  EXPECT_EQ(OX_STR(Field.Intf(), GetName), "Этажи");
  EXPECT_EQ(OX_STR(Field.Intf(), GetId), "F1");
  // A null text is COM's empty string.
  Field.NullId = true;
  EXPECT_EQ(OX_STR(Field.Intf(), GetId), "");
  // Through a counted reference too, which the macros release as usual.
  TComPtr<IOrvexField> Ref(static_cast<IOrvexField*>(&Field));
  EXPECT_EQ(Field.Refs, 2);
  EXPECT_EQ(OX_STR(Ref, GetName), "Этажи");
  Ref.Reset();
  EXPECT_EQ(Field.Refs, 1);
}
