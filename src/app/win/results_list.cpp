#include "app/win/results_list.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/scope_exit.h"
#include "base/text.h"
#include "base/win/font.h"
#include "scan/result_text.h"

namespace calvorin::win32 {
namespace {

// How far from the list's top item Remeasure sets item heights before it moves the top.
constexpr int kFarItems = 2000;
// Wine converts LB_GETTEXT between its ANSI and Unicode forms in a buffer of 512 characters on
// the stack, whatever length LB_GETTEXTLEN gave: an item's text is read at most this long.
constexpr std::size_t kMaxReadText = 511;
constexpr UINT_PTR kCopyCommand = 1;

// Keeps the runs a layout draws instead of drawing them, so that an item can be cut at its
// bottom, and end with an ellipsis, before anything is drawn.
class RunRecorder : public TextCanvas {
 public:
  struct Run {
    int x, y;
    std::string text;
    bool match;
  };
  explicit RunRecorder(TextCanvas& canvas) : canvas_(canvas) {}
  void SetFontStyle(const FontStyle& style) override {
    match_ = style.bold || style.underline;
    canvas_.SetFontStyle(style);
  }
  int TextWidth(std::string_view text) override { return canvas_.TextWidth(text); }
  int TextHeight(std::string_view text) override { return canvas_.TextHeight(text); }
  void DrawRun(int x, int y, std::string_view text) override {
    runs.push_back({x, y, std::string(text), match_});
  }
  std::vector<Run> runs;

 private:
  TextCanvas& canvas_;
  bool match_ = false;
};

// Keeps the runs down to the line at `last` and ends that line with "...", cutting its runs (a
// character at a time, never inside a double-byte character) until the ellipsis fits before
// `right`.
void EndWithEllipsis(std::vector<RunRecorder::Run>& runs, TextCanvas& canvas, int last,
                     int right) {
  canvas.SetFontStyle({});
  const int limit = right - canvas.TextWidth("...");
  std::vector<RunRecorder::Run> kept;
  int end = -1;
  for (auto& run : runs) {
    if (run.y > last) break;
    if (run.y == last) {
      canvas.SetFontStyle({run.match, run.match});
      int width = canvas.TextWidth(run.text);
      const bool whole = run.x + width <= limit;
      while (!run.text.empty() && run.x + width > limit) {
        const char* text = run.text.c_str();
        run.text.resize(static_cast<std::size_t>(CharPrevA(text, text + run.text.size()) - text));
        width = canvas.TextWidth(run.text);
      }
      if (end < 0 || !run.text.empty()) end = run.x + width;
      if (!whole) {
        if (!run.text.empty()) kept.push_back(std::move(run));
        break;
      }
    }
    kept.push_back(std::move(run));
  }
  canvas.SetFontStyle({});
  kept.push_back({std::max(end, 0), last, "...", false});
  runs = std::move(kept);
}

// Lays out the entry's rows one below the other in the text column from `left` to `right`,
// from `top`, drawing them when `draw`: the top of each row, then the bottom of the last.
// Measuring and drawing both go through here, so an item is drawn in the height it was measured.
std::array<int, 4> LayOutRows(bool draw, TextCanvas& canvas, const ResultRows& shown, int left,
                              int top, int right, int least) {
  const FontStyle match{true, true};
  std::array<int, 4> tops{top};
  for (std::size_t i = 0; i < shown.rows.size(); ++i) {
    const ResultRow& row = shown.rows[i];
    tops[i + 1] = tops[i] + DrawWrappedText(draw, canvas, {left, tops[i], right, tops[i]}, match,
                                            least, row.length, row.position, kResultBreakChars,
                                            row.text);
  }
  return tops;
}

}  // namespace

void ResultsList::Create(HWND parent, int id, const RECT& bounds, HFONT font, int dpi) {
  dpi_ = dpi;
  font_ = font;
  matchFont_.reset(MakeFont(Scale(13), FW_BOLD, true));
  list_ = CreateWindowExA(
      0, "LISTBOX", "",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY |
          LBS_OWNERDRAWVARIABLE | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS,
      bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  if (!list_) throw std::runtime_error(Format("Cannot create control %d", id));
  // LBS_HASSTRINGS, though every item is stored empty: the system passes LB_GETTEXT's text
  // between processes (to screen readers and automation tools) only for a list with strings,
  // and the list's procedure below answers LB_GETTEXT and LB_GETTEXTLEN with the item's text.
  SendMessageA(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  // Subclassed through its window procedure, not SetWindowSubclass: Wine's subclass procedure
  // looks its data up with GetProp, a round trip to the wine server on every message, and the
  // list gets several messages per result.
  SetWindowLongPtrW(list_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  defaultProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListProc)));
}

void ResultsList::SetFont(HFONT font, int dpi) {
  dpi_ = dpi;
  font_ = font;
  matchFont_.reset(MakeFont(Scale(13), FW_BOLD, true));
  SendMessageA(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  extents_.Clear();
  widths_.Clear();
  const int count = static_cast<int>(entries_().size());
  for (int i = 0; i < count; ++i) Recorded(i);
}

LRESULT CALLBACK ResultsList::ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<ResultsList*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  // Only the right button with no modifier: MK_ flags carry Shift and Ctrl, but not Alt.
  if (msg == WM_RBUTTONDOWN && wp == MK_RBUTTON && GetKeyState(VK_MENU) >= 0) {
    self->SelectAt(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
    return 0;
  }
  // A Unicode procedure: the system converts for ANSI callers.
  if (msg == LB_GETTEXTLEN || msg == LB_GETTEXT) {
    const std::string text = self->ItemText(static_cast<int>(wp));
    if (text.empty()) return LB_ERR;
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(std::max(
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            static_cast<int>(wide.size())),
        0)));
    if (wide.size() > kMaxReadText) wide.resize(kMaxReadText);
    if (msg == LB_GETTEXT && lp) {
      std::copy(wide.begin(), wide.end(), reinterpret_cast<wchar_t*>(lp));
      reinterpret_cast<wchar_t*>(lp)[wide.size()] = L'\0';
    }
    return static_cast<LRESULT>(wide.size());
  }
  const bool ctrlC = msg == WM_KEYDOWN && wp == 'C' && GetKeyState(VK_CONTROL) < 0;
  if (ctrlC || (msg == WM_CONTEXTMENU && self->ShowCopyMenu(lp))) {
    self->CopySelected();
    return 0;
  }
  if (msg == WM_CONTEXTMENU) return 0;
  return CallWindowProcW(self->defaultProc_, hwnd, msg, wp, lp);
}

