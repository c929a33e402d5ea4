// The default error report of the module's forms: what happens to an error that escapes an event
// handler, an idle handler or any other code that Windows calls back.
//
// The report is a message box with the error icon (MB_ICONERROR | MB_OK), owned by the form in
// front (ActiveFormWindow), with the module's title "Quorin" as caption and the error's message
// as text, a full stop appended when the message's last character sorts after "." (as an
// unsigned code page 1251 byte). The form it was raised in stays open where it was.
//
//   try { ... } catch (...) { HandleException(); }   // at the top of every callback
#pragma once

#include <exception>
#include <string>

namespace Quorin {

// The module's title: the caption of the error report.
extern const char ApplicationTitle[];

// The message with the full-stop rule applied.
std::string ErrorReportText(const std::string& Message);
// The message of an error: Quorin::Exception's Message(), what() of any other standard one.
std::string ErrorMessageOf(const std::exception& Error);

// Shows the report for Error; never throws.
void ShowErrorReport(const std::exception& Error) noexcept;
// Inside a catch block: shows the report for the error being handled.
void HandleException() noexcept;

}  // namespace Quorin
