// VARIANT ownership and the variant arithmetic the module needs, on oleaut32.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <cstdint>
#include <string>

namespace Quorin {

// Owner of a VARIANT.
class TVariant {
public:
  TVariant() noexcept { VariantInit(&FValue); }
  TVariant(const TVariant& Other);
  TVariant(TVariant&& Other) noexcept;
  explicit TVariant(const VARIANT& Other);  // deep copy
  TVariant& operator=(const TVariant& Other);
  TVariant& operator=(TVariant&& Other) noexcept;
  ~TVariant() { VariantClear(&FValue); }

  static TVariant Int32(int32_t V);
  static TVariant UInt8(uint8_t V);
  // For code that holds a double (the module's code passes doubles only inside variants).
  static TVariant Double(double V) {
    TVariant R;
    V_VT(R.Ptr()) = VT_R8;
    V_R8(R.Ptr()) = V;
    return R;
  }
  // A VT_R8 that the caller fills through RealSlot (an [out] double of a host call).
  static TVariant RealZero();
  double* RealSlot() noexcept { return &V_R8(&FValue); }
  static TVariant Text(const std::string& V);  // VT_BSTR, widened from the module's form
  static TVariant Null();

  const VARIANT& Ref() const noexcept { return FValue; }
  VARIANT* Ptr() noexcept { return &FValue; }
  // For [out] parameters.
  VARIANT* Put() noexcept { Clear(); return &FValue; }
  VARTYPE Type() const noexcept { return V_VT(&FValue); }
  void Clear() noexcept { VariantClear(&FValue); }

private:
  VARIANT FValue;
};

bool IsEmptyVar(const VARIANT& V) noexcept;
bool IsNullVar(const VARIANT& V) noexcept;
// The value with any by-reference indirection removed.
TVariant DerefVar(const VARIANT& V);
// The eleven kinds that a sum takes: I2, I4, R4, R8, CY, DATE, I1, UI1, UI2, UI4, I8.
bool IsNumericKind(VARTYPE Kind) noexcept;
// Acc := Acc + V, with the promotion of kinds of the variant addition.
void AddVar(TVariant& Acc, const VARIANT& V);
// A / Count, real division.
TVariant DivideVar(const VARIANT& A, int32_t Count);
// Ordering: negative, 0 or positive. Numbers (the integers of 8 to 64 bits, reals, currency,
// dates) by their exact values, a NaN as equal to anything; text with text; text against another
// kind is converted to that kind first (to a double against an integer or real). A failed
// conversion raises EVariantTypeCastError naming both kinds.
int CompareVar(const VARIANT& A, const VARIANT& B);
// The automation-compatible form: I1, UI1, UI2 become I4; UI4 becomes I4 when bit 31 is clear,
// a double otherwise; I8 becomes I4 when it lies in the 32-bit range, a double otherwise.
TVariant ToAutomationVar(const VARIANT& V);
// The kind's name in the variant conversion error ("Integer", "String", ...).
std::string VarKindName(VARTYPE Kind);

}  // namespace Quorin
