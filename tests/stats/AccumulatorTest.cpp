#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "stats/FillRun.h"
#include "support/Errors.h"

using namespace Quorin;

namespace {

TVariant I4(int32_t V) { return TVariant::Int32(V); }
TVariant R8(double V) { return TVariant::Double(V); }
TVariant Text(const char* V) { return TVariant::Text(V); }
TVariant Empty() { return TVariant(); }
TVariant Null() { return TVariant::Null(); }

template <class T>
TVariant Of(VARTYPE Kind, T Value) {
  TVariant V;
  V_VT(V.Ptr()) = Kind;
  switch (Kind) {
    case VT_I1: V_I1(V.Ptr()) = static_cast<CHAR>(Value); break;
    case VT_UI1: V_UI1(V.Ptr()) = static_cast<BYTE>(Value); break;
    case VT_I2: V_I2(V.Ptr()) = static_cast<SHORT>(Value); break;
    case VT_UI2: V_UI2(V.Ptr()) = static_cast<USHORT>(Value); break;
    case VT_I4: V_I4(V.Ptr()) = static_cast<LONG>(Value); break;
    case VT_UI4: V_UI4(V.Ptr()) = static_cast<ULONG>(Value); break;
    case VT_I8: V_I8(V.Ptr()) = static_cast<LONGLONG>(Value); break;
    case VT_INT: V_INT(V.Ptr()) = static_cast<INT>(Value); break;
    case VT_UI8: V_UI8(V.Ptr()) = static_cast<ULONGLONG>(Value); break;
    case VT_R4: V_R4(V.Ptr()) = static_cast<float>(Value); break;
    case VT_R8: V_R8(V.Ptr()) = static_cast<double>(Value); break;
    case VT_DATE: V_DATE(V.Ptr()) = static_cast<double>(Value); break;
    case VT_BOOL: V_BOOL(V.Ptr()) = Value ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_CY: V_CY(V.Ptr()).int64 = static_cast<LONGLONG>(Value) * 10000; break;
    default: ADD_FAILURE() << "kind " << Kind; break;
  }
  return V;
}

// A currency value of Raw ten-thousandths.
TVariant Cy(LONGLONG Raw) {
  TVariant V;
  V_VT(V.Ptr()) = VT_CY;
  V_CY(V.Ptr()).int64 = Raw;
  return V;
}

TVariant Reduce(TStatFunction F, const std::vector<TVariant>& Values) {
  TStatAccumulator A(F);
  A.Reset();
  for (const TVariant& V : Values) A.Add(V.Ref());
  A.Finish();
  return A.Value;
}

bool IsIntegerKind(VARTYPE K) {
  switch (K) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8:
    case VT_UI8: case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

// The value exactly: text, or the integer of the payload's bits.
std::wstring Exactly(const VARIANT& V) {
  if (V_VT(&V) == VT_BSTR) return V_BSTR(&V);
  if (V_VT(&V) == VT_I4 || V_VT(&V) == VT_INT) return std::to_wstring(V_I4(&V));
  return std::to_wstring(V_UI8(&V));  // the 8-byte kinds
}

double AsDouble(const TVariant& V) {
  TVariant R;
  EXPECT_EQ(VariantChangeType(R.Ptr(), const_cast<VARIANT*>(&V.Ref()), 0, VT_R8), S_OK);
  return V_R8(R.Ptr());
}

}  // namespace

TEST(Accumulator, NoValuesGiveTheEmptyResults) {
  for (bool WithNulls : {false, true}) {
    SCOPED_TRACE(WithNulls ? "only nulls" : "no values");
    std::vector<TVariant> Values;
    if (WithNulls) Values = {Null(), Null()};
    TVariant Count = Reduce(sfCount, Values);
    ASSERT_EQ(Count.Type(), VT_I4);
    EXPECT_EQ(V_I4(&Count.Ref()), 0);
    TVariant Sum = Reduce(sfSum, Values);
    ASSERT_EQ(Sum.Type(), VT_UI1);
    EXPECT_EQ(V_UI1(&Sum.Ref()), 0);
    TVariant Average = Reduce(sfAverage, Values);
    ASSERT_EQ(Average.Type(), VT_UI1);  // the integer 0 of Reset: nothing was divided
    EXPECT_EQ(V_UI1(&Average.Ref()), 0);
    EXPECT_EQ(Reduce(sfMin, Values).Type(), VT_EMPTY);
    EXPECT_EQ(Reduce(sfMax, Values).Type(), VT_EMPTY);
    // What goes to the host: a 32-bit 0, or empty.
    EXPECT_EQ(ToAutomationVar(Sum.Ref()).Type(), VT_I4);
    EXPECT_EQ(ToAutomationVar(Average.Ref()).Type(), VT_I4);
  }
}

TEST(Accumulator, CountCountsEmptiesButNotNulls) {
  TVariant R = Reduce(sfCount, {I4(3), Null(), Empty(), I4(5)});
  ASSERT_EQ(R.Type(), VT_I4);
  EXPECT_EQ(V_I4(&R.Ref()), 3);
  R = Reduce(sfCount, {Text("a"), Of(VT_BOOL, 1), R8(0.0)});
  EXPECT_EQ(V_I4(&R.Ref()), 3);
}

TEST(Accumulator, SumAndAverageSkipNonNumericValuesButCountThem) {
  TVariant Sum = Reduce(sfSum, {I4(4), Text("x"), I4(8)});
  ASSERT_TRUE(IsIntegerKind(Sum.Type())) << Sum.Type();
  EXPECT_EQ(AsDouble(Sum), 12.0);
  TVariant Average = Reduce(sfAverage, {I4(4), Text("x"), I4(8)});
  ASSERT_EQ(Average.Type(), VT_R8);
  EXPECT_DOUBLE_EQ(V_R8(&Average.Ref()), 4.0);
  // Booleans, empties and text raise the count without being added; nulls do neither.
  Average = Reduce(sfAverage, {I4(9), Of(VT_BOOL, 1), Empty(), Null(), Text("12")});
  ASSERT_EQ(Average.Type(), VT_R8);
  EXPECT_DOUBLE_EQ(V_R8(&Average.Ref()), 9.0 / 4);
  // Only non-numeric values: the integer 0 divided by their count.
  Average = Reduce(sfAverage, {Text("a"), Text("b")});
  ASSERT_EQ(Average.Type(), VT_R8);
  EXPECT_EQ(V_R8(&Average.Ref()), 0.0);
}

TEST(Accumulator, ResultKindsFollowTheOperands) {
  // Integer plus integer stays an integer, for every integer kind.
  for (VARTYPE K : {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8}) {
    SCOPED_TRACE(VarKindName(K));
    TVariant Sum = Reduce(sfSum, {Of(K, 100), Of(K, 27)});
    EXPECT_TRUE(IsIntegerKind(Sum.Type())) << Sum.Type();
    EXPECT_EQ(AsDouble(Sum), 127.0);
    TVariant Out = ToAutomationVar(Sum.Ref());
    EXPECT_TRUE(Out.Type() == VT_I4 || Out.Type() == VT_I2) << Out.Type();
    EXPECT_EQ(AsDouble(Out), 127.0);
  }
  // A real operand gives a real.
  for (VARTYPE K : {VT_R4, VT_R8}) {
    SCOPED_TRACE(VarKindName(K));
    TVariant Sum = Reduce(sfSum, {I4(1), Of(K, 2.5)});
    EXPECT_TRUE(Sum.Type() == VT_R4 || Sum.Type() == VT_R8) << Sum.Type();
    EXPECT_DOUBLE_EQ(AsDouble(Sum), 3.5);
  }
  TVariant Sum = Reduce(sfSum, {R8(0.25), I4(1), Of(VT_I2, 2)});
  ASSERT_EQ(Sum.Type(), VT_R8);
  EXPECT_DOUBLE_EQ(V_R8(&Sum.Ref()), 3.25);
  // Bytes that overflow a byte still add up.
  Sum = Reduce(sfSum, {Of(VT_UI1, 200), Of(VT_UI1, 100)});
  EXPECT_TRUE(IsIntegerKind(Sum.Type())) << Sum.Type();
  EXPECT_EQ(AsDouble(Sum), 300.0);
  // Currency and dates are numeric.
  Sum = Reduce(sfSum, {Of(VT_CY, 3), Of(VT_CY, 4)});
  ASSERT_EQ(Sum.Type(), VT_CY);
  EXPECT_EQ(V_CY(&Sum.Ref()).int64, 70000);
  Sum = Reduce(sfSum, {Of(VT_DATE, 1.5)});
  EXPECT_EQ(AsDouble(Sum), 1.5);
  // The eleven numeric kinds, and no other.
  for (VARTYPE K : {VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_I1, VT_UI1, VT_UI2, VT_UI4,
                    VT_I8})
    EXPECT_TRUE(IsNumericKind(K)) << K;
  for (VARTYPE K : {VT_EMPTY, VT_NULL, VT_BSTR, VT_BOOL, VT_DECIMAL, VT_UI8, VT_INT, VT_ERROR,
                    VT_DISPATCH})
    EXPECT_FALSE(IsNumericKind(K)) << K;
  // An unsigned 64-bit value is not added.
  Sum = Reduce(sfSum, {I4(5), Of(VT_UI8, 7)});
  EXPECT_EQ(AsDouble(Sum), 5.0);
}

TEST(Accumulator, AutomationConversionOfEveryIntegerKind) {
  struct {
    TVariant In;
    VARTYPE Kind;
    double Value;
  } Cases[] = {
      {Of(VT_I1, -5), VT_I4, -5},
      {Of(VT_UI1, 250), VT_I4, 250},
      {Of(VT_UI2, 65535), VT_I4, 65535},
      {Of(VT_UI4, 0x7FFFFFFFu), VT_I4, 2147483647.0},
      {Of(VT_UI4, 0x80000000u), VT_R8, 2147483648.0},  // bit 31 set
      {Of(VT_UI4, 0xFFFFFFFFu), VT_R8, 4294967295.0},
      {Of(VT_I8, INT32_MAX), VT_I4, 2147483647.0},
      {Of(VT_I8, INT32_MIN), VT_I4, -2147483648.0},
      {Of(VT_I8, static_cast<long long>(INT32_MAX) + 1), VT_R8, 2147483648.0},
      {Of(VT_I8, static_cast<long long>(INT32_MIN) - 1), VT_R8, -2147483649.0},
      {Of(VT_I8, 5000000000LL), VT_R8, 5e9},
      {Of(VT_I2, -7), VT_I2, -7},
      {Of(VT_I4, 7), VT_I4, 7},
      {Of(VT_R4, 1.5), VT_R4, 1.5},
      {Of(VT_R8, 2.5), VT_R8, 2.5},
      {Of(VT_CY, 3), VT_CY, 3},
      {Of(VT_DATE, 4.0), VT_DATE, 4},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(VarKindName(C.In.Type()));
    TVariant Out = ToAutomationVar(C.In.Ref());
    ASSERT_EQ(Out.Type(), C.Kind);
    EXPECT_EQ(AsDouble(Out), C.Value);
  }
  EXPECT_EQ(ToAutomationVar(Empty().Ref()).Type(), VT_EMPTY);
  EXPECT_EQ(ToAutomationVar(Null().Ref()).Type(), VT_NULL);
  TVariant T = ToAutomationVar(Text("Этажи").Ref());
  ASSERT_EQ(T.Type(), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&T.Ref()), L"Этажи");
}

