// Pictures: a bitmap written as a 24-bit BMP file, and a top-level window captured with its
// children.
#pragma once

#include <windows.h>

#include <string>

namespace OrvexSim {

// Writes Bitmap (any DDB or DIB) to Path; false on failure.
bool SaveBitmap(HBITMAP Bitmap, const std::wstring& Path);
// Repaints Window and its children, then copies what was drawn; null on failure.
HBITMAP CaptureWindow(HWND Window);

}  // namespace OrvexSim
