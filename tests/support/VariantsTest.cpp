#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>

#include "support/Errors.h"
#include "support/Variants.h"

using namespace Quorin;

namespace {

// One value of each numeric kind, all equal to N (N small and non-negative).
TVariant OfKind(VARTYPE Kind, int N) {
  TVariant V;
  V_VT(V.Ptr()) = Kind;
  switch (Kind) {
    case VT_I1: V_I1(V.Ptr()) = static_cast<CHAR>(N); break;
    case VT_UI1: V_UI1(V.Ptr()) = static_cast<BYTE>(N); break;
    case VT_I2: V_I2(V.Ptr()) = static_cast<SHORT>(N); break;
    case VT_UI2: V_UI2(V.Ptr()) = static_cast<USHORT>(N); break;
    case VT_I4: V_I4(V.Ptr()) = N; break;
    case VT_UI4: V_UI4(V.Ptr()) = static_cast<ULONG>(N); break;
    case VT_I8: V_I8(V.Ptr()) = N; break;
    case VT_R4: V_R4(V.Ptr()) = static_cast<float>(N); break;
    case VT_R8: V_R8(V.Ptr()) = N; break;
    case VT_CY: V_CY(V.Ptr()).int64 = 10000LL * N; break;
    case VT_DATE: V_DATE(V.Ptr()) = N; break;
    default: ADD_FAILURE(); break;
  }
  return V;
}

const VARTYPE NumericKinds[] = {VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE,
                                VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8};

bool IsInteger(VARTYPE K) {
  return K == VT_I1 || K == VT_UI1 || K == VT_I2 || K == VT_UI2 || K == VT_I4 || K == VT_UI4 ||
         K == VT_I8;
}

double AsDouble(const VARIANT& V) {
  TVariant R;
  EXPECT_EQ(VariantChangeType(R.Ptr(), const_cast<VARIANT*>(&V), 0, VT_R8), S_OK);
  return V_R8(R.Ptr());
}

}  // namespace

TEST(Variants, OwnershipAndFactories) {
  TVariant T = TVariant::Text("Этажи");
  ASSERT_EQ(T.Type(), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&T.Ref()), L"Этажи");
  TVariant Copy(T);
  ASSERT_EQ(Copy.Type(), VT_BSTR);
  EXPECT_NE(V_BSTR(&Copy.Ref()), V_BSTR(&T.Ref()));  // a deep copy
  EXPECT_STREQ(V_BSTR(&Copy.Ref()), L"Этажи");
  TVariant Moved(std::move(Copy));
  EXPECT_EQ(Copy.Type(), VT_EMPTY);
  EXPECT_STREQ(V_BSTR(&Moved.Ref()), L"Этажи");
  Moved = TVariant::Int32(-4);
  EXPECT_EQ(Moved.Type(), VT_I4);
  EXPECT_EQ(V_I4(&Moved.Ref()), -4);
  Moved = T;
  EXPECT_STREQ(V_BSTR(&Moved.Ref()), L"Этажи");
  Moved = Moved;  // self-assignment keeps the value
  EXPECT_STREQ(V_BSTR(&Moved.Ref()), L"Этажи");
  EXPECT_EQ(TVariant::UInt8(200).Type(), VT_UI1);
  EXPECT_EQ(V_R8(&TVariant::Double(2.5).Ref()), 2.5);
  EXPECT_TRUE(IsNullVar(TVariant::Null().Ref()));
  EXPECT_FALSE(IsEmptyVar(TVariant::Null().Ref()));
  EXPECT_TRUE(IsEmptyVar(TVariant().Ref()));
  EXPECT_FALSE(IsNullVar(TVariant().Ref()));
  T.Clear();
  EXPECT_TRUE(IsEmptyVar(T.Ref()));
}

TEST(Variants, DerefRemovesIndirection) {
  LONG I = 42;
  VARIANT Ref;
  VariantInit(&Ref);
  V_VT(&Ref) = VT_BYREF | VT_I4;
  V_I4REF(&Ref) = &I;
  TVariant D = DerefVar(Ref);
  ASSERT_EQ(D.Type(), VT_I4);
  EXPECT_EQ(V_I4(&D.Ref()), 42);

  BSTR S = SysAllocString(L"Слой");
  V_VT(&Ref) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&Ref) = &S;
  D = DerefVar(Ref);
  ASSERT_EQ(D.Type(), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&D.Ref()), L"Слой");
  EXPECT_NE(V_BSTR(&D.Ref()), S);
  SysFreeString(S);

  VARIANT Inner;
  VariantInit(&Inner);
  V_VT(&Inner) = VT_R8;
  V_R8(&Inner) = 1.25;
  V_VT(&Ref) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&Ref) = &Inner;
  D = DerefVar(Ref);
  ASSERT_EQ(D.Type(), VT_R8);
  EXPECT_EQ(V_R8(&D.Ref()), 1.25);
  // A plain value is copied as it is.
  D = DerefVar(TVariant::Null().Ref());
  EXPECT_TRUE(IsNullVar(D.Ref()));
}

