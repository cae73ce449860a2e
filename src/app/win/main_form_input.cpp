// TMainForm: input and focus. The message loop's first look at every message (the pointer's
// hints, F1, Enter, the access keys), the status bar, and where the focus goes.
#include "app/win/main_form.h"

#include <commctrl.h>

#include <string>

#include "app/win/control_ids.h"
#include "base/text.h"

namespace calvorin::win32 {
namespace {

// The access key of a caption, upper case: the character after a single "&"; 0 when none.
char AccessKeyOf(const std::string& caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] != '&') return UpperAscii(caption[i + 1]);
    ++i;  // "&&" is an ampersand
  }
  return 0;
}

}  // namespace

void TMainForm::ProcessMessages(UINT only) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | only)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (PreTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool TMainForm::PreTranslate(MSG& msg) {
  const bool ours = hwnd_ && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd));
  if (!ours) return false;
  HWND hinted = nullptr;
  if (controls_.hints.PointerTarget(msg, hwnd_, &hinted)) Guard([&] { AppEv1Hint(hinted); });
  // Key preview: the window sees F1 whichever control has the focus, also while Repair runs.
  if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && msg.wParam == VK_F1) {
    Guard([&] { FormKeyDown(msg.wParam); });
  }
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
    // Enter opens the focused link and presses the focused button, Search (drawn by the window)
    // too: the dialog keys press only a button with the default-button style.
    const HWND focus = GetFocus();
    if (focus == controls_.urlLabel1) {
      Guard([&] { URLLabel1Click(); });
      return true;
    }
    for (HWND button : {controls_.sbSearchE, controls_.button1, controls_.button2,
                        controls_.button3, controls_.bitBtn1, controls_.button4}) {
      if (focus == button && IsWindowEnabled(button)) {
        SendMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        return true;
      }
    }
  }
  // The window's own access keys: the dialog keys press the next control with the key after the
  // focus, so Alt+S on Results would press "Re&store" rather than "&Search".
  if (msg.message == WM_SYSCHAR) {
    bool pressed = false;
    Guard([&] { pressed = PressAccessKey(msg.wParam); });
    if (pressed) return true;
  }
  // A mnemonic takes Alt: the dialog keys would take a bare letter typed on a button as one, and
  // "r" would start Repair.
  if (msg.message == WM_CHAR) return false;
  return IsDialogMessageA(hwnd_, &msg) != FALSE;
}

void TMainForm::FormKeyDown(WPARAM key) {
  if (key != VK_F1) return;
  // Windows 10 and 11 have no WinHelp viewer, and the program ships no help file for it: where
  // "calvorin.hlp" is missing, F1 opens the help text as the Help button does.
  const std::string helpFile = JoinPath(ProgramFolder(), "calvorin.hlp");
  if (GetFileAttributesA(helpFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
    BitBtn1Click();
  } else {
    WinHelpA(hwnd_, "calvorin.hlp", HELP_CONTENTS, 0);
  }
}

bool TMainForm::PressAccessKey(WPARAM character) {
  if (character > 0xFF) return false;
  const char key = UpperAscii(static_cast<char>(character));
  bool first = true;
  // In the pages' order: "&Search" comes before "Re&store", which shares its key.
  for (HWND button : {controls_.sbSearchE, controls_.button2, controls_.button3,
                      controls_.bitBtn1, controls_.button4, controls_.button1}) {
    if (!IsWindowVisible(button) || AccessKeyOf(WindowText(button)) != key) continue;
    if (IsWindowEnabled(button)) {
      if (first) {
        SendMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
      } else {
        FocusControl(button);
      }
      return true;
    }
    first = false;
  }
  if (first) return false;
  // The key's first button is disabled: nothing else is pressed, and the key is refused as the
  // dialog keys refuse a key no control has.
  MessageBeep(0);
  return true;
}

void TMainForm::AppEv1Hint(HWND control) {
  if (const auto text = controls_.hints.Show(control, hwnd_)) SetStatusText(*text);
}

void TMainForm::SetStatusText(const std::string& text) {
  SendMessageA(controls_.statusBar1, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TMainForm::FocusControl(HWND control) {
  if (!control || !IsChild(hwnd_, control) || !IsWindowVisible(control) ||
      !IsWindowEnabled(control)) {
    control = IsWindowVisible(controls_.pageResults) ? results_.Handle()
              : IsWindowEnabled(controls_.sbSearchE) ? controls_.sbSearchE
                                                      : hwnd_;
  }
  focus_ = control;
  if (GetActiveWindow() == hwnd_) SetFocus(control);
}

void TMainForm::FocusIfLost(HWND control) {
  const HWND focus = GetFocus();
  // Hiding the focused control (Stop, when a run ends) hands the focus to its page.
  const bool onPage = focus == controls_.tsEasy || focus == controls_.pageMain ||
                      focus == controls_.pageResults || focus == controls_.pnlSearch;
  if (!focus || focus == hwnd_ || onPage || !IsWindowVisible(focus) || !IsWindowEnabled(focus)) {
    FocusControl(control);
  }
}

}  // namespace calvorin::win32
