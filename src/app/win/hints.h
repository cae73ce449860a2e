// Hints: each control's "short|long" text, shown as a tool tip (the short part) and in the
// status bar (the long part) while the pointer is over the control.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

namespace calvorin::win32 {

class Hints {
 public:
  // The tool tip window, owned by `form`; made before the first Set with a tool tip.
  void CreateTooltip(HWND form);
  // Called when the form is destroyed: the tool tip is a top-level window of its own.
  void DestroyTooltip();
  // `hint` is "short|long"; with `tooltip`, the short part is also the control's tool tip.
  void Set(HWND control, const std::string& hint, bool tooltip);
  // The controls moved or changed size on their pages (a new DPI): the tool tips follow.
  void Moved();

  // The hint of `control` or of the nearest parent that has one; empty when none has.
  std::string Of(HWND control, HWND form) const;
  // What a pointer message of the form's means for the hint: for WM_MOUSEMOVE the control under
  // the pointer, a disabled one too; for WM_MOUSELEAVE off the form, none. False for a message
  // that changes no hint.
  bool PointerTarget(const MSG& msg, HWND form, HWND* control);
  // The status bar's text when `control`'s hint is shown now; nothing when it is the one shown.
  std::optional<std::string> Show(HWND control, HWND form);

 private:
  HWND tooltip_ = nullptr;
  std::map<HWND, std::string> hints_;
  std::string current_;     // the hint shown
  HWND tracked_ = nullptr;  // the window whose WM_MOUSELEAVE is asked for
};

}  // namespace calvorin::win32
