#include "win32/ProgressBox.h"

#include <commctrl.h>

#include "commands/WindowTexts.h"
#include "common/Utf.h"
#include "win32/ListControls.h"

namespace tagkana::win32 {
namespace {

constexpr wchar_t kBoxClass[] = L"TagkanaProgress";
// Often enough to repaint well within 100 ms, seldom enough to cost little.
constexpr std::chrono::milliseconds kPumpEvery{25};

HWND child(HWND parent, const wchar_t* kind, DWORD style, int id, HFONT font, const RECT& at) {
  HWND control = CreateWindowExW(0, kind, L"", WS_CHILD | WS_VISIBLE | style, at.left, at.top,
                                 at.right - at.left, at.bottom - at.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return control;
}

}  // namespace

ProgressBox::ProgressBox(HWND owner, HFONT font, std::chrono::milliseconds delay,
                         std::function<void(bool)> takeInput)
    : m_owner(owner), m_font(font), m_delay(delay), m_takeInput(std::move(takeInput)) {
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

ProgressBox::~ProgressBox() {
  end();
  POINT at{};
  GetCursorPos(&at);
  SetCursorPos(at.x, at.y);  // the pointer is asked for its shape again
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

LRESULT CALLBACK ProgressBox::boxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<ProgressBox*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr &&
      ((message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) || message == WM_CLOSE)) {
    self->cancel();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void ProgressBox::build() {
  WNDCLASSEXW kind{};
  kind.cbSize = sizeof kind;
  kind.lpfnWndProc = boxProc;
  kind.hInstance = GetModuleHandleW(nullptr);
  kind.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  kind.lpszClassName = kBoxClass;
  RegisterClassExW(&kind);  // fails harmlessly when already registered

  const UINT dpi = GetDpiForWindow(m_owner);
  auto px = [dpi](int dips) { return MulDiv(dips, static_cast<int>(dpi), 96); };
  RECT outer{0, 0, px(400), px(130)};
  AdjustWindowRectExForDpi(&outer, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_DLGMODALFRAME,
                           dpi);
  RECT owner{};
  GetWindowRect(m_owner, &owner);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  m_box =
      CreateWindowExW(WS_EX_DLGMODALFRAME, kBoxClass, wide(texts::kApplication).c_str(),
                      WS_POPUP | WS_CAPTION | WS_SYSMENU, (owner.left + owner.right - width) / 2,
                      (owner.top + owner.bottom - height) / 2, width, height, m_owner, nullptr,
                      GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(m_box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  m_count = child(m_box, L"STATIC", SS_LEFT, 1001, m_font, {px(12), px(10), px(388), px(30)});
  m_file = child(m_box, L"STATIC", SS_LEFT | SS_PATHELLIPSIS | SS_NOPREFIX, 1002, m_font,
                 {px(12), px(34), px(388), px(54)});
  m_bar = child(m_box, PROGRESS_CLASSW, 0, 1003, m_font, {px(12), px(60), px(388), px(76)});
  HWND button = child(m_box, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, m_font,
                      {px(288), px(88), px(388), px(116)});
  SetWindowTextW(button, wide(texts::kCancel).c_str());
}

bool ProgressBox::next(int done, int total, std::u16string_view path) {
  m_done = done;
  m_total = total;
  m_path.assign(path);
  const auto now = std::chrono::steady_clock::now();
  if (!m_running) {
    // The confirmation before the run does not count.
    m_running = true;
    m_started = now;
    m_focus = GetFocus();
    m_takeInput(false);
  } else if (m_cancelled || now - m_pumped < kPumpEvery) {
    return !m_cancelled;
  }
  const bool first = m_box == nullptr && now - m_started >= m_delay;
  if (first) {
    build();
  }
  if (m_box != nullptr) {
    SetWindowTextW(m_count, wide(groupedDecimal(done) + u" / " + groupedDecimal(total)).c_str());
    SetWindowTextW(m_file, wide(visibleName(path)).c_str());
    SendMessageW(m_bar, PBM_SETRANGE32, 0, total);
    SendMessageW(m_bar, PBM_SETPOS, static_cast<WPARAM>(done), 0);
  }
  if (first) {
    // Shown with its texts set, and drawn at once: its first frame is whole.
    ShowWindow(m_box, SW_SHOWNORMAL);
    UpdateWindow(m_box);
    SetFocus(GetDlgItem(m_box, IDCANCEL));
  }
  pump();
  m_pumped = std::chrono::steady_clock::now();
  return !m_cancelled;
}

bool ProgressBox::pulse() {
  if (!m_running) {
    return !m_cancelled;
  }
  const std::u16string path = m_path;
  return next(m_done, m_total, path);
}

void ProgressBox::pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the main loop, after the run.
      PostQuitMessage(static_cast<int>(message.wParam));
      m_cancelled = true;
      return;
    }
    if (m_box != nullptr && IsDialogMessageW(m_box, &message)) {
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void ProgressBox::end() {
  if (!m_running) {
    return;
  }
  m_running = false;
  // The window takes input again before the box goes, so that the focus
  // does not go to another program.
  m_takeInput(true);
  if (m_box != nullptr) {
    DestroyWindow(m_box);
    m_box = nullptr;
  }
  if (m_focus != nullptr && IsWindow(m_focus)) {
    SetFocus(m_focus);
  }
}

}  // namespace tagkana::win32