TEST(Accumulator, SumOutsideThe32BitRangeIsWrittenAsADouble) {
  // Two large 32-bit values: the variant addition widens, the conversion keeps the value.
  TVariant Sum = Reduce(sfSum, {I4(INT32_MAX), I4(INT32_MAX)});
  EXPECT_EQ(AsDouble(Sum), 2.0 * INT32_MAX);
  TVariant Out = ToAutomationVar(Sum.Ref());
  ASSERT_EQ(Out.Type(), VT_R8);
  EXPECT_EQ(V_R8(&Out.Ref()), 2.0 * INT32_MAX);
  Sum = Reduce(sfSum, {Of(VT_UI4, 0x90000000u), I4(0)});
  EXPECT_EQ(AsDouble(ToAutomationVar(Sum.Ref())), 2415919104.0);
}

TEST(Accumulator, MinAndMax) {
  // Of equal values the first one stays, with its kind.
  TVariant R = Reduce(sfMin, {I4(7), R8(7.0)});
  ASSERT_EQ(R.Type(), VT_I4);
  EXPECT_EQ(V_I4(&R.Ref()), 7);
  R = Reduce(sfMax, {R8(7.0), I4(7)});
  ASSERT_EQ(R.Type(), VT_R8);
  // Empties are skipped.
  R = Reduce(sfMax, {R8(2.5), Empty(), R8(1.5)});
  ASSERT_EQ(R.Type(), VT_R8);
  EXPECT_EQ(V_R8(&R.Ref()), 2.5);
  R = Reduce(sfMin, {R8(2.5), Empty(), R8(1.5)});
  EXPECT_EQ(V_R8(&R.Ref()), 1.5);
  R = Reduce(sfMin, {Empty(), Null(), I4(4), Null()});
  ASSERT_EQ(R.Type(), VT_I4);
  EXPECT_EQ(V_I4(&R.Ref()), 4);
  // Mixed kinds compare by value.
  R = Reduce(sfMax, {Of(VT_UI1, 200), Of(VT_I2, -3), R8(199.5), Of(VT_I8, 150)});
  ASSERT_EQ(R.Type(), VT_UI1);
  EXPECT_EQ(V_UI1(&R.Ref()), 200);
  R = Reduce(sfMin, {Of(VT_UI1, 200), Of(VT_I2, -3), R8(-2.5), Of(VT_I8, 150)});
  ASSERT_EQ(R.Type(), VT_I2);
  EXPECT_EQ(V_I2(&R.Ref()), -3);
  R = Reduce(sfMax, {Of(VT_UI4, 0x80000000u), I4(INT32_MAX), Of(VT_I8, -1)});
  ASSERT_EQ(R.Type(), VT_UI4);
  // Text against text, and text against a number as a number.
  R = Reduce(sfMin, {Text("Берёза"), Text("Акация"), Text("Вяз")});
  ASSERT_EQ(R.Type(), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&R.Ref()), L"Акация");
  R = Reduce(sfMax, {I4(9), Text("10")});
  ASSERT_EQ(R.Type(), VT_BSTR);  // "10" > 9 as numbers (as text it would sort first)
  R = Reduce(sfMin, {Text("10"), I4(9)});
  ASSERT_EQ(R.Type(), VT_I4);
  EXPECT_EQ(V_I4(&R.Ref()), 9);
}