void ResultsList::Recorded(int index) {
  const ResultList entries = entries_();
  if (index < 0 || index >= static_cast<int>(entries.size())) return;
  // Entries from `index` on are new (the list may have been emptied and filled again).
  widths_.Truncate(static_cast<std::size_t>(index) * 3);
  if (widths_.Size() != static_cast<std::size_t>(index) * 3) return;
  const HitStore::Record& e = entries.Record(static_cast<std::size_t>(index));
  GdiCanvas canvas(list_, font_, static_cast<HFONT>(matchFont_.get()), &extents_);
  const ResultRows shown(e);
  for (const ResultRow& row : shown.rows) {
    widths_.Add(canvas, {true, true}, row.length, row.position, kResultBreakChars, row.text);
  }
}

void ResultsList::ShowNew() {
  const int shown = static_cast<int>(SendMessageA(list_, LB_GETCOUNT, 0, 0));
  const int total = static_cast<int>(entries_().size());
  if (shown < 0 || shown >= total) return;
  // Each new item is measured once, once it is in the list, at the right edge every item
  // shares: the list's own WM_MEASUREITEM comes before the item is there and is not measured.
  adding_ = true;
  const ScopeExit added([this] { adding_ = false; });
  int right = 0;
  for (int index = shown; index < total; ++index) {
    SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(""));
    if (index == shown) right = ItemRight(index);
    SendMessageA(list_, LB_SETITEMHEIGHT, static_cast<WPARAM>(index), Measure(index, right));
  }
  SendMessageA(list_, LB_SETCURSEL, static_cast<WPARAM>(total - 1), 0);
}

void ResultsList::Clear() {
  widths_.Clear();
  if (list_) SendMessageA(list_, LB_RESETCONTENT, 0, 0);
}

