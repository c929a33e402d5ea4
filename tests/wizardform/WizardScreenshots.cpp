// Screenshots of the wizard for the documentation: its three pages and a run in progress, as
// 24-bit BMP files in the folder of QUORIN_SCREENSHOTS (the current folder without it). Not a
// test of the suite: run it by hand on a display and convert the files to PNG.
#include "tests/wizardform/WizardDriver.h"

#include <cstdio>
#include <cstdlib>

#include "stats/StatSchemes.h"
#include "support/MessageLoop.h"

using namespace QuorinTest;

namespace {

std::wstring OutputFolder() {
  const wchar_t* Folder = _wgetenv(L"QUORIN_SCREENSHOTS");
  std::wstring F = Folder && *Folder ? Folder : L".";
  if (F.back() != L'\\' && F.back() != L'/') F += L'\\';
  return F;
}

// The window as it is on the screen, frame included, into a BMP file.
bool SaveWindow(HWND Window, const std::wstring& Name) {
  RedrawWindow(Window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Quorin::ProcessMessages();
  GdiFlush();
  Sleep(200);
  RECT R;
  GetWindowRect(Window, &R);
  const int W = R.right - R.left, H = R.bottom - R.top;
  BITMAPINFO Bi = {};
  Bi.bmiHeader.biSize = sizeof Bi.bmiHeader;
  Bi.bmiHeader.biWidth = W;
  Bi.bmiHeader.biHeight = H;  // bottom-up, as BMP files hold it
  Bi.bmiHeader.biPlanes = 1;
  Bi.bmiHeader.biBitCount = 24;
  Bi.bmiHeader.biCompression = BI_RGB;
  void* Bits = nullptr;
  HDC Screen = GetDC(nullptr);
  HDC Mem = CreateCompatibleDC(Screen);
  HBITMAP Bitmap = CreateDIBSection(Screen, &Bi, DIB_RGB_COLORS, &Bits, nullptr, 0);
  HGDIOBJ Old = SelectObject(Mem, Bitmap);
  BitBlt(Mem, 0, 0, W, H, Screen, R.left, R.top, SRCCOPY);
  GdiFlush();
  const DWORD Stride = static_cast<DWORD>((W * 3 + 3) & ~3);
  const DWORD ImageSize = Stride * static_cast<DWORD>(H);
  BITMAPFILEHEADER File = {};
  File.bfType = 0x4D42;
  File.bfOffBits = sizeof File + sizeof Bi.bmiHeader;
  File.bfSize = File.bfOffBits + ImageSize;
  Bi.bmiHeader.biSizeImage = ImageSize;
  std::wstring Path = OutputFolder() + Name + L".bmp";
  FILE* Out = _wfopen(Path.c_str(), L"wb");
  bool Ok = Out != nullptr;
  if (Out) {
    Ok = fwrite(&File, sizeof File, 1, Out) == 1 &&
         fwrite(&Bi.bmiHeader, sizeof Bi.bmiHeader, 1, Out) == 1 &&
         fwrite(Bits, ImageSize, 1, Out) == 1;
    fclose(Out);
  }
  SelectObject(Mem, Old);
  DeleteObject(Bitmap);
  DeleteDC(Mem);
  ReleaseDC(nullptr, Screen);
  return Ok;
}

class Screenshots : public TWizardTest {};

}  // namespace

TEST_F(Screenshots, ThreePagesAndARunInProgress) {
  // A few more buildings, so that the run's bars stand half-way at the moment of the shot.
  for (int I = 0; I < 12; ++I) {
    double X = 100 + I * 20;
    wchar_t Wkt[160];
    swprintf(Wkt, 160, L"POLYGON((%g 0,%g 0,%g 10,%g 10,%g 0))", X, X + 10, X + 10, X, X);
    Host.AddObject(L"bld", L"x" + std::to_wstring(I), Wkt);
    for (int J = 0; J < 3; ++J) {
      wchar_t Part[160];
      double Px = X + 1 + J * 3;
      swprintf(Part, 160, L"POLYGON((%g 1,%g 1,%g 3,%g 3,%g 1))", Px, Px + 2, Px + 2, Px, Px);
      Host.AddObject(L"prc", L"y" + std::to_wstring(I * 3 + J), Part);
    }
  }
  Host.SetActiveLayer(L"bld");
  CreateWizard();
  SetWindowPos(Form(), HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
  SelectNode(Ctl(IDC_WZ_FIELDTREEVIEW), {L"Город", L"Здания", L"Здания.сем", L"Итог"});
  FindNode(Ctl(IDC_WZ_FIELDTREEVIEW), {L"Город", L"Участки", L"Участки.сем", L"Цена"});
  Idle();
  EXPECT_TRUE(SaveWindow(Form(), L"wizard-field-page"));

  Click(IDC_WZ_NEXTBUTTON);
  AddSource({L"Город", L"Участки", L"Площадь"}, 1);
  AddSource({L"Город", L"Участки", L"Участки.сем", L"Цена"}, 0);
  AddSource({L"Город", L"Здания", L"Периметр"}, 2);
  AddSource({L"Город", L"Участки", L"Участки.сем", L"Население"}, 3);
  ChooseFunction(Quorin::sfAverage);
  SelectRow(Ctl(IDC_WZ_SOURCELISTVIEW), 1);
  Idle();
  EXPECT_TRUE(SaveWindow(Form(), L"wizard-source-page"));

  ChooseFunction(Quorin::sfSum);
  Click(IDC_WZ_NEXTBUTTON);
  EXPECT_TRUE(SaveWindow(Form(), L"wizard-process-page"));

  // The shot of the run: taken while the eighth target object gathers the area of its second
  // parcel, both bars part-way.
  int Writes = 0, Areas = 0;
  bool Shot = false;
  Host.FailWhen(
      [&](const HostSim::TCall& Call) {
        if (Call.Interface == L"IOrvexSemantics" && Call.Method == L"SetValue") ++Writes;
        if (Writes == 7 && Call.Method == L"GetArea" && ++Areas == 2)
          Shot = SaveWindow(Form(), L"wizard-run-in-progress");
        return false;
      },
      HostSim::TFault{});
  Click(IDC_WZ_NEXTBUTTON);
  Host.ClearFaults();
  EXPECT_TRUE(Shot);
  EXPECT_EQ(Host.ApplyChangesCount(), 1);
}
