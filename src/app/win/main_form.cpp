#include "app/win/main_form.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <stdexcept>

#include "app/settings.h"
#include "app/win/control_ids.h"
#include "app/win/newer_windows.h"
#include "app/win/win_ini_store.h"
#include "app/win/window_placement.h"
#include "base/scope_exit.h"
#include "repair/backup_rotation.h"
#include "repair/win/win_backup_files.h"

namespace calvorin::win32 {

TMainForm::TMainForm(MainFormOptions options) : options_(std::move(options)) {
  // The invalid-path log lives in scan_ and in "rrr.TXT". The hidden Memo2 keeps its
  // design text: appending every line to an edit control costs more with each line (about 18 s
  // and 40 MB for 5,000 lines under Wine) and nothing ever reads it back.
  alwaysLeave_ = AlwaysLeaveList::Load(fs_, AlwaysLeavePath(options_.files));
  scan_.onRecorded = [this](int index) {
    bool left = false;
    if (alwaysLeave_.Size() > 0) {
      const HitStore::Record& e = scan_.Results().Record(static_cast<std::size_t>(index));
      left = alwaysLeave_.Contains(e.Root, std::string(e.KeyPath), std::string(e.ValueName));
    }
    results_.Marks().Recorded(static_cast<std::size_t>(index), left);
    results_.Recorded(index);
    scanShown_.Recorded();
  };
  results_.onMarksChanged = [this](int index, bool alwaysLeave) {
    MarksChanged(index, alwaysLeave);
  };
  // A full hit table ends the walk; the user sees "Found ... before being stopped".
  scan_.onFull = [this] {
    if (worker_) worker_->Terminate();
  };
}

TMainForm::~TMainForm() {
  // The host's destructor asks a running walk to stop and detaches it without waiting.
  worker_.reset();
  retiredWorker_.reset();
}

void TMainForm::ShowFailure(HWND owner, const std::string& message) {
  MessageBoxA(owner, FailureMessageText(message).c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

void TMainForm::KeepPaintFailure(const char* message) {
  // One box however many items fail meanwhile, and none again for the failure it showed: what
  // failed in a paint fails again at every repaint, the one when the box closes included.
  if (paintFailure_ || shownPaintFailure_ == message) return;
  paintFailure_ = message;
  PostMessageA(hwnd_, kMsgShowPaintFailure, 0, 0);
}

bool TMainForm::Create(HINSTANCE instance) {
  // The manifest declares the program aware of each monitor's DPI, so Windows does not stretch
  // its window as a bitmap; every figure of the 96-DPI design is scaled here instead (Scale),
  // to the system DPI until the window knows its monitor's (WM_CREATE), and again on every
  // WM_DPICHANGED.
  dpi_ = SystemDpi();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProcThunk;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainFormClass;
  // The class's icon is the shared one; the window's own, at its DPI, come with WM_SETICON.
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  const bool registered = GetClassInfoExA(instance, kMainFormClass, &existing) != FALSE;
  if ((!registered && !RegisterClassExA(&wc)) || !MainFormControls::RegisterPanelClass(instance)) {
    return false;
  }
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  RECT r{0, 0, Scale(kClientWidth), Scale(kClientHeight)};
  AdjustWindowRectEx(&r, style, FALSE, WS_EX_CONTROLPARENT);
  CreateWindowExA(WS_EX_CONTROLPARENT, kMainFormClass, kApplicationTitle, style, CW_USEDEFAULT,
                  CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance,
                  this);
  return hwnd_ != nullptr;
}

LRESULT CALLBACK TMainForm::WndProcThunk(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  TMainForm* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<TMainForm*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<TMainForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  try {
    return self->WndProc(msg, wp, lp);
  } catch (...) {
    // Handlers catch their own failures; this only keeps anything else out of the system.
    return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

LRESULT TMainForm::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      Guard([&] {
        dpi_ = WindowDpi(hwnd_);
        LoadIcons();
        controls_.Create(hwnd_, dpi_, results_);
        FormCreate();
      });
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        // Like a dialog, the window gives the focus back to the control that had it.
        if (HWND focus = GetFocus(); focus && IsChild(hwnd_, focus)) focus_ = focus;
        break;
      }
      Guard([&] { FormActivate(); });
      if (HIWORD(wp)) break;  // minimised
      FocusControl(focus_);
      return 0;
    case WM_SIZE:
      Guard([&] { FormResize(); });
      return 0;
    case WM_SHOWWINDOW:
      if (wp) Guard([&] { FormResize(); });
      break;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lp);
      info->ptMinTrackSize.x = Scale(kMinOuterWidth);
      info->ptMinTrackSize.y = Scale(kMinOuterHeight);
      // Never so low that Restore, the page's lowest control, is cut off: with Wine's tab and
      // status bar metrics the design's least height is 13 pixels short of it at 96 DPI.
      RECT window{}, client{};
      if (controls_.pcMain && !IsIconic(hwnd_) && GetWindowRect(hwnd_, &window) &&
          GetClientRect(hwnd_, &client)) {
        const int frame = (window.bottom - window.top) - client.bottom;
        info->ptMinTrackSize.y =
            std::max<LONG>(info->ptMinTrackSize.y, controls_.LeastClientHeight() + frame);
      }
      return 0;
    }
    case WM_DPICHANGED:
      Guard([&] { OnDpiChanged(HIWORD(wp), *reinterpret_cast<const RECT*>(lp)); });
      return 0;
    case WM_COMMAND:
      Guard([&] { OnCommand(LOWORD(wp), HIWORD(wp)); });
      return 0;
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (item->CtlID == kIdLbResults) {
        GuardPaint(
            [&] { item->itemHeight = static_cast<UINT>(results_.MeasureItem(item->itemID)); });
        return TRUE;
      }
      break;
    }
    case WM_DRAWITEM:
      GuardPaint([&] { OnDrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lp)); });
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return OnCtlColorStatic(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
    case WM_SETCURSOR:
      // A Repair run processes messages, and every move over the window would set the arrow
      // again; the hourglass stays over the whole client area until the run ends.
      if (repairRunning_ && LOWORD(lp) == HTCLIENT) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        return TRUE;
      }
      if (reinterpret_cast<HWND>(wp) == controls_.urlLabel1) {
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_SETTINGCHANGE:
      // Broadcast for every system setting and the environment; of these only high contrast
      // changes what the window draws (a new colour scheme comes as WM_SYSCOLORCHANGE too).
      if (wp != SPI_SETHIGHCONTRAST) break;
      [[fallthrough]];
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      Guard([&] { OnThemeChanged(msg, wp, lp); });
      break;
    case WM_QUERYENDSESSION:
      return OnQueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
      Guard([&] { OnEndSession(wp != FALSE); });
      return 0;
    case WM_HELP:
      return TRUE;  // F1 is handled by the key preview (PreTranslate), in every message loop
    case WM_CLOSE:
      if (repairRunning_) {
        // The run ends after its current entry with its backup whole; the window goes then.
        closeAfterRepair_ = true;
        StopRepair();
        return 0;
      }
      Guard([&] { FormClose(); });
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      Guard([&] { FormDestroy(); });
      PostQuitMessage(0);
      return 0;
    case kMsgReleaseWorker:
      retiredWorker_.reset();
      return 0;
    case kMsgShowLogFailure:
      // Once per scan, however many hits the log refused; every one of them is in the list.
      if (auto failure = scan_.TakeLogFailure()) ShowFailure(hwnd_, *failure);
      return 0;
    case kMsgShowPaintFailure:
      if (paintFailure_) {
        shownPaintFailure_ = *paintFailure_;
        ShowFailure(hwnd_, *paintFailure_);
        paintFailure_.reset();
      }
      return 0;
    case WM_TIMER:
      if (wp == ScanControls::kTimerId) {
        Guard([&] { scanShown_.OnTimer(); });
        return 0;
      }
      break;
    default:
      break;
  }
  const LRESULT result = DefWindowProcA(hwnd_, msg, wp, lp);
  if (options_.instanceMessage != 0 && msg == options_.instanceMessage) {
    Guard([&] { OnInstanceMessage(); });
  }
  return result;
}

