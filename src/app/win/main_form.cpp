#include "app/win/main_form.h"

#include <commctrl.h>
#include <shellapi.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <vector>

#include "app/settings.h"
#include "app/win/control_ids.h"
#include "app/win/win_ini_store.h"
#include "base/text.h"
#include "registry/win/win_registry.h"
#include "repair/repair.h"
#include "repair/win/win_backup_files.h"
#include "savedsearch/saved_search.h"
#include "savedsearch/win/win_saved_search.h"
#include "scan/win/gdi_canvas.h"

namespace calvorin::win32 {
namespace {

constexpr const char* kPanelClass = "TCalvorinPanel";
constexpr const char* kUrl = "https://calvorin.example.org/";
constexpr UINT kMsgReleaseWorker = WM_APP + 1;
// While a scan runs: shows the newest results and progress text at least this often.
constexpr UINT_PTR kTimerShowScan = 1;
constexpr int kClientWidth = 628;
constexpr int kClientHeight = 448;
constexpr int kMinOuterWidth = 500;
constexpr int kMinOuterHeight = 390;
// How far from the list's top item RemeasureResults sets item heights before it moves the top.
constexpr int kFarItems = 2000;
constexpr int kBannerHeight = 97;
constexpr int kPanelHeight = 57;

std::string WindowText(HWND hwnd) {
  const int n = GetWindowTextLengthA(hwnd);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  GetWindowTextA(hwnd, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(std::max(n, 0)));
  return text;
}

std::string SystemMessage(DWORD code) {
  char buffer[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                 buffer, sizeof buffer, nullptr);
  std::string text = buffer;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? Format("System error %lu", static_cast<unsigned long>(code)) : text;
}

std::string HintLongPart(const std::string& hint) {
  const int bar = Pos("|", hint);
  return bar == 0 ? hint : hint.substr(static_cast<std::size_t>(bar));
}

std::string HintShortPart(const std::string& hint) {
  const int bar = Pos("|", hint);
  return bar == 0 ? hint : hint.substr(0, static_cast<std::size_t>(bar - 1));
}

// A positive `height` is the font's character height (the em, without the internal leading),
// the size a font is given in points or pixels everywhere else; a negative one its cell height.
HFONT MakeFont(int height, int weight, bool underline) {
  return CreateFontA(-height, 0, 0, 0, weight, FALSE, underline ? TRUE : FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, "Arial");
}

bool RegisterPanelClass(HINSTANCE instance) {
  WNDCLASSA wc{};
  if (GetClassInfoA(instance, kPanelClass, &wc)) return true;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kPanelClass;
  return RegisterClassA(&wc) != 0;
}

}  // namespace

TMainForm::TMainForm(MainFormOptions options) : options_(std::move(options)) {
  scan_.onRecorded = [this](int index) { ResultRecorded(index); };
  // A full hit table ends the walk; the user sees "Found ... before being stopped".
  scan_.onFull = [this] {
    if (worker_) worker_->Terminate();
  };
}

TMainForm::~TMainForm() {
  // The host's destructor asks a running walk to stop and detaches it without waiting.
  worker_.reset();
  retiredWorker_.reset();
  if (icon_) DestroyIcon(icon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
  if (greySmallIcon_) DestroyIcon(greySmallIcon_);
  if (bannerIcon_) DestroyIcon(bannerIcon_);
}

void TMainForm::ShowFailure(HWND owner, const std::string& message) {
  MessageBoxA(owner, FailureMessageText(message).c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

// Every handler runs here: a failure becomes the message box and the window goes on.
template <typename F>
void TMainForm::Guard(F&& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowFailure(hwnd_, e.what());
  } catch (...) {
    ShowFailure(hwnd_, "Unknown error");
  }
}

bool TMainForm::Create(HINSTANCE instance) {
  // The manifest declares the program aware of the system DPI, so Windows does not stretch its
  // window as a bitmap; every figure of the 96-DPI design is scaled here instead (Scale).
  if (HDC screen = GetDC(nullptr)) {
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  if (dpi_ <= 0) dpi_ = 96;
  icon_ =
      static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  // The banner's icon at the size it is drawn: the icon file holds it at 96, 144 and 192 DPI,
  // where a stretched smaller image would be blocky.
  bannerIcon_ = static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON, Scale(48), Scale(48), 0));
  smallIcon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), 0));
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProcThunk;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainFormClass;
  wc.hIcon = icon_;
  wc.hIconSm = smallIcon_;
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  const bool registered = GetClassInfoExA(instance, kMainFormClass, &existing) != FALSE;
  if ((!registered && !RegisterClassExA(&wc)) || !RegisterPanelClass(instance)) return false;
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

namespace {

// A grey copy of an icon, alpha and mask kept, lightened as disabled glyphs are; null when the
// icon cannot be read.
HICON GreyedIcon(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return nullptr;
  // GetIconInfo hands over copies of both bitmaps.
  const UniqueGdiObject colorBits(info.hbmColor), maskBits(info.hbmMask);
  HICON grey = nullptr;
  BITMAP bm{};
  if (info.hbmColor && GetObjectA(info.hbmColor, sizeof bm, &bm)) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = bm.bmWidth;
    bi.bmiHeader.biHeight = -bm.bmHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    HDC screen = GetDC(nullptr);
    if (GetDIBits(screen, info.hbmColor, 0, bm.bmHeight, pixels.data(), &bi, DIB_RGB_COLORS)) {
      // Without an alpha channel the mask says what is drawn, and the colour is taken as opaque.
      const bool hasAlpha = bm.bmBitsPixel == 32 && std::any_of(pixels.begin(), pixels.end(),
                                                                [](DWORD p) { return p >> 24; });
      for (DWORD& p : pixels) {
        const DWORD a = hasAlpha ? p >> 24 : 255;
        // Premultiplied colour: the grey is lightened by the same share of alpha.
        const DWORD lum =
            (((p >> 16) & 0xFF) * 30 + ((p >> 8) & 0xFF) * 59 + (p & 0xFF) * 11) / 100;
        const DWORD g = (lum + a) / 2;
        p = ((hasAlpha ? a : 0) << 24) | (g << 16) | (g << 8) | g;
      }
      void* bits = nullptr;
      // CreateIconIndirect copies the bitmap.
      const UniqueGdiObject color(CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
      if (color) {
        std::copy(pixels.begin(), pixels.end(), static_cast<DWORD*>(bits));
        ICONINFO greyInfo = info;
        greyInfo.hbmColor = static_cast<HBITMAP>(color.get());
        grey = CreateIconIndirect(&greyInfo);
      }
    }
    ReleaseDC(nullptr, screen);
  }
  return grey;
}

}  // namespace