TEST(Accumulator, MinAndMaxCompareEveryNumberExactly) {
  const unsigned long long P63 = 1ULL << 63, UMax = ~0ULL;
  const double D63 = 9223372036854775808.0, D64 = 18446744073709551616.0;
  const long long P54 = 1LL << 54;
  const double D54 = 18014398509481984.0;  // the double nearest to 2^54 + 1
  // The doubles nearest to currency's ends lie just beyond them (by 0.0443 and 0.0442).
  const double CyTop = 922337203685477.625, CyBottom = -922337203685477.625;
  const char* Big = "10000000000000000000";  // 1e19, above 2^63
  struct {
    TStatFunction F;
    std::vector<TVariant> Values;
    size_t Kept;  // the index of the value that stays
  } Rows[] = {
      {sfMin, {Of(VT_UI8, 579), Of(VT_UI8, 0)}, 1},
      {sfMax, {Of(VT_UI8, P63 + 1), Of(VT_UI8, P63), Of(VT_UI8, 7)}, 0},
      {sfMin, {Of(VT_UI8, UMax), Of(VT_UI8, P63), Of(VT_UI8, UMax - 1)}, 1},
      {sfMax, {Of(VT_I8, LLONG_MAX), Of(VT_UI8, P63)}, 1},
      {sfMin, {Of(VT_UI8, P63), Of(VT_I8, -1)}, 1},
      {sfMax, {Of(VT_UI8, UMax), R8(D64)}, 1},
      {sfMax, {R8(D63), Of(VT_UI8, P63 + 1)}, 1},
      {sfMin, {Of(VT_UI8, P63), R8(D63)}, 0},
      {sfMax, {Of(VT_UI8, 3), R8(2.5)}, 0},
      {sfMin, {Of(VT_UI8, 10), Text("9")}, 1},
      {sfMax, {Text(Big), Of(VT_UI8, UMax)}, 1},
      {sfMax, {I4(1), Cy(LLONG_MIN)}, 0},
      {sfMax, {I4(INT32_MAX), Cy(LLONG_MAX)}, 1},
      {sfMax, {Cy(LLONG_MIN), Of(VT_INT, -1)}, 1},
      {sfMin, {Of(VT_INT, 1), Cy(LLONG_MAX), Cy(LLONG_MIN)}, 2},
      {sfMax, {Cy(LLONG_MAX), R8(CyTop)}, 1},
      {sfMin, {Cy(LLONG_MAX), R8(922337203685477.5)}, 1},
      {sfMax, {R8(CyBottom), Cy(LLONG_MIN)}, 1},
      {sfMax, {R8(D54), Of(VT_I8, P54 + 1)}, 1},
      {sfMin, {R8(-D54), Of(VT_I8, -P54 - 1)}, 1},
      {sfMin, {R8(D63), Of(VT_I8, LLONG_MAX)}, 1},
      {sfMin, {Of(VT_I8, LLONG_MIN), R8(-D63)}, 0},
      {sfMax, {I4(1), R8(std::numeric_limits<double>::quiet_NaN()), I4(0)}, 0},  // unordered
  };
  for (const auto& Row : Rows) {
    SCOPED_TRACE(testing::Message() << "row " << &Row - Rows);
    TVariant R;
    try {
      R = Reduce(Row.F, Row.Values);
    } catch (const EVariantTypeCastError& E) {
      ADD_FAILURE() << E.Message();
      continue;
    }
    EXPECT_EQ(VarKindName(R.Type()), VarKindName(Row.Values[Row.Kept].Type()));
    EXPECT_EQ(Exactly(R.Ref()), Exactly(Row.Values[Row.Kept].Ref()));
  }
}

