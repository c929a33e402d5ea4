// TProgress drives one progress bar (msctls_progress32) and its caption label for a long
// synchronous job on the user-interface thread. The job's steps are mapped onto the bar's
// pixels: the bar's range is its width when the job starts, and the bar is touched, and the
// application's pending messages processed, only when the drawn length changes (and once at
// each Start), so a job repaints at most once per pixel however many steps it has.
//
// The reporter neither owns its bar and label nor watches their lifetime: they must outlive
// every use of it.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>

namespace Quorin {

class TProgress {
public:
  TProgress() = default;
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  HWND ProgressLabel() const noexcept { return FLabel; }
  // Binds a label (null unbinds) and gives it the reporter's visibility.
  void SetProgressLabel(HWND Label);
  HWND ProgressBar() const noexcept { return FBar; }
  // Binds a bar (null unbinds) and gives it the reporter's range, position and visibility.
  void SetProgressBar(HWND Bar);
  bool Visible() const noexcept { return FVisible; }
  // Shows or hides the label and then the bar; nothing when the value is unchanged.
  void SetVisible(bool Value);

  // Number of steps of the current job.
  int32_t Max() const noexcept { return FMax; }
  // Number of steps done.
  int32_t Position() const noexcept { return FPosition; }
  // The bar's range (its width in pixels when the job started), and the position last given
  // to the bar.
  int32_t BarMax() const noexcept { return FBarMax; }
  int32_t BarPosition() const noexcept { return FBarPosition; }

  // Begins a job of Max steps with the label text Caption (code page 1251). Without a bar the
  // range is 0. Processes the pending messages once.
  void Start(const std::string& Caption, int32_t Max);
  void SetPosition(int32_t Value);
  void Step() { SetPosition(FPosition + 1); }

  // The message passes made so far (each Start, each change of the drawn length).
  unsigned MessagePasses() const noexcept { return FMessagePasses; }
  // What a message pass runs: ProcessMessages unless replaced (an observer that wants to see
  // the passes wraps ProcessMessages in its own function; empty restores the default).
  void SetMessagePump(std::function<void()> Pump) { FPump = std::move(Pump); }

private:
  void MessagePass();

  HWND FLabel = nullptr;
  HWND FBar = nullptr;
  int32_t FMax = 0;
  int32_t FPosition = 0;
  int32_t FBarMax = 0;
  int32_t FBarPosition = 0;
  bool FVisible = true;
  unsigned FMessagePasses = 0;
  std::function<void()> FPump;
};

}  // namespace Quorin
