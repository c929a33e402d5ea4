#include "support/ErrorReport.h"

#include <windows.h>

#include <new>

#include "support/Errors.h"
#include "support/Forms.h"
#include "support/Strings.h"

namespace Quorin {

const char ApplicationTitle[] = "Quorin";

std::string ErrorReportText(const std::string& Message) {
  std::string Text = Message;
  if (!Text.empty() && static_cast<unsigned char>(Text.back()) > static_cast<unsigned char>('.'))
    Text += '.';
  return Text;
}

std::string ErrorMessageOf(const std::exception& Error) {
  if (auto* E = dynamic_cast<const Exception*>(&Error)) return E->Message();
  // The C++ runtime's own errors carry English texts meant for programmers.
  if (dynamic_cast<const std::bad_alloc*>(&Error)) return "Недостаточно памяти";
  return Format("Внутренняя ошибка модуля (%s)", Error.what());
}

namespace {

void ShowReportText(const std::string& Message) noexcept {
  try {
    std::wstring Text = ToWide(ErrorReportText(Message));
    std::wstring Caption = ToWide(ApplicationTitle);
    MessageBoxW(ActiveFormWindow(), Text.c_str(), Caption.c_str(), MB_ICONERROR | MB_OK);
  } catch (...) {
    // Out of memory while building the texts: nothing left to show it with.
  }
}

}  // namespace

void ShowErrorReport(const std::exception& Error) noexcept {
  std::string Message;
  try {
    Message = ErrorMessageOf(Error);
  } catch (...) {
  }
  ShowReportText(Message);
}

void HandleException() noexcept {
  try {
    throw;
  } catch (const std::exception& E) {
    ShowErrorReport(E);
  } catch (...) {
    ShowReportText("Непредвиденная ошибка");
  }
}

}  // namespace Quorin
