// What registration writes to and removes from the registry: the type library, and the class
// ComModule with its ProgID under HKEY_CLASSES_ROOT.
#pragma once

#include <windows.h>

namespace Quorin {

// Both raise on the first failing step; what was done before it stays done.
void RegisterServer();
void UnregisterServer();

}  // namespace Quorin