TEST(Accumulator, MinOfTextThatIsNotANumberAgainstANumberRaises) {
  for (TStatFunction F : {sfMin, sfMax}) {
    TStatAccumulator A(F);
    A.Reset();
    A.Add(I4(3).Ref());
    try {
      A.Add(Text("много").Ref());
      FAIL() << "no conversion error";
    } catch (const EVariantTypeCastError& E) {
      EXPECT_NE(E.Message().find("String"), std::string::npos) << E.Message();
    }
    // The extreme is untouched by the failed comparison.
    ASSERT_EQ(A.Value.Type(), VT_I4);
    EXPECT_EQ(V_I4(&A.Value.Ref()), 3);
  }
  // The other way round too.
  EXPECT_THROW(Reduce(sfMax, {Text("abc"), R8(1.0)}), EVariantTypeCastError);
  // Sum never compares, so it cannot fail on the kind.
  EXPECT_NO_THROW(Reduce(sfSum, {I4(3), Text("много")}));
}

TEST(Accumulator, AverageOfAreas) {
  TVariant R = Reduce(sfAverage, {R8(10.0), R8(30.0)});
  ASSERT_EQ(R.Type(), VT_R8);
  EXPECT_EQ(V_R8(&R.Ref()), 20.0);
  R = Reduce(sfAverage, {I4(1), I4(2)});  // real division of an integer sum
  ASSERT_EQ(R.Type(), VT_R8);
  EXPECT_EQ(V_R8(&R.Ref()), 1.5);
}

TEST(Accumulator, ResetStartsAFreshObject) {
  for (TStatFunction F : {sfCount, sfSum, sfAverage, sfMin, sfMax}) {
    SCOPED_TRACE(StatFunctionIDs[F]);
    TStatAccumulator A(F);
    A.Reset();
    A.Add(I4(5).Ref());
    A.Add(I4(6).Ref());
    A.Finish();
    A.Reset();
    EXPECT_EQ(A.ValueCount, 0);
    A.Add(I4(2).Ref());
    A.Finish();
    const double Expected[] = {1, 2, 2, 2, 2};
    EXPECT_EQ(AsDouble(A.Value), Expected[F]);
  }
}
