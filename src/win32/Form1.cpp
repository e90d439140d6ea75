#include "win32/Form1.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>

#include "commands/WindowTexts.h"
#include "common/RuntimeError.h"
#include "platform/Drives.h"
#include "win32/ProgressBox.h"

namespace tagkana::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"TagkanaForm1";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

// Command identifiers: controls from 101 in tab order, menu items from 201.
// 1 and 2 stay free: the dialog keys send them as IDOK and IDCANCEL.
enum : UINT {
  idBtnEnd = 101,
  idDrive1,
  idDir1,
  idFile1,
  idList1,
  idBtnGet,
  idBtnChange,
  idBtnSelectall,
  idBtnClear,
  idMenStart = 201,
  idMenExit,
  idMenSelectall1,
  idMenUnselectall1,
  idMenLine1,
  idMenClear1,
  idMenSelectall2,
  idMenUnselectall2,
  idMenLine2,
  idMenUnReadonly,
};

int toPixels(float twips, UINT dpi) {
  return static_cast<int>(std::lround(twips / layout::kTwipsPerPixel * dpi / 96.0));
}

float toTwips(int pixels, UINT dpi) {
  return static_cast<float>(pixels * layout::kTwipsPerPixel * 96.0 / dpi);
}

RECT rectInParent(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace

// A control's geometry in twips; it keeps whole pixels. A drop-down list's
// height is that of its closed box, and its list opens below.
class Form1::TwipsControl final : public layout::Control {
 public:
  TwipsControl(HWND control, const UINT& dpi, bool dropDown)
      : m_control(control), m_dpi(dpi), m_dropDown(dropDown) {}
  float Left() const override { return toTwips(rectInParent(m_control).left, m_dpi); }
  float Top() const override { return toTwips(rectInParent(m_control).top, m_dpi); }
  float Width() const override {
    const RECT r = rectInParent(m_control);
    return toTwips(r.right - r.left, m_dpi);
  }
  float Height() const override {
    const RECT r = rectInParent(m_control);
    return toTwips(r.bottom - r.top, m_dpi);
  }
  void setLeft(float twips) override { move(toPixels(twips, m_dpi), rectInParent(m_control).top); }
  void setTop(float twips) override { move(rectInParent(m_control).left, toPixels(twips, m_dpi)); }
  void setWidth(float twips) override {
    const RECT r = rectInParent(m_control);
    size(std::max(0, toPixels(twips, m_dpi)), r.bottom - r.top);
  }
  void setHeight(float twips) override {
    const RECT r = rectInParent(m_control);
    size(r.right - r.left, std::max(0, toPixels(twips, m_dpi)));
  }

 private:
  void move(int x, int y) {
    SetWindowPos(m_control, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void size(int width, int height) {
    if (m_dropDown) {
      height = MulDiv(240, static_cast<int>(m_dpi), 96);  // room for the opened list
    }
    SetWindowPos(m_control, nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  HWND m_control;
  const UINT& m_dpi;
  bool m_dropDown;
};

// The window's outer size in twips, frame and menu bar included. A set
// sends WM_SIZE, and so runs the layout again, before it returns.
class Form1::OuterSize final : public layout::Window {
 public:
  explicit OuterSize(Form1& form) : m_form(form) {}
  bool minimized() const override { return IsIconic(m_form.m_window) != FALSE; }
  float Width() const override {
    const RECT r = outer();
    return toTwips(r.right - r.left, m_form.m_dpi);
  }
  float Height() const override {
    const RECT r = outer();
    return toTwips(r.bottom - r.top, m_form.m_dpi);
  }
  // Rounded up, so that a minimum in twips is never missed by a pixel.
  void setWidth(float twips) override {
    const RECT r = outer();
    resize(pixelsAtLeast(twips), r.bottom - r.top);
  }
  void setHeight(float twips) override {
    const RECT r = outer();
    resize(r.right - r.left, pixelsAtLeast(twips));
  }

 private:
  RECT outer() const {
    RECT r{};
    GetWindowRect(m_form.m_window, &r);
    return r;
  }
  int pixelsAtLeast(float twips) const {
    return static_cast<int>(std::ceil(twips / layout::kTwipsPerPixel * m_form.m_dpi / 96.0));
  }
  void resize(int width, int height) {
    SetWindowPos(m_form.m_window, nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  Form1& m_form;
};

Form1::Form1(TagLibrary& library, MessageBoxes& boxes, platform::FileSystem& files,
             std::chrono::milliseconds progressDelay)
    : m_progressDelay(progressDelay),
      m_controller(*this, library, boxes, files, platform::systemDrive()) {}

Form1::~Form1() {
  if (m_window != nullptr && IsWindow(m_window)) {
    DestroyWindow(m_window);
  }
  DestroyMenu(menPopup1);
  DestroyMenu(menPopup2);
  if (m_font != nullptr) {
    DeleteObject(m_font);
  }
}

bool Form1::create(int show) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW kind{};
  kind.cbSize = sizeof kind;
  kind.lpfnWndProc = windowProc;
  kind.hInstance = instance;
  kind.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  kind.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  kind.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  kind.lpszClassName = kWindowClass;
  RegisterClassExW(&kind);

  m_window = CreateWindowExW(0, kWindowClass, wide(texts::kForm1).c_str(), kWindowStyle,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                             nullptr, instance, this);
  if (m_window == nullptr) {
    m_controller.showRuntimeError(RuntimeError(u"ウィンドウを作成できませんでした。"));
    return false;
  }
  m_names[u"Form1"].window = m_window;
  m_dpi = GetDpiForWindow(m_window);
  createControls();
  createMenus();
  wireEvents();
  applyFont();
  placeFirst();
  if (!m_controller.Form_Load()) {
    return false;
  }
  ShowWindow(m_window, show);
  UpdateWindow(m_window);
  SetFocus(find(u"btnEnd").window);
  return true;
}

HWND Form1::addControl(const char16_t* name, const wchar_t* kind, DWORD style,
                       std::u16string_view text, float left, float top, float width, float height) {
  const auto id = static_cast<UINT>(idBtnEnd + m_twips.size());
  HWND control = CreateWindowExW(
      0, kind, wide(text).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 0, 0, m_window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  m_names[name] = NamedItem{control, nullptr, id};
  auto twips =
      std::make_unique<TwipsControl>(control, m_dpi, kind == std::wstring_view(WC_COMBOBOXW));
  twips->setLeft(left);
  twips->setTop(top);
  twips->setWidth(width);
  twips->setHeight(height);
  m_twips.push_back(std::move(twips));
  return control;
}

void Form1::createControls() {
  const DWORD list = WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
  // Created in tab order, which is also the order of the identifiers.
  addControl(u"btnEnd", WC_BUTTONW, BS_PUSHBUTTON, texts::kBtnEnd, 6600, 7080, 1000, 375);
  HWND drive =
      addControl(u"Drive1", WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL, u"", 120, 0, 2535, 300);
  HWND dir = addControl(u"Dir1", WC_LISTBOXW, list, u"", 120, 360, 2535, 3030);
  HWND file = addControl(u"File1", WC_LISTBOXW, list | LBS_EXTENDEDSEL | WS_HSCROLL, u"", 2760, 0,
                         4815, 3510);
  HWND preview = addControl(u"List1", WC_LISTBOXW, list | LBS_MULTIPLESEL | WS_HSCROLL, u"", 120,
                            3600, 7455, 3420);
  addControl(u"btnGet", WC_BUTTONW, BS_PUSHBUTTON, texts::kBtnGet, 4200, 7080, 1000, 375);
  addControl(u"btnChange", WC_BUTTONW, BS_PUSHBUTTON, texts::kBtnChange, 5400, 7080, 1000, 375);
  addControl(u"btnSelectall", WC_BUTTONW, BS_PUSHBUTTON, texts::kBtnSelectall, 120, 7080, 1000,
             375);
  addControl(u"btnClear", WC_BUTTONW, BS_PUSHBUTTON, texts::kBtnClear, 1200, 7080, 1000, 375);

  Drive1 = std::make_unique<DriveList>(drive);
  Dir1 = std::make_unique<DirList>(dir);
  File1 = std::make_unique<FileListBox>(file);
  List1 = std::make_unique<PreviewListBox>(preview);
  Drive1->refill();
  for (HWND control : {dir, file, preview}) {
    SetWindowSubclass(control, controlProc, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  createRowTip(preview);

  auto& t = m_twips;
  m_layoutControls.reset(
      new layout::Controls{*t[1], *t[2], *t[3], *t[4], *t[0], *t[6], *t[5], *t[7], *t[8]});
  m_outerSize = std::make_unique<OuterSize>(*this);
}

// A preview row cut by the list's width shows whole in a tooltip over it,
// placed by the list as the pointer moves.
void Form1::createRowTip(HWND list) {
  m_rowTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, m_window, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
  tool.hwnd = m_window;
  tool.uId = reinterpret_cast<UINT_PTR>(list);
  tool.lpszText = const_cast<wchar_t*>(L"");
  SendMessageW(m_rowTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Form1::showRowTip(HWND list, LPARAM at) {
  const auto hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, at);
  const int row = HIWORD(hit) != 0 ? -1 : static_cast<int>(LOWORD(hit));
  if (row == m_tipRow) {
    return;
  }
  m_tipRow = row;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = m_window;
  tool.uId = reinterpret_cast<UINT_PTR>(list);
  const std::u16string whole = List1->cutRow(row);
  if (whole.empty()) {
    SendMessageW(m_rowTip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    return;
  }
  const std::wstring text = wide(whole);
  tool.lpszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(m_rowTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  RECT shape{};
  SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&shape));
  POINT corner{shape.left, shape.top};
  ClientToScreen(list, &corner);
  SendMessageW(m_rowTip, TTM_TRACKPOSITION, 0, MAKELPARAM(corner.x, corner.y));
  SendMessageW(m_rowTip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, list, 0};
  TrackMouseEvent(&leave);
}

void Form1::hideRowTip() {
  if (m_tipRow < 0) {
    return;
  }
  m_tipRow = -1;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = m_window;
  tool.uId = reinterpret_cast<UINT_PTR>(find(u"List1").window);
  SendMessageW(m_rowTip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

void Form1::createMenus() {
  auto item = [this](HMENU menu, const char16_t* name, UINT id, std::u16string_view caption) {
    AppendMenuW(menu, MF_STRING, id, wide(caption).c_str());
    m_names[name] = NamedItem{nullptr, menu, id};
  };
  auto separator = [this](HMENU menu, const char16_t* name, UINT id) {
    AppendMenuW(menu, MF_SEPARATOR, id, nullptr);
    m_names[name] = NamedItem{nullptr, menu, id};
  };

  HMENU bar = CreateMenu();
  HMENU menFile = CreatePopupMenu();
  item(menFile, u"menStart", idMenStart, texts::kMenStart);
  item(menFile, u"menExit", idMenExit, texts::kMenExit);
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menFile), wide(texts::kMenFile).c_str());
  m_names[u"menFile"].menu = menFile;
  SetMenu(m_window, bar);

  // The popup menus belong to the window but never show on the bar.
  menPopup1 = CreatePopupMenu();
  m_names[u"menPopup1"].menu = menPopup1;
  item(menPopup1, u"menSelectall1", idMenSelectall1, texts::kMenSelectall);
  item(menPopup1, u"menUnselectall1", idMenUnselectall1, texts::kMenUnselectall);
  separator(menPopup1, u"menLine1", idMenLine1);
  item(menPopup1, u"menClear1", idMenClear1, texts::kMenClear1);

  menPopup2 = CreatePopupMenu();
  m_names[u"menPopup2"].menu = menPopup2;
  item(menPopup2, u"menSelectall2", idMenSelectall2, texts::kMenSelectall);
  item(menPopup2, u"menUnselectall2", idMenUnselectall2, texts::kMenUnselectall);
  separator(menPopup2, u"menLine2", idMenLine2);
  item(menPopup2, u"menUnReadonly", idMenUnReadonly, texts::kMenUnReadonly);
}

void Form1::wireEvents() {
  Form1Controller& c = m_controller;
  m_commands = {
      {idBtnGet, [&c] { c.btnGet_Click(); }},
      {idBtnChange, [&c] { c.btnChange_Click(); }},
      {idBtnSelectall, [&c] { c.selectAllRows(true); }},
      {idBtnClear, [&c] { c.selectAllRows(false); }},
      {idBtnEnd, [&c] { c.closeRequested(); }},
      {idMenStart, [&c] { c.menStart_Click(); }},
      {idMenExit, [&c] { c.closeRequested(); }},
      {idMenSelectall1, [&c] { c.selectAllRows(true); }},
      {idMenUnselectall1, [&c] { c.selectAllRows(false); }},
      {idMenClear1, [&c] { c.menClear1_Click(); }},
      {idMenSelectall2, [&c] { c.selectAllFiles(true); }},
      {idMenUnselectall2, [&c] { c.selectAllFiles(false); }},
      {idMenUnReadonly, [&c] { c.menUnReadonly_Click(); }},
  };
}

// The system's message font at the window's scale.
void Form1::applyFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  HFONT font = nullptr;
  if (SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, m_dpi)) {
    font = CreateFontIndirectW(&metrics.lfMessageFont);
  }
  if (font == nullptr) {
    return;
  }
  for (const auto& [name, item] : m_names) {
    if (item.window != nullptr && item.window != m_window) {
      SendMessageW(item.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
  }
  if (m_font != nullptr) {
    DeleteObject(m_font);
  }
  m_font = font;
}

// The client area starts 7695 x 7575 twips below the menu bar, within the
// screen's work area.
void Form1::placeFirst() {
  RECT outer{0, 0, toPixels(7695, m_dpi), toPixels(7575, m_dpi)};
  AdjustWindowRectExForDpi(&outer, kWindowStyle, TRUE, 0, m_dpi);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(m_window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const int width = static_cast<int>(std::min(outer.right - outer.left, work.right - work.left));
  const int height = static_cast<int>(std::min(outer.bottom - outer.top, work.bottom - work.top));
  RECT now{};
  GetWindowRect(m_window, &now);
  const int x = std::clamp(static_cast<int>(now.left), static_cast<int>(work.left),
                           static_cast<int>(work.right) - width);
  const int y = std::clamp(static_cast<int>(now.top), static_cast<int>(work.top),
                           static_cast<int>(work.bottom) - height);
  SetWindowPos(m_window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

NamedItem Form1::find(std::u16string_view name) const {
  const auto found = m_names.find(name);
  return found == m_names.end() ? NamedItem{} : found->second;
}

bool Form1::preTranslate(MSG& message) {
  if (m_window == nullptr || !IsWindow(m_window)) {
    return false;
  }
  const bool ours = message.hwnd == m_window || IsChild(m_window, message.hwnd);
  if (ours && message.message == WM_KEYDOWN && message.wParam == VK_F5) {
    // The folder and its files as they are now.
    handle([this] { m_controller.refresh(); });
    return true;
  }
  return IsDialogMessageW(m_window, &message) != FALSE;
}

LRESULT CALLBACK Form1::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr || form->m_window != window) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return form->onMessage(message, wParam, lParam);
}

LRESULT Form1::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (m_outerSize) {
        Form_Resize();
      }
      return 0;
    case WM_COMMAND:
      onCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_GETMINMAXINFO: {
      // A window manager that resizes the window keeps to the layout's minimum.
      const auto least = static_cast<LONG>(
          std::ceil(layout::kMinimumSize / layout::kTwipsPerPixel * m_dpi / 96.0));
      reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{least, least};
      return 0;
    }
    case WM_SETCURSOR:
      if (m_controller.running()) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_DPICHANGED: {
      // Every control keeps its place in twips at the new scale.
      std::vector<std::array<float, 4>> places;
      for (const auto& control : m_twips) {
        places.push_back({control->Left(), control->Top(), control->Width(), control->Height()});
      }
      m_dpi = HIWORD(wParam);
      for (std::size_t i = 0; i < m_twips.size(); ++i) {
        m_twips[i]->setLeft(places[i][0]);
        m_twips[i]->setTop(places[i][1]);
        m_twips[i]->setWidth(places[i][2]);
        m_twips[i]->setHeight(places[i][3]);
      }
      applyFont();
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(m_window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CLOSE:
      m_controller.closeRequested();  // the end destroys the window
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(m_window, message, wParam, lParam);
}

LRESULT CALLBACK Form1::controlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR, DWORD_PTR form) {
  return reinterpret_cast<Form1*>(form)->onControlMessage(window, message, wParam, lParam);
}

LRESULT Form1::onControlMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  const UINT id = static_cast<UINT>(GetDlgCtrlID(control));
  if (message == WM_RBUTTONDOWN && (id == idFile1 || id == idList1)) {
    DefSubclassProc(control, message, wParam, lParam);
    handle([this, id] { popup(id == idList1 ? menPopup1 : menPopup2); });
    return 0;
  }
  // Enter in the folder list opens the chosen folder.
  if (id == idDir1 && message == WM_GETDLGCODE && lParam != 0 &&
      reinterpret_cast<const MSG*>(lParam)->wParam == VK_RETURN) {
    return DLGC_WANTALLKEYS;
  }
  if (id == idDir1 && message == WM_KEYDOWN && wParam == VK_RETURN) {
    onCommand(idDir1, LBN_DBLCLK);
    return 0;
  }
  // The list box's own search would match the rows' indentation.
  if (id == idDir1 && message == WM_CHAR && wParam >= L' ') {
    Dir1->typed(static_cast<char16_t>(wParam));
    return 0;
  }
  if (id == idList1) {
    if (message == WM_MOUSEMOVE) {
      showRowTip(control, lParam);
    } else if (message == WM_MOUSELEAVE || message == WM_HSCROLL || message == WM_VSCROLL ||
               message == WM_MOUSEWHEEL || message == WM_KEYDOWN || message == LB_RESETCONTENT) {
      hideRowTip();
    }
  }
  return DefSubclassProc(control, message, wParam, lParam);
}

void Form1::onCommand(UINT id, UINT code) {
  if (id == idDrive1) {
    if (code == CBN_DROPDOWN) {
      handle([this] { Drive1->refill(); });  // drives come and go
    } else if (code == CBN_SELCHANGE) {
      handle([this] {
        if (Drive1->takeUserChoice()) {
          m_controller.Drive1_Change();
        }
      });
    }
    return;
  }
  if (id == idDir1) {
    if (code == LBN_DBLCLK) {
      handle([this] {
        const std::u16string chosen = Dir1->chosenPath();
        if (!chosen.empty()) {
          m_controller.showFolder(chosen);
        }
      });
    }
    return;
  }
  if (code != BN_CLICKED) {
    return;  // list selection changes have no handler of their own
  }
  const auto found = m_commands.find(id);
  if (id == idBtnEnd || id == idMenExit) {
    found->second();  // also during a run, which it stops
  } else if (found != m_commands.end()) {
    handle(found->second);
  }
}

void Form1::Form_Resize() {
  m_controller.handle([this] { m_resize.pass(*m_outerSize, *m_layoutControls, m_formSize); }, true);
  // Controls moved inside a nested size change leave stale pixels behind.
  RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// The chosen item's Click runs before the popup returns.
void Form1::popup(HMENU menu) {
  POINT at{};
  GetCursorPos(&at);
  // Without this a click outside the menu would not close it.
  SetForegroundWindow(m_window);
  const auto chosen = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, at.x,
                     at.y, 0, m_window, nullptr));
  const auto found = m_commands.find(chosen);
  if (found != m_commands.end()) {
    found->second();
  }
}

// A drive that is not listed is a run-time error, as it is in the list's
// own selection.
bool Form1::selectDrive(std::u16string_view path) {
  if (!Drive1->holds(path)) {
    throw RuntimeError(u"ドライブが見つかりません。", std::u16string(path));
  }
  return Drive1->select(path);
}

std::unique_ptr<RunProgress> Form1::beginRun() {
  return std::make_unique<ProgressBox>(m_window, m_font, m_progressDelay,
                                       [this](bool enabled) { setInputEnabled(enabled); });
}

// While a run works only the ways out (終了, its menu item, the close button)
// take input, so that the window can always be closed and nothing else
// changes under the run.
void Form1::setInputEnabled(bool enabled) {
  for (const char16_t* name : {u"Drive1", u"Dir1", u"File1", u"List1", u"btnGet", u"btnChange",
                               u"btnSelectall", u"btnClear"}) {
    EnableWindow(find(name).window, enabled ? TRUE : FALSE);
  }
  EnableMenuItem(GetMenu(m_window), idMenStart, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace tagkana::win32
