#include "app/win/main_form_controls.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "app/win/control_ids.h"
#include "app/win/results_list.h"
#include "base/text.h"
#include "base/win/font.h"
#include "scan/invalid_reference_scan.h"

namespace calvorin::win32 {
namespace {

constexpr const char* kPanelClass = "TCalvorinPanel";
constexpr int kBannerHeight = 97;
constexpr int kPanelHeight = 57;

}  // namespace

std::string WindowText(HWND window) {
  const int n = std::max(GetWindowTextLengthA(window), 0);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  text.resize(static_cast<std::size_t>(std::max(GetWindowTextA(window, text.data(), n + 1), 0)));
  return text;
}

bool MainFormControls::RegisterPanelClass(HINSTANCE instance) {
  WNDCLASSA wc{};
  if (GetClassInfoA(instance, kPanelClass, &wc)) return true;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kPanelClass;
  return RegisterClassA(&wc) != 0;
}

// Pages and the tab's page are plain containers; what their controls report goes to the form.
LRESULT CALLBACK MainFormControls::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
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

LRESULT CALLBACK MainFormControls::LabelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<MainFormControls*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (hwnd == self->urlLabel1) {
    if (msg == WM_SETFOCUS || msg == WM_KILLFOCUS) InvalidateRect(hwnd, nullptr, TRUE);
    const LRESULT result = CallWindowProcA(self->labelDefault_, hwnd, msg, wp, lp);
    // The link is a tab stop: the focus shows as a rectangle around its (right-aligned) text.
    if (msg == WM_PAINT && GetFocus() == hwnd) {
      const WindowDc dc(hwnd);
      const SelectedObject font(dc.get(), self->linkFont_.get());
      RECT r{};
      GetClientRect(hwnd, &r);
      SIZE extent{};
      GetTextExtentPoint32A(dc.get(), kUrl, static_cast<int>(std::strlen(kUrl)), &extent);
      r.left = std::max(0L, r.right - extent.cx - 2);
      DrawFocusRect(dc.get(), &r);
    }
    return result;
  }
  if (msg == WM_SETTEXT && lp) {
    self->FitLabelFont(hwnd, reinterpret_cast<const char*>(lp), false);
  }
  const LRESULT result = CallWindowProcA(self->labelDefault_, hwnd, msg, wp, lp);
  if (msg == WM_SIZE) self->FitLabelFont(hwnd, WindowText(hwnd), true);
  return result;
}