void TMainForm::OnCommand(int id, int code) {
  const bool clicked = code == BN_CLICKED;
  switch (id) {
    case kIdSbSearchE:
      if (clicked) acSearchExecute();
      break;
    case IDCANCEL:  // Esc, from the dialog keys: stops a Repair run, else goes Back
      if (repairRunning_) {
        StopRepair();
        break;
      }
      if (!IsWindowVisible(controls_.pageResults)) break;
      [[fallthrough]];
    case kIdButton1:  // Back
      if (clicked) {
        ShowNotebookPage(0);
        FocusControl(controls_.button2);
      }
      break;
    case kIdButton2:  // Results
      if (clicked) {
        ShowNotebookPage(1);
        results_.ShowSelection();
        FocusControl(results_.Handle());
      }
      break;
    case kIdButton3:
      if (clicked) Button3Click();
      break;
    case kIdButton4:
      if (clicked) Button4Click();
      break;
    case kIdBitBtn1:
      if (clicked) BitBtn1Click();
      break;
    case kIdURLLabel1:
      if (code == STN_CLICKED) URLLabel1Click();
      break;
    case kIdEbNow:
      if (code == EN_CHANGE) ClearResults();  // ebNowChange
      break;
    default:
      break;
  }
}

void TMainForm::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.CtlID == kIdLbResults) {
    results_.DrawItem(item);
  } else if (item.CtlID == kIdImage2) {
    banner_.Draw(item, controls_.Font());
  } else if (item.CtlID == kIdSbSearchE) {
    searchFace_.Draw(item);
  }
}

