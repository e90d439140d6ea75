#pragma once

#include <string_view>

// The Japanese texts that the tag commands show or log.
namespace tagkana::messages {

inline constexpr std::u16string_view kConfirmTitle = u"確認";
inline constexpr std::u16string_view kLineBreak = u"\r\n";

// Preview rows: "<n>. <title> → <kana>".
inline constexpr std::u16string_view kRowNumberEnd = u". ";
inline constexpr std::u16string_view kRowArrow = u" → ";

inline constexpr std::u16string_view kPreviewReadFailed = u"タグ情報を読み取れませんでした。";

inline constexpr std::u16string_view kConfirmWriteBack =
    u"タグ情報を書き換えます。本当によろしいですか？";
inline constexpr std::u16string_view kWriteBackDone = u"完了しました";
inline constexpr std::u16string_view kWriteBackStopped = u"中断しました";
// Result log lines follow the file name; each begins with an ideographic space.
inline constexpr std::u16string_view kLogWritten = u"　成功";
inline constexpr std::u16string_view kLogReadOnly = u"　読みとり専用のため失敗";
inline constexpr std::u16string_view kLogWriteFailed = u"　書き込みエラーのため失敗";
inline constexpr std::u16string_view kLogReadFailed = u"　タグ情報を読み取れないため中断";
// The tag library's own reasons for a failed read or write; the system's
// other reasons are its own texts.
inline constexpr std::u16string_view kReasonBusy = u"ほかのプログラムがファイルを使用中です";
inline constexpr std::u16string_view kReasonNotMpeg = u"MPEG オーディオのファイルではありません";
inline constexpr std::u16string_view kReasonTagTooBig = u"タグが大きすぎるか壊れています";
inline constexpr std::u16string_view kReasonSeveralNames =
    u"ハードリンクで複数の名前を持つファイルは、この変更では書き換えられません";
inline constexpr std::u16string_view kReasonNotAsPlanned =
    u"書き換えたタグを確かめられなかったため、変更していません";
// The reasons for a title left as it was, after a failed write.
inline constexpr std::u16string_view kReasonTitleCharacters =
    u"タイトルに保存できない文字が含まれています";
inline constexpr std::u16string_view kReasonTitleTooLong = u"タイトルが長すぎて保存できません";
inline constexpr std::u16string_view kReasonNotDurable =
    u"書き込みましたが、ディスクに保存されたか確認できません";
inline constexpr std::u16string_view kReasonConvertedTooLong =
    u"変換後のタイトルが長すぎて保存できません";
// Around the system's reason after an outcome.
inline constexpr std::u16string_view kLogReasonOpen = u"（";
inline constexpr std::u16string_view kLogReasonClose = u"）";
// Where the command line's run saved its undo file; after the window's file
// lines, why its run has none.
inline constexpr std::u16string_view kLogUndoSaved = u"取り消し用のファイル: ";
inline constexpr std::u16string_view kLogUndoNotSaved =
    u"取り消し用のファイルを保存できませんでした";
// The last line of a run stopped by the user: "<before><count><after>".
inline constexpr std::u16string_view kLogCancelledBefore = u"キャンセルのため、選択された ";
inline constexpr std::u16string_view kLogCancelledAfter = u" 件は処理していません";
// The same after a run that stopped at a file: "<before><count><after>".
inline constexpr std::u16string_view kLogStoppedBefore = u"中断のため、選択された ";
inline constexpr std::u16string_view kNoPathForRow =
    u"選択された行に対応するファイルがありません。";

inline constexpr std::u16string_view kConfirmAttributeReset =
    u"選択ファイルの属性を書き換えます。\r\n"
    u"読み取り専用属性・隠しファイル属性は解除され、\r\n"
    u"アーカイブ属性のみになります。\r\n"
    u"本当によろしいですか？";

}  // namespace tagkana::messages
