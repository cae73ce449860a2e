// TMainForm: Calvorin's one window, its two pages, the scan as the user sees it and the
// results list.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/win/unique_handle.h"
#include "base/win/win_file_system.h"
#include "scan/invalid_reference_scan.h"
#include "scan/win/gdi_canvas.h"
#include "scan/wrapped_text.h"
#include "search/result.h"
#include "search/win/search_thread_host.h"

namespace calvorin::win32 {

// Paces the window's updates during long work: Due() is true at the first call and then once
// the last true is a frame old. Ten frames a second read as live progress; at 25 a scan of
// 100,000 keys spent a tenth of its time painting under Wine.
class FrameClock {
 public:
  static constexpr UINT kFrameMs = 100;
  bool Due() {
    const ULONGLONG now = GetTickCount64();
    if (started_ && now - last_ < kFrameMs) return false;
    last_ = now;
    started_ = true;
    return true;
  }
  void Restart() { started_ = false; }
  // A frame shown now by other means: the next one is due a frame from now.
  void Mark() {
    last_ = GetTickCount64();
    started_ = true;
  }

 private:
  bool started_ = false;
  ULONGLONG last_ = 0;
};

struct MainFormOptions {
  std::string exePath;   // full path of the running executable
  std::string iniPath;   // settings file, fixed at process start
  std::string firstArg;  // first command-line argument, empty when there is none
  UINT instanceMessage = 0;
  void* instanceRecord = nullptr;  // mapped 264-byte block; the pending name lives at offset 8
};

class TMainForm {
 public:
  explicit TMainForm(MainFormOptions options);
  ~TMainForm();
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // Creates the native window and its controls (FormCreate runs inside); false on failure.
  bool Create(HINSTANCE instance);
  HWND Handle() const { return hwnd_; }
  // Runs the message loop until the window has been destroyed.
  int Run();

  // Shows a failure the way every handler does: "Calvorin", error icon, OK.
  static void ShowFailure(HWND owner, const std::string& message);

  // PerPage and MaxRslt, kept for the settings file; the saved search reader sets them.
  std::int32_t PerPage = 0;
  std::int32_t MaxRslt = 2;

  // --- event handlers (public so the scan, repair and saved-search code can drive them) ---
  void FormCreate();
  void FormActivate();
  void FormClose();
  void FormDestroy();
  void FormKeyDown(WPARAM key);
  void FormResize();
  void BitBtn1Click();
  void AppEv1Hint(HWND control);
  void URLLabel1Click();
  void acSearchExecute();
  void StartTextSearch();
  void SearchMatch(const std::string& keyPath, const std::string& valueName,
                   const std::string& dataText, std::int32_t keyPos, std::int32_t namePos,
                   std::int32_t dataPos, std::int32_t keyLen, std::int32_t nameLen,
                   std::int32_t dataLen, Hkey root);
  void SearchProgress(std::int32_t keysSearched, std::int32_t matchCount);
  void SearchDone();
  void SetPageEnabled(bool enabled);
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  int lbResultsMeasureItem(int index);
  void lbResultsDrawItem(const DRAWITEMSTRUCT& item);
  void lbResultsMouseDown(int x, int y);
  void RemeasureResults();
  void ClearResults();
  void ApplyRestoreRule();
  // Adds results entry `index` to the list box, measured and selected.
  void ResultRecorded(int index);
  // Hands a saved search file name to its reader (first activation, instance message).
  void OpenSavedSearch(const std::string& fileName);
  void ShowNotebookPage(int page);
  // Selects a page of pcMain; an index without a page keeps the one tab selected.
  void SelectTabPage(int index);

  // The screen's DPI when the window was made, and a figure of the 96-DPI design in its pixels.
  int Dpi() const { return dpi_; }
  int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }

  int HitCount() const { return scan_.HitCount(); }
  ResultList Results() const { return scan_.Results(); }
  // The hit table, the results list and the invalid-path log of the scans.
  InvalidReferenceScan& Scan() { return scan_; }

