// TMainForm: Calvorin's one window, its two pages and the scan as the user sees it.
//
// Where its handlers live:
//   main_form.cpp           creation, the window procedure and its dispatch, the message loop,
//                           close and destroy, resize, the pages, Help and the link
//   main_form_input.cpp     the message loop's first look at a message (the pointer's hint,
//                           F1, Enter, the access keys), the status bar, the focus
//   main_form_system.cpp    colour scheme and theme changes, log-off, a new DPI and its icons
//   main_form_runs.cpp      the scan (acSearchExecute, SearchMatch, SearchDone...), Repair
//                           (Button3Click) and Restore (Button4Click), ticks and marks
//   main_form_settings.cpp  the settings file and the window placement
// Its parts: MainFormControls (every control and the layout) with its Hints (hints.*: tool tips
// and the status bar's hint), ResultsList (results_list.cpp: measuring and drawing;
// results_list_marks.cpp: ticks, the item's menu, its text and Copy), ScanControls and
// RepairControls (what a scan and a Repair run show), Banner and SearchButtonFace
// (owner_drawn.*).
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "app/settings.h"
#include "app/win/main_form_controls.h"
#include "app/win/owner_drawn.h"
#include "app/win/repair_controls.h"
#include "app/win/results_list.h"
#include "app/win/scan_controls.h"
#include "base/win/dpi.h"
#include "base/win/unique_handle.h"
#include "base/win/win_file_system.h"
#include "scan/always_leave.h"
#include "scan/invalid_reference_scan.h"
#include "search/win/search_thread_host.h"

namespace calvorin::win32 {

struct MainFormOptions {
  std::string exePath;   // full path of the running executable
  // Where the settings file, the backups and "rrr.TXT" lie, fixed at process start.
  ProgramFilePlaces files;
  std::string firstArg;  // first command-line argument, empty when there is none
  UINT instanceMessage = 0;
  void* instanceRecord = nullptr;  // mapped 264-byte block; the pending name lives at offset 8
};

// The window is driven by its messages: its controls report to it (WM_COMMAND, WM_DRAWITEM,
// ...), and tests and other programs reach it the same way, through the control ids.
class TMainForm : public DpiScaled {
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

 private:
  // The window tests hand hits to the scan as the walk does.
  friend struct MainFormTestAccess;

  static constexpr UINT kMsgReleaseWorker = WM_APP + 1;
  // Posted by a scan's end that met a failed write of "rrr.TXT": the box comes after the end
  // handler has returned, so the walk's termination call never waits for the user.
  static constexpr UINT kMsgShowLogFailure = WM_APP + 2;
  // Posted by a failure while an item was measured or drawn: its box comes after the paint.
  static constexpr UINT kMsgShowPaintFailure = WM_APP + 3;

