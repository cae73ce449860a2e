// TMainForm: what the system tells the window: a new colour scheme or theme, the end of the
// session, a new DPI (and the icons drawn for it).
#include "app/win/main_form.h"

#include <commctrl.h>

#include "app/win/control_ids.h"

namespace calvorin::win32 {
namespace {

HICON LoadIconOfSize(HINSTANCE instance, int width, int height) {
  return static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON, width, height, 0));
}

}  // namespace

void TMainForm::OnThemeChanged(UINT msg, WPARAM wp, LPARAM lp) {
  // Only top-level windows hear of a new colour scheme; the common controls keep the colours
  // they drew with until they are told.
  if (msg == WM_SYSCOLORCHANGE) {
    for (HWND control : {controls_.statusBar1, controls_.pcMain, controls_.pb1, results_.Handle()}) {
      SendMessageA(control, msg, wp, lp);
    }
  }
  banner_.Restyle(HighContrastOn());
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

bool TMainForm::OnQueryEndSession() {
  // A Repair writes its backup at its end: a session that ended now would lose the record of
  // what the run has changed so far. Windows then names the program, with the reason the run
  // gave (Button3Click), as the one holding up the log-off, and the user may wait for it. The
  // run is asked to stop after its current entry, so the wait is short.
  if (repairRunning_) StopRepair();
  return !repairRunning_;
}

void TMainForm::OnEndSession(bool ending) {
  if (!ending) return;  // the log-off was cancelled
  // The process ends when this returns, without WM_CLOSE or WM_DESTROY: what a close does, now.
  FormClose();
  SaveSettingsToFile();
}

void TMainForm::LoadIcons() {
  const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd_, GWLP_HINSTANCE));
  UniqueIcon big(LoadIconOfSize(instance, Scale(32), Scale(32)));
  UniqueIcon small(LoadIconOfSize(instance, Scale(16), Scale(16)));
  SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
  SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
  // The old icons go once the window holds the new ones.
  icon_ = std::move(big);
  smallIcon_ = std::move(small);
  banner_.Load(LoadIconOfSize(instance, Scale(48), Scale(48)), dpi_);
  searchFace_.Load(smallIcon_.get(), dpi_);
}

void TMainForm::OnDpiChanged(int dpi, const RECT& suggested) {
  if (dpi > 0 && dpi != dpi_) {
    dpi_ = dpi;
    LoadIcons();
    controls_.SetDpi(hwnd_, dpi_, results_);
  }
  if (!placing_) {
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The size may be the same: lay out and measure at the new scale all the same.
  FormResize();
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

}  // namespace calvorin::win32
