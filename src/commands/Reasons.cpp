#include "commands/Reasons.h"

#include "commands/Messages.h"
#include "platform/SystemError.h"

namespace tagkana {

std::u16string reasonText(const WriteFailure& failure) {
  switch (failure.kind) {
    case WriteFailure::Kind::Busy:
      return std::u16string(messages::kReasonBusy);
    case WriteFailure::Kind::NotMpeg:
      return std::u16string(messages::kReasonNotMpeg);
    case WriteFailure::Kind::TagTooBig:
      return std::u16string(messages::kReasonTagTooBig);
    case WriteFailure::Kind::SeveralNames:
      return std::u16string(messages::kReasonSeveralNames);
    case WriteFailure::Kind::NotAsPlanned:
      return std::u16string(messages::kReasonNotAsPlanned);
    case WriteFailure::Kind::TitleCharacters:
      return std::u16string(messages::kReasonTitleCharacters);
    case WriteFailure::Kind::TitleTooLong:
      return std::u16string(messages::kReasonTitleTooLong);
    case WriteFailure::Kind::NotDurable:
      return std::u16string(messages::kReasonNotDurable);
    case WriteFailure::Kind::System:
      break;
  }
  return failure.code == 0 ? std::u16string() : platform::systemErrorText(failure.code);
}

}  // namespace tagkana
