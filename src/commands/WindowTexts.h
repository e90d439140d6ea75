#pragma once

#include <string>
#include <string_view>

#include "common/RuntimeError.h"
#include "common/Utf.h"

// The window's user-visible texts, the same in every front end.
namespace tagkana::texts {

inline constexpr std::u16string_view kApplication = u"Tagkana";
inline constexpr std::u16string_view kVersion = u"1.01";
inline constexpr std::u16string_view kForm1 = u"ローマ字からひらがなとかに変換。　Ver1.1";

inline constexpr std::u16string_view kBtnEnd = u"終了";
inline constexpr std::u16string_view kBtnGet = u"表示";
inline constexpr std::u16string_view kBtnChange = u"変換";
inline constexpr std::u16string_view kBtnSelectall = u"全て選択";
inline constexpr std::u16string_view kBtnClear = u"全て解除";

inline constexpr std::u16string_view kMenFile = u"ﾌｧｲﾙ(&F)";
inline constexpr std::u16string_view kMenStart = u"初期状態に戻る(&S)";
inline constexpr std::u16string_view kMenExit = u"終了(&X)";
inline constexpr std::u16string_view kMenPopup1 = u"ﾎﾟｯﾌﾟｱｯﾌﾟ1";
inline constexpr std::u16string_view kMenPopup2 = u"ﾎﾟｯﾌﾟｱｯﾌﾟ2";
inline constexpr std::u16string_view kMenSelectall = u"全て選択(&A)";
inline constexpr std::u16string_view kMenUnselectall = u"全て解除(&U)";
inline constexpr std::u16string_view kMenClear1 = u"リストをクリア(&C)";
inline constexpr std::u16string_view kMenUnReadonly = u"読み取り禁止の解除";

inline constexpr std::u16string_view kOk = u"OK";
inline constexpr std::u16string_view kCancel = u"キャンセル";
inline constexpr std::u16string_view kCopy = u"コピー(&C)";

inline constexpr std::u16string_view kRuntimeError = u"実行時エラー";
inline constexpr std::u16string_view kDriveUnreadable = u"ドライブを読み取れませんでした。";

// The error box's text: what failed, the file, then the system's own words.
inline std::u16string runtimeErrorText(const RuntimeError& error) {
  std::u16string text = std::u16string(kRuntimeError) + u"\r\n" + error.description();
  if (!error.file().empty()) {
    text += u"\r\n" + visibleName(error.file());
  }
  if (!error.reason().empty()) {
    text += u"\r\n" + error.reason();
  }
  return text;
}

}  // namespace tagkana::texts
