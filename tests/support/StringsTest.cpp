#include <gtest/gtest.h>

#include "support/Strings.h"

using namespace Quorin;

TEST(Strings, RussianTextUsesCodePage1251) {
  std::string Area = ToAnsi(L"Площадь");
  ASSERT_EQ(Area.size(), 7u);
  EXPECT_EQ(static_cast<unsigned char>(Area[0]), 0xCF);  // П in code page 1251
  EXPECT_EQ(Area, "Площадь");                             // narrow literals are 1251 too
  EXPECT_EQ(ToWide(Area), L"Площадь");
}

TEST(Strings, IdentifierOutsideCodePage1251SurvivesTheRoundTrip) {
  const std::wstring Ids[] = {L"layer-\u4E2D\u6587", L"\u00E9t\u00E9", L"\u0098x", L"plain",
                              L"\U0001F600", L"ѓ\u20AC\u2116"};
  for (const std::wstring& Id : Ids) {
    std::string Narrow = ToAnsi(Id);
    EXPECT_EQ(ToWide(Narrow), Id);
  }
  // Distinct identifiers stay distinct as 8-bit strings.
  EXPECT_NE(ToAnsi(L"\u4E2D"), ToAnsi(L"\u6587"));
  EXPECT_NE(ToAnsi(L"?"), ToAnsi(L"\u4E2D"));
}

// Texts held in the module's form can be joined and cut between characters as 8-bit strings,
// whichever forms the parts are in.
TEST(Strings, JoinsAndCutsOfEveryMixDecodeToTheSameCharacters) {
  const std::wstring Parts[] = {L"",           L"AREA",          L"Арендаторы",
                                L"м\u00B2",      L"\u4E2D\u6587",  L"\U0001F600",
                                L"\u0098",       L"\u00E9t\u00E9", L"ѓ\u20AC\u2116",
                                std::wstring(1, L'\xD800')};
  for (const std::wstring& A : Parts)
    for (const std::wstring& B : Parts) {
      const std::string Joined = ToAnsi(A) + "." + ToAnsi(B);
      EXPECT_EQ(ToWide(Joined), A + L"." + B);
      EXPECT_EQ(Joined, ToAnsi(A + L"." + B));  // one form per text, so exact comparison holds
    }
  const std::wstring Text = L"Арендаторы.Площадь, м\u00B2 \u4E2D\U0001F600\u0098x";
  const std::string Narrow = ToAnsi(Text);
  for (size_t Cut = 0; Cut <= Text.size(); ++Cut) {
    const std::string Head = ToAnsi(Text.substr(0, Cut));
    ASSERT_EQ(Narrow.compare(0, Head.size(), Head), 0) << Cut;
    EXPECT_EQ(ToWide(Narrow.substr(Head.size())), Text.substr(Cut)) << Cut;
  }
  EXPECT_EQ(ToAnsi(L"Площадь, м\u00B2").substr(0, 9), "Площадь, ");  // 1251 text stays plain
  EXPECT_TRUE(SameText(ToAnsi(L"Площадь, м\u00B2"), ToAnsi(L"ПЛОЩАДЬ, М\u00B2")));
  EXPECT_FALSE(SameText(ToAnsi(L"м\u00B2"), ToAnsi(L"м\u00B3")));
}

TEST(Strings, NullAndEmpty) {
  EXPECT_EQ(ToAnsi(static_cast<const wchar_t*>(nullptr)), "");
  EXPECT_EQ(ToWide(""), L"");
  TBStr Empty;
  EXPECT_EQ(Empty.ToAnsi(), "");
  TBStr Text(std::string("Слой"));
  EXPECT_EQ(Text.ToWideString(), L"Слой");
  EXPECT_EQ(Text.Length(), 4u);
}

TEST(Strings, SameTextIgnoresCaseIncludingCyrillic) {
  EXPECT_TRUE(SameText("Floors", "FLOORS"));
  EXPECT_TRUE(SameText("Этажи", "ЭТАЖИ"));
  EXPECT_FALSE(SameText("Floors", "Floor"));
  EXPECT_TRUE(SameText("", ""));
}

TEST(Strings, Format) {
  EXPECT_EQ(Format("List index out of bounds (%d)", -1), "List index out of bounds (-1)");
  EXPECT_EQ(Format("%s", ""), "");
}

TEST(Strings, AsciiAndMixedTextsConvertExactly) {
  EXPECT_EQ(ToAnsi(L"bld-000123"), "bld-000123");
  EXPECT_EQ(ToAnsi(std::wstring(L"a\0b\x7F", 4)), std::string("a\0b\x7F", 4));
  EXPECT_EQ(ToWide(std::string("a\0b\x7F", 4)), std::wstring(L"a\0b\x7F", 4));
  EXPECT_EQ(ToAnsi(L"Дом-12"), "Дом-12");  // ASCII after Cyrillic
  EXPECT_EQ(ToWide("12-Дом"), L"12-Дом");  // Cyrillic after ASCII
  TBStr Ascii(std::string("tbl_1"));
  EXPECT_EQ(Ascii.Length(), 5u);
  EXPECT_EQ(Ascii.ToWideString(), L"tbl_1");
  EXPECT_EQ(Ascii.Get()[5], L'\0');
  TBStr Mixed(std::string("Слой 1"));
  EXPECT_EQ(Mixed.ToWideString(), L"Слой 1");
  TBStr Empty(std::string(""));
  ASSERT_NE(Empty.Get(), nullptr);
  EXPECT_EQ(Empty.Length(), 0u);
}
