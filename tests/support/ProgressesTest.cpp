#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "support/MessageLoop.h"
#include "support/Progresses.h"
#include "tests/uitest/UiTest.h"

using namespace Quorin;
using QuorinTest::WindowText;

namespace {

const UINT WM_PROBE = WM_APP + 7;
int ProbesHandled = 0;

LRESULT CALLBACK HostWndProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  if (Msg == WM_PROBE) {
    ++ProbesHandled;
    return 0;
  }
  return DefWindowProcW(Wnd, Msg, W, L);
}

// A top-level window with a progress bar and a label, as a form would have them.
class ProgressTest : public ::testing::Test {
protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX Icc = {sizeof(Icc), ICC_PROGRESS_CLASS};
    ASSERT_TRUE(InitCommonControlsEx(&Icc));
    WNDCLASSW Class = {};
    Class.lpfnWndProc = HostWndProc;
    Class.hInstance = GetModuleHandleW(nullptr);
    Class.lpszClassName = L"QuorinProgressTestHost";
    RegisterClassW(&Class);  // already registered by an earlier test is fine
    Form = CreateWindowExW(0, L"QuorinProgressTestHost", L"Form", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                           0, 0, 700, 200, nullptr, nullptr, Class.hInstance, nullptr);
    ASSERT_NE(Form, nullptr);
    Bar = NewBar(577);
    Label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 8, 8, 577, 16, Form, nullptr,
                            nullptr, nullptr);
    ASSERT_NE(Label, nullptr);
    ProcessMessages();
    ProbesHandled = 0;
  }
  void TearDown() override {
    if (Form) DestroyWindow(Form);
    ProcessMessages();
  }

  HWND NewBar(int Width) {
    HWND B = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 8, 32, Width, 17,
                             Form, nullptr, nullptr, nullptr);
    EXPECT_NE(B, nullptr);
    return B;
  }
  static int PosOf(HWND B) { return static_cast<int>(SendMessageW(B, PBM_GETPOS, 0, 0)); }
  static int MaxOf(HWND B) { return static_cast<int>(SendMessageW(B, PBM_GETRANGE, FALSE, 0)); }
  static bool Shown(HWND W) { return (GetWindowLongPtrW(W, GWL_STYLE) & WS_VISIBLE) != 0; }
  void Probe() { ASSERT_TRUE(PostMessageW(Form, WM_PROBE, 0, 0)); }

  HWND Form = nullptr, Bar = nullptr, Label = nullptr;
};

// The position a bar of Width pixels shows after Step of Steps: rounded to the nearest pixel.
int Pixel(int Step, int Width, int Steps) {
  return static_cast<int>((2LL * Step * Width + Steps) / (2LL * Steps));
}

}  // namespace

TEST_F(ProgressTest, NewReporterIsIdleAndVisible) {
  TProgress P;
  EXPECT_TRUE(P.Visible());
  EXPECT_EQ(P.ProgressBar(), nullptr);
  EXPECT_EQ(P.ProgressLabel(), nullptr);
  EXPECT_EQ(P.Max(), 0);
  EXPECT_EQ(P.Position(), 0);
  EXPECT_EQ(P.BarMax(), 0);
  EXPECT_EQ(P.BarPosition(), 0);
  EXPECT_EQ(P.MessagePasses(), 0u);
}

TEST_F(ProgressTest, StartShowsTheCaptionTakesTheWidthAndProcessesMessages) {
  SendMessageW(Bar, PBM_SETRANGE32, 0, 50);
  SendMessageW(Bar, PBM_SETPOS, 20, 0);
  TProgress P;
  P.SetProgressLabel(Label);
  P.SetProgressBar(Bar);
  EXPECT_EQ(MaxOf(Bar), 0);  // the reporter's idle range
  Probe();
  P.Start("Заполняемые объекты:", 10);
  EXPECT_EQ(WindowText(Label), L"Заполняемые объекты:");
  EXPECT_EQ(P.Max(), 10);
  EXPECT_EQ(P.BarMax(), 577);
  EXPECT_EQ(MaxOf(Bar), 577);
  EXPECT_EQ(PosOf(Bar), 0);
  EXPECT_EQ(P.MessagePasses(), 1u);
  EXPECT_EQ(ProbesHandled, 1);  // the pending message was dispatched

  // The range is the width when the job starts.
  SetWindowPos(Bar, nullptr, 0, 0, 300, 17, SWP_NOMOVE | SWP_NOZORDER);
  P.Start("Исходные объекты:", 10);
  EXPECT_EQ(P.BarMax(), 300);
  EXPECT_EQ(MaxOf(Bar), 300);
  EXPECT_EQ(WindowText(Label), L"Исходные объекты:");
  EXPECT_EQ(P.MessagePasses(), 2u);
}

