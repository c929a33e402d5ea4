#include "support/Variants.h"

#include <climits>
#include <cstring>

#include "support/Errors.h"
#include "support/FpuControl.h"

namespace Quorin {

TVariant::TVariant(const TVariant& Other) : TVariant() {
  OleCheck(VariantCopy(&FValue, const_cast<VARIANT*>(&Other.FValue)));
}

TVariant::TVariant(const VARIANT& Other) : TVariant() {
  OleCheck(VariantCopy(&FValue, const_cast<VARIANT*>(&Other)));
}

TVariant::TVariant(TVariant&& Other) noexcept {
  std::memcpy(&FValue, &Other.FValue, sizeof(VARIANT));
  VariantInit(&Other.FValue);
}

TVariant& TVariant::operator=(const TVariant& Other) {
  if (this != &Other) OleCheck(VariantCopy(&FValue, const_cast<VARIANT*>(&Other.FValue)));
  return *this;
}

TVariant& TVariant::operator=(TVariant&& Other) noexcept {
  if (this != &Other) {
    VariantClear(&FValue);
    std::memcpy(&FValue, &Other.FValue, sizeof(VARIANT));
    VariantInit(&Other.FValue);
  }
  return *this;
}

TVariant TVariant::Int32(int32_t V) {
  TVariant R;
  V_VT(R.Ptr()) = VT_I4;
  V_I4(R.Ptr()) = V;
  return R;
}

TVariant TVariant::UInt8(uint8_t V) {
  TVariant R;
  V_VT(R.Ptr()) = VT_UI1;
  V_UI1(R.Ptr()) = V;
  return R;
}

TVariant TVariant::RealZero() {
  TVariant R;
  V_VT(R.Ptr()) = VT_R8;
  V_I8(R.Ptr()) = 0;  // the bits of +0.0
  return R;
}

TVariant TVariant::Text(const std::string& V) {
  TVariant R;
  TBStr S(V);
  V_VT(R.Ptr()) = VT_BSTR;
  V_BSTR(R.Ptr()) = S.Detach();
  return R;
}

TVariant TVariant::Null() {
  TVariant R;
  V_VT(R.Ptr()) = VT_NULL;
  return R;
}

bool IsEmptyVar(const VARIANT& V) noexcept { return V_VT(&V) == VT_EMPTY; }
bool IsNullVar(const VARIANT& V) noexcept { return V_VT(&V) == VT_NULL; }

TVariant DerefVar(const VARIANT& V) {
  TVariant R;
  OleCheck(VariantCopyInd(R.Ptr(), const_cast<VARIANT*>(&V)));
  return R;
}

bool IsNumericKind(VARTYPE Kind) noexcept {
  switch (Kind) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
    case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8:
      return true;
    default:
      return false;
  }
}

namespace {

// A value that is an object: oleaut32 asks it for its value, which is the host's code and runs
// under the host's floating-point state, so no module scope is held around it.
bool HoldsObject(const VARIANT& V) noexcept {
  const VARTYPE Kind = V_VT(&V) & VT_TYPEMASK;
  return Kind == VT_DISPATCH || Kind == VT_UNKNOWN;
}

// oleaut32's arithmetic and comparison refuse the signed 8-bit, unsigned 16-bit and unsigned
// 32-bit kinds (DISP_E_BADVARTYPE). They are widened without loss first: the first two to a
// 32-bit integer, the third to a 64-bit one. These kinds hold no resources, so Tmp needs no
// clearing. Any other value is used as it is.
VARIANT* Widened(const VARIANT& V, VARIANT& Tmp) noexcept {
  switch (V_VT(&V)) {
    case VT_I1: V_VT(&Tmp) = VT_I4; V_I4(&Tmp) = V_I1(&V); return &Tmp;
    case VT_UI2: V_VT(&Tmp) = VT_I4; V_I4(&Tmp) = V_UI2(&V); return &Tmp;
    case VT_INT: V_VT(&Tmp) = VT_I4; V_I4(&Tmp) = V_INT(&V); return &Tmp;
    case VT_UI4: V_VT(&Tmp) = VT_I8; V_I8(&Tmp) = V_UI4(&V); return &Tmp;
    case VT_UINT: V_VT(&Tmp) = VT_I8; V_I8(&Tmp) = V_UINT(&V); return &Tmp;
    default: return const_cast<VARIANT*>(&V);
  }
}

}  // namespace