// A BM_SETIMAGE icon is greyed by DrawState(DSS_DISABLED), which turns an icon with an alpha
// channel into a flat grey square; Wine 8 also ignores a button image list's disabled image. The
// button draws itself instead, with a grey copy of the glyph while disabled.
void TMainForm::DrawSearchButton(const DRAWITEMSTRUCT& item) {
  if (!greySmallIcon_) greySmallIcon_ = GreyedIcon(smallIcon_);
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  RECT r = item.rcItem;
  // The face as the other buttons draw theirs: themed where a theme is active.
  if (HTHEME theme = OpenThemeData(item.hwndItem, L"BUTTON")) {
    const int state = disabled ? PBS_DISABLED : pushed ? PBS_PRESSED : PBS_NORMAL;
    if (IsThemeBackgroundPartiallyTransparent(theme, BP_PUSHBUTTON, state))
      DrawThemeParentBackground(item.hwndItem, item.hDC, &r);
    DrawThemeBackground(theme, item.hDC, BP_PUSHBUTTON, state, &r, nullptr);
    CloseThemeData(theme);
  } else {
    DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  }
  const int shift = pushed ? 1 : 0;
  char text[64] = "";
  GetWindowTextA(item.hwndItem, text, sizeof text);
  SIZE extent{};
  GetTextExtentPoint32A(item.hDC, text, lstrlenA(text), &extent);
  const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
  const int gap = Scale(2);
  // The glyph and the text (its "&" not counted) centred together, as the button draws them.
  SIZE amp{};
  GetTextExtentPoint32A(item.hDC, "&", 1, &amp);
  const int width = cx + gap + extent.cx - (std::strchr(text, '&') ? amp.cx : 0);
  const int left = (r.left + r.right - width) / 2 + shift;
  const int middle = (r.top + r.bottom) / 2 + shift;
  HICON glyph = disabled && greySmallIcon_ ? greySmallIcon_ : smallIcon_;
  if (glyph) DrawIconEx(item.hDC, left, middle - cy / 2, glyph, cx, cy, 0, nullptr, DI_NORMAL);
  SetBkMode(item.hDC, TRANSPARENT);
  const UINT hidePrefix = (item.itemState & ODS_NOACCEL) ? DSS_HIDEPREFIX : 0;
  DrawStateA(item.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(text), 0, left + cx + gap,
             middle - extent.cy / 2, 0, 0,
             DST_PREFIXTEXT | hidePrefix | (disabled ? DSS_DISABLED : DSS_NORMAL));
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
    InflateRect(&r, -Scale(3), -Scale(3));
    DrawFocusRect(item.hDC, &r);
  }
}

// Pages and the tab's page are plain containers; what their controls report goes to the form.
LRESULT CALLBACK TMainForm::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return SendMessageA(GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
    default:
      return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

// The list box class's own procedure, the same for every list box.
WNDPROC TMainForm::resultsListDefault = nullptr;

LRESULT CALLBACK TMainForm::ResultsListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // Only the right button with no modifier: MK_ flags carry Shift and Ctrl, but not Alt.
  if (msg == WM_RBUTTONDOWN && wp == MK_RBUTTON && GetKeyState(VK_MENU) >= 0) {
    if (auto* self = reinterpret_cast<TMainForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
      self->Guard([&] {
        self->lbResultsMouseDown(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      });
      return 0;
    }
  }
  return CallWindowProcW(resultsListDefault, hwnd, msg, wp, lp);
}

// The static class's own procedure.
WNDPROC TMainForm::labelDefault = nullptr;

// Label1..Label3 and lblSearch: a new text or a new width gets the font it fits (FitLabelFont).
LRESULT CALLBACK TMainForm::LabelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TMainForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self && msg == WM_SETTEXT && lp) {
    self->FitLabelFont(hwnd, reinterpret_cast<const char*>(lp), false);
  }
  const LRESULT result = CallWindowProcA(labelDefault, hwnd, msg, wp, lp);
  if (self && msg == WM_SIZE) self->FitLabelFont(hwnd, WindowText(hwnd), true);
  return result;
}

// A status label shows its text at 27 pixels while it fits the label's one line. A longer one (a
// large count, a narrow window) takes the largest size at which it fits, where the static
// control would wrap it below the label's bottom and show only its first words.
void TMainForm::FitLabelFont(HWND label, const std::string& text, bool redraw) {
  RECT client{};
  GetClientRect(label, &client);
  if (client.right <= 0) return;
  HDC dc = GetDC(label);
  auto width = [&](HGDIOBJ font) {
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    return static_cast<int>(extent.cx);
  };
  HGDIOBJ font = bigFont_.get();
  const int full = width(font);
  if (full > client.right) {
    auto sized = [&](int height) {
      UniqueGdiObject& f = labelFonts_[height];
      if (!f) f.reset(MakeFont(height, FW_NORMAL, false));
      return f.get();
    };
    // Widths do not scale exactly with the size: from the estimate up while one more fits, then
    // down until this one fits.
    int height = std::clamp(MulDiv(Scale(27), client.right, full), 1, Scale(27) - 1);
    while (height + 1 < Scale(27) && width(sized(height + 1)) <= client.right) ++height;
    while (height > 1 && width(sized(height)) > client.right) --height;
    font = sized(height);
  }
  ReleaseDC(label, dc);
  if (reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)) != font) {
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
  }
}

