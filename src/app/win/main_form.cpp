#include "app/win/main_form.h"

#include <commctrl.h>
#include <shellapi.h>

#include <exception>
#include <stdexcept>

#include "app/settings.h"
#include "app/win/control_ids.h"
#include "app/win/win_ini_store.h"
#include "app/win/window_placement.h"
#include "repair/backup.h"

namespace calvorin::win32 {
namespace {

HICON LoadIconOfSize(HINSTANCE instance, int width, int height) {
  return static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON, width, height, 0));
}

}  // namespace

TMainForm::TMainForm(MainFormOptions options) : options_(std::move(options)) {
  // The invalid-path log lives in scan_ (LogLines) and in "rrr.TXT". The hidden Memo2 keeps its
  // design text: appending every line to an edit control costs more with each line (about 18 s
  // and 40 MB for 5,000 lines under Wine) and nothing ever reads it back.
  scan_.onRecorded = [this](int index) {
    results_.Recorded(index);
    ShowScanStateIfDue();
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

bool TMainForm::Create(HINSTANCE instance) {
  // The manifest declares the program aware of the system DPI, so Windows does not stretch its
  // window as a bitmap; every figure of the 96-DPI design is scaled here instead (Scale).
  if (const WindowDc screen(nullptr); screen) dpi_ = GetDeviceCaps(screen.get(), LOGPIXELSY);
  if (dpi_ <= 0) dpi_ = 96;
  icon_.reset(LoadIconOfSize(instance, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)));
  smallIcon_.reset(
      LoadIconOfSize(instance, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)));
  banner_.Load(LoadIconOfSize(instance, Scale(48), Scale(48)), dpi_);
  searchFace_.Load(smallIcon_.get(), dpi_);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProcThunk;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainFormClass;
  wc.hIcon = icon_.get();
  wc.hIconSm = smallIcon_.get();
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
        controls_.Create(hwnd_, dpi_, results_);
        FormCreate();
      });
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) Guard([&] { FormActivate(); });
      break;
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
      return 0;
    }
    case WM_COMMAND:
      Guard([&] { OnCommand(LOWORD(wp), HIWORD(wp)); });
      return 0;
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (item->CtlID == kIdLbResults) {
        Guard([&] { item->itemHeight = static_cast<UINT>(results_.MeasureItem(item->itemID)); });
        return TRUE;
      }
      break;
    }
    case WM_DRAWITEM:
      Guard([&] { OnDrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lp)); });
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
    case WM_HELP:
      return TRUE;  // F1 is handled by the key preview (PreTranslate), in every message loop
    case WM_CLOSE:
      if (repairRunning_) {
        closeAfterRepair_ = true;
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
    case WM_TIMER:
      if (wp == kTimerShowScan) {
        scanFrame_.Mark();
        Guard([&] { ShowScanState(); });
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
    case kIdButton1:  // Back
      if (clicked) ShowNotebookPage(0);
      break;
    case kIdButton2:  // Results
      if (clicked) ShowNotebookPage(1);
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
    SetTextColor(dc, RGB(0, 0, 204));
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

void TMainForm::ProcessMessages(UINT only) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | only)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (PreTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool TMainForm::PreTranslate(MSG& msg) {
  const bool ours = hwnd_ && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd));
  if (!ours) return false;
  if (msg.message == WM_MOUSEMOVE) {
    // Over a disabled control the move goes to its parent; the hint is the control's all the
    // same, found from there (ChildWindowFromPointEx, unlike WindowFromPoint, keeps disabled
    // windows).
    HWND target = msg.hwnd;
    POINT pt{static_cast<short>(LOWORD(msg.lParam)), static_cast<short>(HIWORD(msg.lParam))};
    for (;;) {
      HWND child = ChildWindowFromPointEx(target, pt, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
      if (!child || child == target) break;
      MapWindowPoints(target, child, &pt, 1);
      target = child;
    }
    Guard([&] { AppEv1Hint(target); });
  }
  // Key preview: the window sees F1 whichever control has the focus, also while Repair runs.
  if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && msg.wParam == VK_F1) {
    Guard([&] { FormKeyDown(msg.wParam); });
  }
  return IsDialogMessageA(hwnd_, &msg) != FALSE;
}

void TMainForm::FormCreate() {
  if (!SetCurrentDirectoryA(ProgramFolder().c_str()))
    throw std::runtime_error(SystemErrorText(GetLastError()));
  ShowNotebookPage(0);
  scan_.ClearResults();
  WinIniStore ini(options_.files.settingsReadPath);
  RestoreSavedPlacement(hwnd_, ini);
  ReadSettings();
  ApplyRestoreRule();
}

void TMainForm::FormActivate() {
  if (!firstActivation_) return;
  firstActivation_ = false;
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
  controls_.DestroyTooltip();
  SaveSettingsToFile();
}

void TMainForm::FormKeyDown(WPARAM key) {
  if (key == VK_F1) WinHelpA(hwnd_, "calvorin.hlp", HELP_CONTENTS, 0);
}

void TMainForm::FormResize() {
  if (!controls_.statusBar1) return;
  // A minimised window has no client area: laid out and measured there, every item of a long
  // list would take the slow character-by-character split. Restoring it lays out and measures.
  if (IsIconic(hwnd_)) return;
  // The pages follow the window first (docking), so the list is measured at its new width.
  controls_.Layout(hwnd_, results_.Handle());
  results_.Remeasure();
}

void TMainForm::AppEv1Hint(HWND control) {
  const std::string hint = controls_.HintOf(control, hwnd_);
  if (hint == currentHint_) return;
  currentHint_ = hint;
  SetStatusText(HintLongPart(hint));
}

void TMainForm::SetStatusText(const std::string& text) {
  SendMessageA(controls_.statusBar1, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TMainForm::ShowNotebookPage(int page) {
  ShowWindow(page == 1 ? controls_.pageResults : controls_.pageMain, SW_SHOW);
  ShowWindow(page == 1 ? controls_.pageMain : controls_.pageResults, SW_HIDE);
}

std::string TMainForm::ProgramFolder() const {
  return WorkingFolderOf(options_.exePath);
}

std::string TMainForm::BackupFile() const {
  return BackupPath(options_.files.folder);
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
