#include "app/win/results_list.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/scope_exit.h"
#include "base/text.h"
#include "base/win/code_page.h"
#include "base/win/font.h"
#include "scan/result_text.h"

namespace calvorin::win32 {
namespace {

// LB_SETITEMHEIGHT refuses more than 255 pixels, at any DPI.
constexpr int kMaxItemHeight = 255;
// How far from the list's top item Remeasure sets item heights before it moves the top.
constexpr int kFarItems = 2000;
// Wine converts LB_GETTEXT between its ANSI and Unicode forms in a buffer of 512 characters on
// the stack, whatever length LB_GETTEXTLEN gave: an item's text is read at most this long.
constexpr std::size_t kMaxReadText = 511;

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

// Lays out each of the entry's rows in the text column from `left` to `right`, from y 0 of its
// own, drawing it into the row's canvas when `draw`: each row's height. Measuring and drawing
// both go through here, so an item is drawn in the height it was measured.
template <typename Canvas>
std::array<int, 3> LayOutRows(bool draw, Canvas&& canvasOf, const ResultRows& shown, int left,
                              int right, int least) {
  std::array<int, 3> heights{};
  for (std::size_t i = 0; i < shown.rows.size(); ++i) {
    const ResultRow& row = shown.rows[i];
    heights[i] = DrawWrappedText(draw, canvasOf(i), {left, 0, right, 0}, {true, true}, least,
                                 row.length, row.position, kResultBreakChars, row.text);
  }
  return heights;
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
  UpdateColumns();
}

void ResultsList::SetFont(HFONT font, int dpi) {
  dpi_ = dpi;
  font_ = font;
  matchFont_.reset(MakeFont(Scale(13), FW_BOLD, true));
  SendMessageA(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  extents_.Clear();
  widths_.Clear();
  UpdateColumns();
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
    std::wstring wide = AnsiToWide(text);
    if (wide.size() > kMaxReadText) wide.resize(kMaxReadText);
    if (msg == LB_GETTEXT && lp) {
      std::copy(wide.begin(), wide.end(), reinterpret_cast<wchar_t*>(lp));
      reinterpret_cast<wchar_t*>(lp)[wide.size()] = L'\0';
    }
    return static_cast<LRESULT>(wide.size());
  }
  const bool ctrlC = msg == WM_KEYDOWN && wp == 'C' && GetKeyState(VK_CONTROL) < 0;
  if (ctrlC) {
    self->CopySelected();
    return 0;
  }
  if (msg == WM_CONTEXTMENU) {
    self->ShowItemMenu(lp);
    return 0;
  }
  const bool plain = GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0;
  if (msg == WM_KEYDOWN && wp == VK_SPACE && plain) {
    self->Toggle(static_cast<int>(SendMessageA(hwnd, LB_GETCURSEL, 0, 0)));
    return 0;
  }
  // The list's own search by typed prefix would take the space to an item's text.
  if (msg == WM_CHAR && wp == ' ') return 0;
  if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) {
    const LRESULT result = CallWindowProcW(self->defaultProc_, hwnd, msg, wp, lp);
    self->ClickAt(lp);
    return result;
  }
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
  // A longer number can move the text column: every item is measured again at the new one.
  const bool moved = UpdateColumns();
  // Each new item is measured once, once it is in the list, at the right edge every item
  // shares: the list's own WM_MEASUREITEM comes before the item is there and is not measured.
  int right = 0;
  {
    adding_ = true;
    const ScopeExit added([this] { adding_ = false; });
    for (int index = shown; index < total; ++index) {
      SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(""));
      if (index == shown) right = ItemRight(index);
      SendMessageA(list_, LB_SETITEMHEIGHT, static_cast<WPARAM>(index), Measure(index, right));
    }
  }
  SendMessageA(list_, LB_SETCURSEL, static_cast<WPARAM>(total - 1), 0);
  // The items that filled the list's height brought its scroll bar, which narrows every item:
  // those measured before it appeared (in this batch or an earlier one) would be drawn a scroll
  // bar narrower than measured, their last row behind "...".
  if (moved || (shown > 0 && right != measuredRight_) || ItemRight(0) != right) {
    Remeasure();
  } else {
    measuredRight_ = right;
  }
}

