#include "app/TestDriver.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/Utf.h"
#include "layout/Form1Layout.h"

namespace tagkana::win32 {
namespace {

constexpr UINT kMark = WM_APP + 7;
constexpr UINT kInspectProgress = WM_APP + 8;
constexpr auto kTimeout = std::chrono::seconds(20);
constexpr const char16_t* kControls[] = {u"btnEnd",    u"Drive1",       u"Dir1",
                                         u"File1",     u"List1",        u"btnGet",
                                         u"btnChange", u"btnSelectall", u"btnClear"};

std::wstring environment(const wchar_t* name) {
  std::wstring value(32768, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
  return value;
}

std::u16string escaped(std::u16string text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == u'\r') {
      continue;
    }
    out += c == u'\n' ? std::u16string(u"\\n") : std::u16string(1, c);
  }
  return out;
}

std::u16string number(long long value) {
  return fromUtf8(std::to_string(value));
}

std::u16string listRow(HWND list, UINT lengthMessage, UINT textMessage, int index) {
  const auto length = SendMessageW(list, lengthMessage, static_cast<WPARAM>(index), 0);
  std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
  SendMessageW(list, textMessage, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(std::max<LRESULT>(length, 0)));
  return fromWide(text);
}

std::u16string menuItems(HMENU menu) {
  std::u16string items;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[256] = {};
    if (GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION) == 0) {
      wcscpy(text, L"-");
    }
    items += (i == 0 ? u"" : u"|") + fromWide(text);
  }
  return items;
}

}  // namespace

TestDriver::TestDriver(Form1& form)
    : m_form(form), m_uiThread(GetWindowThreadProcessId(form.window(), nullptr)) {
  const std::wstring script = environment(L"TAGKANA_DRIVER");
  const std::wstring logFile = environment(L"TAGKANA_DRIVER_LOG");
  if (script.empty() || logFile.empty()) {
    return;
  }
  std::ifstream in(std::filesystem::path(script), std::ios::binary);
  std::vector<Step> steps;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.empty() || line[0] == '#') {
      continue;
    }
    Step step;
    std::istringstream words(line);
    for (std::string word; std::getline(words, word, '\t');) {
      step.push_back(fromUtf8(word));
    }
    steps.push_back(std::move(step));
  }
  m_log = _wfopen(logFile.c_str(), L"wb");
  SetWindowSubclass(form.window(), markProc, 7, reinterpret_cast<DWORD_PTR>(this));
  m_thread = std::thread([this, steps] { run(steps); });
}

TestDriver::~TestDriver() {
  m_stop = true;
  if (m_thread.joinable()) {
    m_thread.join();
  }
  if (m_log != nullptr) {
    std::fclose(m_log);
  }
}