LRESULT TMainForm::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      Guard([&] {
        CreateControls();
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
        Guard([&] { item->itemHeight = static_cast<UINT>(lbResultsMeasureItem(item->itemID)); });
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
      if (reinterpret_cast<HWND>(wp) == urlLabel1_) {
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
  switch (id) {
    case kIdSbSearchE:
      if (code == BN_CLICKED) acSearchExecute();
      break;
    case kIdButton1:
      if (code == BN_CLICKED) Button1Click();
      break;
    case kIdButton2:
      if (code == BN_CLICKED) Button2Click();
      break;
    case kIdButton3:
      if (code == BN_CLICKED) Button3Click();
      break;
    case kIdButton4:
      if (code == BN_CLICKED) Button4Click();
      break;
    case kIdBitBtn1:
      if (code == BN_CLICKED) BitBtn1Click();
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

HWND TMainForm::AddControl(HWND parent, const char* cls, const char* text, DWORD style, int id,
                           int x, int y, int w, int h, HFONT font) {
  HWND control = CreateWindowExA(0, cls, text, WS_CHILD | style, x, y, w, h, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleA(nullptr), nullptr);
  if (!control) throw std::runtime_error(Format("Cannot create control %d", id));
  SendMessageA(control, WM_SETFONT,
               reinterpret_cast<WPARAM>(font ? font : static_cast<HFONT>(font_.get())), FALSE);
  return control;
}

void TMainForm::CreateControls() {
  font_.reset(MakeFont(Scale(13), FW_NORMAL, false));
  // Both sizes are character heights, as a font's size in points is (10 and 20 points at 96
  // DPI). The status labels fit a text too long for them at 27 pixels (FitLabelFont).
  bigFont_.reset(MakeFont(Scale(27), FW_NORMAL, false));
  matchFont_.reset(MakeFont(Scale(13), FW_BOLD, true));
  linkFont_.reset(MakeFont(Scale(13), FW_NORMAL, true));
  // Every bound below is of the 96-DPI design; S gives it in this screen's pixels.
  auto S = [this](int pixels) { return Scale(pixels); };
  SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  const HFONT big = static_cast<HFONT>(bigFont_.get());
  const DWORD panel = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;

  statusBar1_ = AddControl(hwnd_, STATUSCLASSNAMEA, "", WS_VISIBLE, kIdStatusBar1, 0, 0, 0, 0);
  // One part across the whole bar: it looks like the simple panel, and unlike the simple mode
  // its text can be read with WM_GETTEXT (Wine reports no simple-mode text to SB_GETTEXT).
  int parts[1] = {-1};
  SendMessageA(statusBar1_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));

  // Notebook1: two pages, switched in code.
  pageMain_ = AddControl(hwnd_, kPanelClass, "Main", WS_VISIBLE | panel, kIdPageMain, 0, 0,
                         S(kClientWidth), S(kClientHeight));
  pageResults_ = AddControl(hwnd_, kPanelClass, "Results", panel, kIdPageResults, 0, 0,
                            S(kClientWidth), S(kClientHeight));
  SetWindowLongPtrA(pageMain_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PanelProc));
  SetWindowLongPtrA(pageResults_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PanelProc));
  SetWindowLongPtrA(pageMain_, GWL_EXSTYLE, WS_EX_CONTROLPARENT);
  SetWindowLongPtrA(pageResults_, GWL_EXSTYLE, WS_EX_CONTROLPARENT);

  // Page "Main".
  image2_ = AddControl(pageMain_, "STATIC", "", WS_VISIBLE | SS_OWNERDRAW, kIdImage2, 0, 0, S(689),
                       S(kBannerHeight));
  urlLabel1_ = AddControl(pageMain_, "STATIC", kUrl, WS_VISIBLE | SS_NOTIFY | SS_RIGHT,
                          kIdURLLabel1, S(kClientWidth) - S(208), S(kBannerHeight + 4), S(200),
                          S(16), static_cast<HFONT>(linkFont_.get()));
  pcMain_ = AddControl(pageMain_, WC_TABCONTROLA, "", WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS,
                       kIdPcMain, S(4), S(kBannerHeight + 22), S(kClientWidth) - S(8), S(300));
  TCITEMA tab{};
  tab.mask = TCIF_TEXT;
  char caption[] = "Find Invalid Registry Keys ";
  tab.pszText = caption;
  SendMessageA(pcMain_, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&tab));
  tsEasy_ = AddControl(pageMain_, kPanelClass, "tsEasy", WS_VISIBLE | panel, kIdTsEasy, 0, 0, S(10),
                       S(10));
  SetWindowLongPtrA(tsEasy_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PanelProc));
  SetWindowLongPtrA(tsEasy_, GWL_EXSTYLE, WS_EX_CONTROLPARENT);
  SetWindowPos(tsEasy_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

  const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
  AddControl(tsEasy_, "STATIC", "Click Search ", WS_VISIBLE, kIdClickSearchLabel, S(16), S(12),
             S(100), S(16));
  sbSearchE_ = AddControl(tsEasy_, "BUTTON", "&Search", WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW,
                          kIdSbSearchE, S(16), S(32), S(100), S(36));
  button2_ =
      AddControl(tsEasy_, "BUTTON", "R&esults", button, kIdButton2, S(16), S(76), S(100), S(26));
  button3_ =
      AddControl(tsEasy_, "BUTTON", "&Repair", button, kIdButton3, S(16), S(108), S(100), S(26));
  checkBox1_ = AddControl(tsEasy_, "BUTTON", "Extra", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                          kIdCheckBox1, S(124), S(112), S(60), S(18));
  SendMessageA(checkBox1_, BM_SETCHECK, BST_CHECKED, 0);
  bitBtn1_ = AddControl(tsEasy_, "BUTTON", "&Help", WS_VISIBLE | button, kIdBitBtn1, S(16), S(140),
                        S(100), S(26));
  button4_ = AddControl(tsEasy_, "BUTTON", "Re&store", WS_VISIBLE | WS_DISABLED | button,
                        kIdButton4, S(16), S(172), S(100), S(26));
  ebNow_ = AddControl(tsEasy_, "EDIT", "", ES_AUTOHSCROLL | WS_BORDER, kIdEbNow, S(200), S(4),
                      S(60), S(20));
  label1_ = AddControl(tsEasy_, "STATIC", "", WS_VISIBLE | SS_NOPREFIX, kIdLabel1, S(200), S(30),
                       S(400), S(32), big);
  label2_ = AddControl(tsEasy_, "STATIC", "", WS_VISIBLE | SS_NOPREFIX, kIdLabel2, S(200), S(66),
                       S(400), S(32), big);
  label3_ = AddControl(tsEasy_, "STATIC", "", WS_VISIBLE | SS_NOPREFIX, kIdLabel3, S(200), S(102),
                       S(400), S(32), big);
  pb1_ = AddControl(tsEasy_, PROGRESS_CLASSA, "", 0, kIdPb1, S(200), S(176), S(400), S(18));
  SendMessageA(pb1_, PBM_SETSTEP, 1, 0);
  memo2_ = AddControl(tsEasy_, "EDIT", kLogFirstLine, ES_MULTILINE | WS_BORDER | WS_VSCROLL,
                      kIdMemo2, S(200), S(140), S(100), S(30));
  SendMessageA(memo2_, EM_SETLIMITTEXT, 0, 0);
  edit1_ = AddControl(tsEasy_, "EDIT", "", ES_AUTOHSCROLL | WS_BORDER | ES_READONLY, kIdEdit1,
                      S(200), S(140), S(400), S(22));
  // Set after the change notification is wired, so the text is in place from the start.
  SetWindowTextA(ebNow_, ":\\");

  // Page "Results".
  pnlSearch_ = AddControl(pageResults_, kPanelClass, "", WS_VISIBLE | panel, kIdPnlSearch, 0, 0,
                          S(kClientWidth), S(kPanelHeight));
  SetWindowLongPtrA(pnlSearch_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PanelProc));
  SetWindowLongPtrA(pnlSearch_, GWL_EXSTYLE, WS_EX_CONTROLPARENT);
  lblSearch_ = AddControl(pnlSearch_, "STATIC", "Searching...", WS_VISIBLE | SS_NOPREFIX,
                          kIdLblSearch, S(12), S(14), S(440), S(32), big);
  button1_ = AddControl(pnlSearch_, "BUTTON", "&Back", button, kIdButton1, S(kClientWidth) - S(96),
                        S(15), S(84), S(26));
  lbResults_ = AddControl(pageResults_, "LISTBOX", "",
                          WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY |
                              LBS_OWNERDRAWVARIABLE | LBS_NOINTEGRALHEIGHT,
                          kIdLbResults, 0, S(kPanelHeight), S(kClientWidth), S(300));
  // Subclassed through its window procedure, not SetWindowSubclass: Wine's subclass procedure
  // looks its data up with GetProp, a round trip to the wine server on every message, and the
  // list gets several messages per result.
  SetWindowLongPtrW(lbResults_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  resultsListDefault = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(lbResults_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ResultsListProc)));
  for (HWND label : {label1_, label2_, label3_, lblSearch_}) {
    SetWindowLongPtrA(label, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    labelDefault = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LabelProc)));
  }

  tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
  SetHint(sbSearchE_, "Begin search| for invalid registry keys", true);
  SetHint(button2_, "Show registry keys with errors", true);
  SetHint(button3_, "Fix or clean invalid registry keys found", true);
  SetHint(button4_, "Restore keys deleted on previous clean.", true);
  SetHint(checkBox1_, "try to repair the keys finding correct path", true);
  SetHint(lbResults_, "Results|Results of the current search", false);
  SetHint(urlLabel1_, kUrl, false);
}

