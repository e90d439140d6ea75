#pragma once

#include <QString>
#include <QStringView>
#include <string>
#include <string_view>
#include <vector>

#include "commands/Lists.h"
#include "ui/ListControls.h"

namespace tagkana {

// The one crossing between the core's UTF-16 and QString. Both copy code
// units exactly: QString::fromUtf16 would drop a leading U+FEFF as a byte
// order mark, and a name may begin with one.
inline QString toQString(std::u16string_view text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

inline std::u16string toU16String(const QString& text) {
  return text.toStdU16String();
}

// File1 and List1 as the commands see them. A position outside the list is a
// run-time error here, as it is for the commands' own loops.
class File1Adapter final : public FileList {
 public:
  explicit File1Adapter(const FileListBox& list) : m_list(list) {}
  std::u16string Path() const override;
  int ListCount() const override;
  std::u16string List(int index) const override;
  bool Selected(int index) const override;

 private:
  const FileListBox& m_list;
};

class List1Adapter final : public PreviewList {
 public:
  explicit List1Adapter(PreviewListBox& list) : m_list(list) {}
  int ListCount() const override;
  bool Selected(int index) const override;
  void Clear() override;
  void AddItem(std::u16string_view text) override;
  void AddItems(const std::vector<std::u16string>& texts) override;

 private:
  PreviewListBox& m_list;
};

}  // namespace tagkana
