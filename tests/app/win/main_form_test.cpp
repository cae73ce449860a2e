// The main window in this process: results list measuring, drawing and selection, page
// enabling and the Restore-button rule, against real windows under Wine.
#include "app/win/main_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "app/win/control_ids.h"
#include "support/win/wine_test_support.h"

namespace calvorin::win32 {
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
    options.iniPath = std::string(kFolder) + "\\calvorin.INI";
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
  int ItemHeight(int i) {
    return static_cast<int>(SendMessageA(list_, LB_GETITEMHEIGHT, static_cast<WPARAM>(i), 0));
  }
  // Hands a hit to the window's analysis, as the walk does; the data names a missing file.
  void Add(const TResult& r) {
    const std::size_t before = form_->Scan().Results().size();
    form_->Scan().SearchMatch(r);
    ASSERT_EQ(form_->Scan().Results().size(), before + 1) << r.DataText;
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
  // The unnamed value is measured on "(default)" alone, without the drawn suffix.
  EXPECT_EQ(ItemHeight(2), ItemHeight(3));
  // The newest item is selected.
  EXPECT_EQ(SendMessageA(list_, LB_GETCURSEL, 0, 0), 3);
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
  ASSERT_EQ(SendMessageA(list_, LB_GETCURSEL, 0, 0), count - 1);
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
    EXPECT_EQ(SendMessageA(list_, LB_GETCURSEL, 0, 0), count - 1);
  }
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
      {kIdPb1, scaled(200, 176, 400, 18)},
      {kIdEdit1, scaled(200, 140, 400, 22)},
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
  // The list's font is 13 pixels of character height (the em, less the internal leading), the
  // labels' font 27 pixels of cell height.
  for (const auto& [id, cell, em] :
       {std::tuple{kIdLabel1, 27, 0}, std::tuple{kIdLbResults, 0, 13}}) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(Control(id), WM_GETFONT, 0, 0)));
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    if (cell != 0) {
      // Wine's rasteriser rounds the cell to a pixel below (26 for 27); read as a character
      // height it would be about 31.
      EXPECT_NEAR(tm.tmHeight, form_->Scale(cell), 1) << id;
    } else {
      EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, form_->Scale(em)) << id;
    }
  }
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
  const int ids[] = {kIdSbSearchE, kIdButton2, kIdButton3, kIdBitBtn1, kIdCheckBox1, kIdLabel1};
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

TEST_F(MainFormTest, SearchClearsTheResultsAndClosingDoesNotWaitForIt) {
  Add(Entry("HKEY_CURRENT_USER\\k", "v", "C:\\missing\\x.exe"));
  Click(kIdButton2);
  EXPECT_TRUE(IsWindowVisible(list_));
  Click(kIdSbSearchE);
  // The old results are gone, the main page is back and the page is disabled while it runs.
  EXPECT_EQ(SendMessageA(list_, LB_GETCOUNT, 0, 0), 0);
  EXPECT_TRUE(form_->Scan().Results().empty());
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

}  // namespace
}  // namespace calvorin::win32
