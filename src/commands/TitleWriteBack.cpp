#include "commands/TitleWriteBack.h"

namespace tagkana {

void TitleWriteBack(FormState&, const PreviewList&, TagLibrary&, platform::FileSystem&,
                    MessageBoxes&) {}

}  // namespace tagkana