void ResultsList::Remeasure() {
  const int count = static_cast<int>(SendMessageA(list_, LB_GETCOUNT, 0, 0));
  // Every item of the one column ends at the same right edge. Asking once matters: Wine finds an
  // owner-drawn variable item's rectangle by adding up the heights from the top item to it.
  const int right = count > 0 ? ItemRight(0) : 0;
  // One repaint at the end instead of one per item, also when a measure fails.
  SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
  const ScopeExit redraw([&] {
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    if (count > 0) InvalidateRect(list_, nullptr, TRUE);
  });
  const int top = count > 0 ? static_cast<int>(SendMessageA(list_, LB_GETTOPINDEX, 0, 0)) : 0;
  int topNow = top;  // the list's top item while the heights are set
  for (int i = count - 1; i >= 0; --i) {
    const int height = Measure(i, right);
    // Wine's LB_SETITEMHEIGHT invalidates the item even with redrawing off, and finds its
    // rectangle by adding up the heights from the top item to it: over every item of a long
    // list that is the square of the count. An item whose height stays needs no call (the whole
    // list is invalidated below; the list box stores 0 as 1), and while heights change far
    // from the top item, the top item follows them, and goes back at the end.
    const LRESULT old = SendMessageA(list_, LB_GETITEMHEIGHT, static_cast<WPARAM>(i), 0);
    if (old == std::max(height, 1)) continue;
    if (std::abs(i - topNow) > kFarItems) {
      SendMessageA(list_, LB_SETTOPINDEX, static_cast<WPARAM>(std::max(0, i - kFarItems / 2)), 0);
      topNow = static_cast<int>(SendMessageA(list_, LB_GETTOPINDEX, 0, 0));
    }
    SendMessageA(list_, LB_SETITEMHEIGHT, static_cast<WPARAM>(i), height);
  }
  if (topNow != top) SendMessageA(list_, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
  if (count > 0) {
    // Setting a visible item's height with redrawing off makes Wine's list box re-check its top
    // item when redrawing comes back on (near the end of the list it moves up). Every re-measure
    // did that when it set every height; it still does, whichever heights changed.
    const int first = static_cast<int>(SendMessageA(list_, LB_GETTOPINDEX, 0, 0));
    SendMessageA(list_, LB_SETITEMHEIGHT, static_cast<WPARAM>(first),
                 SendMessageA(list_, LB_GETITEMHEIGHT, static_cast<WPARAM>(first), 0));
  }
}

int ResultsList::MeasureItem(int index) {
  if (adding_) return 1;  // ShowNew sets the height
  if (index < 0 || index >= static_cast<int>(entries_().size())) return 0;
  return Measure(index, ItemRight(index));
}

int ResultsList::ItemRight(int index) {
  RECT r{};
  if (SendMessageA(list_, LB_GETITEMRECT, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(&r)) == LB_ERR &&
      SendMessageA(list_, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r)) == LB_ERR) {
    RECT window{};
    GetWindowRect(GetAncestor(list_, GA_ROOT), &window);
    r = {0, 0, window.right - window.left - Scale(4), 0};
  }
  return r.right;
}

int ResultsList::Measure(int index, int itemRight) {
  const ResultList entries = entries_();
  if (index < 0 || index >= static_cast<int>(entries.size())) return 0;
  const TextRect column{Scale(98), 0, itemRight - Scale(2), 0};
  const int least = Scale(18);
  const std::size_t first = static_cast<std::size_t>(index) * 3;
  int height = 0;
  if (first + 3 <= widths_.Size()) {
    const auto key = widths_.Height(first, column, least);
    const auto name = widths_.Height(first + 1, column, least);
    const auto data = widths_.Height(first + 2, column, least);
    if (key && name && data) height = *key + *name + *data + Scale(4);
  }
  if (height == 0) {
    // Not measured before, or a token must be split to fit the column: the canvas decides.
    const HitStore::Record& e = entries.Record(static_cast<std::size_t>(index));
    const WindowDc dc(list_);
    GdiCanvas canvas(dc.get(), font_, static_cast<HFONT>(matchFont_.get()), &extents_);
    const ResultRows shown(e);
    height = LayOutRows(false, canvas, shown, column.left, 0, column.right, least).back() +
             Scale(4);
  }
  // The cap is the list box's own: LB_SETITEMHEIGHT refuses more than 255 pixels, at any DPI.
  return std::min(height, 255);
}