int MainFormControls::FittingHeight(HWND label, const std::string& text) {
  RECT client{};
  GetClientRect(label, &client);
  if (client.right <= 0) return Scale(27);
  const WindowDc dc(label);
  auto width = [&](int height) {
    const SelectedObject selected(dc.get(), FontOfHeight(height));
    SIZE extent{};
    GetTextExtentPoint32A(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
    return static_cast<int>(extent.cx);
  };
  const int full = width(Scale(27));
  if (full <= client.right) return Scale(27);
  // Widths do not scale exactly with the size: from the estimate up while one more fits, then
  // down until this one fits.
  int height = std::clamp(MulDiv(Scale(27), client.right, full), 1, Scale(27) - 1);
  while (height + 1 < Scale(27) && width(height + 1) <= client.right) ++height;
  while (height > 1 && width(height) > client.right) --height;
  return height;
}

HGDIOBJ MainFormControls::FontOfHeight(int height) {
  if (height >= Scale(27)) return bigFont_.get();
  UniqueGdiObject& f = labelFonts_[height];
  if (!f) f.reset(MakeFont(height, FW_NORMAL, false));
  return f.get();
}

void MainFormControls::FitLabelFont(HWND label, const std::string& text, bool redraw) {
  int height = FittingHeight(label, text);
  // Label1..Label3 show one outcome (the counts of a scan or a run) in one size: the largest
  // every one of their texts fits.
  const HWND counts[] = {label1, label2, label3};
  const bool shared = std::find(std::begin(counts), std::end(counts), label) != std::end(counts);
  if (shared) {
    for (HWND other : counts) {
      if (other && other != label) {
        height = std::min(height, FittingHeight(other, WindowText(other)));
      }
    }
  }
  const HGDIOBJ font = FontOfHeight(height);
  auto apply = [&](HWND each, bool redrawIt) {
    if (reinterpret_cast<HGDIOBJ>(SendMessageA(each, WM_GETFONT, 0, 0)) != font) {
      SendMessageA(each, WM_SETFONT, reinterpret_cast<WPARAM>(font), redrawIt ? TRUE : FALSE);
    }
  };
  apply(label, redraw);
  // The others show their texts already: they are drawn again in the new size.
  if (shared) {
    for (HWND other : counts) {
      if (other && other != label) apply(other, true);
    }
  }
}

void MainFormControls::MakeFonts() {
  font_.reset(MakeFont(Scale(13), FW_NORMAL, false));
  // Both sizes are character heights, as a font's size in points is (10 and 20 points at 96
  // DPI). The status labels fit a text too long for them at 27 pixels (FitLabelFont).
  bigFont_.reset(MakeFont(Scale(27), FW_NORMAL, false));
  linkFont_.reset(MakeFont(Scale(13), FW_NORMAL, true));
}

HWND MainFormControls::Add(HWND parent, const char* cls, const char* text, DWORD style, int id,
                           int x, int y, int w, int h, HFONT font) {
  HWND control = CreateWindowExA(0, cls, text, WS_CHILD | style, x, y, w, h, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleA(nullptr), nullptr);
  if (!control) throw std::runtime_error(Format("Cannot create control %d", id));
  // Back to the design's figures: exact, since a figure scaled up rounds by less than one.
  auto design = [this](int v) { return MulDiv(v, 96, dpi_); };
  design_[control] = RECT{design(x), design(y), design(w), design(h)};
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : Font()), FALSE);
  return control;
}

HWND MainFormControls::AddPanel(HWND parent, const char* text, DWORD style, int id, int x, int y,
                                int w, int h) {
  HWND panel =
      Add(parent, kPanelClass, text, style | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, id, x, y, w, h);
  SetWindowLongPtrA(panel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PanelProc));
  SetWindowLongPtrA(panel, GWL_EXSTYLE, WS_EX_CONTROLPARENT);
  return panel;
}

