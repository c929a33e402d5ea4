#include "hostsim/demo/DemoOutput.h"

#include <cstdio>

#include "hostsim/demo/DemoScenario.h"

namespace OrvexSim {

namespace {

std::wstring NumberText(double V) {
  wchar_t Text[64];
  swprintf(Text, 64, L"%.15g", V);
  return Text;
}

}  // namespace

std::wstring DisplayText(const HostSim::TValue& Value) {
  const VARIANT& V = Value.Ref();
  switch (V_VT(&V)) {
    case VT_EMPTY:
    case VT_NULL:
      return L"";
    case VT_BSTR:
      return std::wstring(V_BSTR(&V), SysStringLen(V_BSTR(&V)));
    case VT_BOOL:
      return V_BOOL(&V) ? L"True" : L"False";
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4:
    case VT_UI8: case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: {
      VARIANT D;
      VariantInit(&D);
      if (SUCCEEDED(VariantChangeType(&D, const_cast<VARIANT*>(&V), 0, VT_R8))) return NumberText(V_R8(&D));
      break;
    }
    default:
      break;
  }
  VARIANT Text;
  VariantInit(&Text);
  std::wstring Result;
  if (SUCCEEDED(VariantChangeType(&Text, const_cast<VARIANT*>(&V), 0, VT_BSTR)))
    Result.assign(V_BSTR(&Text), SysStringLen(V_BSTR(&Text)));
  VariantClear(&Text);
  return Result;
}

std::wstring CsvCell(const HostSim::TValue& Value) {
  std::wstring Text = DisplayText(Value);
  if (V_VT(&Value.Ref()) != VT_BSTR || Text.find_first_of(L",\"\r\n") == std::wstring::npos)
    return Text;
  std::wstring Quoted = L"\"";
  for (wchar_t C : Text) {
    if (C == L'"') Quoted += L'"';
    Quoted += C;
  }
  return Quoted + L"\"";
}

bool WriteTableCsv(const HostSim::THost& Host, const TLayerInfo& Layer, const TTableInfo& Table,
                   const std::wstring& Path) {
  FILE* Out = _wfopen(Path.c_str(), L"wb");
  if (!Out) return false;
  bool Ok = true;
  // Line by line: the text of a million objects is not held at once.
  auto Put = [&](const std::wstring& Line) {
    const std::string Bytes = Utf8(Line);
    Ok = Ok && fwrite(Bytes.data(), 1, Bytes.size(), Out) == Bytes.size();
  };
  std::wstring Line = L"object,record";
  for (const auto& Field : Table.Fields) Line += L"," + Field.Id;
  Put(Line + L"\n");
  for (const auto& ObjectId : Host.ObjectIds(Layer.Id)) {
    long Records = Host.RecordCount(ObjectId, Table.Id);
    for (long R = 0; R < Records; ++R) {
      Line = ObjectId + L"," + std::to_wstring(R);
      for (const auto& Field : Table.Fields) Line += L"," + CsvCell(Host.Value(ObjectId, Table.Id, Field.Id, R));
      Put(Line + L"\n");
    }
  }
  return fclose(Out) == 0 && Ok;
}

}  // namespace OrvexSim
