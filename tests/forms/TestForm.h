// The test forms of TestForms.rc.
#pragma once

#include <functional>
#include <string>

#include "TestForms.rh"
#include "support/Errors.h"
#include "support/FormUtils.h"

namespace QuorinTest {

template <class TBase>
class TTestFormOf : public TBase {
public:
  explicit TTestFormOf(HWND Owner) : TBase(L"TESTFORM", Owner) {}
  TTestFormOf() : TBase(L"TESTFORM") {}
  ~TTestFormOf() override { this->DestroyHandle(); }

  int Creates = 0, Destroys = 0, Idles = 0, OtherClicks = 0;
  std::string ThrowText = "Ошибка теста";
  bool ThrowInCreate = false;
  std::function<void()> OnIdle;

protected:
  void FormCreate() override {
    ++Creates;
    if (ThrowInCreate) throw Quorin::Exception("Ошибка создания");
  }
  void FormDestroy() override { ++Destroys; }
  void ApplicationIdle() override {
    ++Idles;
    if (OnIdle) OnIdle();
  }
  bool CommandHandler(int Id, int Code, HWND) override {
    if (Code != BN_CLICKED) return false;
    if (Id == IDC_TEST_THROW) throw Quorin::Exception(ThrowText);
    if (Id == IDC_TEST_OTHER) {
      ++OtherClicks;
      return true;
    }
    return false;
  }
};

using TTestForm = TTestFormOf<Quorin::TNonModalForm>;
using TPlainTestForm = TTestFormOf<Quorin::TForm>;

}  // namespace QuorinTest
