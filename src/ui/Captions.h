#pragma once

#include <QString>

#include "commands/WindowTexts.h"

// The window's user-visible texts as Qt takes them.
namespace tagkana::captions {

inline QString fromText(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline const QString kApplication = fromText(texts::kApplication);
inline const QString kVersion = fromText(texts::kVersion);
inline const QString kForm1 = fromText(texts::kForm1);
inline const QString kBtnEnd = fromText(texts::kBtnEnd);
inline const QString kBtnGet = fromText(texts::kBtnGet);
inline const QString kBtnChange = fromText(texts::kBtnChange);
inline const QString kBtnSelectall = fromText(texts::kBtnSelectall);
inline const QString kBtnClear = fromText(texts::kBtnClear);
inline const QString kMenFile = fromText(texts::kMenFile);
inline const QString kMenStart = fromText(texts::kMenStart);
inline const QString kMenExit = fromText(texts::kMenExit);
inline const QString kMenPopup1 = fromText(texts::kMenPopup1);
inline const QString kMenPopup2 = fromText(texts::kMenPopup2);
inline const QString kMenSelectall = fromText(texts::kMenSelectall);
inline const QString kMenUnselectall = fromText(texts::kMenUnselectall);
inline const QString kMenClear1 = fromText(texts::kMenClear1);
inline const QString kMenUnReadonly = fromText(texts::kMenUnReadonly);
inline const QString kOk = fromText(texts::kOk);
inline const QString kCancel = fromText(texts::kCancel);
inline const QString kCopy = fromText(texts::kCopy);
inline const QString kRuntimeError = fromText(texts::kRuntimeError);
inline const QString kDriveUnreadable = fromText(texts::kDriveUnreadable);

}  // namespace tagkana::captions