void MainFormControls::Create(HWND form, int dpi, ResultsList& results) {
  dpi_ = dpi;
  MakeFonts();
  // Every bound below is of the 96-DPI design; S gives it in this screen's pixels.
  auto S = [this](int pixels) { return Scale(pixels); };
  SendMessageA(form, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  const HFONT big = static_cast<HFONT>(bigFont_.get());

  statusBar1 = Add(form, STATUSCLASSNAMEA, "", WS_VISIBLE, kIdStatusBar1, 0, 0, 0, 0);
  // One part across the whole bar: it looks like the simple panel, and unlike the simple mode
  // its text can be read with WM_GETTEXT (Wine reports no simple-mode text to SB_GETTEXT).
  int parts[1] = {-1};
  SendMessageA(statusBar1, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));

  // Notebook1: two pages, switched in code.
  pageMain =
      AddPanel(form, "Main", WS_VISIBLE, kIdPageMain, 0, 0, S(kClientWidth), S(kClientHeight));
  pageResults =
      AddPanel(form, "Results", 0, kIdPageResults, 0, 0, S(kClientWidth), S(kClientHeight));

  // Page "Main".
  image2 = Add(pageMain, "STATIC", "", WS_VISIBLE | SS_OWNERDRAW, kIdImage2, 0, 0, S(689),
               S(kBannerHeight));
  urlLabel1 = Add(pageMain, "STATIC", kUrl, WS_VISIBLE | WS_TABSTOP | SS_NOTIFY | SS_RIGHT,
                  kIdURLLabel1, S(kClientWidth) - S(208), S(kBannerHeight + 4), S(200), S(16),
                  static_cast<HFONT>(linkFont_.get()));
  // No tab stop: its one tab never changes, and its controls are tab stops of their own.
  pcMain = Add(pageMain, WC_TABCONTROLA, "", WS_VISIBLE | WS_CLIPSIBLINGS, kIdPcMain, S(4),
               S(kBannerHeight + 22), S(kClientWidth) - S(8), S(300));
  TCITEMA tab{};
  tab.mask = TCIF_TEXT;
  char caption[] = "Find Invalid Registry Keys ";
  tab.pszText = caption;
  SendMessageA(pcMain, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&tab));
  tsEasy = AddPanel(pageMain, "tsEasy", WS_VISIBLE, kIdTsEasy, 0, 0, S(10), S(10));
  SetWindowPos(tsEasy, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

  const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
  Add(tsEasy, "STATIC", "Click Search ", WS_VISIBLE, kIdClickSearchLabel, S(16), S(12), S(100),
      S(16));
  sbSearchE = Add(tsEasy, "BUTTON", "&Search", WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, kIdSbSearchE,
                  S(16), S(32), S(100), S(36));
  button2 = Add(tsEasy, "BUTTON", "R&esults", button, kIdButton2, S(16), S(76), S(100), S(26));
  button3 = Add(tsEasy, "BUTTON", "&Repair", button, kIdButton3, S(16), S(108), S(100), S(26));
  checkBox1 = Add(tsEasy, "BUTTON", "Extra", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                  kIdCheckBox1, S(124), S(112), S(60), S(18));
  SendMessageA(checkBox1, BM_SETCHECK, BST_CHECKED, 0);
  bitBtn1 =
      Add(tsEasy, "BUTTON", "&Help", WS_VISIBLE | button, kIdBitBtn1, S(16), S(140), S(100), S(26));
  button4 = Add(tsEasy, "BUTTON", "Re&store", WS_VISIBLE | WS_DISABLED | button, kIdButton4, S(16),
                S(172), S(100), S(26));
  ebNow = Add(tsEasy, "EDIT", "", ES_AUTOHSCROLL | WS_BORDER, kIdEbNow, S(200), S(4), S(60), S(20));
  label1 = Add(tsEasy, "STATIC", "", WS_VISIBLE | SS_NOPREFIX, kIdLabel1, S(200), S(30), S(400),
               S(32), big);
  label2 = Add(tsEasy, "STATIC", "", WS_VISIBLE | SS_NOPREFIX, kIdLabel2, S(200), S(66), S(400),
               S(32), big);
  label3 = Add(tsEasy, "STATIC", "", WS_VISIBLE | SS_NOPREFIX, kIdLabel3, S(200), S(102), S(400),
               S(32), big);
  pb1 = Add(tsEasy, PROGRESS_CLASSA, "", 0, kIdPb1, S(200), S(176), S(400), S(18));
  SendMessageA(pb1, PBM_SETSTEP, 1, 0);
  memo2 = Add(tsEasy, "EDIT", kLogFirstLine, ES_MULTILINE | WS_BORDER | WS_VSCROLL, kIdMemo2,
              S(200), S(140), S(100), S(30));
  SendMessageA(memo2, EM_SETLIMITTEXT, 0, 0);
  // The folder being searched, with "..." in the middle of a path too long for it: its start (the
  // name searched for, the drive) and its end (the folder) are what tell the user where it is.
  edit1 = Add(tsEasy, "STATIC", "", SS_PATHELLIPSIS | SS_NOPREFIX | SS_CENTERIMAGE | WS_BORDER,
              kIdEdit1, S(200), S(140), S(400), S(22));
  // Under Label3, where Edit1 shows during a run: the note on changes the registry refused,
  // shown only after a run that met some (RepairControls).
  label4 = Add(tsEasy, "STATIC", "", SS_NOPREFIX, kIdLabel4, S(200), S(140), S(400), S(32));
  // Set after the change notification is wired, so the text is in place from the start.
  SetWindowTextA(ebNow, ":\\");

  // Page "Results".
  pnlSearch =
      AddPanel(pageResults, "", WS_VISIBLE, kIdPnlSearch, 0, 0, S(kClientWidth), S(kPanelHeight));
  lblSearch = Add(pnlSearch, "STATIC", "Searching...", WS_VISIBLE | SS_NOPREFIX, kIdLblSearch,
                  S(12), S(14), S(440), S(32), big);
  button1 = Add(pnlSearch, "BUTTON", "&Back", button, kIdButton1, S(kClientWidth) - S(96), S(15),
                S(84), S(26));
  // Below Back, in the panel's lower corner; lblSearch does not paint over it.
  lblTicked = Add(pnlSearch, "STATIC", "", WS_VISIBLE | SS_NOPREFIX | SS_RIGHT, kIdLblTicked,
                  S(kClientWidth) - S(290), S(42), S(278), S(15));
  SetWindowPos(lblTicked, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowLongPtrA(lblSearch, GWL_STYLE, GetWindowLongPtrA(lblSearch, GWL_STYLE) | WS_CLIPSIBLINGS);
  // Screen readers name a control after the label just before it in the z-order, hidden or not,
  // as in a dialog; the list has no visible one.
  Add(pageResults, "STATIC", "Results", SS_NOPREFIX, kIdLblResults, 0, 0, 0, 0);
  results.Create(pageResults, kIdLbResults,
                 RECT{0, S(kPanelHeight), S(kClientWidth), S(kPanelHeight) + S(300)}, Font(), dpi);
  for (HWND label : {label1, label2, label3, lblSearch, urlLabel1}) {
    SetWindowLongPtrA(label, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    labelDefault_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LabelProc)));
  }

  hints.CreateTooltip(form);
  hints.Set(sbSearchE, "Begin search| for invalid registry keys", true);
  hints.Set(button2, "Show registry keys with errors", true);
  hints.Set(button3, "Fix or clean invalid registry keys found", true);
  hints.Set(button4, "Restore keys deleted on previous clean.", true);
  hints.Set(checkBox1, "try to repair the keys finding correct path", true);
  hints.Set(results.Handle(), "Results|Results of the current search", false);
  hints.Set(urlLabel1, kUrl, false);
}

