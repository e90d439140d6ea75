#include "ui/Adapters.h"

#include <string>

#include "common/RuntimeError.h"

namespace tagkana {
namespace {

void checkIndex(const SelectableListBox& box, int index, const char16_t* list) {
  if (!box.hasRow(index)) {
    throw RuntimeError(std::u16string(list) + u" の位置 " + fromUtf8(std::to_string(index)) +
                       u" は範囲外です。");
  }
}

}  // namespace

std::u16string File1Adapter::Path() const {
  return toU16String(m_list.Path());
}

int File1Adapter::ListCount() const {
  return m_list.ListCount();
}

std::u16string File1Adapter::List(int index) const {
  checkIndex(m_list, index, u"File1");
  return toU16String(m_list.List(index));
}

bool File1Adapter::Selected(int index) const {
  checkIndex(m_list, index, u"File1");
  return m_list.Selected(index);
}

int List1Adapter::ListCount() const {
  return m_list.ListCount();
}

bool List1Adapter::Selected(int index) const {
  checkIndex(m_list, index, u"List1");
  return m_list.Selected(index);
}

void List1Adapter::Clear() {
  m_list.Clear();
}

void List1Adapter::AddItem(std::u16string_view text) {
  m_list.AddItem(toQString(text));
}

void List1Adapter::AddItems(const std::vector<std::u16string>& texts) {
  QStringList rows;
  rows.reserve(static_cast<qsizetype>(texts.size()));
  for (const std::u16string& text : texts) {
    rows.append(toQString(text));
  }
  m_list.AddItems(rows);
}

}  // namespace tagkana