TEST_F(ProgressTest, CountOfZero) {
  TProgress P;
  P.SetProgressLabel(Label);
  P.SetProgressBar(Bar);
  P.Start("Пусто", 0);
  EXPECT_EQ(WindowText(Label), L"Пусто");
  EXPECT_EQ(PosOf(Bar), 0);
  Probe();
  for (int I = 0; I < 3; ++I) P.Step();
  EXPECT_EQ(P.Position(), 3);
  EXPECT_EQ(PosOf(Bar), 0);
  EXPECT_EQ(P.BarPosition(), 0);
  EXPECT_EQ(P.MessagePasses(), 1u);  // only Start's
  EXPECT_EQ(ProbesHandled, 0);
  ProcessMessages();
}

TEST_F(ProgressTest, ThousandStepsOn577Pixels) {
  TProgress P;
  P.SetProgressBar(Bar);
  P.Start("x", 1000);
  std::vector<int> Shown;
  unsigned Passes = P.MessagePasses();
  unsigned PassSteps = 0;
  for (int I = 1; I <= 1000; ++I) {
    P.Step();
    const int Pos = PosOf(Bar);
    Shown.push_back(Pos);
    ASSERT_EQ(Pos, Pixel(I, 577, 1000)) << "step " << I;
    ASSERT_EQ(P.BarPosition(), Pos);
    // A pass exactly when the drawn length changed.
    const bool Changed = Pos != (I == 1 ? 0 : Shown[static_cast<size_t>(I - 2)]);
    ASSERT_EQ(P.MessagePasses() - Passes, Changed ? 1u : 0u) << "step " << I;
    Passes = P.MessagePasses();
    if (Changed) ++PassSteps;
  }
  EXPECT_EQ(Shown[0], 1);  // 0.577 rounds up
  EXPECT_EQ(Shown[1], 1);  // 1.154 rounds down
  EXPECT_EQ(Shown[999], 577);
  EXPECT_EQ(PassSteps, 577u);
  EXPECT_EQ(P.MessagePasses(), 578u);  // Start's and one per pixel
}

TEST_F(ProgressTest, MessagesAreProcessedOnlyWhenTheBarMoves) {
  TProgress P;
  P.SetProgressBar(Bar);
  P.Start("x", 1000);
  P.Step();  // 1
  Probe();
  P.Step();  // still 1
  EXPECT_EQ(ProbesHandled, 0);
  P.Step();  // 2
  EXPECT_EQ(ProbesHandled, 1);
}

TEST_F(ProgressTest, ThreeSteps) {
  TProgress P;
  P.SetProgressBar(Bar);
  P.Start("x", 3);
  std::vector<int> Shown;
  for (int I = 0; I < 3; ++I) {
    P.Step();
    Shown.push_back(PosOf(Bar));
  }
  EXPECT_EQ(Shown, (std::vector<int>{192, 385, 577}));
  EXPECT_EQ(P.MessagePasses(), 4u);
}

TEST_F(ProgressTest, SetPositionScalesWithMulDivRounding) {
  TProgress P;
  P.SetProgressBar(Bar);
  P.Start("x", 2);
  P.SetPosition(1);  // 288.5 rounds away from zero
  EXPECT_EQ(PosOf(Bar), 289);
  P.SetPosition(0);
  EXPECT_EQ(PosOf(Bar), 0);
  EXPECT_EQ(P.Position(), 0);
  P.SetPosition(2);
  EXPECT_EQ(PosOf(Bar), 577);
  // Large counts use a 64-bit product.
  P.Start("x", 2000000000);
  P.SetPosition(1000000000);
  EXPECT_EQ(PosOf(Bar), 289);
  P.SetPosition(1999999999);
  EXPECT_EQ(PosOf(Bar), 577);
}