void AddVar(TVariant& Acc, const VARIANT& V) {
  // The two sums of a fill run's inner loop, done here as oleaut32 would do them; anything
  // else, and a 32-bit sum that overflows, goes to VarAdd.
  VARIANT& A = *Acc.Ptr();
  if (V_VT(&A) == VT_R8 && V_VT(&V) == VT_R8) {
    TModuleFpuScope Fpu;
    V_R8(&A) += V_R8(&V);
    return;
  }
  if (V_VT(&A) == VT_I4 && V_VT(&V) == VT_I4) {
    const long long Sum = static_cast<long long>(V_I4(&A)) + V_I4(&V);
    if (Sum >= INT32_MIN && Sum <= INT32_MAX) {
      V_I4(&A) = static_cast<LONG>(Sum);
      return;
    }
  }
  VARIANT TA, TB;
  TVariant Sum;
  {
    TModuleFpuScope Fpu(!HoldsObject(Acc.Ref()) && !HoldsObject(V));
    OleCheck(VarAdd(Widened(Acc.Ref(), TA), Widened(V, TB), Sum.Put()));
  }
  Acc = std::move(Sum);
}

TVariant DivideVar(const VARIANT& A, int32_t Count) {
  VARIANT TA;
  TVariant Divisor = TVariant::Int32(Count), Result;
  {
    TModuleFpuScope Fpu(!HoldsObject(A));
    OleCheck(VarDiv(Widened(A, TA), Divisor.Ptr(), Result.Put()));
  }
  return Result;
}

std::string VarKindName(VARTYPE Kind) {
  const char* Name = nullptr;
  switch (Kind & VT_TYPEMASK) {
    case VT_EMPTY: Name = "Empty"; break;
    case VT_NULL: Name = "Null"; break;
    case VT_I2: Name = "Smallint"; break;
    case VT_I4: Name = "Integer"; break;
    case VT_R4: Name = "Single"; break;
    case VT_R8: Name = "Double"; break;
    case VT_CY: Name = "Currency"; break;
    case VT_DATE: Name = "Date"; break;
    case VT_BSTR: Name = "String"; break;
    case VT_DISPATCH: Name = "Dispatch"; break;
    case VT_ERROR: Name = "Error"; break;
    case VT_BOOL: Name = "Boolean"; break;
    case VT_VARIANT: Name = "Variant"; break;
    case VT_UNKNOWN: Name = "Unknown"; break;
    case VT_DECIMAL: Name = "Decimal"; break;
    case VT_I1: Name = "ShortInt"; break;
    case VT_UI1: Name = "Byte"; break;
    case VT_UI2: Name = "Word"; break;
    case VT_UI4: Name = "LongWord"; break;
    case VT_I8: Name = "Int64"; break;
    case VT_UI8: Name = "UInt64"; break;
    case VT_INT: Name = "Int"; break;
    case VT_UINT: Name = "UInt"; break;
    default: break;
  }
  std::string Text = Name ? Name : Format("%04x", static_cast<unsigned>(Kind & VT_TYPEMASK));
  if (Kind & VT_ARRAY) Text = "Array " + Text;
  return Text;
}

namespace {

[[noreturn]] void RaiseCastError(VARTYPE From, VARTYPE To) {
  throw EVariantTypeCastError(Format("Не удалось преобразовать значение типа (%s) в тип (%s)",
                                     VarKindName(From).c_str(), VarKindName(To).c_str()));
}

bool IsIntegerOrReal(VARTYPE Kind) {
  switch (Kind) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
    case VT_R4: case VT_R8:
      return true;
    default:
      return false;
  }
}

int FromVarCmp(HRESULT Hr, VARTYPE A, VARTYPE B) {
  switch (Hr) {
    case VARCMP_LT: return -1;
    case VARCMP_EQ: return 0;
    case VARCMP_GT: return 1;
    default: RaiseCastError(A, B);
  }
}

// ---- numbers compared exactly ----------------------------------------------------------------
// oleaut32's VarCmp refuses VT_UI8 in every pairing, compares currency with an integer through a
// difference that can leave currency's range, and compares a 64-bit integer with a double
// through a rounded double. So numbers are compared here, exactly and in integers only: each is
// a sign and a magnitude Mant * 2^Exp, in ten-thousandths for currency. A real is taken apart
// from its bits, so nothing here computes in floating point.

struct TExactNumber {
  enum TClass { Finite, Infinite, NaN } Class = Finite;
  bool Negative = false;
  bool TenThousandths = false;  // currency
  uint64_t Mant = 0;
  int Exp = 0;
};

