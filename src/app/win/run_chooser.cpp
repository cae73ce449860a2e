#include "app/win/run_chooser.h"

#include <cstring>

#include "base/text.h"

namespace calvorin::win32 {
namespace {

struct ChooserState {
  const std::vector<KeptRun>* runs;
  int chosen = -1;
};

// An in-memory dialog template: DLGTEMPLATE and its items, each WORD-aligned, DWORD-aligned
// items, texts as UTF-16.
class DialogTemplate {
 public:
  DialogTemplate(const char* caption, DWORD style, short w, short h, int items) {
    Align(4);
    DLGTEMPLATE t{style | DS_SETFONT | DS_MODALFRAME | DS_CENTER, 0, static_cast<WORD>(items), 0,
                  0, w, h};
    Put(&t, sizeof t);
    Word(0);  // no menu
    Word(0);  // the standard dialog class
    Text(caption);
    Word(8);  // point size, then the face: the shell's dialog font
    Text("MS Shell Dlg");
  }
  void Item(const char* cls, const char* text, DWORD style, short x, short y, short w, short h,
            WORD id) {
    Align(4);
    DLGITEMTEMPLATE item{WS_CHILD | WS_VISIBLE | style, 0, x, y, w, h, id};
    Put(&item, sizeof item);
    Text(cls);
    Text(text);
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

 private:
  void Put(const void* p, std::size_t n) {
    const auto* b = static_cast<const char*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  void Word(WORD w) { Put(&w, sizeof w); }
  void Text(const char* text) {
    for (; *text; ++text) Word(static_cast<unsigned char>(*text));  // ASCII texts only
    Word(0);
  }
  void Align(std::size_t to) {
    while (bytes_.size() % to) bytes_.push_back(0);
  }
  std::vector<char> bytes_;
};

INT_PTR CALLBACK ChooserProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  auto* state = reinterpret_cast<ChooserState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lp);
      state = reinterpret_cast<ChooserState*>(lp);
      HWND list = GetDlgItem(dialog, kIdRunList);
      for (const KeptRun& run : *state->runs) {
        SendMessageA(list, LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(RunChoiceText(run).c_str()));
      }
      SendMessageA(list, LB_SETCURSEL, 0, 0);
      SetFocus(list);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wp) == kIdRunList && HIWORD(wp) == LBN_DBLCLK) wp = IDOK;
      if (LOWORD(wp) == IDOK) {
        state->chosen = static_cast<int>(
            SendDlgItemMessageA(dialog, kIdRunList, LB_GETCURSEL, 0, 0));
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

std::string RunChoiceText(const KeptRun& run) {
  return StampText(run.stamp) +
         Format(run.values == 1 ? "   %d value" : "   %d values", run.values);
}

std::optional<std::string> ChooseRunToRestore(HWND owner, const std::vector<KeptRun>& runs) {
  DialogTemplate t("Restore", WS_POPUP | WS_CAPTION | WS_SYSMENU, 200, 140, 4);
  t.Item("STATIC", "&Choose the Repair run to restore:", SS_LEFT, 7, 7, 186, 9, 0xFFFF);
  t.Item("LISTBOX", "", WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
         7, 18, 186, 96, kIdRunList);
  t.Item("BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 89, 119, 50, 14, IDOK);
  t.Item("BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 143, 119, 50, 14, IDCANCEL);
  ChooserState state{&runs};
  const INT_PTR answer = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.Get(), owner,
                                                 &ChooserProc, reinterpret_cast<LPARAM>(&state));
  if (answer != IDOK || state.chosen < 0 || state.chosen >= static_cast<int>(runs.size())) {
    return std::nullopt;
  }
  return runs[static_cast<std::size_t>(state.chosen)].path;
}

}  // namespace calvorin::win32
