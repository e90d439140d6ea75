#include "win32/ListControls.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "common/RuntimeError.h"
#include "common/Utf.h"
#include "platform/Drives.h"
#include "platform/Listing.h"
#include "platform/Paths.h"

namespace tagkana::win32 {
namespace {

void addRow(HWND list, UINT message, std::u16string_view shown) {
  const std::wstring text = wide(visibleName(shown));
  SendMessageW(list, message, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// A control's font in its device context, for measuring its texts.
class TextMeasure {
 public:
  explicit TextMeasure(HWND control) : m_control(control), m_dc(GetDC(control)) {
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    m_old = font != nullptr ? SelectObject(m_dc, font) : nullptr;
  }
  ~TextMeasure() {
    if (m_old != nullptr) {
      SelectObject(m_dc, m_old);
    }
    ReleaseDC(m_control, m_dc);
  }
  TextMeasure(const TextMeasure&) = delete;
  TextMeasure& operator=(const TextMeasure&) = delete;

  int width(const std::wstring& text) const {
    SIZE size{};
    GetTextExtentPoint32W(m_dc, text.c_str(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
  }

 private:
  HWND m_control;
  HDC m_dc;
  HGDIOBJ m_old;
};

}  // namespace

std::wstring wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

std::u16string fromWide(std::wstring_view text) {
  return std::u16string(text.begin(), text.end());
}

std::u16string windowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return fromWide(text);
}

void DriveList::refill() {
  m_drives = platform::listDrives();
  if (!m_drive.empty() && indexOf(m_drive) < 0) {
    m_drives.push_back(m_drive);  // a drive that went away stays while selected
  }
  SendMessageW(m_combo, CB_RESETCONTENT, 0, 0);
  for (const std::u16string& drive : m_drives) {
    addRow(m_combo, CB_ADDSTRING, drive);
  }
  if (m_drive.empty() && !m_drives.empty()) {
    m_drive = m_drives.front();
  }
  SendMessageW(m_combo, CB_SETCURSEL, static_cast<WPARAM>(indexOf(m_drive)), 0);
}

int DriveList::indexOf(std::u16string_view path) const {
  int best = -1;
  std::size_t bestLength = 0;
  for (std::size_t i = 0; i < m_drives.size(); ++i) {
    const std::u16string& drive = m_drives[i];
    if (drive == path) {
      return static_cast<int>(i);
    }
    const bool holds = !drive.empty() && path.starts_with(drive) &&
                       (platform::isSeparator(drive.back()) || path.size() == drive.size() ||
                        platform::isSeparator(path[drive.size()]));
    if (holds && drive.size() > bestLength) {
      best = static_cast<int>(i);
      bestLength = drive.size();
    }
  }
  return best;
}

bool DriveList::select(std::u16string_view path) {
  const int index = indexOf(path);
  if (index < 0) {
    return false;
  }
  SendMessageW(m_combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  const bool changed = m_drives[static_cast<std::size_t>(index)] != m_drive;
  m_drive = m_drives[static_cast<std::size_t>(index)];
  return changed;
}

bool DriveList::takeUserChoice() {
  const auto index = SendMessageW(m_combo, CB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<std::size_t>(index) >= m_drives.size() ||
      m_drives[static_cast<std::size_t>(index)] == m_drive) {
    return false;
  }
  m_drive = m_drives[static_cast<std::size_t>(index)];
  return true;
}

bool DirList::setPath(std::u16string_view path) {
  const std::u16string base = m_path.empty() ? platform::systemDrive() : m_path;
  const std::u16string folder = platform::absoluteFolder(base, path);
  const std::vector<std::u16string> subfolders = platform::listFolders(folder);

  SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(m_list, LB_RESETCONTENT, 0, 0);
  m_rows.clear();
  m_names.clear();
  std::size_t level = 0;
  for (const std::u16string& step : platform::folderChain(folder)) {
    m_names.emplace_back(level == 0 ? std::u16string_view(step) : platform::namePart(step));
    addRow(m_list, LB_ADDSTRING, std::u16string(level * 2, u' ') + m_names.back());
    m_rows.push_back(step);
    ++level;
  }
  SendMessageW(m_list, LB_SETCURSEL, m_rows.size() - 1, 0);
  for (const std::u16string& name : subfolders) {
    addRow(m_list, LB_ADDSTRING, std::u16string(level * 2, u' ') + name);
    m_rows.push_back(platform::joinPath(folder, name));
    m_names.push_back(name);
  }
  SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(m_list, nullptr, TRUE);
  const bool changed = folder != m_path;
  m_path = folder;
  return changed;
}

std::u16string DirList::chosenPath() const {
  const auto index = SendMessageW(m_list, LB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<std::size_t>(index) >= m_rows.size()) {
    return {};
  }
  return m_rows[static_cast<std::size_t>(index)];
}

namespace {

char16_t folded(char16_t c) {
  return static_cast<char16_t>(reinterpret_cast<std::uintptr_t>(
      CharLowerW(reinterpret_cast<wchar_t*>(static_cast<std::uintptr_t>(c)))));
}

bool startsWithFolded(std::u16string_view text, std::u16string_view start) {
  if (text.size() < start.size()) {
    return false;
  }
  for (std::size_t i = 0; i < start.size(); ++i) {
    if (folded(text[i]) != folded(start[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

void DirList::typed(char16_t key) {
  const DWORD now = GetTickCount();
  // As long as a pause between keys the list box's own search allows.
  if (now - m_typedAt > 2 * GetDoubleClickTime()) {
    m_typed.clear();
  }
  m_typedAt = now;
  m_typed += key;
  if (m_names.empty()) {
    return;
  }
  const bool stepping =
      std::all_of(m_typed.begin(), m_typed.end(), [&](char16_t c) { return c == m_typed[0]; });
  const std::u16string_view wanted =
      stepping ? std::u16string_view(m_typed).substr(0, 1) : std::u16string_view(m_typed);
  const auto chosen = SendMessageW(m_list, LB_GETCURSEL, 0, 0);
  const std::size_t from =
      static_cast<std::size_t>(std::max<LRESULT>(chosen, 0)) + (stepping ? 1 : 0);
  for (std::size_t step = 0; step < m_names.size(); ++step) {
    const std::size_t row = (from + step) % m_names.size();
    if (startsWithFolded(m_names[row], wanted)) {
      SendMessageW(m_list, LB_SETCURSEL, row, 0);
      return;
    }
  }
}

int SelectableList::ListCount() const {
  return static_cast<int>(SendMessageW(m_list, LB_GETCOUNT, 0, 0));
}

bool SelectableList::Selected(int index) const {
  return SendMessageW(m_list, LB_GETSEL, static_cast<WPARAM>(index), 0) > 0;
}

void SelectableList::setAllSelected(bool selected) {
  // -1: every row in one message.
  SendMessageW(m_list, LB_SETSEL, selected ? TRUE : FALSE, -1);
}

void SelectableList::checkIndex(int index, std::u16string_view list) const {
  if (index < 0 || index >= ListCount()) {
    throw RuntimeError(std::u16string(list) + u" の位置 " + fromUtf8(std::to_string(index)) +
                       u" は範囲外です。");
  }
}

void FileListBox::setPath(std::u16string_view path) {
  std::vector<std::u16string> names = platform::listFiles(path, m_pattern);
  SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(m_list, LB_RESETCONTENT, 0, 0);
  for (const std::u16string& name : names) {
    addRow(m_list, LB_ADDSTRING, name);
  }
  SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(m_list, nullptr, TRUE);
  m_names = std::move(names);
  m_path = path;
}

std::u16string FileListBox::List(int index) const {
  checkIndex(index, u"File1");
  return m_names[static_cast<std::size_t>(index)];
}

bool FileListBox::Selected(int index) const {
  checkIndex(index, u"File1");
  return SelectableList::Selected(index);
}

bool PreviewListBox::Selected(int index) const {
  checkIndex(index, u"List1");
  return SelectableList::Selected(index);
}

void PreviewListBox::Clear() {
  SendMessageW(m_list, LB_RESETCONTENT, 0, 0);
  m_widest = 0;
  SendMessageW(m_list, LB_SETHORIZONTALEXTENT, 0, 0);
}

void PreviewListBox::AddItem(std::u16string_view text) {
  AddItems({std::u16string(text)});
}

int PreviewListBox::textWidth(std::u16string_view text) const {
  return TextMeasure(m_list).width(wide(text));
}

// One redraw for the batch; the list box draws a row's text 2 pixels in.
void PreviewListBox::AddItems(const std::vector<std::u16string>& texts) {
  if (texts.empty()) {
    return;
  }
  SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
  {
    const TextMeasure measure(m_list);
    for (const std::u16string& text : texts) {
      const std::wstring row = wide(text);
      SendMessageW(m_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
      m_widest = std::max(m_widest, measure.width(row));
    }
  }
  SendMessageW(m_list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(m_widest + 4), 0);
  SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(m_list, nullptr, TRUE);
}

std::u16string PreviewListBox::cutRow(int index) const {
  if (index < 0 || index >= ListCount()) {
    return {};
  }
  const auto length = SendMessageW(m_list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
  SendMessageW(m_list, LB_GETTEXT, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(std::max<LRESULT>(length, 0)));
  RECT client{};
  GetClientRect(m_list, &client);
  const int scrolled = GetScrollPos(m_list, SB_HORZ);
  const int right = 2 + textWidth(fromWide(text)) - scrolled;
  return scrolled > 0 || right > client.right ? fromWide(text) : std::u16string();
}

}  // namespace tagkana::win32