void SetInteger(TExactNumber& N, bool Negative, uint64_t Magnitude) {
  N.Negative = Negative;
  N.Mant = Magnitude;
}

void SetSigned(TExactNumber& N, int64_t V) {
  SetInteger(N, V < 0, V < 0 ? 0 - static_cast<uint64_t>(V) : static_cast<uint64_t>(V));
}

// An IEEE binary real of FracBits fraction bits and ExpBits exponent bits, from its bits.
void SetReal(TExactNumber& N, uint64_t Bits, int FracBits, int ExpBits) {
  const int MaxExp = (1 << ExpBits) - 1, Bias = MaxExp >> 1;
  const int E = static_cast<int>((Bits >> FracBits) & static_cast<uint64_t>(MaxExp));
  const uint64_t Fraction = Bits & ((uint64_t(1) << FracBits) - 1);
  N.Negative = (Bits >> (FracBits + ExpBits)) & 1;
  if (E == MaxExp) N.Class = Fraction ? TExactNumber::NaN : TExactNumber::Infinite;
  N.Mant = E ? Fraction | (uint64_t(1) << FracBits) : Fraction;  // E 0: subnormal
  N.Exp = (E ? E : 1) - Bias - FracBits;
}

// The numeric kinds, taken by value; false for any other kind.
bool ToExactNumber(const VARIANT& V, TExactNumber& N) {
  switch (V_VT(&V)) {
    case VT_I1: SetSigned(N, V_I1(&V)); return true;
    case VT_I2: SetSigned(N, V_I2(&V)); return true;
    case VT_I4: SetSigned(N, V_I4(&V)); return true;
    case VT_INT: SetSigned(N, V_INT(&V)); return true;
    case VT_I8: SetSigned(N, V_I8(&V)); return true;
    case VT_UI1: SetInteger(N, false, V_UI1(&V)); return true;
    case VT_UI2: SetInteger(N, false, V_UI2(&V)); return true;
    case VT_UI4: SetInteger(N, false, V_UI4(&V)); return true;
    case VT_UINT: SetInteger(N, false, V_UINT(&V)); return true;
    case VT_UI8: SetInteger(N, false, V_UI8(&V)); return true;
    case VT_CY: SetSigned(N, V_CY(&V).int64); N.TenThousandths = true; return true;
    case VT_R4: SetReal(N, V_UI4(&V), 23, 8); return true;  // the bits, not the value
    case VT_R8: case VT_DATE: SetReal(N, V_UI8(&V), 52, 11); return true;
    default: return false;
  }
}

// An unsigned integer of up to 128 bits: room for a 64-bit magnitude times 10^4.
struct TWide {
  uint64_t Hi, Lo;
};

TWide Times625(uint64_t V) {
  const uint64_t Low = (V & 0xFFFFFFFFu) * 625, High = (V >> 32) * 625;
  const uint64_t Lo = Low + (High << 32);
  return {(High >> 32) + (Lo < Low ? 1 : 0), Lo};
}

int BitLength(const TWide& V) {
  if (V.Hi) return 128 - __builtin_clzll(V.Hi);
  return V.Lo ? 64 - __builtin_clzll(V.Lo) : 0;
}

// V * 2^Shift, for a result that fits.
TWide ShiftedLeft(const TWide& V, int Shift) {
  if (Shift == 0) return V;
  if (Shift >= 64) return {V.Lo << (Shift - 64), 0};
  return {(V.Hi << Shift) | (V.Lo >> (64 - Shift)), V.Lo << Shift};
}

// Two finite non-zero magnitudes.
int CompareMagnitudes(const TExactNumber& A, const TExactNumber& B) {
  TWide MA = {0, A.Mant}, MB = {0, B.Mant};
  int EA = A.Exp, EB = B.Exp;
  // Against currency, the other value in ten-thousandths too: times 625 * 2^4.
  if (A.TenThousandths && !B.TenThousandths) {
    MB = Times625(B.Mant);
    EB += 4;
  } else if (B.TenThousandths && !A.TenThousandths) {
    MA = Times625(A.Mant);
    EA += 4;
  }
  // The highest bit first; at the same one the mantissas aligned at the lower exponent.
  const int TopA = BitLength(MA) + EA, TopB = BitLength(MB) + EB;
  if (TopA != TopB) return TopA < TopB ? -1 : 1;
  if (EA > EB) MA = ShiftedLeft(MA, EA - EB);
  else MB = ShiftedLeft(MB, EB - EA);
  if (MA.Hi != MB.Hi) return MA.Hi < MB.Hi ? -1 : 1;
  return MA.Lo == MB.Lo ? 0 : MA.Lo < MB.Lo ? -1 : 1;
}