TEST(Variants, AddEveryPairOfNumericKinds) {
  for (VARTYPE A : NumericKinds) {
    for (VARTYPE B : NumericKinds) {
      SCOPED_TRACE(VarKindName(A) + " + " + VarKindName(B));
      TVariant Acc = OfKind(A, 3);
      ASSERT_NO_THROW(AddVar(Acc, OfKind(B, 4).Ref()));
      EXPECT_EQ(AsDouble(Acc.Ref()), 7.0);
      if (IsInteger(A) && IsInteger(B)) {
        EXPECT_TRUE(IsInteger(Acc.Type())) << Acc.Type();
      }
      // A real operand gives a real; currency and dates keep their kind (oleaut32's rule).
      const bool Real = A == VT_R4 || A == VT_R8 || B == VT_R4 || B == VT_R8;
      const bool Keeps = A == VT_CY || A == VT_DATE || B == VT_CY || B == VT_DATE;
      if (Real && !Keeps) {
        EXPECT_TRUE(Acc.Type() == VT_R8 || Acc.Type() == VT_R4) << Acc.Type();
      }
      if (A == VT_R8 && !Keeps) {
        EXPECT_EQ(Acc.Type(), VT_R8);
      }
      // The sum compares with the operands like a number.
      EXPECT_GT(CompareVar(Acc.Ref(), OfKind(A, 3).Ref()), 0);
    }
  }
}

TEST(Variants, AddKeepsLargeUnsignedValues) {
  TVariant Acc = TVariant::UInt8(0);
  TVariant Big;
  V_VT(Big.Ptr()) = VT_UI4;
  V_UI4(Big.Ptr()) = 0xF0000000u;
  AddVar(Acc, Big.Ref());
  AddVar(Acc, Big.Ref());
  EXPECT_TRUE(IsInteger(Acc.Type()));
  EXPECT_EQ(AsDouble(Acc.Ref()), 2.0 * 0xF0000000u);
}

TEST(Variants, AddOverflowingA32BitSumKeepsTheValue) {
  TVariant Acc = TVariant::Int32(INT32_MAX);
  AddVar(Acc, TVariant::Int32(1).Ref());
  EXPECT_NE(Acc.Type(), VT_I4);
  EXPECT_EQ(AsDouble(Acc.Ref()), 2147483648.0);
  Acc = TVariant::Int32(INT32_MIN);
  AddVar(Acc, TVariant::Int32(-1).Ref());
  EXPECT_EQ(AsDouble(Acc.Ref()), -2147483649.0);
  Acc = TVariant::Int32(-5);
  AddVar(Acc, TVariant::Int32(3).Ref());
  ASSERT_EQ(Acc.Type(), VT_I4);
  EXPECT_EQ(V_I4(&Acc.Ref()), -2);
  Acc = TVariant::Double(0.5);
  AddVar(Acc, TVariant::Double(0.25).Ref());
  ASSERT_EQ(Acc.Type(), VT_R8);
  EXPECT_EQ(V_R8(&Acc.Ref()), 0.75);
}

TEST(Variants, Divide) {
  TVariant Q = DivideVar(TVariant::Int32(7).Ref(), 2);
  ASSERT_EQ(Q.Type(), VT_R8);
  EXPECT_EQ(V_R8(&Q.Ref()), 3.5);
  for (VARTYPE K : NumericKinds) {
    SCOPED_TRACE(VarKindName(K));
    TVariant R;
    ASSERT_NO_THROW(R = DivideVar(OfKind(K, 9).Ref(), 4));
    EXPECT_DOUBLE_EQ(AsDouble(R.Ref()), 2.25);
  }
}

TEST(Variants, CompareEveryPairOfNumericKinds) {
  for (VARTYPE A : NumericKinds) {
    for (VARTYPE B : NumericKinds) {
      SCOPED_TRACE(VarKindName(A) + " vs " + VarKindName(B));
      EXPECT_LT(CompareVar(OfKind(A, 2).Ref(), OfKind(B, 5).Ref()), 0);
      EXPECT_GT(CompareVar(OfKind(A, 5).Ref(), OfKind(B, 2).Ref()), 0);
      EXPECT_EQ(CompareVar(OfKind(A, 5).Ref(), OfKind(B, 5).Ref()), 0);
    }
  }
}

TEST(Variants, CompareText) {
  EXPECT_LT(CompareVar(TVariant::Text("Акация").Ref(), TVariant::Text("Берёза").Ref()), 0);
  EXPECT_EQ(CompareVar(TVariant::Text("abc").Ref(), TVariant::Text("abc").Ref()), 0);
  // Text against a number compares as a number, either way round.
  EXPECT_GT(CompareVar(TVariant::Text("10").Ref(), TVariant::Int32(9).Ref()), 0);
  EXPECT_LT(CompareVar(TVariant::Int32(9).Ref(), TVariant::Text("10").Ref()), 0);
  EXPECT_EQ(CompareVar(TVariant::Double(2.5).Ref(), TVariant::Text("2,5").Ref()), 0);  // ru
  TVariant U4;
  V_VT(U4.Ptr()) = VT_UI4;
  V_UI4(U4.Ptr()) = 3000000000u;
  EXPECT_GT(CompareVar(U4.Ref(), TVariant::Text("2999999999").Ref()), 0);
  // Text that is not a number cannot be compared with one.
  try {
    CompareVar(TVariant::Text("abc").Ref(), TVariant::Int32(1).Ref());
    FAIL();
  } catch (const EVariantTypeCastError& E) {
    EXPECT_EQ(E.Message(), "Не удалось преобразовать значение типа (String) в тип (Double)");
  }
  EXPECT_THROW(CompareVar(TVariant::Int32(1).Ref(), TVariant::Text("x1").Ref()),
               EVariantTypeCastError);
}

TEST(Variants, KindNames) {
  EXPECT_EQ(VarKindName(VT_I4), "Integer");
  EXPECT_EQ(VarKindName(VT_BSTR), "String");
  EXPECT_EQ(VarKindName(VT_UI4), "LongWord");
  EXPECT_EQ(VarKindName(VT_ARRAY | VT_R8), "Array Double");
  EXPECT_EQ(VarKindName(0x0FFF), "0fff");
}
