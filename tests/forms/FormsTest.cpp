#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <cwctype>

#include "TestForm.h"
#include "support/ErrorReport.h"
#include "support/Forms.h"
#include "support/MessageLoop.h"
#include "tests/uitest/UiTest.h"

using namespace Quorin;
using namespace QuorinTest;

namespace {

RECT ClientRectOf(HWND Control) {
  RECT R;
  GetWindowRect(Control, &R);
  MapWindowPoints(HWND_DESKTOP, GetParent(Control), reinterpret_cast<POINT*>(&R), 2);
  return R;
}

const wchar_t FormCaption[] = L"Тестовая форма";

}  // namespace

// ---- resources ------------------------------------------------------------------------------

TEST(FormResources, ObjectsOfSeveralResourceFilesMergeInOneLink) {
  HINSTANCE Module = ModuleInstance();
  EXPECT_EQ(Module, GetModuleHandleW(nullptr));
  // From the test's own .rc, the module's manifest .rc and the program manifest .rc.
  EXPECT_NE(FindResourceW(Module, L"TESTFORM", MAKEINTRESOURCEW(5)), nullptr);
  HRSRC Data = FindResourceW(Module, L"TESTDATA", MAKEINTRESOURCEW(10));
  ASSERT_NE(Data, nullptr);
  EXPECT_STREQ(static_cast<const char*>(LockResource(LoadResource(Module, Data))), "test data");
  HRSRC Manifest = FindResourceW(Module, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
  ASSERT_NE(Manifest, nullptr);
  std::string Text(static_cast<const char*>(LockResource(LoadResource(Module, Manifest))),
                   SizeofResource(Module, Manifest));
  EXPECT_NE(Text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(FindResourceW(Module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);
  EXPECT_NE(ModuleActCtx(), nullptr);
}

TEST(FormResources, TemplateIsParsed) {
  HINSTANCE Module = ModuleInstance();
  HRSRC R = FindResourceW(Module, L"TESTFORM", MAKEINTRESOURCEW(5));
  ASSERT_NE(R, nullptr);
  const void* Data = LockResource(LoadResource(Module, R));
  TTemplateLayout L = ParseDialogTemplate(Data, SizeofResource(Module, R));
  EXPECT_EQ(L.Cx, 320);
  EXPECT_EQ(L.Cy, 200);
  EXPECT_EQ(L.Caption, FormCaption);
  ASSERT_EQ(L.Items.size(), 6u);
  EXPECT_EQ(L.Items[0].Id, static_cast<DWORD>(IDOK));
  EXPECT_EQ(L.Items[0].ClassOrdinal, 0x80);  // button
  EXPECT_EQ(L.Items[0].Text, L"OK");
  EXPECT_EQ(L.Items[1].Text, L"Отмена");
  EXPECT_EQ(_wcsicmp(L.Items[5].ClassName.c_str(), L"SysTreeView32"), 0);
  EXPECT_EQ(L.Items[5].X, 15);
  EXPECT_EQ(L.Items[5].Cy, 50);
  // A truncated template is an error, not a read past its end.
  EXPECT_THROW(ParseDialogTemplate(Data, SizeofResource(Module, R) - 40), Exception);
  EXPECT_THROW(ParseDialogTemplate(Data, 10), Exception);
}

// ---- layout ---------------------------------------------------------------------------------

TEST(FormLayout, ControlsStandAtTheTemplatesPixelsScaledToTheScreen) {
  EXPECT_EQ(ScreenDpi(), 120);  // the test prefix runs at the design resolution
  auto Form = CreateForm<TTestForm>(nullptr);
  RECT Client;
  GetClientRect(Form->Handle(), &Client);
  EXPECT_EQ(Client.right, ScalePixels(320));
  EXPECT_EQ(Client.bottom, ScalePixels(200));
  for (const TTemplateItem& Item : Form->Layout().Items) {
    RECT R = ClientRectOf(Form->Control(static_cast<int>(Item.Id)));
    EXPECT_EQ(R.left, ScalePixels(Item.X)) << Item.Id;
    EXPECT_EQ(R.top, ScalePixels(Item.Y)) << Item.Id;
    EXPECT_EQ(R.right - R.left, ScalePixels(Item.Cx)) << Item.Id;
    EXPECT_EQ(R.bottom - R.top, ScalePixels(Item.Cy)) << Item.Id;
  }
  // At 120 dpi these are the very numbers of the resource.
  RECT Ok = ClientRectOf(Form->Control(IDOK));
  EXPECT_EQ(Ok.left, 112);
  EXPECT_EQ(Ok.top, 160);
  EXPECT_EQ(Ok.right - Ok.left, 93);
  EXPECT_EQ(Ok.bottom - Ok.top, 29);
  // FONT 8, "MS Sans Serif": character height 13 pixels at 120 dpi.
  HFONT Font = reinterpret_cast<HFONT>(SendMessageW(Form->Handle(), WM_GETFONT, 0, 0));
  LOGFONTW Lf = {};
  ASSERT_TRUE(GetObjectW(Font, sizeof Lf, &Lf));
  EXPECT_EQ(Lf.lfHeight, -13);
  EXPECT_FALSE(IsWindowVisible(Form->Handle()));  // created hidden
}

TEST(FormLayout, AGrownLabelMovesWhatIsBelowItByAsMuchAsItGrew) {
  // The test form's label ends 7 pixels above the tree: that gap stays as designed.
  auto Form = CreateForm<TTestForm>(nullptr);
  HWND Label = Form->Control(IDC_TEST_LABEL), Tree = Form->Control(IDC_TEST_TREE);
  const RECT Before = ClientRectOf(Label), TreeBefore = ClientRectOf(Tree),
             OkBefore = ClientRectOf(Form->Control(IDOK));
  ASSERT_EQ(TreeBefore.top - Before.bottom, 7);
  RECT Client;
  GetClientRect(Form->Handle(), &Client);
  const LONG Height = Client.bottom;
  Form->FitLabelHeight(Label, {L"Надпись, которой нужно больше строк, чем ей дала форма: она "
                               L"растёт, а всё, что под ней, опускается ровно на столько же."});
  const LONG Growth = ClientRectOf(Label).bottom - Before.bottom;
  ASSERT_GT(Growth, 0);
  EXPECT_EQ(ClientRectOf(Tree).top, TreeBefore.top + Growth);
  EXPECT_EQ(ClientRectOf(Form->Control(IDOK)).top, OkBefore.top + Growth);
  GetClientRect(Form->Handle(), &Client);
  EXPECT_EQ(Client.bottom, Height + Growth);
}

TEST(FormLayout, FormsGetCommonControlsSix) {
  {
    // Inside the module's activation context the library is the side-by-side version 6.
    TActivationScope Scope;
    HMODULE Library = LoadLibraryW(L"comctl32.dll");
    ASSERT_NE(Library, nullptr);
    wchar_t Path[MAX_PATH] = {};
    GetModuleFileNameW(Library, Path, MAX_PATH);
    std::wstring Lower(Path);
    for (wchar_t& C : Lower) C = towlower(C);
    EXPECT_NE(Lower.find(L"microsoft.windows.common-controls"), std::wstring::npos) << Path;
    EXPECT_NE(Lower.find(L"_6.0."), std::wstring::npos) << Path;
    FreeLibrary(Library);
  }
  auto Form = CreateForm<TTestForm>(nullptr);
  // Only the version 6 button knows its ideal size.
  SIZE Ideal = {};
  EXPECT_TRUE(SendMessageW(Form->Control(IDOK), BCM_GETIDEALSIZE, 0,
                           reinterpret_cast<LPARAM>(&Ideal)));
  EXPECT_GT(Ideal.cx, 0);
}

// ---- modal loop -----------------------------------------------------------------------------

TEST(FormModal, ButtonsKeysAndCloseGiveTheModalResult) {
  TOwnerWindow Owner;
  struct TCase {
    const char* Name;
    std::function<void(HWND)> Act;
    int Expected;
  };
  std::vector<TCase> Cases = {
      {"OK click", [](HWND F) { ClickButton(F, IDOK); }, mrOk},
      {"Cancel click", [](HWND F) { ClickButton(F, IDCANCEL); }, mrCancel},
      {"Enter", [](HWND F) { PressKey(GetDlgItem(F, IDC_TEST_TREE), VK_RETURN); }, mrOk},
      {"Esc", [](HWND F) { PressKey(GetDlgItem(F, IDC_TEST_TREE), VK_ESCAPE); }, mrCancel},
      {"WM_CLOSE", [](HWND F) { PostMessageW(F, WM_CLOSE, 0, 0); }, mrCancel},
      {"SC_CLOSE", [](HWND F) { PostMessageW(F, WM_SYSCOMMAND, SC_CLOSE, 0); }, mrCancel},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto Form = CreateForm<TTestForm>(Owner.Handle());
    bool OwnerDisabled = false, Visible = false;
    TUiScript Script;
    Script.Step([&] {
      HWND F = FindFormWindow(FormCaption);
      ASSERT_EQ(F, Form->Handle());
      Visible = IsWindowVisible(F) != FALSE;
      OwnerDisabled = !IsWindowEnabled(Owner.Handle());
      SetFocus(GetDlgItem(F, IDC_TEST_TREE));
    });
    Script.Step([&] { C.Act(Form->Handle()); });
    int Result = Form->ShowModal();
    EXPECT_TRUE(Script.Finished());
    EXPECT_EQ(Result, C.Expected);
    EXPECT_EQ(Form->ModalResult(), C.Expected);
    EXPECT_TRUE(Visible);
    EXPECT_TRUE(OwnerDisabled);
    EXPECT_TRUE(IsWindowEnabled(Owner.Handle()));
    EXPECT_FALSE(IsWindowVisible(Form->Handle()));
    EXPECT_TRUE(Script.Boxes().empty());
  }
}

TEST(FormModal, EnterDoesNothingWhileTheDefaultButtonIsDisabled) {
  auto Form = CreateForm<TTestForm>(nullptr);
  Form->OnIdle = [&] { EnableWindow(Form->Control(IDOK), FALSE); };
  bool StillOpen = false;
  TUiScript Script;
  Script.Step([&] { SetFocus(Form->Control(IDC_TEST_TREE)); });
  Script.Step([&] { PressKey(Form->Control(IDC_TEST_TREE), VK_RETURN); });
  Script.Step([&] {
    // A click message of the disabled button does nothing either.
    PostMessageW(Form->Handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Form->Control(IDOK)));
  });
  Script.Step([&] {
    StillOpen = Form->ModalResult() == mrNone && IsWindowVisible(Form->Handle());
    ClickButton(Form->Handle(), IDCANCEL);
  });
  EXPECT_EQ(Form->ShowModal(), mrCancel);
  EXPECT_TRUE(StillOpen);
}

TEST(FormModal, FirstEnabledTabStopGetsTheFocus) {
  auto Form = CreateForm<TTestForm>(nullptr);
  Form->OnIdle = [&] { EnableWindow(Form->Control(IDOK), FALSE); };
  HWND Focused = nullptr;
  {
    TUiScript Script;
    Script.Step([&] {
      Focused = GetFocus();
      ClickButton(Form->Handle(), IDCANCEL);
    });
    Form->ShowModal();
  }
  // OK comes first in the tab order but the idle pass before showing disabled it.
  EXPECT_EQ(Focused, Form->Control(IDCANCEL));

  auto Second = CreateForm<TTestForm>(nullptr);
  Second->SetActiveControl(Second->Control(IDC_TEST_TREE));
  TUiScript Script2;
  Script2.Step([&] {
    Focused = GetFocus();
    ClickButton(Second->Handle(), IDCANCEL);
  });
  Second->ShowModal();
  EXPECT_EQ(Focused, Second->Control(IDC_TEST_TREE));
}

TEST(FormModal, IdleHandlersOfEveryOpenFormRunOnIdlePasses) {
  auto Outer = CreateForm<TTestForm>(nullptr);  // open, not shown
  auto Form = CreateForm<TTestForm>(nullptr);
  int OuterBefore = 0, OuterDuring = 0, FormDuring = 0;
  TUiScript Script;
  Script.Step([&] { OuterBefore = Outer->Idles; });
  Script.Step([&] {});
  Script.Step([&] {
    OuterDuring = Outer->Idles;
    FormDuring = Form->Idles;
    // The message pump of long jobs runs no idle handler.
    int Before = Form->Idles;
    PostMessageW(Form->Handle(), WM_NULL, 0, 0);
    ProcessMessages();
    EXPECT_EQ(Form->Idles, Before);
    ClickButton(Form->Handle(), IDOK);
  });
  EXPECT_EQ(Form->ShowModal(), mrOk);
  EXPECT_GT(OuterDuring, OuterBefore);
  EXPECT_GT(FormDuring, 0);
  // A destroyed form's handler is gone; the others stay.
  Form.reset();
  int OuterNow = Outer->Idles;
  RunIdleHandlers();
  EXPECT_EQ(Outer->Idles, OuterNow + 1);
}

TEST(FormModal, NestedModalFormsDisableTheirOwners) {
  TOwnerWindow Owner;
  auto Outer = CreateForm<TTestForm>(Owner.Handle());
  TFormPtr<TTestForm> Inner;
  bool OuterDisabled = false, OwnerDisabled = false, InnerOwnedByOuter = false;
  int OuterIdlesWhileInner = -1, InnerResult = 0, Passes = 0;
  TUiScript Script;
  Script.Step([&] {
    // The default owner is the form in front.
    Inner = CreateForm<TTestForm>();
    InnerOwnedByOuter = GetWindow(Inner->Handle(), GW_OWNER) == Outer->Handle();
    const int Before = Outer->Idles;
    Inner->OnIdle = [&] {
      if (!IsWindowVisible(Inner->Handle())) return;
      if (!IsWindowEnabled(Outer->Handle()) || ++Passes > 100) {
        OuterDisabled = !IsWindowEnabled(Outer->Handle());
        OwnerDisabled = !IsWindowEnabled(Owner.Handle());
        OuterIdlesWhileInner = Outer->Idles - Before;
        PostMessageW(Inner->Handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(Inner->Control(IDOK)));
        Inner->OnIdle = nullptr;
      }
    };
    InnerResult = Inner->ShowModal();
    Inner.reset();
  });
  Script.Step([&] { ClickButton(Outer->Handle(), IDCANCEL); });
  EXPECT_EQ(Outer->ShowModal(), mrCancel);
  EXPECT_TRUE(InnerOwnedByOuter);
  EXPECT_EQ(InnerResult, mrOk);
  EXPECT_TRUE(OuterDisabled);
  EXPECT_TRUE(OwnerDisabled);  // disabled by the outer form all along
  EXPECT_GT(OuterIdlesWhileInner, 0);
  EXPECT_TRUE(IsWindowEnabled(Owner.Handle()));
}

TEST(FormModal, QuitMessageEndsTheLoopAndIsPostedAgain) {
  auto Form = CreateForm<TTestForm>(nullptr);
  TUiScript Script;
  Script.Step([&] { PostQuitMessage(7); });
  EXPECT_EQ(Form->ShowModal(), mrCancel);
  MSG Msg;
  ASSERT_TRUE(PeekMessageW(&Msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(Msg.wParam, 7u);
}

// ---- lifecycle ------------------------------------------------------------------------------

TEST(FormLifecycle, CreateAndDestroyHooksRunOnce) {
  TTestForm* Raw = nullptr;
  HWND Window = nullptr;
  {
    auto Form = CreateForm<TTestForm>(nullptr);
    Raw = Form.get();
    Window = Form->Handle();
    EXPECT_EQ(Form->Creates, 1);
    EXPECT_EQ(Form->Destroys, 0);
    Form->DestroyHandle();
    EXPECT_EQ(Form->Destroys, 1);
    EXPECT_FALSE(IsWindow(Window));
    Form->DestroyHandle();
    EXPECT_EQ(Form->Destroys, 1);
  }
  (void)Raw;
}

TEST(FormLifecycle, AnErrorInFormCreateReachesTheCreatorAndTheFormIsDestroyed) {
  TFormPtr<TTestForm> Form(new TTestForm(nullptr));
  Form->ThrowInCreate = true;
  try {
    Form->CreateHandle();
    ADD_FAILURE() << "no error";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Ошибка создания");
  }
  HWND Window = Form->Handle();
  Form.reset();
  EXPECT_FALSE(Window && IsWindow(Window));
  EXPECT_EQ(FindFormWindow(FormCaption), nullptr);
}

TEST(FormLifecycle, MissingTemplateIsAnError) {
  struct TMissing : TForm {
    TMissing() : TForm(L"NOSUCHFORM", nullptr) {}
  };
  try {
    CreateForm<TMissing>();
    ADD_FAILURE() << "no error";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Ресурс формы NOSUCHFORM не найден");
  }
}

// ---- error report ---------------------------------------------------------------------------

TEST(ErrorReport, FullStopIsAppendedWhenTheLastCharacterSortsAfterIt) {
  EXPECT_EQ(ErrorReportText("Нет таблицы"), "Нет таблицы.");
  EXPECT_EQ(ErrorReportText("Table missing"), "Table missing.");
  EXPECT_EQ(ErrorReportText("code 5"), "code 5.");       // '5' sorts after '.'
  EXPECT_EQ(ErrorReportText("path /"), "path /.");       // '/' is the next code
  EXPECT_EQ(ErrorReportText("Done."), "Done.");
  EXPECT_EQ(ErrorReportText("Stop!"), "Stop!");
  EXPECT_EQ(ErrorReportText("(see log)"), "(see log)");
  EXPECT_EQ(ErrorReportText("a-"), "a-");                // '-' sorts before '.'
  EXPECT_EQ(ErrorReportText("объект я"), "объект я.");    // 0xFF as an unsigned byte
  EXPECT_EQ(ErrorReportText(""), "");
}

TEST(ErrorReport, AnErrorInAHandlerIsShownAndTheFormStaysOpen) {
  struct TCase {
    std::string Message;
    std::wstring Shown;
  };
  std::vector<TCase> Cases = {{"Ошибка теста", L"Ошибка теста."},
                              {"Уже с точкой.", L"Уже с точкой."},
                              {"Внимание!", L"Внимание!"}};
  for (const TCase& C : Cases) {
    auto Form = CreateForm<TTestForm>(nullptr);
    Form->ThrowText = C.Message;
    bool OpenAfter = false;
    int OtherClicks = -1;
    TUiScript Script;
    Script.Step([&] { ClickButton(Form->Handle(), IDC_TEST_THROW); });
    Script.Step([&] {
      OpenAfter = IsWindowVisible(Form->Handle()) && Form->ModalResult() == mrNone;
      ClickButton(Form->Handle(), IDC_TEST_OTHER);  // the form still works
      OtherClicks = Form->OtherClicks;
      ClickButton(Form->Handle(), IDOK);
    });
    EXPECT_EQ(Form->ShowModal(), mrOk);
    EXPECT_TRUE(OpenAfter);
    EXPECT_EQ(OtherClicks, 1);
    ASSERT_EQ(Script.Boxes().size(), 1u);
    const TSeenMessageBox& Box = Script.Boxes()[0];
    EXPECT_EQ(Box.Caption, L"Quorin");
    EXPECT_EQ(Box.Text, C.Shown);
    EXPECT_TRUE(Box.ErrorIcon);
    EXPECT_EQ(Box.Owner, Form->Handle());
  }
}

TEST(ErrorReport, WindowProceduresHaveTheBarrierToo) {
  TUiScript Script;
  LRESULT Result = 1;
  Script.Run([&] {
    Result = GuardedWindowProc([]() -> LRESULT { throw std::runtime_error("plain error"); }, 0);
  });
  EXPECT_EQ(Result, 0);
  ASSERT_EQ(Script.Boxes().size(), 1u);
  EXPECT_EQ(Script.Boxes()[0].Text, L"Внутренняя ошибка модуля (plain error)");
  EXPECT_EQ(Script.Boxes()[0].Caption, L"Quorin");
}