void ResultsList::DrawItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  const RECT& r = item.rcItem;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  const COLORREF back = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
  const COLORREF textColour = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
  UniqueGdiObject brush(CreateSolidBrush(back));
  FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
  const ResultList entries = entries_();
  const int index = static_cast<int>(item.itemID);
  if (index < 0 || index >= static_cast<int>(entries.size())) return;
  const HitStore::Record& e = entries.Record(static_cast<std::size_t>(index));
  // Wine clips an owner-drawn item only to the list's client area: an item cut at the list box's
  // height limit would paint over the next one.
  const ScopeExit restoreDc([dc, saved = SaveDC(dc)] { RestoreDC(dc, saved); });
  IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
  SetTextColor(dc, textColour);
  SetBkMode(dc, TRANSPARENT);

  GdiCanvas canvas(dc, font_, static_cast<HFONT>(matchFont_.get()));
  RunRecorder rows(canvas);
  const ResultRows shown(e);
  const int right = r.right - Scale(2);
  const auto tops = LayOutRows(true, rows, shown, r.left + Scale(98), r.top, right, Scale(18));
  canvas.SetFontStyle({});
  const int lineHeight = canvas.TextHeight("X");
  auto fits = [&](int y) { return y + lineHeight <= r.bottom; };
  if (!rows.runs.empty() && !fits(rows.runs.back().y)) {
    int last = r.top;  // the last line that fits
    for (const auto& run : rows.runs) {
      if (fits(run.y)) last = std::max(last, run.y);
    }
    EndWithEllipsis(rows.runs, canvas, last, right - 1);
  }
  for (const auto& run : rows.runs) {
    canvas.SetFontStyle({run.match, run.match});
    canvas.DrawRun(run.x, run.y, run.text);
  }
  canvas.SetFontStyle({});
  auto label = [&](int top, std::string_view text) {
    if (!fits(top)) return;
    RECT box{r.left + Scale(50), top, r.left + Scale(90), top + Scale(24)};
    DrawTextA(dc, text.data(), static_cast<int>(text.size()), &box, DT_RIGHT | DT_SINGLELINE | DT_TOP | DT_NOPREFIX);
  };
  for (std::size_t i = 0; i < shown.rows.size(); ++i) label(tops[i], shown.rows[i].label);

  const std::string number = Format("%d. ", index + 1);
  const int inset = Scale(1);
  RECT n{r.left + inset, r.top + inset, r.right - inset, r.bottom - inset};
  // The column is 48 pixels wide, which "100000. " outgrows by a few pixels (right-aligned, it
  // lost its first digit): the column widens to the list's largest number, into the space left
  // of the labels, which are right-aligned and short. Every item has the same column.
  const std::string largest = Format("%d. ", static_cast<int>(entries.size()));
  SIZE extent{};
  GetTextExtentPoint32A(dc, largest.c_str(), static_cast<int>(largest.size()), &extent);
  n.right = n.left + std::max(Scale(48), static_cast<int>(extent.cx));
  UniqueGdiObject pen(CreatePen(PS_SOLID, inset, textColour));
  {
    const SelectedObject selectedPen(dc, pen.get());
    MoveToEx(dc, n.right, n.top, nullptr);
    LineTo(dc, n.right, n.bottom);
    LineTo(dc, n.left, n.bottom);
  }
  DrawTextA(dc, number.c_str(), -1, &n, DT_RIGHT | DT_SINGLELINE | DT_TOP | DT_NOPREFIX);
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) DrawFocusRect(dc, &r);
}

void ResultsList::SelectAt(int x, int y) {
  const int count = static_cast<int>(SendMessageA(list_, LB_GETCOUNT, 0, 0));
  const POINT pt{x, y};
  for (int i = static_cast<int>(SendMessageA(list_, LB_GETTOPINDEX, 0, 0)); i < count; ++i) {
    RECT r{};
    if (SendMessageA(list_, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r)) ==
        LB_ERR) {
      break;
    }
    if (PtInRect(&r, pt)) {
      SendMessageA(list_, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
      return;
    }
  }
  SendMessageA(list_, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

std::string ResultsList::ItemText(int index) const {
  const ResultList entries = entries_();
  if (index < 0 || index >= static_cast<int>(entries.size())) return {};
  return ResultItemText(entries.Record(static_cast<std::size_t>(index)), index);
}

void ResultsList::CopySelected() {
  const std::string text = ItemText(static_cast<int>(SendMessageA(list_, LB_GETCURSEL, 0, 0)));
  if (text.empty() || !OpenClipboard(list_)) return;
  const ScopeExit close([] { CloseClipboard(); });
  EmptyClipboard();
  auto put = [](UINT format, const void* data, std::size_t bytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory) return;
    std::memcpy(GlobalLock(memory), data, bytes);
    GlobalUnlock(memory);
    if (!SetClipboardData(format, memory)) GlobalFree(memory);
  };
  put(CF_TEXT, text.c_str(), text.size() + 1);
  // The Unicode form from the ANSI code page, as the list draws the text.
  std::wstring wide(text.size() + 1, L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(),
                                    static_cast<int>(wide.size()));
  if (n > 0) put(CF_UNICODETEXT, wide.c_str(), static_cast<std::size_t>(n) * sizeof(wchar_t));
}

bool ResultsList::ShowCopyMenu(LPARAM lp) {
  const int selected = static_cast<int>(SendMessageA(list_, LB_GETCURSEL, 0, 0));
  if (selected < 0) return false;
  POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  if (lp == -1) {  // from the keyboard (Shift+F10, the menu key): under the selected item
    RECT r{};
    SendMessageA(list_, LB_GETITEMRECT, static_cast<WPARAM>(selected),
                 reinterpret_cast<LPARAM>(&r));
    at = {r.left + Scale(98), std::max(0L, r.top) + Scale(18)};
    ClientToScreen(list_, &at);
  }
  HMENU menu = CreatePopupMenu();
  if (!menu) return false;
  AppendMenuA(menu, MF_STRING, kCopyCommand, "&Copy\tCtrl+C");
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, list_, nullptr));
  DestroyMenu(menu);
  return chosen == kCopyCommand;
}

}  // namespace calvorin::win32