// -1, 0 or 1. A NaN is neither less nor greater than anything: 0, so that a strict comparison
// keeps the value it has.
int CompareNumbers(const TExactNumber& A, const TExactNumber& B) {
  if (A.Class == TExactNumber::NaN || B.Class == TExactNumber::NaN) return 0;
  auto Sign = [](const TExactNumber& N) {
    if (N.Class == TExactNumber::Finite && N.Mant == 0) return 0;  // either zero
    return N.Negative ? -1 : 1;
  };
  const int SA = Sign(A), SB = Sign(B);
  if (SA != SB) return SA < SB ? -1 : 1;
  if (SA == 0) return 0;
  int Magnitudes;
  if (A.Class == TExactNumber::Infinite || B.Class == TExactNumber::Infinite)
    Magnitudes = (A.Class == TExactNumber::Infinite) - (B.Class == TExactNumber::Infinite);
  else
    Magnitudes = CompareMagnitudes(A, B);
  return SA * Magnitudes;
}

// Both numbers: compared exactly. Otherwise oleaut32's comparison.
int CompareValues(VARIANT* A, VARIANT* B, VARTYPE KA, VARTYPE KB) {
  TExactNumber NA, NB;
  if (ToExactNumber(*A, NA) && ToExactNumber(*B, NB)) return CompareNumbers(NA, NB);
  return FromVarCmp(VarCmp(A, B, LOCALE_USER_DEFAULT, 0), KA, KB);
}

}  // namespace

int CompareVar(const VARIANT& A, const VARIANT& B) {
  const VARTYPE KA = V_VT(&A), KB = V_VT(&B);
  TExactNumber NA, NB;
  if (ToExactNumber(A, NA) && ToExactNumber(B, NB)) return CompareNumbers(NA, NB);
  TModuleFpuScope Fpu(!HoldsObject(A) && !HoldsObject(B));
  VARIANT TA, TB;
  VARIANT* PA = Widened(A, TA);
  VARIANT* PB = Widened(B, TB);
  // oleaut32 ranks any text above any number; here text against a number compares as a number.
  if ((KA == VT_BSTR) != (KB == VT_BSTR)) {
    const bool TextFirst = KA == VT_BSTR;
    VARIANT* Text = TextFirst ? PA : PB;
    const VARTYPE Other = V_VT(TextFirst ? PB : PA);
    const VARTYPE Target = IsIntegerOrReal(Other) ? VARTYPE(VT_R8) : Other;
    TVariant Converted;
    if (FAILED(VariantChangeTypeEx(Converted.Put(), Text, LOCALE_USER_DEFAULT, 0, Target)))
      RaiseCastError(VT_BSTR, Target);
    VARIANT* L = TextFirst ? Converted.Ptr() : PA;
    VARIANT* R = TextFirst ? PB : Converted.Ptr();
    return CompareValues(L, R, KA, KB);
  }
  return FromVarCmp(VarCmp(PA, PB, LOCALE_USER_DEFAULT, 0), KA, KB);
}

namespace {

// The nearest double (a 64-bit integer may not have one exactly).
TVariant DoubleOf(long long Value) {
  TVariant R;
  V_VT(R.Ptr()) = VT_R8;
  TModuleFpuScope Fpu;
  V_R8(R.Ptr()) = static_cast<double>(Value);
  return R;
}

}  // namespace

TVariant ToAutomationVar(const VARIANT& V) {
  switch (V_VT(&V)) {
    case VT_I1: return TVariant::Int32(V_I1(&V));
    case VT_UI1: return TVariant::Int32(V_UI1(&V));
    case VT_UI2: return TVariant::Int32(V_UI2(&V));
    case VT_UI4:
      if (V_UI4(&V) & 0x80000000u) return DoubleOf(V_UI4(&V));
      return TVariant::Int32(static_cast<int32_t>(V_UI4(&V)));
    case VT_I8:
      if (V_I8(&V) >= INT32_MIN && V_I8(&V) <= INT32_MAX)
        return TVariant::Int32(static_cast<int32_t>(V_I8(&V)));
      return DoubleOf(V_I8(&V));
    default:
      return TVariant(V);
  }
}

}  // namespace Quorin