void TMainForm::SetHint(HWND control, const std::string& hint, bool tooltip) {
  hints_[control] = hint;
  if (!tooltip || !tooltip_) return;
  std::string shortPart = HintShortPart(hint);
  TTTOOLINFOA info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = GetParent(control);
  info.uId = reinterpret_cast<UINT_PTR>(control);
  info.lpszText = shortPart.data();
  SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
  // A disabled control gets no mouse messages (they go to its parent), and the tool tip looks
  // for its tool with WindowFromPoint, which passes over disabled windows too. So the control's
  // place on its parent is a second tool with the same text; the controls with tool tips never
  // move on their page.
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, info.hwnd, reinterpret_cast<POINT*>(&place), 2);
  info.uFlags = TTF_SUBCLASS;
  info.uId = static_cast<UINT_PTR>(GetDlgCtrlID(control));
  info.rect = place;
  SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

void TMainForm::SetStatusText(const std::string& text) {
  SendMessageA(statusBar1_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string TMainForm::ExeFolder() const {
  const std::size_t slash = options_.exePath.find_last_of('\\');
  return slash == std::string::npos ? std::string(".") : options_.exePath.substr(0, slash);
}

std::string TMainForm::BackupPath() const {
  return ExeFolder() + "\\deletedkeys.reg";
}

void TMainForm::FormCreate() {
  if (!SetCurrentDirectoryA(WorkingFolderOf(options_.exePath).c_str()))
    throw std::runtime_error(SystemMessage(GetLastError()));
  const std::size_t dot = options_.exePath.find_last_of('.');
  helpFile_ =
      (dot == std::string::npos ? options_.exePath : options_.exePath.substr(0, dot)) + ".HLP";
  ShowNotebookPage(0);
  scan_.ClearResults();
  RestoreWindowPlacement();
  ReadSettings();
  ApplyRestoreRule();
}

void TMainForm::RestoreWindowPlacement() {
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  RECT window{};
  GetWindowRect(hwnd_, &window);
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  GetWindowPlacement(hwnd_, &wp);
  WindowPlacementRecord current;
  current.normal = {wp.rcNormalPosition.left, wp.rcNormalPosition.top, wp.rcNormalPosition.right,
                    wp.rcNormalPosition.bottom};
  current.minX = wp.ptMinPosition.x;
  current.minY = wp.ptMinPosition.y;
  current.maxX = wp.ptMaxPosition.x;
  current.maxY = wp.ptMaxPosition.y;
  current.showCmd = static_cast<std::int32_t>(wp.showCmd);
  current.flags = static_cast<std::int32_t>(wp.flags);
  WinIniStore ini(options_.iniPath);
  const WindowPlacementRecord p =
      RestorePlacement(ini, {work.left, work.top, work.right, work.bottom},
                       window.right - window.left, window.bottom - window.top, current);
  wp.rcNormalPosition = {p.normal.left, p.normal.top, p.normal.right, p.normal.bottom};
  wp.ptMinPosition = {p.minX, p.minY};
  wp.ptMaxPosition = {p.maxX, p.maxY};
  wp.showCmd = static_cast<UINT>(p.showCmd);
  wp.flags = static_cast<UINT>(p.flags);
  SetWindowPlacement(hwnd_, &wp);
}

void TMainForm::ReadSettings() {
  WinIniStore ini(options_.iniPath);
  const FormSettings s = ReadFormSettings(ini);
  LONG_PTR style = GetWindowLongPtrA(pcMain_, GWL_STYLE);
  style = s.Buttons == 1 ? (style | TCS_BUTTONS) : (style & ~static_cast<LONG_PTR>(TCS_BUTTONS));
  SetWindowLongPtrA(pcMain_, GWL_STYLE, style);
  SelectTabPage(s.ActivePage);
  PerPage = s.PerPage;
  MaxRslt = s.MaxRslt;
}

void TMainForm::SelectTabPage(int index) {
  // pcMain has a single page: any index keeps it selected and its controls visible, rather
  // than leaving an empty tab control the user has to click to get back.
  (void)index;
  SendMessageA(pcMain_, TCM_SETCURSEL, 0, 0);
  ShowWindow(tsEasy_, SW_SHOW);
}

void TMainForm::SaveSettingsToFile() {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  GetWindowPlacement(hwnd_, &wp);
  WindowPlacementRecord p;
  p.normal = {wp.rcNormalPosition.left, wp.rcNormalPosition.top, wp.rcNormalPosition.right,
              wp.rcNormalPosition.bottom};
  p.minX = wp.ptMinPosition.x;
  p.minY = wp.ptMinPosition.y;
  p.maxX = wp.ptMaxPosition.x;
  p.maxY = wp.ptMaxPosition.y;
  p.showCmd = static_cast<std::int32_t>(wp.showCmd);
  p.flags = static_cast<std::int32_t>(wp.flags);
  const auto activePage = static_cast<std::int32_t>(SendMessageA(pcMain_, TCM_GETCURSEL, 0, 0));
  WinIniStore ini(options_.iniPath);
  SaveSettings(ini, options_.iniPath, p, activePage, PerPage, MaxRslt);
}

void TMainForm::FormActivate() {
  if (!firstActivation_) return;
  firstActivation_ = false;
  OpenSavedSearch(options_.firstArg);
}

void TMainForm::OnInstanceMessage() {
  if (!options_.instanceRecord) return;
  const auto* record = static_cast<const unsigned char*>(options_.instanceRecord);
  const std::size_t length = record[8];
  OpenSavedSearch(std::string(reinterpret_cast<const char*>(record + 9), length));
}

void TMainForm::OpenSavedSearch(const std::string& fileName) {
  // What a saved search may change in this window.
  class Host : public SavedSearchHost {
   public:
    explicit Host(TMainForm& form) : f_(form) {}
    void SetPerPage(std::int32_t value) override { f_.PerPage = value; }
    void SetMaxRslt(std::int32_t value) override { f_.MaxRslt = value; }
    void SelectPage(int index) override { f_.SelectTabPage(index); }
    void ClearResults() override { f_.ClearResults(); }

   private:
    TMainForm& f_;
  } host(*this);
  WinSavedSearchFiles files;
  WinAnsiConverter converter;
  // An empty name or a missing file reads nothing; a malformed file throws its message.
  ReadSavedSearch(fileName, files, host, converter);
}

void TMainForm::FormClose() {
  // Never wait for the walk: ask it to stop; the window then closes.
  if (worker_) worker_->Terminate();
}

void TMainForm::FormDestroy() {
  // Letting go of the host detaches a walk that is still running: none of its calls reaches
  // this window any more.
  worker_.reset();
  if (tooltip_) DestroyWindow(tooltip_);
  tooltip_ = nullptr;
  SaveSettingsToFile();
}

void TMainForm::FormKeyDown(WPARAM key) {
  if (key == VK_F1) WinHelpA(hwnd_, "calvorin.hlp", HELP_CONTENTS, 0);
}

void TMainForm::BitBtn1Click() {
  if (!SetCurrentDirectoryA(WorkingFolderOf(options_.exePath).c_str())) {
    throw std::runtime_error(SystemMessage(GetLastError()));
  }
  ShellExecuteA(hwnd_, "open", "calvorin.txt", nullptr, nullptr, SW_SHOWNORMAL);
}

void TMainForm::URLLabel1Click() {
  ShellExecuteA(hwnd_, "open", kUrl, nullptr, nullptr, SW_SHOWNORMAL);
}

void TMainForm::AppEv1Hint(HWND control) {
  std::string hint;
  for (HWND h = control; h && h != hwnd_; h = GetParent(h)) {
    auto it = hints_.find(h);
    if (it != hints_.end()) {
      hint = it->second;
      break;
    }
  }
  if (hint == currentHint_) return;
  currentHint_ = hint;
  SetStatusText(HintLongPart(hint));
}

// The window's own layout: the status bar docked at the bottom, the notebook's pages filling the
// rest, and on them the banner and the results panel across the top, the tab control and the
// list filling what is left below, the link and Back kept at the right edge. Every other control
// but lblSearch and Label1..Label3 keeps the bounds it was made with.
void TMainForm::LayoutControls() {
  RECT client{};
  GetClientRect(hwnd_, &client);
  SendMessageA(statusBar1_, WM_SIZE, 0, 0);
  RECT status{};
  GetWindowRect(statusBar1_, &status);
  const int width = client.right;
  const int height = std::max(0L, client.bottom - (status.bottom - status.top));
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  SetWindowPos(pageMain_, nullptr, 0, 0, width, height, flags);
  SetWindowPos(pageResults_, nullptr, 0, 0, width, height, flags);

  // The banner keeps its design width and grows with a wider window, so no gap shows.
  const int banner = Scale(kBannerHeight);
  SetWindowPos(image2_, nullptr, 0, 0, std::max(Scale(689), width), banner, flags);
  SetWindowPos(urlLabel1_, nullptr, width - Scale(208), Scale(kBannerHeight + 4), Scale(200),
               Scale(16), flags);
  const int tabTop = Scale(kBannerHeight + 22);
  const int tabWidth = std::max(0, width - Scale(8));
  const int tabHeight = std::max(0, height - tabTop - Scale(4));
  SetWindowPos(pcMain_, nullptr, Scale(4), tabTop, tabWidth, tabHeight, flags);
  RECT display{0, 0, tabWidth, tabHeight};
  SendMessageA(pcMain_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  SetWindowPos(tsEasy_, HWND_TOP, Scale(4) + display.left, tabTop + display.top,
               std::max(0L, display.right - display.left),
               std::max(0L, display.bottom - display.top), SWP_NOACTIVATE);

  // Label1..Label3 take the page's width from their design left edge: at their font the texts
  // they show ("Errors: %d, Keys searched: %d" with a large count, the counts of a Repair) are
  // wider than their design width and would be cut.
  const int labelWidth = std::max(0, static_cast<int>(display.right - display.left) - Scale(208));
  for (HWND label : {label1_, label2_, label3_}) {
    SetWindowPos(label, nullptr, 0, 0, labelWidth, Scale(32), flags | SWP_NOMOVE);
  }

  const int panel = Scale(kPanelHeight);
  SetWindowPos(pnlSearch_, nullptr, 0, 0, width, panel, flags);
  // The one exception: the end text ("Found 100000 items before being stopped") is wider than
  // the label's design width at this font, so the label takes the panel's width up to Back.
  SetWindowPos(lblSearch_, nullptr, 0, 0, std::max(0, width - Scale(120)), Scale(32),
               flags | SWP_NOMOVE);
  SetWindowPos(button1_, nullptr, width - Scale(96), Scale(15), Scale(84), Scale(26), flags);
  SetWindowPos(lbResults_, nullptr, 0, panel, width, std::max(0, height - panel), flags);
}

void TMainForm::FormResize() {
  if (!statusBar1_) return;
  // A minimised window has no client area: laid out and measured there, every item of a long
  // list would take the slow character-by-character split. Restoring it lays out and measures.
  if (IsIconic(hwnd_)) return;
  // The pages follow the window first (docking), so the list is measured at its new width.
  LayoutControls();
  RemeasureResults();
}

void TMainForm::ShowNotebookPage(int page) {
  ShowWindow(page == 1 ? pageResults_ : pageMain_, SW_SHOW);
  ShowWindow(page == 1 ? pageMain_ : pageResults_, SW_HIDE);
}

void TMainForm::Button1Click() {
  ShowNotebookPage(0);
}

void TMainForm::Button2Click() {
  ShowNotebookPage(1);
}

// The scan page's controls as a Repair run drives them.
//
// Repair reports every entry and every folder it visits. Setting a control's text or the
// progress position is expensive (Wine's static and edit controls paint themselves at once on
// WM_SETTEXT), and a whole-window repaint each time cost far more than the work itself: a
// thousand entries took over half a minute of painting alone. So the three texts that change
// per entry (Label3, Edit1 and the progress position) are kept and shown once per frame: when
// the last frame is older than FrameClock::kFrameMs, the latest of them go to their controls
// and everything on the window that needs it is painted at once; in between, messages are
// processed but painting waits. Every other change (labels 1 and 2, visibility, the buttons,
// the cursor) first shows the kept ones, so the window ends in exactly the state the run left
// and the user sees the same sequence of states, only at most ten times a second.
class TMainForm::RepairControls : public RepairUi {
 public:
  explicit RepairControls(TMainForm& form) : f_(form) {}
  ~RepairControls() override { ShowKept(); }
  RepairControls(const RepairControls&) = delete;
  RepairControls& operator=(const RepairControls&) = delete;

  void SetLabel1(const std::string& text) override {
    ShowKept();
    SetWindowTextA(f_.label1_, text.c_str());
  }
  void SetLabel2(const std::string& text) override {
    ShowKept();
    SetWindowTextA(f_.label2_, text.c_str());
  }
  void SetLabel3(const std::string& text) override {
    label3_ = text;
    label3Kept_ = true;
  }
  void SetProgressRange(int min, int max) override {
    ShowKept();
    SendMessageA(f_.pb1_, PBM_SETRANGE32, static_cast<WPARAM>(min), max);
  }
  void SetProgressPosition(int position) override {
    position_ = position;
    positionKept_ = true;
  }
  void SetProgressVisible(bool visible) override {
    ShowKept();
    ShowWindow(f_.pb1_, visible ? SW_SHOW : SW_HIDE);
  }
  void SetEditText(const std::string& text) override {
    edit1_ = text;
    edit1Kept_ = true;
  }
  void SetEditVisible(bool visible) override {
    ShowKept();
    ShowWindow(f_.edit1_, visible ? SW_SHOW : SW_HIDE);
  }
  bool ExtraChecked() override {
    return SendMessageA(f_.checkBox1_, BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  void RepaintAndProcessMessages() override { ProcessMessages(); }
  void ProcessMessages() override {
    if (frame_.Due()) {
      ShowKept();
      // Only what changed is painted: invalidating the whole window would repaint the same
      // pixels at a cost of tens of milliseconds a frame under Wine.
      RedrawWindow(f_.hwnd_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
      f_.ProcessMessages();
    } else {
      f_.ProcessMessages(kNoPaint);
    }
  }
  void SetWaitCursor(bool wait) override {
    ShowKept();
    SetCursor(LoadCursor(nullptr, wait ? IDC_WAIT : IDC_ARROW));
  }
  void EnableRestore() override {
    ShowKept();
    EnableWindow(f_.button4_, TRUE);
  }
  void HideRepair() override {
    ShowKept();
    ShowWindow(f_.button3_, SW_HIDE);
  }

 private:
  // Input, posted and sent messages, timers: everything but WM_PAINT.
  static constexpr UINT kNoPaint = PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE;


  void ShowKept() {
    if (label3Kept_) SetWindowTextA(f_.label3_, label3_.c_str());
    if (edit1Kept_) SetWindowTextA(f_.edit1_, edit1_.c_str());
    if (positionKept_) SendMessageA(f_.pb1_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
    label3Kept_ = edit1Kept_ = positionKept_ = false;
  }

  TMainForm& f_;
  // The newest texts and position not yet shown.
  std::string label3_, edit1_;
  int position_ = 0;
  bool label3Kept_ = false, edit1Kept_ = false, positionKept_ = false;
  FrameClock frame_;
};

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

void TMainForm::Button3Click() {
  if (repairRunning_ || worker_) return;
  std::vector<RepairEntry> entries;
  for (int row = scan_.FirstShownRow(); row <= HitCount(); ++row) {
    entries.push_back({scan_.HitKeyPath(row), scan_.HitValueName(row), scan_.HitDataText(row)});
  }
  // Nothing else may touch the hit table or the backup file while the run reads and writes them.
  repairRunning_ = true;
  EnableWindow(sbSearchE_, FALSE);
  EnableWindow(button3_, FALSE);
  EnableWindow(button4_, FALSE);
  std::exception_ptr failure;
  {
    RepairControls ui(*this);
    WinBackupFiles files;
    RepairOptions options;
    options.leadByte = [](unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; };
    try {
      RunRepair(entries, SystemRegistry(), fs_, files, ui, ExeFolder(), options);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  repairRunning_ = false;
  EnableWindow(sbSearchE_, TRUE);
  EnableWindow(button3_, TRUE);
  ApplyRestoreRule();
  // The failure is shown before a close asked for during the run: the box's own message loop
  // would otherwise take the close, and the window would go with the box unseen.
  if (failure) Guard([&] { std::rethrow_exception(failure); });
  if (closeAfterRepair_) PostMessageA(hwnd_, WM_CLOSE, 0, 0);
}

void TMainForm::Button4Click() {
  if (repairRunning_) return;
  if (MessageBoxA(hwnd_, "This will restore all keys deleted to Windows Registry, are you sure?",
                  "Confirm", MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  if (!OpenBackupWithShell(BackupPath())) {
    MessageBoxA(hwnd_, " RESTORE FILE NOT FOUND - NO REPAIR DONE TILL NOW", kApplicationTitle,
                MB_OK);
  }
}

void TMainForm::ApplyRestoreRule() {
  EnableWindow(button4_, FALSE);
  const DWORD attributes = GetFileAttributesA(BackupPath().c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    EnableWindow(button4_, TRUE);
  }
}

void TMainForm::SetPageEnabled(bool enabled) {
  // Children from the last to the first; containers first get the same visit.
  auto visit = [&](auto&& self, HWND parent) -> void {
    std::vector<HWND> children;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      children.push_back(c);
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      if (GetWindow(*it, GW_CHILD)) self(self, *it);
      EnableWindow(*it, enabled ? TRUE : FALSE);
    }
    ApplyRestoreRule();
  };
  visit(visit, tsEasy_);
}

void TMainForm::acSearchExecute() {
  HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  scan_.Clear();  // HitCount := 0
  SetWindowTextA(label2_, "");
  // The last Repair's count of entries left unchanged belongs to that run only.
  SetWindowTextA(label3_, "");
  StartTextSearch();
  SetPageEnabled(false);
  ApplyRestoreRule();
  SetCursor(old ? old : LoadCursor(nullptr, IDC_ARROW));
}

void TMainForm::StartTextSearch() {
  SendMessageA(lbResults_, LB_RESETCONTENT, 0, 0);
  resultWidths_.Clear();
  RemeasureResults();
  scan_.ClearResults();
  progressPending_ = false;
  scanFrame_.Restart();
  SetTimer(hwnd_, kTimerShowScan, FrameClock::kFrameMs, nullptr);
  SetWindowTextA(lblSearch_, "Searching...");
  FormResize();
  ShowNotebookPage(0);
  worker_ = std::make_unique<SearchThreadHost>(
      WindowText(ebNow_),
      [this](const std::string& keyPath, const std::string& valueName, const std::string& dataText,
             std::int32_t keyPos, std::int32_t namePos, std::int32_t dataPos, std::int32_t keyLen,
             std::int32_t nameLen, std::int32_t dataLen, Hkey root) {
        SearchMatch(keyPath, valueName, dataText, keyPos, namePos, dataPos, keyLen, nameLen,
                    dataLen, root);
      },
      [this](std::int32_t keys, std::int32_t matches) { SearchProgress(keys, matches); });
  worker_->SetOnTerminate([this] { Guard([this] { SearchDone(); }); });
  worker_->Resume();
}

void TMainForm::SearchMatch(const std::string& keyPath, const std::string& valueName,
                            const std::string& dataText, std::int32_t keyPos, std::int32_t namePos,
                            std::int32_t dataPos, std::int32_t keyLen, std::int32_t nameLen,
                            std::int32_t dataLen, Hkey root) {
  // An invalid value comes back through onRecorded (ResultRecorded).
  scan_.SearchMatch(keyPath, valueName, dataText, keyPos, namePos, dataPos, keyLen, nameLen,
                    dataLen, root);
}

void TMainForm::ResultRecorded(int index) {
  // The invalid-path log lives in scan_ (LogLines) and in "rrr.TXT". The hidden Memo2 keeps its
  // design text: appending every line to an edit control costs more with each line (about 18 s
  // and 40 MB for 5,000 lines under Wine) and nothing ever reads it back.
  KeepResultWidths(index);
  ShowScanStateIfDue();
}

void TMainForm::SearchProgress(std::int32_t keysSearched, std::int32_t matchCount) {
  (void)matchCount;
  progressText_ =
      Format("Errors: %d, Keys searched: %d", HitCount(), static_cast<int>(keysSearched));
  progressPending_ = true;
  ShowScanStateIfDue();
}

void TMainForm::ShowScanStateIfDue() {
  if (!worker_) {
    ShowScanState();  // paced only while a scan runs
    return;
  }
  if (!scanFrame_.Due()) return;
  ShowScanState();
  // The timer stands in for reports that stop coming, a frame after the last frame shown.
  // Restarting it here keeps it from showing a second frame within this one.
  SetTimer(hwnd_, kTimerShowScan, FrameClock::kFrameMs, nullptr);
}

// A scan can report thousands of hits and progress points a second. Each new list item selected
// repaints the list, and Wine's static controls paint at once when their text changes, so doing
// it all per report cost more than the walk itself. The newest results and progress text are
// shown once per frame instead (on the first report after a frame's time, on a timer while the
// walk finds nothing, and at the end), in the same order and to the same final state: every
// result gets its item and height, the newest is selected, the labels show the last progress.
void TMainForm::ShowScanState() {
  const int shown = static_cast<int>(SendMessageA(lbResults_, LB_GETCOUNT, 0, 0));
  const int total = static_cast<int>(Results().size());
  if (shown >= 0 && shown < total) {
    for (int index = shown; index < total; ++index) {
      SendMessageA(lbResults_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(""));
      SendMessageA(lbResults_, LB_SETITEMHEIGHT, static_cast<WPARAM>(index),
                   lbResultsMeasureItem(index));
    }
    SendMessageA(lbResults_, LB_SETCURSEL, static_cast<WPARAM>(total - 1), 0);
  }
  if (progressPending_) {
    progressPending_ = false;
    SetStatusText(progressText_);
    SetWindowTextA(label1_, progressText_.c_str());
  }
}

void TMainForm::SearchDone() {
  KillTimer(hwnd_, kTimerShowScan);
  ShowScanState();
  scan_.CloseLog();  // the file holds the whole log; nobody should find it held open between scans
  const bool finished = worker_ && worker_->Thread().StopReason == srFinished;
  const std::string text =
      finished ? Format("Found %d items", HitCount())
               : Format("Found %d items before being stopped", static_cast<int>(Results().size()));
  SetWindowTextA(lblSearch_, text.c_str());
  SetStatusText(text);
  // The worker is inside its own termination call; let it go once that has returned.
  retiredWorker_ = std::move(worker_);
  PostMessageA(hwnd_, kMsgReleaseWorker, 0, 0);
  SetPageEnabled(true);
  ShowWindow(button1_, SW_SHOW);
  ShowWindow(button2_, SW_SHOW);
  if (HitCount() > 0) ShowWindow(button3_, SW_SHOW);
}

void TMainForm::ClearResults() {
  scan_.ClearResults();
  resultWidths_.Clear();
  if (lbResults_) SendMessageA(lbResults_, LB_RESETCONTENT, 0, 0);
}

void TMainForm::RemeasureResults() {
  const int count = static_cast<int>(SendMessageA(lbResults_, LB_GETCOUNT, 0, 0));
  // Every item of the one column ends at the same right edge. Asking once matters: Wine finds an
  // owner-drawn variable item's rectangle by adding up the heights from the top item to it.
  const int right = count > 0 ? ResultsItemRight(0) : 0;
  // One repaint at the end instead of one per item.
  SendMessageA(lbResults_, WM_SETREDRAW, FALSE, 0);
  const int top = count > 0 ? static_cast<int>(SendMessageA(lbResults_, LB_GETTOPINDEX, 0, 0)) : 0;
  int topNow = top;  // the list's top item while the heights are set
  for (int i = count - 1; i >= 0; --i) {
    const int height = MeasureResult(i, right);
    // Wine's LB_SETITEMHEIGHT invalidates the item even with redrawing off, and finds its
    // rectangle by adding up the heights from the top item to it: over every item of a long
    // list that is the square of the count. An item whose height stays needs no call (the whole
    // list is invalidated below; the list box stores 0 as 1), and while heights change far
    // from the top item, the top item follows them, and goes back at the end.
    const LRESULT old = SendMessageA(lbResults_, LB_GETITEMHEIGHT, static_cast<WPARAM>(i), 0);
    if (old == std::max(height, 1)) continue;
    if (std::abs(i - topNow) > kFarItems) {
      SendMessageA(lbResults_, LB_SETTOPINDEX, static_cast<WPARAM>(std::max(0, i - kFarItems / 2)),
                   0);
      topNow = static_cast<int>(SendMessageA(lbResults_, LB_GETTOPINDEX, 0, 0));
    }
    SendMessageA(lbResults_, LB_SETITEMHEIGHT, static_cast<WPARAM>(i), height);
  }
  if (topNow != top) SendMessageA(lbResults_, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
  if (count > 0) {
    // Setting a visible item's height with redrawing off makes Wine's list box re-check its top
    // item when redrawing comes back on (near the end of the list it moves up). Every re-measure
    // did that when it set every height; it still does, whichever heights changed.
    const int first = static_cast<int>(SendMessageA(lbResults_, LB_GETTOPINDEX, 0, 0));
    SendMessageA(lbResults_, LB_SETITEMHEIGHT, static_cast<WPARAM>(first),
                 SendMessageA(lbResults_, LB_GETITEMHEIGHT, static_cast<WPARAM>(first), 0));
  }
  SendMessageA(lbResults_, WM_SETREDRAW, TRUE, 0);
  if (count > 0) InvalidateRect(lbResults_, nullptr, TRUE);
}

int TMainForm::lbResultsMeasureItem(int index) {
  if (index < 0 || index >= static_cast<int>(Results().size())) return 0;
  return MeasureResult(index, ResultsItemRight(index));
}

int TMainForm::ResultsItemRight(int index) {
  RECT r{};
  if (SendMessageA(lbResults_, LB_GETITEMRECT, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(&r)) == LB_ERR &&
      SendMessageA(lbResults_, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r)) == LB_ERR) {
    RECT window{};
    GetWindowRect(hwnd_, &window);
    r = {0, 0, window.right - window.left - Scale(4), 0};
  }
  return r.right;
}

void TMainForm::KeepResultWidths(int index) {
  if (index < 0 || index >= static_cast<int>(Results().size())) return;
  // Entries from `index` on are new (the list may have been emptied and filled again).
  resultWidths_.Truncate(static_cast<std::size_t>(index) * 3);
  if (resultWidths_.Size() != static_cast<std::size_t>(index) * 3) return;
  const HitStore::Record& e = Results().Record(static_cast<std::size_t>(index));
  GdiCanvas canvas(lbResults_, static_cast<HFONT>(font_.get()),
                   static_cast<HFONT>(matchFont_.get()), &extents_);
  const FontStyle match{true, true};
  resultWidths_.Add(canvas, match, e.keyLen, e.keyPos, kResultBreakChars, e.keyPath);
  resultWidths_.Add(canvas, match, e.nameLen, e.namePos, kResultBreakChars,
                    e.valueName.empty() ? "(default)" : e.valueName);
  resultWidths_.Add(canvas, match, e.dataLen, e.dataPos, kResultBreakChars, e.dataText);
}

int TMainForm::MeasureResult(int index, int itemRight) {
  if (index < 0 || index >= static_cast<int>(Results().size())) return 0;
  const TextRect column{Scale(98), 0, itemRight - Scale(2), 0};
  const int least = Scale(18);
  const std::size_t first = static_cast<std::size_t>(index) * 3;
  int height = 0;
  if (first + 3 <= resultWidths_.Size()) {
    const auto key = resultWidths_.Height(first, column, least);
    const auto name = resultWidths_.Height(first + 1, column, least);
    const auto data = resultWidths_.Height(first + 2, column, least);
    if (key && name && data) height = *key + *name + *data + Scale(4);
  }
  if (height == 0) {
    // Not measured before, or a token must be split to fit the column: the canvas decides.
    const HitStore::Record& e = Results().Record(static_cast<std::size_t>(index));
    HDC dc = GetDC(lbResults_);
    {
      GdiCanvas canvas(dc, static_cast<HFONT>(font_.get()), static_cast<HFONT>(matchFont_.get()),
                       &extents_);
      const FontStyle match{true, true};
      height = DrawWrappedText(false, canvas, column, match, least, e.keyLen, e.keyPos,
                               kResultBreakChars, e.keyPath) +
               DrawWrappedText(false, canvas, column, match, least, e.nameLen, e.namePos,
                               kResultBreakChars, e.valueName.empty() ? "(default)" : e.valueName) +
               DrawWrappedText(false, canvas, column, match, least, e.dataLen, e.dataPos,
                               kResultBreakChars, e.dataText) +
               Scale(4);
    }
    ReleaseDC(lbResults_, dc);
  }
  // The cap is the list box's own: LB_SETITEMHEIGHT refuses more than 255 pixels, at any DPI.
  return std::min(height, 255);
}

void TMainForm::lbResultsDrawItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  const RECT& r = item.rcItem;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  const COLORREF back = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
  const COLORREF textColour = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
  UniqueGdiObject brush(CreateSolidBrush(back));
  FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
  const int index = static_cast<int>(item.itemID);
  if (index < 0 || index >= static_cast<int>(Results().size())) return;
  const TResult e = Results()[static_cast<std::size_t>(index)];
  SetTextColor(dc, textColour);
  SetBkMode(dc, TRANSPARENT);

  GdiCanvas canvas(dc, static_cast<HFONT>(font_.get()), static_cast<HFONT>(matchFont_.get()));
  const FontStyle match{true, true};
  auto label = [&](int top, const char* text) {
    RECT box{r.left + Scale(50), top, r.left + Scale(90), top + Scale(24)};
    DrawTextA(dc, text, -1, &box, DT_RIGHT | DT_SINGLELINE | DT_TOP | DT_NOPREFIX);
  };
  auto row = [&](int top, int len, int pos, const std::string& text) {
    return DrawWrappedText(true, canvas, {r.left + Scale(98), top, r.right - Scale(2), top}, match,
                           Scale(18), len, pos, kResultBreakChars, text);
  };
  label(r.top, "Key: ");
  const int h1 = row(r.top, e.KeyLen, e.KeyPos, e.KeyPath);
  label(r.top + h1, "Val: ");
  const std::string value =
      (e.ValueName.empty() ? std::string("(default)") : e.ValueName) + "   Error : File not found";
  const int h2 = row(r.top + h1, e.NameLen, e.NamePos, value);
  label(r.top + h1 + h2, "Dat: ");
  row(r.top + h1 + h2, e.DataLen, e.DataPos, e.DataText);

  const std::string number = Format("%d. ", index + 1);
  const int inset = Scale(1);
  RECT n{r.left + inset, r.top + inset, r.right - inset, r.bottom - inset};
  // The column is 48 pixels wide, which "100000. " outgrows by a few pixels (right-aligned, it
  // lost its first digit): the column widens to the list's largest number, into the space left
  // of the labels, which are right-aligned and short. Every item has the same column.
  const std::string largest = Format("%d. ", static_cast<int>(Results().size()));
  SIZE extent{};
  GetTextExtentPoint32A(dc, largest.c_str(), static_cast<int>(largest.size()), &extent);
  n.right = n.left + std::max(Scale(48), static_cast<int>(extent.cx));
  UniqueGdiObject pen(CreatePen(PS_SOLID, inset, textColour));
  HGDIOBJ oldPen = SelectObject(dc, pen.get());
  MoveToEx(dc, n.right, n.top, nullptr);
  LineTo(dc, n.right, n.bottom);
  LineTo(dc, n.left, n.bottom);
  SelectObject(dc, oldPen);
  DrawTextA(dc, number.c_str(), -1, &n, DT_RIGHT | DT_SINGLELINE | DT_TOP | DT_NOPREFIX);
}

void TMainForm::lbResultsMouseDown(int x, int y) {
  const int count = static_cast<int>(SendMessageA(lbResults_, LB_GETCOUNT, 0, 0));
  const POINT pt{x, y};
  for (int i = static_cast<int>(SendMessageA(lbResults_, LB_GETTOPINDEX, 0, 0)); i < count; ++i) {
    RECT r{};
    if (SendMessageA(lbResults_, LB_GETITEMRECT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&r)) == LB_ERR) {
      break;
    }
    if (PtInRect(&r, pt)) {
      SendMessageA(lbResults_, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
      return;
    }
  }
  SendMessageA(lbResults_, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void TMainForm::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.CtlID == kIdLbResults) {
    lbResultsDrawItem(item);
  } else if (item.CtlID == kIdImage2) {
    DrawBanner(item);
  } else if (item.CtlID == kIdSbSearchE) {
    DrawSearchButton(item);
  }
}

// The banner is drawn once per size into a bitmap and copied from there: a long Repair repaints
// the window many times, and the gradient is a hundred brushes.
void TMainForm::DrawBanner(const DRAWITEMSTRUCT& item) {
  const RECT& r = item.rcItem;
  const SIZE size{r.right - r.left, r.bottom - r.top};
  if (size.cx <= 0 || size.cy <= 0) return;
  UniqueMemoryDc memory(CreateCompatibleDC(item.hDC));
  if (!memory) {
    PaintBanner(item.hDC, r);
    return;
  }
  const bool fresh = !bannerBitmap_ || bannerSize_.cx != size.cx || bannerSize_.cy != size.cy;
  if (fresh) {
    bannerBitmap_.reset(CreateCompatibleBitmap(item.hDC, size.cx, size.cy));
    bannerSize_ = bannerBitmap_ ? size : SIZE{0, 0};
  }
  if (!bannerBitmap_) {
    PaintBanner(item.hDC, r);
    return;
  }
  const HGDIOBJ old = SelectObject(memory.get(), bannerBitmap_.get());
  if (fresh) PaintBanner(memory.get(), RECT{0, 0, size.cx, size.cy});
  BitBlt(item.hDC, r.left, r.top, size.cx, size.cy, memory.get(), 0, 0, SRCCOPY);
  SelectObject(memory.get(), old);
}

// The banner: a blue gradient with the program's name and what it does.
void TMainForm::PaintBanner(HDC dc, const RECT& r) {
  const int height = r.bottom - r.top;
  for (int y = 0; y < height; ++y) {
    const int t = y * 255 / std::max(height - 1, 1);
    UniqueGdiObject brush(CreateSolidBrush(RGB(20 + t / 8, 60 + t / 4, 140 + t / 3)));
    RECT line{r.left, r.top + y, r.right, r.top + y + 1};
    FillRect(dc, &line, static_cast<HBRUSH>(brush.get()));
  }
  if (bannerIcon_) {
    DrawIconEx(dc, r.left + Scale(18), r.top + Scale(18), bannerIcon_, Scale(48), Scale(48), 0,
               nullptr, DI_NORMAL);
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  UniqueGdiObject title(MakeFont(Scale(36), FW_BOLD, false));
  HGDIOBJ old = SelectObject(dc, title.get());
  TextOutA(dc, r.left + Scale(80), r.top + Scale(14), "Calvorin", 8);
  SelectObject(dc, font_.get());
  SetTextColor(dc, RGB(220, 232, 255));
  const char* tagline = "Finds registry entries that point at missing files and folders";
  TextOutA(dc, r.left + Scale(82), r.top + Scale(60), tagline, static_cast<int>(strlen(tagline)));
  SelectObject(dc, old);
}

LRESULT TMainForm::OnCtlColorStatic(HDC dc, HWND control) {
  if (control == urlLabel1_) {
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

}  // namespace calvorin::win32
