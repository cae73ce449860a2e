// The results list's ticks and marks: the check box of each item, Space and a click on the box,
// the item's menu (Copy, tick and untick all, always leave unchanged), and the row under an item
// that says how it is marked or what a Repair run did to it; an item's text as screen readers and
// Copy get it, and the copy to the clipboard.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "app/win/results_list.h"
#include "base/scope_exit.h"
#include "base/win/code_page.h"
#include "base/win/font.h"
#include "scan/result_text.h"

namespace calvorin::win32 {
namespace {

enum MenuCommand : UINT_PTR { kCopy = 1, kTickAll, kUntickAll, kAlwaysLeave };

}  // namespace

RECT ResultsList::CheckBoxRect(const RECT& item) const {
  const int side = Scale(13);
  // At the number column's left, beside the number; below it when the list's largest number
  // leaves no room there (the column stays as wide as its numbers, clear of the labels).
  const int left = item.left + Scale(4);
  int top = item.top + Scale(3);
  if (Scale(4) + side + Scale(3) + numberWidth_ > columns_.numberRight - Scale(1)) {
    top += columns_.rowLeast;
  }
  return {left, top, left + side, top + side};
}

void ResultsList::DrawCheckBox(HDC dc, const RECT& item, int index) const {
  RECT box = CheckBoxRect(item);
  if (box.bottom > item.bottom) return;
  const auto i = static_cast<std::size_t>(index);
  // The system's own check box, in the system's colours (High Contrast included); one always left
  // unchanged is shown unticked and inactive: its tick comes back only with its mark taken off.
  UINT state = DFCS_BUTTONCHECK | DFCS_FLAT;
  if (marks_.Ticked(i)) state |= DFCS_CHECKED;
  if (marks_.AlwaysLeft(i)) state |= DFCS_INACTIVE;
  DrawFrameControl(dc, &box, DFC_BUTTON, state);
}

void ResultsList::Toggle(int index) {
  if (index < 0) return;
  const auto i = static_cast<std::size_t>(index);
  if (!marks_.SetTicked(i, !marks_.Ticked(i))) return;
  ItemChanged(index);
  if (onMarksChanged) onMarksChanged(index, false);
}

void ResultsList::ClickAt(LPARAM lp) {
  const POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  RECT item{};
  const int index = ItemAt(pt, &item);
  if (index < 0) return;
  RECT box = CheckBoxRect(item);
  InflateRect(&box, Scale(2), Scale(2));  // a little room around the small box
  if (PtInRect(&box, pt)) Toggle(index);
}

int ResultsList::ExtraRowHeight(int index, int textLeft, int textRight) {
  const ResultMarks::Row row = marks_.ExtraRow(static_cast<std::size_t>(index));
  if (row.text.empty()) return 0;
  const WindowDc dc(list_);
  GdiCanvas canvas(dc.get(), font_, static_cast<HFONT>(matchFont_.get()), &extents_);
  return DrawWrappedText(false, canvas, {textLeft, 0, textRight, 0}, {}, columns_.rowLeast, 0, 0,
                         kResultBreakChars, row.text);
}

void ResultsList::ItemChanged(int index) {
  const int height = Measure(index, ItemRight(index));
  if (SendMessageA(list_, LB_GETITEMHEIGHT, static_cast<WPARAM>(index), 0) != height) {
    SendMessageA(list_, LB_SETITEMHEIGHT, static_cast<WPARAM>(index), height);
    InvalidateRect(list_, nullptr, TRUE);
    return;
  }
  RECT r{};
  if (SendMessageA(list_, LB_GETITEMRECT, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(&r)) != LB_ERR) {
    InvalidateRect(list_, &r, TRUE);
  }
}

void ResultsList::ShowOutcomes(std::vector<EntryResult> outcomes) {
  marks_.SetOutcomes(std::move(outcomes));
  Remeasure();
}

void ResultsList::ShowItemMenu(LPARAM lp) {
  const int selected = static_cast<int>(SendMessageA(list_, LB_GETCURSEL, 0, 0));
  if (selected < 0) return;
  POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  if (lp == -1) {  // from the keyboard (Shift+F10, the menu key): under the selected item
    RECT r{};
    SendMessageA(list_, LB_GETITEMRECT, static_cast<WPARAM>(selected),
                 reinterpret_cast<LPARAM>(&r));
    at = {r.left + columns_.textLeft, std::max(0L, r.top) + columns_.rowLeast};
    ClientToScreen(list_, &at);
  }
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  const bool left = marks_.AlwaysLeft(static_cast<std::size_t>(selected));
  AppendMenuA(menu, MF_STRING, kCopy, "&Copy\tCtrl+C");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kTickAll, "&Tick all");
  AppendMenuA(menu, MF_STRING, kUntickAll, "&Untick all");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING | (left ? MF_CHECKED : MF_UNCHECKED), kAlwaysLeave,
              "&Always leave unchanged");
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, list_, nullptr));
  DestroyMenu(menu);
  switch (chosen) {
    case kCopy:
      CopySelected();
      break;
    case kTickAll:
    case kUntickAll:
      marks_.SetAll(chosen == kTickAll);
      InvalidateRect(list_, nullptr, TRUE);
      if (onMarksChanged) onMarksChanged(-1, false);
      break;
    case kAlwaysLeave:
      marks_.SetAlwaysLeft(static_cast<std::size_t>(selected), !left);
      ItemChanged(selected);
      if (onMarksChanged) onMarksChanged(selected, true);
      break;
    default:
      break;
  }
}

std::string ResultsList::ItemText(int index) const {
  const ResultList entries = entries_();
  if (index < 0 || index >= static_cast<int>(entries.size())) return {};
  return ResultItemText(entries.Record(static_cast<std::size_t>(index)), index,
                        marks_.StateText(static_cast<std::size_t>(index)));
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
  const std::wstring wide = AnsiToWide(text);
  if (!wide.empty()) put(CF_UNICODETEXT, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
}

}  // namespace calvorin::win32
