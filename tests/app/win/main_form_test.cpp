// The main window in this process: results list measuring, drawing and selection, page
// enabling and the Restore-button rule, against real windows under Wine.
#include "app/win/main_form.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "app/win/control_ids.h"
#include "support/win/wine_test_support.h"

namespace calvorin::win32 {

struct MainFormTestAccess {
  static InvalidReferenceScan& Scan(TMainForm& form) { return form.scan_; }
};

namespace {

constexpr const char* kFolder = "C:\\CalvorinTests\\MainForm";

using calvorin::testing::FindControl;
using calvorin::testing::PumpWaitingMessages;
using calvorin::testing::SaveScreenshot;

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryA("C:\\CalvorinTests", nullptr);
    CreateDirectoryA(kFolder, nullptr);
    DeleteFileA((std::string(kFolder) + "\\deletedkeys.reg").c_str());
    DeleteFileA((std::string(kFolder) + "\\calvorin.INI").c_str());  // each test at design size
    GetCurrentDirectoryA(MAX_PATH, savedDirectory_);
    MainFormOptions options;
    options.exePath = std::string(kFolder) + "\\calvorin.exe";
    const std::string ini = std::string(kFolder) + "\\calvorin.INI";
    options.files = {kFolder, ini, ini, "rrr.TXT", false, true, ""};
    form_ = std::make_unique<TMainForm>(options);
    ASSERT_TRUE(form_->Create(GetModuleHandleA(nullptr)));
    ShowWindow(form_->Handle(), SW_SHOWNORMAL);
    PumpWaitingMessages();
    list_ = Control(kIdLbResults);
  }
  void TearDown() override {
    if (form_ && IsWindow(form_->Handle())) DestroyWindow(form_->Handle());
    PumpWaitingMessages();
    form_.reset();
    SetCurrentDirectoryA(savedDirectory_);
  }
  HWND Control(int id) { return FindControl(form_->Handle(), id); }
  InvalidReferenceScan& Scan() { return MainFormTestAccess::Scan(*form_); }
  int ItemHeight(int i) {
    return static_cast<int>(SendMessageA(list_, LB_GETITEMHEIGHT, static_cast<WPARAM>(i), 0));
  }
  // Hands a hit to the window's analysis, as the walk does; the data names a missing file.
  void Add(const TResult& r) {
    const std::size_t before = Scan().Results().size();
    Scan().SearchMatch(r);
    ASSERT_EQ(Scan().Results().size(), before + 1) << r.DataText;
    PumpWaitingMessages();
  }
  // Clicks a button the way the button itself reports it.
  void Click(int id) {
    SendMessageA(form_->Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(id)));
    PumpWaitingMessages();
  }
  void ResizeClient(int width, int height) {
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongA(form_->Handle(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(form_->Handle(), GWL_EXSTYLE)));
    SetWindowPos(form_->Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    PumpWaitingMessages();
  }

  std::unique_ptr<TMainForm> form_;
  HWND list_ = nullptr;
  char savedDirectory_[MAX_PATH] = {};
};

HFONT FontOf(HWND control) {
  return reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
}

TEXTMETRICA Metrics(HFONT font) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return tm;
}

int TextWidth(HFONT font, const std::string& text) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE extent{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return extent.cx;
}

const std::string kLongKey =
    "HKEY_CURRENT_USER\\software\\calvortests\\e2e\\a fairly long key name\\"
    "with several levels\\below it\\so that it wraps\\inprocserver32";

TResult Entry(std::string key, std::string name, std::string data) {
  const int dataPos = static_cast<int>(data.find(":\\")) + 1;
  return TResult(std::move(key), std::move(name), std::move(data), 0, 0, dataPos, 0, 0, 2,
                 0x80000001u);
}

TEST_F(MainFormTest, ItemsAreMeasuredFromTheirWrappedRows) {
  Add(Entry("HKEY_CURRENT_USER\\short", "v", "C:\\missing\\x.exe"));
  Add(Entry(kLongKey, "v", "C:\\missing\\x.exe"));
  Add(Entry("HKEY_CURRENT_USER\\short", "", "C:\\missing\\x.exe"));
  Add(Entry("HKEY_CURRENT_USER\\short", "(default)", "C:\\missing\\x.exe"));
  ASSERT_EQ(SendMessageA(list_, LB_GETCOUNT, 0, 0), 4);
  // Three single-line rows at the minimum height of 18, plus 4.
  EXPECT_EQ(ItemHeight(0), 3 * 18 + 4);
  EXPECT_GT(ItemHeight(1), ItemHeight(0));
  EXPECT_EQ(ItemHeight(2), ItemHeight(3));
  // The newest item is selected.
  EXPECT_EQ(SendMessageA(list_, LB_GETCURSEL, 0, 0), 3);
}