LRESULT CALLBACK TestDriver::markProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR driver) {
  if (message == kMark) {
    reinterpret_cast<TestDriver*>(driver)->m_marked = static_cast<long>(wParam);
    return 0;
  }
  if (message == kInspectProgress) {
    reinterpret_cast<TestDriver*>(driver)->inspectProgress();
    return 0;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

// On the window's thread, between two files of a run: what the progress box,
// the pointer and the window show; then the box's キャンセル is pressed.
void TestDriver::inspectProgress() {
  const HWND box = FindWindowW(L"TagkanaProgress", nullptr);
  if (box == nullptr || !IsWindowVisible(box)) {
    log(u"progress\tnone");
    return;
  }
  const bool busy = GetCursor() == LoadCursorW(nullptr, IDC_WAIT);
  // The commands take no input; the ways out do.
  const bool enabled = IsWindowEnabled(m_form.find(u"btnGet").window) != FALSE;
  const bool end = IsWindowEnabled(m_form.find(u"btnEnd").window) != FALSE &&
                   IsWindowEnabled(m_form.window()) != FALSE;
  log(u"progress\t" + windowText(GetDlgItem(box, 1001)) + u"\t" +
      windowText(GetDlgItem(box, 1002)) + (busy ? u"\tbusy" : u"\tarrow") +
      (enabled ? u"\tenabled\t" : u"\tdisabled\t") + windowText(GetDlgItem(box, IDCANCEL)) +
      (end ? u"\tend" : u"\tnoend"));
  SendMessageW(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
}

void TestDriver::run(const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    if (m_stop) {
      return;
    }
    perform(step);
  }
  log(u"done");
}

void TestDriver::log(std::u16string_view line) {
  const std::string text = toUtf8(line) + "\n";
  std::fwrite(text.data(), 1, text.size(), m_log);
  std::fflush(m_log);
}

void TestDriver::waitFor(const std::function<bool()>& done, std::u16string_view what) {
  const auto until = std::chrono::steady_clock::now() + kTimeout;
  while (!done()) {
    if (m_stop) {
      return;
    }
    if (std::chrono::steady_clock::now() > until) {
      log(u"FAIL\ttimed out waiting for " + std::u16string(what));
      TerminateProcess(GetCurrentProcess(), 3);
    }
    Sleep(20);
  }
}

// Every message posted so far has been handled and no handler runs.
void TestDriver::waitIdle() {
  const long mark = ++m_posted;
  PostMessageW(m_form.window(), kMark, static_cast<WPARAM>(mark), 0);
  waitFor([this, mark] { return m_marked >= mark && m_form.handlersRunning() == 0; }, u"idle");
}

namespace {

struct WindowSearch {
  DWORD thread;
  const wchar_t* kind;
  HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<WindowSearch*>(data);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (GetWindowThreadProcessId(window, nullptr) == search.thread && IsWindowVisible(window) &&
      wcscmp(name, search.kind) == 0) {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND TestDriver::shownWindowOfClass(const wchar_t* kind) const {
  WindowSearch search{m_uiThread, kind, nullptr};
  EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND TestDriver::named(std::u16string_view name) const {
  const HWND window = m_form.find(name).window;
  if (window == nullptr) {
    const_cast<TestDriver*>(this)->log(u"FAIL\tno control " + std::u16string(name));
    TerminateProcess(GetCurrentProcess(), 3);
  }
  return window;
}

void TestDriver::dump(std::u16string_view name) {
  const HWND window = named(name);
  wchar_t kind[64] = {};
  GetClassNameW(window, kind, 64);
  const std::u16string prefix = std::u16string(name) + u"\t";
  if (_wcsicmp(kind, WC_LISTBOXW) == 0) {
    const auto count = SendMessageW(window, LB_GETCOUNT, 0, 0);
    log(prefix + u"count\t" + number(count));
    for (int i = 0; i < count; ++i) {
      const bool selected = SendMessageW(window, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0;
      log(prefix + number(i) + (selected ? u"\t*\t" : u"\t-\t") +
          listRow(window, LB_GETTEXTLEN, LB_GETTEXT, i));
    }
    return;
  }
  log(prefix + windowText(window));
}

// A box stands centred on the window while it is shown, else on the work
// area, within the work area either way.
void TestDriver::checkCentred(HWND box) {
  const HWND form = m_form.window();
  const bool onForm = IsWindowVisible(form) != FALSE;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(onForm ? form : box, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  RECT around = work;
  if (onForm) {
    GetWindowRect(form, &around);
  }
  RECT shape{};
  GetWindowRect(box, &shape);
  const LONG width = shape.right - shape.left;
  const LONG height = shape.bottom - shape.top;
  const LONG x = std::clamp<LONG>((around.left + around.right - width) / 2, work.left,
                                  std::max<LONG>(work.left, work.right - width));
  const LONG y = std::clamp<LONG>((around.top + around.bottom - height) / 2, work.top,
                                  std::max<LONG>(work.top, work.bottom - height));
  if (std::abs(shape.left - x) > 2 || std::abs(shape.top - y) > 2) {
    log(u"FAIL\tbox at " + number(shape.left) + u"," + number(shape.top) + u", not " + number(x) +
        u"," + number(y));
  }
}

void TestDriver::perform(const Step& step) {
  const std::u16string& verb = step[0];
  auto arg = [&step](std::size_t i) { return i < step.size() ? step[i] : std::u16string(); };
  const HWND form = m_form.window();
  if (verb == u"wait") {
    waitIdle();
  } else if (verb == u"click") {
    const NamedItem item = m_form.find(arg(1));
    if (item.window != nullptr) {
      PostMessageW(item.window, BM_CLICK, 0, 0);
    } else if (item.command != 0) {
      PostMessageW(form, WM_COMMAND, MAKEWPARAM(item.command, BN_CLICKED), 0);
    } else {
      named(arg(1));
    }
  } else if (verb == u"drive") {
    const HWND combo = named(u"Drive1");
    const auto index = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(wide(arg(1)).c_str()));
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageW(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  } else if (verb == u"open") {
    const HWND list = named(u"Dir1");
    const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
      std::u16string row = listRow(list, LB_GETTEXTLEN, LB_GETTEXT, i);
      row.erase(0, row.find_first_not_of(u' '));
      if (row == arg(1)) {
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
        PostMessageW(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_DBLCLK),
                     reinterpret_cast<LPARAM>(list));
        waitIdle();
        return;
      }
    }
    log(u"FAIL\tDir1 has no " + arg(1));
    TerminateProcess(GetCurrentProcess(), 3);
  } else if (verb == u"select") {
    const HWND list = named(arg(1));
    for (std::size_t i = 2; i < step.size(); ++i) {
      SendMessageW(list, LB_SETSEL, TRUE, std::stol(toUtf8(step[i])));
    }
  } else if (verb == u"progress") {
    // Handled inside the run that the step before started.
    PostMessageW(form, kInspectProgress, 0, 0);
  } else if (verb == u"delete") {
    // A file that goes away behind the window's back.
    if (!DeleteFileW(wide(arg(1)).c_str())) {
      log(u"FAIL\tcannot delete " + arg(1));
      TerminateProcess(GetCurrentProcess(), 3);
    }
  } else if (verb == u"close") {
    PostMessageW(form, WM_CLOSE, 0, 0);
  } else if (verb == u"rightclick") {
    PostMessageW(named(arg(1)), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(8, 8));
  } else if (verb == u"menu") {
    HWND menu = nullptr;
    waitFor([&] { return (menu = shownWindowOfClass(L"#32768")) != nullptr; }, u"a popup menu");
    log(u"menu\t" + menuItems(reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0))));
    if (arg(1) == u"Escape") {
      PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
      PostMessageW(menu, WM_CHAR, arg(1).empty() ? 0 : arg(1)[0], 0);
    }
    waitFor([&] { return !IsWindowVisible(menu); }, u"the menu to close");
    waitIdle();
  } else if (verb == u"items") {
    log(arg(1) + u"\t" + menuItems(m_form.find(arg(1)).menu));
  } else if (verb == u"menubar") {
    log(u"menubar\t" + menuItems(GetMenu(form)));
  } else if (verb == u"showing") {
    waitFor([&] { return shownWindowOfClass(L"#32770") != nullptr; }, u"a message box");
  } else if (verb == u"box") {
    HWND box = nullptr;
    waitFor([&] { return (box = shownWindowOfClass(L"#32770")) != nullptr; }, u"a message box");
    wchar_t text[8192] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 8192);
    const bool cancel = GetDlgItem(box, IDCANCEL) != nullptr;
    // The icon is a static control: 20 on Windows, 1088 on Wine.
    HWND icon = GetDlgItem(box, 20) != nullptr ? GetDlgItem(box, 20) : GetDlgItem(box, 1088);
    const bool hasIcon = icon != nullptr && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
    // A text too long for a plain box comes in a field that scrolls.
    wchar_t field[16] = {};
    GetClassNameW(GetDlgItem(box, 0xFFFF), field, 16);
    log(u"box\t" + windowText(box) + (cancel ? u"\tOK,Cancel" : u"\tOK") +
        (hasIcon ? u"\ticon" : u"\tnoicon") +
        (_wcsicmp(field, L"Edit") == 0 ? u"\tscrolls\t" : u"\tplain\t") + escaped(fromWide(text)));
    if (_wcsicmp(field, L"Edit") == 0) {
      // The line at the top of the field's view.
      HWND edit = GetDlgItem(box, 0xFFFF);
      std::array<wchar_t, 1024> line{};
      line[0] = static_cast<wchar_t>(line.size() - 1);
      const auto first = SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
      const auto length = SendMessageW(edit, EM_GETLINE, static_cast<WPARAM>(first),
                                       reinterpret_cast<LPARAM>(line.data()));
      log(u"top\t" + fromWide(std::wstring_view(line.data(), static_cast<std::size_t>(length))));
    }
    checkCentred(box);
    PostMessageW(box, WM_COMMAND, arg(1) == u"Cancel" ? IDCANCEL : IDOK, 0);
    waitFor([&] { return !IsWindow(box); }, u"the box to close");
  } else if (verb == u"dump") {
    dump(arg(1));
  } else if (verb == u"type") {
    // Keys typed in a list: where its caret goes.
    const HWND list = named(arg(1));
    for (char16_t key : arg(2)) {
      PostMessageW(list, WM_CHAR, key, 0);
    }
    waitIdle();
    const bool several =
        (GetWindowLongW(list, GWL_STYLE) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0;
    const auto caret = SendMessageW(list, several ? LB_GETCARETINDEX : LB_GETCURSEL, 0, 0);
    log(u"type\t" + arg(1) + u"\t" +
        listRow(list, LB_GETTEXTLEN, LB_GETTEXT, static_cast<int>(caret)));
  } else if (verb == u"extent") {
    // Whether the list scrolls sideways to its widest row.
    const HWND list = named(arg(1));
    RECT client{};
    GetClientRect(list, &client);
    const auto extent = SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0);
    log(u"extent\t" + arg(1) + (extent > client.right ? u"\twider" : u"\twithin"));
  } else if (verb == u"hover") {
    // The pointer over a row: the tooltip shown, if any.
    const HWND list = named(arg(1));
    RECT row{};
    SendMessageW(list, LB_GETITEMRECT, std::stoul(toUtf8(arg(2))), reinterpret_cast<LPARAM>(&row));
    POINT at{row.left + 8, row.top + 2};
    ClientToScreen(list, &at);
    SetCursorPos(at.x, at.y);  // where a real pointer would be
    PostMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(row.left + 8, row.top + 2));
    waitIdle();
    const HWND tip = shownWindowOfClass(TOOLTIPS_CLASSW);
    if (tip == nullptr) {
      log(u"tip\tnone");
      return;
    }
    std::wstring text(4096, L'\0');
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = form;
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    tool.lpszText = text.data();
    SendMessageW(tip, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
    text.resize(std::wcslen(text.c_str()));
    log(u"tip\t" + fromWide(text));
  } else if (verb == u"active") {
    // After a box: the window is active again, the focus on one of its controls.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(m_uiThread, &gui);
    log(gui.hwndActive == form && IsChild(form, gui.hwndFocus) ? u"active\tForm1"
                                                               : u"active\tother");
  } else if (verb == u"altf") {
    // Alt+F from the keyboard, as a user presses it: the file menu opens.
    std::array<INPUT, 4> keys{};
    const WORD codes[] = {VK_MENU, 'F', 'F', VK_MENU};
    for (std::size_t i = 0; i < keys.size(); ++i) {
      keys[i].type = INPUT_KEYBOARD;
      keys[i].ki.wVk = codes[i];
      keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
    HWND menu = nullptr;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((menu = shownWindowOfClass(L"#32768")) == nullptr &&
           std::chrono::steady_clock::now() < until) {
      Sleep(20);
    }
    if (menu == nullptr) {
      log(u"altf\tnone");
      return;
    }
    log(u"altf\t" + menuItems(reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0))));
    PostMessageW(form, WM_CANCELMODE, 0, 0);
    waitFor([&] { return !IsWindowVisible(menu); }, u"the menu to close");
    waitIdle();
  } else if (verb == u"rects") {
    const UINT dpi = GetDpiForWindow(form);
    auto twips = [dpi](LONG pixels) {
      return number(std::lround(pixels * layout::kTwipsPerPixel * 96.0 / dpi));
    };
    log(u"dpi\t" + number(dpi));
    MINMAXINFO limits{};
    SendMessageW(form, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    log(u"minimum\t" + twips(limits.ptMinTrackSize.x) + u"\t" + twips(limits.ptMinTrackSize.y));
    RECT outer{};
    GetWindowRect(form, &outer);
    log(u"rect\tForm1\t" + twips(outer.left) + u"\t" + twips(outer.top) + u"\t" +
        twips(outer.right - outer.left) + u"\t" + twips(outer.bottom - outer.top));
    for (const char16_t* name : kControls) {
      RECT r{};
      GetWindowRect(named(name), &r);
      MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&r), 2);
      log(u"rect\t" + std::u16string(name) + u"\t" + twips(r.left) + u"\t" + twips(r.top) + u"\t" +
          twips(r.right - r.left) + u"\t" + twips(r.bottom - r.top));
    }
  } else if (verb == u"size") {
    const UINT dpi = GetDpiForWindow(form);
    auto pixels = [dpi](const std::u16string& twips) {
      return static_cast<int>(std::stol(toUtf8(twips)) * static_cast<long>(dpi) /
                              (96L * layout::kTwipsPerPixel));
    };
    SetWindowPos(form, nullptr, 0, 0, pixels(arg(1)), pixels(arg(2)),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    waitIdle();
  } else if (verb == u"focus" || verb == u"key") {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(m_uiThread, &gui);
    if (verb == u"key") {
      const WPARAM key = arg(1) == u"Tab" ? VK_TAB : arg(1) == u"F5" ? VK_F5 : VK_RETURN;
      PostMessageW(gui.hwndFocus, WM_KEYDOWN, key, 0);
      waitIdle();
      return;
    }
    std::u16string name = u"?";
    for (const char16_t* candidate : kControls) {
      if (m_form.find(candidate).window == gui.hwndFocus) {
        name = candidate;
      }
    }
    log(u"focus\t" + name);
  } else if (verb == u"shot") {
    // The script outside takes the picture and then makes the file.
    Sleep(300);  // for the last paints to reach the screen
    log(u"shot\t" + arg(1));
    const std::wstring file = wide(arg(1));
    waitFor([&] { return GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES; },
            u"the screenshot");
  } else {
    log(u"FAIL\tunknown step " + verb);
    TerminateProcess(GetCurrentProcess(), 3);
  }
}

}  // namespace tagkana::win32
