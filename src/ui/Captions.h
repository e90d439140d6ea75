#pragma once

#include <QString>

// The window's user-visible texts, kept in one place.
namespace tagkana::captions {

inline const QString kApplication = QStringLiteral("Tagkana");
inline const QString kVersion = QStringLiteral("1.01");
inline const QString kForm1 = QStringLiteral("ローマ字からひらがなとかに変換。　Ver1.1");

inline const QString kBtnEnd = QStringLiteral("終了");
inline const QString kBtnGet = QStringLiteral("表示");
inline const QString kBtnChange = QStringLiteral("変換");
inline const QString kBtnSelectall = QStringLiteral("全て選択");
inline const QString kBtnClear = QStringLiteral("全て解除");

inline const QString kMenFile = QStringLiteral("ﾌｧｲﾙ(&F)");
inline const QString kMenStart = QStringLiteral("初期状態に戻る(&S)");
inline const QString kMenExit = QStringLiteral("終了(&X)");
inline const QString kMenPopup1 = QStringLiteral("ﾎﾟｯﾌﾟｱｯﾌﾟ1");
inline const QString kMenPopup2 = QStringLiteral("ﾎﾟｯﾌﾟｱｯﾌﾟ2");
inline const QString kMenSelectall = QStringLiteral("全て選択(&A)");
inline const QString kMenUnselectall = QStringLiteral("全て解除(&U)");
inline const QString kMenClear1 = QStringLiteral("リストをクリア(&C)");
inline const QString kMenUnReadonly = QStringLiteral("読み取り禁止の解除");

inline const QString kOk = QStringLiteral("OK");
inline const QString kCancel = QStringLiteral("キャンセル");
inline const QString kCopy = QStringLiteral("コピー(&C)");

inline const QString kRuntimeError = QStringLiteral("実行時エラー");
inline const QString kDriveUnreadable = QStringLiteral("ドライブを読み取れませんでした。");

}  // namespace tagkana::captions