TEST_F(ProgressTest, SteppingPastMax) {
  TProgress P;
  P.SetProgressBar(Bar);
  P.Start("x", 3);
  for (int I = 0; I < 5; ++I) P.Step();
  EXPECT_EQ(P.Position(), 5);
  EXPECT_EQ(P.BarPosition(), 962);  // 5 * 577 / 3: beyond the bar's range
  // The bar shows full.
  EXPECT_EQ(PosOf(Bar), 577);
  EXPECT_EQ(P.MessagePasses(), 6u);
}

TEST_F(ProgressTest, VisibleShowsAndHidesLabelAndBar) {
  TProgress P;
  P.SetProgressLabel(Label);
  P.SetProgressBar(Bar);
  ASSERT_TRUE(Shown(Label));
  ASSERT_TRUE(Shown(Bar));
  P.SetVisible(false);
  EXPECT_FALSE(P.Visible());
  EXPECT_FALSE(Shown(Label));
  EXPECT_FALSE(Shown(Bar));
  // Setting the current value changes nothing, not even a bar shown behind its back.
  ShowWindow(Bar, SW_SHOW);
  P.SetVisible(false);
  EXPECT_TRUE(Shown(Bar));
  EXPECT_FALSE(Shown(Label));
  P.SetVisible(true);
  EXPECT_TRUE(Shown(Label));
  EXPECT_TRUE(Shown(Bar));
  ShowWindow(Label, SW_HIDE);
  P.SetVisible(true);
  EXPECT_FALSE(Shown(Label));

  // Binding gives the control the reporter's visibility.
  TProgress Hidden;
  Hidden.SetVisible(false);
  Hidden.SetProgressLabel(Label);  // hidden already: stays hidden
  ShowWindow(Label, SW_SHOW);
  Hidden.SetProgressLabel(Label);
  EXPECT_FALSE(Shown(Label));
  Hidden.SetProgressBar(Bar);
  EXPECT_FALSE(Shown(Bar));
  // Unbound controls are left alone.
  Hidden.SetProgressLabel(nullptr);
  Hidden.SetProgressBar(nullptr);
  Hidden.SetVisible(true);
  EXPECT_FALSE(Shown(Label));
  EXPECT_FALSE(Shown(Bar));
}

TEST_F(ProgressTest, BindingABarInMidJob) {
  TProgress P;
  P.SetProgressBar(Bar);
  P.Start("x", 3);
  P.Step();
  ASSERT_EQ(PosOf(Bar), 192);
  P.SetVisible(false);
  HWND Other = NewBar(200);
  ASSERT_TRUE(Shown(Other));
  P.SetProgressBar(Other);
  EXPECT_EQ(P.ProgressBar(), Other);
  EXPECT_EQ(MaxOf(Other), 577);  // the job's range, not the new bar's width
  EXPECT_EQ(PosOf(Other), 192);
  EXPECT_FALSE(Shown(Other));
  P.Step();
  EXPECT_EQ(PosOf(Other), 385);
  EXPECT_EQ(PosOf(Bar), 192);  // the old bar is no longer driven
  // Without a bar only the count moves, and no messages are processed.
  P.SetProgressBar(nullptr);
  const unsigned Passes = P.MessagePasses();
  P.Step();
  EXPECT_EQ(P.Position(), 3);
  EXPECT_EQ(P.MessagePasses(), Passes);
  EXPECT_EQ(PosOf(Other), 385);
  // A job started without a bar has no range.
  P.Start("y", 5);
  EXPECT_EQ(P.BarMax(), 0);
  P.SetProgressBar(Bar);
  EXPECT_EQ(MaxOf(Bar), 0);
  EXPECT_EQ(PosOf(Bar), 0);
}

TEST_F(ProgressTest, AReplacedPumpSeesEveryPass) {
  TProgress P;
  P.SetProgressBar(Bar);
  int Seen = 0;
  P.SetMessagePump([&] {
    ++Seen;
    ProcessMessages();
  });
  P.Start("x", 3);
  P.Step();
  P.Step();
  EXPECT_EQ(Seen, 3);
  EXPECT_EQ(P.MessagePasses(), 3u);
  P.SetMessagePump(nullptr);  // back to the message pump
  Probe();
  P.Step();
  EXPECT_EQ(Seen, 3);
  EXPECT_EQ(ProbesHandled, 1);
}
