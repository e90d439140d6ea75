#include "win32/SystemMessageBoxes.h"

#include <algorithm>
#include <string_view>

#include "commands/WindowTexts.h"
#include "win32/ListControls.h"

namespace tagkana::win32 {
namespace {

// The controls of a long box carry the identifiers of a plain one's: its text
// 0xFFFF, its icon 20, the buttons IDOK and IDCANCEL.
constexpr int kTextId = 0xFFFF;
constexpr int kIconId = 20;
constexpr int kFirstLinesId = 0xFFFE;

struct LongBox {
  std::wstring text;
  std::wstring firstLines;
  std::wstring title;
  BoxButtons buttons;
  BoxIcon icon;
  HWND owner;
  std::size_t topLine = 0;  // the line at the top of the field's view
  HFONT font = nullptr;
};

HWND addChild(HWND box, const wchar_t* kind, DWORD style, int id, const std::wstring& text,
              HFONT font) {
  HWND control = CreateWindowExW(kind == std::wstring_view(L"EDIT") ? WS_EX_CLIENTEDGE : 0, kind,
                                 text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, box,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

// Centred on the owner while it is shown, else on the work area (an error
// at start-up); kept within the work area either way.
void centre(HWND box, HWND owner) {
  const bool onOwner = owner != nullptr && IsWindowVisible(owner);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(onOwner ? owner : box, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  RECT around = work;
  if (onOwner) {
    GetWindowRect(owner, &around);
  }
  RECT shape{};
  GetWindowRect(box, &shape);
  const int width = shape.right - shape.left;
  const int height = shape.bottom - shape.top;
  const int x = std::clamp<int>((around.left + around.right - width) / 2, work.left,
                                std::max<int>(work.left, work.right - width));
  const int y = std::clamp<int>((around.top + around.bottom - height) / 2, work.top,
                                std::max<int>(work.top, work.bottom - height));
  SetWindowPos(box, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// MessageBoxW places itself: the box is moved as it first activates.
thread_local HHOOK t_centring = nullptr;
thread_local HWND t_centreOn = nullptr;

LRESULT CALLBACK centreOnActivate(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && t_centring != nullptr) {
    const auto box = reinterpret_cast<HWND>(wParam);
    wchar_t kind[16] = {};
    GetClassNameW(box, kind, 16);
    if (std::wstring_view(kind) == L"#32770") {
      centre(box, t_centreOn);
      UnhookWindowsHookEx(t_centring);
      t_centring = nullptr;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// After a box the window is the active one again, with its focus where it
// was, also where a window manager would leave it inactive.
class FocusBack {
 public:
  explicit FocusBack(HWND owner) : m_owner(owner), m_focus(GetFocus()) {}
  ~FocusBack() {
    if (m_owner == nullptr || !IsWindowVisible(m_owner)) {
      return;
    }
    SetForegroundWindow(m_owner);
    SetActiveWindow(m_owner);
    if (m_focus != nullptr && IsWindow(m_focus) && IsWindowEnabled(m_focus)) {
      SetFocus(m_focus);
    }
  }
  FocusBack(const FocusBack&) = delete;
  FocusBack& operator=(const FocusBack&) = delete;

 private:
  HWND m_owner;
  HWND m_focus;
};

// Icon and first lines at the top, the whole text below in a read-only field
// that scrolls and copies, the buttons at the bottom right.
void layOut(HWND box) {
  const int dpi = static_cast<int>(GetDpiForWindow(box));
  auto px = [dpi](int dips) { return MulDiv(dips, dpi, 96); };
  RECT client{};
  GetClientRect(box, &client);
  const int width = client.right;
  const int height = client.bottom;
  const int margin = px(12);
  const int iconSize = GetSystemMetricsForDpi(SM_CXICON, static_cast<UINT>(dpi));
  const int buttonWidth = px(88);
  const int buttonHeight = px(26);
  const int firstHeight = px(16) * kLongBoxFirstLines;
  auto place = [box](int id, int x, int y, int w, int h) {
    if (HWND control = GetDlgItem(box, id)) {
      SetWindowPos(control, nullptr, x, y, std::max(w, 0), std::max(h, 0),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
  };
  const int textLeft = GetDlgItem(box, kIconId) != nullptr ? margin * 2 + iconSize : margin;
  place(kIconId, margin, margin, iconSize, iconSize);
  place(kFirstLinesId, textLeft, margin, width - textLeft - margin, firstHeight);
  const int buttonTop = height - margin - buttonHeight;
  const int wholeTop = margin * 2 + std::max(firstHeight, iconSize);
  place(kTextId, margin, wholeTop, width - 2 * margin, buttonTop - margin - wholeTop);
  int right = width - margin;
  for (int id : {IDCANCEL, IDOK}) {
    if (GetDlgItem(box, id) != nullptr) {
      place(id, right - buttonWidth, buttonTop, buttonWidth, buttonHeight);
      right -= buttonWidth + px(8);
    }
  }
}

INT_PTR CALLBACK longBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* shown = reinterpret_cast<LongBox*>(GetWindowLongPtrW(box, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      shown = reinterpret_cast<LongBox*>(lParam);
      SetWindowLongPtrW(box, DWLP_USER, lParam);
      SetWindowTextW(box, shown->title.c_str());
      const UINT dpi = GetDpiForWindow(box);
      NONCLIENTMETRICSW metrics{};
      metrics.cbSize = sizeof metrics;
      if (SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
        shown->font = CreateFontIndirectW(&metrics.lfMessageFont);
      }
      if (shown->icon == BoxIcon::Stop) {
        HWND icon = addChild(box, L"STATIC", SS_ICON, kIconId, L"", shown->font);
        SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_HAND)), 0);
      }
      addChild(box, L"STATIC", SS_LEFT | SS_NOPREFIX, kFirstLinesId, shown->firstLines,
               shown->font);
      HWND whole = addChild(box, L"EDIT",
                            ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                                WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
                            kTextId, L"", shown->font);
      SendMessageW(whole, EM_SETLIMITTEXT, 0, 0);
      HWND ok = addChild(box, L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, wide(texts::kOk),
                         shown->font);
      if (shown->buttons == BoxButtons::OkCancel) {
        addChild(box, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, wide(texts::kCancel),
                 shown->font);
      }
      // 640 x 480 where the work area allows, centred on the window.
      MONITORINFO monitor{};
      monitor.cbSize = sizeof monitor;
      GetMonitorInfoW(
          MonitorFromWindow(shown->owner != nullptr ? shown->owner : box, MONITOR_DEFAULTTOPRIMARY),
          &monitor);
      const RECT& work = monitor.rcWork;
      const int width =
          std::min<int>(MulDiv(640, static_cast<int>(dpi), 96), work.right - work.left);
      const int height =
          std::min<int>(MulDiv(480, static_cast<int>(dpi), 96), work.bottom - work.top);
      SetWindowPos(box, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
      centre(box, shown->owner);
      layOut(box);
      // Filled once it has its size, so that it shows the text from the top.
      SetWindowTextW(whole, shown->text.c_str());
      SendMessageW(whole, EM_SETSEL, 0, 0);
      SendMessageW(whole, EM_SCROLLCARET, 0, 0);
      SendMessageW(whole, EM_LINESCROLL, 0, static_cast<LPARAM>(shown->topLine));
      SetFocus(ok);
      return FALSE;  // the focus is set
    }
    case WM_SIZE:
      layOut(box);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(box, LOWORD(wParam));
        return TRUE;
      }
      break;
    case WM_DESTROY:
      if (shown != nullptr && shown->font != nullptr) {
        DeleteObject(shown->font);
        shown->font = nullptr;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

BoxAnswer showLong(LongBox box) {
  // A dialog without items; its controls are made when it starts.
  struct alignas(DWORD) Template {
    DLGTEMPLATE dialog;
    WORD menu = 0;
    WORD windowClass = 0;
    WORD title = 0;
  } shape{};
  shape.dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME;
  const INT_PTR answer =
      DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &shape.dialog, box.owner, longBoxProc,
                              reinterpret_cast<LPARAM>(&box));
  // Esc or closing a box with OK alone is its OK, as in the plain box.
  return answer == IDOK || box.buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

}  // namespace

BoxAnswer SystemMessageBoxes::show(std::u16string_view text, std::u16string_view title,
                                   BoxButtons buttons, BoxIcon icon) {
  return showAt(text, 0, title, buttons, icon);
}

BoxAnswer SystemMessageBoxes::showAt(std::u16string_view text, std::size_t inView,
                                     std::u16string_view title, BoxButtons buttons, BoxIcon icon) {
  const std::wstring shownTitle = wide(title.empty() ? texts::kApplication : title);
  if (!fitsPlainBox(text)) {
    // The first lines, without the line break after them.
    std::size_t end = 0;
    for (int line = 0; line < kLongBoxFirstLines && end < text.size(); ++line) {
      const std::size_t lineEnd = text.find(u'\n', end);
      end = lineEnd == std::u16string_view::npos ? text.size() : lineEnd + 1;
    }
    std::u16string_view first = text.substr(0, end);
    while (!first.empty() && (first.back() == u'\n' || first.back() == u'\r')) {
      first.remove_suffix(1);
    }
    const auto top = std::count(text.begin(), text.begin() + std::min(inView, text.size()), u'\n');
    const FocusBack back(m_owner());
    return showLong(LongBox{wide(text), wide(first), shownTitle, buttons, icon, m_owner(),
                            static_cast<std::size_t>(top)});
  }
  UINT type = MB_APPLMODAL | MB_DEFBUTTON1 | MB_SETFOREGROUND;
  type |= buttons == BoxButtons::OkCancel ? MB_OKCANCEL : MB_OK;
  type |= icon == BoxIcon::Stop ? MB_ICONSTOP : 0;
  const HWND owner = m_owner();
  const FocusBack back(owner);
  t_centreOn = owner;
  t_centring = SetWindowsHookExW(WH_CBT, centreOnActivate, nullptr, GetCurrentThreadId());
  const int answer = MessageBoxW(owner, wide(text).c_str(), shownTitle.c_str(), type);
  if (t_centring != nullptr) {
    UnhookWindowsHookEx(t_centring);
    t_centring = nullptr;
  }
  // Closing a box with OK alone answers OK; with Cancel, Cancel.
  return answer == IDOK ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

}  // namespace tagkana::win32