void ResultsList::Clear() {
  widths_.Clear();
  marks_.Clear();
  if (list_) {
    SendMessageA(list_, LB_RESETCONTENT, 0, 0);
    UpdateColumns();
  }
}

void ResultsList::Remeasure() {
  UpdateColumns();
  // New heights can bring the scroll bar or take it away, which changes the width the items are
  // drawn at: they are measured again at that width (the second time the bar stays as it is).
  for (int pass = 0; pass < 3; ++pass) {
    SetHeights();
    if (SendMessageA(list_, LB_GETCOUNT, 0, 0) <= 0 || ItemRight(0) == measuredRight_) break;
  }
}

void ResultsList::SetHeights() {
  const int count = static_cast<int>(SendMessageA(list_, LB_GETCOUNT, 0, 0));
  // Every item of the one column ends at the same right edge. Asking once matters: Wine finds an
  // owner-drawn variable item's rectangle by adding up the heights from the top item to it.
  const int right = count > 0 ? ItemRight(0) : 0;
  measuredRight_ = right;
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
  const ResultItemColumns& c = columns_;
  const TextRect column{c.textLeft, 0, itemRight - c.textGap, 0};
  const std::size_t first = static_cast<std::size_t>(index) * 3;
  std::array<int, 3> heights{};
  bool known = first + 3 <= widths_.Size();
  for (std::size_t i = 0; known && i < heights.size(); ++i) {
    const auto height = widths_.Height(first + i, column, c.rowLeast);
    known = height.has_value();
    if (known) heights[i] = *height;
  }
  const int extra = ExtraRowHeight(index, column.left, column.right);
  if (!known) {
    // Not measured before, or a token must be split to fit the column: the canvas decides.
    const HitStore::Record& e = entries.Record(static_cast<std::size_t>(index));
    const WindowDc dc(list_);
    GdiCanvas canvas(dc.get(), font_, static_cast<HFONT>(matchFont_.get()), &extents_);
    heights = LayOutRows(
        false, [&](std::size_t) -> TextCanvas& { return canvas; }, ResultRows(e), column.left,
        column.right, c.rowLeast);
  }
  // The row of marks and outcomes stays whole; the data row keeps its path.
  const auto kept = FitResultRows(heights, lineHeight_, c.rowLeast,
                                  kMaxItemHeight - c.bottomGap - extra);
  return kept[0] + kept[1] + kept[2] + extra + c.bottomGap;
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
  const ResultItemColumns& c = columns_;
  const ResultRows shown(e);
  const int right = r.right - c.textGap;
  std::vector<RunRecorder> rows(shown.rows.size(), RunRecorder(canvas));
  const auto heights = LayOutRows(
      true, [&](std::size_t i) -> TextCanvas& { return rows[i]; }, shown, r.left + c.textLeft,
      right, c.rowLeast);
  // An item taller than the list box allows keeps the data row's path: the value and key rows
  // give up their last lines first, each ending with "...".
  const ResultMarks::Row extra = marks_.ExtraRow(static_cast<std::size_t>(index));
  const int extraHeight = ExtraRowHeight(index, c.textLeft, right - r.left);
  const auto kept = FitResultRows(heights, lineHeight_, c.rowLeast,
                                  kMaxItemHeight - c.bottomGap - extraHeight);
  int top = r.top;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    auto& runs = rows[i].runs;
    if (kept[i] < heights[i] && !runs.empty()) {
      int last = 0;  // the last line that fits
      for (const auto& run : runs) {
        if (run.y + lineHeight_ <= kept[i]) last = std::max(last, run.y);
      }
      EndWithEllipsis(runs, canvas, last, right - 1);
    }
    for (const auto& run : runs) {
      canvas.SetFontStyle({run.match, run.match});
      canvas.DrawRun(run.x, top + run.y, run.text);
    }
    canvas.SetFontStyle({});
    const std::string_view label = shown.rows[i].label;
    RECT box{r.left + c.labelLeft, top, r.left + c.labelRight, top + c.labelHeight};
    DrawTextA(dc, label.data(), static_cast<int>(label.size()), &box,
              DT_RIGHT | DT_SINGLELINE | DT_TOP | DT_NOPREFIX);
    top += kept[i];
  }
  if (!extra.text.empty()) {
    DrawWrappedText(true, canvas, {r.left + c.textLeft, top, right, top}, {}, c.rowLeast, 0, 0,
                    kResultBreakChars, extra.text);
    RECT box{r.left + c.labelLeft, top, r.left + c.labelRight, top + c.labelHeight};
    DrawTextA(dc, extra.label, -1, &box,
              DT_RIGHT | DT_SINGLELINE | DT_TOP | DT_NOPREFIX);
  }

  const std::string number = ResultNumberText(index);
  const int inset = Scale(1);
  RECT n{r.left + inset, r.top + inset, r.left + c.numberRight, r.bottom - inset};
  UniqueGdiObject pen(CreatePen(PS_SOLID, inset, textColour));
  {
    const SelectedObject selectedPen(dc, pen.get());
    MoveToEx(dc, n.right, n.top, nullptr);
    LineTo(dc, n.right, n.bottom);
    LineTo(dc, n.left, n.bottom);
  }
  DrawTextA(dc, number.c_str(), -1, &n, DT_RIGHT | DT_SINGLELINE | DT_TOP | DT_NOPREFIX);
  DrawCheckBox(dc, r, index);
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) DrawFocusRect(dc, &r);
}

