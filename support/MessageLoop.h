// The module's message handling on a user-interface thread of the host: the message pump that
// long jobs call to stay repainted and clickable, the application's idle event, and the dialog
// keyboard handling (Tab, Enter, Esc) that every loop of the module applies to its open forms.
// All of it is the calling thread's (support/ThreadState.h): its forms, its handlers.
#pragma once

#include <windows.h>
#include <functional>
#include <vector>

#include "support/ThreadState.h"

namespace Quorin {

// Top-level windows of open forms; a message for one of them or its controls goes through
// IsDialogMessage first.
void AddDialogWindow(HWND Window);
void RemoveDialogWindow(HWND Window);
// The registered windows, oldest first.
std::vector<HWND> DialogWindows();

// Translates and dispatches one message, with the dialog keyboard handling.
void DispatchMessageOf(MSG& Msg);

// Takes the next pending message, if there is one, and dispatches it; false when the queue is
// empty. A WM_QUIT is posted again (for the host's own loop), sets Quit and gives false.
bool DispatchNextMessage(bool& Quit);

// Dispatches every message pending now, once; runs no idle handler. A WM_QUIT taken from the
// queue is posted again (for the host's own loop) and ends the pass; see QuitPending.
void ProcessMessages();
// Whether a WM_QUIT has been seen by the module's loops and handed back to the host.
bool QuitPending();

// The application's idle event: handlers run, in the order they were added, each time a loop
// of the module finds the queue empty. Handlers must not throw (wrap their bodies).
TIdleHandle AddIdleHandler(TIdleHandler Handler);
void RemoveIdleHandler(TIdleHandle Handle);
void RunIdleHandlers();

}  // namespace Quorin
