#include "hostsim/demo/DemoImage.h"

#include <cstdio>
#include <vector>

namespace OrvexSim {

bool SaveBitmap(HBITMAP Bitmap, const std::wstring& Path) {
  BITMAP Info{};
  if (!Bitmap || !GetObjectW(Bitmap, sizeof(Info), &Info)) return false;
  int Width = Info.bmWidth, Height = std::abs(Info.bmHeight);
  BITMAPINFOHEADER Header{};
  Header.biSize = sizeof(Header);
  Header.biWidth = Width;
  Header.biHeight = Height;  // bottom-up, as BMP files are
  Header.biPlanes = 1;
  Header.biBitCount = 24;
  Header.biCompression = BI_RGB;
  int Stride = ((Width * 3) + 3) & ~3;
  Header.biSizeImage = static_cast<DWORD>(Stride * Height);
  std::vector<BYTE> Pixels(Header.biSizeImage);
  HDC DC = GetDC(nullptr);
  int Lines = GetDIBits(DC, Bitmap, 0, static_cast<UINT>(Height), Pixels.data(),
                        reinterpret_cast<BITMAPINFO*>(&Header), DIB_RGB_COLORS);
  ReleaseDC(nullptr, DC);
  if (Lines != Height) return false;
  BITMAPFILEHEADER File{};
  File.bfType = 0x4D42;
  File.bfOffBits = sizeof(File) + sizeof(Header);
  File.bfSize = File.bfOffBits + Header.biSizeImage;
  FILE* Out = _wfopen(Path.c_str(), L"wb");
  if (!Out) return false;
  bool Ok = fwrite(&File, sizeof(File), 1, Out) == 1 && fwrite(&Header, sizeof(Header), 1, Out) == 1 &&
            fwrite(Pixels.data(), Pixels.size(), 1, Out) == 1;
  return fclose(Out) == 0 && Ok;
}

HBITMAP CaptureWindow(HWND Window) {
  RECT R;
  if (!IsWindow(Window) || !GetWindowRect(Window, &R)) return nullptr;
  RedrawWindow(Window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  GdiFlush();
  int W = R.right - R.left, H = R.bottom - R.top;
  // The window's own DC reads what has been drawn into the window (children included), not what
  // the display has been sent so far.
  HDC Source = GetWindowDC(Window);
  HDC Memory = CreateCompatibleDC(Source);
  HBITMAP Bitmap = CreateCompatibleBitmap(Source, W, H);
  HGDIOBJ Old = SelectObject(Memory, Bitmap);
  BitBlt(Memory, 0, 0, W, H, Source, 0, 0, SRCCOPY);
  SelectObject(Memory, Old);
  DeleteDC(Memory);
  ReleaseDC(Window, Source);
  return Bitmap;
}

}  // namespace OrvexSim
