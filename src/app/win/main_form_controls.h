// The main window's controls: made with the window, laid out on every size.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "app/win/hints.h"
#include "app/win/repair_controls.h"
#include "app/win/scan_controls.h"
#include "base/win/dpi.h"
#include "base/win/unique_handle.h"

namespace calvorin::win32 {

class ResultsList;

inline constexpr const char* kUrl = "https://calvorin.example.org/";
// The 96-DPI design's client size and least outer size.
inline constexpr int kClientWidth = 628;
inline constexpr int kClientHeight = 448;
inline constexpr int kMinOuterWidth = 500;
inline constexpr int kMinOuterHeight = 390;

// Two pages switched in code (Notebook1): "Main", with the banner, the link and the one tab
// whose page holds the scan and Repair controls, and "Results", with the search panel over the
// results list. Every figure is of the 96-DPI design, scaled to the screen's DPI.
class MainFormControls : private DpiScaled {
 public:
  // The panel window class that pages and panels are made of; false when it cannot be had.
  static bool RegisterPanelClass(HINSTANCE instance);

  // Makes every control on `form`, the results list through `results`, and the hints,
  // at `dpi`.
  void Create(HWND form, int dpi, ResultsList& results);
  // Docks the status bar and the pages to the form's client area and lays out what follows it.
  void Layout(HWND form, HWND resultsList);
  // The window moved to a monitor of another scale: every control's fonts and design bounds at
  // `dpi`. Layout follows.
  void SetDpi(HWND form, int dpi, ResultsList& results);
  // The least client height that shows the tab's page down to its lowest control, Restore.
  int LeastClientHeight() const;
  // The controls a Repair run drives, and those a scan shows its progress in.
  RepairControlSet RepairSet(HWND form) const;
  ScanControlSet ScanSet(HWND form) const { return {form, label1, statusBar1}; }
  // pcMain: its tabs drawn as buttons or as tabs; the selected tab, whose page is shown.
  void SetTabsAsButtons(bool buttons);
  void SelectTab(int index);
  int SelectedTab() const;
  HFONT Font() const { return static_cast<HFONT>(font_.get()); }

  HWND statusBar1 = nullptr, pageMain = nullptr, pageResults = nullptr;
  HWND image2 = nullptr, urlLabel1 = nullptr, pcMain = nullptr, tsEasy = nullptr;
  HWND sbSearchE = nullptr, button2 = nullptr, button3 = nullptr, bitBtn1 = nullptr;
  HWND button4 = nullptr, checkBox1 = nullptr, ebNow = nullptr;
  HWND label1 = nullptr, label2 = nullptr, label3 = nullptr, pb1 = nullptr;
  HWND memo2 = nullptr, edit1 = nullptr, label4 = nullptr;
  HWND pnlSearch = nullptr, lblSearch = nullptr, button1 = nullptr, lblTicked = nullptr;
  // The controls' hints and tool tips, made with them.
  Hints hints;

 private:
  static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  // Label1..Label3 and lblSearch: a new text or a new width gets the font it fits (FitLabelFont).
  // The link: a focus rectangle while it has the focus.
  static LRESULT CALLBACK LabelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  // A status label shows its text at 27 pixels while it fits the label's one line. A longer one
  // (a large count, a narrow window) takes the largest size at which it fits, where the static
  // control would wrap it below the label's bottom and show only its first words.
  void FitLabelFont(HWND label, const std::string& text, bool redraw);
  // The largest character height, at most 27 design pixels, at which `text` fits the label.
  int FittingHeight(HWND label, const std::string& text);
  HGDIOBJ FontOfHeight(int height);
  HWND Add(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w,
           int h, HFONT font = nullptr);
  // Makes a plain container that hands what its controls report to the form.
  HWND AddPanel(HWND parent, const char* text, DWORD style, int id, int x, int y, int w, int h);

  void MakeFonts();

  // Every control Add made, with its bounds in the 96-DPI design (left, top, width, height).
  std::map<HWND, RECT> design_;
  UniqueGdiObject font_, bigFont_, linkFont_;
  // The status labels' smaller sizes, by character height, for texts too long at bigFont_.
  std::map<int, UniqueGdiObject> labelFonts_;
  WNDPROC labelDefault_ = nullptr;  // the static class's own procedure
};

// A window's text.
std::string WindowText(HWND window);

}  // namespace calvorin::win32