bool ResultsList::UpdateColumns() {
  GdiCanvas canvas(list_, font_, static_cast<HFONT>(matchFont_.get()), &extents_);
  canvas.SetFontStyle({});
  int labels = 0;
  for (const std::string_view label : kResultRowLabels) {
    labels = std::max(labels, canvas.TextWidth(label));
  }
  // The list's largest number is its widest (the typeface's digits share one width).
  const int count = std::max(static_cast<int>(entries_().size()), 1);
  const ResultItemColumns now = ResultColumns([this](int v) { return Scale(v); },
                                              canvas.TextWidth(ResultNumberText(count - 1)), labels);
  lineHeight_ = canvas.TextHeight("X") + 2;  // DrawWrappedText's line
  numberWidth_ = canvas.TextWidth(ResultNumberText(count - 1));
  const bool moved = now != columns_;
  columns_ = now;
  return moved;
}

void ResultsList::ShowSelection() {
  const int selected = static_cast<int>(SendMessageA(list_, LB_GETCURSEL, 0, 0));
  RECT item{}, client{};
  if (selected < 0 || !GetClientRect(list_, &client) ||
      SendMessageA(list_, LB_GETITEMRECT, static_cast<WPARAM>(selected),
                   reinterpret_cast<LPARAM>(&item)) == LB_ERR) {
    return;
  }
  if (item.top >= 0 && item.bottom <= client.bottom) return;
  // Re-sending LB_SETCURSEL does nothing for the item already selected (Wine), and scrolls only
  // until one pixel of it shows: the top item is chosen here. Above the view, or taller than
  // it, the item goes to the top; below, to the bottom.
  int top = selected;
  if (item.top >= 0) {
    int height = item.bottom - item.top;
    while (top > 0) {
      height += static_cast<int>(SendMessageA(list_, LB_GETITEMHEIGHT, top - 1, 0));
      if (height > client.bottom) break;
      --top;
    }
  }
  SendMessageA(list_, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
}

int ResultsList::ItemAt(POINT pt, RECT* rect) const {
  const int count = static_cast<int>(SendMessageA(list_, LB_GETCOUNT, 0, 0));
  RECT client{};
  GetClientRect(list_, &client);
  for (int i = static_cast<int>(SendMessageA(list_, LB_GETTOPINDEX, 0, 0)); i < count; ++i) {
    RECT r{};
    if (SendMessageA(list_, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r)) ==
            LB_ERR ||
        r.top > client.bottom) {
      break;
    }
    if (PtInRect(&r, pt)) {
      if (rect) *rect = r;
      return i;
    }
  }
  return -1;
}

void ResultsList::SelectAt(int x, int y) {
  SendMessageA(list_, LB_SETCURSEL, static_cast<WPARAM>(ItemAt({x, y})), 0);
}

}  // namespace calvorin::win32
