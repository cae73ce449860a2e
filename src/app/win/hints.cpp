#include "app/win/hints.h"

#include <commctrl.h>

#include "base/text.h"

namespace calvorin::win32 {
namespace {

std::string HintShortPart(const std::string& hint) {
  const int bar = Pos("|", hint);
  return bar == 0 ? hint : hint.substr(0, static_cast<std::size_t>(bar - 1));
}

// The long part of a hint, for the status bar ("short|long" gives "long").
std::string HintLongPart(const std::string& hint) {
  const int bar = Pos("|", hint);
  return bar == 0 ? hint : hint.substr(static_cast<std::size_t>(bar));
}

// Whether the pointer is over `window` or one of its controls now.
bool PointerIsOver(HWND window) {
  POINT cursor{};
  GetCursorPos(&cursor);
  const HWND under = WindowFromPoint(cursor);
  return under == window || IsChild(window, under);
}

// The control's second tool: its place on its parent, in the parent's client coordinates.
TTTOOLINFOA PlaceTool(HWND control) {
  TTTOOLINFOA info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_SUBCLASS;
  info.hwnd = GetParent(control);
  info.uId = static_cast<UINT_PTR>(GetDlgCtrlID(control));
  GetWindowRect(control, &info.rect);
  MapWindowPoints(nullptr, info.hwnd, reinterpret_cast<POINT*>(&info.rect), 2);
  return info;
}

}  // namespace

void Hints::CreateTooltip(HWND form) {
  tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
}

void Hints::DestroyTooltip() {
  if (tooltip_) DestroyWindow(tooltip_);
  tooltip_ = nullptr;
}

void Hints::Set(HWND control, const std::string& hint, bool tooltip) {
  hints_[control] = hint;
  if (!tooltip || !tooltip_) return;
  std::string shortPart = HintShortPart(hint);
  TTTOOLINFOA info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = GetParent(control);
  info.uId = reinterpret_cast<UINT_PTR>(control);
  info.lpszText = shortPart.data();
  SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
  // A disabled control gets no mouse messages (they go to its parent), and the tool tip looks
  // for its tool with WindowFromPoint, which passes over disabled windows too. So the control's
  // place on its parent is a second tool with the same text; the controls with tool tips never
  // move on their page but at a new DPI (Moved).
  TTTOOLINFOA place = PlaceTool(control);
  place.lpszText = shortPart.data();
  SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&place));
}

void Hints::Moved() {
  if (!tooltip_) return;
  for (const auto& [control, hint] : hints_) {
    TTTOOLINFOA place = PlaceTool(control);
    SendMessageA(tooltip_, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&place));
  }
}

std::string Hints::Of(HWND control, HWND form) const {
  for (HWND h = control; h && h != form; h = GetParent(h)) {
    auto it = hints_.find(h);
    if (it != hints_.end()) return it->second;
  }
  return {};
}

bool Hints::PointerTarget(const MSG& msg, HWND form, HWND* control) {
  if (msg.message == WM_MOUSEMOVE) {
    // Over a disabled control the move goes to its parent; the hint is the control's all the
    // same, found from there (ChildWindowFromPointEx, unlike WindowFromPoint, keeps disabled
    // windows).
    HWND target = msg.hwnd;
    POINT pt{static_cast<short>(LOWORD(msg.lParam)), static_cast<short>(HIWORD(msg.lParam))};
    for (;;) {
      HWND child = ChildWindowFromPointEx(target, pt, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
      if (!child || child == target) break;
      MapWindowPoints(target, child, &pt, 1);
      target = child;
    }
    // Asked only while the pointer is really over the window: for a move posted from elsewhere
    // the system would report the leave at once.
    if (msg.hwnd != tracked_ && PointerIsOver(form)) {
      TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, msg.hwnd, 0};
      if (TrackMouseEvent(&track)) tracked_ = msg.hwnd;
    }
    *control = target;
    return true;
  }
  if (msg.message == WM_MOUSELEAVE) {
    if (msg.hwnd == tracked_) tracked_ = nullptr;
    // Off the window, no control's hint applies; moving between controls is no leave.
    *control = nullptr;
    return !PointerIsOver(form);
  }
  return false;
}

std::optional<std::string> Hints::Show(HWND control, HWND form) {
  std::string hint = Of(control, form);
  if (hint == current_) return std::nullopt;
  current_ = std::move(hint);
  return HintLongPart(current_);
}

}  // namespace calvorin::win32