RepairControlSet MainFormControls::RepairSet(HWND form) const {
  return {form,  label1,    label2,  label3,  label4,    pb1,
          edit1, checkBox1, button3, button4, statusBar1};
}

void MainFormControls::SetTabsAsButtons(bool buttons) {
  LONG_PTR style = GetWindowLongPtrA(pcMain, GWL_STYLE);
  style = buttons ? (style | TCS_BUTTONS) : (style & ~static_cast<LONG_PTR>(TCS_BUTTONS));
  SetWindowLongPtrA(pcMain, GWL_STYLE, style);
}

void MainFormControls::SelectTab(int index) {
  SendMessageA(pcMain, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  ShowWindow(tsEasy, SW_SHOW);
}

int MainFormControls::SelectedTab() const {
  return static_cast<int>(SendMessageA(pcMain, TCM_GETCURSEL, 0, 0));
}

// The window's own layout: the status bar docked at the bottom, the notebook's pages filling the
// rest, and on them the banner and the results panel across the top, the tab control and the
// list filling what is left below, the link and Back kept at the right edge. Every other control
// but lblSearch and Label1..Label4 keeps the bounds it was made with.
void MainFormControls::Layout(HWND form, HWND resultsList) {
  RECT client{};
  GetClientRect(form, &client);
  SendMessageA(statusBar1, WM_SIZE, 0, 0);
  RECT status{};
  GetWindowRect(statusBar1, &status);
  const int width = client.right;
  const int height = std::max(0L, client.bottom - (status.bottom - status.top));
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  SetWindowPos(pageMain, nullptr, 0, 0, width, height, flags);
  SetWindowPos(pageResults, nullptr, 0, 0, width, height, flags);

  // The banner keeps its design width and grows with a wider window, so no gap shows.
  const int banner = Scale(kBannerHeight);
  SetWindowPos(image2, nullptr, 0, 0, std::max(Scale(689), width), banner, flags);
  SetWindowPos(urlLabel1, nullptr, width - Scale(208), Scale(kBannerHeight + 4), Scale(200),
               Scale(16), flags);
  const int tabTop = Scale(kBannerHeight + 22);
  const int tabWidth = std::max(0, width - Scale(8));
  const int tabHeight = std::max(0, height - tabTop - Scale(4));
  SetWindowPos(pcMain, nullptr, Scale(4), tabTop, tabWidth, tabHeight, flags);
  RECT display{0, 0, tabWidth, tabHeight};
  SendMessageA(pcMain, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  SetWindowPos(tsEasy, HWND_TOP, Scale(4) + display.left, tabTop + display.top,
               std::max(0L, display.right - display.left),
               std::max(0L, display.bottom - display.top), SWP_NOACTIVATE);

  // Label1..Label4 take the page's width from their design left edge: at their font the texts
  // they show ("Errors: %d, Keys searched: %d" with a large count, the counts of a Repair) are
  // wider than their design width and would be cut.
  const int labelWidth = std::max(0, static_cast<int>(display.right - display.left) - Scale(208));
  for (HWND label : {label1, label2, label3, label4}) {
    SetWindowPos(label, nullptr, 0, 0, labelWidth, Scale(32), flags | SWP_NOMOVE);
  }
  // pb1 and Edit1 keep their design width while it fits and end where the labels do when not.
  for (const auto& [bar, h] : {std::pair{pb1, 18}, std::pair{edit1, 22}}) {
    SetWindowPos(bar, nullptr, 0, 0, std::min(Scale(400), labelWidth), Scale(h),
                 flags | SWP_NOMOVE);
  }

  const int panel = Scale(kPanelHeight);
  SetWindowPos(pnlSearch, nullptr, 0, 0, width, panel, flags);
  // The one exception: the end text ("Found 100000 items before being stopped") is wider than
  // the label's design width at this font, so the label takes the panel's width up to Back.
  SetWindowPos(lblSearch, nullptr, 0, 0, std::max(0, width - Scale(120)), Scale(32),
               flags | SWP_NOMOVE);
  SetWindowPos(lblTicked, nullptr, width - Scale(290), Scale(42), Scale(278), Scale(15), flags);
  SetWindowPos(button1, nullptr, width - Scale(96), Scale(15), Scale(84), Scale(26), flags);
  SetWindowPos(resultsList, nullptr, 0, panel, width, std::max(0, height - panel), flags);
}

int MainFormControls::LeastClientHeight() const {
  // The tab control's frame around its page, from a rectangle of any size.
  RECT page{0, 0, 100, 100};
  SendMessageA(pcMain, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
  RECT status{};
  GetWindowRect(statusBar1, &status);
  // Restore ends 198 design pixels down the page; 6 more keep it off the tab's frame.
  return Scale(kBannerHeight + 22) + page.top + Scale(204) + (100 - page.bottom) + Scale(4) +
         (status.bottom - status.top);
}

void MainFormControls::SetDpi(HWND form, int dpi, ResultsList& results) {
  if (dpi == dpi_ || dpi <= 0) return;
  // The old fonts live until every control has let go of them.
  const UniqueGdiObject oldFont(font_.release()), oldLink(linkFont_.release());
  const UniqueGdiObject oldBig(bigFont_.release());
  const std::map<int, UniqueGdiObject> oldLabelFonts = std::move(labelFonts_);
  labelFonts_.clear();
  dpi_ = dpi;
  MakeFonts();
  SendMessageA(form, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  for (const auto& [control, d] : design_) {
    const auto font = reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0));
    const HGDIOBJ now = font == oldFont.get()   ? font_.get()
                        : font == oldLink.get() ? linkFont_.get()
                                                : bigFont_.get();
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(now), FALSE);
    SetWindowPos(control, nullptr, Scale(d.left), Scale(d.top), Scale(d.right), Scale(d.bottom),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  for (HWND label : {label1, label2, label3, lblSearch}) {
    FitLabelFont(label, WindowText(label), false);
  }
  results.SetFont(Font(), dpi);
  hints.Moved();
}

}  // namespace calvorin::win32