  static LRESULT CALLBACK WndProcThunk(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
  // Every handler runs here: a failure becomes the message box and the window goes on.
  template <typename F>
  void Guard(F&& handler) {
    try {
      handler();
    } catch (const std::exception& e) {
      ShowFailure(hwnd_, e.what());
    } catch (...) {
      ShowFailure(hwnd_, "Unknown error");
    }
  }
  // WM_MEASUREITEM and WM_DRAWITEM: a box opened inside them would run its own message loop in
  // the middle of a paint, and every item left to paint would fail and open another. The
  // failure is kept and shown once, after the paint.
  template <typename F>
  void GuardPaint(F&& handler) {
    try {
      handler();
    } catch (const std::exception& e) {
      KeepPaintFailure(e.what());
    } catch (...) {
      KeepPaintFailure("Unknown error");
    }
  }
  void KeepPaintFailure(const char* message);
  void OnCommand(int id, int code);
  void OnDrawItem(const DRAWITEMSTRUCT& item);
  LRESULT OnCtlColorStatic(HDC dc, HWND control);
  void OnInstanceMessage();
  // Handles pending messages; `only` (PM_QS_* flags) limits which kinds, 0 takes all.
  void ProcessMessages(UINT only = 0);
  // What the window sees of a message of its own before the message's target does, in every
  // message loop: hints, F1 and the dialog keys. True when the message has been handled.
  bool PreTranslate(MSG& msg);

  void FormCreate();
  void FormActivate();
  void FormClose();
  void FormDestroy();
  void FormKeyDown(WPARAM key);
  // Alt and a letter: presses the first button on the shown page whose caption has that access
  // key, when it can be pressed; another button sharing the key only takes the focus. False
  // when no shown button has the key.
  bool PressAccessKey(WPARAM character);
  // WM_SYSCOLORCHANGE, WM_SETTINGCHANGE, WM_THEMECHANGED: drawn colours follow the new scheme.
  void OnThemeChanged(UINT msg, WPARAM wp, LPARAM lp);
  // WM_QUERYENDSESSION and WM_ENDSESSION: log-off or shutdown ends the process without a close.
  bool OnQueryEndSession();
  void OnEndSession(bool ending);
  void FormResize();
  void AppEv1Hint(HWND control);
  // WM_DPICHANGED: fonts, icons and layout at the new scale, in the rectangle Windows suggests.
  void OnDpiChanged(int dpi, const RECT& suggested);
  // The window's and the owner-drawn controls' icons at the window's DPI.
  void LoadIcons();
  void ReadSettings();
  void SaveSettingsToFile();
  // Hands a saved search file name to its reader (first activation, instance message).
  void OpenSavedSearch(const std::string& fileName);
  void ShowNotebookPage(int page);
  // Gives `control` the focus, now when the window is active, else when it is next activated;
  // a control that cannot take it (hidden, disabled, none) gives way to the page's default.
  void FocusControl(HWND control);
  // The same, only when the focus is lost: on no control, on the window itself or a page, or on
  // a control that has been disabled or hidden.
  void FocusIfLost(HWND control);
  // Selects a page of pcMain; an index without a page keeps the one tab selected.
  void SelectTabPage(int index);
  void SetStatusText(const std::string& text);
  // The folder the program runs from: its working folder, where Help finds its text.
  std::string ProgramFolder() const;

  void BitBtn1Click();     // Help
  void URLLabel1Click();   // the link
  void acSearchExecute();  // Search
  void Button3Click();     // Repair, and Stop while a run goes on
  // Asks a running Repair to stop after its current entry.
  void StopRepair();
  void Button4Click();     // Restore
  void StartTextSearch();
  // The walk's callbacks, on this thread.
  void SearchMatch(const TResult& hit);
  void SearchProgress(std::int32_t keysSearched, std::int32_t matchCount);
  void SearchDone();
  void SetPageEnabled(bool enabled);
  void ApplyRestoreRule();
  void ClearResults();
  // The Results page's count of ticked items.
  void ShowTicked();
  // The user ticked or unticked item `index` (-1: all), or changed its always-leave mark, which
  // the list of values always left unchanged keeps.
  void MarksChanged(int index, bool alwaysLeave);

  MainFormOptions options_;
  HWND hwnd_ = nullptr;
  UniqueIcon icon_, smallIcon_;
  MainFormControls controls_;
  ResultsList results_{[this] { return scan_.Results(); }};
  Banner banner_;
  SearchButtonFace searchFace_;
  HWND focus_ = nullptr;    // the control that gets the focus when the window is activated
  // PerPage and MaxRslt, kept for the settings file; a saved search may set them.
  std::int32_t perPage_ = 0;
  std::int32_t maxRslt_ = 2;
  // What a running scan has reported, shown once per frame.
  ScanControls scanShown_{[this] {
    results_.ShowNew();
    ShowTicked();
  }};
  std::string scanSearchText_ = ":\\";  // the text the last scan searched for
  bool firstActivation_ = true;
  // A failed paint's message until its box is closed, and the last one shown.
  std::optional<std::string> paintFailure_;
  std::string shownPaintFailure_;
  // The saved placement is being applied: its rectangle is already in the target monitor's
  // pixels, so a DPI change on the way keeps it rather than take Windows' scaled suggestion.
  bool placing_ = false;
  // A Repair run processes window messages; while it runs, Search and Restore wait, Repair is
  // its Stop, and a close request stops it and is kept until the run (and its backup file) has
  // ended.
  bool repairRunning_ = false;
  bool closeAfterRepair_ = false;
  RepairControls* runningRepair_ = nullptr;
  std::unique_ptr<SearchThreadHost> worker_;
  std::unique_ptr<SearchThreadHost> retiredWorker_;
  WinFileSystem fs_;
  InvalidReferenceScan scan_{fs_, options_.files.logPath};
  AlwaysLeaveList alwaysLeave_;  // the values every scan lists unticked
};

}  // namespace calvorin::win32