// The value row is measured with the suffix it is drawn with; an item beyond the list box's 255
// pixels is drawn within them (a band below it keeps its colour); the list gives each item's text.
TEST_F(MainFormTest, ItemsAreDrawnInTheirMeasuredHeightAndReadAsShown) {
  RECT client{};
  GetClientRect(list_, &client);
  std::string name = "n";  // fits the column alone, not with the suffix
  while (TextWidth(FontOf(list_), name + "n") <= client.right - form_->Scale(100) - 1) name += "n";
  Add(Entry("HKEY_CURRENT_USER\\k", name, "C:\\missing\\x.exe"));
  EXPECT_GT(ItemHeight(0), 3 * form_->Scale(18) + form_->Scale(4));
  Add(Entry("HKEY_CURRENT_USER\\k", std::string(3000, 'v'), "C:\\missing\\x.exe"));
  ASSERT_LE(ItemHeight(1), 255);  // the value row cut to keep the data row (FitResultRows)
  const int w = client.right, h = 255 + 40;
  BITMAPINFO bi{{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  std::fill_n(static_cast<DWORD*>(bits), w * h, 0x123456u);
  DRAWITEMSTRUCT di{ODT_LISTBOX, kIdLbResults, 1, ODA_DRAWENTIRE, 0, list_, dc, {0, 0, w, 255}, 0};
  SendMessageA(form_->Handle(), WM_DRAWITEM, kIdLbResults, reinterpret_cast<LPARAM>(&di));
  GdiFlush();
  const DWORD* band = static_cast<const DWORD*>(bits) + 255 * w;
  EXPECT_EQ(std::count(band, band + 40 * w, 0x123456u), 40 * w);

  DeleteObject(SelectObject(dc, old));
  DeleteDC(dc);
  char text[600] = {};
  SendMessageA(list_, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(text, "1. Ticked\r\nKey: HKEY_CURRENT_USER\\k\r\nVal: " + name +
                      "   Error : File not found\r\nDat: C:\\missing\\x.exe");
  // Wine converts between the forms in 512 characters: a longer text is cut to 511.
  EXPECT_EQ(SendMessageA(list_, LB_GETTEXTLEN, 1, 0), 511);
  Click(kIdButton2);
  SaveScreenshot(form_->Handle(), "win32-tall-item");
}

// The next allocation fails when this is set, as with the memory used up (operator new below).
bool gAllocationFails = false;
// The message boxes this thread opened and their texts, each answered at once.
std::vector<std::string> gBoxes;

LRESULT CALLBACK AnswerBoxes(int code, WPARAM wp, LPARAM lp) {
  char cls[16] = {}, text[256] = {};
  const HWND box = reinterpret_cast<HWND>(wp);
  if (code == HCBT_ACTIVATE && GetClassNameA(box, cls, sizeof cls) && !std::strcmp(cls, "#32770")) {
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    gBoxes.push_back(text);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

// A failure while an item is measured opens no box inside the paint: one box after it, and
// none again when the same failure comes back.
TEST_F(MainFormTest, AFailedMeasureIsShownOnceAfterThePaint) {
  Add(Entry("HKEY_CURRENT_USER\\k", std::string(3000, 'v'), "C:\\missing\\x.exe"));
  const HHOOK hook = SetWindowsHookExA(WH_CBT, AnswerBoxes, nullptr, GetCurrentThreadId());
  for (int round = 0; round < 2; ++round) {
    MEASUREITEMSTRUCT mi{ODT_LISTBOX, kIdLbResults, 0, 0, 0, 0};
    for (int item = 0; item < 2; ++item) {
      gAllocationFails = true;
      SendMessageA(form_->Handle(), WM_MEASUREITEM, kIdLbResults, reinterpret_cast<LPARAM>(&mi));
      ASSERT_FALSE(gAllocationFails);
    }
    EXPECT_EQ(gBoxes.size(), static_cast<std::size_t>(round));  // none inside the paint
    PumpWaitingMessages();
  }
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(gBoxes, std::vector<std::string>{"std::bad_alloc."});
}

TEST_F(MainFormTest, ResizingRemeasuresEveryItem) {
  for (int i = 0; i < 3; ++i) Add(Entry(kLongKey, "value", "C:\\some folder\\x.exe"));
  const int wide = ItemHeight(0);
  ResizeClient(500, 448);
  const int narrow = ItemHeight(0);
  EXPECT_GT(narrow, wide);
  EXPECT_EQ(ItemHeight(2), narrow);
  ResizeClient(628, 448);
  EXPECT_EQ(ItemHeight(0), wide);
  EXPECT_EQ(ItemHeight(2), wide);
}

// A list long enough that the heights change far from the top item: every item is re-measured,
// and the view (top item) and the selection stay where they were.
TEST_F(MainFormTest, ResizingALongListRemeasuresEveryItemAndKeepsTheView) {
  const int count = 4500;
  for (int i = 0; i < count; ++i) {
    Add(Entry(kLongKey, "value" + std::to_string(i), "C:\\some folder\\x.exe"));
  }
  Click(kIdButton2);
  const int wide = ItemHeight(0);
  SendMessageA(list_, LB_SETTOPINDEX, 2000, 0);
  const LRESULT top = SendMessageA(list_, LB_GETTOPINDEX, 0, 0);
  ASSERT_EQ(top, 2000);
  SendMessageA(list_, LB_SETCURSEL, 2001, 0);  // in view: nothing to scroll
  for (const auto& [width, tall] : {std::pair{500, true}, std::pair{628, false}}) {
    SCOPED_TRACE(width);
    ResizeClient(width, 448);
    int wrong = 0;
    for (int i = 0; i < count; ++i) {
      if ((ItemHeight(i) > wide) != tall || (!tall && ItemHeight(i) != wide)) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(ItemHeight(0), ItemHeight(count - 1));
    EXPECT_EQ(SendMessageA(list_, LB_GETTOPINDEX, 0, 0), top);
    EXPECT_EQ(SendMessageA(list_, LB_GETCURSEL, 0, 0), 2001);
  }
}

// Items recorded before the list's scroll bar appeared are measured again at the width it
// leaves: a value row that fits the column without the bar and wraps with it gets its second
// line in every item. A resize keeps the selected item in view, and so does opening the page.
TEST_F(MainFormTest, ItemsStayMeasuredAsDrawnAndTheSelectionInView) {
  Click(kIdButton2);
  RECT client{};
  GetClientRect(list_, &client);
  const int column = client.right - form_->Scale(98) - form_->Scale(2) - 1;
  const int narrow = column - GetSystemMetrics(SM_CXVSCROLL);
  std::string name = "n";
  while (TextWidth(FontOf(list_), name + "   Error : File not found") <= narrow) name += "n";
  ASSERT_LE(TextWidth(FontOf(list_), name + "   Error : File not found"), column);
  const int count = 30;
  for (int i = 0; i < count; ++i) Add(Entry("HKEY_CURRENT_USER\\k", name, "C:\\missing\\x.exe"));
  int wrong = 0;
  for (int i = 0; i < count; ++i) wrong += ItemHeight(i) <= 3 * form_->Scale(18) + form_->Scale(4);
  EXPECT_EQ(wrong, 0) << "items measured a scroll bar wider than drawn";

  auto inView = [&](int index) {
    RECT item{}, view{};
    GetClientRect(list_, &view);
    SendMessageA(list_, LB_GETITEMRECT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
    return item.top >= 0 && item.bottom <= view.bottom;
  };
  // The last item wholly in view at the top of the list, selected, then the window made lower.
  SendMessageA(list_, LB_SETTOPINDEX, 0, 0);
  int last = 0;
  while (inView(last + 1)) ++last;
  SendMessageA(list_, LB_SETCURSEL, static_cast<WPARAM>(last), 0);
  ResizeClient(form_->Scale(628), form_->Scale(351));
  EXPECT_TRUE(inView(last));
  // Back, the list scrolled away from it, and Results again.
  Click(kIdButton1);
  SendMessageA(list_, LB_SETTOPINDEX, count - 1, 0);
  Click(kIdButton2);
  EXPECT_TRUE(inView(last));
}

TEST_F(MainFormTest, RightClickSelectsTheItemUnderThePointer) {
  for (int i = 0; i < 3; ++i) Add(Entry("HKEY_CURRENT_USER\\k", "v", "C:\\missing\\x.exe"));
  Click(kIdButton2);
  RECT item{};
  SendMessageA(list_, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
  SendMessageA(list_, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(item.left + 5, item.top + 5));
  EXPECT_EQ(SendMessageA(list_, LB_GETCURSEL, 0, 0), 1);
  RECT last{};
  SendMessageA(list_, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&last));
  SendMessageA(list_, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, last.bottom + 5));
  EXPECT_EQ(SendMessageA(list_, LB_GETCURSEL, 0, 0), -1);
  // With a modifier held the press is the list box's own.
  SendMessageA(list_, LB_SETCURSEL, 0, 0);
  SendMessageA(list_, WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, MAKELPARAM(5, last.top + 5));
  EXPECT_EQ(SendMessageA(list_, LB_GETCURSEL, 0, 0), 0);
  // Alt is no MK_ flag: it is read from the keyboard state.
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_MENU] = 0x80;
  SetKeyboardState(keys);
  SendMessageA(list_, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, last.top + 5));
  keys[VK_MENU] = 0;
  SetKeyboardState(keys);
  EXPECT_EQ(SendMessageA(list_, LB_GETCURSEL, 0, 0), 0);
}

TEST_F(MainFormTest, DockedControlsFollowTheWindowAndTheRestKeepTheirBounds) {
  auto bounds = [&](int id) {
    HWND c = Control(id);
    RECT r{};
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, GetParent(c), reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  auto scaled = [&](int x, int y, int w, int h) {
    return RECT{form_->Scale(x), form_->Scale(y), form_->Scale(x) + form_->Scale(w),
                form_->Scale(y) + form_->Scale(h)};
  };
  const struct {
    int id;
    RECT design;
  } fixed[] = {
      {kIdSbSearchE, scaled(16, 32, 100, 36)},
  };
  for (const SIZE size : {SIZE{628, 448}, SIZE{901, 613}, SIZE{485, 351}, SIZE{1200, 777}}) {
    SCOPED_TRACE(::testing::Message() << size.cx << "x" << size.cy);
    ResizeClient(form_->Scale(size.cx), form_->Scale(size.cy));
    RECT client{};
    GetClientRect(form_->Handle(), &client);
    const RECT status = bounds(kIdStatusBar1);
    EXPECT_EQ(status.left, 0);
    EXPECT_EQ(status.right, client.right);
    EXPECT_EQ(status.bottom, client.bottom);
    for (int page : {kIdPageMain, kIdPageResults}) {
      const RECT r = bounds(page);
      EXPECT_EQ(r.left, 0);
      EXPECT_EQ(r.top, 0);
      EXPECT_EQ(r.right, client.right);
      EXPECT_EQ(r.bottom, status.top);
    }
    const RECT list = bounds(kIdLbResults);
    EXPECT_EQ(list.top, form_->Scale(57));
    EXPECT_EQ(list.bottom, status.top);
    for (const auto& f : fixed) {
      const RECT r = bounds(f.id);
      EXPECT_TRUE(EqualRect(&r, &f.design))
          << f.id << ": " << r.left << "," << r.top << " " << r.right << "," << r.bottom;
    }
    // The three labels run from their design left edge to 8 pixels short of the page's right
    // (in scaled pixels: the page's width less 208).
    RECT page{};
    GetClientRect(GetParent(Control(kIdLabel1)), &page);
    for (const auto& [id, top] :
         {std::pair{kIdLabel1, 30}, std::pair{kIdLabel2, 66}, std::pair{kIdLabel3, 102}}) {
      RECT design = scaled(200, top, 0, 32);
      design.right = design.left + std::max(0, static_cast<int>(page.right) - form_->Scale(208));
      const RECT r = bounds(id);
      EXPECT_TRUE(EqualRect(&r, &design))
          << id << ": " << r.left << "," << r.top << " " << r.right << "," << r.bottom;
    }
  }
  // Both sizes are character heights (the em, less the internal leading): 13 pixels for the list,
  // 27 for the status labels.
  for (const auto& [id, em] : {std::pair{kIdLabel1, 27}, std::pair{kIdLbResults, 13}}) {
    const TEXTMETRICA tm = Metrics(FontOf(Control(id)));
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, form_->Scale(em)) << id;
  }
}

// The status labels show every text whole on their one line: at 27 pixels while it fits, else
// at the largest size that fits, in a wide window and in the narrowest.
TEST_F(MainFormTest, StatusLabelsShowTheirWholeText) {
  const HFONT large = FontOf(Control(kIdLabel1));
  const char* texts[] = {"Errors: 20, Keys searched: 9400",
                         "Errors: 100000, Keys searched: 9999900",
                         "Fixing item 100000 of 100000",
                         "100000 Registry Items Left Unchanged",
                         "Found 100000 items before being stopped",
                         "3 Registry Items Fixed"};
  for (const SIZE size : {SIZE{628, 448}, SIZE{1200, 777}, SIZE{485, 351}}) {
    ResizeClient(form_->Scale(size.cx), form_->Scale(size.cy));
    for (int id : {kIdLabel1, kIdLabel2, kIdLabel3, kIdLblSearch}) {
      HWND label = Control(id);
      RECT client{};
      GetClientRect(label, &client);
      for (const char* text : texts) {
        SCOPED_TRACE(::testing::Message() << size.cx << "x" << size.cy << " " << id << " " << text);
        SetWindowTextA(label, text);
        const HFONT font = FontOf(label);
        EXPECT_LE(TextWidth(font, text), client.right);
        LOGFONTA made{};
        GetObjectA(font, sizeof made, &made);
        if (TextWidth(large, text) <= client.right) {
          EXPECT_EQ(font, large);
        } else {
          // Made smaller, and one pixel more would not fit.
          EXPECT_GT(made.lfHeight, -form_->Scale(27));
          made.lfHeight -= 1;
          HFONT larger = CreateFontIndirectA(&made);
          EXPECT_GT(TextWidth(larger, text), client.right);
          DeleteObject(larger);
        }
      }
    }
  }
  // At the least size the counts of a run share one size, the one the longest needs.
  ResizeClient(form_->Scale(485), form_->Scale(351));
  SetWindowTextA(Control(kIdLabel1), "168 Registry Items Cleaned");
  SetWindowTextA(Control(kIdLabel2), "");
  SetWindowTextA(Control(kIdLabel3), "Stopped: 2832 Registry Items Not Reached");
  EXPECT_NE(FontOf(Control(kIdLabel3)), large);
  const HFONT shared = FontOf(Control(kIdLabel3));
  EXPECT_EQ(FontOf(Control(kIdLabel1)), shared);
  SetWindowTextA(Control(kIdLabel3), "");
  EXPECT_NE(FontOf(Control(kIdLabel1)), shared);  // alone again, it takes its own size
  // Made wide enough again, a label shows its text at 27 pixels.
  SetWindowTextA(Control(kIdLabel1), "Errors: 20, Keys searched: 9400");
  ResizeClient(form_->Scale(1200), form_->Scale(777));
  EXPECT_EQ(FontOf(Control(kIdLabel1)), large);
}

TEST_F(MainFormTest, MinimisingLeavesTheItemsAsTheyAreAndRestoringMeasuresThem) {
  for (int i = 0; i < 3; ++i) Add(Entry(kLongKey, "v", "C:\\missing\\x.exe"));
  const int before = ItemHeight(0);
  ShowWindow(form_->Handle(), SW_MINIMIZE);
  PumpWaitingMessages();
  ASSERT_TRUE(IsIconic(form_->Handle()));
  // Measured at a minimised window's width, the long key would take many more lines.
  EXPECT_EQ(ItemHeight(0), before);
  ShowWindow(form_->Handle(), SW_RESTORE);
  PumpWaitingMessages();
  EXPECT_EQ(ItemHeight(0), before);
}

// A scan disables the scan page, Restore excepted, and its end enables it again; Restore follows
// the backup file throughout.
TEST_F(MainFormTest, PageEnablingKeepsTheRestoreRule) {
  const int ids[] = {kIdSbSearchE, kIdButton2, kIdButton3, kIdBitBtn1, kIdCheckBox1};
  for (bool backup : {false, true}) {
    SCOPED_TRACE(backup);
    const std::string path = std::string(kFolder) + "\\deletedkeys.reg";
    if (backup) {
      FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fclose(f);
    } else {
      DeleteFileA(path.c_str());
    }
    Click(kIdSbSearchE);
    for (int id : ids) EXPECT_FALSE(IsWindowEnabled(Control(id))) << id;
    EXPECT_TRUE(IsWindowEnabled(Control(kIdLabel1)));  // the live counts are not greyed
    EXPECT_EQ(IsWindowEnabled(Control(kIdButton4)) != FALSE, backup);
    ASSERT_TRUE(calvorin::testing::PumpMessagesUntil([&] {
      char text[64] = {};
      GetWindowTextA(Control(kIdLblSearch), text, sizeof text);
      return std::strncmp(text, "Found ", 6) == 0;
    }));
    for (int id : ids) EXPECT_TRUE(IsWindowEnabled(Control(id))) << id;
    EXPECT_EQ(IsWindowEnabled(Control(kIdButton4)) != FALSE, backup);
  }
  DeleteFileA((std::string(kFolder) + "\\deletedkeys.reg").c_str());
}

// Screen readers name the list after the hidden label before it; a log-off saves the settings.
TEST_F(MainFormTest, TheListIsNamedAndALogOffSavesTheSettings) {
  EXPECT_EQ(WindowText(GetWindow(list_, GW_HWNDPREV)), "Results");
  EXPECT_TRUE(SendMessageA(form_->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
  SendMessageA(form_->Handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  const std::string ini = std::string(kFolder) + "\\calvorin.INI";
  EXPECT_EQ(GetPrivateProfileIntA("Settings", "MaxRslt", -1, ini.c_str()), 2);
}

TEST_F(MainFormTest, SearchClearsTheResultsAndClosingDoesNotWaitForIt) {
  Add(Entry("HKEY_CURRENT_USER\\k", "v", "C:\\missing\\x.exe"));
  Click(kIdButton2);
  EXPECT_TRUE(IsWindowVisible(list_));
  Click(kIdSbSearchE);
  // The old results are gone, the main page is back and the page is disabled while it runs.
  EXPECT_EQ(SendMessageA(list_, LB_GETCOUNT, 0, 0), 0);
  EXPECT_TRUE(Scan().Results().empty());
  EXPECT_TRUE(IsWindowVisible(Control(kIdSbSearchE)));
  EXPECT_FALSE(IsWindowEnabled(Control(kIdSbSearchE)));
  EXPECT_FALSE(IsWindowEnabled(Control(kIdBitBtn1)));
  char text[64] = {};
  GetWindowTextA(Control(kIdLblSearch), text, sizeof text);
  EXPECT_STREQ(text, "Searching...");
  // Close while the walk runs: the window goes at once, and the walk's later calls (it keeps
  // running on its own until it notices the stop) find nothing of it.
  HWND hwnd = form_->Handle();
  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(hwnd));
  form_.reset();
  for (int i = 0; i < 50; ++i) {
    PumpWaitingMessages();
    Sleep(10);
  }
}

TEST_F(MainFormTest, ResultsPageShowsWrappedHighlightedEntries) {
  Add(Entry(kLongKey, "UninstallString", "C:\\Program Files\\Removed Tool\\uninstall.exe"));
  Add(Entry("HKEY_LOCAL_MACHINE\\software\\clients\\media\\player\\shell\\open\\command", "",
            "C:\\Program Files\\Gone Player\\player.exe"));
  // The search's cut marks, as the ANSI code page draws them.
  Add(Entry("HKEY_CURRENT_USER\\software\\recent files", "\x97\x97",
            "C:\\Users\\x\\Documents\\old report.doc\x85\xBB"));
  Click(kIdButton2);
  SaveScreenshot(form_->Handle(), "win32-results-list");
  EXPECT_TRUE(IsWindowVisible(list_));
  EXPECT_GT(ItemHeight(0), 3 * 18 + 4);
}

// A full hit table: the last number, "100000. ", is wider than the number column's design 48
// pixels. The column of every item widens to it, so the number is drawn whole.
TEST_F(MainFormTest, TheNumberColumnHoldsTheLastNumberOfAFullTable) {
  const int count = 100000;
  for (int i = 0; i < count; ++i) {
    std::string name = "v";
    name.append(std::to_string(i));
    const TResult r = Entry("HKEY_CURRENT_USER\\k", name, "C:\\missing\\x.exe");
    Scan().SearchMatch(r);
  }
  PumpWaitingMessages();
  ASSERT_EQ(SendMessageA(list_, LB_GETCOUNT, 0, 0), count);
  // What the end of a scan stopped by a full table shows.
  SetWindowTextA(Control(kIdLblSearch), "Found 100000 items before being stopped");
  Click(kIdButton2);  // the newest item is selected: the list shows the end
  SaveScreenshot(form_->Handle(), "win32-results-100000");

  // Items drawn as the list draws them (not selected), into a bitmap of an item's size.
  RECT item{};
  ASSERT_NE(SendMessageA(list_, LB_GETITEMRECT, count - 1, reinterpret_cast<LPARAM>(&item)),
            LB_ERR);
  const int w = item.right - item.left, h = item.bottom - item.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bmp, nullptr);
  HGDIOBJ oldBitmap = SelectObject(dc, bmp);
  const auto* pixels = static_cast<const DWORD*>(bits);
  auto ink = [&](int x, int y) { return pixels[y * w + x] != pixels[0]; };
  // The number column's right edge: the first line of ink from the item's top to its bottom.
  auto drawItem = [&](int index) {
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_LISTBOX;
    draw.CtlID = kIdLbResults;
    draw.itemID = static_cast<UINT>(index);
    draw.itemAction = ODA_DRAWENTIRE;
    draw.hwndItem = list_;
    draw.hDC = dc;
    draw.rcItem = RECT{0, 0, w, h};
    SendMessageA(form_->Handle(), WM_DRAWITEM, kIdLbResults, reinterpret_cast<LPARAM>(&draw));
    GdiFlush();
    for (int x = 0; x < w; ++x) {
      bool line = true;
      for (int y = 2; y < h - 2 && line; ++y) line = ink(x, y);
      if (line) return x;
    }
    return -1;
  };
  const int firstEdge = drawItem(0);
  const int edge = drawItem(count - 1);
  // The number's ink on its line, left of the edge, against the same text drawn unclipped.
  const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(list_, WM_GETFONT, 0, 0));
  HGDIOBJ oldFont = SelectObject(dc, font);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SIZE number{};
  GetTextExtentPoint32A(dc, "100000. ", 8, &number);
  auto inkWidth = [&](int right, int top) {
    int first = right, last = -1;
    for (int y = top; y < top + tm.tmHeight; ++y) {
      for (int x = 0; x < right; ++x) {
        if (ink(x, y)) {
          first = std::min(first, x);
          last = std::max(last, x);
        }
      }
    }
    return last - first + 1;
  };
  const int drawn = inkWidth(std::max(edge, 0), form_->Scale(1));
  RECT whole{0, 0, w, h};
  FillRect(dc, &whole, GetSysColorBrush(COLOR_WINDOW));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  TextOutA(dc, form_->Scale(4), 0, "100000.", 7);
  GdiFlush();
  const int whole100000 = inkWidth(w, 0);
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBitmap);
  DeleteObject(bmp);
  DeleteDC(dc);
  ASSERT_GT(edge, 0);
  EXPECT_GE(edge - form_->Scale(1), number.cx);
  EXPECT_EQ(drawn, whole100000);
  EXPECT_EQ(firstEdge, edge) << "one column for every item";
  EXPECT_GT(number.cx, form_->Scale(48)) << "the number fits the design column: nothing shown";
}

// Moved to a monitor of another scale (a WM_DPICHANGED as Windows sends it), the window takes the
// suggested rectangle and makes its fonts, controls and items again at the new scale; at its least
// size, at 96, 144 and 192 DPI, the page shows every control whole; its texts stay readable in
// a high-contrast scheme.
TEST_F(MainFormTest, DpiChangeLeastSizeAndHighContrast) {
  Add(Entry("HKEY_CURRENT_USER\\short", "v", "C:\\missing\\x.exe"));
  HWND form = form_->Handle();
  auto screenRect = [](HWND w) { RECT r{}; GetWindowRect(w, &r); return r; };
  auto changeDpi = [&](int dpi, RECT suggested) {
    SendMessageA(form, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    PumpWaitingMessages();
  };
  const RECT before = screenRect(form);
  const RECT suggested{0, 0, 2 * (before.right - before.left), 2 * (before.bottom - before.top)};
  changeDpi(192, suggested);
  const RECT now = screenRect(form), search = screenRect(Control(kIdSbSearchE));
  EXPECT_TRUE(EqualRect(&now, &suggested));
  const TEXTMETRICA big = Metrics(FontOf(Control(kIdLabel1)));
  EXPECT_EQ(big.tmHeight - big.tmInternalLeading, 54);
  EXPECT_EQ(search.bottom - search.top, 72);
  EXPECT_EQ(ItemHeight(0), 2 * (3 * 18 + 4));
  for (int id : {kIdButton2, kIdButton3, kIdPb1}) ShowWindow(Control(id), SW_SHOW);
  SaveScreenshot(form, "win32-dpi-192");

  for (int dpi : {96, 144, 192}) {
    changeDpi(dpi, RECT{0, 0, 100, 100});  // clamped to the least size
    const RECT status = screenRect(Control(kIdStatusBar1));
    RECT display = screenRect(Control(kIdPcMain)), inside{};
    SendMessageA(Control(kIdPcMain), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    for (int id : {kIdClickSearchLabel, kIdSbSearchE, kIdButton2, kIdButton3, kIdCheckBox1,
                   kIdBitBtn1, kIdButton4, kIdLabel1, kIdLabel3, kIdPb1, kIdEdit1}) {
      const RECT r = screenRect(Control(id));
      IntersectRect(&inside, &r, &display);
      EXPECT_TRUE(EqualRect(&inside, &r) && r.bottom <= status.top) << dpi << ": " << id << " cut";
    }
    SaveScreenshot(form, "win32-least-size-" + std::to_string(dpi));
  }

  // Under a high-contrast colour scheme the link and the Search button's caption stay readable.
  // (Wine keeps no high-contrast flag, SPI_SETHIGHCONTRAST does nothing there, so the banner keeps
  // its own colours under Wine.)
  changeDpi(96, before);
  const int elements[] = {COLOR_BTNFACE, COLOR_BTNTEXT, COLOR_WINDOW, COLOR_WINDOWTEXT,
                          COLOR_HOTLIGHT};
  const COLORREF scheme[] = {0, 0xFFFFFF, 0, 0xFFFFFF, RGB(255, 255, 0)};
  COLORREF saved[std::size(elements)];
  for (std::size_t i = 0; i < std::size(elements); ++i) saved[i] = GetSysColor(elements[i]);
  ASSERT_TRUE(SetSysColors(static_cast<int>(std::size(elements)), elements, scheme));
  RedrawWindow(form, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  SendMessageA(form, WM_THEMECHANGED, 0, 0);  // a switch made while the window runs repaints it
  EXPECT_TRUE(GetUpdateRect(Control(kIdImage2), nullptr, FALSE));
  SaveScreenshot(form, "win32-high-contrast");
  HDC dc = CreateCompatibleDC(nullptr);
  SendMessageA(form, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(Control(kIdURLLabel1)));
  EXPECT_EQ(GetTextColor(dc), RGB(255, 255, 0));
  // The Search face drawn into a bitmap: its caption stands out from the face it is drawn on.
  RECT face{};
  GetClientRect(Control(kIdSbSearchE), &face);
  HBITMAP bmp = CreateBitmap(face.right, face.bottom, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  DRAWITEMSTRUCT draw{ODT_BUTTON, kIdSbSearchE, 0, ODA_DRAWENTIRE, 0, Control(kIdSbSearchE), dc,
                      face, 0};
  SendMessageA(form, WM_DRAWITEM, kIdSbSearchE, reinterpret_cast<LPARAM>(&draw));
  auto grey = [&](int x) {
    const COLORREF c = GetPixel(dc, x, face.bottom / 2);
    return GetRValue(c) + GetGValue(c) + GetBValue(c);
  };
  int ink = 0;  // along the caption's middle row, against the face left of it
  for (int x = face.right / 2; x < face.right * 7 / 8; ++x) {
    ink += std::abs(grey(x) - grey(face.right / 8)) > 240;
  }
  Banner banner;  // Wine keeps no high-contrast flag: Restyle is told it
  for (bool highContrast : {false, true}) {
    banner.Restyle(highContrast);
    banner.Draw(draw, FontOf(Control(kIdLabel1)));
    EXPECT_EQ(GetPixel(dc, 1, 1) == GetSysColor(COLOR_WINDOW), highContrast);
  }
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  SetSysColors(static_cast<int>(std::size(elements)), elements, saved);
  EXPECT_GT(ink, 3) << "the caption does not stand out from the face";
}

}  // namespace
}  // namespace calvorin::win32

// Out of line: GCC takes free() in an inlined delete for a mismatch with the new it sees.
__attribute__((noinline)) void* operator new(std::size_t size) {
  void* p = std::exchange(calvorin::win32::gAllocationFails, false) ? nullptr
                                                                    : std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  return p;
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