 private:
  static LRESULT CALLBACK WndProcThunk(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK ResultsListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static WNDPROC resultsListDefault;
  static LRESULT CALLBACK LabelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static WNDPROC labelDefault;
  void FitLabelFont(HWND label, const std::string& text, bool redraw);
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
  void OnCommand(int id, int code);
  void OnDrawItem(const DRAWITEMSTRUCT& item);
  void DrawSearchButton(const DRAWITEMSTRUCT& item);
  void DrawBanner(const DRAWITEMSTRUCT& item);
  void PaintBanner(HDC dc, const RECT& r);
  LRESULT OnCtlColorStatic(HDC dc, HWND control);
  void OnInstanceMessage();
  void CreateControls();
  HWND AddControl(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y,
                  int w, int h, HFONT font = nullptr);
  void SetHint(HWND control, const std::string& hint, bool tooltip);
  void SetStatusText(const std::string& text);
  void LayoutControls();
  void RestoreWindowPlacement();
  void ReadSettings();
  void SaveSettingsToFile();
  std::string ExeFolder() const;
  std::string BackupPath() const;
  template <typename F>
  void Guard(F&& handler);
  // Handles pending messages; `only` (PM_QS_* flags) limits which kinds, 0 takes all.
  void ProcessMessages(UINT only = 0);
  // What the window sees of a message of its own before the message's target does, in every
  // message loop: hints, F1 and the dialog keys. True when the message has been handled.
  bool PreTranslate(MSG& msg);
  // lbResultsMeasureItem's parts: the right edge of item `index`'s rectangle (the same for every
  // item), and the item's height in a list whose items end there.
  int ResultsItemRight(int index);
  int MeasureResult(int index, int itemRight);
  // The widths of results entry `index`'s three texts, measured once with the list's fonts.
  void KeepResultWidths(int index);
  void ShowScanState();
  // A scan report arrived: shows the scan state when a frame is due.
  void ShowScanStateIfDue();
  class RepairControls;

  MainFormOptions options_;
  int dpi_ = 96;
  HWND hwnd_ = nullptr;
  HWND statusBar1_ = nullptr, pageMain_ = nullptr, pageResults_ = nullptr;
  HWND image2_ = nullptr, urlLabel1_ = nullptr, pcMain_ = nullptr, tsEasy_ = nullptr;
  HWND sbSearchE_ = nullptr, button2_ = nullptr, button3_ = nullptr, bitBtn1_ = nullptr;
  HWND button4_ = nullptr, checkBox1_ = nullptr, ebNow_ = nullptr;
  HWND label1_ = nullptr, label2_ = nullptr, label3_ = nullptr, pb1_ = nullptr;
  HWND memo2_ = nullptr, edit1_ = nullptr;
  HWND pnlSearch_ = nullptr, lblSearch_ = nullptr, button1_ = nullptr, lbResults_ = nullptr;
  HWND tooltip_ = nullptr;
  UniqueGdiObject font_, bigFont_, matchFont_, linkFont_;
  // The status labels' smaller sizes, by character height, for texts too long at bigFont_.
  std::map<int, UniqueGdiObject> labelFonts_;
  HICON icon_ = nullptr, smallIcon_ = nullptr;
  HICON greySmallIcon_ = nullptr, bannerIcon_ = nullptr;
  // The banner as last painted, copied to the screen on every repaint at the same size.
  UniqueGdiObject bannerBitmap_;
  SIZE bannerSize_{0, 0};
  std::map<HWND, std::string> hints_;
  std::string currentHint_;
  // Three texts per results entry (key, value, data), for entries 0 .. Size() / 3 - 1.
  WrapWidths resultWidths_;
  // GDI's widths of the texts the list has measured, with font_ and matchFont_.
  TextExtentCache extents_;
  // What a running scan has reported and the window shows only once per frame.
  FrameClock scanFrame_;
  std::string progressText_;
  bool progressPending_ = false;
  bool firstActivation_ = true;
  // A Repair run processes window messages; while it runs, Search, Repair and Restore wait, and
  // a close request is kept until the run (and its backup file) has ended.
  bool repairRunning_ = false;
  bool closeAfterRepair_ = false;
  bool placementRestored_ = false;
  std::string helpFile_;
  std::unique_ptr<SearchThreadHost> worker_;
  std::unique_ptr<SearchThreadHost> retiredWorker_;
  WinFileSystem fs_;
  InvalidReferenceScan scan_{fs_};
};

}  // namespace calvorin::win32