LRESULT TMainForm::OnCtlColorStatic(HDC dc, HWND control) {
  if (control == controls_.urlLabel1) {
    // The scheme's hot-track colour, as links have it. Wine's default "Light" theme makes it a
    // light grey (224 224 224) on its light grey face: a colour that close to the face gives way
    // to the highlight colour, or to the button text when that is no better.
    auto lum = [](COLORREF c) {
      return (GetRValue(c) * 30 + GetGValue(c) * 59 + GetBValue(c) * 11) / 100;
    };
    const int face = lum(GetSysColor(COLOR_BTNFACE));
    auto readable = [&](int element) { return std::abs(lum(GetSysColor(element)) - face) >= 80; };
    SetTextColor(dc, GetSysColor(readable(COLOR_HOTLIGHT)    ? COLOR_HOTLIGHT
                                 : readable(COLOR_HIGHLIGHT) ? COLOR_HIGHLIGHT
                                                             : COLOR_BTNTEXT));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  }
  return DefWindowProcA(hwnd_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                        reinterpret_cast<LPARAM>(control));
}

int TMainForm::Run() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (PreTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void TMainForm::FormCreate() {
  if (!SetCurrentDirectoryA(ProgramFolder().c_str()))
    throw std::runtime_error(SystemErrorText(GetLastError()));
  ShowNotebookPage(0);
  scan_.ClearResults();
  WinIniStore ini(options_.files.settingsReadPath);
  placing_ = true;
  {
    const ScopeExit placed([this] { placing_ = false; });
    RestoreSavedPlacement(hwnd_, ini);
  }
  ReadSettings();
  ApplyRestoreRule();
}

void TMainForm::FormActivate() {
  if (!firstActivation_) return;
  firstActivation_ = false;
  if (!options_.files.writable) {
    MessageBoxA(hwnd_, Format(kNoPlaceToWrite, options_.files.folder.c_str()).c_str(),
                kApplicationTitle, MB_OK | MB_ICONWARNING);
  }
  OpenSavedSearch(options_.firstArg);
}

void TMainForm::FormClose() {
  // Never wait for the walk: ask it to stop; the window then closes.
  if (worker_) worker_->Terminate();
}

void TMainForm::FormDestroy() {
  // Letting go of the host detaches a walk that is still running: none of its calls reaches
  // this window any more.
  worker_.reset();
  controls_.hints.DestroyTooltip();
  SaveSettingsToFile();
}

void TMainForm::FormResize() {
  if (!controls_.statusBar1) return;
  // A minimised window has no client area: laid out and measured there, every item of a long
  // list would take the slow character-by-character split. Restoring it lays out and measures.
  if (IsIconic(hwnd_)) return;
  // The pages follow the window first (docking), so the list is measured at its new width.
  controls_.Layout(hwnd_, results_.Handle());
  results_.Remeasure();
  results_.ShowSelection();
}

void TMainForm::ShowNotebookPage(int page) {
  ShowWindow(page == 1 ? controls_.pageResults : controls_.pageMain, SW_SHOW);
  ShowWindow(page == 1 ? controls_.pageMain : controls_.pageResults, SW_HIDE);
}

std::string TMainForm::ProgramFolder() const {
  return WorkingFolderOf(options_.exePath);
}

void TMainForm::BitBtn1Click() {
  if (!SetCurrentDirectoryA(ProgramFolder().c_str())) {
    throw std::runtime_error(SystemErrorText(GetLastError()));
  }
  ShellExecuteA(hwnd_, "open", "calvorin.txt", nullptr, nullptr, SW_SHOWNORMAL);
}

void TMainForm::URLLabel1Click() {
  ShellExecuteA(hwnd_, "open", kUrl, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace calvorin::win32
