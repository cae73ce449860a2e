// ResultsList: the results page's owner-drawn list, one item per results entry of the scan.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/win/dpi.h"
#include "base/win/unique_handle.h"
#include "scan/hit_store.h"
#include "scan/result_marks.h"
#include "scan/result_text.h"
#include "scan/win/gdi_canvas.h"
#include "scan/wrapped_text.h"

namespace calvorin::win32 {

// Each item shows an entry's key, value and data, wrapped to the list's width with the match
// bold and underlined, under a number column. The list keeps the widths of every entry's texts
// (measured once with its fonts) so that a resize re-measures without asking GDI again.
class ResultsList : private DpiScaled {
 public:
  // `entries` gives the scan's results list as it stands (it grows while a scan runs).
  explicit ResultsList(std::function<ResultList()> entries) : entries_(std::move(entries)) {}
  ResultsList(const ResultsList&) = delete;
  ResultsList& operator=(const ResultsList&) = delete;

  // Makes the list box on `parent`, in `font` (the window's) and its bold underlined match font.
  void Create(HWND parent, int id, const RECT& bounds, HFONT font, int dpi);
  HWND Handle() const { return list_; }
  // The window moved to a monitor of another scale: `font` at `dpi`, every entry measured again.
  void SetFont(HFONT font, int dpi);

  // Entry `index` was recorded: its text widths are measured and kept.
  void Recorded(int index);
  // Adds an item for every entry not shown yet, measured, and selects the newest.
  void ShowNew();
  // Removes every item and the kept widths.
  void Clear();
  // Sets every item's height for the list's current width (after a resize).
  void Remeasure();
  // Scrolls the selected item wholly into view, when it is not.
  void ShowSelection();
  // WM_MEASUREITEM and WM_DRAWITEM of the list. An item is drawn in the height it was measured
  // (the list box's limit of 255 pixels included), and one cut there ends with "...".
  int MeasureItem(int index);
  void DrawItem(const DRAWITEMSTRUCT& item);
  // Item `index`'s text as it is shown (number, key, value and data rows); empty for no item.
  std::string ItemText(int index) const;
  // Puts the selected item's text on the clipboard, in the ANSI and the Unicode form.
  void CopySelected();

  // The ticks and marks of the items, and what the last run did to them (results_list_marks.cpp).
  ResultMarks& Marks() { return marks_; }
  // The user changed item `index`'s tick (-1: every item's), or its always-leave mark.
  std::function<void(int index, bool alwaysLeave)> onMarksChanged;
  // Each item says what a Repair run did to it, until the next scan.
  void ShowOutcomes(std::vector<EntryResult> outcomes);

 private:
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  // The right edge of item `index`'s rectangle (the same for every item).
  int ItemRight(int index);
  // The item's height in a list whose items end at `itemRight`.
  int Measure(int index, int itemRight);
  // Sets every item's height at the list's current right edge.
  void SetHeights();
  // The columns for the list's fonts and its largest number; true when they moved.
  bool UpdateColumns();
  // A right-button press with no modifier selects the item under the pointer, or none.
  void SelectAt(int x, int y);
  // The item under a point of the list's client area and its rectangle, or -1.
  int ItemAt(POINT pt, RECT* rect = nullptr) const;
  // WM_CONTEXTMENU at `lp` (or under the selection from the keyboard): the item's menu, and the
  // command chosen on it done.
  void ShowItemMenu(LPARAM lp);
  // The item's check box, at the left of its number column.
  RECT CheckBoxRect(const RECT& item) const;
  void DrawCheckBox(HDC dc, const RECT& item, int index) const;
  // Space on the selected item, a click on an item's check box: its tick turned over.
  void Toggle(int index);
  // A left click at `lp` on an item's check box toggles it (after the list has selected it).
  void ClickAt(LPARAM lp);
  // The height of the row under the item that says what was done to it or how it is marked.
  int ExtraRowHeight(int index, int textLeft, int textRight);
  // Item `index` shows another mark: measured again and repainted.
  void ItemChanged(int index);

  std::function<ResultList()> entries_;
  HWND list_ = nullptr;
  WNDPROC defaultProc_ = nullptr;
  HFONT font_ = nullptr;
  UniqueGdiObject matchFont_;
  bool adding_ = false;  // ShowNew is adding items
  ResultItemColumns columns_{};
  int lineHeight_ = 1;    // of a row's lines
  int measuredRight_ = 0;  // the right edge every item's height was set for
  // Three texts per results entry (key, value, data), for entries 0 .. Size() / 3 - 1.
  WrapWidths widths_;
  // GDI's widths of the texts the list has measured, with its two fonts.
  TextExtentCache extents_;
  ResultMarks marks_;
  int numberWidth_ = 0;  // the list's largest number's width (UpdateColumns)
};

}  // namespace calvorin::win32
