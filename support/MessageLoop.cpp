#include "support/MessageLoop.h"

#include <algorithm>
#include <vector>

#include "support/ThreadState.h"

namespace Quorin {

namespace {

std::vector<HWND>& DialogWindowList() { return ThisThreadState().DialogWindows; }
std::vector<TIdleEntry>& IdleHandlers() { return ThisThreadState().IdleHandlers; }

}  // namespace

void AddDialogWindow(HWND Window) {
  auto& W = DialogWindowList();
  if (std::find(W.begin(), W.end(), Window) == W.end()) W.push_back(Window);
}

void RemoveDialogWindow(HWND Window) {
  auto& W = DialogWindowList();
  W.erase(std::remove(W.begin(), W.end(), Window), W.end());
}

void DispatchMessageOf(MSG& Msg) {
  // The most recently opened form first: it is the one in front.
  const auto& W = DialogWindowList();
  for (auto It = W.rbegin(); It != W.rend(); ++It) {
    HWND Form = *It;
    if (Msg.hwnd && (Msg.hwnd == Form || IsChild(Form, Msg.hwnd))) {
      if (IsDialogMessageW(Form, &Msg)) return;
      break;
    }
  }
  TranslateMessage(&Msg);
  DispatchMessageW(&Msg);
}

std::vector<HWND> DialogWindows() { return DialogWindowList(); }

bool DispatchNextMessage(bool& Quit) {
  Quit = false;
  MSG Msg;
  if (!PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (Msg.message == WM_QUIT) {
    ThisThreadState().QuitSeen = true;
    Quit = true;
    PostQuitMessage(static_cast<int>(Msg.wParam));
    return false;
  }
  DispatchMessageOf(Msg);
  return true;
}

void ProcessMessages() {
  bool Quit = false;
  while (DispatchNextMessage(Quit)) {
  }
}

bool QuitPending() { return ThisThreadState().QuitSeen; }

TIdleHandle AddIdleHandler(TIdleHandler Handler) {
  TThreadState& State = ThisThreadState();
  TIdleHandle Handle = State.NextIdleHandle++;
  State.IdleHandlers.push_back({Handle, std::move(Handler)});
  return Handle;
}

void RemoveIdleHandler(TIdleHandle Handle) {
  auto& H = IdleHandlers();
  H.erase(std::remove_if(H.begin(), H.end(),
                         [Handle](const TIdleEntry& E) { return E.Handle == Handle; }),
          H.end());
}

void RunIdleHandlers() {
  // A handler may add or remove handlers (a form closing); run over a snapshot.
  std::vector<TIdleEntry> Snapshot = IdleHandlers();
  for (const TIdleEntry& E : Snapshot) {
    const auto& Live = IdleHandlers();
    bool StillThere = std::any_of(Live.begin(), Live.end(),
                                  [&](const TIdleEntry& L) { return L.Handle == E.Handle; });
    if (StillThere) E.Handler();
  }
}

}  // namespace Quorin
